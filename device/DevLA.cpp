#include "device/DevLA.h"

#include "device/DevModels.h"

namespace {
constexpr long long MHz = 1000000;
}

// Divider bases: every rate a model lists must divide its maximum rate
// exactly, or the device samples at a rate other than the one shown.
// 1000 MHz covers 500 and 200 MHz (and all lower decimal rates), 200 MHz
// the lists topped by 200 MHz, 800 MHz the stream-only list with 80, 32,
// 16 and 12.5 MHz. The PWM counters run at 250 MHz on every model.

DevRowan::DevRowan(QObject* parent) : DevBase(parent)
{
    devModel = DevModelRowan;
    devName = "Rowan";
    devFunction = {DevFuncVth, DevFuncPWM};
    connectMaxRateMHz = 1000;
    connectBaseClockMHz = 250;
    initChannels(32);
    initSettings(500 * MHz, true);
}

int DevRowan::devConnect(unsigned char* info)
{
    memSize = 0x20000000;
    vthRef = 1.5;
    return DevBase::devConnect(info);
}

void DevRowan::setSmpMode(int mode)
{
    setSmpModeDual(mode, 500 * MHz, 100 * MHz, 8, 1, 4);
}

DevSpruce::DevSpruce(QObject* parent) : DevBase(parent)
{
    devModel = DevModelSpruce;
    devName = "Spruce";
    devFunction = {DevFuncVth, DevFuncPWM};
    connectMaxRateMHz = 1000;
    connectBaseClockMHz = 250;
    initChannels(16);
    initSettings(500 * MHz, true);
}

int DevSpruce::devConnect(unsigned char* info)
{
    memSize = 0x10000000;
    vthRef = 1.5;
    return DevBase::devConnect(info);
}

void DevSpruce::setSmpMode(int mode)
{
    setSmpModeDual(mode, 500 * MHz, 100 * MHz, 8, 1, 3);
}

DevTeak::DevTeak(QObject* parent) : DevBase(parent)
{
    devModel = DevModelTeak;
    devName = "Teak";
    devFunction = {DevFuncVth, DevFuncPWM};
    connectMaxRateMHz = 200;
    connectBaseClockMHz = 250;
    initChannels(16);
    initSettings(200 * MHz, true);
}

int DevTeak::devConnect(unsigned char* info)
{
    memSize = 0x10000000;
    vthRef = 1.5;
    return DevBase::devConnect(info);
}

void DevTeak::setSmpMode(int mode)
{
    setSmpModeDual(mode, 200 * MHz, 50 * MHz, 7, 1, 3);
}

DevWillow::DevWillow(QObject* parent) : DevBase(parent)
{
    devModel = DevModelWillow;
    devName = "Willow";
    devFunction = {DevFuncVth, DevFuncPWM};
    connectMaxRateMHz = 800;
    connectBaseClockMHz = 250;
    initChannels(16);
    initSettings(0, false);
    streamChnFrequ = streamOnlyTable();
    bufChnFrequ.clear();
    smpMode = SmpModeStream;
    genSmpDepthList(SmpModeStream);
    smpFrequList = streamOnlyRates();
    depthNoMark = smpDepthList.last();
    defDepthIndex = 4;
    defFrequIndex = 9;
    loadSmpDepth();
    loadSmpFrequ();
    checkSmpFrequToLower();
}

int DevWillow::devConnect(unsigned char* info)
{
    memSize = 0;
    vthRef = 1.1;
    return DevBase::devConnect(info);
}

void DevWillow::setSmpMode(int)
{
    // Stream mode is the only mode of this model.
}
