// Analyzer library: results (range queries, packets, markers, readers while
// the decoder appends, storage reuse and its limits, a refused trimmer
// thread), texts and export hooks.

#include <QtTest>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <new>
#include <random>
#include <thread>
#include <vector>

#include "Analyzer.h"
#include "AnalyzerHelpers.h"
#include "AnalyzerResults.h"
#include "RefuseThreads.h"
#include "support/TestEnv.h"

namespace {

class TextResults : public AnalyzerResults {
public:
    void GenerateBubbleText(U64 frame_index, Channel&, DisplayBase) override
    {
        ClearResultStrings();
        Frame f = GetFrame(frame_index);
        std::string v = std::to_string(f.mData1);
        AddResultString("F");
        AddResultString("Frame: ", v.c_str());
    }
    void GenerateExportFile(const char* file, DisplayBase, U32) override
    {
        void* h = AnalyzerHelpers::StartFile(file);
        U64 n = GetNumFrames();
        for (U64 i = 0; i < n; ++i) {
            const char line[] = "row\n";
            AnalyzerHelpers::AppendToFile(reinterpret_cast<const U8*>(line), 4, h);
            if (UpdateExportProgressAndCheckForCancel(i + 1, n))
                break;
        }
        if (!AnalyzerHelpers::EndFile(h))
            ReportExportFailure();
    }
    void GenerateFrameTabularText(U64 frame_index, DisplayBase) override
    {
        ClearTabularText();
        std::string v = std::to_string(GetFrame(frame_index).mData1);
        AddTabularText("Frame: ", v.c_str());
    }
    void GeneratePacketTabularText(U64, DisplayBase) override
    {
        ClearResultStrings();
        AddResultString("not supported");
    }
    void GenerateTransactionTabularText(U64, DisplayBase) override
    {
        ClearResultStrings();
        AddResultString("not supported");
    }
};

Frame frame(S64 start, S64 end, U64 data = 0)
{
    Frame f;
    f.mStartingSampleInclusive = start;
    f.mEndingSampleInclusive = end;
    f.mData1 = data;
    return f;
}

// A memory figure of this process (VmRSS, VmSize), MiB (-1 when unknown).
double statusMiB(const QByteArray& field)
{
    const QByteArray kib = TestEnv::processStatus("self", field); // "1234 kB"
    bool ok = false;
    const double v = kib.left(kib.indexOf(' ')).toDouble(&ok);
    return ok ? v / 1024.0 : -1;
}

double residentMiB()
{
    return statusMiB("VmRSS");
}

// Runs body in a forked child, which ends with body's value unless body
// ends the process itself. Returns the child's wait status, or -1 when it
// had not ended after boundMs (it is then killed).
int statusOfChild(const std::function<int()>& body, int boundMs)
{
    std::fflush(stdout); // else the child's exit prints the parent's buffered output again
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0)
        return -2;
    if (pid == 0)
        _exit(body());
    std::mutex mutex;
    std::condition_variable cond;
    bool reaped = false;
    int status = 0;
    std::thread reaper([&] {
        int st = 0;
        while (waitpid(pid, &st, 0) < 0 && errno == EINTR)
            ;
        std::lock_guard<std::mutex> lock(mutex);
        status = st;
        reaped = true;
        cond.notify_all();
    });
    bool ended;
    {
        std::unique_lock<std::mutex> lock(mutex);
        ended = cond.wait_for(lock, std::chrono::milliseconds(boundMs), [&] { return reaped; });
    }
    if (!ended)
        kill(pid, SIGKILL); // the reaper then collects it
    reaper.join();
    return ended ? status : -1;
}

QString describeStatus(int status)
{
    if (status == -1)
        return "did not end (killed)";
    if (status < 0)
        return "could not fork";
    if (WIFEXITED(status))
        return QString("exit code %1").arg(WEXITSTATUS(status));
    return QString("signal %1").arg(WTERMSIG(status));
}

// About `mib` MiB of committed frames: what a long decode leaves.
void fillFrames(AnalyzerResults& r, U64 mib)
{
    const U64 n = mib * 1024 * 1024 / sizeof(Frame);
    for (U64 i = 0; i < n; ++i)
        r.AddFrame(frame(S64(i * 4), S64(i * 4 + 3), i));
    r.CommitResults();
}

} // namespace

