#include "data/SmpData.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <QStringList>
#include <QtGlobal>

#include "config/Config.h"
#include "data/SmpAlloc.h"

namespace {

// Blocks and group tables live in the huge-page slot pool (see SmpAlloc.h);
// the release also takes tables allocated with malloc elsewhere.
inline void* tableAlloc(size_t bytes)
{
    return SmpBlockPool::store().allocate(bytes);
}

inline void tableFree(void* p)
{
    SmpBlockPool::store().release(p);
}

inline long long lastEntryOf(const DigitalDataBlock* b)
{
    return smpEntryPos(b, b->posNum - 1);
}

// Number of values <= v in a[first, last) (a ascending). Branch-free halving
// with prefetch of both possible next probes: the block arrays are far larger
// than the cache, so the latency of the probes dominates.
template <typename T, typename V>
inline int countNotAbove(const T* a, int first, int last, V v)
{
    int n = last - first;
    if (n <= 0)
        return 0;
    const T* base = a + first;
    while (n > 1) {
        const int half = n >> 1;
        __builtin_prefetch(base + (half >> 1));
        __builtin_prefetch(base + half + (half >> 1));
        base = (base[half] <= v) ? base + half : base;
        n -= half;
    }
    return int(base - (a + first)) + (*base <= v ? 1 : 0);
}

// Entries of b in [first, last) that are <= p, comparing full 40-bit
// positions (the range may span a change of the high byte).
inline int countFullNotAbove(const DigitalDataBlock* b, int first, int last, long long p)
{
    int lo = first, n = last - first;
    while (n > 0) {
        const int half = n >> 1;
        if (smpEntryPos(b, lo + half) <= p) {
            lo += half + 1;
            n -= half + 1;
        } else {
            n = half;
        }
    }
    return lo - first;
}

// Entries of b in [first, last) that are <= p.
inline int countEntriesNotAbove(const DigitalDataBlock* b, int first, int last, long long p)
{
    if (last <= first)
        return 0;
    const int hf = b->posHigh[first];
    const int hl = b->posHigh[last - 1];
    if (hf == hl) {
        // One high byte for the whole range (always so below 2^32 samples):
        // compare the low words only.
        const long long ph = p >> 32;
        if (ph < hf)
            return 0;
        if (ph > hf)
            return last - first;
        return countNotAbove(b->posLow, first, last, (uint32_t)p);
    }
    return countFullNotAbove(b, first, last, p);
}

// With arr[lo] <= p: the first index in (lo, hi] whose value exceeds p, or hi.
inline int firstAbove(const int64_t* arr, int lo, int hi, long long p)
{
    if (hi <= lo)
        return hi;
    return lo + 1 + countNotAbove(arr, lo + 1, hi, p);
}

// Group and block of the first entry above p, searching from (g0, b0) on.
// p must lie in [0, end position].
inline void findBlock(const DigitalChnData* d, long long p, int g0, int b0, int* gOut, int* bOut)
{
    int g = g0;
    if (p >= d->groupLastPos[g0])
        g = firstAbove(d->groupLastPos, g0, d->groupNum - 1, p);
    const DigitalDataGroup* grp = d->group[g];
    const int lo = (g == g0) ? b0 : 0;
    int b = lo;
    if (p >= grp->blockLastPos[lo])
        b = firstAbove(grp->blockLastPos, lo, grp->blockNum - 1, p);
    *gOut = g;
    *bOut = b;
}

// Index of the first entry above p in block b from lo on (the last entry of
// the block when none is); lastPos is the block's last entry. A block is
// 100 KB, mostly outside the cache, so the search first guesses the place
// from the mean gap, brackets the answer by galloping from the guess (a few
// neighbouring cache lines), and bisects only inside that bracket. Any guess
// is safe: only the bracket relies on the entries being ascending.
inline int findIndex(const DigitalDataBlock* b, int lo, long long p, long long lastPos)
{
    const long long vlo = smpEntryPos(b, lo);
    if (p < vlo)
        return lo;
    int hi = b->posNum - 1;   // answer in (lo, hi]
    if (hi - lo > 64 && lastPos > vlo) {
        const double gap = double(lastPos - vlo) / double(hi - lo);
        double gd = double(lo) + double(p - vlo) / gap;
        gd = gd < double(lo + 1) ? double(lo + 1) : (gd > double(hi - 1) ? double(hi - 1) : gd);
        const int g = int(gd);
        __builtin_prefetch(b->posLow + g - 16);
        __builtin_prefetch(b->posLow + g + 16);
        int step = 1;
        if (smpEntryPos(b, g) <= p) {
            lo = g;
            for (;;) {
                const int q = lo + step;
                if (q >= hi)
                    break;
                if (smpEntryPos(b, q) > p) {
                    hi = q;
                    break;
                }
                lo = q;
                step <<= 1;
            }
        } else {
            hi = g;
            for (;;) {
                const int q = hi - step;
                if (q <= lo)
                    break;
                if (smpEntryPos(b, q) <= p) {
                    lo = q;
                    break;
                }
                hi = q;
                step <<= 1;
            }
        }
    }
    if (hi <= lo + 1)
        return hi;
    return lo + 1 + countEntriesNotAbove(b, lo + 1, hi, p);
}

} // namespace

// ---------------------------------------------------------------- search index

// Every IDX_STEP-th entry position of a channel plus its last entry: 8 bytes
// per 1024 entries (0.16 % of the 5 bytes per entry), small enough to stay in
// the cache, and fine enough that a search reads only the lines of one short
// segment of a block. IDX_STEP divides the block size, so a segment's inner
// entries never cross a block.
struct SmpChnIndex {
    const DigitalChnData* owner = nullptr;   // the table it was built from
    long long entries = 0;                   // its entry count then
    long long endPos = -1;                   // its last entry then
    std::vector<int64_t> samp;               // samp[j] = entry j*IDX_STEP; back() = last entry
    // fine[k] = entry k*FINE_STEP; back() = last entry. Read sequentially along
    // a display row, it proves pixels to be edge columns without the blocks.
    std::vector<int64_t> fine;
};

