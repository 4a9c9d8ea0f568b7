#ifndef ANALYZER_H
#define ANALYZER_H
// Base class of every protocol analyzer, and the interface through which the
// host runs its decodes.
//
// Decode run, as the host drives it (GUI thread unless said otherwise):
//   Init(&dataForAnly, nullptr, progressManager)  once per capture
//   SetupResults()                                 plug-in: fresh, empty results
//   InitialWorkerThread()                          rewinds the run state
//   StartProcessing()                              calls progressManager->startWorkThread()
//   decode thread: RunWorkerThread()               runs the plug-in's WorkerThread
// A run ends cooperatively, never by killing a thread: when a cursor call
// would pass the end of the data, when a stop was requested
// (StopWorkerThread), when the input channel is undefined or out of range,
// when WorkerThread returns, or when the plug-in idles (see
// CheckIfThreadShouldExit). The library then unwinds the plug-in's loop and,
// still on the decode thread, calls progressManager->stopWorkThread() exactly
// once (but see below); RunWorkerThread returns after it. stopWorkThread must return (it
// must not park the thread).
//
// A run is, in turn: waiting for its thread (from StartProcessing until the
// host's thread enters RunWorkerThread), running on that thread, and ended
// (IsRunActive false, GetRunEnd tells how). Only a run still waiting for
// its thread can end without one, as RunFailed and without stopWorkThread:
// when startWorkThread throws, or through EndRunWithoutThread. A thread
// that comes to RunWorkerThread when no run waits for one returns at once.
//
// What the host's ProgressManager may throw, and what then happens:
//   startWorkThread: the run ends first (as above, unless its thread has
//     already entered RunWorkerThread: it then ends there as usual); then
//     the exception leaves StartProcessing to its caller.
//   reportProgress, within WorkerThread: the run ends as RunFailed, as it
//     does on an exception of the plug-in; stopWorkThread reports it.
//   stopWorkThread: the run has ended all the same (IsRunActive false, a
//     waiting KillThread returns); then the exception leaves
//     RunWorkerThread, by when the analyzer may already be deleted.
// A decode thread cancelled or exiting within WorkerThread (pthread_cancel,
// pthread_exit) goes on unwinding; its run ends as RunFailed, without
// stopWorkThread.
//
// A plug-in's analyzer class is final, and its own destructor calls
// KillThread() first. Until the run has ended, the decode thread calls the
// object's virtual functions (WorkerThread and what that calls), and the
// object's type changes as each destructor starts: called from a base
// class's destructor, even this one's, KillThread would wait too late, once
// the decode may already see a base class and the members it reads are
// going.
//
// Simulation (capture simulation thread): Init(nullptr, &rate, nullptr),
// then GenerateSimulationData as often as needed.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "AnalyzerChannelData.h"
#include "AnalyzerResults.h"
#include "AnalyzerSettings.h"
#include "AnalyzerTypes.h"
#include "SimulationChannelDescriptor.h"
#include "data/SmpTables.h"

// The capture the analyzers read (channel tables, depth, rate, trigger,
// channel count); filled by the program before each decode.
typedef DataForAnly DeviceCollection;

// Implemented by the host: one per analyzer, it owns the decode thread.
class ANALYZER_EXPORT ProgressManager {
public:
    virtual ~ProgressManager();
    // Start a thread that calls the analyzer's RunWorkerThread(). Called
    // within StartProcessing. A host that cannot start it either throws or
    // calls EndRunWithoutThread.
    virtual void startWorkThread() = 0;
    // Called on the decode thread, once per run, when the run has ended.
    virtual void stopWorkThread() = 0;
    // Called on the decode thread: fraction of the capture decoded, 0 to 1.
    virtual void reportProgress(double progress) = 0;
};

// How the last run ended.
enum AnalyzerRunEnd : int {
    RunNotEnded = 0,     // no run yet, or the run is still going
    RunFinished = 1,     // WorkerThread returned or idled until stopped
    RunEndOfData = 2,    // a cursor call reached the end of the capture
    RunStopped = 3,      // StopWorkerThread
    RunNoChannel = 4,    // undefined, out-of-range or empty input channel
    RunFailed = 5        // the plug-in threw (or the host's reportProgress
                         // within it), or the run's thread never came
};

class ANALYZER_EXPORT Analyzer {
public:
    Analyzer();
    virtual ~Analyzer();

    // Plug-in hooks, in this order.
    virtual void WorkerThread() = 0;
    // Fills *simulation_channels with an array of descriptors and returns
    // its length.
    virtual U32 GenerateSimulationData(U64 newest_sample_requested, U32 sample_rate,
                                       SimulationChannelDescriptor** simulation_channels) = 0;
    virtual U32 GetMinimumSampleRateHz() = 0;
    virtual const char* GetAnalyzerVersion() const; // the library's version
    virtual const char* GetAnalyzerName() const = 0;
    virtual bool NeedsRerun(); // false
    virtual void SetupResults(); // nothing; plug-ins make fresh results here

