// Analyzer library: the channel cursor over the sample store's edge tables
// and the cooperative end of decode runs.

#include <QtTest>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "Analyzer.h"
#include "AnalyzerResults.h"
#include "support/EmptyResults.h"

namespace {

// Builds an edge table as the sample store lays it out: the edges, then the
// closing entry at the end of the capture. perBlock/perGroup below the full
// sizes give many small blocks and groups, to cross their boundaries often.
DigitalChnData* makeTable(const std::vector<int64_t>& edges, int64_t end, int initLevel,
                          int perBlock = SMP_BLOCK_ENTRIES, int perGroup = SMP_GROUP_BLOCKS)
{
    auto* chn = static_cast<DigitalChnData*>(std::calloc(1, sizeof(DigitalChnData)));
    chn->initLevel = initLevel;
    std::vector<int64_t> all = edges;
    all.push_back(end);
    for (size_t k = 0; k < all.size(); ++k) {
        if (chn->groupNum == 0 || (chn->group[chn->groupNum - 1]->blockNum == perGroup
                                   && chn->group[chn->groupNum - 1]->block[perGroup - 1]->posNum == perBlock)) {
            chn->group[chn->groupNum++] = static_cast<DigitalDataGroup*>(std::calloc(1, sizeof(DigitalDataGroup)));
        }
        DigitalDataGroup* g = chn->group[chn->groupNum - 1];
        if (g->blockNum == 0 || g->block[g->blockNum - 1]->posNum == perBlock)
            g->block[g->blockNum++] = static_cast<DigitalDataBlock*>(std::calloc(1, sizeof(DigitalDataBlock)));
        DigitalDataBlock* b = g->block[g->blockNum - 1];
        b->posLow[b->posNum] = uint32_t(all[k]);
        b->posHigh[b->posNum] = uint8_t(all[k] >> 32);
        ++b->posNum;
        g->blockLastPos[g->blockNum - 1] = all[k];
        chn->groupLastPos[chn->groupNum - 1] = all[k];
    }
    return chn;
}

void freeTable(DigitalChnData* chn)
{
    if (!chn)
        return;
    for (int g = 0; g < chn->groupNum; ++g) {
        for (int b = 0; b < chn->group[g]->blockNum; ++b)
            std::free(chn->group[g]->block[b]);
        std::free(chn->group[g]);
    }
    std::free(chn);
}

// A capture of several channels that frees its tables.
struct Capture {
    std::vector<DigitalChnData*> tables;
    DataForAnly data{};
    explicit Capture(int channels) : tables(size_t(channels), nullptr)
    {
        data.chnData = tables.data();
        data.chnNum = channels;
        data.smpFrequ = 1000000;
    }
    ~Capture()
    {
        for (DigitalChnData* t : tables)
            freeTable(t);
    }
    void set(int chn, const std::vector<int64_t>& edges, int64_t end, int level, int perBlock = SMP_BLOCK_ENTRIES,
             int perGroup = SMP_GROUP_BLOCKS)
    {
        freeTable(tables[size_t(chn)]);
        tables[size_t(chn)] = makeTable(edges, end, level, perBlock, perGroup);
        data.smpDepth = end;
    }
};

// An analyzer whose decode loop is a test function.
class FnAnalyzer : public Analyzer {
public:
    FnAnalyzer() { SetAnalyzerResults(&results); }
    ~FnAnalyzer() override { KillThread(); }
    void WorkerThread() override
    {
        if (work)
            work(*this);
    }
    U32 GenerateSimulationData(U64, U32, SimulationChannelDescriptor**) override { return 0; }
    U32 GetMinimumSampleRateHz() override { return 1; }
    const char* GetAnalyzerName() const override { return "Test"; }

