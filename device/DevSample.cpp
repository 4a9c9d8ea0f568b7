// Conversion wrappers of the device: every fill step works on the spare
// store, every query on the shown one. Only the GUI thread swaps or clears
// the shown store; acquisition threads hand the swap over and wait for it.

#include <QThread>

#include "data/SmpData.h"
#include "device/DevBase.h"

bool DevBase::dataConvertStart(int trgRecordIndex)
{
    if (workMode == WorkModeOsc)
        return oscConvertStart(trgRecordIndex);
    SmpData* f = fillData();
    if (!f)
        return false;
    cnvState.reset();
    return f->dataConvertStart(trgRecordIndex, getSmpFrequ(), smpChnEna) != 0;
}

bool DevBase::dataConvertNormal(const unsigned char* buf, int len, long long* convertedBytes)
{
    if (workMode == WorkModeOsc) {
        *convertedBytes += smpDataOscConvertWords(fillDataOsc(), &oscWords, buf, len);
        return true;
    }
    SmpData* f = fillData();
    if (!f)
        return false;
    if (chnNum() >= 32)
        return smpDataConvertP6_32(f, &cnvState, buf, len, convertedBytes) != 0;
    return smpDataConvertP5_16(f, &cnvState, buf, len, convertedBytes) != 0;
}

bool DevBase::dataConvertStream(const unsigned char* buf, int len, int startOffset, long long* depth)
{
    SmpData* f = fillData();
    if (!f)
        return false;
    if (devModel == DevModelAlder)
        return smpDataConvertBytes8(f, &cnvState, buf, len, startOffset, depth) != 0;
    return smpDataConvertS16_N(f, &cnvState, buf, len, startOffset, depth) != 0;
}

bool DevBase::dataConvertSimu(int chn, const int* runs, int count, long long* pos, bool extendLast)
{
    SmpData* f = fillData();
    if (!f || chn < 0 || chn >= f->chnNum || !f->chnData[chn])
        return true;   // no such channel in this capture: nothing to store
    return smpDataConvertSimu(f, chn, runs, count, pos, extendLast) != 0;
}

void DevBase::dataSetInitLevel(int chn, int level)
{
    SmpData* f = fillData();
    if (f && chn >= 0 && chn < f->chnNum)
        f->setInitLevel(chn, level);
}

void DevBase::dataSetSmpDepth(long long depth)
{
    if (SmpData* f = fillData())
        f->smpDepth = depth;
}

void DevBase::dataSetTrgPosition(long long pos)
{
    if (SmpData* f = fillData())
        f->trgPosition = pos;
}

void DevBase::dataConvertComplete(bool keep)
{
    if (workMode == WorkModeOsc) {
        SmpDataOsc* f = fillDataOsc();
        if (!f)
            return;
        f->dataConvertComplete();
        if (!keep) {
            f->clearData();
            return;
        }
    } else {
        SmpData* f = fillData();
        if (!f)
            return;
        f->dataConvertComplete(getExpectDepth());
        if (!keep) {
            f->clearData();
            return;
        }
        // Filtered here, on the capture's thread while nobody else reads the
        // store, rather than on the GUI thread once it is shown: a large
        // capture would freeze the window.
        f->updateFilter();
    }
    if (QThread::currentThread() == thread()) {
        applySwap();
        return;
    }
    // The shown store may be read on the GUI side right now: swap there, in
    // order before the sigSmpDataReady(0) that the thread emits next.
    swapPending = true;
    const unsigned gen = smpGeneration;
    QMetaObject::invokeMethod(
        this,
        [this, gen] {
            if (gen != smpGeneration)
                return;   // a newer capture has started; this one is gone
            applySwap();
            swapDone.release();
        },
        Qt::QueuedConnection);
}

bool DevBase::waitStoresSwapped()
{
    if (!swapPending)
        return true;
    while (!swapDone.tryAcquire(1, 5)) {
        if (smpStopReq)
            return false;
    }
    swapPending = false;
    return true;
}

void DevBase::applySwap()
{
    if (shownStoreGate)
        shownStoreGate();
    if (workMode == WorkModeOsc) {
        SmpDataOsc* old = shownDataOsc();
        smpDataOscSel = (smpDataOscSel == 2) ? 1 : 2;
        if (old)
            old->clearData();
        return;
    }
    SmpData* old = shownData();
    smpDataSel = (smpDataSel == 2) ? 1 : 2;
    if (old)
        old->clearData();
}

void DevBase::toggleSmpData()
{
    applySwap();
}

void DevBase::clearSmpData()
{
    if (shownStoreGate)
        shownStoreGate();
    if (workMode == WorkModeOsc) {
        for (SmpDataOsc* s : smpDataOsc)
            if (s)
                s->clearData();
        return;
    }
    for (SmpData* s : smpData)
        if (s)
            s->clearData();
}

