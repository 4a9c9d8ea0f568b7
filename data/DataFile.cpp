#include "data/DataFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSemaphore>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <emmintrin.h>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

#include "data/SmpData.h"
#include "data/SmpDataOsc.h"
#include "data/SmpTimeExport.h"

DataFile* DataFile::active = nullptr;
std::function<void(DataFile*)> DataFile::progressView;

namespace {

constexpr int kChunkBytes = 204800;                       // file reads and writes
constexpr int kEntryBytes = 5;
constexpr int kChunkEntries = kChunkBytes / kEntryBytes;  // 40,960
constexpr int kHeadBytes = 40;
constexpr int kChnHeadBytes = 16;
constexpr long long kMaxRate = 1000000000000LL;           // 1 THz
constexpr unsigned long long kPosMask = (1ULL << 40) - 1;

// 5-byte little-endian numbers. The buffers keep 8 bytes of slack after
// their end so a number moves as one 8-byte word on little-endian hosts.
inline void put5(unsigned char* p, unsigned long long v)
{
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::memcpy(p, &v, 8);
#else
    for (int i = 0; i < 5; ++i)
        p[i] = (unsigned char)(v >> (8 * i));
#endif
}

inline unsigned long long get5(const unsigned char* p)
{
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    unsigned long long v;
    std::memcpy(&v, p, 8);
    return v & kPosMask;
#else
    unsigned long long v = 0;
    for (int i = 4; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
#endif
}

// Forward walk over the entries of one channel table from a located cursor.
struct EntryWalk {
    const DigitalChnData* d = nullptr;
    const DigitalDataBlock* blk = nullptr;
    int g = 0, b = 0, i = 0;

    EntryWalk() = default;
    EntryWalk(const DigitalChnData* table, const DigitalDataSubs& s)
        : d(table), blk(table->group[s.group]->block[s.block]), g(s.group), b(s.block), i(s.index) {}

    long long pos() const { return smpEntryPos(blk, i); }
    // Steps to the next entry; false past the table's last entry.
    bool next()
    {
        if (++i < blk->posNum)
            return true;
        i = 0;
        if (++b >= d->group[g]->blockNum) {
            b = 0;
            if (++g >= d->groupNum) {
                g = d->groupNum - 1;
                return false;
            }
        }
        blk = d->group[g]->block[b];
        return true;
    }
};

// Output in 204,800-byte chunks over an unbuffered file, so that every
// short write is seen. A second thread writes each full chunk while the next
// one fills: formatting and the kernel's copy overlap.
class ChunkWriter
{
public:
    explicit ChunkWriter(QFile& f) : file(f)
    {
        for (std::vector<unsigned char>& b : buf)
            b.resize(kChunkBytes + 64);   // slack for whole-word stores past the end
        writer = std::thread([this] { writeLoop(); });
    }
    ~ChunkWriter() { finish(); }
    ChunkWriter(const ChunkWriter&) = delete;
    ChunkWriter& operator=(const ChunkWriter&) = delete;

    unsigned char* tail() { return buf[cur].data() + fill; }
    int room() const { return kChunkBytes - fill; }
    void advance(int n) { fill += n; }
    bool put(const char* p, int n)
    {
        while (n > 0) {
            if (room() == 0 && !flush())
                return false;
            const int k = std::min(n, room());
            std::memcpy(tail(), p, size_t(k));
            advance(k);
            p += k;
            n -= k;
        }
        return true;
    }
    // Hands the filled chunk to the writer; false once a write has failed.
    bool flush()
    {
        if (fill > 0) {
            len[cur] = fill;
            full.release();
            cur = (cur + 1) % kSlots;
            freeSlots.acquire();
            fill = 0;
        }
        return !failed;
    }
    // Writes what is left and waits for the writer; true when every write
    // succeeded.
    bool finish()
    {
        if (!writer.joinable())
            return !failed;
        flush();
        len[cur] = -1;   // the end
        full.release();
        writer.join();
        return !failed;
    }

private:
    void writeLoop()
    {
        for (int i = 0;; i = (i + 1) % kSlots) {
            full.acquire();
            if (len[i] < 0)
                return;
            if (!failed && file.write(reinterpret_cast<const char*>(buf[i].data()), len[i]) != len[i])
                failed = true;
            freeSlots.release();
        }
    }

    static constexpr int kSlots = 3;
    QFile& file;
    std::vector<unsigned char> buf[kSlots];
    int len[kSlots] = {};
    int cur = 0;    // the slot being filled
    int fill = 0;
    QSemaphore freeSlots{kSlots - 1};
    QSemaphore full{0};
    std::atomic<bool> failed{false};
    std::thread writer;
};

// Appends k 5-byte entries to a table, straight into its blocks. False
// when an entry descends or memory ran out; *prev carries the last entry
// from call to call.
bool appendEntries(DigitalChnData* d, const unsigned char* src, int k, long long* prev)
{
    long long last = *prev;
    bool descends = false;
    while (k > 0) {
        DigitalDataBlock* blk = nullptr;
        if (d->groupNum > 0) {
            DigitalDataGroup* grp = d->group[d->groupNum - 1];
            if (grp->blockNum > 0)
                blk = grp->block[grp->blockNum - 1];
        }
        if (!blk || blk->posNum >= SMP_BLOCK_ENTRIES) {
            if (!SmpData::newDataBlock(d))
                return false;
            DigitalDataGroup* grp = d->group[d->groupNum - 1];
            blk = grp->block[grp->blockNum - 1];
        }
        const int n = blk->posNum;
        const int m = std::min(k, SMP_BLOCK_ENTRIES - n);
        uint32_t* low = blk->posLow + n;
        uint8_t* high = blk->posHigh + n;
        for (int j = 0; j < m; ++j) {
            const long long v = (long long)get5(src);
            src += kEntryBytes;
            descends |= v < last;
            last = v;
            low[j] = uint32_t(v);
            high[j] = uint8_t(v >> 32);
        }
        blk->posNum = n + m;
        k -= m;
    }
    *prev = last;
    return !descends;
}

// A CSV field: quoted when it holds a separator, a quote or a line break.
QByteArray csvField(const QString& text)
{
    QByteArray s = text.toUtf8();
    if (s.contains(',') || s.contains('"') || s.contains('\n') || s.contains('\r'))
        s = '"' + s.replace("\"", "\"\"") + '"';
    return s;
}

} // namespace

// ---------------------------------------------------------------------------
// Part files

PartFile::PartFile(const QString& t) : target(t)
{
    // A free name beside the target, created here so that nothing else
    // takes it; a name some other file already has is never touched.
    for (int i = 0; i < 100; ++i) {
        const QString name = target + (i == 0 ? QStringLiteral(".part") : QStringLiteral(".%1.part").arg(i));
        QFile f(name);
        if (f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            part = name;
            return;
        }
        if (!f.exists())
            return;   // the directory cannot take a file
    }
}

PartFile::~PartFile()
{
    if (!committed && !part.isEmpty())
        QFile::remove(part);
}

bool PartFile::commit()
{
    if (part.isEmpty() || committed)
        return false;
    // rename(2) replaces the target in one step.
    committed = std::rename(QFile::encodeName(part).constData(), QFile::encodeName(target).constData()) == 0;
    return committed;
}

// ---------------------------------------------------------------------------
// Numbers

void DataFile::int64ToByte5(long long v, unsigned char* out)
{
    for (int i = 0; i < 5; ++i)
        out[i] = (unsigned char)((unsigned long long)v >> (8 * i));
}

long long DataFile::byte5toInt64(const unsigned char* in)
{
    long long v = 0;
    for (int i = 4; i >= 0; --i)
        v = (v << 8) | in[i];
    return v;
}

// ---------------------------------------------------------------------------
// Jobs

DataFile::DataFile(SmpData* store) : smpData(store) {}

DataFile::~DataFile()
{
    wait();
}

void DataFile::setExportInterval(long long a, long long b)
{
    const long long last = smpData ? smpData->smpDepth - 1 : -1;
    rangeStart = std::max(0LL, std::min(std::min(a, b), last));
    rangeEnd = std::max(0LL, std::min(std::max(a, b), last));
    if (last < 0)
        rangeEnd = -1;   // no samples: an empty range
}

long long DataFile::getTotalRecordNum() const
{
    if (!smpData || rangeEnd < rangeStart)
        return 0;
    long long total = 0;
    for (int c = 0; c < smpData->chnNum && c < selected.size(); ++c) {
        if (!selected[c] || !smpData->hasValidData(c))
            continue;
        const long long n = smpData->getTwoPointEdgeNum(c, rangeStart, rangeEnd);
        if (n >= 0)
            total += n + 1;
    }
    return total;
}

bool DataFile::saveData(const QString& path, const QVector<bool>& sel, long long start, long long end, bool direct)
{
    if (smpDataOsc) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly | QIODevice::Append) && smpDataOsc->writeFile(f) && f.flush();
    }
    filePath = path;
    selected = sel;
    setExportInterval(start, end);
    totalRecords = getTotalRecordNum();
    return startThread(OpSave, !direct && totalRecords >= ThreadSaveRecords);
}

