#ifndef EDGEWALKER_H
#define EDGEWALKER_H
// The decoders' view of the channel cursor: the sample and level a decoder
// stands on and the next edge once asked for are kept here, so that a
// decoder pays one library call per edge to move and one to look ahead.
// Decoders move onto the next edge or short of it. A stop short of the next
// edge moves only the walker: the cursor stays on the last edge passed, from
// where its next move gives the same answers (no edge lies between), so
// such a move costs no library call at all.

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
        U64 n;
        peek(&n);
        return n;
    }

    // The same, and whether it is an edge.
    bool peek(U64* next)
    {
        if (mNext == kUnknown) {
            if (!mCursor->DoMoreTransitionsExistInCurrentData()) {
                *next = mEnd;
                return false;
            }
            mNext = mCursor->GetSampleOfNextEdge();
        }
        *next = mNext;
        return true;
    }

    // Moves over marks (levels other than idle) until one and the space
    // after it fit: fits(mark length, space length). Gives the mark's first
    // sample, its end (where the walker then stands) and the space's end
    // (the next edge, or the capture's end). Ends the run when the edges
    // run out first.
    template <class Fits>
    void findMark(BitState idle, Fits fits, U64* mark_start, U64* mark_end, U64* space_end)
    {
        if (mLevel == idle)
            step();
        for (;;) {
            *mark_start = mPos;
            step();
            *mark_end = mPos;
            *space_end = nextOrEnd();
            if (fits(*mark_end - *mark_start, *space_end - *mark_end))
                return;
            step();
        }
    }

    // Moves to the next edge. Ends the run when none follows.
    void step()
    {
        mCursor->AdvanceToNextEdge();
        mPos = mCursor->GetSampleNumber();
        mLevel = mLevel == BIT_HIGH ? BIT_LOW : BIT_HIGH;
        mNext = kUnknown;
    }

    // Moves to a sample after pos() and not past what peek() gave: onto the
    // next edge, or short of it.
    void moveWithin(U64 target)
    {
        if (target == mNext)
            step();
        else
            mPos = target;
    }

    // Moves forward to a sample, on or before the next edge (a later one
    // passes the edges between). False, and no move, when the sample is at
    // or past the capture's end: the caller has reached the end and records
    // what it holds before any further move.
    bool moveTo(U64 target)
    {
        if (target >= mEnd)
            return false;
        if (target <= mPos)
            return true;
        const U64 n = nextOrEnd();
        if (target < n) { // short of the next edge (or of the end)
            mPos = target;
            return true;
        }
        if (target == n) {
            step();
            return true;
        }
        // Past the next edge: the cursor counts the edges passed.
        const U32 crossed = mCursor->AdvanceToAbsPosition(target);
        mPos = target;
        if (crossed & 1)
            mLevel = mLevel == BIT_HIGH ? BIT_LOW : BIT_HIGH;
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
