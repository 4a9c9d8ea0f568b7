#include "ChunkedStore.h"

#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000 // Linux 4.17; older kernels take it as a hint
#endif

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

// Large chunks of deleted results, kept for the next decode: a re-run (new
// settings, same capture) needs the same chunk sizes again and then finds
// their pages still resident instead of faulting in fresh zeroed memory,
// which costs more than the decode loop itself (under virtualisation the
// first write to a fresh page traps to the host: several times the time
// the decoder spends filling it). A chunk of another size, which another
// decoder or a larger capture asks for, is assembled from the spares' pages
// (moved, not copied), so it too is faulted in only where the spares fall
// short. Spares stay resident as they are: handing them to the kernel as
// lazily freeable (MADV_FREE) made the next write to every page as slow as
// a fresh fault under virtualisation, which undid the reuse. Only chunks of
// at least kLarge bytes, which small captures never make, are kept, and at
// most 1 GiB or 1/16 of the memory.
//
// They are memory the rest of the machine may need, so they are given back
// as soon as no results object is left to reuse them, and otherwise once no
// chunk has been taken or kept for kIdle (a re-run follows its deletion at
// once; a delay longer than that means the user moved on). They also hold
// address space and mappings, which a limit (ulimit -v, vm.max_map_count)
// may leave short: a chunk that cannot be had gives them all back and is
// tried once more before the decode fails.
constexpr int kMaxSpares = 64;
constexpr std::chrono::seconds kIdle(10);
struct Spare {
    void* p;
    size_t len;
};
std::mutex gSpareMutex;
std::condition_variable gSpareWake; // the trimmer's: spares kept, or the end
Spare gSpares[kMaxSpares];
int gSpareCount = 0;
size_t gSpareBytes = 0;
int gUsers = 0; // live results objects
std::chrono::steady_clock::time_point gLastUse;

size_t spareCap()
{
    static const size_t cap = [] {
        long pages = sysconf(_SC_PHYS_PAGES);
        size_t mem = pages > 0 ? size_t(pages) * pageSize() : 0;
        return std::min(size_t(1) << 30, mem / 16);
    }();
    return cap;
}

// Empties the list (under the lock) into `out`, whose mappings the caller
// unmaps after unlocking: other decoders need not wait for that.
int takeAllSparesLocked(Spare* out)
{
    const int n = gSpareCount;
    std::copy(gSpares, gSpares + n, out);
    gSpareCount = 0;
    gSpareBytes = 0;
    return n;
}

void unmapSpares(const Spare* s, int n)
{
    for (int i = 0; i < n; ++i)
        munmap(s[i].p, s[i].len);
}

void giveBackSpares()
{
    Spare out[kMaxSpares];
    int n;
    {
        std::lock_guard<std::mutex> lock(gSpareMutex);
        n = takeAllSparesLocked(out);
    }
    unmapSpares(out, n);
}

// Gives the spares back once they have lain unused for kIdle; sleeps while
// there are none. Runs from the first kept spare to the library's unload.
class Trimmer {
public:
    Trimmer() { pthread_atfork(forkPrepare, forkParent, forkChild); }
    ~Trimmer()
    {
        {
            std::lock_guard<std::mutex> lock(gSpareMutex);
            mStop = true;
        }
        gSpareWake.notify_all();
        if (mThread.joinable())
            mThread.join();
    }
    // Under the lock. False when the system refuses the thread: then
    // nothing would give spares back, so none may be kept (the caller
    // gives its chunk back at once), and the next chunk to keep tries
    // again.
    bool startLocked()
    {
        if (mThread.joinable())
            return true;
        try {
            mThread = std::thread([this] { run(); });
        } catch (...) {
            return false;
        }
        return true;
    }

private:
    // A forked child has only the thread that forked: no trimmer, though
    // the copied condition may still count the parent's as its waiter (its
    // destruction at the child's exit would wait for it for ever) and the
    // copied thread handle names it. The forking thread holds the lock
    // across the fork, so that the child's copy of the spares is whole; the
    // child gets a fresh condition and no trimmer (one starts when it keeps
    // a spare).
    static void forkPrepare() { gSpareMutex.lock(); }
    static void forkParent() { gSpareMutex.unlock(); }
    static void forkChild();

    void run()
    {
        std::unique_lock<std::mutex> lock(gSpareMutex);
        while (!mStop) {
            if (gSpareCount == 0) {
                gSpareWake.wait(lock);
                continue;
            }
            const auto due = gLastUse + kIdle;
            if (std::chrono::steady_clock::now() < due) {
                gSpareWake.wait_until(lock, due);
                continue;
            }
            Spare out[kMaxSpares];
            const int n = takeAllSparesLocked(out);
            lock.unlock();
            unmapSpares(out, n);
            lock.lock();
        }
    }
    std::thread mThread;
    bool mStop = false; // under gSpareMutex
};
Trimmer gTrimmer; // after the globals it uses, so destroyed before them

void Trimmer::forkChild()
{
    // Made anew over the old ones, which must not be destroyed (see above).
    ::new (&gSpareWake) std::condition_variable();
    ::new (&gTrimmer.mThread) std::thread();
    gSpareMutex.unlock();
}

void* takeSpare(size_t len)
{
    std::lock_guard<std::mutex> lock(gSpareMutex);
    for (int i = gSpareCount - 1; i >= 0; --i) { // the newest first
        if (gSpares[i].len != len)
            continue;
        gLastUse = std::chrono::steady_clock::now();
        void* p = gSpares[i].p;
        for (int j = i + 1; j < gSpareCount; ++j)
            gSpares[j - 1] = gSpares[j];
        --gSpareCount;
        gSpareBytes -= len;
        return p;
    }
    return nullptr;
}

