#ifndef IR_RC6_ANALYZER_H
#define IR_RC6_ANALYZER_H

#include "IR_RC6_AnalyzerResults.h"
#include "IR_RC6_AnalyzerSettings.h"
#include "IR_RC6_SimulationDataGenerator.h"
#include "PatternAnalyzer.h"

class IR_RC6_Analyzer final
    : public PatternAnalyzer<IR_RC6_AnalyzerSettings, IR_RC6_AnalyzerResults, IR_RC6_SimulationDataGenerator> {
public:
    // Symbol kinds; also the flags byte of the frames (the leader, start
    // and trailer frames and the three bit fields).
    enum SymbolKind : U8 {
        Leader = 0,
        StartBit = 1,
        ModeBit = 2,
        TrailerBit = 3,
        AddressBit = 4,
        CommandBit = 5
    };
    enum FrameField : U8 {
        ModeField = 2,
        AddressField = 4,
        CommandField = 5
    };

    IR_RC6_Analyzer();
    ~IR_RC6_Analyzer() override;

    void WorkerThread() override;
    U32 GetMinimumSampleRateHz() override;
    const char* GetAnalyzerName() const override;

protected:
    IR_RC6_AnalyzerResults* makeResults() override;
};

#endif
