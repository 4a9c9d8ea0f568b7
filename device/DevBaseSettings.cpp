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
// Rate, depth, channels and triggers

void DevBase::genSmpFrequList(int mode, long long maxRate)
{
    static const long long common[] = {100 * M, 50 * M, 20 * M, 10 * M, 5 * M, 2 * M, 1 * M,
                                       500 * K, 200 * K, 100 * K, 50 * K, 20 * K};
    smpFrequList.clear();
    if (mode == SmpModeBuffer) {
        if (maxRate >= 500 * M)
            smpFrequList << 500 * M;
        if (maxRate >= 200 * M)
            smpFrequList << 200 * M;
    }
    for (long long r : common)
        smpFrequList << r;
    if (mode == SmpModeStream) {
        if (!smpDepthList.isEmpty())
            depthNoMark = smpDepthList.last();
        defDepthIndex = 4;
        defFrequIndex = 3;
    }
}

void DevBase::genSmpDepthList(int mode)
{
    static const long long buffer[] = {20 * K, 200 * K, 1 * M, 2 * M, 5 * M, 10 * M, 20 * M, 50 * M,
                                       100 * M, 200 * M, 500 * M, 1 * G, 2 * G, 5 * G, 10 * G};
    smpDepthList.clear();
    for (long long d : buffer)
        smpDepthList << d;
    if (mode == SmpModeStream)
        smpDepthList << 20 * G << 50 * G << 100 * G;
}

void DevBase::genChnFrequMap(long long maxRate)
{
    bufChnFrequ.clear();
    for (int n = 4; n <= chnNum(); n *= 2)
        bufChnFrequ.append({n, maxRate});
    streamChnFrequ.clear();
    streamChnFrequ.append({3, 100 * M});
    streamChnFrequ.append({6, 50 * M});
    streamChnFrequ.append({16, 20 * M});
    if (chnNum() >= 32)
        streamChnFrequ.append({32, 10 * M});
}

long long DevBase::getSmpFrequ() const
{
    if (workMode == WorkModeOsc)
        return getOscSmpFrequ();
    if (smpFrequIndex < 0 || smpFrequIndex >= smpFrequList.size())
        return smpFrequList.isEmpty() ? 0 : smpFrequList.last();
    return smpFrequList[smpFrequIndex];
}

int DevBase::getDChnEnaNum() const
{
    int n = 0;
    for (bool e : chnEna)
        n += e ? 1 : 0;
    return n;
}

long long DevBase::getMaxSmpFrequ(int n) const
{
    if (smpMode != SmpModeStream)
        return bufChnFrequ.isEmpty() ? 0 : bufChnFrequ.first().smpFrequ;
    for (const ChnNumSmpFrequ& e : streamChnFrequ)
        if (e.chnNum >= n)
            return e.smpFrequ;
    return streamChnFrequ.isEmpty() ? 0 : streamChnFrequ.last().smpFrequ;
}

int DevBase::getMaxChnEnaNum(long long rate) const
{
    if (smpMode != SmpModeStream)
        return chnNum();
    for (int i = streamChnFrequ.size() - 1; i >= 0; --i)
        if (streamChnFrequ[i].smpFrequ >= rate)
            return streamChnFrequ[i].chnNum;
    return streamChnFrequ.isEmpty() ? chnNum() : streamChnFrequ.first().chnNum;
}

int DevBase::getMinSmpFrequIndex(int n) const
{
    const long long top = getMaxSmpFrequ(n);
    for (int i = 0; i < smpFrequList.size(); ++i)
        if (smpFrequList[i] == top)
            return i;
    // No exact entry: the first rate the limit allows.
    for (int i = 0; i < smpFrequList.size(); ++i)
        if (smpFrequList[i] <= top)
            return i;
    return 0;
}

void DevBase::checkSmpFrequToLower()
{
    const int i = getMinSmpFrequIndex(getDChnEnaNum());
    if (i > smpFrequIndex && i < smpFrequList.size()) {
        smpFrequIndex = i;
        Config::saveDeviceParam(devName, "smpFrequIndex", QString::number(i));
        Config::saveDeviceParam(devName, "smpFrequ", QString::number(smpFrequList[i] / 1000));
        emit sigSmpFrequToLower();
    }
}