class TestSdkResults : public QObject {
    Q_OBJECT
private slots:
    void framesInRange_data();
    void framesInRange();
    void framesInRangeMatchAScan();
    void onlyCommittedFramesAreSeen();
    void packetsAreNeverEmpty();
    void markersInRange();
    void readersSeeCommittedWhileAppending();
    void largeStoresKeepEveryResult();
    void markersBeyondThirtyTwoChannelsAreDropped();
    void storageOfDeletedResultsIsReusedClean();
    void memoryGoesBackWithTheLastResults();
    void keptMemoryServesAReRunThenGoesBack();
    void keptMemoryYieldsToAnAddressSpaceLimit();
    void memoryGoesBackWhenNoTrimmerStarts();
    void textsArePerThread();
    void exportProgressCancelAndFailure();
};

void TestSdkResults::framesInRange_data()
{
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("end");
    QTest::addColumn<bool>("found");
    QTest::addColumn<quint64>("first");
    QTest::addColumn<quint64>("last");
    // Frames: [10,19] [20,29] [40,49] [60,100]
    QTest::newRow("before all") << qint64(0) << qint64(9) << false << quint64(0) << quint64(0);
    QTest::newRow("after all") << qint64(101) << qint64(500) << false << quint64(0) << quint64(0);
    QTest::newRow("in a gap") << qint64(30) << qint64(39) << false << quint64(0) << quint64(0);
    QTest::newRow("start after end") << qint64(45) << qint64(44) << false << quint64(0) << quint64(0);
    QTest::newRow("touches first start") << qint64(0) << qint64(10) << true << quint64(0) << quint64(0);
    QTest::newRow("touches an end") << qint64(29) << qint64(35) << true << quint64(1) << quint64(1);
    QTest::newRow("inside one frame") << qint64(70) << qint64(80) << true << quint64(3) << quint64(3);
    QTest::newRow("spans several") << qint64(15) << qint64(45) << true << quint64(0) << quint64(2);
    QTest::newRow("everything") << qint64(-5) << qint64(1000) << true << quint64(0) << quint64(3);
}

void TestSdkResults::framesInRange()
{
    QFETCH(qint64, start);
    QFETCH(qint64, end);
    QFETCH(bool, found);
    TextResults r;
    U64 first = 77, last = 77;
    QVERIFY(!r.GetFramesInRange(start, end, &first, &last)); // nothing yet
    r.AddFrame(frame(10, 19));
    r.AddFrame(frame(20, 29));
    r.AddFrame(frame(40, 49));
    r.AddFrame(frame(60, 100));
    r.CommitResults();
    QCOMPARE(r.GetFramesInRange(start, end, &first, &last), found);
    if (found) {
        QTEST(quint64(first), "first");
        QTEST(quint64(last), "last");
    }
}

void TestSdkResults::framesInRangeMatchAScan()
{
    // Random frames (some far longer than the rest, so that an early frame
    // overlaps late ranges), committed at random points; every query must
    // give what a scan of the committed frames gives: the first frame ending
    // at or after the start and the last starting at or before the end.
    std::mt19937 rng(11);
    TextResults r;
    std::vector<Frame> added;
    S64 pos = 0;
    int bad = 0;
    auto check = [&](S64 start, S64 end) {
        const U64 n = r.GetNumFrames();
        U64 first = n, last = n;
        for (U64 i = 0; i < n; ++i) {
            if (first == n && added[i].mEndingSampleInclusive >= start)
                first = i;
            if (added[i].mStartingSampleInclusive <= end)
                last = i;
        }
        const bool found = start <= end && first < n && last < n && first <= last;
        U64 f = 0, l = 0;
        const bool got = r.GetFramesInRange(start, end, &f, &l);
        if (got != found || (found && (f != first || l != last)))
            ++bad;
    };
    for (int round = 0; round < 40; ++round) {
        const int count = int(rng() % 150);
        for (int k = 0; k < count; ++k) {
            pos += S64(rng() % 20);
            const S64 length = rng() % 50 == 0 ? S64(rng() % 5000) : S64(rng() % 15);
            added.push_back(frame(pos, pos + length, added.size()));
            r.AddFrame(added.back());
        }
        if (rng() % 4 != 0)
            r.CommitResults();
        for (int q = 0; q < 60; ++q) {
            const S64 start = S64(rng() % U32(pos + 100)) - 50;
            check(start, start + S64(rng() % 200));
        }
    }
    r.CommitResults();
    QVERIFY(r.GetNumFrames() > 2000);
    // Ranges starting at each frame's end: the first frame may then be any
    // one of a group, its last one included.
    for (const Frame& f : added)
        check(f.mEndingSampleInclusive, f.mEndingSampleInclusive + 3);
    check(-10, -5);
    check(pos + 5000, pos + 6000);
    QCOMPARE(bad, 0);
}

