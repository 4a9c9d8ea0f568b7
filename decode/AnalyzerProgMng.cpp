#include "decode/AnalyzerProgMng.h"

#include "data/Threads.h"

namespace {
std::atomic<quint64> gNextRunToken{0};
}

AnalyzerProgMng::AnalyzerProgMng(Analyzer* anly, QObject* parent)
    : QThread(parent), mAnly(anly), mProgress(0.0), mRunToken(0), mRefused(false)
{
}

AnalyzerProgMng::~AnalyzerProgMng()
{
    // The owner stops the run first; never leave a running QThread behind.
    if (isRunning()) {
        if (mAnly)
            mAnly->StopWorkerThread();
        wait();
    }
}

void AnalyzerProgMng::startWorkThread()
{
    // The thread of the previous run may still be leaving run() after the
    // library has marked that run as ended; QThread::start on a running
    // thread would silently do nothing.
    if (isRunning())
        wait();
    mProgress.store(0.0);
    mRunToken.store(++gNextRunToken);
    mRefused.store(false);
    if (Threads::start(this, QThread::InheritPriority))
        return;
    // The system refused the thread: the run ends here, as failed, so that
    // nothing (a later run, KillThread, the analyzer's destructor) waits for
    // a thread that will never come.
    mRefused.store(true);
    if (mAnly)
        mAnly->EndRunWithoutThread();
}

void AnalyzerProgMng::run()
{
    if (mAnly)
        mAnly->RunWorkerThread();
}

void AnalyzerProgMng::stopWorkThread()
{
    // Only the run on this object's own thread is reported.
    if (QThread::currentThread() != this || !mAnly)
        return;
    // A stopped run is acknowledged by simply returning: the stopping side
    // waits for this thread to end. Only a run that ended by itself is
    // announced, with the token of that run.
    if (mAnly->StopWasRequested())
        return;
    emit sigStopWorkThread(this, mAnly, mRunToken.load());
}

void AnalyzerProgMng::reportProgress(double progress)
{
    mProgress.store(progress);
}

double AnalyzerProgMng::getReportProgress() const
{
    return mProgress.load();
}
