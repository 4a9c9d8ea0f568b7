#include "RefuseThreads.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace {

using CreateFn = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

std::atomic<int> gRefuse{0};
std::atomic<long> gRefused{0};
std::atomic<long> gStarted{0};
// The process's first thread: the libraries' constructors run on it.
const pthread_t gFirstThread = pthread_self();

constexpr long kUnseen = -1;
// Threads the refusal file still lets start; kUnseen while it is absent.
std::atomic<long> gFileBudget{kUnseen};

long readBudget(const char* file)
{
    char text[32] = {};
    const int fd = ::open(file, O_RDONLY);
    if (fd < 0)
        return 0;
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    return n > 0 ? std::max(0L, std::atol(text)) : 0;
}

bool refusedByFile()
{
    static const char* const file = std::getenv("CORVENA_REFUSE_THREADS_FILE");
    if (!file || !*file)
        return false;
    if (::access(file, F_OK) != 0) {
        gFileBudget.store(kUnseen);
        return false;
    }
    long budget = gFileBudget.load();
    if (budget == kUnseen) {
        long unseen = kUnseen;
        gFileBudget.compare_exchange_strong(unseen, readBudget(file));
        budget = gFileBudget.load();
    }
    while (budget > 0)
        if (gFileBudget.compare_exchange_weak(budget, budget - 1))
            return false;
    return true;
}

bool refuseNow()
{
    const int mode = gRefuse.load();
    if (mode == 1 || (mode == 2 && !pthread_equal(pthread_self(), gFirstThread)))
        return true;
    if (refusedByFile())
        return true;
    static const char* const after = std::getenv("CORVENA_REFUSE_THREADS_AFTER");
    if (after && *after && gStarted.load() >= std::atol(after))
        return true;
    return false;
}

} // namespace

extern "C" {

void refuseThreads(int mode)
{
    gRefuse.store(mode);
}

long refusedThreads(void)
{
    return gRefused.load();
}

__attribute__((visibility("default"))) int pthread_create(pthread_t* thread, const pthread_attr_t* attr,
                                                          void* (*start)(void*), void* arg)
{
    static const CreateFn next = reinterpret_cast<CreateFn>(::dlsym(RTLD_NEXT, "pthread_create"));
    if (refuseNow() || !next) {
        gRefused.fetch_add(1);
        return EAGAIN;
    }
    const int rc = next(thread, attr, start, arg);
    if (rc == 0)
        gStarted.fetch_add(1);
    return rc;
}

}
