// The glitch filter.

#include "data/SmpData.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "data/SmpDataPriv.h"
#include "data/Threads.h"

using namespace SmpPriv;

// ---------------------------------------------------------------- glitch filter

namespace {

// The rule, entry by entry: a kept entry (farther than the width from the
// previous one) after no suppressed entry is a new output entry; after an
// odd burst of suppressed entries it replaces the last output entry (the
// transition moves past the burst); after an even burst the last output
// entry becomes the burst's last position and the kept entry follows it. A
// burst before the first output entry has no transition to absorb it: it
// vanishes and the start level takes its parity.
//
// The last output entry is held back until a later kept entry settles it:
// it may still move or vanish. So after any kept entry the state is known
// whatever came before (the entry itself held back, no burst), which lets a
// long channel be filtered in pieces that start at kept entries.
struct FilterState {
    long long prev = 0;    // the previous source entry (0 before the first)
    int burst = 0;         // suppressed since the last kept entry: 0 none, 1 odd, 2 even
    long long last = -1;   // the held-back output entry; -1 while there is no output
    int initFlip = 0;      // parity of the bursts that vanished before the first output
};

// Source entries taken per round of the fast loop.
constexpr int FILTER_CHUNK = 4096;

// The rule over m source entries with an output entry held back, without
// branches on the data (bursts come at random): the entries it settles go
// to t, their count is returned. With T = uint32_t every position involved
// (the entries, prev, last) shares one high byte, and the arithmetic runs on
// the low words.
template <typename T>
inline int filterRun(const uint32_t* lo, const uint8_t* hi, int m, int64_t* t, unsigned width, FilterState* st)
{
    constexpr bool narrow = sizeof(T) == 4;
    const T w = width;
    const int64_t high = narrow ? (int64_t)hi[0] << 32 : 0;
    T prev = T(st->prev), last = T(st->last), burst = T(st->burst);
    int o = 0;
    for (int j = 0; j < m; ++j) {
        const T pos = narrow ? T(lo[j]) : T(lo[j] | (uint64_t(hi[j]) << 32));
        // Masks, not conditions: the compiler would branch on them.
        const T keep = T(0) - T(pos - prev > w);
        const T settled = last ^ ((last ^ prev) & (T(0) - (burst >> 1)));
        t[o] = high | (int64_t)settled;   // counts only when kept after no or an even burst
        o += int(keep & ~burst & 1);
        last = (pos & keep) | (last & ~keep);
        burst = ((burst & 1) + 1) & ~keep;
        prev = pos;
    }
    st->prev = high | (int64_t)prev;
    st->last = high | (int64_t)last;
    st->burst = int(burst);
    return o;
}

// Where settled entries go: only counted, appended to a table that grows,
// or written from a flat index on into a table whose blocks exist already.
struct FilterSink {
    enum Mode { Count, Append, Place };
    Mode mode;
    DigitalChnData* d = nullptr;
    DigitalDataSubs at = {0, 0, 0};   // the next slot (Place)
    long long n = 0;

    static FilterSink counter() { return {Count}; }
    static FilterSink appender(DigitalChnData* d) { return {Append, d}; }
    static FilterSink placer(DigitalChnData* d, long long flat) { return {Place, d, subsOfFlat(flat)}; }

