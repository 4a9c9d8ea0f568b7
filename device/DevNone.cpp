#include "device/DevNone.h"

namespace {
constexpr long long MHz = 1000000;
}

DevNone::DevNone(QObject* parent) : DevBase(parent)
{
    devModel = DevModelDemo;
    devName = "Demo";
    devFunction = {DevFuncVth, DevFuncPWM};
    memSize = 0x8000000;
    connectMaxRateMHz = 1000;
    connectBaseClockMHz = 250;
    initChannels(16);
    initSettings(500 * MHz, true);
}

int DevNone::devConnect(unsigned char*)
{
    maxSmpFrequ = (long long)connectMaxRateMHz * MHz;
    baseClock = (long long)connectBaseClockMHz * MHz;
    return 1;   // never becomes connected
}

void DevNone::setSmpMode(int mode)
{
    setSmpModeDual(mode, 500 * MHz, 100 * MHz, 7, 1, 3);
}