bool DataFile::loadData(const QString& path, qint64 offset, bool direct)
{
    if (smpDataOsc) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly) && f.seek(offset))
            return smpDataOsc->readFile(f);
        smpDataOsc->clearData();
        return false;
    }
    filePath = path;
    fileOffset = offset;
    scratch.clear();
    for (int c = 0; smpData && c < smpData->chnNum; ++c)
        scratch.emplace_back(new SmpData(1));
    return startThread(OpRead, !direct && QFileInfo(path).size() >= ThreadLoadBytes);
}

bool DataFile::exportCSV(const QString& path, const QVector<bool>& sel, const QStringList& chnNames, long long start,
                         long long end, bool direct)
{
    PartFile part(path);
    if (!part.isValid())
        return false;
    filePath = part.path();
    selected = sel;
    names = chnNames;
    setExportInterval(start, end);
    totalRecords = getTotalRecordNum();
    return startThread(OpExportCsv, !direct && totalRecords >= ThreadCsvRecords) && part.commit();
}

bool DataFile::exportBin(const QString& path, const QVector<bool>& sel, long long start, long long end, bool direct)
{
    PartFile part(path);
    if (!part.isValid())
        return false;
    filePath = part.path();
    selected = sel;
    setExportInterval(start, end);
    totalSamples = std::max(0LL, rangeEnd - rangeStart + 1);
    return startThread(OpExportBin, !direct && totalSamples >= ThreadBinSamples) && part.commit();
}