    bool take(const int64_t* v, int count)
    {
        n += count;
        if (mode == Count)
            return true;
        while (count > 0) {
            DigitalDataBlock* b;
            int i;
            if (mode == Append) {
                const DigitalDataGroup* grp = d->groupNum > 0 ? d->group[d->groupNum - 1] : nullptr;
                b = grp && grp->blockNum > 0 ? grp->block[grp->blockNum - 1] : nullptr;
                if (!b || b->posNum >= SMP_BLOCK_ENTRIES) {
                    if (!SmpData::newDataBlock(d))
                        return false;
                    grp = d->group[d->groupNum - 1];
                    b = grp->block[grp->blockNum - 1];
                }
                i = b->posNum;
            } else {
                // The table's blocks are full but the last: step to the next one.
                if (at.index >= SMP_BLOCK_ENTRIES) {
                    at.index = 0;
                    if (++at.block >= SMP_GROUP_BLOCKS) {
                        at.block = 0;
                        ++at.group;
                    }
                }
                b = d->group[at.group]->block[at.block];
                i = at.index;
            }
            const int k = std::min(count, SMP_BLOCK_ENTRIES - i);
            for (int j = 0; j < k; ++j) {
                b->posLow[i + j] = (uint32_t)v[j];
                b->posHigh[i + j] = (uint8_t)(v[j] >> 32);
            }
            if (mode == Append)
                b->posNum = i + k;
            else
                at.index = i + k;
            v += k;
            count -= k;
        }
        return true;
    }
};

// Runs the rule over the source entries [from, to) (flat indices).
bool filterEntries(const DigitalChnData* src, long long from, long long to, unsigned width, FilterState* st,
                   FilterSink* sink, int64_t* t)
{
    for (long long f = from; f < to;) {
        int i;
        const DigitalDataBlock* blk = blockOfFlat(src, f, &i);
        const int n = int(std::min<long long>(blk->posNum - i, to - f));
        for (int done = 0; done < n;) {
            const int at = i + done;
            if (st->last < 0) {
                // No output yet: one entry at a time until the first is kept.
                const long long pos = smpEntryPos(blk, at);
                if (pos - st->prev <= width) {
                    st->burst = (st->burst & 1) + 1;
                } else {
                    st->initFlip ^= st->burst & 1;
                    st->last = pos;
                    st->burst = 0;
                }
                st->prev = pos;
                ++done;
                continue;
            }
            const int m = std::min(n - done, FILTER_CHUNK);
            const int high = blk->posHigh[at];
            const bool narrow =
                blk->posHigh[at + m - 1] == high && (st->prev >> 32) == high && (st->last >> 32) == high;
            const int o = narrow ? filterRun<uint32_t>(blk->posLow + at, blk->posHigh + at, m, t, width, st)
                                 : filterRun<uint64_t>(blk->posLow + at, blk->posHigh + at, m, t, width, st);
            if (!sink->take(t, o))
                return false;
            done += m;
        }
        f += n;
    }
    return true;
}

// The held-back entry closes the table; a trailing burst moves it to the
// last position, so the table still ends at the end of the capture.
long long closingEntry(const FilterState& st)
{
    return st.burst != 0 ? st.prev : st.last;
}

// A channel is cut into pieces of at least this many entries when it is
// filtered on several threads.
constexpr long long FILTER_PIECE_MIN = 1000000;

void freeTable(DigitalChnData* d)
{
    for (int g = 0; g < d->groupNum; ++g) {
        DigitalDataGroup* grp = d->group[g];
        for (int b = 0; b < grp->blockNum; ++b)
            tableFree(grp->block[b]);
        tableFree(grp);
    }
    d->groupNum = 0;
}

// The filter on several threads: pieces start at kept entries (where the
// state is known), a first pass counts what each piece settles, the output
// table is laid out, and a second pass writes every piece in its place.
bool filterInPieces(const DigitalChnData* src, DigitalChnData* dst, unsigned width, long long total, int threads)
{
    auto entry = [src](long long flat) {
        int i;
        const DigitalDataBlock* b = blockOfFlat(src, flat, &i);
        return smpEntryPos(b, i);
    };
    const long long pieces = std::min<long long>(2LL * threads, total / FILTER_PIECE_MIN);
    std::vector<long long> starts{0};   // the kept entry each later piece starts at
    for (long long p = 1; p < pieces; ++p) {
        const long long limit = std::min(total - 1, (p + 1) * total / pieces);
        long long e = std::max(starts.back() + 1, p * total / pieces);
        while (e < limit && entry(e) - entry(e - 1) <= width)
            ++e;
        if (e < limit)
            starts.push_back(e);
    }
    const int n = int(starts.size());
    // Piece k covers the entries after its start up to and including the
    // next piece's start (the first piece from entry 0).
    auto range = [&](int k, long long* from, long long* to) {
        *from = k == 0 ? 0 : starts[size_t(k)] + 1;
        *to = k + 1 < n ? starts[size_t(k) + 1] + 1 : total;
    };
    auto initial = [&](int k) {
        FilterState st;
        if (k > 0)
            st.prev = st.last = entry(starts[size_t(k)]);
        return st;
    };

    std::vector<long long> settled(size_t(n), 0);
    std::vector<FilterState> finals(static_cast<size_t>(n));
    Threads::runParallel(n, threads, [&](int k) {
        std::vector<int64_t> t(FILTER_CHUNK);
        long long from, to;
        range(k, &from, &to);
        FilterState st = initial(k);
        FilterSink count = FilterSink::counter();
        filterEntries(src, from, to, width, &st, &count, t.data());
        settled[size_t(k)] = count.n;
        finals[size_t(k)] = st;
    });

    std::vector<long long> at(size_t(n) + 1, 0);
    for (int k = 0; k < n; ++k)
        at[size_t(k) + 1] = at[size_t(k)] + settled[size_t(k)];
    const long long outTotal = at[size_t(n)] + 1;
    for (long long left = outTotal; left > 0; left -= SMP_BLOCK_ENTRIES) {
        if (!SmpData::newDataBlock(dst)) {
            freeTable(dst);
            return false;
        }
        DigitalDataGroup* grp = dst->group[dst->groupNum - 1];
        grp->block[grp->blockNum - 1]->posNum = int(std::min<long long>(left, SMP_BLOCK_ENTRIES));
    }

    Threads::runParallel(n, threads, [&](int k) {
        std::vector<int64_t> t(FILTER_CHUNK);
        long long from, to;
        range(k, &from, &to);
        FilterState st = initial(k);
        FilterSink place = FilterSink::placer(dst, at[size_t(k)]);
        filterEntries(src, from, to, width, &st, &place, t.data());
    });
    const int64_t closing = closingEntry(finals.back());
    FilterSink place = FilterSink::placer(dst, outTotal - 1);
    place.take(&closing, 1);
    dst->initLevel ^= finals.front().initFlip;
    return true;
}

} // namespace

