#ifndef DATAFILE_H
#define DATAFILE_H
// The data part of capture files (*.cvdat) and the export of a logic capture
// as CSV text or packed binary samples. Large jobs run in this thread while
// the caller waits behind a progress view; small ones run in the caller's
// thread. Where the system refuses new threads, a large job fails at once
// (it would hold the caller without its view), and the helpers of any job
// leave their work to fewer threads or the job's own.
// Data part layout (little-endian, 5-byte numbers unsigned 40-bit):
//   head, 40 bytes: "cvdat\0", 0 (2), sample count (5) @8, rate in Hz (5)
//     @16, trigger relative to the range start (5) @24, channel count (1) @32
//   per channel with data, ascending: "##D\0", channel (1) @4, level at the
//     range start (1) @5, entry count n (5) @8; then n entries of 5 bytes:
//     the edges after the range start, relative to it, closed by one entry
//     equal to the range length.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class SmpData;
class SmpDataOsc;

class DataFile : public QThread
{
    Q_OBJECT
public:
    enum OperateType : int { OpRead = 0, OpSave = 1, OpExportBin = 2, OpExportCsv = 3 };

    // Jobs of this size or more run in the thread unless the caller asks
    // for direct work.
    static constexpr long long ThreadSaveRecords = 10000000;
    static constexpr long long ThreadLoadBytes = 50000000;
    static constexpr long long ThreadCsvRecords = 200000;
    static constexpr long long ThreadBinSamples = 20000000;

    explicit DataFile(SmpData* store = nullptr);
    ~DataFile() override;

    // The store to save or export from, or to load into.
    SmpData* smpData;
    // In the oscilloscope work mode, the analog store instead: its part of
    // the file is written whole and read whole, always directly (it holds
    // at most a few hundred kilobytes).
    SmpDataOsc* smpDataOsc = nullptr;

    // Appends the data part for the selected channels (one flag per
    // channel) and the sample range [start, end] to path, which already
    // holds the settings header. False when the file cannot be opened, the
    // range is empty, the data part does not fit on the disk, a write fails,
    // the user cancels or the system refuses the job its thread.
    bool saveData(const QString& path, const QVector<bool>& selected, long long start, long long end, bool direct);
    // Reads the data part that starts at offset into smpData, completes the
    // store and accepts it only when it is well formed; on failure the store
    // is left empty.
    bool loadData(const QString& path, qint64 offset, bool direct = false);
    // CSV (also the text export): "Time[s]" and the names of the selected
    // channels (names: one per channel, read by the caller on the GUI
    // thread), then one line per change. Written beside path and renamed;
    // refused, writing nothing, when it may not fit on the disk.
    bool exportCSV(const QString& path, const QVector<bool>& selected, const QStringList& names, long long start,
                   long long end, bool direct);
    // Packed levels: ceil(channels / 8) bytes per sample, bit c % 8 of byte
    // c / 8 for channel c when selected. Written beside path and renamed;
    // refused, writing nothing, when it does not fit on the disk.
    bool exportBin(const QString& path, const QVector<bool>& selected, long long start, long long end, bool direct);

    // Orders the two points and limits them to the store's samples.
    void setExportInterval(long long a, long long b);
    // Entries the data part holds for the range: per selected channel with
    // data, its edges in the range plus the closing entry.
    long long getTotalRecordNum() const;
    // Bytes a job for the range and selection set would write: the data part
    // (logic or analog) and the binary export exactly, the CSV at most
    // (from totalRecords, which the caller has just counted).
    qint64 dataPartBytes() const;
    qint64 binBytes() const;
    qint64 csvBytesBound() const;