void DevBase::checkDChnEnaToLess()
{
    const int m = getMaxChnEnaNum(getSmpFrequ());
    int excess = getDChnEnaNum() - m;
    if (excess <= 0)
        return;
    for (int c = chnNum() - 1; c >= 0 && excess > 0; --c) {
        if (chnEna[c]) {
            chnEnaStore[c] = false;
            chnTrg[c] = TrgNone;
            --excess;
        }
    }
    Config::saveChnEnaSettings(devName, chnEna, false);
    emit sigChnEnaChanged();
}

bool DevBase::setSmpFrequ(int index)
{
    if (index < 0 || index >= smpFrequList.size())
        return false;
    smpFrequIndex = index;
    Config::saveDeviceParam(devName, "smpFrequIndex", QString::number(index));
    Config::saveDeviceParam(devName, "smpFrequ", QString::number(smpFrequList[index] / 1000));
    checkDChnEnaToLess();
    setAutoReadBuf();
    return true;
}

bool DevBase::setSmpDepth(int index)
{
    if (index < 0 || index >= smpDepthList.size())
        return false;
    smpDepthIndex = index;
    curDepth = smpDepthList[index];
    Config::saveDeviceParam(devName, "smpDepthIndex", QString::number(index));
    Config::saveDeviceParam(devName, "smpDepth", QString::number(curDepth / 1000));
    return true;
}

bool DevBase::setSmpTime(double seconds)
{
    if (!std::isfinite(seconds) || smpDepthList.isEmpty())
        return false;
    // Range check in floating point, before any conversion to an integer.
    const double depth = std::trunc(seconds * double(getSmpFrequ()));
    if (!(depth >= double(smpDepthList.first())) || !(depth <= double(smpDepthList.last())))
        return false;
    curDepth = (long long)depth;
    Config::saveDeviceParam(devName, "smpDepth", QString::number(curDepth / 1000));
    return true;
}

bool DevBase::setDChnEna(const QVector<bool>& ena)
{
    if (ena.size() != chnEna.size())
        return false;
    if (ena == chnEna)
        return true;
    chnEnaStore = ena;
    for (int c = 0; c < chnNum(); ++c)
        if (!chnEna[c])
            chnTrg[c] = TrgNone;
    Config::saveChnEnaSettings(devName, chnEna, false);
    Config::saveChnTrgSettings(devName, chnTrg);
    emit sigChnEnaChanged();
    checkSmpFrequToLower();
    setAutoReadBuf();
    return true;
}

bool DevBase::setDChnTrg(int chn, int type)
{
    if (chn < 0 || chn >= chnNum() || type < TrgNone || type > TrgFalling)
        return false;
    if (type == TrgRising || type == TrgFalling) {
        for (TrgType& t : chnTrg)
            if (t == TrgRising || t == TrgFalling)
                t = TrgNone;
    }
    chnTrg[chn] = TrgType(type);
    Config::saveChnTrgSettings(devName, chnTrg);
    return true;
}

bool DevBase::setTrgPosition(int percent)
{
    if (percent < 0 || percent > 99)
        return false;
    if (percent != trgPosPercent) {
        trgPosPercent = percent;
        Config::saveDeviceParam(devName, "trgPosition", QString::number(percent));
    }
    return true;
}

int DevBase::getTrgPosition() const
{
    if (workMode == WorkModeOsc)
        return aTrgPercent / 10;
    return trgPosPercent;
}

QStringList DevBase::getSmpFrequStringList() const
{
    QStringList l;
    for (long long r : smpFrequList)
        l << scaledText(r, " GHz", " MHz", " KHz", " Hz");
    return l;
}

QStringList DevBase::getSmpDepthStringList() const
{
    QStringList l;
    for (long long d : smpDepthList) {
        QString s = scaledText(d, " GSa", " MSa", " KSa", "");
        if (d > depthNoMark)
            s += "*";
        l << s;
    }
    return l;
}

