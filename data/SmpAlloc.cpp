#include "data/SmpAlloc.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <sys/mman.h>

#include "data/SmpTables.h"
#include "data/Threads.h"

#if defined(__SANITIZE_ADDRESS__)
#define SMP_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SMP_ASAN 1
#endif
#endif

#ifdef SMP_ASAN
// Free slots and the unused tail of each slot are poisoned, so that the
// sanitizer still reports use after free and overruns inside the pool.
#include <sanitizer/asan_interface.h>
#define SMP_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define SMP_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define SMP_POISON(p, n) ((void)(p), (void)(n))
#define SMP_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

static_assert(sizeof(DigitalDataBlock) <= SmpBlockPool::kSlotBytes, "a block must fit a slot");
static_assert(sizeof(DigitalDataGroup) <= SmpBlockPool::kSlotBytes, "a group table must fit a slot");
static_assert(SmpBlockPool::kSlotBytes % 64 == 0, "slots are cache-line aligned");
static_assert(SmpBlockPool::kSlotsPerRegion <= 65535, "slot numbers are 16-bit");

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace {
constexpr size_t kHugePage = size_t(2) << 20;
}

struct SmpBlockPool::Region {
    char* base = nullptr;
    uint32_t used = 0;                   // slots in use
    uint32_t fresh = 0;                  // slots [fresh, end) never handed out
    size_t populated = 0;                // bytes [0, populated) handed out or given to the helpers
    size_t refusedTo = 0;                // a request up to here found no helper: none again before its time
    int prefaulting = 0;                 // helpers working on it: not to be unmapped
    std::chrono::steady_clock::time_point idleSince;   // when used last fell to 0
    std::vector<uint16_t> freeSlots;     // freed slots, last freed first (warm pages)
    uint64_t inUse[(kSlotsPerRegion + 63) / 64] = {};

    bool hasRoom() const { return !freeSlots.empty() || fresh < kSlotsPerRegion; }
};

SmpBlockPool::SmpBlockPool(size_t retainBytes, int graceMs)
    : mGraceMs(graceMs < 0 ? 0 : graceMs), mRetainBytes(retainBytes)
{
    // A helper that has started is always kept: no growth can fail then.
    mPrefaulters.reserve(kPrefaultThreads);
}

SmpBlockPool::~SmpBlockPool()
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mStop = true;
    }
    mWake.notify_all();
    mPrefaultWake.notify_all();
    if (mTrimmer.joinable())
        mTrimmer.join();
    for (std::thread& t : mPrefaulters)
        t.join();
    std::lock_guard<std::mutex> lock(mMutex);
    while (!mRegions.empty())
        unmapLocked(mRegions.size() - 1);
}

void SmpBlockPool::trimmerLoop()
{
    std::unique_lock<std::mutex> lock(mMutex);
    while (!mStop) {
        if (mRetained <= mRetainBytes) {
            mWake.wait(lock);
            continue;
        }
        // The oldest idle region decides when to look again.
        Clock::time_point due = Clock::time_point::max();
        for (const auto& r : mRegions)
            if (r->used == 0 && r->idleSince < due)
                due = r->idleSince;
        due += std::chrono::milliseconds(mGraceMs);
        if (Clock::now() < due) {
            mWake.wait_until(lock, due);
            continue;
        }
        const size_t before = mRetained;
        shrinkLocked(mRetainBytes, true);
        // Nothing expired could go: a helper still populates it. Its end
        // wakes this loop; spinning here would hold the lock it needs.
        if (mRetained == before)
            mWake.wait(lock);
    }
}

void SmpBlockPool::prefaultLoop()
{
    std::unique_lock<std::mutex> lock(mMutex);
    while (!mStop) {
        if (mPrefaultJobs.empty()) {
            mPrefaultWake.wait(lock);
            continue;
        }
        const PrefaultJob job = mPrefaultJobs.front();
        mPrefaultJobs.erase(mPrefaultJobs.begin());
        Region* r = job.region;
        ++r->prefaulting;
        lock.unlock();
        // Only the kernel touches the pages: their contents stay as they are.
        madvise(r->base + job.offset, kHugePage, MADV_POPULATE_WRITE);
        lock.lock();
        --r->prefaulting;
        // A release or trim may be waiting for this region, or have skipped
        // it; with no trimmer to come back to it, it goes now. (Once stopping,
        // the destructor joins the trimmer and unmaps everything itself.)
        if (!mStop && mRetained > mRetainBytes && (mGraceMs == 0 || !mTrimmer.joinable()))
            shrinkLocked(mRetainBytes, false);
        mWake.notify_all();
    }
}