    // --- host ---
    // data: the capture (null for simulation); simulation_sample_rate: the
    // simulated rate (null for decoding); progress_manager: null runs
    // StartProcessing's run at once on the calling thread.
    void Init(DeviceCollection* data, const U64* simulation_sample_rate, ProgressManager* progress_manager);
    // Takes the capture's depth, rate and trigger from the record and
    // rewinds the cursors for a new run. Not while a run is active.
    void InitialWorkerThread();
    // Starts a run: a new run id, then startWorkThread (or the run itself
    // without a progress manager). True once the run has started, however
    // it ends; false, and nothing done, while a run is still active. An
    // exception from startWorkThread leaves it after the run has ended.
    bool StartProcessing();
    // Entry of the host's decode thread; returns once the run has ended and
    // has been reported, or at once when no run waits for a thread.
    void RunWorkerThread();
    // Asks the running decode to end; returns at once (any thread). The
    // decode notices it at its next ReportProgress or
    // CheckIfThreadShouldExit, and within a block of the edge table's
    // cursor moves (see AnalyzerChannelData.h); called on the decode thread
    // itself, at its next cursor move. A stop asked once the run shows as
    // active (IsRunActive, or its id in GetRunId) holds, however close to
    // StartProcessing.
    void StopWorkerThread();
    // True from StartProcessing until the run has ended: its end
    // reported, or ended without a thread (see the top of this file).
    bool IsRunActive() const;
    // Id of the latest run (1, 2, ...; 0 before the first): lets the host
    // tell a late end notice from the end of a newer run.
    U64 GetRunId() const;
    // Whether a stop was requested for the latest run (readable from
    // stopWorkThread).
    bool StopWasRequested() const;
    AnalyzerRunEnd GetRunEnd() const;
    // For a host whose decode thread did not start (and whose
    // startWorkThread does not throw for it), within startWorkThread or
    // after it: ends the run waiting for that thread as RunFailed, so that
    // a later StartProcessing, KillThread and the destructor do not wait
    // for it; a KillThread waiting elsewhere returns, and its caller may
    // delete the analyzer. True when it ended a run; false when no run is
    // active or the run's thread has entered RunWorkerThread (the run then
    // ends as usual). stopWorkThread is not called for a run ended here. A
    // thread that did start after all finds no run and returns at once,
    // unless a later run waits for its thread by then: it runs that one.
    bool EndRunWithoutThread();

    AnalyzerSettings* GetAnalyzerSettings() const;
    // True and the current results when there are any.
    bool GetAnalyzerResults(AnalyzerResults** analyzer_results) const;

    // --- plug-in, during a run ---
    // The cursor for an input channel (owned by the library, rewound by
    // InitialWorkerThread). An undefined or out-of-range channel, or one
    // without data, ends the run with nothing decoded.
    AnalyzerChannelData* GetAnalyzerChannelData(const Channel& channel);
    // Progress up to a sample; also where a stop request ends the run.
    void ReportProgress(U64 sample_number);
    // Ends the run when a stop was requested. Called twice with nothing
    // done in between (no cursor move, frame, marker, packet or progress),
    // the decoder is idling until it is stopped: the run then ends as
    // finished so that its results are announced at once.
    void CheckIfThreadShouldExit();
    U64 GetSampleRate() const; // Hz, of the capture being decoded
    U64 GetTriggerSample() const;
    U64 GetCaptureSampleCount() const; // samples in the capture
    U32 GetSimulationSampleRate() const; // 0 without one; at most 2^32-1

    // Waits until an active run has ended (after asking it to stop) and its
    // worker has let go of the analyzer: the analyzer may be deleted as soon
    // as it returns, unless another thread has started a later run by then.
    // It waits for the run it stopped only: a later run, which a host may
    // start from another thread as soon as that one has ended, goes on.
    // The destructor of a plug-in's final class calls it first (see the top
    // of this file). Where that wait could never end it returns at once
    // instead, and the analyzer must not be deleted there: within
    // WorkerThread it asks the run to end; within the host's stopWorkThread
    // it only returns, the run having ended; within the host's
    // startWorkThread it asks the run to end, which it then does as
    // RunStopped once its thread enters RunWorkerThread, or as RunFailed
    // when the thread never starts.
    void KillThread();

protected:
    void SetAnalyzerSettings(AnalyzerSettings* settings);
    void SetAnalyzerResults(AnalyzerResults* results);

private:
    friend class AnalyzerChannelData;
    Analyzer(const Analyzer&) = delete;
    Analyzer& operator=(const Analyzer&) = delete;
    [[noreturn]] void endRun(AnalyzerRunEnd why);
    bool runsOnThisThread() const;    // through the host's end report
    bool decodesOnThisThread() const; // within WorkerThread
    bool startsOnThisThread() const;  // within the host's startWorkThread
    void markRunEnded();              // the run's thread lets go of the run
    void clearCursors();
    U64 activityMark() const;

    DeviceCollection* mData;
    ProgressManager* mProgress;
    AnalyzerSettings* mSettings;
    std::atomic<AnalyzerResults*> mResults;
    std::vector<AnalyzerChannelData*> mCursors; // indexed by channel, owned
    U64 mSampleRate;
    U64 mTrigger;
    U64 mDepth;
    U64 mSimulationRate;
    U64 mProgressCalls;
    U64 mIdleMark;
    bool mIdleMarkValid;
    std::atomic<bool> mStopRequested;
    std::atomic<bool> mRunActive;
    bool mRunEntered; // the active run's thread is in RunWorkerThread (under mRunMutex)
    std::atomic<U64> mRunId;
    std::atomic<int> mRunEnd;
    std::mutex mRunMutex;
    std::condition_variable mRunEnded;
};

#endif