    OperateType jobType() const { return type; }
    bool isThreaded() const { return threaded; }
    // True once the job's work has ended (set by the worker before sigJobDone).
    bool isJobDone() const { return done; }
    // Asks the running job to stop; it then fails. Any thread.
    void cancel() { cancelReq = true; }
    // The program is ending: every job, threaded or direct, running or still
    // to come, fails at its next check and leaves no part file. Safe in a
    // signal handler; false again only for tests.
    static void interruptAll(bool on = true) { interrupted.store(on, std::memory_order_relaxed); }

    // The threaded job in progress, if any (GUI thread).
    static bool jobRunning() { return active != nullptr; }
    // Cancels the threaded job in progress and waits for its thread; the job
    // then fails and touches its store no more. Called before anything
    // frees, clears or swaps a store (GUI thread).
    static void abortRunning();
    // Shows a threaded job's progress and lets the user cancel: called on
    // the GUI thread once the thread runs, it returns when the job is done
    // (isJobDone, sigJobDone) or the user gave up. Unset: the caller just
    // waits for the thread.
    static std::function<void(DataFile* job)> progressView;
    // Called first on a threaded job's own thread; unset in the program. A
    // seam for tests that need the job still at work when its view opens.
    static std::function<void(DataFile* job)> jobThreadStart;
    // Free bytes for the user on the file system of a folder, negative when
    // it cannot be told. Unset, the file system is asked; a seam for tests.
    static std::function<qint64(const QString& folder)> freeSpace;
    // True unless bytes are known not to fit on the file system that holds
    // path (a file to be written). Writers refuse, writing nothing, when
    // their job does not fit.
    static bool roomFor(const QString& path, qint64 bytes);

    // 5-byte little-endian numbers of the file format (files are always
    // little-endian).
    static void int64ToByte5(long long v, unsigned char* out);
    static long long byte5toInt64(const unsigned char* in);

signals:
    // 0-99 while working, 100 when the job ends (successfully or not).
    void sigReportProgress(int percent);
    // The worker's last word.
    void sigJobDone();

protected:
    void run() override;

private:
    bool startThread(OperateType t, bool inThread);
    // An export of `bytes` into a part file that replaces path once complete.
    bool exportThroughPart(const QString& path, qint64 bytes, OperateType t, bool inThread);
    bool doJob();
    bool readFile_bzdat();
    bool readTables();
    bool saveFile_bzdat();
    bool saveFile_csv();
    bool saveFile_bin();
    // Writes an export file: the header, then the range in nSegs segments,
    // segment i from sample segStart(i) on (segStart(0) is the range start);
    // produce(a, b, segment) makes the bytes of samples a..b on worker
    // threads, which write them in order. Progress counts segments, so they
    // should take about equal work. False when a write fails or the job is
    // cancelled.
    template <typename Starts, typename Produce>
    bool writeSegments(const QByteArray& header, long long nSegs, Starts segStart, Produce produce);
    void reportProgress(long long doneUnits, long long totalUnits);
    bool canceled() const { return (threaded && cancelReq) || interrupted.load(std::memory_order_relaxed); }

    static DataFile* active;
    static std::atomic<bool> interrupted;
    static_assert(std::atomic<bool>::is_always_lock_free, "interruptAll runs in a signal handler");
    // Channels decoded at once when loading; segments made at once when
    // exporting.
    static constexpr int kMaxLoadThreads = 4;
    static constexpr int kMaxExportThreads = 3;

    QString filePath;
    qint64 fileOffset = 0;
    QVector<bool> selected;
    QStringList names;
    long long rangeStart = 0;
    long long rangeEnd = 0;
    long long totalRecords = 0;
    long long totalSamples = 0;
    int lastPercent = -1;
    bool result = false;
    bool threaded = false;
    bool aborted = false;
    OperateType type = OpRead;
    std::atomic<bool> cancelReq{false};
    std::atomic<bool> done{false};
    // One single-channel store per channel, made on the caller's thread:
    // a load fills, completes and checks each table in one of them, on
    // several threads at once, and then hands it to smpData.
    std::vector<std::unique_ptr<SmpData>> scratch;
};

#endif
