#ifndef LEDSIMULATIONDATAGENERATOR_H
#define LEDSIMULATIONDATAGENERATOR_H

#include <AnalyzerHelpers.h>

#include "LedAnalyzerSettings.h"
#include "SimulationSignal.h"

// Demonstration signal: chains of the member's ten demonstration words, each
// after a reset and followed by a pause at the high level. The order
// settings do not change it.
class LedSimulationDataGenerator : public SimulationSignal {
public:
    explicit LedSimulationDataGenerator(const LedMember& member);

    void Initialize(U32 simulation_sample_rate, LedAnalyzerSettings* settings);

protected:
    // One chain.
    void sendMessage() override;
    // Samples for a duration, at least one so that every level is seen.
    U32 samplesFor(double seconds);

    const LedMember& mMember;
    ClockGenerator mClockGenerator;
    // High and low time of a zero and of a one bit, in samples.
    U32 mZeroHigh, mZeroLow, mOneHigh, mOneLow;
};

#endif
