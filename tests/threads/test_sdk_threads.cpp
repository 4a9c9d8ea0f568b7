// Analyzer library: an analyzer may be deleted as soon as KillThread has
// returned, however close to its end the run was, and a plug-in's analyzer
// as soon as its host deletes it mid-run. Built twice: with the test build's
// sanitizers, and against a ThreadSanitizer build of the library and of the
// WS2812 plug-ins (test_sdk_threads_tsan), which reports any access of the
// worker that is not ordered before the deletion. Also: KillThread from the
// host's end report and from its thread start, hosts that throw or whose
// decode thread does not start (or comes late), a stop asked as a run
// starts, and decoders on several threads at once handing the memory of
// their deleted results to each other. Plain C++ without the Qt test
// runner, whose own threads the sanitizer cannot follow in an
// uninstrumented Qt.
//
// A test that would hang on a fault waits with a bound instead and then
// ends the process with a failure (the hung thread cannot be joined).

#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Analyzer.h"
#include "AnalyzerResults.h"
#include "AnalyzerSettingInterface.h"
#include "AnalyzerSettings.h"
#include "support/EmptyResults.h"
#include "tools/ThreadPerRun.h"
#include "tools/CaptureTables.h"

namespace {

// Far beyond any run these tests make, even under ThreadSanitizer.
constexpr std::chrono::seconds kHangBound(30);

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "FAIL: %s\n", what.c_str());
    std::fflush(stderr);
    std::_Exit(1); // without joining or destroying what may still hang
}

// A flag one thread sets and another awaits with a bound.
class Latch {
public:
    void set()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mSet = true;
        mCond.notify_all();
    }
    bool waitFor(std::chrono::seconds bound)
    {
        std::unique_lock<std::mutex> lock(mMutex);
        return mCond.wait_for(lock, bound, [this] { return mSet; });
    }

private:
    std::mutex mMutex;
    std::condition_variable mCond;
    bool mSet = false;
};

// A count that threads raise and another awaits with a bound.
class Counter {
public:
    void add()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        ++mCount;
        mCond.notify_all();
    }
    bool waitFor(int n, std::chrono::seconds bound)
    {
        std::unique_lock<std::mutex> lock(mMutex);
        return mCond.wait_for(lock, bound, [&] { return mCount >= n; });
    }

private:
    std::mutex mMutex;
    std::condition_variable mCond;
    int mCount = 0;
};

// What the plug-ins do: stop and wait first thing in the destructor.
class EndingAnalyzer : public Analyzer {
public:
    explicit EndingAnalyzer(bool untilStopped) : mUntilStopped(untilStopped) {}
    ~EndingAnalyzer() override { KillThread(); }
    void WorkerThread() override
    {
        started.store(true);
        ++runs;
        ReportProgress(0); // the host hears of every run
        if (mUntilStopped)
            for (;;)
                ReportProgress(0); // ends the run once a stop is requested
    }
    U32 GenerateSimulationData(U64, U32, SimulationChannelDescriptor**) override { return 0; }
    U32 GetMinimumSampleRateHz() override { return 1; }
    const char* GetAnalyzerName() const override { return "Ending"; }

    std::atomic<bool> started{false};
    std::atomic<int> runs{0}; // WorkerThread calls

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

// A host whose end report calls KillThread, as a host may that reuses one
// clean-up path for every end: on the decode thread it must return.
class KillingHost : public ProgressManager {
public:
    explicit KillingHost(Analyzer* a) : mAnly(a) {}
    ~KillingHost() override
    {
        if (thread.joinable())
            thread.join();
    }
    void startWorkThread() override
    {
        thread = std::thread([this] {
            mAnly->RunWorkerThread();
            returned.set();
        });
    }
    void stopWorkThread() override
    {
        mAnly->KillThread();
        endSeen.store(mAnly->GetRunEnd());
    }
    void reportProgress(double) override {}