namespace {

constexpr int IDX_SHIFT = 12;
constexpr int IDX_STEP = 1 << IDX_SHIFT;
static_assert(SMP_BLOCK_ENTRIES % IDX_STEP == 0, "index segments must not cross blocks");
// 8 bytes per 256 entries: 0.03 bytes per edge (0.6 % of the table).
constexpr int FINE_SHIFT = 8;
constexpr int FINE_STEP = 1 << FINE_SHIFT;
static_assert(IDX_STEP % FINE_STEP == 0, "every index sample is a fine sample");

inline const DigitalDataBlock* blockOfFlat(const DigitalChnData* d, long long flat, int* local)
{
    const long long g = flat / SMP_GROUP_ENTRIES;
    const long long r = flat - g * SMP_GROUP_ENTRIES;
    const int b = int(r / SMP_BLOCK_ENTRIES);
    *local = int(r - (long long)b * SMP_BLOCK_ENTRIES);
    return d->group[g]->block[b];
}

inline DigitalDataSubs subsOfFlat(long long flat)
{
    const long long g = flat / SMP_GROUP_ENTRIES;
    const long long r = flat - g * SMP_GROUP_ENTRIES;
    const int b = int(r / SMP_BLOCK_ENTRIES);
    return {int(g), b, int(r - (long long)b * SMP_BLOCK_ENTRIES)};
}

inline long long entryOfFlat(const DigitalChnData* d, long long flat)
{
    int i;
    const DigitalDataBlock* b = blockOfFlat(d, flat, &i);
    return smpEntryPos(b, i);
}

// Index j of the segment with s[j] <= p < s[j + 1], for s[0] <= p < s[last],
// starting from the guess j0 (clamped): gallop away from the guess, then
// bisect the bracket. A good guess (even data, or the previous pixel's
// segment) costs one or two probes; any guess is still O(log n).
inline long long findSegment(const int64_t* s, long long last, long long p, long long j0)
{
    if (j0 < 0)
        j0 = 0;
    if (j0 > last - 1)
        j0 = last - 1;
    long long lo, hi;   // s[lo] <= p < s[hi]
    if (s[j0] <= p) {
        lo = j0;
        long long step = 1;
        for (;;) {
            const long long q = lo + step;
            if (q >= last) {
                hi = last;
                break;
            }
            if (s[q] > p) {
                hi = q;
                break;
            }
            lo = q;
            step <<= 1;
        }
    } else {
        hi = j0;
        long long step = 1;
        for (;;) {
            const long long q = hi - step;
            if (q <= 0) {
                lo = 0;
                break;
            }
            if (s[q] <= p) {
                lo = q;
                break;
            }
            hi = q;
            step <<= 1;
        }
    }
    while (hi - lo > 1) {
        const long long mid = (lo + hi) >> 1;
        if (s[mid] <= p)
            lo = mid;
        else
            hi = mid;
    }
    return lo;
}

inline long long interpolateSegment(const int64_t* s, long long last, long long p)
{
    const double span = double(s[last] - s[0]);
    return span > 0 ? (long long)(double(p - s[0]) / span * double(last)) : 0;
}

// Entries of b in [a, a + n) that are <= p, all known to share p's high byte
// when sameHigh. Branch-free halving: the range is at most one segment.
inline int countRange(const DigitalDataBlock* b, int a, int n, long long p, bool sameHigh)
{
    if (n <= 0)
        return 0;
    if (sameHigh)
        return countNotAbove(b->posLow, a, a + n, (uint32_t)p);
    return countFullNotAbove(b, a, a + n, p);
}

// One segment search: the answer lies in (lo, hi], where entry lo <= p <
// entry hi, and the inner entries lo + 1 .. hi - 1 lie in one block.
struct SegSearch {
    const DigitalDataBlock* b;
    long long hi;        // flat index of the segment's closing entry
    long long vlo, vhi;  // entry lo and entry hi
    int a;               // block index of entry lo + 1
    int n;               // inner entries
    int guess;           // expected count of inner entries <= p
    bool sameHigh;
};

constexpr int WIN = 64;   // entries read around the guess (four or five lines)

// Segment j of the samples a (one every 1 << shift entries).
inline SegSearch segSearchIn(const DigitalChnData* d, const SmpChnIndex* ix, const int64_t* a, int shift,
                             long long j, long long p)
{
    SegSearch r;
    const long long lo = j << shift;
    const long long last = ix->entries - 1;
    r.hi = lo + (1LL << shift) < last ? lo + (1LL << shift) : last;
    r.vlo = a[j];
    r.vhi = a[j + 1];
    r.n = int(r.hi - lo - 1);
    int li;
    r.b = blockOfFlat(d, lo, &li);
    r.a = li + 1;
    // Entries between two with one high byte share it (they are ascending).
    r.sameHigh = (r.vlo >> 32) == (r.vhi >> 32);
    r.guess = int(double(p - r.vlo) / double(r.vhi - r.vlo) * double(r.n + 1));
    if (r.guess > r.n)
        r.guess = r.n;
    return r;
}

inline SegSearch segSearch(const DigitalChnData* d, const SmpChnIndex* ix, long long j, long long p)
{
    return segSearchIn(d, ix, ix->samp.data(), IDX_SHIFT, j, p);
}

inline int winStart(const SegSearch& r)
{
    int ws = r.guess - WIN / 2;
    if (ws > r.n - WIN)
        ws = r.n - WIN;
    return ws < 0 ? 0 : ws;
}

inline void segPrefetch(const SegSearch& r)
{
    // Every line of the window, and the high bytes that callers read next.
    const int ws = r.a + winStart(r);
    for (int k = 0; k < WIN; k += 16)
        __builtin_prefetch(r.b->posLow + ws + k);
    __builtin_prefetch(r.b->posLow + ws + WIN - 1);
    __builtin_prefetch(r.b->posHigh + ws);
    __builtin_prefetch(r.b->posHigh + ws + WIN - 1);
}

// Flat index of the first entry above p in the segment.
inline long long segFinish(const SegSearch& r, long long p)
{
    if (r.n <= 0)
        return r.hi;
    const int ws = winStart(r);
    const int we = ws + WIN < r.n ? ws + WIN : r.n;
    // Callers read the answer's high byte next: fetch it with the window.
    __builtin_prefetch(r.b->posHigh + r.a + ws);
    int c;
    if (r.sameHigh) {
        const uint32_t pl = (uint32_t)p;
        const uint32_t* w = r.b->posLow + r.a;
        c = 0;
        for (int k = ws; k < we; ++k)
            c += w[k] <= pl;
    } else {
        c = countRange(r.b, r.a + ws, we - ws, p, false);
    }
    long long cnt;
    if (c == 0 && ws > 0)                       // answer below the window
        cnt = countRange(r.b, r.a, ws, p, r.sameHigh);
    else if (c == we - ws && we < r.n)         // answer above the window
        cnt = we + countRange(r.b, r.a + we, r.n - we, p, r.sameHigh);
    else
        cnt = ws + c;
    return r.hi - r.n + cnt;
}

// The inner entry of fine segment k expected nearest to position target
// (interpolated), or -1 when the segment has no inner entry.
inline long long fineProbe(const SmpChnIndex* ix, long long k, double target)
{
    const long long lo = k << FINE_SHIFT;
    const long long last = ix->entries - 1;
    const long long hi = lo + FINE_STEP < last ? lo + FINE_STEP : last;
    if (hi - lo < 2)
        return -1;
    const double vlo = double(ix->fine[size_t(k)]), vhi = double(ix->fine[size_t(k) + 1]);
    const double f = (target - vlo) / (vhi - vlo) * double(hi - lo);
    const long long g = lo + (f < 1.0 ? 1 : f > double(hi - lo - 1) ? hi - lo - 1 : (long long)f);
    return g;
}

// Flat index of the first entry above p (the last entry when none is), for
// 0 <= p <= the end position.
inline long long upperFlat(const DigitalChnData* d, const SmpChnIndex* ix, long long p)
{
    const int64_t* s = ix->samp.data();
    const long long last = (long long)ix->samp.size() - 1;
    if (p >= s[last])
        return ix->entries - 1;
    if (p < s[0])
        return 0;
    const long long j0 = interpolateSegment(s, last, p);
    // The guess almost always names the right block: fetch its pointer while
    // the segment is searched.
    if (j0 >= 0 && j0 < last) {
        const long long f = j0 << IDX_SHIFT;
        const long long g = f / SMP_GROUP_ENTRIES;
        __builtin_prefetch(&d->group[g]->block[(f - g * SMP_GROUP_ENTRIES) / SMP_BLOCK_ENTRIES]);
    }
    const long long j = findSegment(s, last, p, j0);
    return segFinish(segSearch(d, ix, j, p), p);
}

void buildIndexOf(SmpChnIndex* ix, const DigitalChnData* d)
{
    ix->owner = nullptr;
    ix->entries = 0;
    ix->endPos = -1;
    ix->samp.clear();
    ix->fine.clear();
    const long long total = SmpData::entryCount(d);
    if (total <= 0)
        return;
    // Only a table with full blocks and groups maps flat indices as the
    // index assumes; anything else keeps the plain search.
    for (int g = 0; g < d->groupNum; ++g) {
        const DigitalDataGroup* grp = d->group[g];
        const bool lastGroup = g == d->groupNum - 1;
        if (!grp || grp->blockNum < 1 || (!lastGroup && grp->blockNum != SMP_GROUP_BLOCKS))
            return;
        for (int b = 0; b < grp->blockNum; ++b) {
            const DigitalDataBlock* blk = grp->block[b];
            if (!blk || blk->posNum < 1 || ((!lastGroup || b != grp->blockNum - 1) && blk->posNum != SMP_BLOCK_ENTRIES))
                return;
        }
    }
    const long long fineSegs = (total - 1 + FINE_STEP - 1) >> FINE_SHIFT;
    std::vector<int64_t> fine(size_t(fineSegs) + 1);
    // One cold line per sample: keep several loads in flight.
    constexpr long long AHEAD = 16;
    for (long long k = 0; k < fineSegs; ++k) {
        if (k + AHEAD < fineSegs) {
            int li;
            const DigitalDataBlock* pb = blockOfFlat(d, (k + AHEAD) << FINE_SHIFT, &li);
            __builtin_prefetch(pb->posLow + li);
            __builtin_prefetch(pb->posHigh + li);
        }
        fine[size_t(k)] = entryOfFlat(d, k << FINE_SHIFT);
    }
    fine[size_t(fineSegs)] = entryOfFlat(d, total - 1);
    for (size_t k = 1; k < fine.size(); ++k)
        if (fine[k] < fine[k - 1])
            return;   // not ascending: searches must not trust it
    if (fine.back() != d->groupLastPos[d->groupNum - 1])
        return;
    // The coarse index is every IDX_STEP / FINE_STEP-th fine sample.
    constexpr long long R = IDX_STEP / FINE_STEP;
    const long long segs = (total - 1 + IDX_STEP - 1) >> IDX_SHIFT;
    std::vector<int64_t> samp(size_t(segs) + 1);
    for (long long j = 0; j < segs; ++j)
        samp[size_t(j)] = fine[size_t(j * R)];
    samp[size_t(segs)] = fine.back();
    ix->samp.swap(samp);
    ix->fine.swap(fine);
    ix->entries = total;
    ix->endPos = ix->samp.back();
    ix->owner = d;
}

} // namespace

