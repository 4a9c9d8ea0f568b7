#ifndef SMPTABLES_H
#define SMPTABLES_H
// Edge-table layout of a logic capture, shared by the program and the
// analyzer library (which walks these tables directly). Element widths,
// counts and field order are an interface: do not reorder.

#include <cstdint>

// Entries per level of the three-level table.
enum : int {
    SMP_BLOCK_ENTRIES = 20480,   // positions per block
    SMP_GROUP_BLOCKS = 5120,     // blocks per group
    SMP_CHN_GROUPS = 1024        // groups per channel
};
constexpr long long SMP_GROUP_ENTRIES = (long long)SMP_GROUP_BLOCKS * SMP_BLOCK_ENTRIES; // 104,857,600

// Positions are unsigned 40-bit values split into 32 low and 8 high bits.
struct DigitalDataBlock {
    uint32_t posLow[SMP_BLOCK_ENTRIES];
    uint8_t posHigh[SMP_BLOCK_ENTRIES];
    int32_t posNum;
};

struct DigitalDataGroup {
    DigitalDataBlock* block[SMP_GROUP_BLOCKS];
    int64_t blockLastPos[SMP_GROUP_BLOCKS];
    int32_t blockNum;
};

struct DigitalChnData {
    DigitalDataGroup* group[SMP_CHN_GROUPS];
    int64_t groupLastPos[SMP_CHN_GROUPS];
    int32_t groupNum;
    int32_t initLevel;
};

// Cursor into one channel's table.
struct DigitalDataSubs {
    int32_t group;
    int32_t block;
    int32_t index;
};

// Answer of SmpData::getRelatedSmpPoint.
struct RelatedSmpPoint {
    int64_t preEdge;
    int64_t nextEntry;
    int64_t afterNext;
    int32_t level;
};

// One run of a display row: kind 0 low, 1 high, 2 edge column (width 1).
struct WaveLine {
    int32_t x;
    int32_t width;
    int32_t level;
};

// The record through which analyzers read the shown capture.
struct DataForAnly {
    DigitalChnData** chnData;
    int64_t smpDepth;
    int64_t smpFrequ;
    int64_t trgPosition;
    int32_t chnNum;
};

inline int64_t smpEntryPos(const DigitalDataBlock* b, int i)
{
    return (int64_t)b->posLow[i] | ((int64_t)b->posHigh[i] << 32);
}

#endif
