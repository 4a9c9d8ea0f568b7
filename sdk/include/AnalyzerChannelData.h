#ifndef ANALYZERCHANNELDATA_H
#define ANALYZERCHANNELDATA_H
// Forward-only cursor over one channel of the shown capture. It walks the
// sample store's edge tables in place (data/SmpTables.h): O(1) per edge, no
// copy. The level at an edge's sample is the new level; the closing entry of
// a table is the end of the data, not an edge.
//
// Inside a decode run (Analyzer::RunWorkerThread), a call that would move the
// cursor to or past the end of the data, or that finds a stop request, ends
// the run: it does not return, the library unwinds the plug-in's worker loop
// and reports the end. Plug-ins must therefore not wrap cursor calls in
// catch (...) without rethrowing. Outside a run such a call leaves the cursor
// where it is (GetSampleOfNextEdge then gives the end of the data).
//
// Every decoder's cost per edge starts with this cursor, so the calls are
// inline: a step inside a block of the table is a compare, a table read and
// a few stores. Block changes, the end of the data and stop requests take
// the out-of-line paths. A stop requested from another thread is seen at the
// next move that passes no edge, at the next block change (at most a block,
// 20480 edges, later) or at the next ReportProgress.

#include <atomic>

#include "AnalyzerTypes.h"
#include "data/SmpTables.h"

class Analyzer;

class ANALYZER_EXPORT AnalyzerChannelData {
public:
    ~AnalyzerChannelData();

    U64 GetSampleNumber() const { return U64(mSample); } // current sample
    BitState GetBitState() const { return mLevel; }      // level at the current sample

    // Moves forward by samples; returns the number of edges passed (edges on
    // the target sample count). Ends the run when the target is not below
    // the end of the data.
    U32 Advance(U32 num_samples) { return AdvanceToAbsPosition(U64(mSample) + num_samples); }
    // Moves to an absolute sample; a sample at or before the current one
    // leaves the cursor unchanged. Same return and end rule as Advance.
    U32 AdvanceToAbsPosition(U64 sample_number)
    {
        if (sample_number < U64(mNextPos)) { // short of the next entry: no edge passed, not the end
            if (__builtin_expect(mStopFlag->load(std::memory_order_relaxed), 0))
                checkStop();
            if (sample_number > U64(mSample))
                mSample = S64(sample_number);
            return 0;
        }
        if (__builtin_expect(mIdx < mStepEnd, 1)) {
            const S64 after = smpEntryPos(mBlock, mIdx + 1);
            if (sample_number < U64(after)) { // exactly one edge passed
                stepInBlock(after);
                mSample = S64(sample_number);
                return 1;
            }
        }
        return advanceSlow(sample_number);
    }
    // Moves to the next edge (the level flips). Ends the run when there is
    // no further edge.
    void AdvanceToNextEdge()
    {
        if (__builtin_expect(mIdx < mStepEnd, 1))
            stepInBlock(smpEntryPos(mBlock, mIdx + 1));
        else
            stepSlow();
    }
    // Sample of the next edge, without moving. Ends the run when there is
    // no further edge.
    U64 GetSampleOfNextEdge()
    {
        if (__builtin_expect(hasNext(), 1))
            return U64(mNextPos);
        return noNextEdge();
    }

    // Queries that never end the run.
    bool WouldAdvancingCauseTransition(U32 num_samples) const
    {
        return WouldAdvancingToAbsPositionCauseTransition(U64(mSample) + num_samples);
    }
    bool WouldAdvancingToAbsPositionCauseTransition(U64 sample_number) const
    {
        return hasNext() && U64(mNextPos) <= sample_number;
    }
    bool DoMoreTransitionsExistInCurrentData() const { return hasNext(); }

private:
    friend class Analyzer;
    AnalyzerChannelData(Analyzer* owner, const DigitalChnData* table);
    AnalyzerChannelData(const AnalyzerChannelData&) = delete;
    AnalyzerChannelData& operator=(const AnalyzerChannelData&) = delete;

    bool hasNext() const { return mIdx < mLimit; }
    // Onto the next edge when the entry after it, at `after`, is in mBlock
    // too (mIdx < mStepEnd). The table is read before the cursor is written,
    // so the compiler need not read it again.
    void stepInBlock(S64 after)
    {
        mSample = mNextPos;
        mLevel = BitState(mLevel ^ 1);
        ++mIdx;
        mNextPos = after;
    }
    // Makes the next step take the out-of-line path, which looks at the stop
    // request (StopWorkerThread on the decode thread itself).
    void leaveFastPath() { mStepEnd = -1; }
    void stepEdge();  // one edge, across blocks; only while hasNext()
    void stepSlow();  // AdvanceToNextEdge at a block's last edge, at the end or on a stop request
    U32 advanceSlow(U64 sample_number);
    U64 noNextEdge() const;
    void loadNextBlock();
    void loadBlock();
    void noMoreEdges();
    void endOfData() const; // ends the run; returns only outside a run
    void checkStop() const;

    // Hot state first: what a step reads and writes. mNextPos and mSample
    // are kept apart: next to each other the compiler merges their stores
    // into one wide store, which the next step's narrow load then waits for.
    const DigitalDataBlock* mBlock; // block holding the next entry
    S64 mNextPos;   // the next edge, or the closing entry when none is left
    S32 mIdx;       // index of the next entry in mBlock
    S32 mStepEnd;   // mLimit - 1, or -1 to force the out-of-line path
    S32 mLimit;     // edge entries in mBlock (closing entry excluded); mIdx == mLimit: no edge left
    BitState mLevel;
    S64 mSample;

    Analyzer* mOwner;
    const std::atomic<bool>* mStopFlag; // the owner's stop request
    const DigitalChnData* mTable;
    S64 mEndPos;    // closing entry
    S32 mGroup;
    S32 mBlockIdx;
    S32 mLastGroup;
    S32 mLastBlock;
};

#endif
