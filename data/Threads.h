#ifndef THREADS_H
#define THREADS_H
// Starting threads where the system may refuse one (a per-user process
// limit, a container's task limit, an address-space limit): every caller
// learns of the refusal and decides what to do without the thread.

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace Threads {

// Starts `t` running f(args...): true; false, and `t` left empty, when the
// system refuses the thread.
template <typename F, typename... A>
bool start(std::thread& t, F&& f, A&&... args)
{
    try {
        t = std::thread(std::forward<F>(f), std::forward<A>(args)...);
        return true;
    } catch (const std::system_error&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// QThread::start that says whether the thread started (Qt only prints
// "QThread::start: Thread creation error"). False leaves `t` not running:
// its wait() returns at once and its finished() never comes.
bool start(QThread* t, QThread::Priority priority = QThread::InheritPriority);

// Starts threads running fn() into `into` until it holds `total` of them or
// the system refuses one.
template <typename F>
void startUpTo(std::vector<std::thread>& into, size_t total, const F& fn)
{
    while (into.size() < total) {
        std::thread t;
        if (!start(t, fn))
            return;
        into.push_back(std::move(t));
    }
}

// Starts up to `count` threads running fn() into `into`, each counted in
// `running` from before it starts until fn() has returned (so a waiter that
// polls `running` never misses one); stops at the first refusal.
template <typename F>
void startCounted(std::vector<std::thread>& into, int count, std::atomic<int>& running, F fn)
{
    for (int i = 0; i < count; ++i) {
        std::thread t;
        ++running;
        if (!start(t, [&running, fn] {
                fn();
                --running;
            })) {
            --running;
            return;
        }
        into.push_back(std::move(t));
    }
}

// Runs fn(0) .. fn(count - 1) on up to `threads` threads, the calling
// thread taking its share; the share of a thread the system refuses is run
// by the others. Returns once every call has returned.
void runParallel(int count, int threads, const std::function<void(int)>& fn);

// Helper threads kept between jobs (a waveform frame is too short to start
// threads for). A helper the system refuses is simply not there: its share
// is done by the others and the calling thread, and the next job tries to
// start it again. Jobs come from one thread at a time.
class Pool
{
public:
    explicit Pool(int maxHelpers);
    ~Pool();
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    int maxHelpers() const { return mMax; }
    // Helpers that have started so far.
    int helperCount() const;
    // Runs work() on the calling thread and on up to `helpers` helpers at
    // once; returns when every call that began has returned. work() takes
    // its items from a shared counter: a helper that wakes after the
    // calling thread has finished is not waited for.
    void run(int helpers, const std::function<void()>& work);

private:
    void loop(unsigned seen);

    const int mMax;
    mutable std::mutex mMutex;
    std::condition_variable mWake;
    std::condition_variable mDone;
    std::vector<std::thread> mThreads;
    const std::function<void()>* mJob = nullptr;
    unsigned mGeneration = 0;
    int mWanted = 0;   // helpers the current job may still take
    int mActive = 0;   // helpers inside the current job
    bool mQuit = false;
};

}

#endif
