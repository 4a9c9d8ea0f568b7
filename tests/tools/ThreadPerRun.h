#ifndef THREADPERRUN_H
#define THREADPERRUN_H
// The plainest host of decode runs: a thread of its own for each run,
// started once the last run's thread has left (its run has ended, so it is
// on its way out), and joined at the latest with the host.

#include <thread>

#include "Analyzer.h"

class ThreadPerRun : public ProgressManager {
public:
    explicit ThreadPerRun(Analyzer* analyzer) : mAnalyzer(analyzer) {}
    ~ThreadPerRun() override { join(); }
    void startWorkThread() override
    {
        join();
        Analyzer* a = mAnalyzer;
        mThread = std::thread([a] { a->RunWorkerThread(); });
    }
    void stopWorkThread() override {}
    void reportProgress(double) override {}
    void join()
    {
        if (mThread.joinable())
            mThread.join();
    }

private:
    Analyzer* mAnalyzer;
    std::thread mThread;
};

#endif