    std::thread thread;
    Latch returned;
    std::atomic<int> endSeen{RunNotEnded};

private:
    Analyzer* mAnly;
};

void killThreadInEndReportReturns()
{
    struct Case {
        const char* name;
        bool untilStopped;
        AnalyzerRunEnd end;
    };
    const Case cases[] = {
        {"run that ends by itself", false, RunFinished},
        {"run stopped from the host", true, RunStopped},
    };
    for (const Case& c : cases) {
        auto a = std::make_unique<EndingAnalyzer>(c.untilStopped);
        KillingHost host(a.get());
        a->Init(nullptr, nullptr, &host);
        if (!a->StartProcessing())
            fail(std::string(c.name) + ": the run did not start");
        if (c.untilStopped) {
            while (!a->started.load())
                std::this_thread::yield();
            a->StopWorkerThread();
        }
        if (!host.returned.waitFor(kHangBound))
            fail(std::string(c.name) + ": KillThread in stopWorkThread did not return");
        host.thread.join();
        if (host.endSeen.load() != c.end)
            fail(std::string(c.name) + ": the end report saw end " + std::to_string(host.endSeen.load()));
        if (a->IsRunActive())
            fail(std::string(c.name) + ": the run still counts as active");
    }
}

// Runs fn on a thread of its own and waits for it with a bound: a call
// that would hang fails the test instead.
void withinBound(const std::string& what, const std::function<void()>& fn)
{
    Latch done;
    std::thread t([&] {
        fn();
        done.set();
    });
    if (!done.waitFor(kHangBound))
        fail(what + " did not return");
    t.join();
}

// Spins until cond holds, with a bound.
void awaitBounded(const std::string& what, const std::function<bool()>& cond)
{
    const auto until = std::chrono::steady_clock::now() + kHangBound;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > until)
            fail("waited in vain: " + what);
        std::this_thread::yield();
    }
}

// What a host's own code may throw.
struct HostFault {};

// A host that fails where it is told to, and that lets a test step into
// its startWorkThread.
class FaultyHost : public ProgressManager {
public:
    enum Fault { None, StartThrows, NoThread, ReportThrows, ReportExits, StopThrows };

    FaultyHost(Analyzer* a, Fault f) : mAnly(a), mFault(f) {}
    ~FaultyHost() override
    {
        for (std::thread& t : mThreads)
            t.join();
    }
    void startWorkThread() override
    {
        if (inStart) {
            inStart();
            return;
        }
        if (mFault == StartThrows)
            throw HostFault();
        if (mFault == NoThread) { // as a host that learns of the refusal from a flag
            mAnly->EndRunWithoutThread();
            return;
        }
        launch();
    }
    void stopWorkThread() override
    {
        ++stops;
        if (mFault == StopThrows)
            throw HostFault();
    }
    void reportProgress(double) override
    {
        if (mFault == ReportThrows)
            throw HostFault();
        if (mFault == ReportExits)
            pthread_exit(nullptr);
    }
    // Starts a decode thread; with `hold`, it comes to RunWorkerThread
    // only once hold is set.
    void launch(Latch* hold = nullptr)
    {
        mThreads.emplace_back([this, hold] {
            struct Count { // also when the thread exits
                FaultyHost* host;
                ~Count() { host->returned.add(); }
            } count{this};
            if (hold && !hold->waitFor(kHangBound))
                fail("a held decode thread was never let go");
            try {
                mAnly->RunWorkerThread();
            } catch (const HostFault&) {
                ++faultsBack;
            }
        });
    }
    // Waits for every thread launched so far to leave.
    void awaitThreads(const std::string& what)
    {
        if (!returned.waitFor(int(mThreads.size()), kHangBound))
            fail(what + ": a decode thread did not return");
    }

    std::function<void()> inStart; // replaces the above in startWorkThread
    std::atomic<int> stops{0};
    std::atomic<int> faultsBack{0}; // exceptions that left RunWorkerThread

    Counter returned; // decode threads that have left

private:
    Analyzer* mAnly;
    const Fault mFault;
    std::vector<std::thread> mThreads;
};

// After a run with a faulty host, a later run with a host that works
// decodes, and the analyzer can be deleted.
void laterRunDecodesThenDelete(const std::string& name, EndingAnalyzer* a)
{
    {
        FaultyHost good(a, FaultyHost::None);
        a->Init(nullptr, nullptr, &good);
        const int runsBefore = a->runs.load();
        bool started = false;
        withinBound(name + ": a later StartProcessing", [&] { started = a->StartProcessing(); });
        if (!started)
            fail(name + ": a later run was refused");
        good.awaitThreads(name + ": the later run");
        if (a->GetRunEnd() != RunFinished || good.stops.load() != 1 || a->runs.load() != runsBefore + 1)
            fail(name + ": the later run did not decode and end");
    }
    withinBound(name + ": deleting the analyzer", [&] { delete a; });
}

