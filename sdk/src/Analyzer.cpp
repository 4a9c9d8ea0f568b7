#include "Analyzer.h"

#include <cxxabi.h>
#include <limits>

#include "RunControl.h"

namespace anlyrun {
thread_local Analyzer* running = nullptr;
thread_local Analyzer* decoding = nullptr;
thread_local Analyzer* starting = nullptr;
}

ProgressManager::~ProgressManager() = default;

Analyzer::Analyzer()
    : mData(nullptr), mProgress(nullptr), mSettings(nullptr), mResults(nullptr), mSampleRate(0), mTrigger(0),
      mDepth(0), mSimulationRate(0), mProgressCalls(0), mIdleMark(0), mIdleMarkValid(false),
      mStopRequested(false), mRunActive(false), mRunEntered(false), mRunId(0), mRunEnd(RunNotEnded)
{
}

Analyzer::~Analyzer()
{
    KillThread();
    clearCursors();
}

const char* Analyzer::GetAnalyzerVersion() const
{
    return "Corvena analyzer library 1.0";
}

bool Analyzer::NeedsRerun()
{
    return false;
}

void Analyzer::SetupResults()
{
}

void Analyzer::Init(DeviceCollection* data, const U64* simulation_sample_rate, ProgressManager* progress_manager)
{
    mData = data;
    mSimulationRate = simulation_sample_rate ? *simulation_sample_rate : 0;
    mProgress = progress_manager;
    InitialWorkerThread();
}

void Analyzer::InitialWorkerThread()
{
    if (mRunActive.load())
        return;
    mDepth = mData && mData->smpDepth > 0 ? U64(mData->smpDepth) : 0;
    mSampleRate = mData && mData->smpFrequ > 0 ? U64(mData->smpFrequ) : 0;
    mTrigger = mData && mData->trgPosition > 0 ? U64(mData->trgPosition) : 0;
    clearCursors();
    mIdleMarkValid = false;
    mProgressCalls = 0;
}

bool Analyzer::StartProcessing()
{
    {
        std::lock_guard<std::mutex> lock(mRunMutex);
        if (mRunActive.load())
            return false;
        // Rewound before the run shows as active: a stop asked by a thread
        // that sees it active, or a KillThread (which takes the lock), is
        // never undone.
        mStopRequested.store(false);
        mRunEnd.store(RunNotEnded);
        mRunId.fetch_add(1);
        mIdleMarkValid = false;
        mRunEntered = false;
        mRunActive.store(true);
    }
    if (!mProgress) {
        RunWorkerThread();
        return true;
    }
    {
        const anlyrun::Mark start(anlyrun::starting, this);
        try {
            mProgress->startWorkThread();
        } catch (...) {
            // The host's own error goes back to the host, but never with a
            // run left waiting for a thread that will not come. A forced
            // unwind passes the same way. Nothing here touches the analyzer
            // after the run has ended: a KillThread released by it may
            // delete it.
            EndRunWithoutThread();
            throw;
        }
    }
    return true;
}

// The handler of a forced unwind binds a reference to an exception that
// has no object; the undefined-behaviour checker would take it for a null
// reference.
__attribute__((no_sanitize("null"))) void Analyzer::RunWorkerThread()
{
    {
        // A run the host has ended as never started is not run late.
        std::lock_guard<std::mutex> lock(mRunMutex);
        if (!mRunActive.load() || mRunEntered)
            return;
        mRunEntered = true;
    }
    // Both marks are only this thread's, not the analyzer's: they may be
    // put back after the run has ended and the analyzer is gone.
    const anlyrun::Mark run(anlyrun::running, this);
    AnalyzerRunEnd why = RunFinished;
    {
        const anlyrun::Mark decode(anlyrun::decoding, this);
        try {
            if (mStopRequested.load())
                why = RunStopped;
            else
                WorkerThread();
        } catch (const anlyrun::RunEndSignal& e) {
            why = e.why;
        } catch (abi::__forced_unwind&) {
            // The thread is being cancelled or exits: it must go on
            // unwinding, and the run ends with it, unreported (the host's
            // code is not run on a thread that is being torn down).
            mRunEnd.store(RunFailed);
            markRunEnded();
            throw;
        } catch (...) {
            why = RunFailed;
        }
    }
    mRunEnd.store(why);
    try {
        if (mProgress)
            mProgress->stopWorkThread();
    } catch (...) {
        // The host's error is the host's to see; the run is over all the
        // same, or nothing could ever start or delete the analyzer again.
        markRunEnded();
        throw;
    }
    markRunEnded();
}

void Analyzer::markRunEnded()
{
    // The last touch of the analyzer by the run's thread: notified under
    // the lock, so a KillThread that sees the run ended (it always takes
    // the lock) finds this thread done with the mutex and the condition,
    // and its caller may delete the analyzer at once.
    std::lock_guard<std::mutex> lock(mRunMutex);
    mRunActive.store(false);
    mRunEnded.notify_all();
}

bool Analyzer::EndRunWithoutThread()
{
    // Under the lock that RunWorkerThread takes to enter the run: either
    // the thread has the run, or it finds it ended and leaves at once.
    std::lock_guard<std::mutex> lock(mRunMutex);
    if (!mRunActive.load() || mRunEntered)
        return false;
    mRunEnd.store(RunFailed);
    mRunActive.store(false);
    mRunEnded.notify_all();
    return true;
}

