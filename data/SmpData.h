#ifndef SMPDATA_H
#define SMPDATA_H
// One logic capture, kept per channel as the sorted list of edge positions
// closed by the end-of-capture position (see data/SmpTables.h for the table
// layout that the analyzer library also reads).

#include <QVector>

#include "data/SmpTables.h"

// Largest position a table can hold (unsigned 40 bits).
constexpr long long SMP_POS_MAX = (1LL << 40) - 1;

// Side index of one channel (defined in SmpData.cpp): a sampled copy of the
// table's positions that keeps random searches within a few cache lines.
struct SmpChnIndex;

class SmpData
{
public:
    explicit SmpData(int chnNum);
    ~SmpData();
    SmpData(const SmpData&) = delete;
    SmpData& operator=(const SmpData&) = delete;

    // --- storage ---
    void clearData();
    static void clearOneChn(DigitalChnData* d);
    static DigitalChnData* newChnData();          // empty table, nullptr when out of memory
    static int newDataGroup(DigitalChnData* d);    // 1 ok, 0 out of memory or group table full
    static int newDataBlock(DigitalChnData* d);    // 1 ok, 0 out of memory or table full
    static int appendEntry(DigitalChnData* d, long long pos);
    // Appends one position to a channel that has a table; 1 ok, 0 when the
    // channel has no table or memory ran out.
    inline int appendEdge(int chn, long long pos);
    // Total entries of a table (64-bit: a channel passes 2^31 entries at group 21).
    static long long entryCount(const DigitalChnData* d);

    void setInitLevel(int chn, int level);
    bool hasValidData(int chn) const;

    // --- conversion frame (the converters run between these two) ---
    // Clears the store, resets the initial-level mask and opens an empty table
    // for each enabled channel. 1 ok, 0 out of memory (the store is then cleared).
    int dataConvertStart(int trgRecordIndex, long long frequ, const QVector<bool>& chnEna);
    // Closes every table at the sample count; 1 ok, 0 when memory ran out (the
    // affected channel is dropped).
    int dataConvertComplete(long long expectDepth);
    // True when every table of a completed store is well formed: positions
    // never descending, all below the sample count, closed by exactly one
    // entry at the sample count, full blocks and groups, consistent
    // last-position tables. Loaders call it before the data is shown; on
    // success it also (re)builds the search index of every channel.
    bool checkData() const;
    // Rebuilds the search index of channel chn from its current table. Done by
    // completion, the filter and checkData; queries on a table whose index is
    // missing or stale fall back to the plain search.
    void rebuildIndex(int chn) const;
    // Bytes held by the search index of channel chn (0 when it has none).
    size_t indexBytes(int chn) const;
    // True when channel chn has a current search index and every sampled
    // position in it equals the table entry it copies (a self-check for tests).
    bool indexMatchesTable(int chn) const;

    // --- point queries (a completed capture; -1 = no data / invalid) ---
    int locateSmpPoint(int chn, long long p, DigitalDataSubs* subs) const;
    int locateNextSmpPoint(int chn, long long p, DigitalDataSubs* subs) const;
    int getPointLevel(int chn, long long p) const;
    int getPointLevel(int chn, long long p, DigitalDataSubs* subs) const;
    bool isPointAtEdge(int chn, long long p) const;
    long long getPreEdgePoint(int chn, long long p) const;
    long long getNextEdgePoint(int chn, long long p) const;
    int getPreEdgeType(int chn, long long p) const;
    int getNextEdgeType(int chn, long long p) const;
    long long getTwoPointEdgeNum(int chn, long long a, long long b) const;
    int getRelatedSmpPoint(int chn, long long p, RelatedSmpPoint* out) const;
    long long getCurRecordPoint(int chn, const DigitalDataSubs* subs) const;
    long long getPreRecordPoint(int chn, const DigitalDataSubs* subs) const;
    long long getNextRecordPoint(int chn, const DigitalDataSubs* subs) const;
    int getWaveLineData(int chn, double start, double scale, int width, WaveLine* out) const;

    // --- glitch filter ---
    void updateFilter();
    // Returns 0 when a filter run ran out of memory (that channel is then
    // shown unfiltered), else 1.
    int modifyFilter(const unsigned int* widths);
    // Filters src into the empty table dst; threads > 1 lets a long channel
    // be done in pieces side by side. 1 ok, 0 out of memory (dst freed).
    static int dataFilter(const DigitalChnData* src, DigitalChnData* dst, unsigned int width, int threads = 1);