    std::function<void(FnAnalyzer&)> work;
    EmptyResults results;
};

// Host side of a run: a thread per run, and a record of every end report.
class TestProgress : public ProgressManager {
public:
    explicit TestProgress(Analyzer* a) : anly(a) {}
    ~TestProgress() override { join(); }
    void startWorkThread() override
    {
        join();
        // The worker notes its own id: `thread` is assigned only after the
        // worker has started, so the worker must not read it.
        thread = std::thread([this] {
            workerId = std::this_thread::get_id();
            anly->RunWorkerThread();
        });
    }
    void stopWorkThread() override
    {
        ++stops;
        lastRunId = anly->GetRunId();
        lastStopRequested = anly->StopWasRequested();
        lastEnd = anly->GetRunEnd();
        onWorker = std::this_thread::get_id() == workerId;
    }
    void reportProgress(double p) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        progress = p;
        ++reports;
        cond.notify_all();
    }
    void waitForReport()
    {
        std::unique_lock<std::mutex> lock(mutex);
        cond.wait(lock, [this] { return reports > 0; });
    }
    void join()
    {
        if (thread.joinable())
            thread.join();
    }

    Analyzer* anly;
    std::thread thread;
    std::thread::id workerId;   // written and read by the worker only
    std::atomic<int> stops{0};
    std::atomic<U64> lastRunId{0};
    std::atomic<bool> lastStopRequested{false};
    std::atomic<int> lastEnd{RunNotEnded};
    std::atomic<bool> onWorker{false};
    std::mutex mutex;
    std::condition_variable cond;
    double progress = -1;
    int reports = 0;
};

// Level at a sample by definition: the initial level flipped once per edge
// at or before it.
int oracleLevel(const std::vector<int64_t>& edges, int init, int64_t s)
{
    int n = int(std::upper_bound(edges.begin(), edges.end(), s) - edges.begin());
    return init ^ (n & 1);
}

std::vector<int64_t> randomEdges(std::mt19937_64& rng, int count, int maxGap)
{
    std::vector<int64_t> e;
    int64_t p = 0;
    for (int i = 0; i < count; ++i) {
        p += 1 + int64_t(rng() % uint64_t(maxGap));
        e.push_back(p);
    }
    return e;
}

} // namespace

class TestSdk : public QObject {
    Q_OBJECT
private slots:
    void cursorWalksEveryEdge_data();
    void cursorWalksEveryEdge();
    void cursorMatchesOracle();
    void cursorCallSemantics();
    void cursorOutsideRunStopsAtEnd();
    void runEnds_data();
    void runEnds();
    void stopRequestEndsRunOnce();
    void stopAndRestart();
    void progressIsFractionOfCapture();
};

void TestSdk::cursorWalksEveryEdge_data()
{
    QTest::addColumn<int>("edges");
    QTest::addColumn<int>("perBlock");
    QTest::addColumn<int>("perGroup");
    QTest::newRow("no edge, closing entry only") << 0 << int(SMP_BLOCK_ENTRIES) << int(SMP_GROUP_BLOCKS);
    QTest::newRow("one block") << 100 << int(SMP_BLOCK_ENTRIES) << int(SMP_GROUP_BLOCKS);
    QTest::newRow("closing entry first of a new block") << int(SMP_BLOCK_ENTRIES) << int(SMP_BLOCK_ENTRIES) << int(SMP_GROUP_BLOCKS);
    QTest::newRow("last edge ends a block") << int(SMP_BLOCK_ENTRIES) - 1 << int(SMP_BLOCK_ENTRIES) << int(SMP_GROUP_BLOCKS);
    QTest::newRow("full blocks crossed") << 3 * int(SMP_BLOCK_ENTRIES) + 17 << int(SMP_BLOCK_ENTRIES) << int(SMP_GROUP_BLOCKS);
    QTest::newRow("small blocks across groups") << 50 << 3 << 2;
    QTest::newRow("one entry per block") << 9 << 1 << 1;
}

