// The export of a logic capture as CSV text or packed binary samples.
#include "data/DataFile.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <emmintrin.h>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

#include "data/DataFilePriv.h"
#include "data/SmpData.h"
#include "data/SmpTimeExport.h"
#include "data/Threads.h"

using namespace DataFilePriv;

namespace {

// A CSV field: quoted when it holds a separator, a quote or a line break,
// and when it begins or ends with a blank, which a reader that skips the
// blank after each ", " (or trims its fields) would otherwise lose.
QByteArray csvField(const QString& text)
{
    QByteArray s = text.toUtf8();
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (s.contains(',') || s.contains('"') || s.contains('\n') || s.contains('\r')
        || (!s.isEmpty() && (blank(s.front()) || blank(s.back()))))
        s = '"' + s.replace("\"", "\"\"") + '"';
    return s;
}

// One exported channel: its bit and where its level changes next.
struct Lane {
    int chn = 0;
    long long next = 0;   // position of the entry at the walk
    EntryWalk walk;

    // XORs the lane's bit into tog[p - c0] for each of its entries p below
    // c1 and stops at the first entry at or past c1. Equal positions cancel,
    // as they do in the store's level rule.
    template <typename W>
    void scatter(long long c0, long long c1, W* tog, W bit)
    {
        while (next < c1) {
            const DigitalDataBlock* b = walk.blk;
            int i = walk.i;
            const int n = b->posNum;
            long long p = next;
            while (p < c1) {
                tog[p - c0] ^= bit;
                if (++i >= n)
                    break;
                p = smpEntryPos(b, i);
            }
            if (i < n) {
                walk.i = i;
                next = p;
                return;
            }
            walk.i = n - 1;
            if (!walk.next()) {
                next = LLONG_MAX;   // past the closing entry: never in a complete store
                return;
            }
            next = walk.pos();
        }
    }

