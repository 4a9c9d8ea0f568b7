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

#include <atomic>

#include "AnalyzerTypes.h"

struct DigitalChnData;
struct DigitalDataBlock;
class Analyzer;

class ANALYZER_EXPORT AnalyzerChannelData {
public:
    ~AnalyzerChannelData();

    U64 GetSampleNumber() const; // current sample
    BitState GetBitState() const; // level at the current sample

    // Moves forward by samples; returns the number of edges passed (edges on
    // the target sample count). Ends the run when the target is not below
    // the end of the data.
    U32 Advance(U32 num_samples);
    // Moves to an absolute sample; a sample at or before the current one
    // leaves the cursor unchanged. Same return and end rule as Advance.
    U32 AdvanceToAbsPosition(U64 sample_number);
    // Moves to the next edge (the level flips). Ends the run when there is
    // no further edge.
    void AdvanceToNextEdge();
    // Sample of the next edge, without moving. Ends the run when there is
    // no further edge.
    U64 GetSampleOfNextEdge();

    // Queries that never end the run.
    bool WouldAdvancingCauseTransition(U32 num_samples) const;
    bool WouldAdvancingToAbsPositionCauseTransition(U64 sample_number) const;
    bool DoMoreTransitionsExistInCurrentData() const;

private:
    friend class Analyzer;
    AnalyzerChannelData(Analyzer* owner, const DigitalChnData* table);
    AnalyzerChannelData(const AnalyzerChannelData&) = delete;
    AnalyzerChannelData& operator=(const AnalyzerChannelData&) = delete;

    void loadNextBlock();
    void loadBlock();
    void endOfData() const; // ends the run; returns only outside a run
    void checkStop() const;
    void slowStep(); // AdvanceToNextEdge on a stop request or at the end of the edges

    Analyzer* mOwner;
    const std::atomic<bool>* mStopFlag; // the owner's stop request, read on every step
    const DigitalChnData* mTable;
    const DigitalDataBlock* mBlock; // block holding the next entry
    S64 mSample;
    S64 mNextPos;   // next edge, valid while mHasNext
    S64 mEndPos;    // closing entry
    S32 mGroup;
    S32 mBlockIdx;
    S32 mIdx;       // index of the next entry in mBlock
    S32 mLimit;     // edge entries in mBlock (closing entry excluded)
    S32 mLastGroup;
    S32 mLastBlock;
    bool mHasNext;
    BitState mLevel;
};

#endif
