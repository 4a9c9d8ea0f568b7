#include "RGBAnalyzer.h"

namespace {

const ListEntry kBitRates[] = {{800000, "800K [default]", ""}, {400000, "400K", ""}};
const ListEntry kFrameOrders[] = {{0, "GRB [default]", ""}, {1, "RGB", ""}};
const ListEntry kDisplayOrders[] = {{0, "RGB [default]", ""}, {1, "GRB", ""}};
const ListEntry kDisplayModes[] = {{0, "as three 8-bits [default]", ""}, {1, "as one 24-bits", ""}};
const ListSpec kLists[] = {
    {"Bit Rate (Bits/s)", "Specify the bit rate in bits per second.", kBitRates, 2, 800000, false},
    {"RGB order in frame", "", kFrameOrders, 2, 0, true},
    {"RGB order in display", "", kDisplayOrders, 2, 0, true},
    {"RGB display mode", "", kDisplayModes, 2, 0, true},
};

const LedMember kMember = {
    "RGB-WS2812",
    24,
    {"RGB", "GRB"},
    {"RGBAnalyzer", "Standard Interface", "Input", kLists, 4},
    {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0x000000, 0xFFFFFF, 0x00AB40, 0x20AB40},
};

} // namespace

RGBAnalyzer::RGBAnalyzer() : LedAnalyzer(kMember)
{
}

RGBAnalyzer::~RGBAnalyzer()
{
    KillThread();
}

CORVENA_ANALYZER_EXPORTS(RGBAnalyzer, kMember.analyzerName)
