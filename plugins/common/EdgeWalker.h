#ifndef EDGEWALKER_H
#define EDGEWALKER_H
// The decoders' view of the channel cursor: the cursor's sample and level and
// the next edge once asked for are kept here, so that a decoder pays one
// library call per edge to move and one to look ahead. Every move passes
// exactly one edge or stops short of the next one.

#include <AnalyzerChannelData.h>

class EdgeWalker {
public:
    void start(AnalyzerChannelData* cursor, U64 capture_end)
    {
        mCursor = cursor;
        mPos = cursor->GetSampleNumber();
        mLevel = cursor->GetBitState();
        mNext = kUnknown;
        mEnd = capture_end;
    }

    U64 pos() const { return mPos; }
    BitState level() const { return mLevel; }
    // The capture's sample count: the sample after its last one.
    U64 end() const { return mEnd; }

    // Sample of the next edge. Ends the run when none follows.
    U64 next()
    {
        if (mNext == kUnknown)
            mNext = mCursor->GetSampleOfNextEdge();
        return mNext;
    }

    // Sample of the next edge, or the capture's end when none follows (a
    // level that lasts to the end is closed by it). Never ends the run.
    U64 nextOrEnd()
    {
        if (mNext == kUnknown && !mCursor->DoMoreTransitionsExistInCurrentData())
            return mEnd;
        return next();
    }

    // Moves to the next edge. Ends the run when none follows.
    void step()
    {
        const U64 n = next();
        mCursor->AdvanceToNextEdge();
        mPos = n;
        mLevel = mLevel == BIT_HIGH ? BIT_LOW : BIT_HIGH;
        mNext = kUnknown;
    }

    // Moves forward to a sample (on or before the next edge). False, and no
    // move, when the sample is at or past the capture's end: the caller has
    // reached the end and records what it holds before any further move.
    bool moveTo(U64 target)
    {
        if (target >= mEnd)
            return false;
        if (target <= mPos)
            return true;
        if (mNext != kUnknown && target == mNext) {
            step();
            return true;
        }
        const U32 crossed = mCursor->AdvanceToAbsPosition(target);
        mPos = target;
        if (crossed & 1)
            mLevel = mLevel == BIT_HIGH ? BIT_LOW : BIT_HIGH;
        if (crossed)
            mNext = kUnknown;
        return true;
    }

private:
    static constexpr U64 kUnknown = ~U64(0);
    AnalyzerChannelData* mCursor = nullptr;
    U64 mPos = 0;
    BitState mLevel = BIT_LOW;
    U64 mNext = kUnknown;
    U64 mEnd = 0;
};

#endif
