// Converters from the analyzers' data formats to edge tables. They find the
// channels that changed by XOR with the previous level and visit only the
// set bits, so the cost follows the number of edges, not channels x samples.

#include <cstring>
#include <emmintrin.h>

#include "data/SmpData.h"

namespace {

// Write cursors of the channels that have a table: where the next low word
// goes and where the block ends, kept flat so that an edge costs one store
// and a pointer bump. Bits 32-39 of a position change only every 2^32
// samples, so the high bytes are not stored per edge: each block's range
// since the last change is filled in one go when the block fills, when the
// high byte changes (setHigh) and at the end (the destructor, which also
// writes back the entry counts; nobody reads the table before the
// conversion ends).
struct Sinks {
    uint32_t* cur[64];
    uint32_t* end[64];
    DigitalChnData* tab[64];
    DigitalDataBlock* blk[64];
    int highFrom[64];
    uint8_t high = 0;
    uint64_t mask = 0;
    bool ok = true;

    Sinks(SmpData* s, int maxChn, long long pos) : high(uint8_t(pos >> 32))
    {
        const int n = s->chnNum < maxChn ? s->chnNum : maxChn;
        for (int i = 0; i < n; ++i) {
            DigitalChnData* d = s->chnData[i];
            if (!d)
                continue;
            if (d->groupNum == 0 || d->group[d->groupNum - 1]->blockNum == 0) {
                if (!SmpData::newDataBlock(d)) {
                    ok = false;
                    continue;
                }
            }
            DigitalDataGroup* g = d->group[d->groupNum - 1];
            DigitalDataBlock* b = g->block[g->blockNum - 1];
            if (b->posNum >= SMP_BLOCK_ENTRIES) {
                if (!SmpData::newDataBlock(d)) {
                    ok = false;
                    continue;
                }
                g = d->group[d->groupNum - 1];
                b = g->block[g->blockNum - 1];
            }
            tab[i] = d;
            blk[i] = b;
            cur[i] = b->posLow + b->posNum;
            end[i] = b->posLow + SMP_BLOCK_ENTRIES;
            highFrom[i] = b->posNum;
            mask |= 1ULL << i;
        }
    }
    ~Sinks()
    {
        for (uint64_t m = mask; m; m &= m - 1) {
            const int c = __builtin_ctzll(m);
            fillHigh(c);
            blk[c]->posNum = int(cur[c] - blk[c]->posLow);
        }
    }
    void fillHigh(int c)
    {
        const int n = int(cur[c] - blk[c]->posLow);
        if (n > highFrom[c])
            std::memset(blk[c]->posHigh + highFrom[c], high, size_t(n - highFrom[c]));
        highFrom[c] = n;
    }
    // Positions from here on have bits 32-39 equal to h.
    void setHigh(uint8_t h)
    {
        for (uint64_t m = mask; m; m &= m - 1)
            fillHigh(__builtin_ctzll(m));
        high = h;
    }
    inline void checkHigh(long long pos)
    {
        if (__builtin_expect(uint8_t(pos >> 32) != high, 0))
            setHigh(uint8_t(pos >> 32));
    }
    // Opens the next block of a channel whose block is full.
    bool refill(int c)
    {
        fillHigh(c);
        blk[c]->posNum = SMP_BLOCK_ENTRIES;
        DigitalChnData* d = tab[c];
        if (!SmpData::newDataBlock(d)) {
            // The full block stays; no further entry can be taken.
            end[c] = cur[c];
            return false;
        }
        DigitalDataGroup* g = d->group[d->groupNum - 1];
        blk[c] = g->block[g->blockNum - 1];
        cur[c] = blk[c]->posLow;
        end[c] = cur[c] + SMP_BLOCK_ENTRIES;
        highFrom[c] = 0;
        return true;
    }
    // The low word of a position whose high byte is `high`.
    inline bool put(int c, uint32_t low)
    {
        if (__builtin_expect(cur[c] == end[c], 0) && !refill(c))
            return false;
        *cur[c]++ = low;
        return true;
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
    Sinks sinks(s, W * 8, s->smpDepth);
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
    for (; f < frames; ++f) {
        const unsigned char* p = buf + (long long)f * F;
        for (int r = 0; r < R; ++r, p += W + 1) {
            const uint32_t level = W == 2 ? rd16(p) : rd32(p);
            const unsigned run = p[W];
            uint32_t changed = (prev ^ level) & mask;
            if (changed) {
                sinks.checkHigh(pos);
                do {
                    const int c = __builtin_ctz(changed);
                    changed &= changed - 1;
                    if (!sinks.put(c, uint32_t(pos))) {
                        // The capture ends where a channel could not go on.
                        failed = true;
                        goto done;
                    }
                } while (changed);
            }
            pos += run;
            zeroRuns += run == 0;
            ++rec;
            if (rec == trgRec)
                s->trgPosition = pos;
            prev = level;
        }
        if (pos > SMP_POS_MAX) {
            failed = true;
            break;
        }
    }
done:
    st->prevLevel = prev;
    st->recordCnt = rec;
    s->smpDepth = pos > SMP_POS_MAX ? SMP_POS_MAX : pos;
    if (zeroRuns) {
        const long long z = (s->zeroRunCnt < 0 ? -1LL : (long long)s->zeroRunCnt) + zeroRuns;
        s->zeroRunCnt = int(z > 0x3FFFFFFF ? 0x3FFFFFFF : z);
    }
    if (failed) {
        // The frame in which it failed is not done.
        if (convertedBytes)
            *convertedBytes += (long long)f * F;
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
    Sinks sinks(s, 8, s->smpDepth);
    if (!sinks.ok || sinks.mask == 0)
        return 0;
    int i = 0;
    if (startOffset >= 0) {
        st->reset();
        i = startOffset < len ? startOffset : len;
        if (i < len) {
            st->started = true;
            st->prevLevel = buf[i];
            s->initLevelMask = buf[i];
        }
    } else if (!st->started && len > 0) {
        st->started = true;
        st->prevLevel = buf[0];
        s->initLevelMask = buf[0];
    }
    const uint32_t mask = uint32_t(sinks.mask);
    const uint64_t wideMask = 0x0101010101010101ULL * mask;
    uint32_t prev = st->prevLevel;
    long long pos = s->smpDepth;
    bool failed = false;
    while (i < len) {
        // Eight samples at a time: unchanged bytes cost one compare.
        if (i + 8 <= len) {
            uint64_t w;
            std::memcpy(&w, buf + i, 8);
            if (((w ^ (0x0101010101010101ULL * prev)) & wideMask) == 0) {
                prev = uint32_t(w >> 56);
                pos += 8;
                i += 8;
                continue;
            }
        }
        const uint32_t b = buf[i];
        uint32_t changed = (prev ^ b) & mask;
        if (changed) {
            sinks.checkHigh(pos);
            do {
                const int c = __builtin_ctz(changed);
                changed &= changed - 1;
                if (!sinks.put(c, uint32_t(pos))) {
                    failed = true;
                    goto done;
                }
            } while (changed);
        }
        prev = b;
        ++pos;
        ++i;
    }
done:
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
    Sinks sinks(s, 64, s->smpDepth);
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
        i = startOffset > 0 ? (startOffset < len ? startOffset : len) : 0;
    }
    const int nEna = st->nEna;
    const uint64_t allKnown = nEna >= 64 ? ~0ULL : (1ULL << nEna) - 1;
    const unsigned int* ena = s->enaChnIndex;
    unsigned int* level = s->chnCurLevel;
    long long pos = s->smpDepth;
    int k = st->wordIdx;
    uint64_t known = st->levelKnown;
    bool failed = false;

    // One word of enabled channel k; false when a table could not grow.
    auto word = [&](uint32_t w) -> bool {
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
        level[c] = w >> 15;
        if (diff) {
            sinks.checkHigh(pos);
            do {
                const int b = __builtin_ctz(diff);
                diff &= diff - 1;
                if (!sinks.put(int(c), uint32_t(pos + b)))
                    return false;
            } while (diff);
        }
        if (++k == nEna) {
            k = 0;
            pos += 16;
        }
        return true;
    };

    if (st->haveOdd && i < len) {
        // A word split between the previous buffer and this one.
        st->haveOdd = false;
        if (!word(uint32_t(st->oddByte) | uint32_t(buf[i]) << 8)) {
            failed = true;
            goto done;
        }
        ++i;
    }
    {
        // Whole words only: a buffer that ends inside a word keeps its last
        // byte for the next buffer and never reads past its end.
        const int end = i + ((len - i) & ~1);
        const int rowBytes = 2 * nEna;
        // Scalar up to the first row start with every level known.
        while (i < end && (k != 0 || known != allKnown)) {
            if (!word(rd16(buf + i))) {
                failed = true;
                goto done;
            }
            i += 2;
        }
        if (nEna % 8 == 0 && nEna <= 32) {
            // Whole rows eight channels at a time: the changes of eight words
            // in a few vector operations, then only the words that changed.
            const int groups = nEna / 8;
            __m128i lv[4];
            for (int g = 0; g < groups; ++g) {
                alignas(16) uint16_t l[8];
                for (int j = 0; j < 8; ++j)
                    l[j] = uint16_t(level[ena[g * 8 + j]]);
                lv[g] = _mm_load_si128(reinterpret_cast<const __m128i*>(l));
            }
            const __m128i zero = _mm_setzero_si128();
            while (i + rowBytes <= end) {
                const unsigned char* row = buf + i;
                for (int g = 0; g < groups; ++g) {
                    const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 16 * g));
                    const __m128i d = _mm_xor_si128(w, _mm_or_si128(_mm_slli_epi16(w, 1), lv[g]));
                    lv[g] = _mm_srli_epi16(w, 15);
                    unsigned nz = ~unsigned(_mm_movemask_epi8(_mm_cmpeq_epi16(d, zero))) & 0xFFFF;
                    if (!nz)
                        continue;
                    sinks.checkHigh(pos);
                    alignas(16) uint16_t dv[8];
                    _mm_store_si128(reinterpret_cast<__m128i*>(dv), d);
                    do {
                        const int j = __builtin_ctz(nz) >> 1;
                        nz &= ~(3u << (2 * j));
                        const int c = int(ena[g * 8 + j]);
                        uint32_t bits = dv[j];
                        do {
                            const int b = __builtin_ctz(bits);
                            bits &= bits - 1;
                            if (!sinks.put(c, uint32_t(pos + b))) {
                                failed = true;
                                break;
                            }
                        } while (bits);
                    } while (nz && !failed);
                    if (failed)
                        break;
                }
                if (failed)
                    break;
                pos += 16;
                i += rowBytes;
            }
            for (int g = 0; g < groups; ++g) {
                alignas(16) uint16_t l[8];
                _mm_store_si128(reinterpret_cast<__m128i*>(l), lv[g]);
                for (int j = 0; j < 8; ++j)
                    level[ena[g * 8 + j]] = l[j];
            }
            if (failed)
                goto done;
        }
        // Other channel counts, and the rest of the buffer.
        for (; i < end; i += 2) {
            if (!word(rd16(buf + i))) {
                failed = true;
                goto done;
            }
        }
        if (i < len) {
            st->haveOdd = true;
            st->oddByte = buf[i];
        }
    }
done:
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
