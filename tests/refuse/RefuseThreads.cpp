#include "RefuseThreads.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>

namespace {

using CreateFn = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

std::atomic<int> gRefuse{0};
std::atomic<long> gRefused{0};
std::atomic<long> gStarted{0};
// The process's first thread: the libraries' constructors run on it.
const pthread_t gFirstThread = pthread_self();

bool refuseNow()
{
    const int mode = gRefuse.load();
    if (mode == 1 || (mode == 2 && !pthread_equal(pthread_self(), gFirstThread)))
        return true;
    static const char* const file = std::getenv("CORVENA_REFUSE_THREADS_FILE");
    if (file && *file && ::access(file, F_OK) == 0)
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