bool keepSpare(void* p, size_t len)
{
    {
        std::lock_guard<std::mutex> lock(gSpareMutex);
        // Results give their chunks back before they stop counting as a
        // user (removeUser), so a kept chunk is seen there when they were
        // the last.
        if (gSpareCount >= kMaxSpares || gSpareBytes + len > spareCap() || !gTrimmer.startLocked())
            return false;
        gSpares[gSpareCount++] = Spare{p, len};
        gSpareBytes += len;
        gLastUse = std::chrono::steady_clock::now();
    }
    gSpareWake.notify_all();
    return true;
}

// Maps len bytes (a multiple of kLarge) on a kLarge boundary; null when
// the system refuses.
char* mapAligned(size_t len)
{
    // Over-map by one huge page and cut the ends to align the chunk.
    void* m = mmap(nullptr, len + kLarge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED)
        return nullptr;
    char* raw = static_cast<char*>(m);
    char* p = reinterpret_cast<char*>(roundUp(reinterpret_cast<uintptr_t>(raw), kLarge));
    if (p > raw)
        munmap(raw, size_t(p - raw));
    const size_t tail = size_t(raw + len + kLarge - (p + len));
    if (tail)
        munmap(p + len, tail);
#ifdef MADV_HUGEPAGE
    madvise(p, len, MADV_HUGEPAGE);
#endif
    return p;
}

// Moves resident pages of spares, newest first, to the start of the new
// mapping [p, p + len) (all multiples of kLarge, aligned to it). Returns
// false when a move failed and its destination could not be mapped again;
// the rest of [p, p + len) is then unmapped, and the caller starts afresh.
bool fillFromSpares(char* p, size_t len)
{
    std::lock_guard<std::mutex> lock(gSpareMutex);
    size_t filled = 0;
    while (filled < len && gSpareCount > 0) {
        Spare& s = gSpares[gSpareCount - 1];
        char* to = p + filled;
        // One huge page at a time: a spare assembled earlier spans several
        // mappings, and a move must stay within one.
        if (mremap(s.p, kLarge, kLarge, MREMAP_MAYMOVE | MREMAP_FIXED, to) == MAP_FAILED) {
            // The spare stays as it was. The failed move may have unmapped
            // its destination, and another thread may have mapped something
            // there since: map afresh only into a hole. Where something
            // stands, it may be our page or theirs; leave it (address space
            // only, never written) and let go of what is surely ours.
            void* m = mmap(to, kLarge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE,
                           -1, 0);
            if (m == to)
                return true;
            if (m != MAP_FAILED) // a kernel that takes the address as a hint only
                munmap(m, kLarge);
            if (filled)
                munmap(p, filled);
            if (len > filled + kLarge)
                munmap(to + kLarge, len - filled - kLarge);
            return false;
        }
        if (filled == 0)
            gLastUse = std::chrono::steady_clock::now();
        filled += kLarge;
        gSpareBytes -= kLarge;
        s.p = static_cast<char*>(s.p) + kLarge;
        s.len -= kLarge;
        if (s.len == 0)
            --gSpareCount;
    }
    return true;
}

} // namespace

// Large chunks are mapped directly, so that they can be prefaulted and go
// back to the system (or to the spares) when the results are deleted. They
// start on a 2 MiB boundary and ask for transparent huge pages: under
// virtualisation the first write to every fresh small page costs a trip
// through the host (several microseconds, more than the decoder spends on
// the frames that fill it), a huge page one trip for 512 of them; re-runs
// into kept chunks also miss the TLB less. Where the kernel offers no huge
// pages the advice fails harmlessly and small pages are used.
void* allocate(size_t bytes)
{
    if (bytes < kLarge) {
        if (void* p = ::operator new(bytes, std::nothrow))
            return p;
        giveBackSpares();
        return ::operator new(bytes);
    }
    const size_t len = roundUp(bytes, kLarge);
    if (void* spare = takeSpare(len))
        return spare;
    char* p = mapAligned(len);
    if (p && !fillFromSpares(p, len))
        p = mapAligned(len); // without the spares this time
    if (!p) {
        // Out of address space or of mappings, which the spares hold:
        // without them a chunk costs fresh page faults, no more.
        giveBackSpares();
        p = mapAligned(len);
    }
    if (!p)
        throw std::bad_alloc();
    return p;
}

void release(void* p, size_t bytes, size_t used)
{
    if (!p)
        return;
    if (bytes < kLarge) {
        ::operator delete(p);
        return;
    }
    // Only the part the writer reached is resident and worth keeping.
    const size_t len = roundUp(bytes, kLarge);
    const size_t keep = std::min(len, roundUp(used, kLarge));
    if (keep < len)
        munmap(static_cast<char*>(p) + keep, len - keep);
    if (keep > 0 && !keepSpare(p, keep))
        munmap(p, keep);
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

void addUser()
{
    std::lock_guard<std::mutex> lock(gSpareMutex);
    ++gUsers;
}

void removeUser()
{
    Spare out[kMaxSpares];
    int n = 0;
    {
        std::lock_guard<std::mutex> lock(gSpareMutex);
        if (--gUsers == 0)
            n = takeAllSparesLocked(out);
    }
    unmapSpares(out, n);
}

} // namespace chunkmem
