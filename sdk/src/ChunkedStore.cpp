#include "ChunkedStore.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace chunkmem {

namespace {

size_t roundUp(size_t n, size_t to)
{
    return (n + to - 1) / to * to;
}

size_t pageSize()
{
    static const size_t size = [] {
        long s = sysconf(_SC_PAGESIZE);
        return s > 0 ? size_t(s) : size_t(4096);
    }();
    return size;
}

} // namespace

// Large chunks are mapped directly, so that they go back to the system as
// soon as the results are deleted, and so that they can be prefaulted.
// (Transparent huge pages were tried: under virtualisation each fresh 2 MiB
// page costs the host more than the small-page faults it saves.)
void* allocate(size_t bytes)
{
    if (bytes < kLarge)
        return ::operator new(bytes);
    void* p = mmap(nullptr, roundUp(bytes, pageSize()), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    return p;
}

void release(void* p, size_t bytes)
{
    if (!p)
        return;
    if (bytes < kLarge)
        ::operator delete(p);
    else
        munmap(p, roundUp(bytes, pageSize()));
}

void prefault(void* p, size_t bytes)
{
#ifdef MADV_POPULATE_WRITE
    // One call makes the whole window resident: much cheaper than a trap
    // per page (kernels before 5.14 refuse it; the pages then fault in on
    // first write as usual).
    const size_t page = pageSize();
    const uintptr_t from = uintptr_t(p) / page * page;
    const uintptr_t to = roundUp(uintptr_t(p) + bytes, page);
    madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#else
    (void)p;
    (void)bytes;
#endif
}

} // namespace chunkmem
