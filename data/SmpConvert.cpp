// Converters from the analyzers' data formats to edge tables. They find the
// channels that changed by XOR with the previous level and visit only the
// set bits, so the cost follows the number of edges, not channels x samples.

#include <cstring>

#include "data/SmpData.h"

namespace {

// Write cursor of one channel: the block being filled and its entry count,
// kept in registers instead of walking group and block on every edge. The
// count goes back into the block on flush() (nobody reads the table before
// the conversion ends).
struct ChnSink {
    DigitalChnData* d = nullptr;
    DigitalDataBlock* blk = nullptr;
    int n = 0;

    bool open(DigitalChnData* table)
    {
        d = table;
        if (d->groupNum == 0 || d->group[d->groupNum - 1]->blockNum == 0) {
            if (!SmpData::newDataBlock(d))
                return false;
        }
        DigitalDataGroup* g = d->group[d->groupNum - 1];
        blk = g->block[g->blockNum - 1];
        n = blk->posNum;
        return true;
    }
    void flush()
    {
        if (blk)
            blk->posNum = n;
    }
    inline bool put(long long pos)
    {
        if (__builtin_expect(n == SMP_BLOCK_ENTRIES, 0)) {
            blk->posNum = n;
            if (!SmpData::newDataBlock(d))
                return false;
            DigitalDataGroup* g = d->group[d->groupNum - 1];
            blk = g->block[g->blockNum - 1];
            n = 0;
        }
        blk->posLow[n] = uint32_t(pos);
        blk->posHigh[n] = uint8_t(pos >> 32);
        ++n;
        return true;
    }
};

// Sinks for every channel of the store that has a table; `mask` gets bit n
// for each such channel n below `maxChn`.
struct Sinks {
    ChnSink c[64];
    int count = 0;
    uint64_t mask = 0;
    bool ok = true;

    Sinks(SmpData* s, int maxChn)
    {
        const int n = s->chnNum < maxChn ? s->chnNum : maxChn;
        for (int i = 0; i < n; ++i) {
            if (!s->chnData[i])
                continue;
            if (!c[i].open(s->chnData[i])) {
                ok = false;
                continue;
            }
            mask |= 1ULL << i;
        }
    }
    ~Sinks()
    {
        for (ChnSink& k : c)
            k.flush();
    }
};

inline uint32_t rd16(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}

inline uint32_t rd32(const unsigned char* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);   // little-endian host (x86-64)
    return v;
}

// Shared body of the two record formats: W bytes of level word, R records
// per frame of F bytes.
template <int W, int R, int F>
int convertRecords(SmpData* s, SmpConvertState* st, const unsigned char* buf, int len,
                   long long* convertedBytes)
{
    if (!s || !st || len < 0 || (len > 0 && !buf))
        return 0;
    Sinks sinks(s, W * 8);
    if (!sinks.ok)
        return 0;
    const int frames = len / F;
    if (frames > 0 && !st->started) {
        const uint32_t first = W == 2 ? rd16(buf) : rd32(buf);
        st->started = true;
        st->prevLevel = first;
        st->recordCnt = 0;
        s->initLevelMask = first;
    }
    const uint32_t mask = uint32_t(sinks.mask);
    uint32_t prev = st->prevLevel;
    long long pos = s->smpDepth;
    long long rec = st->recordCnt;
    // The trigger record as a count that can be compared directly; records
    // before the first one never match.
    const long long trgRec = s->trgRecordIndex > 0 ? s->trgRecordIndex : -1;
    int zeroRuns = 0;
    bool failed = false;
    int f = 0;
    for (; f < frames && !failed; ++f) {
        const unsigned char* p = buf + (long long)f * F;
        for (int r = 0; r < R; ++r, p += W + 1) {
            const uint32_t level = W == 2 ? rd16(p) : rd32(p);
            const unsigned run = p[W];
            uint32_t changed = (prev ^ level) & mask;
            while (changed) {
                const int c = __builtin_ctz(changed);
                changed &= changed - 1;
                if (!sinks.c[c].put(pos))
                    failed = true;
            }
            pos += run;
            zeroRuns += run == 0;
            ++rec;
            if (rec == trgRec)
                s->trgPosition = pos;
            prev = level;
        }
        if (pos > SMP_POS_MAX)
            failed = true;
    }
    st->prevLevel = prev;
    st->recordCnt = rec;
    s->smpDepth = pos > SMP_POS_MAX ? SMP_POS_MAX : pos;
    if (zeroRuns) {
        const long long z = (s->zeroRunCnt < 0 ? -1LL : (long long)s->zeroRunCnt) + zeroRuns;
        s->zeroRunCnt = int(z > 0x3FFFFFFF ? 0x3FFFFFFF : z);
    }
    if (failed) {
        // The frame in which memory ran out is not done.
        if (convertedBytes)
            *convertedBytes += (long long)(f - 1) * F;
        return 0;
    }
    if (convertedBytes)
        *convertedBytes += len;
    return 1;
}

} // namespace

int smpDataConvertP5_16(SmpData* s, SmpConvertState* st, const unsigned char* buf, int len,
                        long long* convertedBytes)
{
    return convertRecords<2, 5, 16>(s, st, buf, len, convertedBytes);
}