// Whatever the host throws from its hooks, or when its decode thread exits
// within the decode, the run ends: it is not left active for ever.
void hostFaultsEndTheRun()
{
    struct Case {
        const char* name;
        FaultyHost::Fault fault;
        bool startThrows; // the host's exception leaves StartProcessing
        AnalyzerRunEnd end;
        int stops;
        bool faultBack; // the host's exception leaves RunWorkerThread
    };
    const Case cases[] = {
        {"startWorkThread throws", FaultyHost::StartThrows, true, RunFailed, 0, false},
        {"no thread, EndRunWithoutThread", FaultyHost::NoThread, false, RunFailed, 0, false},
        {"reportProgress throws", FaultyHost::ReportThrows, false, RunFailed, 1, false},
        {"the decode thread exits in reportProgress", FaultyHost::ReportExits, false, RunFailed, 0, false},
        {"stopWorkThread throws", FaultyHost::StopThrows, false, RunFinished, 1, true},
    };
    for (const Case& c : cases) {
        auto* a = new EndingAnalyzer(false);
        {
            FaultyHost bad(a, c.fault);
            a->Init(nullptr, nullptr, &bad);
            bool started = false;
            bool threw = false;
            withinBound(std::string(c.name) + ": StartProcessing", [&] {
                try {
                    started = a->StartProcessing();
                } catch (const HostFault&) {
                    threw = true;
                }
            });
            if (threw != c.startThrows || started == c.startThrows)
                fail(std::string(c.name) + ": StartProcessing " + (threw ? "threw" : "returned"));
            bad.awaitThreads(c.name);
            if (a->IsRunActive())
                fail(std::string(c.name) + ": the run still counts as active");
            if (a->GetRunEnd() != c.end)
                fail(std::string(c.name) + ": the run ended as " + std::to_string(a->GetRunEnd()));
            if (bad.stops.load() != c.stops)
                fail(std::string(c.name) + ": stopWorkThread called " + std::to_string(bad.stops.load()) + " times");
            if ((bad.faultsBack.load() == 1) != c.faultBack)
                fail(std::string(c.name) + ": the host's exception did not come back as documented");
        }
        laterRunDecodesThenDelete(c.name, a);
    }
}

// KillThread within the host's startWorkThread cannot wait for the run:
// it asks it to end and returns, and the run then ends.
void killThreadWhileStarting()
{
    enum Order { KillThenLaunch, LaunchThenKill, KillWithoutThread };
    struct Case {
        const char* name;
        Order order;
        AnalyzerRunEnd end;
        int stops;
        bool decoded;
    };
    const Case cases[] = {
        {"before the thread starts", KillThenLaunch, RunStopped, 1, false},
        {"once the thread decodes", LaunchThenKill, RunStopped, 1, true},
        {"and the thread never starts", KillWithoutThread, RunFailed, 0, false},
    };
    for (const Case& c : cases) {
        const std::string name = std::string("KillThread in startWorkThread ") + c.name;
        auto* a = new EndingAnalyzer(true);
        {
            FaultyHost host(a, FaultyHost::None);
            host.inStart = [&] {
                if (c.order == LaunchThenKill) {
                    host.launch();
                    awaitBounded(name + ": the decode starting", [&] { return a->started.load(); });
                }
                a->KillThread();
                if (c.order == KillThenLaunch)
                    host.launch();
                else if (c.order == KillWithoutThread)
                    a->EndRunWithoutThread();
            };
            a->Init(nullptr, nullptr, &host);
            withinBound(name, [&] { a->StartProcessing(); });
            host.awaitThreads(name);
            if (a->IsRunActive() || a->GetRunEnd() != c.end || host.stops.load() != c.stops ||
                a->started.load() != c.decoded)
                fail(name + ": the run did not end as documented (end " + std::to_string(a->GetRunEnd()) + ")");
        }
        withinBound(name + ": deleting the analyzer", [&] { delete a; });
    }
}

