// Point queries and display runs of a completed capture.

#include "data/SmpData.h"

#include <cmath>

#include "data/SmpDataPriv.h"

using namespace SmpPriv;

// ---------------------------------------------------------------- queries

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
