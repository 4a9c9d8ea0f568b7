#ifndef SMPALLOC_H
#define SMPALLOC_H
// Slot allocator for the sample store's blocks and group tables.
//
// Why: a capture allocates one 100 KB block per 20480 edges. Fresh blocks
// from malloc cost a kernel page fault every 4 KB, and random queries over
// a large capture miss the TLB on nearly every read. The pool maps memory in
// large 2 MB-aligned regions advised for transparent huge pages (where the
// kernel offers them; elsewhere it still works with normal pages), carves
// them into fixed slots and hands freed slots to the next capture, whose
// pages are then already present.
//
// Memory rule: when its last slot is freed a region becomes idle. Up to
// retainBytes() of idle regions (counted by the part of each region ever
// handed out; 256 MB by default) stay mapped for the next capture. Idle
// regions beyond that bound are kept for at most graceMs() (3 s by default:
// a new capture clears the old one just before it fills the store again,
// and then re-uses all of it), then a trimmer thread of the pool unmaps
// them. With a grace of 0, or while the system refuses the trimmer its
// thread, they are unmapped at once. So a few seconds after a capture is
// cleared the store keeps at most retainBytes(); trim() returns even that.
//
// Pre-fault (opt-in, setPrefaultBytes; on for store()): helper threads
// populate the pages up to that many bytes past the last slot handed out
// of a region, so that the kernel's page zeroing runs beside the appender
// instead of in it. The populated part counts as handed out for the memory
// rule; a region is never unmapped while a helper works on it. Where the
// system refuses the helpers their threads, the appender faults the pages
// itself and the helpers are asked for again a few megabytes later.
//
// Thread safety: every call may come from any thread (one short mutex).

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class SmpBlockPool
{
public:
    // A slot holds a DigitalDataBlock or a DigitalDataGroup (checked in the .cpp).
    static constexpr size_t kSlotBytes = 102464;
    static constexpr size_t kRegionBytes = size_t(32) << 20;
    static constexpr size_t kSlotsPerRegion = kRegionBytes / kSlotBytes;
    static constexpr size_t kDefaultRetainBytes = size_t(256) << 20;
    static constexpr int kDefaultGraceMs = 3000;

    explicit SmpBlockPool(size_t retainBytes = kDefaultRetainBytes, int graceMs = kDefaultGraceMs);
    // Stops the trimmer and unmaps every region: slots still in use become
    // invalid.
    ~SmpBlockPool();
    SmpBlockPool(const SmpBlockPool&) = delete;
    SmpBlockPool& operator=(const SmpBlockPool&) = delete;

    // The pool of every sample store (never destroyed: stores may outlive
    // other statics).
    static SmpBlockPool& store();

    // Uninitialised memory of `bytes` <= kSlotBytes, 64-byte aligned;
    // nullptr when the system gives no more memory or bytes is too large.
    void* allocate(size_t bytes);
    // Frees a slot of this pool; anything else (null, or memory from
    // malloc/calloc such as a table built outside the store) goes to
    // std::free. A slot freed twice aborts.
    void release(void* p);
    bool owns(const void* p) const;

    size_t retainBytes() const;
    // Applies at once: retained regions beyond the new bound are unmapped.
    void setRetainBytes(size_t bytes);
    int graceMs() const;
    // Bytes past the allocation front of a region kept populated by the
    // helper thread; 0 (the default) turns it off.
    void setPrefaultBytes(size_t bytes);
    // Unmaps every wholly free region.
    void trim();

    struct Stats {
        size_t regions = 0;        // mapped regions
        size_t slotsInUse = 0;
        size_t retainedBytes = 0;  // handed-out part of wholly free regions
    };
    Stats stats() const;

private:
    struct Region;
    Region* findLocked(const void* p) const;
    Region* mapRegion();
    void unmapLocked(size_t i);
    void shrinkLocked(size_t limit, bool onlyExpired);
    void trimmerLoop();
    void prefaultLoop();
    void prefaultAfterLocked(Region* r);
    // Until no helper works on a wholly free region (it is then unmappable).
    void waitIdlePrefaultLocked(std::unique_lock<std::mutex>& lock);
    static size_t touchedBytes(const Region& r);

    using Clock = std::chrono::steady_clock;
    mutable std::mutex mMutex;
    std::condition_variable mWake;
    std::thread mTrimmer;   // started when idle memory first exceeds the bound
    bool mStop = false;
    int mGraceMs;
    std::vector<std::unique_ptr<Region>> mRegions;   // sorted by base address
    size_t mRetainBytes;
    size_t mRetained = 0;   // touchedBytes of the wholly free regions
    size_t mInUse = 0;
    size_t mPrefaultBytes = 0;
    // Two helpers: where the kernel first has to obtain the pages (a fresh
    // virtual machine) one helper alone is slower than the appender.
    static constexpr size_t kPrefaultThreads = 2;
    std::vector<std::thread> mPrefaulters;   // started with the first request
    std::condition_variable mPrefaultWake;
    struct PrefaultJob {
        Region* region;
        size_t offset;   // of one huge page
    };
    std::vector<PrefaultJob> mPrefaultJobs;
};

#endif
