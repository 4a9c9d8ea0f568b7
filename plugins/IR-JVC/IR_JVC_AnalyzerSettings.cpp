#include "IR_JVC_AnalyzerSettings.h"

namespace {

const ListEntry kIdleLevels[] = {
    {0, "Lower Level During  Idel", ""},
    {1, "High Level During  Idel (Default)", ""},
};
const ListSpec kLists[] = {
    {"Idel Level", "Select level during idel", kIdleLevels, 2, 1, true},
};
const SettingsSpec kSpec = {"IR_JVC_Analyzer", "Standard InfraRed", "Infrared", kLists, 1};

} // namespace

IR_JVC_AnalyzerSettings::IR_JVC_AnalyzerSettings() : ListSettings(kSpec)
{
}