void TestSdk::cursorWalksEveryEdge()
{
    QFETCH(int, edges);
    QFETCH(int, perBlock);
    QFETCH(int, perGroup);
    std::mt19937_64 rng(42);
    std::vector<int64_t> e = randomEdges(rng, edges, 5);
    int64_t end = (e.empty() ? 0 : e.back()) + 3;
    Capture cap(2);
    cap.set(1, e, end, 1, perBlock, perGroup);

    FnAnalyzer a;
    std::vector<int64_t> seen;
    std::vector<int> levels;
    bool pastEnd = false;
    a.work = [&](FnAnalyzer& self) {
        AnalyzerChannelData* c = self.GetAnalyzerChannelData(Channel(0, 1));
        levels.push_back(c->GetBitState());
        for (;;) {
            c->AdvanceToNextEdge();
            seen.push_back(int64_t(c->GetSampleNumber()));
            levels.push_back(c->GetBitState());
        }
        pastEnd = true;
    };
    a.Init(&cap.data, nullptr, nullptr);
    QVERIFY(a.StartProcessing());
    QVERIFY(!pastEnd);
    QCOMPARE(a.GetRunEnd(), RunEndOfData);
    QCOMPARE(seen, e);
    for (size_t i = 0; i < levels.size(); ++i)
        QCOMPARE(levels[i], int(1 ^ (i & 1)));
}

void TestSdk::cursorMatchesOracle()
{
    // Random tables and random cursor calls, each compared with the levels
    // computed by definition, until the run reaches the end of the data.
    for (int seed = 1; seed <= 40; ++seed) {
        std::mt19937_64 rng{uint64_t(seed)};
        int perBlock = 1 + int(rng() % 5), perGroup = 1 + int(rng() % 3);
        std::vector<int64_t> e = randomEdges(rng, int(rng() % 200), 1 + int(rng() % 30));
        if (seed % 4 == 0 && !e.empty())
            e.insert(e.begin(), 0); // an edge on sample 0 holds from the start
        int64_t end = (e.empty() ? 0 : e.back()) + 1 + int64_t(rng() % 20);
        int init = int(rng() % 2);
        Capture cap(1);
        cap.set(0, e, end, init, perBlock, perGroup);
        std::vector<int64_t> edgesAfter0;
        for (int64_t x : e)
            if (x > 0)
                edgesAfter0.push_back(x);
        int init0 = oracleLevel(e, init, 0);

        FnAnalyzer a;
        int calls = 0;
        QString failure;
        a.work = [&](FnAnalyzer& self) {
            AnalyzerChannelData* c = self.GetAnalyzerChannelData(Channel(0, 0));
            for (;;) {
                int64_t s = int64_t(c->GetSampleNumber());
                auto next = std::upper_bound(edgesAfter0.begin(), edgesAfter0.end(), s);
                if (c->GetBitState() != oracleLevel(edgesAfter0, init0, s)
                    || c->DoMoreTransitionsExistInCurrentData() != (next != edgesAfter0.end())) {
                    failure = QString("seed %1 sample %2").arg(seed).arg(s);
                    return;
                }
                ++calls;
                uint32_t n = uint32_t(rng() % 25);
                switch (rng() % 5) {
                case 0:
                    c->AdvanceToNextEdge();
                    if (next == edgesAfter0.end() || int64_t(c->GetSampleNumber()) != *next)
                        failure = QString("seed %1 next edge").arg(seed);
                    break;
                case 1: {
                    int64_t expectCrossed = std::upper_bound(edgesAfter0.begin(), edgesAfter0.end(), s + n) - next;
                    bool would = c->WouldAdvancingCauseTransition(n);
                    if (would != (expectCrossed > 0))
                        failure = QString("seed %1 would-advance").arg(seed);
                    if (int64_t(c->Advance(n)) != expectCrossed || int64_t(c->GetSampleNumber()) != s + n)
                        failure = QString("seed %1 advance").arg(seed);
                    break;
                }
                case 2: {
                    int64_t t = s + n - 10; // sometimes behind the cursor: no move
                    int64_t expectCrossed = t <= s ? 0 : std::upper_bound(edgesAfter0.begin(), edgesAfter0.end(), t) - next;
                    if (c->WouldAdvancingToAbsPositionCauseTransition(U64(t < 0 ? 0 : t)) != (t > s && expectCrossed > 0))
                        failure = QString("seed %1 would-advance-abs").arg(seed);
                    if (int64_t(c->AdvanceToAbsPosition(U64(t < 0 ? 0 : t))) != expectCrossed
                        || int64_t(c->GetSampleNumber()) != std::max(s, t))
                        failure = QString("seed %1 advance-abs").arg(seed);
                    break;
                }
                case 3:
                    if (next == edgesAfter0.end() || int64_t(c->GetSampleOfNextEdge()) != *next)
                        failure = QString("seed %1 sample of next edge").arg(seed);
                    break;
                default:
                    c->AdvanceToAbsPosition(U64(s + 1000)); // long jumps over whole blocks
                    break;
                }
                if (!failure.isEmpty())
                    return;
            }
        };
        a.Init(&cap.data, nullptr, nullptr);
        a.StartProcessing();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(a.GetRunEnd(), RunEndOfData);
        QVERIFY(calls > 0);
    }
}

