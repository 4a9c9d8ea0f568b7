#include "RGBWAnalyzer.h"

namespace {

const ListEntry kBitRates[] = {{800000, "800K [default]", ""}, {400000, "400K", ""}};
const ListEntry kFrameOrders[] = {{0, "GRBW [default]", ""}, {1, "RGBW", ""}};
const ListEntry kDisplayOrders[] = {{0, "RGBW [default]", ""}, {1, "GRBW", ""}};
const ListEntry kDisplayModes[] = {{0, "as four 8-bits [default]", ""}, {1, "as one 32-bits", ""}};
const ListSpec kLists[] = {
    {"Bit Rate (Bits/s)", "Specify the bit rate in bits per second.", kBitRates, 2, 800000, false},
    {"RGBW order in frame", "", kFrameOrders, 2, 0, true},
    {"RGBW order in display", "", kDisplayOrders, 2, 0, true},
    {"RGBW display mode", "", kDisplayModes, 2, 0, true},
};

const LedMember kMember = {
    "RGBW-WS2812",
    32,
    {"RGBW", "GRBW"},
    {"RGBWAnalyzer", "Standard Interface", "Input", kLists, 4},
    {0xFF000000, 0x00FF0000, 0x0000FF00, 0xFFFF00FF, 0xFF00FFFF, 0x00FFFF00, 0x000000FF, 0xFFFFFF00, 0x00AB40FF,
     0x20AB4000},
};

} // namespace

RGBWAnalyzer::RGBWAnalyzer() : LedAnalyzer(kMember)
{
}

RGBWAnalyzer::~RGBWAnalyzer()
{
    KillThread();
}

CORVENA_ANALYZER_EXPORTS(RGBWAnalyzer, kMember.analyzerName)
