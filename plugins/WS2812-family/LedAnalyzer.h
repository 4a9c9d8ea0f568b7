#ifndef LEDANALYZER_H
#define LEDANALYZER_H
// WS2812 LED chain decoder, one source for the family: the member table
// gives the word width, the texts, the settings and the demonstration words.
// Each member's own final class is the analyzer, and its destructor stops
// the run (see Analyzer.h): here it would come too late.

#include "EdgeWalker.h"
#include "LedAnalyzerResults.h"
#include "LedAnalyzerSettings.h"
#include "LedSimulationDataGenerator.h"
#include "PatternAnalyzer.h"

class LedAnalyzer : public PatternAnalyzer<LedAnalyzerSettings, LedAnalyzerResults, LedSimulationDataGenerator> {
public:
    void WorkerThread() override;
    U32 GetMinimumSampleRateHz() override;
    const char* GetAnalyzerName() const override;

protected:
    explicit LedAnalyzer(const LedMember& member);

    struct Timing;
    LedAnalyzerResults* makeResults() override;
    // Reads the words of a chain after its reset, until one is broken off
    // or the chain ends; returns the last falling edge of a chain that ended,
    // ~0 after a broken word.
    U64 ReadChain(EdgeWalker& walk, const Timing& t);

    const LedMember& mMember;
};

#endif
