// The conversion frame: opening and closing the tables of a capture, and
// the well-formedness check of a loaded one.

#include "data/SmpData.h"

#include "data/SmpDataPriv.h"

using namespace SmpPriv;

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
