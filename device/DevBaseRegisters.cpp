#include "device/DevBase.h"

#include <QThread>

#include <cmath>

#include "config/Config.h"
#include "data/SmpData.h"
#include "device/DevGlobals.h"
#include "device/DevLA.h"
#include "device/DevNone.h"
#include "device/DevSample.h"
#include "device/DevSimulate.h"
#include "device/DevSupport.h"
#include "device/DevBaseUtil.h"

using namespace DevBaseUtil;

// ---------------------------------------------------------------------------
// Register protocol

int DevBase::ctrlOut(unsigned char request, unsigned short value, const unsigned char* data, int length)
{
    if (!devSupport)
        return 1;
    int transferred = 0;
    const int r = devSupport->ctrlWrite(request, value, const_cast<unsigned char*>(data), length, &transferred);
    if (r != 0)
        return r;
    // A partial write left the register half set: that is a failure.
    return transferred == length ? 0 : 2;
}

int DevBase::ctrlIn(unsigned char request, unsigned short value, unsigned char* data, int length)
{
    if (!devSupport)
        return 1;
    int transferred = 0;
    const int r = devSupport->ctrlRead(request, value, data, length, &transferred);
    if (r != 0)
        return r;
    // Fixed-size reads need every byte; the rest of the buffer is stale.
    return transferred == length ? 0 : 2;
}

int DevBase::regWrite(int address, const unsigned char* data, int length)
{
    return ctrlOut(0x20, (unsigned short)address, data, length);
}

int DevBase::regRead(int address, unsigned char* data, int length)
{
    return ctrlIn(0x20, (unsigned short)address, data, length);
}

int DevBase::reqSmpStart()
{
    const unsigned char b = 3;
    return regWrite(0, &b, 1);
}

int DevBase::reqSmpStop()
{
    const unsigned char b = 0;
    return regWrite(0, &b, 1);
}

int DevBase::reqAutoBulkReadPrepare()
{
    return ctrlOut(0x38, 0, nullptr, 0);
}

int DevBase::reqAutoBulkRead()
{
    return ctrlOut(0x30, 0, nullptr, 0);
}

int DevBase::reqMemReadStart(int address, int length)
{
    int r = reqAutoBulkReadPrepare();
    if (r != 0)
        return r;
    unsigned char b[8];
    S64ToBytes((uint32_t)address, b, 4);
    S64ToBytes((uint32_t)length, b + 4, 4);
    r = regWrite(8, b, 8);
    if (r != 0)
        return r;
    return reqAutoBulkRead();
}

int DevBase::decodeRunSta(unsigned s)
{
    s &= 0xFFFF;
    if (s == 0xFFFF)
        return 7;
    const unsigned low = s & 3;
    if (low == 0 || low == 3)
        return s == 0 ? 8 : 9;
    if ((s & 0xC0) != 0xC0)
        return 10;
    if (s & 0x10)
        return 13;
    return 0;
}

int DevBase::getRunSta(unsigned* status)
{
    unsigned char b[2] = {0, 0};
    const int r = regRead(0, b, 2);
    if (r != 0) {
        if (status)
            *status = 0;
        return r;
    }
    const unsigned s = unsigned(b[0]) | (unsigned(b[1]) << 8);
    if (status)
        *status = s;
    return decodeRunSta(s);
}

int DevBase::checkMemorySta()
{
    unsigned s = 0;
    const int r = getRunSta(&s);
    if (r != 0)
        return r;
    return (s & 0x8F00) != 0x8500 ? 12 : 0;
}

int DevBase::getDChnSta(bool* level, bool* active)
{
    const int n = chnNum();
    const int half = (n + 7) / 8;
    QVector<unsigned char> b(2 * half);
    const int r = regRead(4, b.data(), b.size());
    if (r != 0)
        return r;
    for (int c = 0; c < n; ++c) {
        if (level)
            level[c] = (b[c / 8] >> (c % 8)) & 1;
        if (active)
            active[c] = (b[half + c / 8] >> (c % 8)) & 1;
    }
    return 0;
}

int DevBase::getSmpResultInfo(int* records, int* trgRecord, int* endAddress)
{
    unsigned char b[12];
    const int r = regRead(16, b, 12);
    if (r != 0)
        return r;
    auto u32 = [&](int o) {
        return int(uint32_t(b[o]) | uint32_t(b[o + 1]) << 8 | uint32_t(b[o + 2]) << 16 | uint32_t(b[o + 3]) << 24);
    };
    if (records)
        *records = u32(0);
    if (trgRecord)
        *trgRecord = u32(4);
    if (endAddress)
        *endAddress = u32(8);
    return 0;
}

void DevBase::S64ToBytes(int64_t value, unsigned char* out, int n)
{
    for (int i = 0; i < n; ++i)
        out[i] = uchar(uint64_t(value) >> (8 * i));
}

uint32_t DevBase::getCheckSum(const unsigned char* data, int n)
{
    uint32_t s = 0;
    for (int i = 0; i < n; ++i)
        s += data[i];
    return s;
}

void DevBase::buildChnMasks(unsigned char out[16]) const
{
    std::fill(out, out + 16, 0);
    const int n = qMin(chnNum(), 32);
    for (int c = 0; c < n; ++c) {
        const unsigned char bit = uchar(1u << (c % 8));
        const int byte = c / 8;
        if (chnEna[c])
            out[byte] |= bit;
        bool used = false, level = false, polarity = false;
        switch (chnTrg[c]) {
        case TrgLow: used = true; level = true; break;
        case TrgHigh: used = true; level = true; polarity = true; break;
        case TrgRising: used = true; break;
        case TrgFalling: used = true; polarity = true; break;
        default: break;
        }
        if (used)
            out[4 + byte] |= bit;
        if (level)
            out[8 + byte] |= bit;
        if (polarity)
            out[12 + byte] |= bit;
    }
}

int DevBase::reqSmpSettings()
{
    const int mode = smpStartMode;
    const unsigned char m = uchar((smpMode == SmpModeStream ? 1 : 0)
                                  | ((mode == SmpStartAuto || mode == SmpStartRepeat) ? 2 : 0));
    const int r = regWrite(3, &m, 1);
    if (r != 0)
        return r;

    unsigned char masks[16];
    buildChnMasks(masks);
    regWrite(32, masks, 16);

    unsigned char g[16];
    const long long rate = getSmpFrequ();
    const long long share = (long long)(memSize / 256) * trgPosPercent / 100;
    const long long divider = rate > 0 ? qMin(maxSmpFrequ / rate, 0xFFFFFFLL) : 0;
    S64ToBytes(curDepth, g, 5);
    S64ToBytes(getPreTrgDepth(), g + 5, 5);
    S64ToBytes(share, g + 10, 3);
    S64ToBytes(divider, g + 13, 3);
    regWrite(16, g, 16);

    if (workMode == WorkModeOsc)
        reqOscTrgSettings();
    return 0;
}
