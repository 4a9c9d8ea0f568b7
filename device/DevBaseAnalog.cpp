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
// Analog channel settings (oscilloscope work mode)

namespace {
template <typename T>
void loadIntList(const QString& model, const char* key, QVector<T>& list, T def, T lo, T hi)
{
    list.fill(def, list.size());
    const QString s = Config::readDeviceParam(model, key);
    if (s.isEmpty() || list.isEmpty())
        return;
    QVector<int> v(list.size());
    const int n = Config::StringToIntArray(s, v.data(), v.size());
    for (int i = 0; i < n; ++i)
        list[i] = (v[i] >= lo && v[i] <= hi) ? T(v[i]) : def;
}
} // namespace

void DevBase::loadAChnSettings()
{
    const int n = aChnNum();
    const int voltMax = aVoltDivList.isEmpty() ? (1 << 30) : aVoltDivList.size() - 1;
    aChnEna.fill(true, n);
    Config::getChnEnaSettings(devName, aChnEna, true);
    aProbeRate.resize(n);
    loadIntList(devName, "AProbeRate", aProbeRate, 1, 1, 10);
    for (int& p : aProbeRate)
        if (p != 1 && p != 10)
            p = 1;
    aCoupling.resize(n);
    loadIntList(devName, "ACoupling", aCoupling, 0, 0, 1);
    aVoltDivIndex.resize(n);
    loadIntList(devName, "AVoltDivIndex", aVoltDivIndex, qMin(5, voltMax), 0, voltMax);
    aChnOffset.resize(n);
    loadIntList(devName, "AChnOffset", aChnOffset, 0, -500, 500);
    aTrgVolt.fill(0.0, n);
    const QString tv = Config::readDeviceParam(devName, "ATrigVolt");
    if (!tv.isEmpty() && n > 0) {
        const int got = Config::StringToDoubleArray(tv, aTrgVolt.data(), n);
        for (int i = 0; i < got; ++i)
            if (!std::isfinite(aTrgVolt[i]) || std::fabs(aTrgVolt[i]) > 1e6)
                aTrgVolt[i] = 0;
    }
    long long v = 0;
    const bool timeOk = storedLongLong(Config::readDeviceParam(devName, "TimeDivIndex"), &v);
    aTimeDivIndex = (timeOk && v >= 0 && (aTimeDivList.isEmpty() || v < aTimeDivList.size())) ? int(v) : 9;
    aTrgPercent = storedLongLong(Config::readDeviceParam(devName, "ATrgPercent"), &v) ? int(qBound(0LL, v, 1000LL)) : 500;
    aTrgType = storedLongLong(Config::readDeviceParam(devName, "ATrigType"), &v) && v == TrgFalling ? TrgFalling
                                                                                                      : TrgRising;
    aTrgChn = storedLongLong(Config::readDeviceParam(devName, "ATrigChn"), &v) && v >= 0 && v < qMax(1, n) ? int(v) : 0;
    aMathOperator = storedLongLong(Config::readDeviceParam(devName, "AMathOperator"), &v) && v >= 0 && v <= 2 ? int(v) : 0;
    aMathScale.resize(3);
    loadIntList(devName, "AMathScale", aMathScale, 1000, 1, 1000000);
    aMathOffset.resize(3);
    loadIntList(devName, "AMathOffset", aMathOffset, 0, -500, 500);
}

void DevBase::setAChnEna(const QVector<bool>& ena)
{
    if (ena.size() != aChnNum())
        return;
    aChnEna = ena;
    Config::saveChnEnaSettings(devName, aChnEna, true);
    setAChnEna();
    emit sigAChnEnaChanged();
}

void DevBase::setAChnEna()
{
    if (!connected)
        return;
    unsigned char b = 0;
    for (int c = 0; c < qMin(aChnNum(), 8); ++c)
        if (aChnEna[c])
            b |= uchar(1u << c);
    regWrite(62, &b, 1);
}

void DevBase::setACoupling(int chn, int coupling)
{
    if (chn < 0 || chn >= aCoupling.size())
        return;
    aCoupling[chn] = coupling;
    Config::saveDeviceParam(devName, "ACoupling", Config::IntArrayToString(aCoupling.data(), aCoupling.size()));
    setACoupling();
}

void DevBase::setACoupling()
{
    if (!connected)
        return;
    unsigned char b = 0;
    for (int c = 0; c < qMin(aCoupling.size(), 8); ++c)
        if (aCoupling[c] != 0)
            b |= uchar(1u << c);
    regWrite(63, &b, 1);
}

void DevBase::setAProbeRate(int chn, int rate)
{
    if (chn < 0 || chn >= aProbeRate.size() || (rate != 1 && rate != 10))
        return;
    aProbeRate[chn] = rate;
    Config::saveDeviceParam(devName, "AProbeRate", Config::IntArrayToString(aProbeRate.data(), aProbeRate.size()));
}