void SmpData::rebuildIndex(int chn) const
{
    if (chn < 0 || chn >= chnNum)
        return;
    buildIndexOf(&chnIndex[chn], chnData[chn]);
}

size_t SmpData::indexBytes(int chn) const
{
    if (chn < 0 || chn >= chnNum || !chnIndex[chn].owner)
        return 0;
    return (chnIndex[chn].samp.capacity() + chnIndex[chn].fine.capacity()) * sizeof(int64_t);
}

bool SmpData::indexMatchesTable(int chn) const
{
    if (!hasValidData(chn))
        return false;
    const DigitalChnData* d = chnData[chn];
    const SmpChnIndex* ix = validIndex(d, chn);
    if (!ix || ix->fine.empty() || ix->samp.empty())
        return false;
    const long long total = ix->entries;
    const long long fineSegs = (long long)ix->fine.size() - 1;
    const long long segs = (long long)ix->samp.size() - 1;
    if (fineSegs != (total - 1 + FINE_STEP - 1) >> FINE_SHIFT || segs != (total - 1 + IDX_STEP - 1) >> IDX_SHIFT)
        return false;
    for (long long k = 0; k < fineSegs; ++k)
        if (ix->fine[size_t(k)] != entryOfFlat(d, k << FINE_SHIFT))
            return false;
    for (long long j = 0; j < segs; ++j)
        if (ix->samp[size_t(j)] != entryOfFlat(d, j << IDX_SHIFT))
            return false;
    const long long endPos = entryOfFlat(d, total - 1);
    return ix->fine.back() == endPos && ix->samp.back() == endPos;
}

// The index of channel chn when it still describes table d, else null. A
// table replaced or refilled without completion or checkData no longer
// matches its owner, entry count or end position.
const SmpChnIndex* SmpData::validIndex(const DigitalChnData* d, int chn) const
{
    const SmpChnIndex* ix = &chnIndex[chn];
    if (ix->owner != d || ix->endPos != d->groupLastPos[d->groupNum - 1] || ix->entries != entryCount(d))
        return nullptr;
    return ix;
}

// max(c, first entry above p) for a valid flat cursor c.
long long SmpData::indexedUpper(const DigitalChnData* d, const SmpChnIndex* ix, long long c, long long p) const
{
    if (c <= 0)
        return upperFlat(d, ix, p);
    const DigitalDataSubs cs = subsOfFlat(c);
    const DigitalDataGroup* grp = d->group[cs.group];
    const DigitalDataBlock* b = grp->block[cs.block];
    if (p < smpEntryPos(b, cs.index))
        return c;
    // Near the cursor (a forward walk, a row at fine zoom): search on from it
    // in its block, where the lines are warm.
    if (p < grp->blockLastPos[cs.block])
        return c - cs.index + findIndex(b, cs.index, p, grp->blockLastPos[cs.block]);
    return upperFlat(d, ix, p);
}