void DevBase::loadSmpFrequ()
{
    const int n = smpFrequList.size();
    if (n == 0)
        return;
    long long v = 0;
    int idx;
    if (storedLongLong(Config::readDeviceParam(devName, "smpFrequ"), &v)) {
        const long long rate = v * 1000;
        idx = n < 2 ? 0 : n - 1;
        for (int i = 0; i < n - 1; ++i) {
            if (rate >= smpFrequList[i]) {
                idx = i;
                break;
            }
        }
    } else if (storedLongLong(Config::readDeviceParam(devName, "smpFrequIndex"), &v) && v >= 0 && v < n) {
        idx = int(v);
    } else {
        idx = qBound(0, defFrequIndex, n - 1);
    }
    smpFrequIndex = idx;
}

void DevBase::loadSmpDepth()
{
    const int n = smpDepthList.size();
    if (n == 0)
        return;
    long long v = 0;
    int idx;
    if (storedLongLong(Config::readDeviceParam(devName, "smpDepth"), &v)) {
        const long long depth = v * 1000;
        idx = n < 2 ? 0 : n - 1;
        for (int i = 0; i < n - 1; ++i) {
            if (smpDepthList[i] >= depth) {
                idx = i;
                break;
            }
        }
    } else if (storedLongLong(Config::readDeviceParam(devName, "smpDepthIndex"), &v) && v >= 0 && v < n) {
        idx = int(v);
    } else {
        idx = qBound(0, defDepthIndex, n - 1);
    }
    smpDepthIndex = idx;
    curDepth = smpDepthList[idx];
}

void DevBase::loadDChnSettings()
{
    long long p = 0;
    if (storedLongLong(Config::readDeviceParam(devName, "trgPosition"), &p) && p >= 0 && p <= 99)
        trgPosPercent = int(p);
    else
        trgPosPercent = 5;
    chnTrg.fill(TrgNone, chnNum());
    Config::getChnTrgSettings(devName, chnTrg);
    chnEnaStore.fill(true, chnNum());
    Config::getChnEnaSettings(devName, chnEnaStore, false);
    bool edgeSeen = false;
    for (int c = 0; c < chnNum(); ++c) {
        if (!chnEna[c])
            chnTrg[c] = TrgNone;
        // A stored file may name several edge triggers; the hardware takes one.
        if (chnTrg[c] == TrgRising || chnTrg[c] == TrgFalling) {
            if (edgeSeen)
                chnTrg[c] = TrgNone;
            edgeSeen = true;
        }
    }
}

void DevBase::updateSmpModeEmitSig(int mode)
{
    const int prev = smpMode;
    smpMode = mode;
    if (prev >= 0) {
        Config::saveDeviceParam(devName, "smpMode", QString::number(mode));
        emit sigSmpModeChanged();
    }
}

void DevBase::setAutoReadBuf()
{
    if (!devSupport)
        return;
    if (smpMode == SmpModeStream)
        devSupport->setAutoReadBufSize(getSmpFrequ() * getDChnEnaNum());
    else
        devSupport->setAutoReadBufSize(0);
}

bool DevBase::queryDevFunction(int f) const
{
    return devFunction.contains(f);
}

// ---------------------------------------------------------------------------
// Thresholds

void DevBase::encodeVth(double vthRef, double volts, uint16_t* value, uint16_t* code)
{
    const double d = vthRef - volts;
    double v;
    if (d < -1.6) {
        *code = 0;
        v = (0 - d) / 3.3 * 1000;
    } else if (d < 1.6) {
        *code = 242;
        v = (1.6 - d) / 3.3 * 1000;
    } else {
        *code = 727;
        v = (4.8 - d) / 3.3 * 1000;
    }
    v = std::trunc(v);
    *value = uint16_t(qBound(0.0, v, 999.0));
}