// A KillThread that waits as the host gives up on the decode thread is
// released, and its caller may delete the analyzer at once, while
// StartProcessing is still on its way out.
void givingUpReleasesAWaitingKillThread()
{
    for (const bool throws : {false, true}) {
        const std::string name = throws ? "startWorkThread throws" : "EndRunWithoutThread";
        auto* a = new EndingAnalyzer(false);
        FaultyHost host(a, FaultyHost::None);
        Latch killed;
        std::thread killer;
        host.inStart = [&] {
            killer = std::thread([a, &killed] {
                a->KillThread();
                killed.set();
                delete a;
            });
            // Its stop request is made under the run's lock, which it
            // holds until it waits.
            awaitBounded(name + ": the KillThread", [&] { return a->StopWasRequested(); });
            if (throws)
                throw HostFault();
            a->EndRunWithoutThread(); // the analyzer may be gone once it returns
        };
        a->Init(nullptr, nullptr, &host);
        withinBound(name + ": StartProcessing", [&] {
            try {
                a->StartProcessing();
            } catch (const HostFault&) {
            }
        });
        if (!killed.waitFor(kHangBound))
            fail(name + ": a KillThread waiting for a run without a thread was not released");
        killer.join();
    }
}

// Only a run that waits for its thread ends without one; a thread that
// comes after that finds no run, or a later one, which it runs once.
void threadsThatComeLateOrEarly()
{
    {
        const std::string name = "a thread that comes after the end";
        auto* a = new EndingAnalyzer(false);
        {
            FaultyHost host(a, FaultyHost::None);
            Latch hold;
            bool ended = false;
            host.inStart = [&] {
                host.launch(&hold);
                ended = a->EndRunWithoutThread();
            };
            a->Init(nullptr, nullptr, &host);
            withinBound(name, [&] { a->StartProcessing(); });
            if (!ended || a->IsRunActive() || a->GetRunEnd() != RunFailed)
                fail(name + ": the run did not end without its thread");
            hold.set();
            host.awaitThreads(name);
            if (host.stops.load() != 0 || a->runs.load() != 0)
                fail(name + ": the late thread ran the ended run");
        }
        laterRunDecodesThenDelete(name, a);
    }
    {
        const std::string name = "a late thread and a later run";
        EndingAnalyzer a(false);
        FaultyHost host(&a, FaultyHost::None);
        Latch hold;
        host.inStart = [&] {
            host.launch(&hold);
            a.EndRunWithoutThread();
        };
        a.Init(nullptr, nullptr, &host);
        withinBound(name, [&] { a.StartProcessing(); });
        host.inStart = nullptr; // the later run's thread starts at once
        withinBound(name + ": the later run", [&] { a.StartProcessing(); });
        hold.set(); // the late thread races it to the run
        host.awaitThreads(name);
        if (a.IsRunActive() || a.GetRunEnd() != RunFinished || host.stops.load() != 1 || a.runs.load() != 1)
            fail(name + ": the later run did not run exactly once");
    }
    {
        const std::string name = "a thread that has entered its run";
        EndingAnalyzer a(true);
        FaultyHost host(&a, FaultyHost::None);
        bool ended = true;
        host.inStart = [&] {
            host.launch();
            awaitBounded(name + ": the decode starting", [&] { return a.started.load(); });
            ended = a.EndRunWithoutThread();
        };
        a.Init(nullptr, nullptr, &host);
        withinBound(name, [&] { a.StartProcessing(); });
        if (ended || !a.IsRunActive())
            fail(name + ": a run on its thread was ended without it");
        a.StopWorkerThread();
        host.awaitThreads(name);
        if (a.IsRunActive() || a.GetRunEnd() != RunStopped || host.stops.load() != 1)
            fail(name + ": the run did not end on its thread");
    }
}