SmpData::SmpData(int chnNum)
    : smpDepth(0), smpFrequ(0), trgPosition(0), chnNum(chnNum < 0 ? 0 : chnNum), zeroRunCnt(0),
      trgRecordIndex(0), initLevelMask(0)
{
    const int n = this->chnNum;
    chnData = new DigitalChnData*[n ? n : 1]();
    chnDataRaw = new DigitalChnData*[n ? n : 1]();
    filterWidth = new unsigned int[n ? n : 1]();
    enaChnIndex = new unsigned int[n ? n : 1]();
    chnCurLevel = new unsigned int[n ? n : 1]();
    chnIndex = new SmpChnIndex[n ? n : 1];

    if (Config::readGlobalParam("glitchFilterMode").toInt() != 0) {
        const QStringList list = Config::readGlobalParam("glitchFilterSettings").split(',');
        for (int k = 0; k < n && 2 * k + 1 < list.size(); ++k)
            filterWidth[k] = list[2 * k].toInt() != 0 ? list[2 * k + 1].toUInt() : 0;
    }
}

SmpData::~SmpData()
{
    clearData();
    delete[] chnData;
    delete[] chnDataRaw;
    delete[] filterWidth;
    delete[] enaChnIndex;
    delete[] chnCurLevel;
    delete[] chnIndex;
}

// ---------------------------------------------------------------- storage

void SmpData::clearData()
{
    smpDepth = 0;
    trgPosition = 0;
    for (int c = 0; c < chnNum; ++c) {
        clearOneChn(chnData[c]);
        chnData[c] = nullptr;
        clearOneChn(chnDataRaw[c]);
        chnDataRaw[c] = nullptr;
        chnIndex[c] = SmpChnIndex();
    }
}

void SmpData::clearOneChn(DigitalChnData* d)
{
    if (!d)
        return;
    for (int g = 0; g < d->groupNum; ++g) {
        DigitalDataGroup* grp = d->group[g];
        for (int b = 0; b < grp->blockNum; ++b)
            tableFree(grp->block[b]);
        tableFree(grp);
    }
    std::free(d);
}

DigitalChnData* SmpData::newChnData()
{
    auto* d = static_cast<DigitalChnData*>(std::calloc(1, sizeof(DigitalChnData)));
    return d;
}

int SmpData::newDataGroup(DigitalChnData* d)
{
    if (d->groupNum >= SMP_CHN_GROUPS) {
        qWarning("SmpData: channel table full (%d groups)", SMP_CHN_GROUPS);
        return 0;
    }
    auto* grp = static_cast<DigitalDataGroup*>(tableAlloc(sizeof(DigitalDataGroup)));
    if (!grp)
        return 0;
    grp->blockNum = 0;
    d->group[d->groupNum] = grp;
    d->groupLastPos[d->groupNum] = 0;
    ++d->groupNum;
    return 1;
}

int SmpData::newDataBlock(DigitalChnData* d)
{
    if (d->groupNum == 0 || d->group[d->groupNum - 1]->blockNum >= SMP_GROUP_BLOCKS) {
        if (!newDataGroup(d))
            return 0;
    }
    DigitalDataGroup* grp = d->group[d->groupNum - 1];
    auto* blk = static_cast<DigitalDataBlock*>(tableAlloc(sizeof(DigitalDataBlock)));
    if (!blk)
        return 0;
    blk->posNum = 0;
    grp->block[grp->blockNum] = blk;
    grp->blockLastPos[grp->blockNum] = 0;
    ++grp->blockNum;
    return 1;
}

int SmpData::appendEntry(DigitalChnData* d, long long pos)
{
    if (!d)
        return 0;
    DigitalDataBlock* b = nullptr;
    if (d->groupNum > 0) {
        DigitalDataGroup* grp = d->group[d->groupNum - 1];
        if (grp->blockNum > 0)
            b = grp->block[grp->blockNum - 1];
    }
    if (!b || b->posNum >= SMP_BLOCK_ENTRIES) {
        if (!newDataBlock(d))
            return 0;
        DigitalDataGroup* grp = d->group[d->groupNum - 1];
        b = grp->block[grp->blockNum - 1];
    }
    const int n = b->posNum;
    b->posLow[n] = (uint32_t)pos;
    b->posHigh[n] = (uint8_t)(pos >> 32);
    b->posNum = n + 1;
    return 1;
}

long long SmpData::entryCount(const DigitalChnData* d)
{
    if (!d || d->groupNum <= 0)
        return 0;
    const DigitalDataGroup* grp = d->group[d->groupNum - 1];
    long long n = (long long)(d->groupNum - 1) * SMP_GROUP_ENTRIES;
    if (grp->blockNum > 0)
        n += (long long)(grp->blockNum - 1) * SMP_BLOCK_ENTRIES + grp->block[grp->blockNum - 1]->posNum;
    return n;
}

void SmpData::setInitLevel(int chn, int level)
{
    if (chn < 0 || chn >= 64)
        return;
    if (level)
        initLevelMask |= 1ULL << chn;
    else
        initLevelMask &= ~(1ULL << chn);
}

bool SmpData::hasValidData(int chn) const
{
    return chn >= 0 && chn < chnNum && chnData[chn] && chnData[chn]->groupNum > 0;
}

void SmpData::rebuildLastPos(DigitalChnData* d)
{
    for (int g = 0; g < d->groupNum; ++g) {
        DigitalDataGroup* grp = d->group[g];
        for (int b = 0; b < grp->blockNum; ++b)
            grp->blockLastPos[b] = grp->block[b]->posNum > 0 ? lastEntryOf(grp->block[b]) : 0;
        d->groupLastPos[g] = grp->blockNum > 0 ? grp->blockLastPos[grp->blockNum - 1] : 0;
    }
}

// ---------------------------------------------------------------- conversion frame

int SmpData::dataConvertStart(int trgRecordIndex, long long frequ, const QVector<bool>& chnEna)
{
    clearData();
    smpFrequ = frequ;
    this->trgRecordIndex = trgRecordIndex;
    zeroRunCnt = -1;
    // A new capture never inherits the previous capture's start levels.
    initLevelMask = 0;
    for (int c = 0; c < chnNum && c < chnEna.size(); ++c) {
        if (!chnEna[c])
            continue;
        DigitalChnData* d = newChnData();
        if (!d || !newDataBlock(d)) {
            clearOneChn(d);
            clearData();
            return 0;
        }
        chnData[c] = d;
    }
    return 1;
}

