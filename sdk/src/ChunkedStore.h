#ifndef CHUNKEDSTORE_H
#define CHUNKEDSTORE_H
// Library-private append-only array for one writer and many readers.
// Chunks double in size and never move, so an element, once written, stays
// where it is; readers use only indices below the committed count, which the
// writer publishes with release order after writing the elements.

#include <atomic>
#include <cstdint>

template <typename T>
class ChunkedStore {
public:
    ChunkedStore() : mSize(0), mCommitted(0)
    {
        for (auto& c : mChunks)
            c = nullptr;
    }
    ~ChunkedStore()
    {
        for (auto& c : mChunks)
            delete[] c;
    }
    ChunkedStore(const ChunkedStore&) = delete;
    ChunkedStore& operator=(const ChunkedStore&) = delete;

    // Writer: appends a pending element (throws std::bad_alloc when out of memory).
    void push(const T& v)
    {
        int c;
        uint64_t off;
        locate(mSize, &c, &off);
        if (!mChunks[c])
            mChunks[c] = new T[uint64_t(1) << (c + kFirstBits)];
        mChunks[c][off] = v;
        ++mSize;
    }
    // Writer: element count including pending ones.
    uint64_t size() const { return mSize; }
    // Writer: publishes every pending element.
    void commit() { mCommitted.store(mSize, std::memory_order_release); }
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
    static constexpr int kFirstBits = 8;
    static constexpr int kMaxChunks = 64 - kFirstBits;
    static void locate(uint64_t i, int* c, uint64_t* off)
    {
        uint64_t j = i + (uint64_t(1) << kFirstBits);
        int msb = 63 - __builtin_clzll(j);
        *c = msb - kFirstBits;
        *off = j - (uint64_t(1) << msb);
    }

    T* mChunks[kMaxChunks];
    uint64_t mSize;
    std::atomic<uint64_t> mCommitted;
};

#endif