// Another thread stops the run the moment it sees it active: however close
// that is to StartProcessing, the stop holds and the run ends on it. The
// run goes on the starting thread (no progress manager), so that an attempt
// costs no thread of its own; a run whose stop was lost would go on for
// ever, which the watchdog catches.
void stopAsTheRunStartsHolds()
{
    const int attempts = 20000;
    EndingAnalyzer a(true);
    a.Init(nullptr, nullptr, nullptr);
    std::atomic<bool> armed{false};
    std::atomic<bool> quit{false};
    std::atomic<int> attempt{0};
    std::thread stopper([&] {
        for (;;) {
            while (!armed.load()) {
                if (quit.load())
                    return;
                std::this_thread::yield();
            }
            while (!a.IsRunActive()) // no yield: stop as soon as it shows
                ;
            a.StopWorkerThread();
            armed.store(false);
        }
    });
    Latch done;
    std::thread watchdog([&] {
        for (int seen = -1; !done.waitFor(kHangBound); seen = attempt.load())
            if (attempt.load() == seen)
                fail("a stop asked as the run started was lost (attempt " + std::to_string(seen) + ")");
    });
    for (int i = 0; i < attempts; ++i) {
        attempt.store(i);
        armed.store(true);
        if (!a.StartProcessing()) // returns once the run has ended
            fail("the run did not start (attempt " + std::to_string(i) + ")");
        if (a.GetRunEnd() != RunStopped)
            fail("the run did not end on the stop (attempt " + std::to_string(i) + ")");
        while (armed.load()) // the stopper is done with this attempt
            std::this_thread::yield();
    }
    done.set();
    quit.store(true);
    stopper.join();
    watchdog.join();
}

// A host that starts the next run from a thread of its own as soon as the
// last has ended (StartProcessing in a loop): a KillThread made meanwhile
// returns once the run it stopped has ended, and does not wait for the
// runs that come after it, which nobody asked to stop.
void killThreadDoesNotWaitForALaterRun()
{
    const std::string name = "KillThread while a host starts run after run";
    EndingAnalyzer a(true);
    ThreadPerRun host(&a);
    a.Init(nullptr, nullptr, &host);
    std::atomic<bool> quit{false};
    std::thread looper([&] {
        while (!quit.load())
            if (!a.StartProcessing()) // a run is active: try again at once
                std::this_thread::yield();
    });
    // Whether the next run starts before the KillThread sees the stopped
    // one end is up to the scheduler: many attempts.
    for (int i = 0; i < 200; ++i) {
        awaitBounded(name + ": a run", [&] { return a.IsRunActive(); });
        const U64 run = a.GetRunId();
        withinBound(name + " (attempt " + std::to_string(i) + ")", [&] { a.KillThread(); });
        if (a.IsRunActive() && a.GetRunId() == run)
            fail(name + ": KillThread returned before the run it stopped had ended");
    }
    quit.store(true);
    looper.join();
    withinBound(name + ": the last run", [&] { a.KillThread(); });
    host.join();
}

// A WS2812 plug-in, loaded the way the program loads it.
class LedPlugin {
public:
    explicit LedPlugin(const std::string& path)
    {
        mHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!mHandle)
            fail("cannot load " + path + ": " + dlerror());
        create = reinterpret_cast<Analyzer* (*)()>(dlsym(mHandle, "CreateAnalyzer"));
        destroy = reinterpret_cast<void (*)(Analyzer*)>(dlsym(mHandle, "DestroyAnalyzer"));
        if (!create || !destroy)
            fail(path + " lacks CreateAnalyzer or DestroyAnalyzer");
    }
    // Kept loaded, as the program keeps its plug-ins.

    Analyzer* (*create)() = nullptr;
    void (*destroy)(Analyzer*) = nullptr;

private:
    void* mHandle = nullptr;
};

// LED chains at 100 MHz (10 ns a sample): words of random bits, each chain
// after a reset; long enough that a decode lasts some milliseconds.
void buildLedCapture(CaptureTables& capture)
{
    std::mt19937 rng(3);
    bool ok = capture.begin(0, 0);
    int64_t t = 6000;
    for (int chain = 0; chain < 300 && ok; ++chain) {
        for (int bit = 0; bit < 96 * 8 && ok; ++bit) {
            const int64_t high = rng() & 1 ? 80 : 40;
            ok = capture.append(0, t) && capture.append(0, t + high);
            t += 125;
        }
        t += 6000; // 60 us low: a reset
    }
    if (!ok || !capture.finish(0, t))
        fail("cannot build the LED capture");
}

void useChannel0(Analyzer* a)
{
    AnalyzerSettings* s = a->GetAnalyzerSettings();
    for (U32 i = 0; i < s->GetSettingsInterfacesCount(); ++i) {
        AnalyzerSettingInterface* f = s->GetSettingsInterface(i);
        if (f && f->GetType() == INTERFACE_CHANNEL)
            static_cast<AnalyzerSettingInterfaceChannel*>(f)->SetChannel(Channel(0, 0));
    }
    if (!s->SetSettingsFromInterfaces())
        fail("the plug-in refused channel 0");
}