int smpDataConvertP6_32(SmpData* s, SmpConvertState* st, const unsigned char* buf, int len,
                        long long* convertedBytes)
{
    return convertRecords<4, 6, 32>(s, st, buf, len, convertedBytes);
}

int smpDataConvertBytes8(SmpData* s, SmpConvertState* st, const unsigned char* buf, int len,
                         int startOffset, long long* depth)
{
    if (!s || !st || len < 0 || (len > 0 && !buf))
        return 0;
    Sinks sinks(s, 8);
    if (!sinks.ok || sinks.mask == 0)
        return 0;
    int i = 0;
    if (startOffset >= 0) {
        st->reset();
        if (startOffset >= len) {
            if (depth)
                *depth = s->smpDepth;
            return 1;
        }
        i = startOffset;
        st->started = true;
        st->prevLevel = buf[i];
        s->initLevelMask = buf[i];
    } else if (!st->started && len > 0) {
        st->started = true;
        st->prevLevel = buf[0];
        s->initLevelMask = buf[0];
    }
    const uint32_t mask = uint32_t(sinks.mask);
    uint32_t prev = st->prevLevel;
    long long pos = s->smpDepth;
    bool failed = false;
    // Eight samples at a time: a run of unchanged bytes costs one compare.
    for (; i < len && !failed;) {
        if (i + 8 <= len) {
            uint64_t w;
            std::memcpy(&w, buf + i, 8);
            const uint64_t rep = 0x0101010101010101ULL * prev;
            if (((w ^ rep) & (0x0101010101010101ULL * mask)) == 0) {
                prev = uint32_t(w >> 56);
                pos += 8;
                i += 8;
                continue;
            }
        }
        const uint32_t b = buf[i];
        uint32_t changed = (prev ^ b) & mask;
        while (changed) {
            const int c = __builtin_ctz(changed);
            changed &= changed - 1;
            if (!sinks.c[c].put(pos))
                failed = true;
        }
        prev = b;
        ++pos;
        ++i;
    }
    st->prevLevel = prev;
    if (pos > SMP_POS_MAX) {
        pos = SMP_POS_MAX;
        failed = true;
    }
    s->smpDepth = pos;
    if (depth)
        *depth = pos;
    return failed ? 0 : 1;
}

int smpDataConvertS16_N(SmpData* s, SmpConvertState* st, const unsigned char* buf, int len,
                        int startOffset, long long* depth)
{
    if (!s || !st || len < 0 || (len > 0 && !buf))
        return 0;
    Sinks sinks(s, 64);
    if (!sinks.ok || sinks.mask == 0)
        return 0;
    int i = 0;
    if (startOffset >= 0 || st->nEna == 0) {
        // First buffer: number the enabled channels.
        st->reset();
        int k = 0;
        for (int c = 0; c < s->chnNum && c < 64; ++c)
            if (sinks.mask >> c & 1)
                s->enaChnIndex[k++] = unsigned(c);
        st->nEna = k;
        s->initLevelMask = 0;
        i = startOffset > 0 ? startOffset : 0;
    }
    const int nEna = st->nEna;
    const unsigned int* ena = s->enaChnIndex;
    unsigned int* level = s->chnCurLevel;
    long long pos = s->smpDepth;
    int k = st->wordIdx;
    uint64_t known = st->levelKnown;
    bool failed = false;

    auto word = [&](uint32_t w) {
        const unsigned c = ena[k];
        if (!(known >> k & 1)) {
            // The channel's first sample sets its start level.
            known |= 1ULL << k;
            level[c] = w & 1;
            if (w & 1)
                s->initLevelMask |= 1ULL << c;
        }
        // Bit i differs from the sample before it (bit i-1, or the level
        // carried from the previous word for bit 0).
        uint32_t diff = (w ^ ((w << 1) | level[c])) & 0xFFFF;
        while (diff) {
            const int b = __builtin_ctz(diff);
            diff &= diff - 1;
            if (!sinks.c[c].put(pos + b))
                failed = true;
        }
        level[c] = w >> 15;
        if (++k == nEna) {
            k = 0;
            pos += 16;
        }
    };

    if (st->haveOdd && i < len) {
        // A word split between the previous buffer and this one.
        st->haveOdd = false;
        word(uint32_t(st->oddByte) | uint32_t(buf[i]) << 8);
        ++i;
    }
    // Whole words only: a buffer that ends inside a word keeps its last byte
    // for the next buffer and never reads past its end.
    const int end = i + ((len - i) & ~1);
    if (nEna == 1) {
        // One channel: consecutive words are consecutive samples; a word
        // equal to the level carried in costs one compare.
        for (; i < end && !failed; i += 2) {
            const uint32_t w = rd16(buf + i);
            const unsigned c = ena[0];
            if ((known & 1) && w == (level[c] ? 0xFFFFu : 0u)) {
                pos += 16;
                continue;
            }
            word(w);
        }
    } else {
        for (; i < end && !failed; i += 2)
            word(rd16(buf + i));
    }
    if (!failed && i < len) {
        st->haveOdd = true;
        st->oddByte = buf[i];
    }
    st->wordIdx = k;
    st->levelKnown = known;
    if (pos > SMP_POS_MAX) {
        pos = SMP_POS_MAX;
        failed = true;
    }
    s->smpDepth = pos;
    if (depth)
        *depth = pos;
    return failed ? 0 : 1;
}