void TestSdk::cursorCallSemantics()
{
    // Edges at 10, 20, 21; end of data at 30; low at sample 0.
    Capture cap(1);
    cap.set(0, {10, 20, 21}, 30, 0);
    FnAnalyzer a;
    QStringList log;
    a.work = [&](FnAnalyzer& self) {
        AnalyzerChannelData* c = self.GetAnalyzerChannelData(Channel(0, 0));
        QCOMPARE(self.GetAnalyzerChannelData(Channel(0, 0)), c); // one cursor per channel
        log << QString("start %1 %2").arg(c->GetSampleNumber()).arg(c->GetBitState());
        log << QString("would9 %1 would10 %2").arg(c->WouldAdvancingCauseTransition(9)).arg(c->WouldAdvancingCauseTransition(10));
        log << QString("adv10 crossed %1 level %2").arg(c->Advance(10)).arg(c->GetBitState()); // edge on the target counts
        log << QString("back %1 at %2").arg(c->AdvanceToAbsPosition(3)).arg(c->GetSampleNumber());
        log << QString("next %1").arg(c->GetSampleOfNextEdge());
        log << QString("abs25 crossed %1 level %2").arg(c->AdvanceToAbsPosition(25)).arg(c->GetBitState());
        log << QString("more %1").arg(c->DoMoreTransitionsExistInCurrentData());
        log << QString("adv4 %1 at %2").arg(c->Advance(4)).arg(c->GetSampleNumber()); // last sample 29
        c->Advance(1); // sample 30 is the end of the data
        log << "not reached";
    };
    a.Init(&cap.data, nullptr, nullptr);
    a.StartProcessing();
    QCOMPARE(log, QStringList({"start 0 0", "would9 0 would10 1", "adv10 crossed 1 level 1", "back 0 at 10",
                               "next 20", "abs25 crossed 2 level 1", "more 0", "adv4 0 at 29"}));
    QCOMPARE(a.GetRunEnd(), RunEndOfData);

    // The sample of a next edge that does not exist ends the run too.
    log.clear();
    a.work = [&](FnAnalyzer& self) {
        AnalyzerChannelData* c = self.GetAnalyzerChannelData(Channel(0, 0));
        c->AdvanceToAbsPosition(21);
        log << "at last edge";
        c->GetSampleOfNextEdge();
        log << "not reached";
    };
    a.InitialWorkerThread(); // rewinds the cursor
    a.StartProcessing();
    QCOMPARE(log, QStringList({"at last edge"}));
    QCOMPARE(a.GetRunEnd(), RunEndOfData);
}

