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

QByteArray DevBase::devBatch;
std::function<void()> DevBase::shownStoreGate;

namespace {
constexpr long long K = 1000;
constexpr long long M = 1000 * K;
constexpr long long G = 1000 * M;
const char* const kServiceCode = "52m61q70w83";
constexpr double kVthDefault = 1.65;
constexpr double kVthLimit = 4.0;

// Parses stored text as an integer; false for empty or malformed text.
// Values are limited to +-10^15 so that scaling kHz or k-samples to units
// cannot overflow.
bool storedLongLong(const QString& s, long long* out)
{
    bool ok = false;
    const long long v = s.trimmed().toLongLong(&ok);
    if (ok)
        *out = qBound(-1000000000000000LL, v, 1000000000000000LL);
    return ok;
}

double storedVth(const QString& s)
{
    bool ok = false;
    const double v = s.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < -kVthLimit || v > kVthLimit)
        return kVthDefault;
    return v;
}

QString scaledText(long long v, const char* g, const char* m, const char* k, const char* unit)
{
    if (v >= G)
        return QString::number(double(v) / G, 'g', 6) + g;
    if (v >= M)
        return QString::number(double(v) / M, 'g', 6) + m;
    if (v >= K)
        return QString::number(double(v) / K, 'g', 6) + k;
    return QString::number(v) + unit;
}

// Rounds half up as the PWM counters expect: truncate, add one from .5 on.
double roundHalfUp(double v)
{
    const double t = std::floor(v);
    return (v - t >= 0.5) ? t + 1 : t;
}
} // namespace

// ---------------------------------------------------------------------------
// Construction and connection

DevBase::DevBase(QObject* parent) : QObject(parent)
{
    smpSimulate = new SmpSimulate(this);
    // Children as well: a thread object put in a slot's place (tests) still
    // leaves the original to be freed with the device.
    auto* stream = new SmpCtrlStream(this);
    stream->setParent(this);
    smpCtrlStream = stream;
    smpCtrlNormal = new SmpCtrlNormal(this);
    smpCtrlNormal->setParent(this);
    smpCnvtStream = new SmpCnvtStream(this, stream);
    smpCnvtStream->setParent(this);
    restorePWMValue();
}

DevBase::~DevBase()
{
    smpStopAndWait();
    // The transport must not call into the threads once they are gone.
    if (devSupport && devSupport->receiver) {
        for (QObject* o : children())
            if (dynamic_cast<InterfaceDevCallback*>(o) == devSupport->receiver)
                devSupport->receiver = nullptr;
    }
    delete smpSimulate;
    delete smpCtrlNormal;
    delete smpCtrlStream;
    delete smpCnvtStream;
    delete smpData[0];
    delete smpData[1];
}

DevBase* DevBase::createDevice(int model)
{
    Config::saveGlobalParam("devModel", QString::number(model));
    switch (model) {
    case DevModelRowan: return new DevRowan;
    case DevModelSpruce: return new DevSpruce;
    case DevModelTeak: return new DevTeak;
    case DevModelWillow: return new DevWillow;
    default: return new DevNone;
    }
}

bool DevBase::queryModelSupport(int model)
{
    return model == DevModelDemo || (model >= DevModelRowan && model <= DevModelWillow);
}

void DevBase::initChannels(int count)
{
    chnEna.fill(true, count);
    chnTrg.fill(TrgNone, count);
    if (auto* stream = qobject_cast<SmpCtrlStream*>(smpCtrlStream))
        stream->setChnNum(count);
    smpData[0] = new SmpData(count);
    smpData[1] = new SmpData(count);
}

int DevBase::devConnect(unsigned char* info)
{
    // The clocks are fixed per model; `info` carries nothing the base needs.
    (void)info;
    maxSmpFrequ = (long long)connectMaxRateMHz * M;
    baseClock = (long long)connectBaseClockMHz * M;
    if (memSize > 0) {
        const int r = checkMemorySta();
        if (r != 0)
            return r;
    }
    connected = true;
    setAutoReadBuf();
    return 0;
}

void DevBase::devDisconnect()
{
    connected = false;
    devBatch.clear();
}

void DevBase::devStandby()
{
    if (connected)
        ctrlOut(0x10, 0, nullptr, 0);
}

// ---------------------------------------------------------------------------
// Sampling control