void Analyzer::StopWorkerThread()
{
    mStopRequested.store(true);
    // Cursor steps look at the request only on their out-of-line path. A
    // decoder that stops its own run must not take another step: send its
    // cursors there (they belong to this thread, so touching them is safe).
    if (decodesOnThisThread())
        for (AnalyzerChannelData* c : mCursors)
            if (c)
                c->leaveFastPath();
}

bool Analyzer::IsRunActive() const
{
    return mRunActive.load();
}

U64 Analyzer::GetRunId() const
{
    return mRunId.load();
}

bool Analyzer::StopWasRequested() const
{
    return mStopRequested.load();
}

AnalyzerRunEnd Analyzer::GetRunEnd() const
{
    return AnalyzerRunEnd(mRunEnd.load());
}

void Analyzer::KillThread()
{
    // On the run's own thread a wait would never end. In the decode, ask
    // it to end; in the host's end report, it has ended already.
    if (runsOnThisThread()) {
        if (decodesOnThisThread())
            StopWorkerThread();
        return;
    }
    // Within the host's startWorkThread the run's thread may not have
    // been started, and need not be before this call returns: a wait could
    // never end either. The stop holds whenever the thread comes.
    if (startsOnThisThread()) {
        StopWorkerThread();
        return;
    }
    // Taken even when no run seems active: a worker that has just ended
    // its run may still hold it (see RunWorkerThread).
    std::unique_lock<std::mutex> lock(mRunMutex);
    if (!mRunActive.load())
        return;
    StopWorkerThread();
    // The run stopped here, not "no run": a host may start the next one
    // from another thread as soon as this one has ended, and nobody asked
    // that one to stop. Run ids change only under the lock, and only once
    // the run before has ended.
    const U64 run = mRunId.load();
    mRunEnded.wait(lock, [this, run] { return !mRunActive.load() || mRunId.load() != run; });
}

AnalyzerSettings* Analyzer::GetAnalyzerSettings() const
{
    return mSettings;
}

bool Analyzer::GetAnalyzerResults(AnalyzerResults** analyzer_results) const
{
    AnalyzerResults* r = mResults.load();
    if (analyzer_results)
        *analyzer_results = r;
    return r != nullptr;
}

void Analyzer::SetAnalyzerSettings(AnalyzerSettings* settings)
{
    mSettings = settings;
}

void Analyzer::SetAnalyzerResults(AnalyzerResults* results)
{
    mResults.store(results);
}

bool Analyzer::runsOnThisThread() const
{
    return anlyrun::running == this;
}

bool Analyzer::decodesOnThisThread() const
{
    return anlyrun::decoding == this;
}

bool Analyzer::startsOnThisThread() const
{
    return anlyrun::starting == this;
}

void Analyzer::endRun(AnalyzerRunEnd why)
{
    throw anlyrun::RunEndSignal{why};
}

void Analyzer::clearCursors()
{
    for (AnalyzerChannelData* c : mCursors)
        delete c;
    mCursors.clear();
}

AnalyzerChannelData* Analyzer::GetAnalyzerChannelData(const Channel& channel)
{
    bool inRun = decodesOnThisThread();
    if (inRun && mStopRequested.load())
        endRun(RunStopped);
    U32 index = channel.mChannelIndex;
    int count = mData && mData->chnData && mData->chnNum > 0 ? mData->chnNum : 0;
    if (channel.IsUndefined() || index >= U32(count) || !mData->chnData[index]) {
        if (inRun)
            endRun(RunNoChannel);
        return nullptr;
    }
    if (index >= mCursors.size())
        mCursors.resize(size_t(index) + 1, nullptr);
    if (!mCursors[index])
        mCursors[index] = new AnalyzerChannelData(this, mData->chnData[index]);
    AnalyzerChannelData* c = mCursors[index];
    if (c->mEndPos <= 0) { // nothing captured on this channel
        if (inRun)
            endRun(RunNoChannel);
        return nullptr;
    }
    return c;
}

U64 Analyzer::activityMark() const
{
    U64 m = mProgressCalls;
    for (const AnalyzerChannelData* c : mCursors)
        if (c)
            m += U64(c->mSample) + 1;
    AnalyzerResults* r = mResults.load();
    if (r)
        m += r->activityMark();
    return m;
}

void Analyzer::ReportProgress(U64 sample_number)
{
    ++mProgressCalls;
    if (mStopRequested.load() && decodesOnThisThread())
        endRun(RunStopped);
    if (!mProgress)
        return;
    double p = mDepth ? double(sample_number) / double(mDepth) : 0.0;
    mProgress->reportProgress(p > 1.0 ? 1.0 : p);
}

void Analyzer::CheckIfThreadShouldExit()
{
    if (!decodesOnThisThread())
        return;
    if (mStopRequested.load())
        endRun(RunStopped);
    U64 mark = activityMark();
    if (mIdleMarkValid && mark == mIdleMark)
        endRun(RunFinished);
    mIdleMark = mark;
    mIdleMarkValid = true;
}

U64 Analyzer::GetSampleRate() const
{
    return mSampleRate;
}

U64 Analyzer::GetTriggerSample() const
{
    return mTrigger;
}

U64 Analyzer::GetCaptureSampleCount() const
{
    return mDepth;
}

U32 Analyzer::GetSimulationSampleRate() const
{
    return mSimulationRate > std::numeric_limits<U32>::max() ? std::numeric_limits<U32>::max()
                                                              : U32(mSimulationRate);
}