int SmpData::dataConvertComplete(long long expectDepth)
{
    if (smpDepth > expectDepth)
        smpDepth = expectDepth;
    if (smpDepth < 0)
        smpDepth = 0;
    if (smpDepth > SMP_POS_MAX)
        smpDepth = SMP_POS_MAX;
    int ok = 1;
    for (int c = 0; c < chnNum; ++c) {
        DigitalChnData* d = chnData[c];
        if (!d)
            continue;
        // Drop entries at or past the end (and blocks and groups left empty),
        // then close the table with the end position.
        while (d->groupNum > 0) {
            DigitalDataGroup* grp = d->group[d->groupNum - 1];
            if (grp->blockNum == 0) {
                tableFree(grp);
                --d->groupNum;
                continue;
            }
            DigitalDataBlock* blk = grp->block[grp->blockNum - 1];
            if (blk->posNum == 0) {
                tableFree(blk);
                --grp->blockNum;
                continue;
            }
            if (lastEntryOf(blk) >= smpDepth) {
                --blk->posNum;
                continue;
            }
            break;
        }
        if (!appendEntry(d, smpDepth)) {
            clearOneChn(d);
            chnData[c] = nullptr;
            chnIndex[c] = SmpChnIndex();
            ok = 0;
            continue;
        }
        rebuildLastPos(d);
        d->initLevel = c < 64 ? int((initLevelMask >> c) & 1) : 0;
        rebuildIndex(c);
    }
    return ok;
}

bool SmpData::checkData() const
{
    const bool ok = checkTables();
    for (int c = 0; c < chnNum; ++c) {
        if (ok)
            rebuildIndex(c);
        else
            chnIndex[c] = SmpChnIndex();
    }
    return ok;
}

bool SmpData::checkTables() const
{
    if (smpDepth < 0 || smpDepth > SMP_POS_MAX)
        return false;
    for (int c = 0; c < chnNum; ++c) {
        const DigitalChnData* d = chnData[c];
        if (!d)
            continue;
        if (d->groupNum < 1 || d->groupNum > SMP_CHN_GROUPS || (d->initLevel != 0 && d->initLevel != 1))
            return false;
        long long prev = -1, beforeLast = -1;
        for (int g = 0; g < d->groupNum; ++g) {
            const DigitalDataGroup* grp = d->group[g];
            const bool lastGroup = g == d->groupNum - 1;
            if (!grp || grp->blockNum < 1 || grp->blockNum > SMP_GROUP_BLOCKS
                || (!lastGroup && grp->blockNum != SMP_GROUP_BLOCKS))
                return false;
            for (int b = 0; b < grp->blockNum; ++b) {
                const DigitalDataBlock* blk = grp->block[b];
                const bool lastBlock = lastGroup && b == grp->blockNum - 1;
                if (!blk || blk->posNum < 1 || blk->posNum > SMP_BLOCK_ENTRIES
                    || (!lastBlock && blk->posNum != SMP_BLOCK_ENTRIES))
                    return false;
                for (int i = 0; i < blk->posNum; ++i) {
                    const long long pos = smpEntryPos(blk, i);
                    if (pos < prev)
                        return false;
                    beforeLast = prev;
                    prev = pos;
                }
                if (grp->blockLastPos[b] != prev)
                    return false;
            }
            if (d->groupLastPos[g] != prev)
                return false;
        }
        if (prev != smpDepth || beforeLast >= smpDepth)
            return false;
    }
    return true;
}

// ---------------------------------------------------------------- queries

bool SmpData::cursorValid(const DigitalChnData* d, const DigitalDataSubs* s)
{
    if (s->group < 0 || s->group >= d->groupNum)
        return false;
    const DigitalDataGroup* grp = d->group[s->group];
    if (s->block < 0 || s->block >= grp->blockNum)
        return false;
    return s->index >= 0 && s->index < grp->block[s->block]->posNum;
}

long long SmpData::flatIndex(const DigitalDataSubs* s)
{
    return (long long)s->group * SMP_GROUP_ENTRIES + (long long)s->block * SMP_BLOCK_ENTRIES + s->index;
}

bool SmpData::entryAt(const DigitalChnData* d, long long flat, long long* pos)
{
    if (flat < 0)
        return false;
    const long long g = flat / SMP_GROUP_ENTRIES;
    const long long r = flat % SMP_GROUP_ENTRIES;
    const int b = int(r / SMP_BLOCK_ENTRIES);
    const int i = int(r % SMP_BLOCK_ENTRIES);
    if (g >= d->groupNum || b >= d->group[g]->blockNum || i >= d->group[g]->block[b]->posNum)
        return false;
    *pos = smpEntryPos(d->group[g]->block[b], i);
    return true;
}

int SmpData::locateSmpPoint(int chn, long long p, DigitalDataSubs* subs) const
{
    DigitalDataSubs local;
    if (!subs)
        subs = &local;
    subs->group = 0;
    subs->block = 0;
    subs->index = 0;
    return locateNextSmpPoint(chn, p, subs);
}

int SmpData::locateNextSmpPoint(int chn, long long p, DigitalDataSubs* subs) const
{
    if (!hasValidData(chn) || !subs)
        return -1;
    const DigitalChnData* d = chnData[chn];
    if (p < 0 || p > d->groupLastPos[d->groupNum - 1] || !cursorValid(d, subs))
        return -1;
    if (const SmpChnIndex* ix = validIndex(d, chn)) {
        const DigitalDataGroup* cg = d->group[subs->group];
        // A step within the cursor's block: search from the cursor there.
        if (flatIndex(subs) == 0 || p >= cg->blockLastPos[subs->block]) {
            const long long n = indexedUpper(d, ix, flatIndex(subs), p);
            *subs = subsOfFlat(n);
            return int((n + d->initLevel) & 1);
        }
    }
    int g, b;
    findBlock(d, p, subs->group, subs->block, &g, &b);
    const bool sameBlock = g == subs->group && b == subs->block;
    const int lo = sameBlock ? subs->index : 0;
    const int i = findIndex(d->group[g]->block[b], lo, p, d->group[g]->blockLastPos[b]);
    subs->group = g;
    subs->block = b;
    subs->index = i;
    // Blocks and groups hold even counts: the block index has the flat parity.
    return (i + d->initLevel) & 1;
}

int SmpData::getPointLevel(int chn, long long p) const
{
    DigitalDataSubs s;
    return locateSmpPoint(chn, p, &s);
}

int SmpData::getPointLevel(int chn, long long p, DigitalDataSubs* subs) const
{
    return locateSmpPoint(chn, p, subs);
}

bool SmpData::isPointAtEdge(int chn, long long p) const
{
    DigitalDataSubs s;
    if (locateSmpPoint(chn, p, &s) < 0)
        return false;
    long long pos;
    return entryAt(chnData[chn], flatIndex(&s) - 1, &pos) && pos == p;
}

long long SmpData::getPreEdgePoint(int chn, long long p) const
{
    DigitalDataSubs s;
    if (locateSmpPoint(chn, p, &s) < 0)
        return -1;
    long long pos;
    return entryAt(chnData[chn], flatIndex(&s) - 1, &pos) ? pos : -1;
}

long long SmpData::getNextEdgePoint(int chn, long long p) const
{
    DigitalDataSubs s;
    if (locateSmpPoint(chn, p, &s) < 0)
        return -1;
    return smpEntryPos(chnData[chn]->group[s.group]->block[s.block], s.index);
}