void TestSdkResults::onlyCommittedFramesAreSeen()
{
    TextResults r;
    QCOMPARE(r.AddFrame(frame(1, 2, 5)), U64(0));
    QCOMPARE(r.GetNumFrames(), U64(0));
    QCOMPARE(r.GetFrame(0).mData1, U64(0)); // not committed: an all-zero frame
    r.CommitResults();
    QCOMPARE(r.GetNumFrames(), U64(1));
    QCOMPARE(r.GetFrame(0).mData1, U64(5));
    QCOMPARE(r.GetFrame(1).mStartingSampleInclusive, S64(0));
    U64 f = 0, l = 0;
    r.AddFrame(frame(3, 4));
    QVERIFY(!r.GetFramesInRange(3, 4, &f, &l));
}

void TestSdkResults::packetsAreNeverEmpty()
{
    TextResults r;
    QCOMPARE(r.CommitPacketAndStartNewPacket(), INVALID_RESULT_INDEX); // nothing in it
    r.AddFrame(frame(0, 1));
    r.AddFrame(frame(2, 3));
    QCOMPARE(r.CommitPacketAndStartNewPacket(), U64(0)); // also commits the frames
    QCOMPARE(r.GetNumFrames(), U64(2));
    QCOMPARE(r.CommitPacketAndStartNewPacket(), INVALID_RESULT_INDEX);
    QCOMPARE(r.CommitPacketAndStartNewPacket(), INVALID_RESULT_INDEX);
    r.AddFrame(frame(5, 6));
    QCOMPARE(r.CommitPacketAndStartNewPacket(), U64(1));
    QCOMPARE(r.GetNumPackets(), U64(2));
    U64 first = 0, last = 0;
    QVERIFY(r.GetFramesContainedInPacket(0, &first, &last));
    QCOMPARE(first, U64(0));
    QCOMPARE(last, U64(1));
    QVERIFY(r.GetFramesContainedInPacket(1, &first, &last));
    QCOMPARE(first, U64(2));
    QCOMPARE(last, U64(2));
    QVERIFY(!r.GetFramesContainedInPacket(2, &first, &last));
    QCOMPARE(first, INVALID_RESULT_INDEX);
}

void TestSdkResults::markersInRange()
{
    TextResults r;
    Channel ch3(0, 3), ch5(0, 5);
    QVERIFY(!r.DoMarkersAppearOnChannel(ch3));
    r.AddMarker(10, AnalyzerResults::Start, ch3);
    r.AddMarker(20, AnalyzerResults::One, ch3);
    r.AddMarker(30, AnalyzerResults::Zero, ch3);
    r.AddMarker(15, AnalyzerResults::Stop, ch5);
    QCOMPARE(r.GetNumMarkers(ch3), U64(0));
    r.CommitResults();
    QVERIFY(r.DoMarkersAppearOnChannel(Channel(~U64(0), 3))); // matched by index
    QCOMPARE(r.GetNumMarkers(ch3), U64(3));
    QCOMPARE(r.GetNumMarkers(ch5), U64(1));
    QCOMPARE(r.GetNumMarkers(Channel(0, 4)), U64(0));
    U64 first = 0, last = 0;
    QVERIFY(r.GetMarkersInRange(ch3, 11, 30, &first, &last));
    QCOMPARE(first, U64(1));
    QCOMPARE(last, U64(2));
    QVERIFY(!r.GetMarkersInRange(ch3, 21, 29, &first, &last)); // nothing in range
    QVERIFY(!r.GetMarkersInRange(ch3, 31, 99, &first, &last));
    QVERIFY(!r.GetMarkersInRange(ch3, 20, 10, &first, &last));
    QVERIFY(!r.GetMarkersInRange(Channel(0, 4), 0, 99, &first, &last));
    AnalyzerResults::MarkerType type = AnalyzerResults::Dot;
    U64 sample = 0;
    QVERIFY(r.GetMarker(ch3, 2, &type, &sample));
    QCOMPARE(int(type), int(AnalyzerResults::Zero));
    QCOMPARE(sample, U64(30));
    QVERIFY(!r.GetMarker(ch3, 3, &type, &sample));

    r.AddChannelBubblesWillAppearOn(ch3);
    QVERIFY(r.DoBubblesAppearOnChannel(ch3));
    QVERIFY(!r.DoBubblesAppearOnChannel(ch5));
}

