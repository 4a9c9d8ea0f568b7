#ifndef CHUNKEDSTORE_H
#define CHUNKEDSTORE_H
// Library-private append-only array for one writer and many readers.
// Chunks double in size and never move, so an element, once written, stays
// where it is; readers use only indices below the committed count, which the
// writer publishes with release order after writing the elements.
//
// Appending is the decoder's hot path: chunks are raw storage (an element is
// written once, when it is pushed, never default-constructed first), and the
// writer appends through its appender (ResultAppender, which the results'
// inline calls use directly), so a push is a compare, a copy and an
// increment. Large chunks are mapped and faulted in ahead of the writer a
// window at a time (see ChunkedStore.cpp), so a big decode does not stop for
// a page fault every 4 KiB, while a chunk commits no more memory than the
// writer has reached.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>

#include "AnalyzerResults.h"

#define CHUNKMEM_HIDDEN __attribute__((visibility("hidden")))

namespace chunkmem {
// Chunks of at least this many bytes (one huge page) are mapped on a
// boundary of it and prefaulted by windows of this size; smaller ones come
// from the heap.
constexpr size_t kLarge = size_t(1) << 21;
// Raw storage of bytes; throws std::bad_alloc.
CHUNKMEM_HIDDEN void* allocate(size_t bytes);
// The first `used` bytes of the chunk were written (or prefaulted).
CHUNKMEM_HIDDEN void release(void* p, size_t bytes, size_t used);
// Makes [p, p + bytes) of a mapped chunk resident before the writer gets
// there (best effort: on failure the pages fault in one by one as usual).
CHUNKMEM_HIDDEN void prefault(void* p, size_t bytes);
// A results object begins or ends. The large chunks of deleted results are
// kept for the next ones while any results object lives, and given back to
// the system when the last one ends or after a while without use.
CHUNKMEM_HIDDEN void addUser();
CHUNKMEM_HIDDEN void removeUser();
} // namespace chunkmem

template <typename T>
class ChunkedStore {
    static_assert(std::is_trivially_copyable<T>::value && std::is_trivially_destructible<T>::value,
                  "elements are copied into raw storage and never destroyed");

public:
    // Every chunk holds a whole multiple of this many elements.
    static constexpr uint64_t kChunkMultiple = uint64_t(1) << 8;

    ChunkedStore() : mCurrent(-1), mCommitted(0)
    {
        for (auto& c : mChunks)
            c = nullptr;
    }
    ~ChunkedStore()
    {
        for (int c = 0; c < kMaxChunks && mChunks[c]; ++c)
            chunkmem::release(mChunks[c], chunkBytes(c),
                              c < mCurrent ? chunkBytes(c) : size_t(mOut.stop - mOut.begin) * sizeof(T));
    }
    ChunkedStore(const ChunkedStore&) = delete;
    ChunkedStore& operator=(const ChunkedStore&) = delete;

    // Writer: appends a pending element (throws std::bad_alloc when out of memory).
    void push(const T& v) { ::new (static_cast<void*>(append())) T(v); }
    // Writer: a raw slot for the next element, which the caller fills at
    // once (it becomes pending: counted by size(), not yet committed).
    T* append()
    {
        if (__builtin_expect(mOut.next == mOut.stop, 0))
            grow();
        return mOut.next++;
    }
    // Writer: where the next element goes. Appending through it directly
    // is the same as append() while next is short of stop; at stop, call
    // append().
    ResultAppender<T>& appender() { return mOut; }
    // Writer: element count including pending ones.
    uint64_t size() const { return mOut.base + uint64_t(mOut.next - mOut.begin); }
    // Writer: publishes every pending element.
    void commit() { publish(size()); }
    // Writer: publishes the first n elements (n at most size()).
    void publish(uint64_t n) { mCommitted.store(n, std::memory_order_release); }
    // Any thread: elements readers may use.
    uint64_t committed() const { return mCommitted.load(std::memory_order_acquire); }
    // Element i; readers only for i below committed(), the writer for any i below size().
    const T& at(uint64_t i) const
    {
        int c;
        uint64_t off;
        locate(i, &c, &off);
        return mChunks[c][off];
    }

private:
    static constexpr int kFirstBits = 8; // the first chunk holds kChunkMultiple elements
    static_assert(kChunkMultiple == uint64_t(1) << kFirstBits, "chunk sizes double from the first");
    static constexpr int kMaxChunks = 64 - kFirstBits;
    static void locate(uint64_t i, int* c, uint64_t* off)
    {
        uint64_t j = i + (uint64_t(1) << kFirstBits);
        int msb = 63 - __builtin_clzll(j);
        *c = msb - kFirstBits;
        *off = j - (uint64_t(1) << msb);
    }
    static uint64_t chunkElems(int c) { return uint64_t(1) << (c + kFirstBits); }
    static size_t chunkBytes(int c) { return size_t(chunkElems(c)) * sizeof(T); }

    // The writer reached mOut.stop: open the next prefault window of the
    // current chunk, or the next chunk.
    __attribute__((noinline)) void grow()
    {
        if (mCurrent >= 0) {
            T* end = mOut.begin + chunkElems(mCurrent);
            if (mOut.stop < end) { // only in a mapped chunk
                mOut.stop = window(mOut.stop, end, true);
                return;
            }
        }
        const int c = mCurrent + 1;
        T* p = static_cast<T*>(chunkmem::allocate(chunkBytes(c)));
        // Readers reach the chunk only through indices committed later
        // (release), so a plain store of the pointer suffices.
        mChunks[c] = p;
        mCurrent = c;
        mOut.base = chunkElems(c) - chunkElems(0); // elements in the earlier chunks
        mOut.begin = p;
        mOut.next = p;
        mOut.stop = window(p, p + chunkElems(c), isMapped(c));
    }
    // End of the part of the chunk the writer may fill from `from` on (at
    // most end). A heap chunk is filled in one go; a mapped chunk window by
    // window, each prefaulted as the writer reaches it.
    static T* window(T* from, T* end, bool mapped)
    {
        if (!mapped)
            return end;
        const size_t left = size_t(end - from);
        const size_t n = left < kWindowElems ? left : kWindowElems;
        chunkmem::prefault(from, n * sizeof(T));
        return from + n;
    }
    static constexpr size_t kWindowElems = chunkmem::kLarge / sizeof(T);
    static bool isMapped(int c) { return chunkBytes(c) >= chunkmem::kLarge; }

    ResultAppender<T> mOut; // the writer's place in the current chunk
    int mCurrent;           // current chunk number, -1 before the first push
    T* mChunks[kMaxChunks];
    std::atomic<uint64_t> mCommitted;
};

#endif