int SmpData::getPreEdgeType(int chn, long long p) const
{
    DigitalDataSubs s;
    const int level = locateSmpPoint(chn, p, &s);
    if (level < 0 || flatIndex(&s) == 0)
        return -1;
    return level ? 0 : 1;
}

int SmpData::getNextEdgeType(int chn, long long p) const
{
    DigitalDataSubs s;
    const int level = locateSmpPoint(chn, p, &s);
    if (level < 0 || flatIndex(&s) >= entryCount(chnData[chn]) - 1)
        return -1;
    return level ? 1 : 0;
}

long long SmpData::getTwoPointEdgeNum(int chn, long long a, long long b) const
{
    DigitalDataSubs sa, sb;
    if (locateSmpPoint(chn, a, &sa) < 0 || locateSmpPoint(chn, b, &sb) < 0)
        return -1;
    const long long n = flatIndex(&sa) - flatIndex(&sb);
    return n < 0 ? -n : n;
}

int SmpData::getRelatedSmpPoint(int chn, long long p, RelatedSmpPoint* out) const
{
    DigitalDataSubs s;
    const int level = locateSmpPoint(chn, p, &s);
    if (level < 0 || !out)
        return -1;
    const DigitalChnData* d = chnData[chn];
    const long long flat = flatIndex(&s);
    long long pos;
    out->level = level;
    out->preEdge = entryAt(d, flat - 1, &pos) ? pos : -1;
    out->nextEntry = smpEntryPos(d->group[s.group]->block[s.block], s.index);
    out->afterNext = entryAt(d, flat + 1, &pos) ? pos : -1;
    return 0;
}

long long SmpData::getCurRecordPoint(int chn, const DigitalDataSubs* subs) const
{
    if (!hasValidData(chn) || !subs || !cursorValid(chnData[chn], subs))
        return -1;
    return smpEntryPos(chnData[chn]->group[subs->group]->block[subs->block], subs->index);
}

long long SmpData::getPreRecordPoint(int chn, const DigitalDataSubs* subs) const
{
    if (!hasValidData(chn) || !subs || !cursorValid(chnData[chn], subs))
        return -1;
    long long pos;
    return entryAt(chnData[chn], flatIndex(subs) - 1, &pos) ? pos : -1;
}

long long SmpData::getNextRecordPoint(int chn, const DigitalDataSubs* subs) const
{
    if (!hasValidData(chn) || !subs || !cursorValid(chnData[chn], subs))
        return -1;
    long long pos;
    return entryAt(chnData[chn], flatIndex(subs) + 1, &pos) ? pos : -1;
}

int SmpData::getWaveLineData(int chn, double start, double scale, int width, WaveLine* out) const
{
    if (!hasValidData(chn) || !out || !std::isfinite(start) || !std::isfinite(scale) || !(scale > 0))
        return -1;
    const DigitalChnData* d = chnData[chn];
    if (const SmpChnIndex* ix = validIndex(d, chn)) {
        const int n = waveLineIndexed(d, ix, start, scale, width, out, true);
        if (n != -2)
            return n;
        // Rounding broke the condition the shortcut relies on: redo exactly.
        return waveLineIndexed(d, ix, start, scale, width, out, false);
    }
    const long long endPos = d->groupLastPos[d->groupNum - 1];
    const long long total = entryCount(d);

    // Pixel positions are computed in double and compared before any
    // conversion, so far zooms and far offsets cannot overflow.
    double x0d = 0;
    long long p = 0;
    if (start < 0)
        x0d = -start / scale;
    else
        p = start > double(SMP_POS_MAX) ? SMP_POS_MAX + 1 : (long long)start;
    DigitalDataSubs s = {0, 0, 0};
    int level = locateNextSmpPoint(chn, p, &s);
    if (level < 0)
        return -1;
    const long long last = (long long)width - 1;
    if (width <= 0 || x0d > double(last))
        return 0;
    long long x0 = (long long)x0d;
    int count = 0;

    for (;;) {
        const long long e = smpEntryPos(d->group[s.group]->block[s.block], s.index);
        const double xed = (double(e) - start) / scale;
        if (xed >= double(last + 1))   // its pixel lies past the row
            break;
        long long xe = (long long)xed;
        if (xe < x0)
            xe = x0;   // rounding or a malformed table: never step back
        if (xe > x0)
            out[count++] = {int(x0), int(xe - x0), level != 0};
        const long long flat = flatIndex(&s);
        if (e >= endPos || flat >= total - 1)
            return count;
        out[count++] = {int(xe), 1, 2};
        x0 = xe + 1;

        // Step past the entry just drawn.
        if (++s.index >= SMP_BLOCK_ENTRIES) {
            s.index = 0;
            if (++s.block >= SMP_GROUP_BLOCKS) {
                s.block = 0;
                ++s.group;
            }
        }
        if (!cursorValid(d, &s))
            return count;

        // Find the first entry after the sample at pixel x0.
        for (;;) {
            if (x0 > last)
                return count;
            double sp = double(x0) * scale + start;
            if (sp > double(endPos))
                return count;
            p = sp < 0 ? 0 : (long long)sp;
            int g, b;
            findBlock(d, p, s.group, s.block, &g, &b);
            const DigitalDataGroup* grp = d->group[g];
            const bool sameBlock = g == s.group && b == s.block;
            const bool lastBlock = g == d->groupNum - 1 && b == grp->blockNum - 1;
            // At coarse zoom whole blocks fall into one pixel: when the block's
            // last entry (an edge, as it is not the closing entry) lies in pixel
            // x0, so does the entry sought; the block itself need not be read.
            if (!lastBlock && (double(grp->blockLastPos[b]) - start) / scale < double(x0 + 1)) {
                out[count++] = {int(x0), 1, 2};
                if (!sameBlock)
                    s = {g, b, 0};
                ++x0;
                continue;
            }
            const int lo = sameBlock ? s.index : 0;
            s = {g, b, findIndex(grp->block[b], lo, p, grp->blockLastPos[b])};
            level = (s.index + d->initLevel) & 1;
            break;
        }
    }
    out[count++] = {int(x0), int(last - x0), level != 0};
    return count;
}