void TestSdkResults::readersSeeCommittedWhileAppending()
{
    // The decoder appends and commits in batches while a reader thread
    // queries: every frame it can see is complete and ordered.
    TextResults r;
    const U64 total = 200000;
    Channel ch(0, 1);
    std::atomic<bool> done{false};
    std::atomic<int> bad{0};
    std::thread reader([&] {
        U64 seen = 0;
        while (!done.load() || seen < total) {
            U64 n = r.GetNumFrames();
            if (n < seen)
                ++bad;
            seen = n;
            if (n == 0)
                continue;
            U64 i = n - 1 - (n * 7919 % n);
            Frame f = r.GetFrame(i);
            if (f.mStartingSampleInclusive != S64(i * 10) || f.mData1 != i)
                ++bad;
            U64 first = 0, last = 0;
            S64 s = S64((n - 1) * 10);
            if (!r.GetFramesInRange(s, s + 5, &first, &last) || last < n - 1)
                ++bad;
            U64 m = r.GetNumMarkers(ch);
            U64 sample = 0;
            if (m && (!r.GetMarker(ch, m - 1, nullptr, &sample) || sample != (m - 1) * 10 + 3))
                ++bad;
        }
    });
    for (U64 i = 0; i < total; ++i) {
        r.AddFrame(frame(S64(i * 10), S64(i * 10 + 9), i));
        r.AddMarker(i * 10 + 3, AnalyzerResults::One, ch);
        if (i % 97 == 0)
            r.CommitResults();
    }
    r.CommitResults();
    done = true;
    reader.join();
    QCOMPARE(bad.load(), 0);
    QCOMPARE(r.GetNumFrames(), total);
}

void TestSdkResults::largeStoresKeepEveryResult()
{
    // Enough results to fill heap chunks and several large, window by
    // window prefaulted ones; markers alternate in runs between two
    // channels. Every result must read back as written.
    TextResults r;
    const U64 frames = 300000, markers = 1200000;
    Channel a(0, 2), b(0, 9);
    for (U64 i = 0; i < frames; ++i) {
        // Every 1000th frame is long, so the running greatest end matters.
        S64 end = i % 1000 == 0 ? S64(i * 10 + 25000) : S64(i * 10 + 9);
        QCOMPARE(r.AddFrame(frame(S64(i * 10), end, i)), i);
    }
    U64 na = 0, nb = 0;
    for (U64 i = 0; i < markers; ++i) {
        bool onA = (i / 7) % 3 != 2; // runs of 7 markers, two runs on a, one on b
        r.AddMarker(i * 4, onA ? AnalyzerResults::One : AnalyzerResults::Zero, onA ? a : b);
        ++(onA ? na : nb);
    }
    r.CommitResults();
    QCOMPARE(r.GetNumFrames(), frames);
    QCOMPARE(r.GetNumMarkers(a), na);
    QCOMPARE(r.GetNumMarkers(b), nb);
    bool ok = true;
    for (U64 i = 0; i < frames && ok; ++i) {
        Frame f = r.GetFrame(i);
        ok = f.mStartingSampleInclusive == S64(i * 10) && f.mData1 == i;
    }
    QVERIFY(ok);
    U64 ia = 0, ib = 0;
    for (U64 i = 0; i < markers && ok; ++i) {
        bool onA = (i / 7) % 3 != 2;
        AnalyzerResults::MarkerType type = AnalyzerResults::Dot;
        U64 sample = 0;
        ok = r.GetMarker(onA ? a : b, onA ? ia++ : ib++, &type, &sample) && sample == i * 4
             && type == (onA ? AnalyzerResults::One : AnalyzerResults::Zero);
    }
    QVERIFY(ok);
    // A long frame from far back (298000 ends at 3005000) overlaps a late range.
    U64 first = 0, last = 0;
    QVERIFY(r.GetFramesInRange(2999990, 2999995, &first, &last));
    QCOMPARE(first, U64(298000));
    QCOMPARE(last, U64(299999));
    QVERIFY(r.GetFramesInRange(2995010, 2995010, &first, &last));
    QCOMPARE(first, U64(298000));
    QCOMPARE(last, U64(299501));
    QVERIFY(r.GetMarkersInRange(b, 4 * 14, 4 * 20, &first, &last));
    QCOMPARE(first, U64(0));
    QCOMPARE(last, U64(6));
    QVERIFY(r.GetMarkersInRange(a, S64(markers * 4 - 4 * 21), S64(markers * 4), &first, &last));
    QCOMPARE(last, na - 1);
}

