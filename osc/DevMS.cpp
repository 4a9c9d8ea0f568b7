#include "osc/DevMS.h"

#include <QtGlobal>

namespace {
constexpr long long MHz = 1000000;
constexpr int kChannels = 2;
constexpr int kZeroGroups = 3;

void put8(unsigned char* p, int v)
{
    *p = uchar(int8_t(qBound(-128, v, 127)));
}

void put16(unsigned char* p, int v)
{
    const uint16_t u = uint16_t(int16_t(qBound(-32768, v, 32767)));
    p[0] = uchar(u);
    p[1] = uchar(u >> 8);
}

int get8(const unsigned char* p)
{
    return int8_t(*p);
}

int get16(const unsigned char* p)
{
    return int16_t(uint16_t(p[0] | p[1] << 8));
}
} // namespace

DevPoplar::DevPoplar(QObject* parent) : DevBase(parent)
{
    devModel = DevModelPoplar;
    devName = "Poplar";
    devFunction = {DevFuncVth, DevFuncPWM};
    memSize = kMemory;
    connectMaxRateMHz = int(kBufMaxRate / 2 / MHz);
    connectBaseClockMHz = 250;
    initChannels(16);
    aChnEna.fill(true, kChannels);
    smpDataOsc[0] = new SmpDataOsc(kChannels, 16);
    smpDataOsc[1] = new SmpDataOsc(kChannels, 16);
    aTimeDivList = {10LL,        20LL,        50LL,        100LL,        200LL,        500LL,        1000LL,
                    2000LL,      5000LL,      10000LL,     20000LL,      50000LL,      100000LL,     200000LL,
                    500000LL,    1000000LL,   2000000LL,   5000000LL,    10000000LL,   20000000LL,   50000000LL,
                    100000000LL, 200000000LL, 500000000LL, 1000000000LL, 2000000000LL, 5000000000LL};
    aVoltDivList = {20, 50, 100, 200, 500, 1000, 2000};
    aVoltDivScale = {320, 480, 480, 480, 480, 480, 480};
    resetCalibParam();
    initSettings(100 * MHz, false);
    loadAChnSettings();
    setWorkMode(WorkModeOsc);
}

void DevPoplar::setWorkMode(int mode)
{
    workMode = mode;
    setSmpMode(mode == WorkModeLA ? SmpModeStream : SmpModeBuffer);
}

void DevPoplar::setSmpMode(int mode)
{
    if (mode == SmpModeStream) {
        genSmpDepthList(SmpModeStream);
        genSmpFrequList(SmpModeStream, 100 * MHz);
    } else {
        mode = SmpModeBuffer;
        smpFrequList = {100 * MHz, 50 * MHz, 20 * MHz, 10 * MHz, 5 * MHz, 2 * MHz, 1 * MHz,
                        500000,    200000,   100000,   50000,    20000,    10000,    5000,
                        2000,      1000,     500,      200,      100};
        // The converters capture one depth; the time base picks the rate.
        smpDepthList = {10000};
        depthNoMark = 10000;
        defDepthIndex = 0;
        defFrequIndex = 0;
    }
    loadSmpDepth();
    loadSmpFrequ();
    updateSmpModeEmitSig(mode);
    checkSmpFrequToLower();
}

int DevPoplar::devConnect(unsigned char* info)
{
    // The rates are the model's own; `info` carries nothing needed here.
    (void)info;
    maxSmpFrequ = smpMode == SmpModeStream ? kStreamMaxRate : kBufMaxRate / 2;
    baseClock = (long long)connectBaseClockMHz * MHz;
    setAutoReadBuf();
    connected = true;
    readCalib();
    setAChnOffset();
    setACoupling();
    setAChnGain();
    setAChnEna();
    return 0;
}

