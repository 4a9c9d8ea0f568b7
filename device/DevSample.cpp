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

namespace {
// Percent of a 64-bit part of a 64-bit whole, 0..100; 0 for an empty whole.
int percentOf(long long part, long long whole)
{
    if (whole <= 0 || part <= 0)
        return 0;
    if (part >= whole)
        return 100;
    return int((__int128)part * 100 / whole);
}
} // namespace

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

// ---------------------------------------------------------------- stream mode

namespace {
// Trigger tables: bit i of tabMap0to1[v] (v 9 bits) is set when bit i of v
// is 0 and bit i+1 is 1, tabMap1to0 the reverse; tabFirst1 is the lowest set
// bit of a byte (-1 for 0).
struct TrgTables {
    uint8_t map0to1[512];
    uint8_t map1to0[512];
    int8_t first1[256];
    TrgTables()
    {
        for (int v = 0; v < 512; ++v) {
            uint8_t a = 0, b = 0;
            for (int i = 0; i < 8; ++i) {
                const int lo = v >> i & 1, hi = v >> (i + 1) & 1;
                if (!lo && hi)
                    a |= uint8_t(1u << i);
                if (lo && !hi)
                    b |= uint8_t(1u << i);
            }
            map0to1[v] = a;
            map1to0[v] = b;
        }
        first1[0] = -1;
        for (int v = 1; v < 256; ++v)
            first1[v] = int8_t(__builtin_ctz(unsigned(v)));
    }
};
const TrgTables& trgTables()
{
    static const TrgTables t;
    return t;
}
} // namespace

SmpCtrlStream::SmpCtrlStream(DevBase* dev) : dev(dev)
{
    trgTables();
}

SmpCtrlStream::~SmpCtrlStream()
{
    pending.clear();
    queue.clear();
}

void SmpCtrlStream::setChnNum(int n)
{
    if (n < 8)
        n = 8;
    trgType.assign(size_t(n), 0);
    trgPrev.assign(size_t(n), 0);
    trgKnown.assign(size_t(n), 0);
    trgStatus.assign(size_t(n), 0);
}

bool SmpCtrlStream::setupTrigger(const QVector<TrgType>& chnTrg, const QVector<bool>& chnEna, bool b8)
{
    bytes8 = b8;
    mskEdge = mskFalling = mskLevel = mskHigh = 0;
    for (int c = 0; c < chnTrg.size() && c < 8; ++c) {
        const uint8_t bit = uint8_t(1u << c);
        switch (chnTrg[c]) {
        case TrgRising: mskEdge |= bit; break;
        case TrgFalling: mskEdge |= bit; mskFalling |= bit; break;
        case TrgLow: mskLevel |= bit; break;
        case TrgHigh: mskLevel |= bit; mskHigh |= bit; break;
        default: break;
        }
    }
    int k = 0;
    if ((int)trgType.size() < chnEna.size())
        setChnNum(chnEna.size());
    for (int c = 0; c < chnEna.size(); ++c) {
        if (!chnEna[c])
            continue;
        trgType[size_t(k++)] = uint8_t(c < chnTrg.size() ? chnTrg[c] : TrgNone);
    }
    chnEnaNum = bytes8 ? 8 : k;
    resetTrgSearch();
    return k > 0;
}