void TestSdkResults::markersBeyondThirtyTwoChannelsAreDropped()
{
    TextResults r;
    for (U32 c = 0; c < 40; ++c) {
        r.AddMarker(c, AnalyzerResults::Dot, Channel(0, c));
        r.AddMarker(c + 100, AnalyzerResults::X, Channel(0, c));
    }
    r.AddMarker(500, AnalyzerResults::Stop, Channel(0, 0)); // back to the first channel
    r.CommitResults();
    for (U32 c = 0; c < 40; ++c)
        QCOMPARE(r.GetNumMarkers(Channel(0, c)), U64(c == 0 ? 3 : c < 32 ? 2 : 0));
    U64 sample = 0;
    QVERIFY(r.GetMarker(Channel(0, 0), 2, nullptr, &sample));
    QCOMPARE(sample, U64(500));
    QVERIFY(!r.DoMarkersAppearOnChannel(Channel(0, 35)));
}

void TestSdkResults::storageOfDeletedResultsIsReusedClean()
{
    // Later results may get the storage of deleted ones back, as it was or
    // put together from pieces of other sizes: the new results hold only
    // what was added to them.
    struct Shape {
        U64 frames;
        U64 markers;
    };
    TextResults keeper; // the storage is kept only while some results live
    const Shape runs[] = {
        {400000, 400000}, {399000, 399000}, // a re-run: the same sizes
        {0, 3000000},                       // markers only, in larger chunks than before
        {1100000, 20000},                   // frames in larger chunks than before
        {100000, 900000},
    };
    Channel ch(0, 4);
    for (U64 run = 0; run < sizeof(runs) / sizeof(runs[0]); ++run) {
        const Shape n = runs[run];
        TextResults r;
        for (U64 i = 0; i < n.frames || i < n.markers; ++i) {
            if (i < n.frames)
                r.AddFrame(frame(S64(i * 3), S64(i * 3 + 1), i + run));
            if (i < n.markers)
                r.AddMarker(i * 3, AnalyzerResults::Dot, ch);
        }
        QCOMPARE(r.GetNumFrames(), U64(0));
        QCOMPARE(r.GetNumMarkers(ch), U64(0));
        r.CommitResults();
        QCOMPARE(r.GetNumFrames(), n.frames);
        QCOMPARE(r.GetNumMarkers(ch), n.markers);
        bool ok = true;
        for (U64 i = 0; i < n.frames && ok; ++i)
            ok = r.GetFrame(i).mData1 == i + run && r.GetFrame(i).mStartingSampleInclusive == S64(i * 3);
        for (U64 i = 0; i < n.markers && ok; ++i) {
            U64 sample = 0;
            ok = r.GetMarker(ch, i, nullptr, &sample) && sample == i * 3;
        }
        QVERIFY2(ok, qPrintable(QString("run %1").arg(run)));
        QCOMPARE(r.GetFrame(n.frames).mData1, U64(0)); // past the end: an all-zero frame
        U64 sample = 0;
        QVERIFY(!r.GetMarker(ch, n.markers, nullptr, &sample));
    }
}

