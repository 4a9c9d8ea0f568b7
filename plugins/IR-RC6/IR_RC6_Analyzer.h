#ifndef IR_RC6_ANALYZER_H
#define IR_RC6_ANALYZER_H

#include <memory>

#include <Analyzer.h>

#include "IR_RC6_AnalyzerResults.h"
#include "IR_RC6_AnalyzerSettings.h"
#include "IR_RC6_SimulationDataGenerator.h"

class IR_RC6_Analyzer : public Analyzer {
public:
    // Symbol kinds of GetLogicSymbol; also the flags byte of the frames
    // (the leader, start and trailer frames and the three bit fields).
    enum SymbolKind : U32 {
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
    U32 GenerateSimulationData(U64 newest_sample_requested, U32 sample_rate,
                               SimulationChannelDescriptor** simulation_channels) override;
    U32 GetMinimumSampleRateHz() override;
    const char* GetAnalyzerName() const override;
    bool NeedsRerun() override;
    void SetupResults() override;

    // Reads one Manchester symbol at the cursor; true on failure (a half
    // outside its limits). start and end are the symbol's first and end
    // samples.
    bool GetLogicSymbol(U32 kind, BitState& value, U64& start, U64& end);

protected:
    // A symbol kind's limits in samples, for the run's sample rate.
    struct SymbolLimits {
        U64 firstMin, firstMax; // first half: m1 x half-bit minimum and maximum
        U64 secondMin;          // second half: m2 x half-bit minimum
        U64 secondMax;          // below it the second half ends at the next edge
        U64 runOnMax;           // below it the second half ran on into the next symbol
        U64 fullAdvance;        // else the symbol ends m2 units after its middle
        U64 m2;
    };
    static const U32 kSymbolKinds = CommandBit + 1;

    // Reads count bits of one kind, most significant first; true on failure.
    bool GetField(U32 kind, U32 count, U64& value, U64& end);
    void AddField(U64 start, U64 end, U8 flags, U64 data1);
    void SetLimits();

    std::unique_ptr<IR_RC6_AnalyzerSettings> mSettings;
    std::unique_ptr<IR_RC6_AnalyzerResults> mResults;
    IR_RC6_SimulationDataGenerator mSimulationDataGenerator;
    bool mSimulationInitilized;

    // Set at the start of every decode run.
    U64 mSampleRateHz;
    AnalyzerChannelData* mIR;
    U64 mHalfBitMin;   // samples
    U64 mHalfBitMax;
    U64 mUnit;
    SymbolLimits mLimits[kSymbolKinds];
    BitState mOneLevel;
    U64 mCaptureEnd;   // sample count of the capture
    Frame mBlankFrame; // what a new frame holds
};

extern "C" {
ANALYZER_EXPORT const char* GetAnalyzerName();
ANALYZER_EXPORT Analyzer* CreateAnalyzer();
ANALYZER_EXPORT void DestroyAnalyzer(Analyzer* analyzer);
}

#endif