int SmpCtrlStream::getTrgIndex(const unsigned char* buf, int len, int firstChn)
{
    const int n = chnEnaNum;
    if (n <= 0 || !buf || len < 2 || firstChn < 0 || firstChn >= n || n > (int)trgType.size())
        return -1;
    if (trgFirstBuf) {
        trgFirstBuf = false;
        // Channels before the first word's channel have nothing in this row.
        for (int k = 0; k < n; ++k) {
            trgKnown[size_t(k)] = 0;
            trgStatus[size_t(k)] = 0;
        }
    }
    const TrgTables& tab = trgTables();
    int k = firstChn;
    int rows = 0;
    const int words = len / 2;
    for (int w = 0; w < words; ++w) {
        const uint32_t v = uint32_t(buf[2 * w]) | uint32_t(buf[2 * w + 1]) << 8;
        if (!trgKnown[size_t(k)]) {
            trgKnown[size_t(k)] = 1;
            trgPrev[size_t(k)] = uint8_t(v & 1);
        }
        uint32_t st;
        switch (trgType[size_t(k)]) {
        case TrgLow: st = ~v & 0xFFFF; break;
        case TrgHigh: st = v; break;
        case TrgRising: {
            const uint32_t x = v << 1 | trgPrev[size_t(k)];
            st = uint32_t(tab.map0to1[x >> 8]) << 8 | tab.map0to1[x & 0x1FF];
            break;
        }
        case TrgFalling: {
            const uint32_t x = v << 1 | trgPrev[size_t(k)];
            st = uint32_t(tab.map1to0[x >> 8]) << 8 | tab.map1to0[x & 0x1FF];
            break;
        }
        default: st = 0xFFFF; break;
        }
        trgPrev[size_t(k)] = uint8_t(v >> 15);
        trgStatus[size_t(k)] = uint16_t(st);
        if (++k == n) {
            k = 0;
            ++rows;
            uint32_t all = 0xFFFF;
            for (int j = 0; j < n && all; ++j)
                all &= trgStatus[size_t(j)];
            if (all) {
                const int b = (all & 0xFF) ? tab.first1[all & 0xFF] : 8 + tab.first1[all >> 8];
                return (rows - 1) * 16 + b;
            }
        }
    }
    return -1;
}

int SmpCtrlStream::getTrgIndex(const unsigned char* buf, int len)
{
    if (!buf || len <= 0)
        return -1;
    if (trgFirstBuf) {
        trgFirstBuf = false;
        trgPrev8 = buf[0];
    }
    uint8_t prev = trgPrev8;
    for (int i = 0; i < len; ++i) {
        const uint8_t b = buf[i];
        const uint8_t changed = uint8_t((b ^ prev) & mskEdge);
        // Every edge channel has to change, in its own direction; a byte
        // without the change never matches an edge trigger.
        if ((b & mskLevel) == mskHigh && changed == mskEdge && (changed & prev) == mskFalling) {
            trgPrev8 = b;
            return i;
        }
        prev = b;
    }
    trgPrev8 = prev;
    return -1;
}

long long SmpCtrlStream::getSampledDepth() const
{
    const long long r = rowBytes();
    if (r <= 0)
        return 0;
    const long long droppedRows = dropped == 0 ? 0 : (dropped - 1) / r + 1;
    const long long rows = received / r - droppedRows;
    return rows > 0 ? rows * 16 : 0;
}

int SmpCtrlStream::percent(long long depth) const
{
    return percentOf(depth, expectDepth);
}

void SmpCtrlStream::resetCycle()
{
    received = 0;
    dropped = 0;
    headOffset = 0;
    firstBuf = true;
    forcedTrg = false;
    failed = false;
    pending.clear();
    pendingCount = 0;
    pendingStart = 0;
    queue.clear();
    while (semDataAvail.tryAcquire())
        ;
    resetTrgSearch();
}

// Drops whole buffers that lie before the first kept byte and sets the
// offset of that byte in the oldest buffer that is left.
void SmpCtrlStream::normaliseHead()
{
    for (;;) {
        const int len = pending.headLength();
        if (len < 0) {
            headOffset = 0;
            return;
        }
        if (pendingStart + len > dropped) {
            headOffset = int(dropped - pendingStart);
            return;
        }
        unsigned char* b = nullptr;
        int l = 0;
        pending.pop(&b, &l);
        std::free(b);
        --pendingCount;
        pendingStart += l;
    }
}

void SmpCtrlStream::removeQueueHead()
{
    unsigned char* b = nullptr;
    int len = 0;
    if (!pending.pop(&b, &len))
        return;
    std::free(b);
    --pendingCount;
    pendingStart += len;
    dropFront(pendingStart - dropped);
}

