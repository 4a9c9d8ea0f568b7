// Analyzer library: an analyzer may be deleted as soon as KillThread has
// returned, however close to its end the run was. Built twice: with the
// test build's sanitizers, and against a ThreadSanitizer build of the
// library (test_sdk_threads_tsan), which reports any access of the worker
// that is not ordered before the deletion. Also: decoders on several
// threads at once hand the memory of their deleted results to each other. Plain C++ without the Qt test
// runner, whose own threads the sanitizer cannot follow in an
// uninstrumented Qt.

#include <atomic>
#include <cstdlib>
#include <cstdio>
#include <random>
#include <thread>

#include <vector>

#include "Analyzer.h"
#include "AnalyzerResults.h"
#include "support/EmptyResults.h"

namespace {

// What the plug-ins do: stop and wait first thing in the destructor.
class EndingAnalyzer : public Analyzer {
public:
    explicit EndingAnalyzer(bool untilStopped) : mUntilStopped(untilStopped) {}
    ~EndingAnalyzer() override { KillThread(); }
    void WorkerThread() override
    {
        started.store(true);
        if (mUntilStopped)
            for (;;)
                ReportProgress(0); // ends the run once a stop is requested
    }
    U32 GenerateSimulationData(U64, U32, SimulationChannelDescriptor**) override { return 0; }
    U32 GetMinimumSampleRateHz() override { return 1; }
    const char* GetAnalyzerName() const override { return "Ending"; }

    std::atomic<bool> started{false};

private:
    const bool mUntilStopped;
};

// A host that relies on KillThread alone: its decode thread is joined only
// after the analyzer is gone.
class DetachedHost : public ProgressManager {
public:
    explicit DetachedHost(Analyzer* a) : mAnly(a) {}
    void startWorkThread() override
    {
        Analyzer* a = mAnly;
        thread = std::thread([a] { a->RunWorkerThread(); });
    }
    void stopWorkThread() override {}
    void reportProgress(double) override {}

    std::thread thread;

private:
    Analyzer* mAnly;
};

void deleteRightAfterKillThread(bool untilStopped)
{
    std::mt19937 rng(7);
    for (int i = 0; i < 1000; ++i) {
        auto* a = new EndingAnalyzer(untilStopped);
        DetachedHost host(a);
        a->Init(nullptr, nullptr, &host);
        if (!a->StartProcessing()) {
            std::fprintf(stderr, "FAIL: a new analyzer did not start its run\n");
            std::exit(1);
        }
        // Delete at every stage of the run's end: before the worker runs,
        // as soon as its decode began, a little later.
        if (i % 3 != 0)
            while (!a->started.load())
                std::this_thread::yield();
        if (i % 3 == 2)
            for (unsigned spin = rng() % 20000; spin > 0; --spin)
                std::atomic_signal_fence(std::memory_order_seq_cst);
        delete a;
        host.thread.join();
    }
}

// Each thread decodes into fresh results of its own size, again and again,
// while one results object stays alive: the chunks of deleted results are
// kept and taken (whole or in pieces) by the other threads.
void resultsMemoryAcrossThreads()
{
    EmptyResults alive;
    std::atomic<int> bad{0};
    std::vector<std::thread> decoders;
    for (int t = 0; t < 4; ++t)
        decoders.emplace_back([t, &bad] {
            for (int run = 0; run < 6; ++run) {
                EmptyResults r;
                const U64 n = U64(60000 + 40000 * ((t + run) % 4)); // 2.4 to 6.4 MB of frames
                for (U64 i = 0; i < n; ++i) {
                    Frame f;
                    f.mStartingSampleInclusive = S64(i);
                    f.mEndingSampleInclusive = S64(i);
                    f.mData1 = i ^ U64(t);
                    r.AddFrame(f);
                }
                r.CommitResults();
                for (U64 i = 0; i < n; i += 997)
                    if (r.GetFrame(i).mData1 != (i ^ U64(t)))
                        ++bad;
            }
        });
    for (std::thread& d : decoders)
        d.join();
    if (bad.load()) {
        std::fprintf(stderr, "FAIL: %d frames read back wrong\n", bad.load());
        std::exit(1);
    }
}

} // namespace

int main()
{
    deleteRightAfterKillThread(false); // the run ends by itself
    deleteRightAfterKillThread(true);  // the run ends on the stop
    resultsMemoryAcrossThreads();
    std::puts("PASS: analyzers deleted right after KillThread; results memory shared across threads");
    return 0;
}
