#include "IR_RC6_AnalyzerSettings.h"

#include <cmath>
#include <cstring>

#include <AnalyzerHelpers.h>

namespace {

const char* const kArchiveName = "IR_RC6_Analyzer";
const char* const kChannelLabel = "Infrared";

// A list value as an integer; the interface holds a double that the dialog
// (or a caller) may have set to anything, so stay clear of out-of-range
// conversions.
U32 listValue(double number)
{
    if (!(number >= 0.0))
        return 0;
    if (number >= 4294967295.0)
        return 0xFFFFFFFFu;
    return U32(std::trunc(number));
}

} // namespace

IR_RC6_AnalyzerSettings::IR_RC6_AnalyzerSettings()
    : mInputChannel(UNDEFINED_CHANNEL), mLogicStyle(1)
{
    mInputChannelInterface = new AnalyzerSettingInterfaceChannel();
    mInputChannelInterface->SetTitleAndTooltip("Input", "Standard InfraRed");
    mInputChannelInterface->SetChannel(mInputChannel);

    mLogicStyleInterface = new AnalyzerSettingInterfaceNumberList();
    mLogicStyleInterface->SetTitleAndTooltip("Logic", "Select logic style");
    mLogicStyleInterface->AddNumber(0, "Logic '1' on Falling Edge", "Read Samples on Falling Edge");
    mLogicStyleInterface->AddNumber(1, "Logic '1' on Rising Edge (Default)", "Read Samples on Rising Edge");
    mLogicStyleInterface->SetNumber(mLogicStyle);

    AddInterface(mInputChannelInterface);
    AddInterface(mLogicStyleInterface);

    AddExportOption(0, "Export as text/csv file");
    AddExportExtension(0, "Text file", "txt");
    AddExportExtension(0, "CSV file", "csv");

    ClearChannels();
    AddChannel(mInputChannel, kChannelLabel, false);
}

IR_RC6_AnalyzerSettings::~IR_RC6_AnalyzerSettings()
{
    delete mInputChannelInterface;
    delete mLogicStyleInterface;
}

bool IR_RC6_AnalyzerSettings::SetSettingsFromInterfaces()
{
    mInputChannel = mInputChannelInterface->GetChannel();
    mLogicStyle = listValue(mLogicStyleInterface->GetNumber());
    ClearChannels();
    AddChannel(mInputChannel, kChannelLabel, true);
    return true;
}

void IR_RC6_AnalyzerSettings::LoadSettings(const char* settings)
{
    SimpleArchive archive;
    archive.SetString(settings);

    const char* name = nullptr;
    archive >> &name;
    if (!name || std::strcmp(name, kArchiveName) != 0)
        AnalyzerHelpers::Assert("IR_RC6_Analyzer: Provided with a settings string that doesn't belong to us;");

    // Values stay as they are where the text does not hold them.
    archive >> mInputChannel;
    archive >> mLogicStyle;

    ClearChannels();
    AddChannel(mInputChannel, kChannelLabel, true);
    UpdateInterfacesFromSettings();
}

const char* IR_RC6_AnalyzerSettings::SaveSettings()
{
    SimpleArchive archive;
    archive << kArchiveName;
    archive << mInputChannel;
    archive << S32(mLogicStyle);
    return SetReturnString(archive.GetString());
}

void IR_RC6_AnalyzerSettings::UpdateInterfacesFromSettings()
{
    mInputChannelInterface->SetChannel(mInputChannel);
    mLogicStyleInterface->SetNumber(mLogicStyle);
}