    // --- members ---
    DigitalChnData** chnData;
    DigitalChnData** chnDataRaw;
    long long smpDepth;
    long long smpFrequ;
    long long trgPosition;
    int chnNum;
    int zeroRunCnt;
    int trgRecordIndex;
    unsigned long long initLevelMask;
    unsigned int* filterWidth;
    unsigned int* enaChnIndex;
    unsigned int* chnCurLevel;

private:
    // Per channel; built while no query runs (completion, filter, load check)
    // and only read by queries, so concurrent queries need no lock.
    SmpChnIndex* chnIndex;
    const SmpChnIndex* validIndex(const DigitalChnData* d, int chn) const;
    long long indexedUpper(const DigitalChnData* d, const SmpChnIndex* ix, long long c, long long p) const;
    int waveLineIndexed(const DigitalChnData* d, const SmpChnIndex* ix, double start, double scale, int width,
                        WaveLine* out, bool shortcuts) const;
    bool checkTables() const;
    static void rebuildLastPos(DigitalChnData* d);
    static bool cursorValid(const DigitalChnData* d, const DigitalDataSubs* s);
    static long long flatIndex(const DigitalDataSubs* s);
    static bool entryAt(const DigitalChnData* d, long long flat, long long* pos);
    int filterChannel(int chn, unsigned int width, int threads);
    int filterChannels(const QVector<int>& chns);
};

// Called by every query: inline.
inline long long SmpData::entryCount(const DigitalChnData* d)
{
    if (!d || d->groupNum <= 0)
        return 0;
    const DigitalDataGroup* grp = d->group[d->groupNum - 1];
    long long n = (long long)(d->groupNum - 1) * SMP_GROUP_ENTRIES;
    if (grp->blockNum > 0)
        n += (long long)(grp->blockNum - 1) * SMP_BLOCK_ENTRIES + grp->block[grp->blockNum - 1]->posNum;
    return n;
}

inline bool SmpData::hasValidData(int chn) const
{
    return chn >= 0 && chn < chnNum && chnData[chn] && chnData[chn]->groupNum > 0;
}

inline int SmpData::appendEdge(int chn, long long pos)
{
    if (chn < 0 || chn >= chnNum)
        return 0;
    DigitalChnData* d = chnData[chn];
    if (!d)
        return 0;
    // Fast path: room in the last block of the last group.
    if (d->groupNum > 0) {
        DigitalDataGroup* g = d->group[d->groupNum - 1];
        if (g->blockNum > 0) {
            DigitalDataBlock* b = g->block[g->blockNum - 1];
            const int n = b->posNum;
            if (n < SMP_BLOCK_ENTRIES) {
                b->posLow[n] = (uint32_t)pos;
                b->posHigh[n] = (uint8_t)(pos >> 32);
                b->posNum = n + 1;
                return 1;
            }
        }
    }
    return appendEntry(d, pos);
}

// ---- demonstration data ----
// Appends a channel's simulated run lengths: each run ends at *pos + length,
// which becomes the new *pos. With extendLast the first run continues the
// run that ends at the last stored entry: that entry moves instead of a
// transition being added. 1 ok, 0 when memory ran out or the channel has no
// table.
int smpDataConvertSimu(SmpData* s, int chn, const int* runs, int count, long long* pos, bool extendLast);

// ---- device data ----
// What a conversion carries from one transfer buffer to the next. Reset it
// (reset()) together with SmpData::dataConvertStart.
struct SmpConvertState {
    // Buffer mode: a record has been seen, the level word of the last
    // record, and the count of records converted.
    bool started = false;
    uint32_t prevLevel = 0;
    long long recordCnt = 0;
    // Stream mode: enabled channels (enaChnIndex holds their numbers), the
    // enabled channel the next word belongs to, the channels whose level is
    // known yet, and a byte of a word split between two buffers.
    int nEna = 0;
    int wordIdx = 0;
    uint64_t levelKnown = 0;
    bool haveOdd = false;
    uint8_t oddByte = 0;
    void reset() { *this = SmpConvertState(); }
};

// Buffer-mode records read from device memory: 16 channels in frames of
// 16 bytes (5 records of level word u16 + run length u8, one pad byte), 32
// channels in frames of 32 bytes (6 records of u32 + u8, two pad bytes).
// Only whole frames are converted. *convertedBytes grows by len on success,
// by the whole frames done when memory ran out (then 0 is returned).
int smpDataConvertP5_16(SmpData* s, SmpConvertState* st, const unsigned char* buf, int len,
                        long long* convertedBytes);
int smpDataConvertP6_32(SmpData* s, SmpConvertState* st, const unsigned char* buf, int len,
                        long long* convertedBytes);
// Stream data. startOffset >= 0 marks the first buffer of a capture:
// conversion starts at that byte and the first samples give the start
// levels; startOffset < 0 continues where the previous buffer ended.
// *depth receives the running sample position. 1 ok, 0 when memory ran out,
// the positions outgrew the table or no channel is enabled.
// One byte per sample, bit n = channel n.
int smpDataConvertBytes8(SmpData* s, SmpConvertState* st, const unsigned char* buf, int len,
                         int startOffset, long long* depth);
// 16-bit little-endian words cycling over the enabled channels in ascending
// order; each word holds 16 consecutive samples of its channel, bit 0 first.
int smpDataConvertS16_N(SmpData* s, SmpConvertState* st, const unsigned char* buf, int len,
                        int startOffset, long long* depth);

#endif
