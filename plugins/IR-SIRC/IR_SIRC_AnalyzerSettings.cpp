#include "IR_SIRC_AnalyzerSettings.h"

namespace {

const ListEntry kPacketLengths[] = {
    {0, "12 bits", ""},
    {1, "15 bits", ""},
    {2, "20 bits", ""},
};
const ListEntry kIdleLevels[] = {
    {1, "High Level During  Idel [default]", ""},
    {0, "Lower Level During  Idel", ""},
};
// The list marks no packet length as the default: the first, the basic
// 12-bit message.
const ListSpec kLists[] = {
    {"Packet Length", "Select packet length", kPacketLengths, 3, 0, true},
    {"Idel Level", "Select level during idel", kIdleLevels, 2, 1, true},
};
const SettingsSpec kSpec = {"IR_SIRC_Analyzer", "Standard InfraRed", "Infrared", kLists, 2};

} // namespace

IR_SIRC_AnalyzerSettings::IR_SIRC_AnalyzerSettings() : ListSettings(kSpec)
{
}
