#include "data/DataFile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "data/SmpData.h"
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

// A 204,800-byte output buffer over an unbuffered file, so that every
// short write is seen where it happens.
class ChunkWriter
{
public:
    explicit ChunkWriter(QFile& f) : file(f), buf(kChunkBytes + 64) {}
    unsigned char* tail() { return buf.data() + fill; }
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
    bool flush()
    {
        const int n = fill;
        fill = 0;
        return n == 0 || file.write(reinterpret_cast<const char*>(buf.data()), n) == n;
    }

private:
    QFile& file;
    std::vector<unsigned char> buf;
    int fill = 0;
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

void DataFile::int32ToByte4(int v, unsigned char* out)
{
    for (int i = 0; i < 4; ++i)
        out[i] = (unsigned char)((unsigned)v >> (8 * i));
}

int DataFile::byte4toInt32(const unsigned char* in)
{
    unsigned v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | in[i];
    return int(v);
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
    filePath = path;
    selected = sel;
    setExportInterval(start, end);
    totalRecords = getTotalRecordNum();
    return startThread(OpSave, !direct && totalRecords >= ThreadSaveRecords);
}

bool DataFile::loadData(const QString& path, qint64 offset, bool direct)
{
    filePath = path;
    fileOffset = offset;
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
        if (out.room() < kChnHeadBytes && !flushChunk())
            return false;
        out.put(reinterpret_cast<const char*>(ch), kChnHeadBytes);

        // The edges after the start up to the end, then the first entry
        // past the end, which the limit turns into the range length.
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
            unsigned char* p = out.tail();
            const uint32_t* low = w.blk->posLow + w.i;
            const uint8_t* high = w.blk->posHigh + w.i;
            for (int j = 0; j < k; ++j) {
                const long long rel = ((long long)low[j] | ((long long)high[j] << 32)) - rangeStart;
                put5(p, (unsigned long long)std::min(rel, len));
                p += kEntryBytes;
            }
            out.advance(k * kEntryBytes);
            written += k;
            left -= k;
            w.i += k - 1;
            if (left > 0 && !w.next())
                return false;   // a table shorter than its own count: never in a complete store
        }
    }
    return flushChunk();
}

bool DataFile::readFile_bzdat()
{
    SmpData* s = smpData;
    if (!s)
        return false;
    QFile f(filePath);
    bool ok = f.open(QIODevice::ReadOnly);
    const qint64 size = ok ? f.size() : 0;
    ok = ok && fileOffset >= 0 && fileOffset <= size && f.seek(fileOffset);

    unsigned char head[kHeadBytes];
    ok = ok && f.read(reinterpret_cast<char*>(head), kHeadBytes) == kHeadBytes;
    ok = ok && std::memcmp(head, "cvdat", 6) == 0 && head[32] == s->chnNum;
    const long long count = ok ? byte5toInt64(head + 8) : 0;
    const long long rate = ok ? byte5toInt64(head + 16) : 0;
    // A trigger past the count is kept: a saved sub-range may end before it.
    const long long trigger = ok ? byte5toInt64(head + 24) : 0;
    ok = ok && count >= 1 && rate >= 1 && rate <= kMaxRate;

    // Like a conversion: no tables, no start levels, then one table per
    // channel head.
    ok = ok && s->dataConvertStart(0, rate, QVector<bool>()) != 0;
    if (ok) {
        s->smpDepth = count;
        s->trgPosition = trigger;
    }

    std::vector<unsigned char> buf(kChunkBytes + 8);
    QVector<bool> seen(s->chnNum, false);
    qint64 pos = fileOffset + kHeadBytes;
    while (ok && pos < size) {
        unsigned char ch[kChnHeadBytes] = {};
        ok = f.read(reinterpret_cast<char*>(ch), kChnHeadBytes) == kChnHeadBytes && std::memcmp(ch, "##D", 4) == 0;
        const int chn = ch[4];
        ok = ok && chn < s->chnNum && !seen[chn];
        pos += kChnHeadBytes;
        const long long n = ok ? byte5toInt64(ch + 8) : 0;
        // Every table holds at least its closing entry; entries past the
        // file's end mean a file cut short.
        ok = ok && n >= 1 && n <= (size - pos) / kEntryBytes;
        if (!ok)
            break;
        seen[chn] = true;
        DigitalChnData* d = SmpData::newChnData();
        if (!d) {
            ok = false;
            break;
        }
        s->chnData[chn] = d;
        s->setInitLevel(chn, ch[5]);

        long long prev = 0;
        for (long long left = n; ok && left > 0;) {
            const int k = int(std::min<long long>(left, kChunkEntries));
            ok = f.read(reinterpret_cast<char*>(buf.data()), qint64(k) * kEntryBytes) == qint64(k) * kEntryBytes
                 && appendEntries(d, buf.data(), k, &prev);
            left -= k;
            pos += qint64(k) * kEntryBytes;
            if (threaded) {
                reportProgress(pos / 5000000, size / 5000000);
                ok = ok && !canceled();
            }
        }
        // The table closes with the range length and never passes it.
        ok = ok && prev == count;
    }

    ok = ok && s->dataConvertComplete(count) && s->checkData();
    if (!ok)
        s->clearData();
    return ok;
}

// ---------------------------------------------------------------------------
// Export

namespace {

// One exported channel: its level and where it next changes.
struct Lane {
    int chn = 0;
    int level = 0;
    long long next = 0;
    bool hasData = false;
    EntryWalk walk;

