#include "data/Threads.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace Threads {

bool start(QThread* t, QThread::Priority priority)
{
    t->start(priority);
    // A refused thread is neither running nor finished; one that started
    // may have finished already.
    return t->isRunning() || t->isFinished();
}

void runParallel(int count, int threads, const std::function<void(int)>& fn)
{
    std::atomic<int> next{0};
    auto work = [&] {
        for (int i = next++; i < count; i = next++)
            fn(i);
    };
    std::vector<std::thread> helpers;
    // Where the system refuses some, the rest runs here.
    startUpTo(helpers, size_t(std::max(0, std::min(threads, count) - 1)), work);
    work();
    for (std::thread& h : helpers)
        h.join();
}

Pool::Pool(int maxHelpers) : mMax(std::max(0, maxHelpers)) {}

Pool::~Pool()
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mQuit = true;
    }
    mWake.notify_all();
    for (std::thread& t : mThreads)
        t.join();
}

int Pool::helperCount() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return int(mThreads.size());
}

void Pool::loop(unsigned seen)
{
    std::unique_lock<std::mutex> lock(mMutex);
    for (;;) {
        // One share of a job per helper: a helper back from its share waits
        // for the next job.
        mWake.wait(lock, [&] { return mQuit || (mGeneration != seen && mWanted > 0); });
        if (mQuit)
            return;
        seen = mGeneration;
        --mWanted;
        ++mActive;
        const std::function<void()>* job = mJob;
        lock.unlock();
        (*job)();
        lock.lock();
        if (--mActive == 0)
            mDone.notify_all();
    }
}

void Pool::run(int helpers, const std::function<void()>& work)
{
    helpers = std::min(std::max(0, helpers), mMax);
    {
        std::lock_guard<std::mutex> lock(mMutex);
        // Started for the job announced below, not for the last one; the
        // ones refused leave fewer helpers this time.
        const unsigned generation = mGeneration;
        startUpTo(mThreads, size_t(helpers), [this, generation] { loop(generation); });
        helpers = std::min(helpers, int(mThreads.size()));
        mJob = &work;
        mWanted = helpers;
        ++mGeneration;
    }
    if (helpers > 0)
        mWake.notify_all();
    work();
    std::unique_lock<std::mutex> lock(mMutex);
    // Shares not taken yet have nothing left to do.
    mWanted = 0;
    mDone.wait(lock, [&] { return mActive == 0; });
    mJob = nullptr;
}

}