void SmpCtrlStream::dropFront(long long bytes)
{
    const long long r = rowBytes();
    if (bytes > 0)
        dropped += bytes;
    // Keep whole rows: the stream is row aligned from its first byte.
    if (r > 0 && dropped % r)
        dropped += r - dropped % r;
    normaliseHead();
}

void SmpCtrlStream::releasePending(int extra)
{
    const int n = pendingCount;
    queue.splice(pending);
    pendingCount = 0;
    if (n + extra > 0)
        semDataAvail.release(n + extra);
}

void SmpCtrlStream::devCbPostSmpStart()
{
    // The transfers are queued: only now may the device start sending.
    int r = dev->reqSmpStart();
    if (r == 0)
        r = dev->reqAutoBulkRead();
    if (r != 0 && dev->smpErr == 0)
        dev->smpErr = r;
}

void SmpCtrlStream::devCbAutoBulkRead(unsigned char* buf, int len)
{
    const int sta = dev->smpSta;
    if (sta == SmpStaReading || sta == SmpStaStopped || failed || len <= 0) {
        std::free(buf);
        return;
    }
    const long long prevReceived = received;
    const long long prevDepth = getSampledDepth();
    received += len;
    const long long depth = getSampledDepth();

    if (sta == SmpStaPre || sta == SmpStaWaitTrg) {
        int idx = 0;
        if (!forcedTrg)
            idx = bytes8 ? getTrgIndex(buf, len) : getTrgIndex(buf, len, int((prevReceived / 2) % chnEnaNum));
        if (!pending.push(buf, len)) {
            std::free(buf);
            failed = true;
            dev->smpErr = 4;
            dev->reqSmpStop();
            dev->smpSta = SmpStaReading;
            return;
        }
        ++pendingCount;
        firstBuf = false;
        if (idx < 0) {
            if (depth < preTrgDepth) {
                emit dev->sigSmpSta(sta, 0, percent(depth));
                return;
            }
            // Enough pre-trigger data: drop the oldest buffer, never the one
            // just searched (a trigger row may begin in it).
            if (prevDepth >= preTrgDepth && pendingCount >= 2)
                removeQueueHead();
            dev->smpSta = SmpStaWaitTrg;
            emit dev->sigSmpSta(SmpStaWaitTrg, 0, dev->trgPosPercent);
            if (dev->smpStartMode == SmpStartRepeat)
                forcedTrg = true;
            return;
        }
        long long trg = prevDepth + idx;
        if (trg < 0)
            trg = 0;
        // Keep at most the pre-trigger depth before the trigger, in whole rows.
        const long long excess = trg - preTrgDepth;
        if (excess >= 16) {
            const long long rows = excess / 16;
            trg -= rows * 16;
            dropFront(rows * rowBytes());
        }
        dev->smpSta = SmpStaSampling;
        dev->dataSetTrgPosition(trg);
        releasePending(0);
    } else {
        if (!queue.push(buf, len)) {
            std::free(buf);
            failed = true;
            dev->smpErr = 4;
            dev->reqSmpStop();
            dev->smpSta = SmpStaReading;
            return;
        }
        semDataAvail.release();
    }
    if (getSampledDepth() < expectDepth) {
        emit dev->sigSmpSta(SmpStaSampling, 0, percent(getSampledDepth()));
    } else {
        emit dev->sigSmpSta(SmpStaSampling, 0, 100);
        dev->reqSmpStop();
        dev->smpSta = SmpStaReading;
    }
}

