#ifndef IR_RC6_SIMULATION_DATA_GENERATOR_H
#define IR_RC6_SIMULATION_DATA_GENERATOR_H

#include <AnalyzerTypes.h>
#include <SimulationChannelDescriptor.h>

class IR_RC6_AnalyzerSettings;

// Demonstration signal: RC6 mode-0 messages with counting addresses and
// commands and an alternating toggle bit.
class IR_RC6_SimulationDataGenerator {
public:
    IR_RC6_SimulationDataGenerator();
    ~IR_RC6_SimulationDataGenerator();

    void Initialize(U32 simulation_sample_rate, IR_RC6_AnalyzerSettings* settings);
    // Appends whole messages until the signal reaches the requested sample;
    // the signal continues from where the previous call left it.
    U32 GenerateSimulationData(U64 newest_sample_requested, U32 sample_rate,
                               SimulationChannelDescriptor** simulation_channel);

protected:
    void SendLeaderSymbol();
    void SendOne();
    void SendZero();
    void SendBitTR(U32 toggle);
    void SendByte(U32 value);
    void SendHalves(BitState first_level, U32 units_per_half);

    IR_RC6_AnalyzerSettings* mSettings;
    U32 mSimulationSampleRateHz;
    SimulationChannelDescriptor mIRSimulationData;
    U32 mUnit;         // samples per RC6 time unit (444 us)
    BitState mMarkLevel;
    BitState mIdleLevel;
};

#endif
