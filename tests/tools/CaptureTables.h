#ifndef CAPTURETABLES_H
#define CAPTURETABLES_H
// A capture laid out as the sample store's edge tables (data/SmpTables.h),
// for running analyzers outside the program: each channel is its level at
// sample 0, its edge samples in ascending order, then the closing entry at
// the sample count. Header-only so that the benchmarks can use it as well.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "data/SmpTables.h"

class CaptureTables {
public:
    // Largest sample position a table holds (40 bits).
    static constexpr int64_t kMaxPosition = (int64_t(1) << 40) - 1;

    CaptureTables(int channels, int64_t sampleRate) : mTables(size_t(channels > 0 ? channels : 0), nullptr)
    {
        mData.chnData = mTables.empty() ? nullptr : mTables.data();
        mData.chnNum = int32_t(mTables.size());
        mData.smpFrequ = sampleRate;
        mData.smpDepth = 0;
        mData.trgPosition = 0;
    }
    ~CaptureTables()
    {
        for (DigitalChnData*& t : mTables)
            freeTable(t);
    }
    CaptureTables(const CaptureTables&) = delete;
    CaptureTables& operator=(const CaptureTables&) = delete;

    // Starts a channel over: empty table, level at sample 0. False when
    // memory runs out or the channel does not exist.
    bool begin(int chn, int initLevel)
    {
        if (chn < 0 || size_t(chn) >= mTables.size())
            return false;
        freeTable(mTables[size_t(chn)]);
        DigitalChnData* t = static_cast<DigitalChnData*>(std::calloc(1, sizeof(DigitalChnData)));
        mTables[size_t(chn)] = t;
        if (!t)
            return false;
        t->initLevel = initLevel ? 1 : 0;
        mLast = 0;
        return true;
    }
    // Appends one edge: after the previous one and after sample 0. False for
    // a position out of order or range, or when memory runs out.
    bool append(int chn, int64_t pos)
    {
        DigitalChnData* t = table(chn);
        if (!t || pos <= mLast || pos > kMaxPosition)
            return false;
        if (!appendEntry(t, pos))
            return false;
        mLast = pos;
        return true;
    }
    // Closes the channel at the sample count (after its last edge) and
    // makes it the capture's depth.
    bool finish(int chn, int64_t depth)
    {
        DigitalChnData* t = table(chn);
        if (!t || depth <= mLast || depth > kMaxPosition || !appendEntry(t, depth))
            return false;
        mData.smpDepth = depth;
        return true;
    }
    // The whole channel at once.
    bool setChannel(int chn, int initLevel, const std::vector<int64_t>& edges, int64_t depth)
    {
        if (!begin(chn, initLevel))
            return false;
        for (int64_t e : edges)
            if (!append(chn, e))
                return false;
        return finish(chn, depth);
    }

    DataForAnly* data() { return &mData; }

private:
    DigitalChnData* table(int chn) const
    {
        return chn < 0 || size_t(chn) >= mTables.size() ? nullptr : mTables[size_t(chn)];
    }
    static bool appendEntry(DigitalChnData* t, int64_t pos)
    {
        DigitalDataGroup* g = t->groupNum > 0 ? t->group[t->groupNum - 1] : nullptr;
        DigitalDataBlock* b = g && g->blockNum > 0 ? g->block[g->blockNum - 1] : nullptr;
        if (!b || b->posNum == SMP_BLOCK_ENTRIES) {
            if (!g || g->blockNum == SMP_GROUP_BLOCKS) {
                if (t->groupNum == SMP_CHN_GROUPS)
                    return false;
                g = static_cast<DigitalDataGroup*>(std::calloc(1, sizeof(DigitalDataGroup)));
                if (!g)
                    return false;
                t->group[t->groupNum++] = g;
            }
            b = static_cast<DigitalDataBlock*>(std::calloc(1, sizeof(DigitalDataBlock)));
            if (!b)
                return false;
            g->block[g->blockNum++] = b;
        }
        b->posLow[b->posNum] = uint32_t(pos);
        b->posHigh[b->posNum] = uint8_t(pos >> 32);
        ++b->posNum;
        g->blockLastPos[g->blockNum - 1] = pos;
        t->groupLastPos[t->groupNum - 1] = pos;
        return true;
    }
    static void freeTable(DigitalChnData*& t)
    {
        if (!t)
            return;
        for (int g = 0; g < t->groupNum; ++g) {
            for (int b = 0; b < t->group[g]->blockNum; ++b)
                std::free(t->group[g]->block[b]);
            std::free(t->group[g]);
        }
        std::free(t);
        t = nullptr;
    }

    std::vector<DigitalChnData*> mTables;
    DataForAnly mData;
    int64_t mLast = 0;
};

#endif