// The host deletes RGB and RGBW analyzers at once, each at some point of
// its decode's first milliseconds (before it began, as it began, while it
// decodes), and joins their decode threads only after the deletion: the
// plug-in's own destructor must have stopped the run before its object
// changes its dynamic type under the decode's virtual calls.
void deleteLedAnalyzersMidRun()
{
    const char* bin = std::getenv("CORVENA_BIN");
    if (!bin)
        fail("CORVENA_BIN (the directory with Analyzer/) is not set");
    const LedPlugin plugins[2] = {LedPlugin(std::string(bin) + "/Analyzer/libRGB-WS2812.so"),
                                  LedPlugin(std::string(bin) + "/Analyzer/libRGBW-WS2812.so")};
    CaptureTables capture(1, 100000000);
    buildLedCapture(capture);
    std::mt19937 rng(11);
    for (int i = 0; i < 40; ++i) {
        Analyzer* a[2];
        std::unique_ptr<DetachedHost> hosts[2];
        for (int k = 0; k < 2; ++k) {
            a[k] = plugins[k].create();
            hosts[k] = std::make_unique<DetachedHost>(a[k]);
            useChannel0(a[k]);
            a[k]->Init(capture.data(), nullptr, hosts[k].get());
            a[k]->SetupResults();
            a[k]->InitialWorkerThread();
        }
        const unsigned delayUs[2] = {unsigned(rng() % 3000), unsigned(rng() % 3000)};
        for (int k = 0; k < 2; ++k)
            if (!a[k]->StartProcessing())
                fail("a new LED analyzer did not start its run");
        std::thread deleters[2];
        for (int k = 0; k < 2; ++k)
            deleters[k] = std::thread([&plugins, &a, &delayUs, k] {
                // Spreads the deletions over the decode (a spread, not a wait).
                std::this_thread::sleep_for(std::chrono::microseconds(delayUs[k]));
                plugins[k].destroy(a[k]);
            });
        for (std::thread& d : deleters)
            d.join();
        for (auto& h : hosts)
            h->thread.join();
    }
}

// Memory kept for a re-run has a thread that gives it back after a while;
// a forked child has no such thread, and its exit() must not wait for it.
// A few re-runs first, so that the thread is surely up and waiting when the
// child is forked.
void forkedChildExits()
{
    EmptyResults alive; // the memory of deleted results is kept only while some live
    for (int run = 0; run < 4; ++run) {
        EmptyResults r;
        for (U64 i = 0; i < 300000; ++i) { // 12 MB of frames
            Frame f;
            f.mStartingSampleInclusive = S64(i);
            f.mEndingSampleInclusive = S64(i);
            r.AddFrame(f);
        }
        r.CommitResults();
    }
    std::fflush(stdout); // else the child's exit prints the parent's buffered output again
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0)
        fail("cannot fork");
    if (pid == 0)
        std::exit(0);
    int status = 0;
    Latch reaped;
    std::thread reaper([&] {
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR)
            ;
        reaped.set();
    });
    if (!reaped.waitFor(kHangBound)) {
        kill(pid, SIGKILL); // the reaper then collects it
        reaper.join();
        fail("a forked child did not end its exit()");
    }
    reaper.join();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail("a forked child's exit() ended with status " + std::to_string(status));
}

} // namespace

int main()
{
    deleteRightAfterKillThread(false); // the run ends by itself
    deleteRightAfterKillThread(true);  // the run ends on the stop
    deleteLedAnalyzersMidRun();
    killThreadInEndReportReturns();
    hostFaultsEndTheRun();
    killThreadWhileStarting();
    givingUpReleasesAWaitingKillThread();
    killThreadDoesNotWaitForALaterRun();
    threadsThatComeLateOrEarly();
    stopAsTheRunStartsHolds();
    resultsMemoryAcrossThreads();
    forkedChildExits();
    std::puts("PASS: analyzers deleted right after KillThread and mid-run; KillThread in the end report and "
              "the thread start, and not waiting for a later run; faulty hosts and missing or late decode threads; stops as runs start; "
              "results memory shared across threads; a forked child's exit");
    return 0;
}