    // Steps past every entry at p, the lane's next change; true when they
    // change the level (an odd number of them).
    bool passAt(long long p)
    {
        bool odd = false;
        for (; next == p; odd = !odd)
            next = walk.next() ? walk.pos() : LLONG_MAX;
        return odd;
    }
};

// The selected channels that have data, positioned at the first entry after
// start, and the levels of every selected channel at start (bit c).
QVector<Lane> makeLanes(const SmpData* s, const QVector<bool>& selected, long long start,
                        unsigned long long* levels)
{
    QVector<Lane> lanes;
    *levels = 0;
    for (int c = 0; c < s->chnNum && c < selected.size() && c < 64; ++c) {
        if (!selected[c] || !s->hasValidData(c))
            continue;   // no data: level 0 throughout
        DigitalDataSubs subs;
        const int level = s->getPointLevel(c, start, &subs);
        if (level < 0)
            continue;
        Lane l;
        l.chn = c;
        l.walk = EntryWalk(s->chnData[c], subs);
        l.next = l.walk.pos();
        lanes.append(l);
        *levels |= (unsigned long long)level << c;
    }
    return lanes;
}

// The ", 0" / ", 1" texts of the selected channels of one group of eight,
// for every value of the group's level byte.
struct LevelTexts {
    int shift = 0;
    int len = 0;
    char text[256][24];
};

// The last lane of x in every lane.
template <typename W>
inline __m128i lastLane(__m128i x)
{
    if constexpr (sizeof(W) == 8)
        return _mm_unpackhi_epi64(x, x);
    if constexpr (sizeof(W) == 4)
        return _mm_shuffle_epi32(x, 0xFF);
    const __m128i h = _mm_shufflehi_epi16(x, 0xFF);
    const __m128i w = _mm_unpackhi_epi64(h, h);   // word 7 everywhere
    if constexpr (sizeof(W) == 2)
        return w;
    const __m128i b = _mm_srli_epi16(w, 8);   // byte 15
    return _mm_or_si128(b, _mm_slli_epi16(b, 8));
}

// x XORed up across its lanes: lane k = x[0] ^ ... ^ x[k].
template <typename W>
inline __m128i lanePrefix(__m128i x)
{
    if constexpr (sizeof(W) == 1)
        x = _mm_xor_si128(x, _mm_slli_si128(x, 1));
    if constexpr (sizeof(W) <= 2)
        x = _mm_xor_si128(x, _mm_slli_si128(x, 2));
    if constexpr (sizeof(W) <= 4)
        x = _mm_xor_si128(x, _mm_slli_si128(x, 4));
    return _mm_xor_si128(x, _mm_slli_si128(x, 8));
}

// words[i] = cur ^ marks[0] ^ ... ^ marks[i]; returns the last and leaves
// marks zero again. Two vectors a step, each XORed up on its own, so that
// the carry from one step to the next costs a single XOR.
template <typename W>
W prefixXor(W* marks, W* words, int n, W cur)
{
    constexpr int lanes = 16 / int(sizeof(W));
    const __m128i zero = _mm_setzero_si128();
    __m128i carry = zero;
    std::memcpy(&carry, &cur, sizeof(W));
    carry = lastLane<W>(_mm_slli_si128(carry, 16 - int(sizeof(W))));
    int i = 0;
    for (; i + 2 * lanes <= n; i += 2 * lanes) {
        __m128i* m = reinterpret_cast<__m128i*>(marks + i);
        __m128i* p = reinterpret_cast<__m128i*>(words + i);
        const __m128i a = lanePrefix<W>(_mm_loadu_si128(m));
        const __m128i b = lanePrefix<W>(_mm_loadu_si128(m + 1));
        _mm_storeu_si128(m, zero);
        _mm_storeu_si128(m + 1, zero);
        const __m128i ta = lastLane<W>(a);
        _mm_storeu_si128(p, _mm_xor_si128(a, carry));
        _mm_storeu_si128(p + 1, _mm_xor_si128(b, _mm_xor_si128(carry, ta)));
        carry = _mm_xor_si128(carry, _mm_xor_si128(ta, lastLane<W>(b)));
    }
    std::memcpy(&cur, &carry, sizeof(W));
    for (; i < n; ++i) {
        cur ^= marks[i];
        marks[i] = 0;
        words[i] = cur;
    }
    return cur;
}

// The levels of n samples from c0 on, one word per sample: the lanes' edges
// marked in marks (zero, at least n words, and zero again afterwards), then
// XORed up from the levels before c0 (which it advances).
template <typename W>
void levelWords(QVector<Lane>& lanes, long long c0, int n, W* marks, W* words, unsigned long long* levels)
{
    for (Lane& l : lanes)
        l.scatter(c0, c0 + n, marks, W(W(1) << l.chn));
    *levels = prefixXor(marks, words, n, W(*levels));
}

// The output of one export segment, filled by a worker.
struct Segment {
    std::vector<unsigned char> bytes;
    size_t used = 0;
    // Room for n more bytes, and slack for whole-word stores past them.
    unsigned char* reserve(size_t n)
    {
        if (used + n + 64 > bytes.size())
            bytes.resize(std::max(2 * bytes.size(), used + n + 64));
        return bytes.data() + used;
    }
};

// The lanes and levels a segment from a on starts with: at the range start
// its own levels (and lanes after it), elsewhere those of the sample before,
// so that a change at a itself is marked.
QVector<Lane> segmentLanes(const SmpData* s, const QVector<bool>& selected, long long rangeStart, long long a,
                           unsigned long long* levels)
{
    return makeLanes(s, selected, a == rangeStart ? a : a - 1, levels);
}

// Changes a segment of a CSV export holds: about this many, at most twice
// as many, so that its output stays a few megabytes.
constexpr int kSegRecords = 16384;

// Where the CSV's segments start: the range start, then edges chosen so that
// each segment holds about segRecords changes however the edges gather. Every
// stride-th entry of each lane (stride = segRecords / lanes) is a candidate,
// standing for stride entries; a candidate starts a segment once the ones
// since the last start stand for segRecords. Between two starts lie fewer
// than lanes candidates, so a segment holds fewer than stride entries of
// each lane for each of them and one more: below 2 x segRecords. It costs
// in proportion to the edges, not to the samples.
std::vector<long long> csvSegmentStarts(const SmpData* s, const QVector<bool>& selected, long long start,
                                        long long end, int segRecords)
{
    unsigned long long levels = 0;
    const QVector<Lane> lanes = makeLanes(s, selected, start, &levels);
    std::vector<long long> starts;
    const long long stride = std::max(64, segRecords / std::max(1, int(lanes.size())));
    for (const Lane& l : lanes) {
        // Whole blocks are passed at once.
        EntryWalk w = l.walk;
        for (long long skip = stride;;) {
            const int after = w.blk->posNum - 1 - w.i;   // entries behind this one in its block
            if (skip > after) {
                skip -= after + 1;
                w.i = w.blk->posNum - 1;
                if (!w.next())
                    break;
            } else {
                w.i += int(skip);
                skip = 0;
            }
            if (skip == 0) {
                const long long p = w.pos();
                if (p > end)
                    break;
                starts.push_back(p);
                skip = stride;
            }
        }
    }
    std::sort(starts.begin(), starts.end());
    size_t kept = 0;
    long long since = 0;
    for (long long p : starts) {
        since += stride;
        if (since >= segRecords && (kept == 0 || starts[kept - 1] != p)) {
            starts[kept++] = p;
            since = 0;
        }
    }
    starts.resize(kept);
    starts.insert(starts.begin(), start);
    return starts;
}

// Writes n bytes at the file position at (several threads may write to one
// file at once), in 204,800-byte pieces; false when a write fails.
bool writeAt(int fd, const unsigned char* p, size_t n, qint64 at)
{
    while (n > 0) {
        const ssize_t w = ::pwrite(fd, p, std::min(n, size_t(kChunkBytes)), off_t(at));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= size_t(w);
        at += w;
    }
    return true;
}

} // namespace