bool DataFile::startThread(OperateType t, bool inThread)
{
    type = t;
    cancelReq = false;
    done = false;
    aborted = false;
    result = false;
    lastPercent = -1;
    threaded = inThread;
    if (!inThread) {
        result = doJob();
        done = true;
        return result;
    }
    if (active)
        return false;   // one threaded job at a time
    active = this;
    start();
    if (progressView) {
        progressView(this);
        if (!done)
            cancel();   // the user gave up
    }
    wait();
    active = nullptr;
    return result && !aborted;
}

void DataFile::abortRunning()
{
    DataFile* job = active;
    if (!job)
        return;
    job->cancel();
    job->wait();
    job->aborted = true;
}

void DataFile::run()
{
    result = doJob();
    done = true;
    emit sigJobDone();
}

bool DataFile::doJob()
{
    bool ok = false;
    switch (type) {
    case OpRead:
        ok = readFile_bzdat();
        break;
    case OpSave:
        ok = saveFile_bzdat();
        break;
    case OpExportBin:
        ok = saveFile_bin();
        break;
    case OpExportCsv:
        ok = saveFile_csv();
        break;
    }
    emit sigReportProgress(100);
    return ok;
}

void DataFile::reportProgress(long long doneUnits, long long totalUnits)
{
    if (totalUnits <= 0)
        return;
    const int percent = int(std::min(99LL, doneUnits * 100 / totalUnits));
    if (percent != lastPercent) {
        lastPercent = percent;
        emit sigReportProgress(percent);
    }
}

// ---------------------------------------------------------------------------
// Capture file data part

bool DataFile::saveFile_bzdat()
{
    const SmpData* s = smpData;
    const long long len = rangeEnd - rangeStart + 1;
    if (!s || len < 1)
        return false;
    QFile f(filePath);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    ChunkWriter out(f);

    unsigned char head[kHeadBytes] = {};
    std::memcpy(head, "cvdat", 6);
    int64ToByte5(len, head + 8);
    int64ToByte5(s->smpFrequ, head + 16);
    int64ToByte5(std::max(0LL, s->trgPosition - rangeStart), head + 24);
    head[32] = (unsigned char)s->chnNum;
    if (!out.put(reinterpret_cast<const char*>(head), kHeadBytes))
        return false;

    long long written = 0;
    // After each chunk: progress, and a cancel ends the job.
    auto flushChunk = [&]() {
        if (!out.flush())
            return false;
        if (threaded)
            reportProgress(written / 1000000, totalRecords / 1000000);
        return !canceled();
    };

    for (int c = 0; c < s->chnNum; ++c) {
        if (c >= selected.size() || !selected[c] || !s->hasValidData(c))
            continue;
        const long long n = s->getTwoPointEdgeNum(c, rangeStart, rangeEnd);
        if (n < 0)
            continue;
        DigitalDataSubs subs;
        const int level = s->getPointLevel(c, rangeStart, &subs);
        unsigned char ch[kChnHeadBytes] = {};
        std::memcpy(ch, "##D", 4);
        ch[4] = (unsigned char)c;
        ch[5] = (unsigned char)(level > 0 ? 1 : 0);
        int64ToByte5(n + 1, ch + 8);
        if (!out.put(reinterpret_cast<const char*>(ch), kChnHeadBytes))
            return false;

        // The edges after the start up to the end, then the first entry
        // past the end, which becomes the range length.
        EntryWalk w(s->chnData[c], subs);
        long long left = n + 1;
        while (left > 0) {
            int room = out.room() / kEntryBytes;
            if (room == 0) {
                if (!flushChunk())
                    return false;
                room = out.room() / kEntryBytes;
            }
            const int k = int(std::min<long long>({left, (long long)room, (long long)(w.blk->posNum - w.i)}));
            unsigned char* __restrict p = out.tail();
            const uint32_t* __restrict low = w.blk->posLow + w.i;
            const uint8_t* __restrict high = w.blk->posHigh + w.i;
            const unsigned long long origin = (unsigned long long)rangeStart;
            for (int j = 0; j < k; ++j)
                put5(p + j * kEntryBytes, (((unsigned long long)high[j] << 32) | low[j]) - origin);
            if (k == left)
                put5(p + (k - 1) * kEntryBytes, (unsigned long long)len);   // the closing entry
            out.advance(k * kEntryBytes);
            written += k;
            left -= k;
            w.i += k - 1;
            if (left > 0 && !w.next())
                return false;   // a table shorter than its own count: never in a complete store
        }
    }
    return flushChunk() && out.finish();
}

