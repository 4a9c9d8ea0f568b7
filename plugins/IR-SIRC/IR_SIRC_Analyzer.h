#ifndef IR_SIRC_ANALYZER_H
#define IR_SIRC_ANALYZER_H

#include "EdgeWalker.h"
#include "IR_SIRC_AnalyzerResults.h"
#include "IR_SIRC_AnalyzerSettings.h"
#include "IR_SIRC_SimulationDataGenerator.h"
#include "PatternAnalyzer.h"
#include "PluginTime.h"

class IR_SIRC_Analyzer
    : public PatternAnalyzer<IR_SIRC_AnalyzerSettings, IR_SIRC_AnalyzerResults, IR_SIRC_SimulationDataGenerator> {
public:
    enum Symbol { Invalid, Start, One, Zero };

    IR_SIRC_Analyzer();
    ~IR_SIRC_Analyzer() override;

    void WorkerThread() override;
    U32 GetMinimumSampleRateHz() override;
    const char* GetAnalyzerName() const override;

    // Class of one mark and the space after it, lengths in samples of the
    // running decode.
    Symbol getLogicBit(U64 mark, U64 space) const;

protected:
    IR_SIRC_AnalyzerResults* makeResults() override;
    // Past the space that ends at next (an edge or the capture's end) from
    // the mark's end: a space longer than step + slack is left after the
    // step. False when that lies past the capture's end (nothing moved).
    bool MoveOn(U64 mark_end, U64 next);

    // Set at the start of every decode run.
    U64 mSampleRateHz;
    AnalyzerChannelData* mIR;
    EdgeWalker mWalk;
    plugin_time::SampleRange mStartMark;
    plugin_time::SampleRange mOneMark;
    plugin_time::SampleRange mZeroMark;
    U64 mSpaceMin;   // samples
    U64 mStep;       // 600 us
    U64 mLongSpace;  // a space above this (800 us) ends the message
};

extern "C" {
ANALYZER_EXPORT const char* GetAnalyzerName();
ANALYZER_EXPORT Analyzer* CreateAnalyzer();
ANALYZER_EXPORT void DestroyAnalyzer(Analyzer* analyzer);
}

#endif