qint64 DataFile::binBytes() const
{
    if (!smpData || rangeEnd < rangeStart)
        return 0;
    return qint64(rangeEnd - rangeStart + 1) * ((smpData->chnNum + 7) / 8);
}

qint64 DataFile::csvBytesBound() const
{
    if (!smpData || rangeEnd < rangeStart)
        return 0;
    qint64 header = 8;   // "Time[s]" and the line break
    int columns = 0;
    for (int c = 0; c < smpData->chnNum && c < selected.size(); ++c) {
        if (selected[c]) {
            header += 2 + csvField(names.value(c)).size();
            ++columns;
        }
    }
    // The first line, then one for each sample where a selected channel's
    // edge lies: no more than the edges, nor than the samples.
    const long long lines = std::min(rangeEnd - rangeStart + 1, totalRecords + 1);
    return header + qint64(lines) * (SmpTimeExport::MaxChars + 3 * columns + 1);
}

template <typename Starts, typename Produce>
bool DataFile::writeSegments(const QByteArray& header, long long nSegs, Starts segStart, Produce produce)
{
    QFile f(filePath);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)
        || f.write(header) != header.size())
        return false;

    // Workers take the segments in turn, each fills its own buffer and, once
    // the segment before it has been filled (so its length is known), writes
    // it at its place. In threaded work this thread follows the progress and
    // the cancel; in direct work it is one of the workers (so a small job
    // starts no thread). Each worker also looks for a cancel before each
    // segment, so that the program's end stops direct work too. Where the
    // system refuses the workers their threads, the ones that started take
    // every segment; where it refuses them all, this thread does, reporting
    // the progress itself.
    const int workers = int(std::min<long long>(nSegs, std::max(1, std::min(kMaxExportThreads,
                                                                             QThread::idealThreadCount() - 1))));
    const int fd = f.handle();
    std::atomic<long long> next{0};
    std::atomic<long long> samplesDone{0};
    std::atomic<long long> segsDone{0};
    std::atomic<int> running{0};   // workers that have started and not yet ended
    std::mutex placeLock;
    std::condition_variable placed;
    long long placedSegs = 0;   // segments whose place is known (guarded by placeLock)
    qint64 place = f.pos();     // where segment placedSegs starts
    bool stop = false;          // a failure or a cancel (guarded by placeLock)
    auto halt = [&] {
        {
            std::lock_guard<std::mutex> lock(placeLock);
            stop = true;
        }
        placed.notify_all();
    };
    auto work = [&](bool reporter) {
        Segment sg;
        for (long long i; (i = next++) < nSegs;) {
            if (canceled()) {
                halt();
                break;
            }
            const long long a = segStart(i), b = i + 1 < nSegs ? segStart(i + 1) - 1 : rangeEnd;
            sg.used = 0;
            const bool ok = produce(a, b, sg);
            qint64 at = 0;
            {
                std::unique_lock<std::mutex> lock(placeLock);
                placed.wait(lock, [&] { return placedSegs == i || stop; });
                if (stop)
                    break;
                at = place;
                place += qint64(sg.used);
                placedSegs = i + 1;
            }
            placed.notify_all();
            if (!ok || !writeAt(fd, sg.bytes.data(), sg.used, at)) {
                halt();
                break;
            }
            samplesDone += b - a + 1;
            ++segsDone;
            if (reporter)
                reportProgress(segsDone, nSegs);
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(size_t(workers));
    Threads::startCounted(threads, threaded ? workers : workers - 1, running, [&] { work(false); });
    if (!threaded || threads.empty())
        work(threaded);
    const long long total = rangeEnd - rangeStart + 1;
    while (threaded && running > 0) {
        QThread::msleep(20);
        reportProgress(segsDone, nSegs);
        if (canceled())
            halt();
    }
    for (std::thread& t : threads)
        t.join();
    return samplesDone == total && !canceled();
}

bool DataFile::saveFile_csv()
{
    const SmpData* s = smpData;
    if (!s || rangeEnd < rangeStart || s->chnNum > 64)
        return false;

    QByteArray header = "Time[s]";
    std::vector<LevelTexts> groups;
    for (int c = 0; c < s->chnNum && c < selected.size(); ++c) {
        if (!selected[c])
            continue;
        header += ", " + csvField(names.value(c));
        if (groups.empty() || groups.back().shift != c / 8 * 8) {
            groups.emplace_back();
            groups.back().shift = c / 8 * 8;
        }
        LevelTexts& g = groups.back();
        for (int v = 0; v < 256; ++v) {
            char* t = g.text[v] + g.len;
            t[0] = ',';
            t[1] = ' ';
            t[2] = char('0' + ((v >> (c % 8)) & 1));
        }
        g.len += 3;
    }
    header += '\n';
    size_t lineMax = SmpTimeExport::MaxChars + 1 + sizeof groups[0].text[0];
    for (const LevelTexts& g : groups)
        lineMax += size_t(g.len);

    // A line for the range's first sample and for every sample where a
    // selected channel changes. Where the changes are sparse the lanes are
    // merged, one line from one change to the next, so that runs without a
    // change cost nothing. Where they are dense, the lanes mark their changes
    // in one word per sample (as narrow as the channel count allows) over a
    // span, which is then tested 16 bytes at a time. Every kProbe merged
    // lines and after every span the density decides the next step.
    auto lines = [&](auto zero, long long a, long long b, Segment& out) {
        using W = decltype(zero);
        constexpr int kSpan = 16384;
        constexpr int kPad = 16 / int(sizeof(W));   // one vector past the end, kept zero
        constexpr int kProbe = 64;
        constexpr long long kDenseGap = 64;   // samples per line below which the spans win
        std::vector<W> tog;
        unsigned long long levels = 0;
        QVector<Lane> lanes = segmentLanes(s, selected, rangeStart, a, &levels);
        const SmpTimeExport timeText(s->smpFrequ, s->trgPosition);
        auto putLine = [&](long long t, W change) {
            levels ^= change;
            unsigned char* p = out.reserve(lineMax);
            unsigned char* const begin = p;
            p += timeText.toString(t, reinterpret_cast<char*>(p));
            for (const LevelTexts& g : groups) {
                // Whole rows (a fixed size copies inline); the slack takes the rest.
                std::memcpy(p, g.text[(levels >> g.shift) & 0xFF], sizeof g.text[0]);
                p += g.len;
            }
            *p++ = '\n';
            out.used += size_t(p - begin);
        };
        // The line of the change at t (none when its edges cancel); returns
        // the next change of any lane.
        auto mergeLine = [&](long long t) {
            W change = 0;
            long long next = LLONG_MAX;
            for (Lane& l : lanes) {
                if (l.next == t && l.passAt(t))
                    change ^= W(W(1) << l.chn);
                next = std::min(next, l.next);
            }
            if (change)
                putLine(t, change);
            return next;
        };
        auto nextChange = [&] {
            long long t = LLONG_MAX;
            for (const Lane& l : lanes)
                t = std::min(t, l.next);
            return t;
        };
        if (a == rangeStart)
            putLine(a, 0);
        long long t = nextChange();
        bool dense = false;
        while (t <= b) {
            if (!dense) {
                const long long from = t;
                int k = 0;
                for (; k < kProbe && t <= b; ++k)
                    t = mergeLine(t);
                dense = k == kProbe && t - from <= kProbe * kDenseGap;
                continue;
            }
            // A span from the next change on.
            const long long c0 = t;
            const int n = int(std::min<long long>(kSpan, b + 1 - c0));
            if (tog.empty())
                tog.resize(kSpan + kPad);
            std::memset(tog.data(), 0, (size_t(n) + kPad) * sizeof(W));
            for (Lane& l : lanes)
                l.scatter(c0, c0 + n, tog.data(), W(W(1) << l.chn));
            long long found = 0;
            for (int i = 0; i < n; i += kPad) {
                const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tog.data() + i));
                unsigned marks = ~unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(x, _mm_setzero_si128()))) & 0xFFFFu;
                while (marks) {
                    const int k = i + __builtin_ctz(marks) / int(sizeof(W));
                    marks &= ~((1u << ((k - i + 1) * int(sizeof(W)))) - 1);
                    putLine(c0 + k, tog[size_t(k)]);
                    ++found;
                }
            }
            dense = found * kDenseGap >= n;
            t = nextChange();
        }
        return true;
    };
    const int width = s->chnNum <= 8 ? 1 : s->chnNum <= 16 ? 2 : s->chnNum <= 32 ? 4 : 8;
    const std::vector<long long> starts = csvSegmentStarts(s, selected, rangeStart, rangeEnd, kSegRecords);
    auto segStart = [&starts](long long i) { return starts[size_t(i)]; };
    return writeSegments(header, (long long)starts.size(), segStart, [&](long long a, long long b, Segment& out) {
        return width == 1 ? lines(uint8_t(), a, b, out) : width == 2 ? lines(uint16_t(), a, b, out)
             : width == 4 ? lines(uint32_t(), a, b, out) : lines(uint64_t(), a, b, out);
    });
}