namespace {

// Where a channel's entries lie in a capture file.
struct Piece {
    int chn;
    int level;
    long long n;
    qint64 offset;
};

} // namespace

bool DataFile::readFile_bzdat()
{
    SmpData* s = smpData;
    if (!s)
        return false;
    const bool ok = readTables();
    if (!ok)
        s->clearData();
    else
        s->updateFilter();   // on the job's thread, not the GUI's
    return ok;
}

bool DataFile::readTables()
{
    SmpData* s = smpData;
    QFile f(filePath);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = f.size();
    if (fileOffset < 0 || fileOffset > size || !f.seek(fileOffset))
        return false;

    unsigned char head[kHeadBytes];
    if (f.read(reinterpret_cast<char*>(head), kHeadBytes) != kHeadBytes || std::memcmp(head, "cvdat", 6) != 0
        || head[32] != s->chnNum || int(scratch.size()) < s->chnNum)
        return false;
    const long long count = byte5toInt64(head + 8);
    const long long rate = byte5toInt64(head + 16);
    // A trigger past the count is kept: a saved sub-range may end before it.
    const long long trigger = byte5toInt64(head + 24);
    if (count < 1 || rate < 1 || rate > kMaxRate)
        return false;
    // Like a conversion: no tables and no start levels yet.
    if (!s->dataConvertStart(0, rate, QVector<bool>()))
        return false;
    s->smpDepth = count;
    s->trgPosition = trigger;

    // The channel heads first, from one to the next.
    QVector<Piece> pieces;
    QVector<bool> seen(s->chnNum, false);
    for (qint64 pos = fileOffset + kHeadBytes; pos < size;) {
        unsigned char ch[kChnHeadBytes] = {};
        if (!f.seek(pos) || f.read(reinterpret_cast<char*>(ch), kChnHeadBytes) != kChnHeadBytes
            || std::memcmp(ch, "##D", 4) != 0)
            return false;
        const int chn = ch[4];
        pos += kChnHeadBytes;
        const long long n = byte5toInt64(ch + 8);
        // Every table holds at least its closing entry; entries past the
        // file's end mean a file cut short.
        if (chn >= s->chnNum || seen[chn] || n < 1 || n > (size - pos) / kEntryBytes)
            return false;
        seen[chn] = true;
        pieces.append({chn, ch[5] != 0, n, pos});
        pos += n * kEntryBytes;
    }

    // Then the tables, one channel per worker; this thread works too and
    // reports the progress.
    std::atomic<int> next{0};
    std::atomic<int> running{0};
    std::atomic<bool> failed{false};
    std::atomic<long long> bytesDone{0};
    const bool reporting = threaded;
    auto work = [&](bool reporter) {
        QFile in(filePath);
        std::vector<unsigned char> buf(kChunkBytes + 8);
        if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            failed = true;
        for (int i; !failed && (i = next++) < pieces.size();) {
            const Piece& p = pieces[i];
            SmpData& t = *scratch[size_t(p.chn)];
            bool ok = t.dataConvertStart(0, rate, QVector<bool>{true}) && in.seek(p.offset);
            t.setInitLevel(0, p.level);
            long long prev = 0;
            for (long long left = p.n; ok && left > 0;) {
                const int k = int(std::min<long long>(left, kChunkEntries));
                const qint64 bytes = qint64(k) * kEntryBytes;
                ok = in.read(reinterpret_cast<char*>(buf.data()), bytes) == bytes
                     && appendEntries(t.chnData[0], buf.data(), k, &prev) && !failed && !canceled();
                left -= k;
                bytesDone += bytes;
                if (reporter && reporting)
                    reportProgress(bytesDone / 5000000, size / 5000000);
            }
            // Closed by the range length; completed and checked like any
            // capture, then handed to the store.
            t.smpDepth = count;
            ok = ok && prev == count && t.dataConvertComplete(count) && t.checkData();
            if (!ok) {
                failed = true;
                break;
            }
            s->chnData[p.chn] = t.chnData[0];
            t.chnData[0] = nullptr;
            s->rebuildIndex(p.chn);
        }
        --running;
    };
    const int workers = std::max(1, std::min({QThread::idealThreadCount(), kMaxLoadThreads, pieces.size()}));
    running = workers;
    std::vector<std::thread> helpers;
    for (int i = 1; i < workers; ++i)
        helpers.emplace_back(work, false);
    work(true);
    while (reporting && running > 0) {
        QThread::msleep(20);
        reportProgress(bytesDone / 5000000, size / 5000000);
    }
    for (std::thread& t : helpers)
        t.join();
    if (failed)
        return false;
    for (const Piece& p : pieces)
        s->setInitLevel(p.chn, p.level);
    return true;
}

