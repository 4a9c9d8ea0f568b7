#include "AnalyzerChannelData.h"

#include <limits>

#include "Analyzer.h"
#include "RunControl.h"
#include "data/SmpTables.h"

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
    : mOwner(owner), mStopFlag(owner ? &owner->mStopRequested : &kNoStop), mTable(table), mBlock(nullptr), mSample(0), mNextPos(0), mEndPos(0),
      mGroup(0), mBlockIdx(0), mIdx(0), mLimit(0), mLastGroup(-1), mLastBlock(-1),
      mHasNext(false), mLevel(BIT_LOW)
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
    while (mHasNext && mNextPos <= 0)
        AdvanceToNextEdge();
    mSample = 0;
}

AnalyzerChannelData::~AnalyzerChannelData() = default;

// Makes (mGroup, mBlockIdx) the block of the next entry, skipping empty
// blocks; unreadable tables end the edges there.
void AnalyzerChannelData::loadBlock()
{
    mHasNext = false;
    for (;;) {
        if (mGroup > mLastGroup)
            return;
        const DigitalDataGroup* g = mTable->group[mGroup];
        int nb = groupBlocks(g);
        if (nb < 0)
            return;
        if (mBlockIdx >= nb) {
            ++mGroup;
            mBlockIdx = 0;
            continue;
        }
        const DigitalDataBlock* b = g->block[mBlockIdx];
        int n = blockCount(b);
        if (n < 0)
            return;
        bool last = mGroup == mLastGroup && mBlockIdx == mLastBlock;
        mBlock = b;
        mIdx = 0;
        mLimit = last ? n - 1 : n;
        if (mLimit > 0) {
            mNextPos = smpEntryPos(b, 0);
            mHasNext = true;
            return;
        }
        if (last)
            return;
        ++mBlockIdx;
    }
}

void AnalyzerChannelData::loadNextBlock()
{
    if (mGroup == mLastGroup && mBlockIdx == mLastBlock) {
        mHasNext = false;
        return;
    }
    ++mBlockIdx;
    loadBlock();
}

void AnalyzerChannelData::endOfData() const
{
    if (mOwner && anlyrun::running == mOwner)
        mOwner->endRun(RunEndOfData);
}

void AnalyzerChannelData::checkStop() const
{
    if (mOwner && mOwner->mStopRequested.load(std::memory_order_relaxed) && anlyrun::running == mOwner)
        mOwner->endRun(RunStopped);
}

U64 AnalyzerChannelData::GetSampleNumber() const
{
    return U64(mSample);
}

BitState AnalyzerChannelData::GetBitState() const
{
    return mLevel;
}

// The plug-ins' hottest call: one flag test, one bounds test and one table
// read per edge; stop requests and block changes leave the straight path.
void AnalyzerChannelData::AdvanceToNextEdge()
{
    if (__builtin_expect(mStopFlag->load(std::memory_order_relaxed) || !mHasNext, 0)) {
        slowStep();
        return;
    }
    mSample = mNextPos;
    mLevel = BitState(mLevel ^ 1);
    if (__builtin_expect(++mIdx < mLimit, 1))
        mNextPos = smpEntryPos(mBlock, mIdx);
    else
        loadNextBlock();
}

void AnalyzerChannelData::slowStep()
{
    checkStop();
    if (!mHasNext) {
        endOfData();
        return;
    }
    mSample = mNextPos;
    mLevel = BitState(mLevel ^ 1);
    if (++mIdx < mLimit)
        mNextPos = smpEntryPos(mBlock, mIdx);
    else
        loadNextBlock();
}

U64 AnalyzerChannelData::GetSampleOfNextEdge()
{
    if (!mHasNext) {
        endOfData();
        return U64(mEndPos);
    }
    return U64(mNextPos);
}

U32 AnalyzerChannelData::Advance(U32 num_samples)
{
    return AdvanceToAbsPosition(U64(mSample) + num_samples);
}

U32 AnalyzerChannelData::AdvanceToAbsPosition(U64 sample_number)
{
    if (__builtin_expect(mStopFlag->load(std::memory_order_relaxed), 0))
        checkStop();
    if (sample_number <= U64(mSample))
        return 0;
    if (sample_number >= U64(mEndPos)) {
        endOfData();
        return 0;
    }
    S64 target = S64(sample_number);
    U32 crossed = 0;
    while (mHasNext && mNextPos <= target) {
        // Whole rest of the block passed: skip it in one step.
        if (smpEntryPos(mBlock, mLimit - 1) <= target) {
            S64 n = mLimit - mIdx;
            crossed = addCount(crossed, n);
            if (n & 1)
                mLevel = mLevel == BIT_LOW ? BIT_HIGH : BIT_LOW;
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
            mLevel = mLevel == BIT_LOW ? BIT_HIGH : BIT_LOW;
        mIdx = lo;
        mNextPos = smpEntryPos(mBlock, lo);
        break;
    }
    mSample = target;
    return crossed;
}

bool AnalyzerChannelData::WouldAdvancingCauseTransition(U32 num_samples) const
{
    return WouldAdvancingToAbsPositionCauseTransition(U64(mSample) + num_samples);
}

bool AnalyzerChannelData::WouldAdvancingToAbsPositionCauseTransition(U64 sample_number) const
{
    return mHasNext && U64(mNextPos) <= sample_number;
}

bool AnalyzerChannelData::DoMoreTransitionsExistInCurrentData() const
{
    return mHasNext;
}
