#include "device/DevSample.h"

#include <cstdlib>

#include "data/Threads.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "device/DevSamplePriv.h"

using namespace DevSamplePriv;

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

bool SmpCtrlStream::queueOrFail(SmpBufQueue& q, unsigned char* buf, int len)
{
    if (q.push(buf, len))
        return true;
    std::free(buf);
    failed = true;
    dev->smpErr = 4;
    dev->reqSmpStop();
    dev->smpSta = SmpStaReading;
    return false;
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
        if (!queueOrFail(pending, buf, len))
            return;
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
        if (!queueOrFail(queue, buf, len))
            return;
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
    int err = 0;
    if (!setupTrigger(dev->chnTrg, dev->smpChnEna, b8) || expectDepth <= 0 || !devSupport || !cnvt) {
        err = 1;
    } else {
        cnvtQuit = false;
        while (semCnvtStart.tryAcquire())
            ;
        while (semCnvtDone.tryAcquire())
            ;
        if (!Threads::start(cnvt))
            err = DevSupport::ErrNoThread;   // nothing would take the data
    }
    if (err) {
        dev->smpErr = err;
        emit dev->sigSmpSta(dev->smpSta, dev->smpErr, 0);
        dev->smpSta = SmpStaStopped;
        emit dev->sigSmpSta(SmpStaStopped, 0, 0);
        emit dev->sigSmpDataReady(1);
        dev->smpRunning = false;
        return;
    }

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