bool DevBase::hasValidData() const
{
    if (workMode == WorkModeOsc) {
        const SmpDataOsc* o = shownDataOsc();
        for (int c = 0; o && c < aChnNum(); ++c)
            if (o->hasValidDataA(c))
                return true;
        return false;
    }
    const SmpData* s = shownData();
    return s && s->smpDepth >= 1;
}

// ===========================================================================
// Acquisition threads

#include <QElapsedTimer>

#include <cstdlib>
#include <new>

#include "device/DevGlobals.h"
#include "device/DevSample.h"
#include "device/DevSamplePriv.h"

using namespace DevSamplePriv;

// ---------------------------------------------------------------- SmpBufQueue

SmpBufQueue::SmpBufQueue()
{
    head = tail = new Node{nullptr, 0, {nullptr}};
}

SmpBufQueue::~SmpBufQueue()
{
    clear();
    delete head;
}

bool SmpBufQueue::push(unsigned char* buf, int len)
{
    Node* n = new (std::nothrow) Node{buf, len, {nullptr}};
    if (!n)
        return false;
    tail->next.store(n, std::memory_order_release);
    tail = n;
    return true;
}

bool SmpBufQueue::pop(unsigned char** buf, int* len)
{
    Node* next = head->next.load(std::memory_order_acquire);
    if (!next)
        return false;
    *buf = next->buf;
    *len = next->len;
    next->buf = nullptr;
    delete head;
    head = next;   // the popped node becomes the stub
    return true;
}

int SmpBufQueue::headLength() const
{
    const Node* next = head->next.load(std::memory_order_acquire);
    return next ? next->len : -1;
}

void SmpBufQueue::splice(SmpBufQueue& other)
{
    Node* first = other.head->next.load(std::memory_order_relaxed);
    if (!first)
        return;
    Node* last = other.tail;
    other.head->next.store(nullptr, std::memory_order_relaxed);
    other.tail = other.head;
    tail->next.store(first, std::memory_order_release);
    tail = last;
}

void SmpBufQueue::clear()
{
    unsigned char* b = nullptr;
    int len = 0;
    while (pop(&b, &len))
        std::free(b);
}

// ---------------------------------------------------------------- buffer mode

SmpCtrlNormal::SmpCtrlNormal(DevBase* dev) : dev(dev) {}

void SmpCtrlNormal::pause(int ms)
{
    dev->pauseUnlessStopped(ms, 5);
}

int SmpCtrlNormal::memWindow(long long records, long long endAddress, long long memSize, int chnNum,
                             long long* start, long long* length)
{
    *start = 0;
    *length = 0;
    const bool wide = chnNum >= 32;
    const long long perFrame = wide ? 6 : 5;
    const long long frame = wide ? 32 : 16;
    if (records < 0 || endAddress < 0)
        return 3;
    const long long len = records / perFrame * frame;
    if (len == 0)
        return 0;   // less than one frame: no data
    // The device's counts must describe its own memory.
    if (memSize <= 0 || len > memSize || endAddress > memSize || len > 0x7FFFFFFF)
        return 3;
    long long s = endAddress - len;
    if (s < 0)
        s += memSize;   // the capture wrapped around the ring memory
    *start = s;
    *length = len;
    return 0;
}

int SmpCtrlNormal::oscWindow(long long words, long long endAddress, long long memBytes, int nEna, long long* start,
                             long long* length)
{
    *start = 0;
    *length = 0;
    if (words < 0 || endAddress < 0)
        return 3;
    // No channel on, or less than a sample each: no data.
    const long long perChn = nEna < 1 ? 0 : qMin<long long>(words / nEna, OSC_MAX_SAMPLES);
    if (perChn == 0)
        return 0;
    const long long all = words * 2;
    if (memBytes <= 0 || all > memBytes || endAddress > memBytes)
        return 3;
    // The capture ends at endAddress; the read stops at what a record holds.
    long long s = endAddress - all;
    if (s < 0)
        s += memBytes;
    *start = s;
    *length = perChn * nEna * 2;
    return 0;
}

int SmpCtrlNormal::monitorSmpProgress()
{
    const long long rate = dev->getSmpFrequ();
    const long long depth = dev->getExpectDepth();
    long long expected = rate > 0 ? depth * 1000 / rate : 0;
    if (expected < 25)
        expected = 25;
    QElapsedTimer timer;
    timer.start();
    pause(26);
    long long elapsed = 0;
    qint64 last = 0;
    for (;;) {
        if (dev->smpStopReq)
            return 0;
        unsigned status = 0;
        const int r = dev->getRunSta(&status);
        if (r != 0)
            return r;
        const qint64 now = timer.elapsed();
        qint64 d = now - last;
        last = now;
        if (d < 0 || d > 2000)
            d = 50;
        elapsed += d;
        if (status & 4) {
            if ((status & 3) == 1) {
                emit dev->sigSmpSta(SmpStaSampling, 0, 100);
                return 0;
            }
            dev->smpSta = SmpStaSampling;
            emit dev->sigSmpSta(SmpStaSampling, 0, qMin(percentOf(elapsed, expected), 99));
        } else if (status & 8) {
            dev->smpSta = SmpStaWaitTrg;
            elapsed = (long long)dev->trgPosPercent * expected / 100;
            emit dev->sigSmpSta(SmpStaWaitTrg, 0, dev->trgPosPercent);
        } else {
            dev->smpSta = SmpStaPre;
            emit dev->sigSmpSta(SmpStaPre, 0, qMin(percentOf(elapsed, expected), 99));
        }
        pause(50);
    }
}