void DevBase::setAVoltDivIndex(int chn, int index)
{
    if (chn < 0 || chn >= aVoltDivIndex.size() || index < 0 || index >= aVoltDivList.size())
        return;
    if (aVoltDivIndex[chn] == index)
        return;
    aVoltDivIndex[chn] = index;
    Config::saveDeviceParam(devName, "AVoltDivIndex",
                            Config::IntArrayToString(aVoltDivIndex.data(), aVoltDivIndex.size()));
    setAChnOffset();
    setAChnGain();
}

void DevBase::setAVoltDivValue(int chn, int value)
{
    const int i = aVoltDivList.indexOf(value);
    if (i >= 0)
        setAVoltDivIndex(chn, i);
}

void DevBase::setAChnGain()
{
    if (!connected || aChnNum() == 0)
        return;
    QVector<unsigned char> b(2 * aChnNum(), 0);
    for (int c = 0; c < aChnNum(); ++c) {
        const int i = aVoltDivIndex.value(c, -1);
        if (c < aChnGainTable.size() && i >= 0 && i < aChnGainTable[c].size())
            S64ToBytes(uint16_t(aChnGainTable[c][i]), b.data() + 2 * c, 2);
    }
    regWrite(64, b.data(), b.size());
}

void DevBase::setAChnOffset(int chn, int offset)
{
    if (chn < 0 || chn >= aChnOffset.size())
        return;
    // The zero line stays on the screen.
    aChnOffset[chn] = qBound(-500, offset, 500);
    Config::saveDeviceParam(devName, "AChnOffset", Config::IntArrayToString(aChnOffset.data(), aChnOffset.size()));
    setAChnOffset();
}

void DevBase::setAChnOffset()
{
    if (!connected || aChnNum() == 0)
        return;
    QVector<unsigned char> b(2 * aChnNum(), 0);
    for (int c = 0; c < aChnNum(); ++c) {
        if (c >= aChnZeroTable.size() || aChnZeroTable[c].isEmpty() || c >= aChnOffsetK.size())
            continue;
        const int vi = aVoltDivIndex.value(c, 0);
        const int zi = qBound(0, vi, aChnZeroTable[c].size() - 1);
        const double vdiv = (vi >= 0 && vi < aVoltDivList.size()) ? aVoltDivList[vi] : 0;
        const double v = aChnZeroTable[c][zi] + std::trunc(aChnOffsetK[c] * (aChnOffset.value(c) / 1000.0) * vdiv / 500);
        S64ToBytes(uint16_t(int(v)), b.data() + 2 * c, 2);
    }
    regWrite(72, b.data(), b.size());
}

void DevBase::setATimeDivIndex(int index)
{
    if (index < 0 || (!aTimeDivList.isEmpty() && index >= aTimeDivList.size()))
        return;
    aTimeDivIndex = index;
    Config::saveDeviceParam(devName, "TimeDivIndex", QString::number(index));
}

bool DevBase::setATimeDivValue(long long ns)
{
    const int i = aTimeDivList.indexOf(ns);
    if (i < 0)
        return false;
    setATimeDivIndex(i);
    return true;
}

bool DevBase::setATrgPercent(int value)
{
    if (value < 0 || value > 1000)
        return false;
    if (value != aTrgPercent) {
        aTrgPercent = value;
        Config::saveDeviceParam(devName, "ATrgPercent", QString::number(value));
        emit sigATrgHorChanged();
    }
    return true;
}

void DevBase::setATrgType(int type)
{
    aTrgType = type == TrgFalling ? TrgFalling : TrgRising;
    Config::saveDeviceParam(devName, "ATrigType", QString::number(aTrgType));
}

bool DevBase::setATrgChn(int chn)
{
    if (chn < 0 || chn >= aChnNum())
        return false;
    aTrgChn = chn;
    Config::saveDeviceParam(devName, "ATrigChn", QString::number(chn));
    return true;
}

void DevBase::setATrgVolt(int chn, double mV)
{
    if (chn < 0 || chn >= aTrgVolt.size() || !std::isfinite(mV))
        return;
    aTrgVolt[chn] = mV;
    Config::saveDeviceParam(devName, "ATrigVolt", Config::DoubleArrayToString(aTrgVolt.data(), aTrgVolt.size()));
}

void DevBase::saveAMathSet()
{
    Config::saveDeviceParam(devName, "AMathOperator", QString::number(aMathOperator));
    Config::saveDeviceParam(devName, "AMathScale", Config::IntArrayToString(aMathScale.data(), aMathScale.size()));
    Config::saveDeviceParam(devName, "AMathOffset", Config::IntArrayToString(aMathOffset.data(), aMathOffset.size()));
}

void DevBase::saveSmpCtrlSet()
{
    aSnapVoltDiv = aVoltDivIndex;
    aSnapTimeDiv = aTimeDivIndex;
    aSnapTrgPercent = aTrgPercent;
}

void DevBase::resetAutoScaleSet()
{
    aTimeDivIndex = aSnapTimeDiv;
    aTrgPercent = aSnapTrgPercent;
    Config::saveDeviceParam(devName, "TimeDivIndex", QString::number(aTimeDivIndex));
    Config::saveDeviceParam(devName, "ATrgPercent", QString::number(aTrgPercent));
}

