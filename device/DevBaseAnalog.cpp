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
    loadIntList(devName, "AChnOffset", aChnOffset, 0, -1000, 1000);
    aTrgVolt.fill(0.0, n);
    const QString tv = Config::readDeviceParam(devName, "ATrigVolt");
    if (!tv.isEmpty() && n > 0) {
        const int got = Config::StringToDoubleArray(tv, aTrgVolt.data(), n);
        for (int i = 0; i < got; ++i)
            if (!std::isfinite(aTrgVolt[i]))
                aTrgVolt[i] = 0;
    }
    long long v = 0;
    const bool timeOk = storedLongLong(Config::readDeviceParam(devName, "TimeDivIndex"), &v);
    aTimeDivIndex = (timeOk && v >= 0 && (aTimeDivList.isEmpty() || v < aTimeDivList.size())) ? int(v) : 9;
    aTrgPercent = storedLongLong(Config::readDeviceParam(devName, "ATrgPercent"), &v) ? int(qBound(0LL, v, 1000LL)) : 500;
    aTrgType = storedLongLong(Config::readDeviceParam(devName, "ATrigType"), &v) && v >= 0 && v <= 255 ? int(v) : 0;
    aTrgChn = storedLongLong(Config::readDeviceParam(devName, "ATrigChn"), &v) && v >= 0 && v < qMax(1, n) ? int(v) : 0;
    QVector<int> math(3, 0);
    Config::StringToIntArray(Config::readDeviceParam(devName, "AMathOperator"), math.data(), 3);
    aMathOperator = math[0];
    aMathScale = math[1];
    aMathOffset = math[2];
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
    aChnOffset[chn] = offset;
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

void DevBase::setATimeDivValue(int value)
{
    const int i = aTimeDivList.indexOf(value);
    if (i >= 0)
        setATimeDivIndex(i);
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
    aTrgType = type;
    Config::saveDeviceParam(devName, "ATrigType", QString::number(type));
}

void DevBase::setATrgChn(int chn)
{
    if (chn < 0 || chn >= qMax(1, aChnNum()))
        return;
    aTrgChn = chn;
    Config::saveDeviceParam(devName, "ATrigChn", QString::number(chn));
}

void DevBase::setATrgVolt(int chn, double volts)
{
    if (chn < 0 || chn >= aTrgVolt.size() || !std::isfinite(volts))
        return;
    aTrgVolt[chn] = volts;
    Config::saveDeviceParam(devName, "ATrigVolt", Config::DoubleArrayToString(aTrgVolt.data(), aTrgVolt.size()));
}

void DevBase::saveAMathSet()
{
    const int v[3] = {aMathOperator, aMathScale, aMathOffset};
    Config::saveDeviceParam(devName, "AMathOperator", Config::IntArrayToString(v, 3));
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

QStringList DevBase::getVoltDivStringList(int) const
{
    QStringList l;
    for (int mv : aVoltDivList)
        l << (mv >= 1000 ? QString::number(mv / 1000.0, 'g', 6) + "V" : QString::number(mv) + "mV");
    return l;
}

QStringList DevBase::getATimeDivStringList() const
{
    QStringList l;
    for (long long ps : aTimeDivList) {
        if (ps >= 1000000000000LL)
            l << QString::number(ps / 1e12, 'g', 6) + "s";
        else if (ps >= 1000000000LL)
            l << QString::number(ps / 1e9, 'g', 6) + "ms";
        else if (ps >= 1000000LL)
            l << QString::number(ps / 1e6, 'g', 6) + "us";
        else
            l << QString::number(ps / 1e3, 'g', 6) + "ns";
    }
    return l;
}
