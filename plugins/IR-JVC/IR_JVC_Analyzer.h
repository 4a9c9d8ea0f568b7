#ifndef IR_JVC_ANALYZER_H
#define IR_JVC_ANALYZER_H

#include "EdgeWalker.h"
#include "IR_JVC_AnalyzerResults.h"
#include "IR_JVC_AnalyzerSettings.h"
#include "IR_JVC_SimulationDataGenerator.h"
#include "PatternAnalyzer.h"
#include "PluginTime.h"

class IR_JVC_Analyzer
    : public PatternAnalyzer<IR_JVC_AnalyzerSettings, IR_JVC_AnalyzerResults, IR_JVC_SimulationDataGenerator> {
public:
    enum Symbol { Invalid, Start, One, Zero };

    IR_JVC_Analyzer();
    ~IR_JVC_Analyzer() override;

    void WorkerThread() override;
    U32 GetMinimumSampleRateHz() override;
    const char* GetAnalyzerName() const override;

    // Class of one mark and the space after it, lengths in samples of the
    // running decode; a start is tested first.
    Symbol getLogicBit(U64 mark, U64 space) const;
    bool isStartBit(U64 mark, U64 space) const;

protected:
    IR_JVC_AnalyzerResults* makeResults() override;

    // Set at the start of every decode run.
    U64 mSampleRateHz;
    AnalyzerChannelData* mIR;
    EdgeWalker mWalk;
    plugin_time::SampleRange mStartMark;
    U64 mStartSpaceMin; // samples
    plugin_time::SampleRange mBitMark;
    plugin_time::SampleRange mOneSpace;
    plugin_time::SampleRange mZeroSpace;
    U64 mUnit;          // 526 us
    U64 mLongStart;     // a start space above this (4908 us) is left after 8 units
};

extern "C" {
ANALYZER_EXPORT const char* GetAnalyzerName();
ANALYZER_EXPORT Analyzer* CreateAnalyzer();
ANALYZER_EXPORT void DestroyAnalyzer(Analyzer* analyzer);
}

#endif