void SmpCtrlStream::run()
{
    emit dev->sigSmpSta(SmpStaStart, 0, 0);
    SmpCnvtStream* cnvt = dev->smpCnvtStream;
    expectDepth = dev->getExpectDepth();
    preTrgDepth = dev->getPreTrgDepth();
    if (preTrgDepth > expectDepth)
        preTrgDepth = expectDepth;
    const bool b8 = dev->devModel == DevModelAlder;
    // No enabled channel (or nothing to capture): there are no rows to count.
    if (!setupTrigger(dev->chnTrg, dev->smpChnEna, b8) || expectDepth <= 0 || !devSupport || !cnvt) {
        dev->smpErr = 1;
        emit dev->sigSmpSta(dev->smpSta, dev->smpErr, 0);
        dev->smpSta = SmpStaStopped;
        emit dev->sigSmpSta(SmpStaStopped, 0, 0);
        emit dev->sigSmpDataReady(1);
        dev->smpRunning = false;
        return;
    }
    cnvtQuit = false;
    while (semCnvtStart.tryAcquire())
        ;
    while (semCnvtDone.tryAcquire())
        ;
    cnvt->start(QThread::InheritPriority);

    for (;;) {
        if (!dev->waitStoresSwapped())
            break;
        resetCycle();
        int r = dev->reqAutoBulkReadPrepare();
        if (r) {
            dev->smpErr = r;
            break;
        }
        dev->smpSta = SmpStaPre;
        if (!dev->dataConvertStart(0)) {
            dev->smpErr = 4;
            break;
        }
        semCnvtStart.release();

        devSupport->receiver = this;
        r = devSupport->autoBulkRead(0);
        if (r && dev->smpErr == 0)
            dev->smpErr = r;
        if (getSampledDepth() >= expectDepth) {
            if (dev->smpErr == 3)
                dev->smpErr = 0;   // the device ended the stream after the stop
        } else if (!dev->smpStopReq) {
            if (dev->smpErr == 0)
                dev->smpErr = 14;
            dev->reqSmpStop();
        } else {
            dev->smpErr = 0;
        }

        const int sta = dev->smpSta;
        if (sta == SmpStaPre || sta == SmpStaWaitTrg)
            releasePending(1);   // every pre-trigger buffer, then the end
        else
            semDataAvail.release();
        semCnvtDone.acquire();

        if (dev->smpStopReq || dev->smpStartMode == SmpStartSingle || dev->smpErr)
            break;
    }
    if (dev->smpErr)
        emit dev->sigSmpSta(dev->smpSta, dev->smpErr, 0);
    cnvtQuit = true;
    semCnvtStart.release();
    cnvt->wait();
    queue.clear();
    pending.clear();
    pendingCount = 0;
    dev->smpSta = SmpStaStopped;
    emit dev->sigSmpSta(SmpStaStopped, 0, 0);
    emit dev->sigSmpDataReady(1);
    dev->smpRunning = false;
}

// ---------------------------------------------------------------- stream converter

SmpCnvtStream::SmpCnvtStream(DevBase* dev, SmpCtrlStream* ctl) : dev(dev), ctl(ctl) {}

void SmpCnvtStream::run()
{
    for (;;) {
        ctl->semCnvtStart.acquire();
        if (ctl->cnvtQuit)
            break;
        const long long expected = dev->getExpectDepth();
        long long depth = 0;
        bool first = true;
        bool ok = true;
        for (;;) {
            ctl->semDataAvail.acquire();
            if (dev->smpStopReq)
                dev->smpSta = SmpStaReading;
            unsigned char* buf = nullptr;
            int len = 0;
            if (!ctl->queue.pop(&buf, &len))
                break;
            const bool single = dev->smpStartMode == SmpStartSingle;
            if (ok && (!dev->smpStopReq || single)) {
                if (!dev->dataConvertStream(buf, len, first ? ctl->headOffset : -1, &depth)) {
                    ok = false;
                    dev->reqSmpStop();
                }
            }
            std::free(buf);
            if (dev->smpSta == SmpStaReading && (!dev->smpStopReq || single)) {
                const int p = percentOf(depth, expected);
                if (p <= 99)
                    emit dev->sigSmpSta(SmpStaReading, 0, p);
            }
            first = false;
        }
        if (!ok)
            dev->smpErr = 4;
        if (depth > 0) {
            const bool keep = dev->smpStopReq ? dev->smpStartMode == SmpStartSingle : true;
            dev->dataConvertComplete(keep);
            emit dev->sigSmpDataReady(0);
        } else {
            dev->dataConvertComplete(false);
        }
        ctl->semCnvtDone.release();
    }
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
