#ifndef IR_SIRC_ANALYZER_H
#define IR_SIRC_ANALYZER_H

#include "IR_SIRC_AnalyzerResults.h"
#include "IR_SIRC_AnalyzerSettings.h"
#include "IR_SIRC_SimulationDataGenerator.h"
#include "PatternAnalyzer.h"

class IR_SIRC_Analyzer final
    : public PatternAnalyzer<IR_SIRC_AnalyzerSettings, IR_SIRC_AnalyzerResults, IR_SIRC_SimulationDataGenerator> {
public:
    IR_SIRC_Analyzer();
    ~IR_SIRC_Analyzer() override;

    void WorkerThread() override;
    U32 GetMinimumSampleRateHz() override;
    const char* GetAnalyzerName() const override;

protected:
    IR_SIRC_AnalyzerResults* makeResults() override;
    // The decode for one packet length (0: 12, 1: 15, 2: 20 bits), so that
    // the fields' widths are constants.
    template <U32 Length>
    void decode(AnalyzerChannelData* ir);
};

#endif