void DevBase::smpStart(int mode, bool bySocket)
{
    // A second start must not run two threads on the same stores.
    if (smpRunning || (smpThread && smpThread->isRunning()))
        smpStopAndWait();
    ++smpGeneration;
    swapPending = false;
    swapDone.tryAcquire(swapDone.available());
    clearSmpData();
    if (mode != SmpStartAuto)
        emit sigSmpDataReady(0);
    smpBySocket = bySocket;
    smpErr = 0;
    smpRunning = true;
    smpStopReq = false;
    if (mode >= 0)
        smpStartMode = mode;
    if (connected) {
        reqSmpSettings();
        QThread* t = (smpMode == SmpModeStream) ? smpCtrlStream : smpCtrlNormal;
        smpThread = t;
        if (t) {
            t->start(smpMode == SmpModeStream ? QThread::HighPriority : QThread::InheritPriority);
        } else {
            // No acquisition thread for this mode: end the capture at once.
            smpErr = 1;
            smpRunning = false;
            emit sigSmpSta(SmpStaStopped, 0, 0);
            emit sigSmpDataReady(1);
        }
    } else {
        smpThread = smpSimulate;
        smpSimulate->start(QThread::InheritPriority);
    }
}

void DevBase::smpStop()
{
    if (!smpRunning || smpStopReq)
        return;
    if (connected && smpMode != SmpModeStream)
        reqSmpStop();
    smpStopReq = true;
    if (connected && smpMode == SmpModeStream)
        reqSmpStop();
}

void DevBase::smpStopAndWait()
{
    if (smpRunning)
        smpStop();
    // Join the thread that was started, whatever `connected` says by now:
    // an unplug during a capture clears it while that thread still runs.
    if (smpThread)
        smpThread->wait();
}

bool DevBase::smpStopForRestart()
{
    smpRestart = smpRunning;
    if (smpRestart)
        smpStopAndWait();
    return smpRestart;
}

void DevBase::smpRestartIfNeed()
{
    if (smpRestart) {
        smpRestart = false;
        smpStart(SmpStartPrevious, false);
    }
}

long long DevBase::getExpectDepth() const
{
    return curDepth;
}

long long DevBase::getPreTrgDepth() const
{
    for (TrgType t : chnTrg)
        if (t != TrgNone)
            return (long long)trgPosPercent * curDepth / 100;
    return 0;
}

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
            chnEna[c] = false;
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
    chnEna = ena;
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
    chnEna.fill(true, chnNum());
    Config::getChnEnaSettings(devName, chnEna, false);
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

    if (workMode == WorkModeOsc) {
        const unsigned char t[2] = {uchar(aTrgChn), uchar(aTrgType)};
        regWrite(48, t, 2);
        unsigned char lv[2] = {0, 0};
        for (int c = 0; c < 2 && c < aTrgVolt.size(); ++c) {
            // 25 device steps per division of the channel's current scale.
            const int vi = (c < aVoltDivIndex.size()) ? aVoltDivIndex[c] : -1;
            const int probe = (c < aProbeRate.size() && aProbeRate[c] > 0) ? aProbeRate[c] : 1;
            if (vi >= 0 && vi < aVoltDivList.size() && aVoltDivList[vi] > 0) {
                const double steps = aTrgVolt[c] * 1000.0 / (double(aVoltDivList[vi]) * probe) * 25.0;
                lv[c] = uchar(int8_t(qBound(-127.0, std::trunc(steps), 127.0)));
            }
        }
        regWrite(80, lv, 2);
    }
    return 0;
}

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

// ---------------------------------------------------------------------------
// Model set-up

void DevBase::initSettings(long long bufMaxRate, bool dual)
{
    loadDChnSettings();
    genChnFrequMap(bufMaxRate);
    if (!dual)
        return;
    // Settings files are user input: anything but a known mode is buffer mode.
    long long m = 0;
    if (!storedLongLong(Config::readDeviceParam(devName, "smpMode"), &m) || m != SmpModeStream)
        m = SmpModeBuffer;
    setSmpMode(int(m));
}

void DevBase::setSmpModeDual(int mode, long long bufMaxRate, long long bufNoMark, int bufDefDepth,
                             int bufDefFrequ, int streamDefFrequ)
{
    if (mode != SmpModeBuffer && mode != SmpModeStream)
        return;
    if (mode == smpMode)
        return;
    genSmpDepthList(mode);
    genSmpFrequList(mode, bufMaxRate);
    if (mode == SmpModeBuffer) {
        depthNoMark = bufNoMark;
        defDepthIndex = bufDefDepth;
        defFrequIndex = bufDefFrequ;
    } else if (streamDefFrequ != 3) {
        defFrequIndex = streamDefFrequ;
    }
    loadSmpDepth();
    loadSmpFrequ();
    updateSmpModeEmitSig(mode);
    checkSmpFrequToLower();
    setAutoReadBuf();
}