int SmpData::dataFilter(const DigitalChnData* src, DigitalChnData* dst, unsigned int width, int threads)
{
    if (!src || !dst)
        return 0;
    dst->initLevel = src->initLevel;
    if (src->groupNum <= 0)
        return 1;
    const long long total = entryCount(src);
    if (threads > 1 && total >= 2 * FILTER_PIECE_MIN) {
        if (!filterInPieces(src, dst, width, total, threads))
            return 0;
    } else {
        std::vector<int64_t> t(FILTER_CHUNK);
        FilterState st;
        FilterSink out = FilterSink::appender(dst);
        const int64_t closing = filterEntries(src, 0, total, width, &st, &out, t.data()) ? closingEntry(st) : -1;
        if (closing < 0 || !out.take(&closing, 1)) {
            freeTable(dst);
            return 0;
        }
        dst->initLevel ^= st.initFlip;
    }
    rebuildLastPos(dst);
    return 1;
}

int SmpData::filterChannel(int chn, unsigned int width, int threads)
{
    DigitalChnData* raw = chnDataRaw[chn] ? chnDataRaw[chn] : chnData[chn];
    if (!raw || raw->groupNum <= 0)
        return 1;
    // The old filtered table goes first: its slots, already in memory, take
    // the new one (no page faults, half the peak), and a failed run leaves
    // the unfiltered data shown, as it must anyway.
    if (chnDataRaw[chn]) {
        clearOneChn(chnData[chn]);
        chnData[chn] = raw;
        chnDataRaw[chn] = nullptr;
    }
    DigitalChnData* filtered = newChnData();
    if (!filtered || !dataFilter(raw, filtered, width, threads)) {
        std::free(filtered);
        rebuildIndex(chn);
        return 0;
    }
    chnDataRaw[chn] = raw;
    chnData[chn] = filtered;
    rebuildIndex(chn);
    return 1;
}

// Channels are filtered independently (each touches only its own tables and
// index; the slot pool locks): spread over a few threads once there is
// enough to do, and a few long channels cut into pieces as well.
int SmpData::filterChannels(const QVector<int>& chns)
{
    long long entries = 0;
    for (int c : chns)
        entries += entryCount(chnDataRaw[c] ? chnDataRaw[c] : chnData[c]);
    const int hw = int(std::max(1u, std::min(std::thread::hardware_concurrency(), 8u)));
    const int threads = int(std::min<long long>(hw, std::max(1LL, entries / FILTER_PIECE_MIN)));
    const int perChn = chns.empty() ? 1 : std::max(1, threads / int(chns.size()));
    std::atomic<int> ok{1};
    Threads::runParallel(int(chns.size()), threads, [&](int k) {
        const int c = chns[k];
        if (!filterChannel(c, filterWidth[c], perChn))
            ok = 0;
    });
    return ok;
}

void SmpData::updateFilter()
{
    QVector<int> chns;
    for (int c = 0; c < chnNum; ++c) {
        // An unfiltered copy means this capture is already filtered (a new
        // capture or load always starts without one); filtering again would
        // filter twice and lose the original.
        if (filterWidth[c] != 0 && hasValidData(c) && !chnDataRaw[c])
            chns.push_back(c);
    }
    filterChannels(chns);
}

int SmpData::modifyFilter(const unsigned int* widths)
{
    if (!widths)
        return 0;
    QVector<int> chns;
    for (int c = 0; c < chnNum; ++c) {
        const unsigned int w = widths[c];
        // The same width again is nothing to do, unless an earlier run for
        // it failed (out of memory) and left the channel unfiltered.
        if (w == filterWidth[c] && (w == 0 || chnDataRaw[c] || !hasValidData(c)))
            continue;
        if (w == 0) {
            if (chnDataRaw[c]) {
                clearOneChn(chnData[c]);
                chnData[c] = chnDataRaw[c];
                chnDataRaw[c] = nullptr;
                rebuildIndex(c);
            }
        } else {
            chns.push_back(c);
        }
        filterWidth[c] = w;
    }
    return filterChannels(chns);
}