// Display runs with the index. Per pixel the located entry is
// max(cursor, first entry above the pixel's sample) as in the plain version;
// the pixels ahead are located roughly from the index and their lines
// prefetched, so a row costs about one memory latency per few pixels. With
// shortcuts, a pixel whose sample is followed by a fine-sampled entry (not the
// closing one) inside the same pixel is an edge column without reading the
// block; the exact located entry is then known only to lie at or before that
// entry, which is exact enough as long as the next pixel's sample is not
// below it (else -2: the caller redoes the row without shortcuts).
int SmpData::waveLineIndexed(const DigitalChnData* d, const SmpChnIndex* ix, double start, double scale, int width,
                             WaveLine* out, bool shortcuts) const
{
    const long long endPos = ix->endPos;
    const long long total = ix->entries;
    const int64_t* samp = ix->samp.data();
    const long long lastSeg = (long long)ix->samp.size() - 1;

    double x0d = 0;
    long long p = 0;
    if (start < 0)
        x0d = -start / scale;
    else
        p = start > double(SMP_POS_MAX) ? SMP_POS_MAX + 1 : (long long)start;
    if (p > endPos)
        return -1;
    long long n = upperFlat(d, ix, p);
    const long long last = (long long)width - 1;
    if (width <= 0 || x0d > double(last))
        return 0;
    long long x0 = (long long)x0d;
    int count = 0;

    auto pixelOf = [&](long long e) { return (double(e) - start) / scale; };
    // Segment walk for the located pixels and, ahead of it, for the prefetches.
    long long jCur = -1, jPf = -1, xPf = 0;
    const uint32_t* lastLine = nullptr;
    auto walk = [](const int64_t* a, long long lastA, long long& j, long long q) {
        // a[j] <= q < a[j + 1]; q only grows along a row.
        if (j < 0)
            j = findSegment(a, lastA, q, interpolateSegment(a, lastA, q));
        else if (a[j + 1] <= q)
            j = findSegment(a, lastA, q, j + 1);
        return j;
    };
    auto segOf = [&](long long& j, long long q) { return walk(samp, lastSeg, j, q); };
    // The same walks over the fine samples, for the edge-column shortcut.
    const int64_t* fine = ix->fine.data();
    const long long lastFine = (long long)ix->fine.size() - 1;
    long long fCur = -1, fPf = -1;
    auto fineOf = [&](long long& j, long long q) { return walk(fine, lastFine, j, q); };
    constexpr long long AHEAD = 16;   // pixels located ahead for prefetching
    // Only worth it from some eight entries per pixel (measured: the probes
    // then decide most pixels); below that the hardware prefetcher follows
    // the plain walk.
    const bool prefetch = scale * double(total) >= 8.0 * double(endPos > 0 ? endPos : 1);
    // Where pixels hold many index segments the coarse check always answers;
    // the fine samples would only add cold lines there. (Speed only: any
    // choice gives the same rows.)
    const bool useFine = shortcuts && scale * double(total) < 4.0 * IDX_STEP * double(endPos > 0 ? endPos : 1);

    for (;;) {
        const long long e = entryOfFlat(d, n);
        const double xed = pixelOf(e);
        if (xed >= double(last + 1))
            break;
        long long xe = (long long)xed;
        if (xe < x0)
            xe = x0;
        if (xe > x0)
            out[count++] = {int(x0), int(xe - x0), int((n + d->initLevel) & 1) != 0};
        if (n >= total - 1)
            return count;
        out[count++] = {int(xe), 1, 2};
        x0 = xe + 1;
        long long c = n + 1;    // the cursor: never locate before it
        bool bounded = false;   // c is only a lower bound, see above
        long long proof = 0;    // the indexed entry that made the last edge column

        for (;;) {
            if (x0 > last)
                return count;
            const double sp = double(x0) * scale + start;
            if (sp > double(endPos))
                return count;
            p = sp < 0 ? 0 : (long long)sp;
            if (bounded && proof > p)
                return -2;
            // Prefetch the lines of the pixels ahead (skipping repeats).
            if (xPf <= x0)
                xPf = x0 + 1;
            for (; prefetch && xPf <= x0 + AHEAD && xPf <= last; ++xPf) {
                const double sq = double(xPf) * scale + start;
                if (sq >= double(endPos))
                    break;
                const long long q = sq < 0 ? 0 : (long long)sq;
                if (q < samp[0])
                    continue;
                const long long j = segOf(jPf, q);
                if (shortcuts && j + 1 < lastSeg && pixelOf(samp[j + 1]) < double(xPf + 1))
                    continue;   // will be a shortcut
                long long k = -1;
                if (useFine) {
                    k = fineOf(fPf, q);
                    if (k + 1 < lastFine && pixelOf(fine[k + 1]) < double(xPf + 1))
                        continue;   // will be a shortcut
                    // Most likely decided by one probe: fetch just its lines.
                    if (k + 1 < lastFine) {
                        const long long g = fineProbe(ix, k, sq + scale / 2);
                        if (g >= 0) {
                            int li;
                            const DigitalDataBlock* pb = blockOfFlat(d, g, &li);
                            __builtin_prefetch(pb->posLow + li);
                            __builtin_prefetch(pb->posHigh + li);
                            continue;
                        }
                    }
                }
                // The fine segment narrows the guess to a line or two.
                const SegSearch r = k >= 0 ? segSearchIn(d, ix, fine, FINE_SHIFT, k, q) : segSearch(d, ix, j, q);
                const uint32_t* line = r.b->posLow + r.a + winStart(r);
                if (line != lastLine) {
                    segPrefetch(r);
                    lastLine = line;
                }
            }
            long long kExact = -1;
            // (At fine zoom an indexed entry rarely shares a pixel: skip the check.)
            if (shortcuts && prefetch && p >= samp[0] && p < endPos) {
                // The coarse index first: at far zooms it always answers and
                // stays in the cache; the fine samples decide the rest.
                const long long j = segOf(jCur, p);
                const long long hiFlat = (j + 1) << IDX_SHIFT;
                if (j + 1 < lastSeg && c <= hiFlat && pixelOf(samp[j + 1]) < double(x0 + 1)) {
                    out[count++] = {int(x0), 1, 2};
                    const long long lb = (j << IDX_SHIFT) + 1;
                    if (c < lb)
                        c = lb;
                    bounded = true;
                    proof = samp[j + 1];
                    ++x0;
                    continue;
                }
                if (useFine) {
                    const long long k = fineOf(fCur, p);
                    kExact = k;
                    if (k + 1 < lastFine && c <= ((k + 1) << FINE_SHIFT) && pixelOf(fine[k + 1]) < double(x0 + 1)) {
                        out[count++] = {int(x0), 1, 2};
                        const long long lb = (k << FINE_SHIFT) + 1;
                        if (c < lb)
                            c = lb;
                        bounded = true;
                        proof = fine[k + 1];
                        ++x0;
                        continue;
                    }
                    // One entry read where the pixel's middle should fall
                    // usually proves an entry inside the pixel as well.
                    const long long g = k + 1 < lastFine ? fineProbe(ix, k, double(x0) * scale + start + scale / 2) : -1;
                    if (g >= c) {
                        const long long eg = entryOfFlat(d, g);
                        if (eg > p && pixelOf(eg) < double(x0 + 1)) {
                            out[count++] = {int(x0), 1, 2};
                            const long long lb = (k << FINE_SHIFT) + 1;
                            if (c < lb)
                                c = lb;
                            bounded = true;
                            proof = eg;
                            ++x0;
                            continue;
                        }
                    }
                }
            }
            // Bounded: the entry at the cursor lies at or before the proof, so
            // at or before p; skip reading it (a cold line).
            if (kExact >= 0)   // the fine segment holding the answer is known
                n = segFinish(segSearchIn(d, ix, fine, FINE_SHIFT, kExact, p), p);
            else
                n = bounded ? upperFlat(d, ix, p) : indexedUpper(d, ix, c, p);
            if (n < c)
                n = c;
            break;
        }
    }
    out[count++] = {int(x0), int(last - x0), int((n + d->initLevel) & 1) != 0};
    return count;
}

