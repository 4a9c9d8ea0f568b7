#include "data/DataFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSemaphore>
#include <QStorageInfo>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "config/PartFile.h"
#include "data/DataFilePriv.h"
#include "data/SmpData.h"
#include "data/SmpDataOsc.h"
#include "data/Threads.h"

DataFile* DataFile::active = nullptr;
std::atomic<bool> DataFile::interrupted{false};
std::function<void(DataFile*)> DataFile::progressView;
std::function<void(DataFile*)> DataFile::jobThreadStart;
std::function<qint64(const QString&)> DataFile::freeSpace;

using namespace DataFilePriv;

namespace {

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

// Output in 204,800-byte chunks over an unbuffered file, so that every
// short write is seen. A second thread writes each full chunk while the next
// one fills: formatting and the kernel's copy overlap. Where the system
// refuses that thread, the filling thread writes each chunk itself: the
// same bytes, one after the other.
class ChunkWriter
{
public:
    explicit ChunkWriter(QFile& f) : file(f)
    {
        for (std::vector<unsigned char>& b : buf)
            b.resize(kChunkBytes + 64);   // slack for whole-word stores past the end
        Threads::start(writer, [this] { writeLoop(); });
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
    // Hands the filled chunk to the writer (writes it, without one); false
    // once a write has failed.
    bool flush()
    {
        if (fill > 0) {
            len[cur] = fill;
            if (writer.joinable()) {
                full.release();
                cur = (cur + 1) % kSlots;
                freeSlots.acquire();
            } else {
                writeChunk(cur);
            }
            fill = 0;
        }
        return !failed;
    }
    // Writes what is left and waits for the writer; true when every write
    // succeeded.
    bool finish()
    {
        flush();
        if (writer.joinable()) {
            len[cur] = -1;   // the end
            full.release();
            writer.join();
        }
        return !failed;
    }

private:
    void writeChunk(int i)
    {
        if (!failed && file.write(reinterpret_cast<const char*>(buf[i].data()), len[i]) != len[i])
            failed = true;
    }
    void writeLoop()
    {
        for (int i = 0;; i = (i + 1) % kSlots) {
            full.acquire();
            if (len[i] < 0)
                return;
            writeChunk(i);
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

} // namespace

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

qint64 DataFile::dataPartBytes() const
{
    qint64 bytes = kHeadBytes;
    if (smpDataOsc) {
        for (int c = 0; c < smpDataOsc->chnNum; ++c) {
            const AnalogChnData* d = smpDataOsc->record(c);
            if (d && d->count > 0)
                bytes += 32 + 2 * qint64(d->count);
        }
        return bytes;
    }
    if (!smpData || rangeEnd < rangeStart)
        return bytes;
    for (int c = 0; c < smpData->chnNum && c < selected.size(); ++c) {
        if (!selected[c] || !smpData->hasValidData(c))
            continue;
        const long long n = smpData->getTwoPointEdgeNum(c, rangeStart, rangeEnd);
        if (n >= 0)
            bytes += kChnHeadBytes + kEntryBytes * (n + 1);
    }
    return bytes;
}

bool DataFile::roomFor(const QString& path, qint64 bytes)
{
    const QString folder = QFileInfo(path).absolutePath();
    qint64 free = -1;
    if (freeSpace) {
        free = freeSpace(folder);
    } else {
        const QStorageInfo fs(folder);
        if (fs.isValid() && fs.isReady())
            free = fs.bytesAvailable();
    }
    return free < 0 || bytes <= free;
}

bool DataFile::saveData(const QString& path, const QVector<bool>& sel, long long start, long long end, bool direct)
{
    if (smpDataOsc) {
        QFile f(path);
        return roomFor(path, dataPartBytes()) && f.open(QIODevice::WriteOnly | QIODevice::Append)
               && smpDataOsc->writeFile(f) && f.flush();
    }
    filePath = path;
    selected = sel;
    setExportInterval(start, end);
    totalRecords = getTotalRecordNum();
    if (!roomFor(path, dataPartBytes()))
        return false;
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
    selected = sel;
    names = chnNames;
    setExportInterval(start, end);
    totalRecords = getTotalRecordNum();
    // The walk costs in proportion to the edges of the selected channels.
    return exportThroughPart(path, csvBytesBound(), OpExportCsv, !direct && totalRecords >= ThreadCsvRecords);
}

bool DataFile::exportBin(const QString& path, const QVector<bool>& sel, long long start, long long end, bool direct)
{
    selected = sel;
    setExportInterval(start, end);
    totalSamples = std::max(0LL, rangeEnd - rangeStart + 1);
    return exportThroughPart(path, binBytes(), OpExportBin, !direct && totalSamples >= ThreadBinSamples);
}

bool DataFile::exportThroughPart(const QString& path, qint64 bytes, OperateType t, bool inThread)
{
    if (!roomFor(path, bytes))
        return false;
    PartFile part(path);
    if (!part.isValid())
        return false;
    filePath = part.path();
    return startThread(t, inThread) && part.commit();
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
    // Large work on the caller's (the GUI's) thread would hold the window
    // without a progress view: a job whose thread the system refuses fails
    // at once and writes nothing.
    active = this;
    if (!Threads::start(this)) {
        active = nullptr;
        if (t == OpRead && smpData)
            smpData->clearData();   // a failed load leaves the store empty
        done = true;
        return false;
    }
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
    if (jobThreadStart)
        jobThreadStart(this);
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
    // reports the progress. Helpers the system refuses leave their channels
    // to the others.
    std::atomic<int> next{0};
    std::atomic<int> running{0};   // helpers that have started and not yet ended
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
    };
    const int workers = std::max(1, std::min({QThread::idealThreadCount(), kMaxLoadThreads, pieces.size()}));
    std::vector<std::thread> helpers;
    helpers.reserve(size_t(workers));
    Threads::startCounted(helpers, workers - 1, running, [&] { work(false); });
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