void DevPoplar::resetCalibParam()
{
    aChnZeroTable = QVector<QVector<int>>(kChannels, QVector<int>(kZeroGroups, 0));
    aChnOffsetK = QVector<double>(kChannels, 1241);
    adcZeroDual = {0, 0};
    adcZeroSingle = {0, 0};
    adcSlope = {1000, 1000};
    const QVector<int> gains = {586, 448, 261, 75, -173, -359, -546};
    aChnGainTable = QVector<QVector<int>>(kChannels, gains);
}

QByteArray DevPoplar::packCalib() const
{
    const int n = aVoltDivList.size();
    QByteArray rec(calibRecordSize(), '\0');
    auto* p = reinterpret_cast<unsigned char*>(rec.data());
    for (int c = 0; c < kChannels; ++c) {
        for (int g = 0; g < kZeroGroups; ++g)
            put8(p + 3 * c + g, aChnZeroTable.value(c).value(g));
        const double k = aChnOffsetK.value(c);
        put16(p + 6 + 2 * c, int(qBound(-32768.0, k, 32767.0)));
    }
    for (int k = 0; k < 2; ++k) {
        put8(p + 10 + k, adcZeroDual.value(k));
        put8(p + 12 + k, adcZeroSingle.value(k));
        put16(p + 14 + 2 * k, adcSlope.value(k, 1000));
    }
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < kChannels; ++c)
            put16(p + 18 + 4 * i + 2 * c, aChnGainTable.value(c).value(i));
    const uint16_t check = uint16_t(~getCheckSum(p, 18 + 4 * n));
    p[18 + 4 * n] = uchar(check);
    p[19 + 4 * n] = uchar(check >> 8);
    return rec;
}

bool DevPoplar::calibRecordValid(const QByteArray& rec) const
{
    const int n = aVoltDivList.size();
    if (rec.size() < calibRecordSize())
        return false;
    const auto* p = reinterpret_cast<const unsigned char*>(rec.constData());
    // The check word is unsigned: compared as a signed value every record
    // with its top bit set would fail.
    const uint16_t stored = uint16_t(p[18 + 4 * n] | p[19 + 4 * n] << 8);
    return uint16_t(getCheckSum(p, 18 + 4 * n) ^ stored) == 0xFFFF;
}

void DevPoplar::unpackCalib(const QByteArray& rec)
{
    const int n = aVoltDivList.size();
    if (rec.size() < calibRecordSize())
        return;
    const auto* p = reinterpret_cast<const unsigned char*>(rec.constData());
    resetCalibParam();
    for (int c = 0; c < kChannels; ++c) {
        for (int g = 0; g < kZeroGroups; ++g)
            aChnZeroTable[c][g] = get8(p + 3 * c + g);
        aChnOffsetK[c] = get16(p + 6 + 2 * c);
    }
    for (int k = 0; k < 2; ++k) {
        adcZeroDual[k] = get8(p + 10 + k);
        adcZeroSingle[k] = get8(p + 12 + k);
        adcSlope[k] = get16(p + 14 + 2 * k);
    }
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < kChannels; ++c)
            aChnGainTable[c][i] = get16(p + 18 + 4 * i + 2 * c);
}

bool DevPoplar::readCalib()
{
    QByteArray rec(calibRecordSize(), '\0');
    for (int address : {kEepromCopy1, kEepromCopy2}) {
        // A failed read is an invalid copy.
        rec.fill('\0');
        if (ctrlIn(0xA2, (unsigned short)address, reinterpret_cast<unsigned char*>(rec.data()), rec.size()) == 0
            && calibRecordValid(rec)) {
            unpackCalib(rec);
            return true;
        }
    }
    resetCalibParam();
    return false;
}

bool DevPoplar::saveCalibParam()
{
    const QByteArray rec = packCalib();
    const auto* p = reinterpret_cast<const unsigned char*>(rec.constData());
    const int r1 = ctrlOut(0xA2, kEepromCopy1, p, rec.size());
    const int r2 = ctrlOut(0xA2, kEepromCopy2, p, rec.size());
    return r1 == 0 && r2 == 0;
}