void SmpBlockPool::prefaultAfterLocked(Region* r)
{
    if (mPrefaultBytes == 0 || mStop)
        return;
    const size_t front = size_t(r->fresh) * kSlotBytes;
    if (front + mPrefaultBytes / 2 <= std::max(r->populated, r->refusedTo))
        return;   // far enough ahead: wake the helpers only now and then
    size_t want = (front + mPrefaultBytes + kHugePage - 1) & ~(kHugePage - 1);
    if (want > kRegionBytes)
        want = kRegionBytes;
    // Huge pages from the one after the front (that one the appender is
    // already in) or from where the last request ended.
    size_t from = (front + kHugePage - 1) & ~(kHugePage - 1);
    if (from < r->populated)
        from = r->populated;
    if (from >= want)
        return;
    Threads::startUpTo(mPrefaulters, kPrefaultThreads, [this] { prefaultLoop(); });
    if (mPrefaulters.empty()) {
        // No helper: the appender faults these pages itself, as without
        // pre-fault, and they count only once handed out. The helpers are
        // asked for again when the front has moved on as far as the next
        // request would have waited.
        r->refusedTo = want;
        return;
    }
    r->populated = want;
    for (size_t off = from; off < want; off += kHugePage)
        mPrefaultJobs.push_back(PrefaultJob{r, off});
    mPrefaultWake.notify_all();
}

void SmpBlockPool::setPrefaultBytes(size_t bytes)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mPrefaultBytes = bytes < kRegionBytes ? bytes : kRegionBytes;
}

SmpBlockPool& SmpBlockPool::store()
{
    static SmpBlockPool* pool = [] {
        auto* p = new SmpBlockPool();
        // A few huge pages ahead of the appender.
        p->setPrefaultBytes(size_t(8) << 20);
        return p;
    }();
    return *pool;
}

size_t SmpBlockPool::touchedBytes(const Region& r)
{
    const size_t handed = size_t(r.fresh) * kSlotBytes;
    return r.populated > handed ? r.populated : handed;
}

SmpBlockPool::Region* SmpBlockPool::mapRegion()
{
    // Over-map by one huge page and cut the ends so the region starts on a
    // 2 MB boundary: only aligned 2 MB ranges can become huge pages.
    const size_t len = kRegionBytes + kHugePage;
    void* m = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED)
        return nullptr;
    char* raw = static_cast<char*>(m);
    char* base = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(raw) + kHugePage - 1) & ~(kHugePage - 1));
    if (base > raw)
        munmap(raw, size_t(base - raw));
    const size_t tail = size_t(raw + len - (base + kRegionBytes));
    if (tail)
        munmap(base + kRegionBytes, tail);
    // Fails harmlessly where the kernel has no transparent huge pages.
    madvise(base, kRegionBytes, MADV_HUGEPAGE);
    SMP_POISON(base, kRegionBytes);

    auto r = std::make_unique<Region>();
    r->base = base;
    Region* out = r.get();
    auto at = std::upper_bound(mRegions.begin(), mRegions.end(), base,
                               [](const char* b, const std::unique_ptr<Region>& x) { return b < x->base; });
    mRegions.insert(at, std::move(r));
    return out;
}

void SmpBlockPool::unmapLocked(size_t i)
{
    Region* r = mRegions[i].get();
    mPrefaultJobs.erase(std::remove_if(mPrefaultJobs.begin(), mPrefaultJobs.end(),
                                       [r](const PrefaultJob& j) { return j.region == r; }),
                        mPrefaultJobs.end());
    if (r->used == 0)
        mRetained -= touchedBytes(*r);
    else
        mInUse -= r->used;
    SMP_UNPOISON(r->base, kRegionBytes);
    munmap(r->base, kRegionBytes);
    mRegions.erase(mRegions.begin() + std::ptrdiff_t(i));
}

void SmpBlockPool::shrinkLocked(size_t limit, bool onlyExpired)
{
    const Clock::time_point cut = Clock::now() - std::chrono::milliseconds(mGraceMs);
    // Highest addresses first: allocation prefers low regions, so the high
    // ones are the least likely to be wanted again soon.
    for (size_t i = mRegions.size(); i-- > 0 && mRetained > limit;)
        if (mRegions[i]->used == 0 && mRegions[i]->prefaulting == 0 &&
            (!onlyExpired || mRegions[i]->idleSince <= cut))
            unmapLocked(i);
}