    // Inverts the level for every entry up to t and moves to the first
    // entry after it (equal positions are passed together).
    void passTo(long long t, long long count)
    {
        do {
            level ^= 1;
            if (!walk.next()) {
                next = count;
                return;
            }
            next = walk.pos();
        } while (next <= t);
    }
};

QVector<Lane> makeLanes(const SmpData* s, const QVector<bool>& selected, long long start, bool withoutData)
{
    QVector<Lane> lanes;
    for (int c = 0; c < s->chnNum && c < selected.size(); ++c) {
        if (!selected[c])
            continue;
        Lane l;
        l.chn = c;
        l.next = s->smpDepth;   // no data: level 0, no change within the capture
        DigitalDataSubs subs;
        if (s->hasValidData(c)) {
            const int level = s->getPointLevel(c, start, &subs);
            if (level >= 0) {
                l.hasData = true;
                l.level = level;
                l.walk = EntryWalk(s->chnData[c], subs);
                l.next = l.walk.pos();
            }
        }
        if (l.hasData || withoutData)
            lanes.append(l);
    }
    return lanes;
}

} // namespace

bool DataFile::saveFile_csv()
{
    const SmpData* s = smpData;
    if (!s || rangeEnd < rangeStart)
        return false;
    QFile f(filePath);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return false;
    ChunkWriter out(f);

    QVector<Lane> lanes = makeLanes(s, selected, rangeStart, true);
    QByteArray header = "Time[s]";
    for (const Lane& l : lanes)
        header += ", " + csvField(names.value(l.chn));
    header += '\n';
    if (!out.put(header.constData(), header.size()))
        return false;

    const long long count = s->smpDepth;
    const SmpTimeExport timeText(s->smpFrequ, s->trgPosition);
    const int lineMax = SmpTimeExport::MaxChars + 3 * lanes.size() + 1;
    Lane* const lane = lanes.data();
    const int nLanes = lanes.size();
    long long lines = 0;
    for (long long t = rangeStart; t <= rangeEnd;) {
        if (out.room() < lineMax) {
            if (!out.flush())
                return false;
            if (threaded)
                reportProgress(lines / 20000, totalRecords / 20000);
            if (canceled())
                return false;
        }
        unsigned char* p = out.tail();
        p += timeText.toString(t, reinterpret_cast<char*>(p));
        long long step = count;
        for (int i = 0; i < nLanes; ++i)
            step = std::min(step, lane[i].next - t);
        const long long t2 = t + step;
        for (int i = 0; i < nLanes; ++i) {
            Lane& l = lane[i];
            p[0] = ',';
            p[1] = ' ';
            p[2] = (unsigned char)('0' + l.level);
            p += 3;
            if (t2 >= l.next && t2 < count)
                l.passTo(t2, count);
        }
        *p++ = '\n';
        out.advance(int(p - out.tail()));
        ++lines;
        t = t2;
    }
    return out.flush();
}

bool DataFile::saveFile_bin()
{
    const SmpData* s = smpData;
    if (!s || rangeEnd < rangeStart || s->chnNum > 64)
        return false;
    QFile f(filePath);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return false;
    ChunkWriter out(f);

    const int bytes = (s->chnNum + 7) / 8;
    const bool wordFill = 8 % bytes == 0;
    QVector<Lane> lanes = makeLanes(s, selected, rangeStart, false);
    Lane* const lane = lanes.data();
    const int nLanes = lanes.size();
    unsigned long long bits = 0;
    for (int i = 0; i < nLanes; ++i)
        bits |= (unsigned long long)lane[i].level << lane[i].chn;

    const long long count = s->smpDepth;
    long long samples = 0;
    // Whole runs of equal samples at a time: a run ends where any exported
    // channel changes.
    for (long long t = rangeStart; t <= rangeEnd;) {
        long long runEnd = count;
        for (int i = 0; i < nLanes; ++i)
            runEnd = std::min(runEnd, lane[i].next);
        runEnd = std::min(runEnd, rangeEnd + 1);

        unsigned long long word = 0;   // the sample repeated over 8 bytes
        if (wordFill)
            for (int k = 0; k < 8; k += bytes)
                word |= bits << (8 * k);
        for (long long left = runEnd - t; left > 0;) {
            int room = out.room() / bytes;
            if (room == 0) {
                if (!out.flush())
                    return false;
                if (threaded)
                    reportProgress(samples / 2000000, totalSamples / 2000000);
                if (canceled())
                    return false;
                room = out.room() / bytes;
            }
            const int k = int(std::min<long long>(left, room));
            unsigned char* p = out.tail();
            const int n = k * bytes;
            if (wordFill) {
                for (int i = 0; i < n; i += 8)
                    std::memcpy(p + i, &word, 8);   // the slack takes the overhang
            } else {
                for (int i = 0; i < k; ++i)
                    for (int j = 0; j < bytes; ++j)
                        p[i * bytes + j] = (unsigned char)(bits >> (8 * j));
            }
            out.advance(n);
            left -= k;
            samples += k;
        }
        t = runEnd;
        if (t < count && t <= rangeEnd) {
            for (int i = 0; i < nLanes; ++i) {
                Lane& l = lane[i];
                if (l.next <= t) {
                    l.passTo(t, count);
                    bits = (bits & ~(1ULL << l.chn)) | ((unsigned long long)l.level << l.chn);
                }
            }
        }
    }
    return out.flush();
}