// Sizes within what is kept even on a machine of 3 GiB (1/16 of it).
const U64 kBigMiB = 160;
const double kNearMiB = 40; // "back where it was": other heap use stays

void TestSdkResults::memoryGoesBackWithTheLastResults()
{
    const double before = residentMiB();
    QVERIFY(before > 0);
    auto* r = new TextResults;
    fillFrames(*r, kBigMiB);
    QVERIFY(residentMiB() > before + double(kBigMiB) * 0.8);
    delete r; // no results left to reuse the memory: it goes back at once
    const double after = residentMiB();
    QVERIFY2(after < before + kNearMiB, qPrintable(QString("%1 MiB before, %2 after").arg(before).arg(after)));
}

void TestSdkResults::keptMemoryServesAReRunThenGoesBack()
{
    TextResults other; // another analyzer's results, alive throughout
    const double before = residentMiB();
    {
        TextResults first;
        fillFrames(first, kBigMiB);
    }
    const double kept = residentMiB();
    QVERIFY2(kept > before + double(kBigMiB) * 0.8, "kept for a re-run");
    {
        // A re-run of the same size writes into the kept pages.
        TextResults rerun;
        fillFrames(rerun, kBigMiB);
        QVERIFY2(residentMiB() < kept + kNearMiB, qPrintable(QString("%1 MiB kept, %2 in the re-run")
                                                                 .arg(kept)
                                                                 .arg(residentMiB())));
        QCOMPARE(rerun.GetFrame(12345).mData1, U64(12345));
    }
    // Unused for a while (10 s), the pages go back to the system.
    QTRY_VERIFY_WITH_TIMEOUT(residentMiB() < before + kNearMiB, 20000);
}

void TestSdkResults::keptMemoryYieldsToAnAddressSpaceLimit()
{
    // Under an address-space limit, memory kept from deleted results must
    // not make a later decode fail that fits without it. In a child, whose
    // limit cannot harm the rest of the tests. The limit is 28 MiB above
    // what the child holds with the 64 MiB kept: room for every chunk of
    // the decode below but its last (32 MiB), which fits once the kept
    // memory goes.
    enum { kDecoded = 0, kOutOfMemory = 1, kNotKept = 2, kNoLimit = 3, kWrongCount = 4 };
    const int status = statusOfChild(
        [] {
            TextResults other; // another analyzer's results, alive throughout
            const double before = statusMiB("VmSize");
            {
                TextResults first;
                fillFrames(first, 64);
            }
            const double vm = statusMiB("VmSize"); // with what is kept of `first`
            if (before < 0 || vm < before + 56)
                return int(kNotKept);
            rlimit limit;
            limit.rlim_cur = limit.rlim_max = rlim_t((vm + 28) * 1024 * 1024);
            if (setrlimit(RLIMIT_AS, &limit) != 0)
                return int(kNoLimit);
            try {
                // 40 MiB of markers: chunks of sizes the frames' were not,
                // the last of 32 MiB.
                TextResults second;
                const Channel ch(0, 1);
                const U64 n = 5000000;
                for (U64 i = 0; i < n; ++i)
                    second.AddMarker(i, AnalyzerResults::Dot, ch);
                second.CommitResults();
                return int(second.GetNumMarkers(ch) == n ? kDecoded : kWrongCount);
            } catch (const std::bad_alloc&) {
                return int(kOutOfMemory);
            }
        },
        120000);
    if (WIFEXITED(status) && WEXITSTATUS(status) == kNotKept)
        QSKIP("this machine keeps less than 64 MiB of deleted results");
    QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == kDecoded, qPrintable(describeStatus(status)));
}

