// Building the search index of a channel (see SmpChnIndex).

#include "data/SmpData.h"

#include "data/SmpDataPriv.h"

using namespace SmpPriv;

// ---------------------------------------------------------------- search index

namespace SmpPriv {

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

} // namespace SmpPriv

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
