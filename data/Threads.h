#ifndef THREADS_H
#define THREADS_H
// Starting threads where the system may refuse one (a per-user process
// limit, a container's task limit, an address-space limit): every caller
// learns of the refusal and decides what to do without the thread.

#include <QThread>

#include <functional>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

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

// Runs fn(0) .. fn(count - 1) on up to `threads` threads, the calling
// thread taking its share; the share of a thread the system refuses is run
// by the others. Returns once every call has returned.
void runParallel(int count, int threads, const std::function<void(int)>& fn);

}

#endif
