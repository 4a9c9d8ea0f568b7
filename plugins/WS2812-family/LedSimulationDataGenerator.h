#ifndef LEDSIMULATIONDATAGENERATOR_H
#define LEDSIMULATIONDATAGENERATOR_H

#include <AnalyzerHelpers.h>
#include <AnalyzerTypes.h>
#include <SimulationChannelDescriptor.h>

#include "LedAnalyzerSettings.h"

// Demonstration signal: chains of the member's ten demonstration words, each
// after a reset and followed by a pause at the high level. The order
// settings do not change it.
class LedSimulationDataGenerator {
public:
    explicit LedSimulationDataGenerator(const LedMember& member);

    void Initialize(U32 simulation_sample_rate, LedAnalyzerSettings* settings);
    // Appends whole chains until the signal reaches the requested sample;
    // the signal continues from where the previous call left it.
    U32 GenerateSimulationData(U64 newest_sample_requested, U32 sample_rate,
                               SimulationChannelDescriptor** simulation_channel);

protected:
    // Samples for a duration, at least one so that every level is seen.
    U32 samplesFor(double seconds);
    void SendChain();

    const LedMember& mMember;
    LedAnalyzerSettings* mSettings;
    U32 mSimulationSampleRateHz;
    SimulationChannelDescriptor mLedSimulationData;
    ClockGenerator mClockGenerator;
    // High and low time of a zero and of a one bit, in samples.
    U32 mZeroHigh, mZeroLow, mOneHigh, mOneLow;
};

#endif
