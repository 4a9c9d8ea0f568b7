// Converters from the analyzers' data formats to edge tables. They find the
// channels that changed by XOR with the previous level and visit only the
// set bits, so the cost follows the number of edges, not channels x samples.

#include <cstring>
#include <emmintrin.h>

#include "data/SmpData.h"

namespace {
// Extra edges of a record written without a loop (a bus changing several
// channels at once); more take a loop.
constexpr int kMultiFixed = 5;

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
    __attribute__((noinline)) void setHigh(uint8_t h)
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
    __attribute__((noinline)) bool refill(int c)
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
    // One entry at pos for every channel set in changed; false when a
    // channel could not go on (the capture ends there).
    inline bool putChanged(uint64_t changed, long long pos)
    {
        checkHigh(pos);
        for (; changed; changed &= changed - 1)
            if (!put(__builtin_ctzll(changed), uint32_t(pos)))
                return false;
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

// State of the record loop kept in registers across a run of records.
struct RecordRun {
    const unsigned char* p;   // frame
    long long pos;
    uint32_t prev;
    int zeroRuns;
    int r;                    // record in the frame where the fast loop stopped
    bool stopped;             // it stopped at an edge of a channel in `slow`
};

// Records of whole frames [p, p + frames * F) in which the high byte of the
// positions cannot change and the trigger record is not, and in which no
// channel outside `slow` can fill its block: each edge is a store and a
// pointer bump. With Checked, edges of the channels in `slow` (blocks nearly
// full) take a checked branch; it stops before a record that would need a
// new block. Without, `slow` must be empty.
// Records without a change write to a scratch sink instead of branching
// (whether a record holds an edge is close to random, a branch on it
// mispredicts): record r of a frame to the sink at bit 63 - r, extra edges k
// of a record to the sink at bit 32 + k (bits never used by a channel of
// these formats, all pointing into `scratch`).
// Kept out of line so that the rare paths of the caller do not spill its
// loop variables.
template <int W, int R, int F, bool Checked>
__attribute__((noinline)) RecordRun fastRecords(RecordRun st, long long frames, uint32_t** cur,
                                                uint32_t* const* end, uint64_t mask, uint64_t slow,
                                                uint32_t* scratch)
{
    static_assert(W * 8 <= 32 && 32 + kMultiFixed <= 64 - R, "scratch sinks overlap");
    const unsigned char* p = st.p;
    const unsigned char* const pe = p + frames * F;
    long long pos = st.pos;
    uint32_t prev = st.prev;
    unsigned zeroRuns = 0;
    st.r = 0;
    st.stopped = false;
    for (; p != pe; p += F) {
        // Each record's sink moves at most once per frame: reset them rather
        // than make the bump conditional.
        for (int r = 0; r < R; ++r)
            cur[63 - r] = scratch;
#pragma GCC unroll 8
        for (int r = 0; r < R; ++r) {
            const unsigned char* q = p + r * (W + 1);
            const uint32_t level = W == 2 ? rd16(q) : rd32(q);
            const unsigned run = q[W];
            uint64_t changed = (prev ^ level) & mask;
            if (Checked && __builtin_expect((changed & slow) != 0, 0)) {
                for (uint64_t m = changed & slow; m; m &= m - 1) {
                    const int c = __builtin_ctzll(m);
                    if (cur[c] == end[c]) {
                        st.r = r;
                        st.stopped = true;
                        goto out;
                    }
                }
                for (; changed; changed &= changed - 1) {
                    const int c = __builtin_ctzll(changed);
                    *cur[c]++ = uint32_t(pos);
                }
            }
            {
                // The lowest changed channel (or the record's scratch sink)
                // takes the position.
                const size_t c = unsigned(__builtin_ctzll(changed | (1ULL << (63 - r))));
                uint32_t* w = cur[c];
                *w = uint32_t(pos);
                cur[c] = w + 1;
            }
            changed &= changed - 1;
            if (__builtin_expect(changed != 0, 0)) {
                // Several channels at once (a bus): a fixed number of
                // conditional bumps, as a loop over a varying number of bits
                // mispredicts its end.
#pragma GCC unroll 8
                for (int k = 0; k < kMultiFixed; ++k) {
                    const size_t c2 = unsigned(__builtin_ctzll(changed | (1ULL << (32 + k))));
                    uint32_t* w2 = cur[c2];
                    *w2 = uint32_t(pos);
                    uintptr_t adv = changed != 0;
                    asm("" : "+r"(adv));   // keep it arithmetic
                    cur[c2] = w2 + adv;
                    changed &= changed - 1;
                }
                while (__builtin_expect(changed != 0, 0)) {
                    const int c2 = __builtin_ctzll(changed);
                    changed &= changed - 1;
                    *cur[c2]++ = uint32_t(pos);
                }
            }
            pos += run;
            zeroRuns += run == 0;
            prev = level;
        }
    }
out:
    st.p = p;
    st.pos = pos;
    st.prev = prev;
    st.zeroRuns += int(zeroRuns);
    return st;
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
    const uint64_t mask = sinks.mask;
    // The scratch sinks of fastRecords (bits 32-63, never a channel here).
    uint32_t scratch[2];
    for (int k = 32; k < 64; ++k) {
        sinks.cur[k] = scratch;
        sinks.end[k] = scratch + 2;
    }
    RecordRun run{buf, s->smpDepth, st->prevLevel, 0, 0, false};
    const long long rec0 = st->recordCnt;
    // The trigger record (counted from 1) as the address of the record in
    // this buffer after which the position is the trigger position; null
    // when it is not in this buffer.
    const unsigned char* trgAt = nullptr;
    if (s->trgRecordIndex > 0 && s->trgRecordIndex > rec0 && s->trgRecordIndex <= rec0 + (long long)frames * R) {
        const long long k = s->trgRecordIndex - rec0 - 1;
        trgAt = buf + (k / R) * F + (k % R) * (W + 1);
    }
    const unsigned char* const bufEnd = buf + (long long)frames * F;
    // A channel with fewer free entries than this is left to the checked
    // path, so that a rarely changing channel near the end of its block
    // does not hold the fast loop to short runs.
    constexpr long long kSlowRoom = 256;
    bool failed = false;
    int r = 0;
    while (run.p != bufEnd) {
        int r0 = 0;
        {
            // Frames that the fast loop may take: no other channel's block
            // can fill (a record adds at most one entry per channel), the
            // positions stay below the next change of bits 32-39 (and so
            // below SMP_POS_MAX), and the trigger record is not among them.
            long long n = (bufEnd - run.p) / F;
            uint64_t slow = 0;
            for (uint64_t m = mask; m; m &= m - 1) {
                const int c = __builtin_ctzll(m);
                const long long room = sinks.end[c] - sinks.cur[c];
                if (room < kSlowRoom)
                    slow |= 1ULL << c;
                else if (room / R < n)
                    n = room / R;
            }
            const long long span = (((run.pos >> 32) + 1) << 32) - 1 - run.pos;
            if (span / (255LL * R) < n)
                n = span / (255LL * R);
            if (trgAt && trgAt >= run.p && (trgAt - run.p) / F < n)
                n = (trgAt - run.p) / F;
            if (n > 0) {
                sinks.checkHigh(run.pos);
                run = slow ? fastRecords<W, R, F, true>(run, n, sinks.cur, sinks.end, mask, slow, scratch)
                           : fastRecords<W, R, F, false>(run, n, sinks.cur, sinks.end, mask, 0, scratch);
                if (!run.stopped)
                    continue;
                r0 = run.r;
            }
        }
        // The rest of a frame with every check: a block fills, the high byte
        // changes, the trigger record, the end of the position range.
        const unsigned char* p = run.p + r0 * (W + 1);
        long long pos = run.pos;
        uint32_t prev = run.prev;
        for (r = r0; r < R; ++r, p += W + 1) {
            const uint32_t level = W == 2 ? rd16(p) : rd32(p);
            const unsigned runLen = p[W];
            const uint64_t changed = (prev ^ level) & mask;
            if (changed && !sinks.putChanged(changed, pos)) {
                failed = true;
                break;
            }
            pos += runLen;
            run.zeroRuns += runLen == 0;
            if (p == trgAt)
                s->trgPosition = pos;
            prev = level;
        }
        run.pos = pos;
        run.prev = prev;
        if (failed)
            break;
        if (pos > SMP_POS_MAX) {
            failed = true;
            break;
        }
        run.p += F;
    }
    const long long f = (run.p - buf) / F;
    st->prevLevel = run.prev;
    // Records done: whole frames, and in a frame that failed those before.
    st->recordCnt = rec0 + f * R + (f < frames ? r : 0);
    s->smpDepth = run.pos > SMP_POS_MAX ? SMP_POS_MAX : run.pos;
    if (run.zeroRuns) {
        const long long z = (s->zeroRunCnt < 0 ? -1LL : (long long)s->zeroRunCnt) + run.zeroRuns;
        s->zeroRunCnt = int(z > 0x3FFFFFFF ? 0x3FFFFFFF : z);
    }
    if (failed) {
        // The frame in which it failed is not done.
        if (convertedBytes)
            *convertedBytes += f * F;
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
        const uint32_t changed = (prev ^ b) & mask;
        if (changed && !sinks.putChanged(changed, pos)) {
            failed = true;
            break;
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