SmpBlockPool::Region* SmpBlockPool::findLocked(const void* p) const
{
    const char* c = static_cast<const char*>(p);
    auto it = std::upper_bound(mRegions.begin(), mRegions.end(), c,
                               [](const char* b, const std::unique_ptr<Region>& x) { return b < x->base; });
    if (it == mRegions.begin())
        return nullptr;
    Region* r = (--it)->get();
    return c < r->base + kRegionBytes ? r : nullptr;
}

void* SmpBlockPool::allocate(size_t bytes)
{
    if (bytes > kSlotBytes)
        return nullptr;
    std::lock_guard<std::mutex> lock(mMutex);
    // Fill partly used regions first (lowest address first), so that the
    // others can become wholly free and be returned; then a retained free
    // region; then a new one.
    Region* pick = nullptr;
    Region* idle = nullptr;
    for (const auto& r : mRegions) {
        if (r->used > 0 && r->hasRoom()) {
            pick = r.get();
            break;
        }
        if (!idle && r->used == 0)
            idle = r.get();
    }
    if (!pick && idle) {
        pick = idle;
        mRetained -= touchedBytes(*idle);
    }
    if (!pick && !(pick = mapRegion()))
        return nullptr;
    size_t slot;
    if (!pick->freeSlots.empty()) {
        slot = pick->freeSlots.back();
        pick->freeSlots.pop_back();
    } else {
        slot = pick->fresh++;
        prefaultAfterLocked(pick);
    }
    pick->inUse[slot / 64] |= 1ULL << (slot % 64);
    ++pick->used;
    ++mInUse;
    char* p = pick->base + slot * kSlotBytes;
    SMP_UNPOISON(p, bytes);
    return p;
}

void SmpBlockPool::release(void* p)
{
    if (!p)
        return;
    std::unique_lock<std::mutex> lock(mMutex);
    Region* r = findLocked(p);
    if (!r) {
        lock.unlock();
        std::free(p);
        return;
    }
    const size_t off = size_t(static_cast<char*>(p) - r->base);
    const size_t slot = off / kSlotBytes;
    if (off % kSlotBytes != 0 || slot >= kSlotsPerRegion || !(r->inUse[slot / 64] >> (slot % 64) & 1)) {
        std::fprintf(stderr, "SmpBlockPool: free of %p, which is not an allocated slot (double free?)\n", p);
        std::abort();
    }
    r->inUse[slot / 64] &= ~(1ULL << (slot % 64));
    r->freeSlots.push_back(uint16_t(slot));
    --r->used;
    --mInUse;
    SMP_POISON(p, kSlotBytes);
    if (r->used == 0) {
        // Idle: kept for the next capture, beyond the bound only for the
        // grace period.
        r->idleSince = Clock::now();
        mRetained += touchedBytes(*r);
        if (mRetained > mRetainBytes) {
            if (mGraceMs == 0) {
                for (size_t i = 0; i < mRegions.size() && r->prefaulting == 0; ++i)
                    if (mRegions[i].get() == r) {
                        unmapLocked(i);
                        break;
                    }
            } else if (!mTrimmer.joinable()) {
                // Without a trimmer nothing would come back for them: idle
                // memory beyond the bound goes now, and the next release
                // tries the thread again.
                if (!Threads::start(mTrimmer, &SmpBlockPool::trimmerLoop, this))
                    shrinkLocked(mRetainBytes, false);
            } else {
                mWake.notify_one();
            }
        }
    }
}

bool SmpBlockPool::owns(const void* p) const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return p && findLocked(p);
}

size_t SmpBlockPool::retainBytes() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mRetainBytes;
}

void SmpBlockPool::waitIdlePrefaultLocked(std::unique_lock<std::mutex>& lock)
{
    mWake.wait(lock, [this] {
        for (const auto& r : mRegions)
            if (r->used == 0 && r->prefaulting > 0)
                return false;
        return true;
    });
}

void SmpBlockPool::setRetainBytes(size_t bytes)
{
    std::unique_lock<std::mutex> lock(mMutex);
    mRetainBytes = bytes;
    waitIdlePrefaultLocked(lock);
    shrinkLocked(bytes, false);
}

int SmpBlockPool::graceMs() const
{
    return mGraceMs;
}

void SmpBlockPool::trim()
{
    std::unique_lock<std::mutex> lock(mMutex);
    waitIdlePrefaultLocked(lock);
    shrinkLocked(0, false);
}

SmpBlockPool::Stats SmpBlockPool::stats() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    Stats s;
    s.regions = mRegions.size();
    s.slotsInUse = mInUse;
    s.retainedBytes = mRetained;
    return s;
}
