#include "ListSettings.h"

#include <cmath>
#include <cstring>
#include <string>

#include <AnalyzerHelpers.h>

namespace {

// The interface holds a double that a caller may have set to anything:
// stay clear of out-of-range conversions (anything odd is not listed).
bool wholeValue(double number, U32* value)
{
    if (!(number >= 0.0) || number >= 4294967296.0)
        return false;
    *value = U32(std::trunc(number));
    return true;
}

} // namespace

ListSettings::ListSettings(const SettingsSpec& spec) : mInputChannel(UNDEFINED_CHANNEL), mSpec(spec)
{
    mInputChannelInterface = new AnalyzerSettingInterfaceChannel();
    mInputChannelInterface->SetTitleAndTooltip("Input", spec.channelTooltip);
    mInputChannelInterface->SetChannel(mInputChannel);

    for (U32 k = 0; k < spec.listCount; ++k) {
        const ListSpec& list = spec.lists[k];
        mValues.push_back(list.defaultValue);
        auto* itf = new AnalyzerSettingInterfaceNumberList();
        itf->SetTitleAndTooltip(list.title, list.tooltip);
        for (U32 e = 0; e < list.entryCount; ++e)
            itf->AddNumber(list.entries[e].value, list.entries[e].text, list.entries[e].tooltip);
        itf->SetNumber(list.defaultValue);
        mListInterfaces.push_back(itf);
    }

    AddInterface(mInputChannelInterface);
    for (U32 k = 0; k < spec.listCount; ++k)
        if (spec.lists[k].shown)
            AddInterface(mListInterfaces[k]);

    AddExportOption(0, "Export as text/csv file");
    AddExportExtension(0, "Text file", "txt");
    AddExportExtension(0, "CSV file", "csv");

    ClearChannels();
    AddChannel(mInputChannel, spec.channelLabel, false);
}

ListSettings::~ListSettings()
{
    delete mInputChannelInterface;
    for (AnalyzerSettingInterfaceNumberList* itf : mListInterfaces)
        delete itf;
}

U32 ListSettings::checked(U32 k, U32 v) const
{
    const ListSpec& list = mSpec.lists[k];
    for (U32 e = 0; e < list.entryCount; ++e)
        if (list.entries[e].value == v)
            return v;
    return list.defaultValue;
}

bool ListSettings::SetSettingsFromInterfaces()
{
    mInputChannel = mInputChannelInterface->GetChannel();
    for (U32 k = 0; k < mSpec.listCount; ++k) {
        U32 v = 0;
        mValues[k] = wholeValue(mListInterfaces[k]->GetNumber(), &v) ? checked(k, v) : mSpec.lists[k].defaultValue;
    }
    ClearChannels();
    AddChannel(mInputChannel, mSpec.channelLabel, true);
    return true;
}

void ListSettings::LoadSettings(const char* settings)
{
    SimpleArchive archive;
    archive.SetString(settings);

    const char* name = nullptr;
    archive >> &name;
    if (!name || std::strcmp(name, mSpec.archiveName) != 0) {
        const std::string message =
            std::string(mSpec.archiveName) + ": Provided with a settings string that doesn't belong to us;";
        AnalyzerHelpers::Assert(message.c_str());
    }

    archive >> mInputChannel;
    for (U32 k = 0; k < mSpec.listCount; ++k) {
        U32 v = 0;
        if (archive >> v)
            mValues[k] = checked(k, v);
    }

    ClearChannels();
    AddChannel(mInputChannel, mSpec.channelLabel, true);
    UpdateInterfacesFromSettings();
}

const char* ListSettings::SaveSettings()
{
    SimpleArchive archive;
    archive << mSpec.archiveName;
    archive << mInputChannel;
    for (U32 v : mValues)
        archive << v;
    return SetReturnString(archive.GetString());
}

void ListSettings::UpdateInterfacesFromSettings()
{
    mInputChannelInterface->SetChannel(mInputChannel);
    for (U32 k = 0; k < mSpec.listCount; ++k)
        mListInterfaces[k]->SetNumber(mValues[k]);
}