QStringList DevBase::getVoltDivStringList(int chn) const
{
    QStringList l;
    const int probe = aProbeRate.value(chn, 1);
    for (int mv : aVoltDivList) {
        const long long v = (long long)mv * probe;
        l << (v >= 1000 ? QString::number(v / 1000.0, 'g', 6) + "V" : QString::number(v) + "mV");
    }
    return l;
}

QStringList DevBase::getATimeDivStringList() const
{
    QStringList l;
    for (long long ns : aTimeDivList) {
        if (ns >= 1000000000LL)
            l << QString::number(ns / 1e9, 'g', 6) + "s";
        else if (ns >= 1000000LL)
            l << QString::number(ns / 1e6, 'g', 6) + "ms";
        else if (ns >= 1000LL)
            l << QString::number(ns / 1e3, 'g', 6) + "us";
        else
            l << QString::number(ns) + "ns";
    }
    return l;
}

int DevBase::aVoltDiv(int chn) const
{
    const int i = aVoltDivIndex.value(chn, -1);
    return i >= 0 && i < aVoltDivList.size() ? aVoltDivList[i] : 0;
}

long long DevBase::aTimeDiv() const
{
    return aTimeDivIndex >= 0 && aTimeDivIndex < aTimeDivList.size() ? aTimeDivList[aTimeDivIndex] : 0;
}

// ---------------------------------------------------------------------------
// Analog captures

long long DevBase::getOscSmpFrequ() const
{
    // Ten divisions hold the sample depth: the highest rate that fits.
    const long long ns = aTimeDiv();
    if (smpFrequList.isEmpty())
        return 0;
    if (ns <= 0)
        return smpFrequList.first();
    const double fit = double(curDepth) * 1e9 / (10.0 * double(ns));
    for (long long r : smpFrequList)
        if (double(r) <= fit)
            return r;
    return smpFrequList.last();
}

void DevBase::takeOscCaptureSet()
{
    OscCaptureSet& s = oscCapture;
    const int n = aChnNum();
    s.rate = getOscSmpFrequ();
    s.trgPermille = aTrgPercent;
    s.ena = aChnEna;
    s.gain.fill(0, n);
    s.scale.fill(0, n);
    s.offset.fill(0, n);
    for (int c = 0; c < n; ++c) {
        const int i = aVoltDivIndex.value(c, -1);
        s.gain[c] = aVoltDiv(c);
        s.scale[c] = i >= 0 && i < aVoltDivScale.size() ? aVoltDivScale[i] : 0;
        s.offset[c] = aChnOffset.value(c, 0);
    }
    for (int k = 0; k < 2; ++k) {
        s.slope[k] = adcSlope.value(k, 1000);
        s.zeroDual[k] = adcZeroDual.value(k, 0);
        s.zeroSingle[k] = adcZeroSingle.value(k, 0);
    }
}

bool DevBase::oscConvertStart(int trgRecordIndex)
{
    SmpDataOsc* f = fillDataOsc();
    const OscCaptureSet& s = oscCapture;
    const int n = s.ena.size();
    if (!f || f->chnNum != n || s.gain.size() != n)
        return false;
    OscWordState w;
    for (int c = 0; c < n; ++c) {
        if (s.ena[c] && w.nEna < 2)
            w.chn[w.nEna++] = c;
    }
    const bool single = w.nEna == 1;
    for (int k = 0; k < 2; ++k) {
        w.slope[k] = s.slope[k];
        w.zero[k] = single ? s.zeroSingle[k] : s.zeroDual[k];
    }
    oscWords = w;
    if (!f->dataConvertStart(trgRecordIndex, s.rate, s.gain.constData(), s.scale.constData(), s.offset.constData(),
                             s.ena.constData()))
        return false;
    // The device counts the trigger in samples of each channel.
    for (int c = 0; c < n; ++c)
        if (AnalogChnData* d = f->record(c))
            d->trgIndex = qMax(0, trgRecordIndex);
    return true;
}

void DevBase::dataConvertSimuOsc(const int* table, int tableLength, int chn, int count, QRandomGenerator* rng)
{
    if (SmpDataOsc* f = fillDataOsc())
        f->dataConvertSimu(table, tableLength, chn, oscCapture.trgPermille, count, rng);
}

void DevBase::reqOscTrgSettings()
{
    const unsigned char t[2] = {uchar(aTrgChn), uchar(aTrgType == TrgFalling ? TrgFalling : TrgRising)};
    regWrite(48, t, 2);
    // 25 device steps per division of the channel's scale.
    unsigned char lv[2] = {0, 0};
    for (int c = 0; c < 2 && c < aTrgVolt.size(); ++c) {
        const int vdiv = aVoltDiv(c);
        if (vdiv > 0 && std::isfinite(aTrgVolt[c]))
            lv[c] = uchar(int8_t(qBound(-127.0, std::trunc(aTrgVolt[c] / vdiv * 25.0), 127.0)));
    }
    regWrite(80, lv, 2);
}