// ---------------------------------------------------------------- glitch filter

namespace {

// Sequential writer into an empty table with one open block.
struct FilterOut {
    DigitalChnData* d;
    DigitalDataBlock* b;
    long long n = 0;

    bool append(long long pos)
    {
        if (b->posNum >= SMP_BLOCK_ENTRIES) {
            if (!SmpData::newDataBlock(d))
                return false;
            DigitalDataGroup* grp = d->group[d->groupNum - 1];
            b = grp->block[grp->blockNum - 1];
        }
        const int i = b->posNum;
        b->posLow[i] = (uint32_t)pos;
        b->posHigh[i] = (uint8_t)(pos >> 32);
        b->posNum = i + 1;
        ++n;
        return true;
    }
    // The last written entry is always in the current block (blocks are
    // opened only to take an entry).
    void setLast(long long pos)
    {
        const int i = b->posNum - 1;
        b->posLow[i] = (uint32_t)pos;
        b->posHigh[i] = (uint8_t)(pos >> 32);
    }
};

} // namespace

int SmpData::dataFilter(const DigitalChnData* src, DigitalChnData* dst, unsigned int width)
{
    if (!src || !dst)
        return 0;
    dst->initLevel = src->initLevel;
    if (src->groupNum <= 0)
        return 1;
    if (!newDataBlock(dst)) {
        for (int g = 0; g < dst->groupNum; ++g)
            tableFree(dst->group[g]);
        dst->groupNum = 0;
        return 0;
    }
    FilterOut out{dst, dst->group[0]->block[0]};
    const long long w = width;
    long long prev = 0;
    long long k = 0;   // entries suppressed since the last kept one
    bool ok = true;

    for (int g = 0; g < src->groupNum && ok; ++g) {
        const DigitalDataGroup* grp = src->group[g];
        for (int bi = 0; bi < grp->blockNum && ok; ++bi) {
            const DigitalDataBlock* blk = grp->block[bi];
            const int n = blk->posNum;
            for (int i = 0; i < n; ++i) {
                const long long pos = smpEntryPos(blk, i);
                if (pos - prev <= w) {
                    ++k;
                } else {
                    if (k == 0) {
                        ok = out.append(pos);
                    } else if (out.n == 0) {
                        // A burst right at the start has no earlier transition
                        // to absorb it: it vanishes and the start level takes
                        // its parity, so the rest of the channel keeps its levels.
                        if (k & 1)
                            dst->initLevel ^= 1;
                        ok = out.append(pos);
                    } else if (k & 1) {
                        out.setLast(pos);
                    } else {
                        out.setLast(prev);
                        ok = out.append(pos);
                    }
                    k = 0;
                    if (!ok)
                        break;
                }
                prev = pos;
            }
        }
    }
    // A trailing burst: the output still ends at the end position.
    if (ok && k > 0) {
        if (out.n == 0)
            ok = out.append(prev);
        else
            out.setLast(prev);
    }
    if (!ok) {
        for (int g = 0; g < dst->groupNum; ++g) {
            DigitalDataGroup* grp = dst->group[g];
            for (int b = 0; b < grp->blockNum; ++b)
                tableFree(grp->block[b]);
            tableFree(grp);
        }
        dst->groupNum = 0;
        return 0;
    }
    rebuildLastPos(dst);
    return 1;
}

int SmpData::filterChannel(int chn, unsigned int width)
{
    DigitalChnData* raw = chnDataRaw[chn] ? chnDataRaw[chn] : chnData[chn];
    if (!raw || raw->groupNum <= 0)
        return 1;
    DigitalChnData* filtered = newChnData();
    if (!filtered || !dataFilter(raw, filtered, width)) {
        std::free(filtered);
        // The shown table must stay valid: fall back to the unfiltered data.
        if (chnDataRaw[chn]) {
            clearOneChn(chnData[chn]);
            chnData[chn] = chnDataRaw[chn];
            chnDataRaw[chn] = nullptr;
            rebuildIndex(chn);
        }
        return 0;
    }
    if (chnDataRaw[chn])
        clearOneChn(chnData[chn]);
    chnDataRaw[chn] = raw;
    chnData[chn] = filtered;
    rebuildIndex(chn);
    return 1;
}

void SmpData::updateFilter()
{
    for (int c = 0; c < chnNum; ++c) {
        // An unfiltered copy means this capture is already filtered (a new
        // capture or load always starts without one); filtering again would
        // filter twice and lose the original.
        if (filterWidth[c] == 0 || !hasValidData(c) || chnDataRaw[c])
            continue;
        filterChannel(c, filterWidth[c]);
    }
}

int SmpData::modifyFilter(const unsigned int* widths)
{
    if (!widths)
        return 0;
    int ok = 1;
    for (int c = 0; c < chnNum; ++c) {
        const unsigned int w = widths[c];
        if (w == filterWidth[c])
            continue;
        if (w == 0) {
            if (chnDataRaw[c]) {
                clearOneChn(chnData[c]);
                chnData[c] = chnDataRaw[c];
                chnDataRaw[c] = nullptr;
                rebuildIndex(c);
            }
        } else if (!filterChannel(c, w)) {
            ok = 0;
        }
        filterWidth[c] = w;
    }
    return ok;
}

// ---------------------------------------------------------------- demonstration data

int smpDataConvertSimu(SmpData* s, int chn, const int* runs, int count, long long* pos, bool extendLast)
{
    if (!s || chn < 0 || chn >= s->chnNum || !s->chnData[chn])
        return 0;
    DigitalChnData* d = s->chnData[chn];
    long long p = *pos;
    int i = 0;
    if (extendLast && count > 0 && SmpData::entryCount(d) > 0) {
        DigitalDataGroup* g = d->group[d->groupNum - 1];
        DigitalDataBlock* b = g->block[g->blockNum - 1];
        p += runs[0] < 0 ? 0 : runs[0];
        b->posLow[b->posNum - 1] = (uint32_t)p;
        b->posHigh[b->posNum - 1] = (uint8_t)(p >> 32);
        i = 1;
    }
    for (; i < count; ++i) {
        // A negative length from an analyzer would break the ordering.
        p += runs[i] < 0 ? 0 : runs[i];
        if (p > SMP_POS_MAX || !s->appendEdge(chn, p)) {
            *pos = p;
            return 0;
        }
    }
    *pos = p;
    return 1;
}