void SmpCtrlNormal::devCbAutoBulkRead(unsigned char* buffer, int length)
{
    recvBytes += length;
    if (convertOk)
        convertOk = dev->dataConvertNormal(buffer, length, &convertedBytes);
    std::free(buffer);
    if (recvBytes < totalBytes)
        emit dev->sigSmpSta(SmpStaReading, 0, percentOf(recvBytes, totalBytes));
}

void SmpCtrlNormal::run()
{
    emit dev->sigSmpSta(SmpStaStart, 0, 0);
    bool report = true;   // a pending error is reported when finishing
    for (;;) {
        // The last kept capture must be in place before the spare store is
        // refilled.
        if (!dev->waitStoresSwapped())
            break;
        dev->smpSta = SmpStaPre;
        int r = dev->reqSmpStart();
        if (r) {
            dev->smpErr = r;
            break;
        }
        r = monitorSmpProgress();
        if (r) {
            dev->smpErr = r;
            break;
        }
        // After a stop only a single capture reads what the memory holds.
        if (dev->smpStopReq && dev->smpStartMode != SmpStartSingle) {
            report = false;
            break;
        }
        dev->smpSta = SmpStaReading;
        int records = 0, trgRecord = 0, endAddress = 0;
        r = dev->getSmpResultInfo(&records, &trgRecord, &endAddress);
        if (r) {
            dev->smpErr = r;
            break;
        }
        long long start = 0, length = 0;
        if (dev->workMode == WorkModeOsc)
            r = oscWindow((long long)uint32_t(records), (long long)uint32_t(endAddress), 2LL * dev->memSize,
                          dev->oscCapture.ena.count(true), &start, &length);
        else
            r = memWindow((long long)uint32_t(records), (long long)uint32_t(endAddress), dev->memSize,
                          dev->chnNum(), &start, &length);
        if (r) {
            dev->smpErr = r;
            break;
        }
        if (length == 0) {
            report = false;   // nothing was captured
            break;
        }
        r = dev->reqMemReadStart(int(start), int(length));
        if (r) {
            dev->smpErr = r;
            break;
        }
        totalBytes = length;
        recvBytes = 0;
        convertedBytes = 0;
        convertOk = true;
        if (!dev->dataConvertStart(int(uint32_t(trgRecord) > 0x7FFFFFFFu ? -1 : trgRecord))) {
            dev->smpErr = 4;
            break;
        }
        if (devSupport) {
            devSupport->receiver = this;
            r = devSupport->autoBulkRead(length);
        } else {
            r = 1;
        }
        if (r)
            dev->smpErr = r;
        else if (recvBytes != length)
            dev->smpErr = 14;
        if (!convertOk)
            dev->smpErr = 4;
        // Read before the store is handed over to the GUI thread.
        const int zeroRuns = dev->workMode == WorkModeOsc ? -1 : dev->fillData()->zeroRunCnt;
        if (convertedBytes > 0) {
            dev->dataConvertComplete(true);
            emit dev->sigSmpDataReady(0);
            if (zeroRuns >= 0) {
                const int c = qMin(zeroRuns + 1, 999999);
                emit dev->sigSmpSta(dev->smpSta, 32, c + (c % 1000) * 1000000);
            }
        } else {
            dev->dataConvertComplete(false);
        }
        if (dev->smpStopReq || dev->smpStartMode == SmpStartSingle || dev->smpErr)
            break;
    }
    if (report && dev->smpErr)
        emit dev->sigSmpSta(dev->smpSta, dev->smpErr, 0);
    if (!dev->smpStopReq)
        dev->reqSmpStop();
    dev->smpSta = SmpStaStopped;
    emit dev->sigSmpSta(SmpStaStopped, 0, 0);
    emit dev->sigSmpDataReady(1);
    dev->smpRunning = false;
}

void DevBase::pauseUnlessStopped(int ms, int step) const
{
    QElapsedTimer t;
    t.start();
    while (!smpStopReq) {
        const qint64 left = ms - t.elapsed();
        if (left <= 0)
            break;
        QThread::msleep(unsigned(qMin<qint64>(left, step)));
    }
}