void TestSdkResults::memoryGoesBackWhenNoTrimmerStarts()
{
    // Kept memory needs the thread that gives it back later. Where the
    // system refuses that thread, deleted results give their memory back
    // at once, the process goes on, and a later deletion tries the thread
    // again. In a child: a forked child has no such thread yet.
    if (double(sysconf(_SC_PHYS_PAGES)) * double(sysconf(_SC_PAGESIZE)) / 16 < 64.0 * 1024 * 1024)
        QSKIP("this machine keeps less than 64 MiB of deleted results");
    enum { kFine = 0, kKeptWithoutThread = 1, kNotAsked = 2, kNotKeptLater = 3, kWrongFrame = 4 };
    const int status = statusOfChild(
        [] {
            TextResults other; // another analyzer's results, alive throughout
            const double before = residentMiB();
            refuseThreads(1);
            const long refusedBefore = refusedThreads();
            {
                TextResults first;
                fillFrames(first, 64);
            }
            const bool asked = refusedThreads() > refusedBefore;
            refuseThreads(0);
            if (residentMiB() > before + kNearMiB)
                return int(kKeptWithoutThread);
            if (!asked)
                return int(kNotAsked);
            {
                TextResults second;
                fillFrames(second, 64);
                if (second.GetFrame(54321).mData1 != 54321)
                    return int(kWrongFrame);
            }
            return int(residentMiB() > before + 56 ? kFine : kNotKeptLater);
        },
        120000);
    QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == kFine, qPrintable(describeStatus(status)));
}

void TestSdkResults::textsArePerThread()
{
    TextResults a, b;
    a.AddFrame(frame(0, 1, 11));
    a.CommitResults();
    Channel ch(0, 0);
    a.GenerateBubbleText(0, ch, Decimal);
    // Another thread makes rows of the same object meanwhile.
    std::string rowText;
    std::thread other([&] {
        a.GenerateFrameTabularText(0, Decimal);
        a.GeneratePacketTabularText(0, Decimal);
        rowText = a.GetTabularTextString();
    });
    other.join();
    QCOMPARE(rowText, std::string("Frame: 11"));
    const char* const* strings = nullptr;
    U32 count = 0;
    a.GetResultStrings(&strings, &count);
    QCOMPARE(count, U32(2));
    QCOMPARE(QString(strings[0]), QString("F"));
    QCOMPARE(QString(strings[1]), QString("Frame: 11"));
    b.GetResultStrings(&strings, &count); // b made none
    QCOMPARE(count, U32(0));
    QCOMPARE(QString(b.GetTabularTextString()), QString());
}

void TestSdkResults::exportProgressCancelAndFailure()
{
    QTemporaryDir dir;
    TextResults r;
    for (int i = 0; i < 10; ++i)
        r.AddFrame(frame(i, i));
    r.CommitResults();

    QString path = dir.filePath("out.txt");
    r.StartExportThread(nullptr, Decimal, 0);
    QCOMPARE(r.GetProgress(), 0.0);
    r.GenerateExportFile(path.toLocal8Bit().constData(), Decimal, 0);
    QCOMPARE(r.GetProgress(), 1.0);
    QVERIFY(!r.ExportFailed());
    QCOMPARE(QFileInfo(path).size(), qint64(40));

    // A cancelled export stops early and keeps what it wrote.
    r.StartExportThread(nullptr, Decimal, 0);
    r.CancelExport();
    r.GenerateExportFile(path.toLocal8Bit().constData(), Decimal, 0);
    QCOMPARE(QFileInfo(path).size(), qint64(4));
    QCOMPARE(r.GetProgress(), 0.1);

    // A file that cannot be written is reported, not taken for success.
    r.StartExportThread(nullptr, Decimal, 0);
    r.GenerateExportFile(dir.filePath("missing/out.txt").toLocal8Bit().constData(), Decimal, 0);
    QVERIFY(r.ExportFailed());
    QVERIFY(!AnalyzerHelpers::AppendToFile(reinterpret_cast<const U8*>("x"), 1, nullptr));
    QVERIFY(!AnalyzerHelpers::EndFile(nullptr));
    r.StartExportThread(nullptr, Decimal, 0);
    QVERIFY(!r.ExportFailed());
    QCOMPARE(r.UpdateExportProgressAndCheckForCancel(0, 0), false);
    QCOMPARE(r.GetProgress(), 1.0);
}

QTEST_GUILESS_MAIN(TestSdkResults)
#include "test_sdk_results.moc"
