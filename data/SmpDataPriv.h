#ifndef SMPDATAPRIV_H
#define SMPDATAPRIV_H
// Inline helpers shared by the sample store's sources only (table slots,
// block searches, the search index): the queries, the filter and the
// index builder all need them inlined where they are used.

#include <cstdint>
#include <vector>

#include "data/SmpAlloc.h"
#include "data/SmpData.h"

namespace SmpPriv {
// Internal linkage: every source of the store gets its own copy, inlined
// into its searches as freely as when they were one file.
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
} // namespace SmpPriv

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

namespace SmpPriv {
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

} // namespace

// Builds ix from table d (an index the searches must not trust is left empty).
void buildIndexOf(SmpChnIndex* ix, const DigitalChnData* d);

} // namespace SmpPriv

#endif
