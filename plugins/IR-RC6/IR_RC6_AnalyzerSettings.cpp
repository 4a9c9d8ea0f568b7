#include "IR_RC6_AnalyzerSettings.h"

namespace {

const ListEntry kLogicStyles[] = {
    {0, "Logic '1' on Falling Edge", "Read Samples on Falling Edge"},
    {1, "Logic '1' on Rising Edge (Default)", "Read Samples on Rising Edge"},
};
const ListSpec kLists[] = {
    {"Logic", "Select logic style", kLogicStyles, 2, 1, true},
};
const SettingsSpec kSpec = {"IR_RC6_Analyzer", "Standard InfraRed", "Infrared", kLists, 1};

} // namespace

IR_RC6_AnalyzerSettings::IR_RC6_AnalyzerSettings() : ListSettings(kSpec)
{
}
