// Demonstration data: simulated run lengths appended to a channel.

#include "data/SmpData.h"

#include "data/SmpDataPriv.h"

using namespace SmpPriv;

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