void TestSdk::cursorOutsideRunStopsAtEnd()
{
    // Used outside a decode run, the cursor never throws: it stays at the end.
    Capture cap(1);
    cap.set(0, {5}, 8, 1);
    FnAnalyzer a;
    a.Init(&cap.data, nullptr, nullptr);
    AnalyzerChannelData* c = a.GetAnalyzerChannelData(Channel(0, 0));
    QVERIFY(c);
    c->AdvanceToNextEdge();
    QCOMPARE(c->GetSampleNumber(), U64(5));
    QCOMPARE(c->GetBitState(), BIT_LOW);
    c->AdvanceToNextEdge();
    QCOMPARE(c->GetSampleNumber(), U64(5));
    QCOMPARE(c->GetSampleOfNextEdge(), U64(8));
    QCOMPARE(c->Advance(100), U32(0));
    QCOMPARE(c->GetSampleNumber(), U64(5));
    QVERIFY(!a.GetAnalyzerChannelData(Channel(0, 3)));
    a.CheckIfThreadShouldExit(); // no run on this thread: returns
}

void TestSdk::runEnds_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("end");
    QTest::newRow("undefined channel") << "undefined" << int(RunNoChannel);
    QTest::newRow("channel past the count") << "past" << int(RunNoChannel);
    QTest::newRow("disabled channel, no table") << "disabled" << int(RunNoChannel);
    QTest::newRow("empty capture") << "empty" << int(RunNoChannel);
    QTest::newRow("no capture record") << "norecord" << int(RunNoChannel);
    QTest::newRow("worker returns") << "returns" << int(RunFinished);
    QTest::newRow("worker idles") << "idles" << int(RunFinished);
    QTest::newRow("worker throws") << "throws" << int(RunFailed);
    QTest::newRow("end of data") << "eod" << int(RunEndOfData);
}

void TestSdk::runEnds()
{
    QFETCH(QString, kind);
    QFETCH(int, end);
    Capture cap(3);
    cap.set(0, {4, 9}, 12, 0);
    cap.set(2, {}, 0, 0); // a table holding only a closing entry at 0
    FnAnalyzer a;
    TestProgress pm(&a);
    bool pastCursor = false;
    a.work = [&](FnAnalyzer& self) {
        Channel ch(0, 0);
        if (kind == "undefined")
            ch = Channel();
        else if (kind == "past")
            ch = Channel(0, 3);
        else if (kind == "disabled")
            ch = Channel(0, 1);
        else if (kind == "empty")
            ch = Channel(0, 2);
        AnalyzerChannelData* c = self.GetAnalyzerChannelData(ch);
        pastCursor = true;
        Frame f;
        f.mStartingSampleInclusive = 1;
        f.mEndingSampleInclusive = 2;
        self.results.AddFrame(f);
        self.results.CommitResults();
        if (kind == "throws")
            throw std::runtime_error("plug-in fault");
        if (kind == "idles")
            for (;;)
                self.CheckIfThreadShouldExit();
        if (kind == "eod")
            for (;;)
                c->AdvanceToNextEdge();
    };
    a.Init(kind == "norecord" ? nullptr : &cap.data, nullptr, &pm);
    QVERIFY(a.StartProcessing());
    pm.join();
    QCOMPARE(pm.stops.load(), 1);
    QVERIFY(pm.onWorker.load());
    QCOMPARE(pm.lastEnd.load(), end);
    QCOMPARE(pm.lastRunId.load(), U64(1));
    QVERIFY(!pm.lastStopRequested.load());
    QVERIFY(!a.IsRunActive());
    // A bad input channel ends the run before anything is decoded.
    QCOMPARE(pastCursor, end != RunNoChannel);
    QCOMPARE(a.results.GetNumFrames(), U64(end == RunNoChannel ? 0 : 1));
}

