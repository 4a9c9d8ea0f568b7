#include "data/Threads.h"

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
    for (int k = 1; k < std::min(threads, count); ++k) {
        std::thread h;
        if (!start(h, work))
            break;   // no more threads: the rest runs here
        helpers.push_back(std::move(h));
    }
    work();
    for (std::thread& h : helpers)
        h.join();
}

}