bool DevBase::setVthValue(double volts, int group)
{
    // Register 100 + 4 x group: any other group would land on the PWM registers.
    if (group != 1 && !(group == 2 && chnNum() >= 32))
        return false;
    if (!std::isfinite(volts))
        return false;
    if (connected)
        writeVthRegister(group, volts);
    return true;
}

void DevBase::writeVthRegister(int group, double volts)
{
    uint16_t value = 0, code = 0;
    encodeVth(vthRef, volts, &value, &code);
    const unsigned char b[4] = {uchar(value), uchar(value >> 8), uchar(code), uchar(code >> 8)};
    regWrite(100 + 4 * group, b, 4);
}

void DevBase::restoreVthValue()
{
    setVthValue(storedVth(Config::readDeviceParam(devName, "chnVth")), 1);
    if (chnNum() >= 32)
        setVthValue(storedVth(Config::readDeviceParam(devName, "chnVth2")), 2);
}

// ---------------------------------------------------------------------------
// PWM outputs

bool DevBase::encodePWM(long long clock, double frequ, double duty, uint32_t* periodCount, uint32_t* highCount)
{
    if (clock <= 0 || !std::isfinite(frequ) || frequ <= 0 || !std::isfinite(duty))
        return false;
    const double p = double(clock) / frequ;
    // The counter is 32 bits wide and a period needs at least one cycle.
    const double period = qBound(1.0, roundHalfUp(p), 4294967295.0);
    const double high = qBound(0.0, roundHalfUp(qBound(0.0, duty, 100.0) / 100 * p), period);
    *periodCount = uint32_t(period);
    *highCount = uint32_t(high);
    return true;
}

void DevBase::setPWMValue(int i, double frequ, double duty)
{
    if (i < 0 || i > 1 || std::isnan(frequ) || std::isnan(duty))
        return;
    pwmFrequ[i] = qBound(0.1, frequ, 20000000.0);
    pwmDuty[i] = qBound(0.0, duty, 100.0);
    if (!connected)
        return;
    uint32_t period = 0, high = 0;
    if (!encodePWM(baseClock, pwmFrequ[i], pwmDuty[i], &period, &high))
        return;
    pwmFrequ[i] = double(baseClock) / period;
    pwmDuty[i] = 100.0 * high / period;
    unsigned char b[8];
    S64ToBytes(period, b, 4);
    S64ToBytes(high, b + 4, 4);
    regWrite(112 + 8 * i, b, 8);
}

void DevBase::setPWMEnable(bool e0, bool e1)
{
    pwmEna[0] = e0;
    pwmEna[1] = e1;
    if (connected) {
        const unsigned char b = uchar((e0 ? 1 : 0) | (e1 ? 2 : 0));
        regWrite(2, &b, 1);
    }
}

bool DevBase::getPWMEnable(int i) const
{
    return i >= 0 && i <= 1 && pwmEna[i];
}

void DevBase::getPWMValue(int i, double* frequ, double* duty) const
{
    const bool ok = i >= 0 && i <= 1;
    if (frequ)
        *frequ = ok ? pwmFrequ[i] : 0;
    if (duty)
        *duty = ok ? pwmDuty[i] : 0;
}

void DevBase::restorePWMValue()
{
    setPWMEnable(false, false);
    if (Config::readGlobalParam("extparam") == kServiceCode) {
        setPWMValue(0, 2, 50);
        setPWMValue(1, 2, 50);
        setPWMEnable(true, true);
    } else {
        setPWMValue(0, 1000, 50);
        setPWMValue(1, 100000, 50);
        setPWMEnable(true, false);
    }
}

void DevBase::saveToolbarPWMSet(bool on)
{
    Config::saveGlobalParam("toolbarPWM", on ? "1" : "0");
    emit sigToolbarPWMEna();
}

void DevBase::genDataForAnly(DataForAnly* rec) const
{
    const SmpData* s = shownData();
    if (!rec || !s)
        return;
    rec->chnData = s->chnData;
    rec->smpDepth = s->smpDepth;
    rec->smpFrequ = s->smpFrequ;
    rec->trgPosition = s->trgPosition;
    rec->chnNum = s->chnNum;
}