// ---------------------------------------------------------------------------
// Export

namespace {

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

template <typename Produce>
bool DataFile::writeSegments(const QByteArray& header, long long segLen, Produce produce)
{
    QFile f(filePath);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)
        || f.write(header) != header.size())
        return false;

    // Workers take the segments in turn, each fills its own buffer and, once
    // the segment before it has been filled (so its length is known), writes
    // it at its place. This thread follows the progress and the cancel.
    const long long nSegs = (rangeEnd - rangeStart) / segLen + 1;
    const int workers = int(std::min<long long>(nSegs, std::max(1, std::min(kMaxExportThreads,
                                                                             QThread::idealThreadCount() - 1))));
    const int fd = f.handle();
    std::atomic<long long> next{0};
    std::atomic<long long> samplesDone{0};
    std::atomic<int> running{workers};
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
    auto work = [&] {
        Segment sg;
        for (long long i; (i = next++) < nSegs;) {
            const long long a = rangeStart + i * segLen, b = std::min(rangeEnd, a + segLen - 1);
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
        }
        --running;
    };
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w)
        threads.emplace_back(work);
    const long long total = rangeEnd - rangeStart + 1;
    while (threaded && running > 0) {
        QThread::msleep(20);
        reportProgress(samplesDone / 2000000, total / 2000000);
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
    // selected channel changes. The lanes mark their changes in one word per
    // sample (as narrow as the channel count allows), which are then tested
    // 16 bytes at a time.
    auto lines = [&](auto zero, long long a, long long b, Segment& out) {
        using W = decltype(zero);
        constexpr int kSpan = 16384;
        constexpr int kPad = 16 / int(sizeof(W));   // one vector past the end, kept zero
        std::vector<W> tog(kSpan + kPad);
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
        if (a == rangeStart)
            putLine(a, 0);
        for (long long c0 = a; c0 <= b; c0 += kSpan) {
            const int n = int(std::min<long long>(kSpan, b + 1 - c0));
            std::memset(tog.data(), 0, (size_t(n) + kPad) * sizeof(W));
            for (Lane& l : lanes)
                l.scatter(c0, c0 + n, tog.data(), W(W(1) << l.chn));
            for (int i = 0; i < n; i += kPad) {
                const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tog.data() + i));
                unsigned marks = ~unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(x, _mm_setzero_si128()))) & 0xFFFFu;
                while (marks) {
                    const int k = i + __builtin_ctz(marks) / int(sizeof(W));
                    marks &= ~((1u << ((k - i + 1) * int(sizeof(W)))) - 1);
                    putLine(c0 + k, tog[size_t(k)]);
                }
            }
        }
        return true;
    };
    const int width = s->chnNum <= 8 ? 1 : s->chnNum <= 16 ? 2 : s->chnNum <= 32 ? 4 : 8;
    return writeSegments(header, 1 << 16, [&](long long a, long long b, Segment& out) {
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
    return writeSegments(QByteArray(), 1 << 16, [&](long long a, long long b, Segment& out) {
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