void TestSdk::stopRequestEndsRunOnce()
{
    Capture cap(1);
    cap.set(0, {4, 9}, 12, 0);
    FnAnalyzer a;
    TestProgress pm(&a);
    std::atomic<int> afterStop{0};
    a.work = [&](FnAnalyzer& self) {
        self.GetAnalyzerChannelData(Channel(0, 0));
        for (;;)
            self.ReportProgress(1); // a stop is noticed here
    };
    a.Init(&cap.data, nullptr, &pm);
    QVERIFY(a.StartProcessing());
    pm.waitForReport();
    QVERIFY(a.IsRunActive());
    QVERIFY(!a.StartProcessing()); // one run at a time
    a.StopWorkerThread();
    pm.join();
    QCOMPARE(pm.stops.load(), 1);
    QCOMPARE(pm.lastEnd.load(), int(RunStopped));
    QVERIFY(pm.lastStopRequested.load());

    // The cursor notices a stop too; nothing after it runs.
    a.work = [&](FnAnalyzer& self) {
        AnalyzerChannelData* c = self.GetAnalyzerChannelData(Channel(0, 0));
        self.StopWorkerThread();
        c->AdvanceToNextEdge();
        ++afterStop;
    };
    a.InitialWorkerThread();
    QVERIFY(a.StartProcessing());
    pm.join();
    QCOMPARE(afterStop.load(), 0);
    QCOMPARE(pm.stops.load(), 2);
    QCOMPARE(pm.lastRunId.load(), U64(2));
    QCOMPARE(pm.lastEnd.load(), int(RunStopped));
}

void TestSdk::stopAndRestart()
{
    // Stopping a run that already ended neither waits nor leaks into the
    // next run: the next run starts without the stop request.
    Capture cap(1);
    cap.set(0, {4, 9}, 12, 0);
    FnAnalyzer a;
    TestProgress pm(&a);
    a.work = [](FnAnalyzer& self) {
        AnalyzerChannelData* c = self.GetAnalyzerChannelData(Channel(0, 0));
        for (;;)
            c->AdvanceToNextEdge();
    };
    a.Init(&cap.data, nullptr, &pm);
    a.StartProcessing();
    pm.join();
    a.StopWorkerThread();
    a.KillThread(); // returns at once: no run is active
    a.InitialWorkerThread();
    a.StartProcessing();
    pm.join();
    QCOMPARE(pm.stops.load(), 2);
    QCOMPARE(pm.lastRunId.load(), U64(2));
    QCOMPARE(pm.lastEnd.load(), int(RunEndOfData));
    QVERIFY(!pm.lastStopRequested.load());

    // KillThread from another thread waits for an active run to end.
    std::atomic<bool> started{false};
    a.work = [&](FnAnalyzer& self) {
        started = true;
        for (;;)
            self.ReportProgress(0);
    };
    a.StartProcessing();
    pm.waitForReport();
    a.KillThread();
    QVERIFY(!a.IsRunActive());
    QCOMPARE(pm.lastEnd.load(), int(RunStopped));
    pm.join();
}

void TestSdk::progressIsFractionOfCapture()
{
    Capture cap(1);
    cap.set(0, {4, 9}, 200, 0);
    FnAnalyzer a;
    TestProgress pm(&a);
    a.work = [](FnAnalyzer& self) {
        self.ReportProgress(50);
        self.ReportProgress(400); // past the end: capped
    };
    a.Init(&cap.data, nullptr, &pm);
    QCOMPARE(a.GetCaptureSampleCount(), U64(200));
    QCOMPARE(a.GetSampleRate(), U64(1000000));
    a.StartProcessing();
    pm.join();
    QCOMPARE(pm.reports, 2);
    QCOMPARE(pm.progress, 1.0);
    QCOMPARE(pm.lastEnd.load(), int(RunFinished));
}

QTEST_GUILESS_MAIN(TestSdk)
#include "test_sdk.moc"
