// The glitch filter.

#include "data/SmpData.h"

#include <cstdlib>

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
