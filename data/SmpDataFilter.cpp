// The glitch filter.

#include "data/SmpData.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "data/SmpDataPriv.h"

using namespace SmpPriv;

// ---------------------------------------------------------------- glitch filter

namespace {

// Sequential writer into an empty table with one open block.
struct FilterOut {
    DigitalChnData* d;
    DigitalDataBlock* b;
    long long n = 0;

    bool append(long long pos)
    {
        if (b->posNum >= SMP_BLOCK_ENTRIES && !nextBlock())
            return false;
        const int i = b->posNum;
        b->posLow[i] = (uint32_t)pos;
        b->posHigh[i] = (uint8_t)(pos >> 32);
        b->posNum = i + 1;
        ++n;
        return true;
    }
    bool nextBlock()
    {
        if (!SmpData::newDataBlock(d))
            return false;
        DigitalDataGroup* grp = d->group[d->groupNum - 1];
        b = grp->block[grp->blockNum - 1];
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

// The filter rule over m source entries, without branches on the data:
// writes the entries it settles from out on, then the held-back last one;
// returns how many it settled. *burst is the burst before the first entry
// (0 none, 1 odd, 2 even). With T = uint32_t every position involved (the
// entries, *prev, *last) shares one high byte, and the arithmetic runs on
// the low words.
template <typename T>
inline int filterRun(const uint32_t* lo, const uint8_t* hi, int m, uint32_t* olo, uint8_t* ohi, unsigned width,
                     long long* prevIo, int* burstIo, long long* lastIo)
{
    constexpr bool narrow = sizeof(T) == 4;
    const T w = width;
    T prev = T(*prevIo), last = T(*lastIo), burst = T(*burstIo);
    int o = 0;
    for (int j = 0; j < m; ++j) {
        const T pos = narrow ? T(lo[j]) : T(lo[j] | (uint64_t(hi[j]) << 32));
        // Masks, not conditions: the compiler would branch on them.
        const T keep = T(0) - T(pos - prev > w);
        const T settled = last ^ ((last ^ prev) & (T(0) - (burst >> 1)));
        olo[o] = uint32_t(settled);
        if (!narrow)
            ohi[o] = uint8_t(uint64_t(settled) >> 32);
        o += int(keep & ~burst & 1);   // kept after no or an even burst
        last = (pos & keep) | (last & ~keep);
        burst = ((burst & 1) + 1) & ~keep;
        prev = pos;
    }
    olo[o] = uint32_t(last);
    if (narrow) {
        std::memset(ohi, hi[0], size_t(o) + 1);
        const long long h = (long long)hi[0] << 32;
        *prevIo = h | (long long)prev;
        *lastIo = h | (long long)last;
    } else {
        ohi[o] = uint8_t(uint64_t(last) >> 32);
        *prevIo = (long long)prev;
        *lastIo = (long long)last;
    }
    *burstIo = int(burst);
    return o;
}

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
    int burst = 0;   // entries suppressed since the last kept one: 0 none, 1 odd, 2 even
    bool ok = true;
    // The rule, one entry at a time: a kept entry after no suppressed one is
    // appended; after an odd burst it replaces the last output entry (the
    // transition moves past the burst); after an even burst the last output
    // entry becomes the burst's last position and the kept entry is
    // appended. A burst right at the start has no earlier transition to
    // absorb it: it vanishes and the start level takes its parity, so the
    // rest of the channel keeps its levels.
    auto step = [&](long long pos) {
        if (pos - prev <= w) {
            burst = (burst & 1) + 1;
        } else {
            if (burst == 0) {
                ok = out.append(pos);
            } else if (out.n == 0) {
                dst->initLevel ^= burst & 1;
                ok = out.append(pos);
            } else if (burst == 1) {
                out.setLast(pos);
            } else {
                out.setLast(prev);
                ok = out.append(pos);
            }
            burst = 0;
        }
        prev = pos;
    };

    for (int g = 0; g < src->groupNum && ok; ++g) {
        const DigitalDataGroup* grp = src->group[g];
        for (int bi = 0; bi < grp->blockNum && ok; ++bi) {
            const DigitalDataBlock* blk = grp->block[bi];
            const int n = blk->posNum;
            int i = 0;
            while (i < n && ok) {
                DigitalDataBlock* ob = out.b;
                // Each source entry settles at most one output entry: this
                // many fit behind the output's last entry in its block.
                const int m = std::min(n - i, SMP_BLOCK_ENTRIES - ob->posNum);
                if (out.n == 0 || m == 0) {
                    step(smpEntryPos(blk, i++));
                    continue;
                }
                // The same rule without branches on the data (bursts come at
                // random). The last output entry is held back in `last` until
                // a later one follows; settled entries are written from its
                // slot on, and a slot written while suppressing is written
                // again before it counts.
                const int base = ob->posNum - 1;
                long long last = smpEntryPos(ob, base);
                const int high = blk->posHigh[i];
                int o;
                if (blk->posHigh[i + m - 1] == high && (prev >> 32) == high && (last >> 32) == high)
                    o = filterRun<uint32_t>(blk->posLow + i, blk->posHigh + i, m, ob->posLow + base,
                                            ob->posHigh + base, width, &prev, &burst, &last);
                else
                    o = filterRun<uint64_t>(blk->posLow + i, blk->posHigh + i, m, ob->posLow + base,
                                            ob->posHigh + base, width, &prev, &burst, &last);
                ob->posNum = base + o + 1;
                out.n += o;
                i += m;
            }
        }
    }
    // A trailing burst: the output still ends at the end position.
    if (ok && burst != 0) {
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
    // The old filtered table goes first: its slots, already in memory, take
    // the new one (no page faults, half the peak), and a failed run leaves
    // the unfiltered data shown, as it must anyway.
    if (chnDataRaw[chn]) {
        clearOneChn(chnData[chn]);
        chnData[chn] = raw;
        chnDataRaw[chn] = nullptr;
    }
    DigitalChnData* filtered = newChnData();
    if (!filtered || !dataFilter(raw, filtered, width)) {
        std::free(filtered);
        rebuildIndex(chn);
        return 0;
    }
    chnDataRaw[chn] = raw;
    chnData[chn] = filtered;
    rebuildIndex(chn);
    return 1;
}

namespace {

// Channels are filtered independently (each touches only its own tables and
// index; the slot pool locks): spread them over a few threads once there is
// enough to do, the calling thread taking its share.
void forEachChannel(const std::vector<int>& chns, long long entries, const std::function<void(int)>& fn)
{
    constexpr long long minEntriesPerThread = 1000000;
    const unsigned hw = std::max(1u, std::thread::hardware_concurrency());
    const long long byWork = std::max(1LL, entries / minEntriesPerThread);
    const int threads = int(std::min<long long>({(long long)chns.size(), (long long)std::min(hw, 8u), byWork}));
    std::atomic<int> next{0};
    auto work = [&] {
        for (int i = next++; i < int(chns.size()); i = next++)
            fn(chns[size_t(i)]);
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back(work);
        } catch (...) {
            break;   // no more threads: the rest runs here
        }
    }
    work();
    for (std::thread& h : helpers)
        h.join();
}

} // namespace

void SmpData::updateFilter()
{
    std::vector<int> chns;
    long long entries = 0;
    for (int c = 0; c < chnNum; ++c) {
        // An unfiltered copy means this capture is already filtered (a new
        // capture or load always starts without one); filtering again would
        // filter twice and lose the original.
        if (filterWidth[c] == 0 || !hasValidData(c) || chnDataRaw[c])
            continue;
        chns.push_back(c);
        entries += entryCount(chnData[c]);
    }
    forEachChannel(chns, entries, [this](int c) { filterChannel(c, filterWidth[c]); });
}

int SmpData::modifyFilter(const unsigned int* widths)
{
    if (!widths)
        return 0;
    std::vector<int> chns;
    long long entries = 0;
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
        } else {
            chns.push_back(c);
            entries += entryCount(chnDataRaw[c] ? chnDataRaw[c] : chnData[c]);
        }
        filterWidth[c] = w;
    }
    std::atomic<int> ok{1};
    forEachChannel(chns, entries, [&](int c) {
        if (!filterChannel(c, filterWidth[c]))
            ok = 0;
    });
    return ok;
}
