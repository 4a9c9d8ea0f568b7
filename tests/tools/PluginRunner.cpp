#include "PluginRunner.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "AnalyzerResults.h"
#include "AnalyzerSettingInterface.h"
#include "AnalyzerSettings.h"

#include "ThreadPerRun.h"

bool AnalyzerPlugin::load(const std::string& path, std::string* error)
{
    mLibrary.setFileName(QString::fromStdString(path));
    if (!mLibrary.load()) {
        *error = "cannot load plug-in " + path + ": " + mLibrary.errorString().toStdString();
        return false;
    }
    mCreate = reinterpret_cast<CreateFn>(mLibrary.resolve("CreateAnalyzer"));
    mDestroy = reinterpret_cast<DestroyFn>(mLibrary.resolve("DestroyAnalyzer"));
    mName = reinterpret_cast<NameFn>(mLibrary.resolve("GetAnalyzerName"));
    mParaInfoList = reinterpret_cast<NameFn>(mLibrary.resolve("GetParaInfoList"));
    if (!mCreate || !mDestroy || !mName) {
        *error = path + " is not an analyzer plug-in (CreateAnalyzer, DestroyAnalyzer or GetAnalyzerName missing)";
        return false;
    }
    return true;
}

void setAllChannels(AnalyzerSettings* settings, U32 channelIndex)
{
    const U32 n = settings->GetSettingsInterfacesCount();
    for (U32 i = 0; i < n; ++i) {
        AnalyzerSettingInterface* s = settings->GetSettingsInterface(i);
        if (s && s->GetType() == INTERFACE_CHANNEL)
            static_cast<AnalyzerSettingInterfaceChannel*>(s)->SetChannel(Channel(0, channelIndex));
    }
}

namespace {

bool wholeNumber(const std::string& text, long long* value)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0')
        return false;
    *value = v;
    return true;
}

} // namespace

bool applySetting(AnalyzerSettings* settings, U32 index, const std::string& value, std::string* error)
{
    AnalyzerSettingInterface* s = settings->GetSettingsInterface(index);
    if (!s) {
        *error = "no setting " + std::to_string(index) + " (the analyzer has "
                 + std::to_string(settings->GetSettingsInterfacesCount()) + ")";
        return false;
    }
    const std::string what = "setting " + std::to_string(index) + " (" + s->GetTitle() + ")";
    switch (s->GetType()) {
    case INTERFACE_NUMBER_LIST: {
        auto* list = static_cast<AnalyzerSettingInterfaceNumberList*>(s);
        char* end = nullptr;
        errno = 0;
        const double number = std::strtod(value.c_str(), &end);
        std::string listed;
        for (U32 k = 0; k < list->GetListboxNumbersCount(); ++k) {
            if (!value.empty() && *end == '\0' && errno == 0 && list->GetListboxNumber(k) == number) {
                list->SetNumber(number);
                return true;
            }
            char text[64];
            std::snprintf(text, sizeof(text), "%s%g", k ? ", " : "", list->GetListboxNumber(k));
            listed += text;
        }
        *error = what + ": '" + value + "' is not one of its values (" + listed + ")";
        return false;
    }
    case INTERFACE_INTEGER: {
        auto* integer = static_cast<AnalyzerSettingInterfaceInteger*>(s);
        long long v = 0;
        if (!wholeNumber(value, &v) || v < integer->GetMin() || v > integer->GetMax()) {
            *error = what + ": '" + value + "' is not a whole number from " + std::to_string(integer->GetMin())
                     + " to " + std::to_string(integer->GetMax());
            return false;
        }
        integer->SetInteger(int(v));
        return true;
    }
    case INTERFACE_BOOL: {
        auto* flag = static_cast<AnalyzerSettingInterfaceBool*>(s);
        if (value == "1" || value == "true") {
            flag->SetValue(true);
            return true;
        }
        if (value == "0" || value == "false") {
            flag->SetValue(false);
            return true;
        }
        *error = what + ": '" + value + "' is not 0, 1, true or false";
        return false;
    }
    case INTERFACE_TEXT:
        static_cast<AnalyzerSettingInterfaceText*>(s)->SetText(value.c_str());
        return true;
    case INTERFACE_CHANNEL:
        *error = what + " is a channel: every channel reads the recorded signal";
        return false;
    default:
        *error = what + " cannot be set";
        return false;
    }
}

AnalyzerRunEnd runDecode(Analyzer* analyzer, DeviceCollection* data)
{
    ThreadPerRun thread(analyzer);
    analyzer->Init(data, nullptr, &thread);
    analyzer->SetupResults();
    analyzer->InitialWorkerThread();
    analyzer->StartProcessing();
    thread.join();
    // The progress manager goes with this function.
    analyzer->Init(data, nullptr, nullptr);
    return analyzer->GetRunEnd();
}

bool runExport(AnalyzerResults* results, const std::string& file, DisplayBase base, U32 option)
{
    results->StartExportThread(nullptr, base, 0);
    std::thread exporter([&] { results->GenerateExportFile(file.c_str(), base, option); });
    exporter.join();
    return !results->ExportFailed();
}
