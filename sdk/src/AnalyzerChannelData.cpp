#include "AnalyzerChannelData.h"

#include <limits>

#include "Analyzer.h"
#include "RunControl.h"

namespace {

// Valid entry count of a block, or -1 when the block cannot be read.
int blockCount(const DigitalDataBlock* b)
{
    if (!b || b->posNum < 0 || b->posNum > SMP_BLOCK_ENTRIES)
        return -1;
    return b->posNum;
}

int groupBlocks(const DigitalDataGroup* g)
{
    if (!g || g->blockNum < 0 || g->blockNum > SMP_GROUP_BLOCKS)
        return -1;
    return g->blockNum;
}

// Stop flag of cursors without an owner: never set.
const std::atomic<bool> kNoStop{false};

U32 addCount(U32 a, S64 n)
{
    U64 s = U64(a) + U64(n);
    return s > std::numeric_limits<U32>::max() ? std::numeric_limits<U32>::max() : U32(s);
}

} // namespace

AnalyzerChannelData::AnalyzerChannelData(Analyzer* owner, const DigitalChnData* table)
    : mBlock(nullptr), mNextPos(0), mIdx(0), mStepEnd(-1), mLimit(0), mLevel(BIT_LOW), mSample(0), mOwner(owner),
      mStopFlag(owner ? &owner->mStopRequested : &kNoStop), mTable(table), mEndPos(0), mGroup(0), mBlockIdx(0),
      mLastGroup(-1), mLastBlock(-1)
{
    if (!table || table->groupNum <= 0 || table->groupNum > SMP_CHN_GROUPS)
        return;
    mLevel = table->initLevel ? BIT_HIGH : BIT_LOW;
    // The closing entry: last entry of the last block of the last group.
    mLastGroup = table->groupNum - 1;
    const DigitalDataGroup* lg = table->group[mLastGroup];
    int nb = groupBlocks(lg);
    if (nb <= 0)
        return;
    mLastBlock = nb - 1;
    int n = blockCount(lg->block[mLastBlock]);
    if (n <= 0)
        return;
    mEndPos = smpEntryPos(lg->block[mLastBlock], n - 1);
    mGroup = 0;
    mBlockIdx = 0;
    loadBlock();
    // An edge on sample 0 already holds at the start.
    while (hasNext() && mNextPos <= 0)
        stepEdge();
    mSample = 0;
}

AnalyzerChannelData::~AnalyzerChannelData() = default;

// Makes (mGroup, mBlockIdx) the block of the next entry, skipping empty
// blocks; unreadable tables end the edges there.
void AnalyzerChannelData::loadBlock()
{
    for (;;) {
        if (mGroup > mLastGroup)
            break;
        const DigitalDataGroup* g = mTable->group[mGroup];
        int nb = groupBlocks(g);
        if (nb < 0)
            break;
        if (mBlockIdx >= nb) {
            ++mGroup;
            mBlockIdx = 0;
            continue;
        }
        const DigitalDataBlock* b = g->block[mBlockIdx];
        int n = blockCount(b);
        if (n < 0)
            break;
        bool last = mGroup == mLastGroup && mBlockIdx == mLastBlock;
        int limit = last ? n - 1 : n;
        if (limit > 0) {
            mBlock = b;
            mIdx = 0;
            mLimit = limit;
            mStepEnd = limit - 1;
            mNextPos = smpEntryPos(b, 0);
            return;
        }
        if (last)
            break;
        ++mBlockIdx;
    }
    noMoreEdges();
}

void AnalyzerChannelData::loadNextBlock()
{
    if (mGroup == mLastGroup && mBlockIdx == mLastBlock) {
        noMoreEdges();
        return;
    }
    ++mBlockIdx;
    loadBlock();
}

// Only the closing entry is ahead: every fast path fails, and a move that
// passes no edge still compares against the end.
void AnalyzerChannelData::noMoreEdges()
{
    mIdx = 0;
    mLimit = 0;
    mStepEnd = -1;
    mNextPos = mEndPos;
}

void AnalyzerChannelData::endOfData() const
{
    if (mOwner && anlyrun::decoding == mOwner)
        mOwner->endRun(RunEndOfData);
}

void AnalyzerChannelData::checkStop() const
{
    if (mOwner && mOwner->mStopRequested.load(std::memory_order_relaxed) && anlyrun::decoding == mOwner)
        mOwner->endRun(RunStopped);
}

void AnalyzerChannelData::stepEdge()
{
    mSample = mNextPos;
    mLevel = BitState(mLevel ^ 1);
    if (++mIdx < mLimit)
        mNextPos = smpEntryPos(mBlock, mIdx);
    else
        loadNextBlock();
}

void AnalyzerChannelData::stepSlow()
{
    checkStop();
    mStepEnd = mLimit - 1; // undoes leaveFastPath
    if (!hasNext()) {
        endOfData();
        return;
    }
    stepEdge();
}

U64 AnalyzerChannelData::noNextEdge() const
{
    endOfData();
    return U64(mEndPos);
}

U32 AnalyzerChannelData::advanceSlow(U64 sample_number)
{
    checkStop();
    mStepEnd = mLimit - 1;
    if (sample_number <= U64(mSample))
        return 0;
    if (sample_number >= U64(mEndPos)) {
        endOfData();
        return 0;
    }
    S64 target = S64(sample_number);
    U32 crossed = 0;
    while (hasNext() && mNextPos <= target) {
        // Whole rest of the block passed: skip it in one step.
        if (smpEntryPos(mBlock, mLimit - 1) <= target) {
            S64 n = mLimit - mIdx;
            crossed = addCount(crossed, n);
            if (n & 1)
                mLevel = BitState(mLevel ^ 1);
            mIdx = mLimit;
            loadNextBlock();
            continue;
        }
        // The target lies inside this block: first entry after it.
        int lo = mIdx, hi = mLimit - 1; // entry hi is after the target
        while (lo < hi) {
            int mid = lo + (hi - lo) / 2;
            if (smpEntryPos(mBlock, mid) <= target)
                lo = mid + 1;
            else
                hi = mid;
        }
        S64 n = lo - mIdx;
        crossed = addCount(crossed, n);
        if (n & 1)
            mLevel = BitState(mLevel ^ 1);
        mIdx = lo;
        mNextPos = smpEntryPos(mBlock, lo);
        break;
    }
    mSample = target;
    return crossed;
}
