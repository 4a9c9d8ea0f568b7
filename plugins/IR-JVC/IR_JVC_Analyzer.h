#ifndef IR_JVC_ANALYZER_H
#define IR_JVC_ANALYZER_H

#include "IR_JVC_AnalyzerResults.h"
#include "IR_JVC_AnalyzerSettings.h"
#include "IR_JVC_SimulationDataGenerator.h"
#include "PatternAnalyzer.h"

class IR_JVC_Analyzer final
    : public PatternAnalyzer<IR_JVC_AnalyzerSettings, IR_JVC_AnalyzerResults, IR_JVC_SimulationDataGenerator> {
public:
    IR_JVC_Analyzer();
    ~IR_JVC_Analyzer() override;

    void WorkerThread() override;
    U32 GetMinimumSampleRateHz() override;
    const char* GetAnalyzerName() const override;

protected:
    IR_JVC_AnalyzerResults* makeResults() override;
};

#endif
