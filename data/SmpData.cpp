// Construction and storage of the sample store.

#include "data/SmpData.h"

#include <cstdlib>

#include <QStringList>
#include <QtGlobal>

#include "config/Config.h"

#include "data/SmpDataPriv.h"

using namespace SmpPriv;

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

void SmpData::setInitLevel(int chn, int level)
{
    if (chn < 0 || chn >= 64)
        return;
    if (level)
        initLevelMask |= 1ULL << chn;
    else
        initLevelMask &= ~(1ULL << chn);
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
