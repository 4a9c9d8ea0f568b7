#include "device/DevBase.h"

#include <QPointer>
#include <QThread>

#include <cmath>

#include "config/Config.h"
#include "data/SmpData.h"
#include "data/Threads.h"
#include "device/DevGlobals.h"
#include "device/DevLA.h"
#include "device/DevNone.h"
#include "device/DevSample.h"
#include "device/DevSimulate.h"
#include "device/DevSupport.h"
#include "device/DevBaseUtil.h"

using namespace DevBaseUtil;

QByteArray DevBase::devBatch;
std::function<void()> DevBase::shownStoreGate;

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
    // The most-derived destructor has joined the capture; a class that
    // forgot is caught here in debug builds, and never leaves a thread
    // running on freed stores in release builds.
    Q_ASSERT(!smpRunning && !(smpThread && smpThread->isRunning()));
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
    delete smpDataOsc[0];
    delete smpDataOsc[1];
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
    return devModelSupported(model);
}

void DevBase::initChannels(int count)
{
    chnEnaStore.fill(true, count);
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
    smpChnEna = chnEna;
    if (workMode == WorkModeOsc)
        takeOscCaptureSet();
    if (connected) {
        reqSmpSettings();
        QThread* t = (smpMode == SmpModeStream) ? smpCtrlStream : smpCtrlNormal;
        smpThread = t;
        if (!t) {
            // No acquisition thread for this mode: end the capture at once.
            smpErr = 1;
            smpRunning = false;
            emit sigSmpSta(SmpStaStopped, 0, 0);
            emit sigSmpDataReady(1);
        } else if (!Threads::start(t, smpMode == SmpModeStream ? QThread::HighPriority : QThread::InheritPriority)) {
            endRefusedCapture();
        }
    } else {
        smpThread = smpSimulate;
        if (!Threads::start(smpSimulate))
            endRefusedCapture();
    }
}

void DevBase::endRefusedCapture()
{
    // The capture ends before it began; everything waiting for its end
    // (the sampling buttons, a remote start) learns it now, and only then
    // the error is shown, over a window already at rest.
    smpErr = DevSupport::ErrNoThread;
    smpSta = SmpStaStopped;
    smpRunning = false;
    emit sigSmpSta(SmpStaStopped, 0, 0);
    emit sigSmpDataReady(1);
    emit sigSmpSta(SmpStaStart, DevSupport::ErrNoThread, 0);
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

void DevBase::changeWithRestart(DevBase* device, const std::function<void()>& change)
{
    // The change may run a dialog, during which the device can be replaced.
    const QPointer<DevBase> dev = device;
    const bool wasRunning = dev && dev->smpStopForRestart();
    change();
    if (!dev)
        return;
    // Whatever reacts to the change may run its own stop/restart bracket,
    // which resets the device's restart flag while nothing runs. Restart from
    // what was seen here, and only when nothing has started a capture since.
    dev->smpRestart = wasRunning && !dev->smpRunning;
    dev->smpRestartIfNeed();
}

long long DevBase::getExpectDepth() const
{
    return curDepth;
}

long long DevBase::getPreTrgDepth() const
{
    if (workMode == WorkModeOsc)
        return curDepth * aTrgPercent / 1000;
    for (TrgType t : chnTrg)
        if (t != TrgNone)
            return (long long)trgPosPercent * curDepth / 100;
    return 0;
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