bool DataFile::saveFile_bin()
{
    const SmpData* s = smpData;
    if (!s || rangeEnd < rangeStart || s->chnNum > 64)
        return false;

    const int bytes = (s->chnNum + 7) / 8;
    // Whole words go straight into the output; other widths (and big-endian
    // hosts) are packed from 64-bit words.
    constexpr bool littleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
    const bool direct = littleEndian && (bytes == 1 || bytes == 2 || bytes == 4 || bytes == 8);
    constexpr long long kSegSamples = 1 << 16;
    const long long nSegs = (rangeEnd - rangeStart) / kSegSamples + 1;
    auto segStart = [this](long long i) { return rangeStart + i * kSegSamples; };
    return writeSegments(QByteArray(), nSegs, segStart, [&](long long a, long long b, Segment& out) {
        unsigned long long levels = 0;
        QVector<Lane> lanes = segmentLanes(s, selected, rangeStart, a, &levels);
        // Marks a few thousand samples a step, so that they stay in the
        // nearest cache; the output is written once.
        constexpr int kSpan = 8192;
        std::vector<unsigned long long> marks(kSpan, 0ULL);
        std::vector<unsigned long long> wide(direct ? 0 : size_t(kSpan));
        for (long long c0 = a; c0 <= b; c0 += kSpan) {
            const int n = int(std::min<long long>(kSpan, b + 1 - c0));
            unsigned char* p = out.reserve(size_t(n) * size_t(bytes));
            switch (direct ? bytes : 0) {
            case 1:
                levelWords(lanes, c0, n, reinterpret_cast<uint8_t*>(marks.data()), reinterpret_cast<uint8_t*>(p),
                           &levels);
                break;
            case 2:
                levelWords(lanes, c0, n, reinterpret_cast<uint16_t*>(marks.data()), reinterpret_cast<uint16_t*>(p),
                           &levels);
                break;
            case 4:
                levelWords(lanes, c0, n, reinterpret_cast<uint32_t*>(marks.data()), reinterpret_cast<uint32_t*>(p),
                           &levels);
                break;
            case 8:
                levelWords(lanes, c0, n, reinterpret_cast<uint64_t*>(marks.data()), reinterpret_cast<uint64_t*>(p),
                           &levels);
                break;
            default:
                levelWords(lanes, c0, n, marks.data(), wide.data(), &levels);
                for (int i = 0; i < n; ++i)
                    for (int k = 0; k < bytes; ++k)
                        p[i * bytes + k] = (unsigned char)(wide[size_t(i)] >> (8 * k));
                break;
            }
            out.used += size_t(n) * size_t(bytes);
        }
        return true;
    });
}
