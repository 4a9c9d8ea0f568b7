#ifndef IRSIGNAL_H
#define IRSIGNAL_H
// Demonstration signal of a pulse-distance IR remote: marks (the level
// opposite the idle level) and spaces measured in whole protocol units.

#include <AnalyzerTypes.h>
#include <SimulationChannelDescriptor.h>

class IrSignal {
public:
    virtual ~IrSignal();

    // Appends whole messages until the signal reaches the requested sample
    // (a device sample at sample_rate); the signal continues from where the
    // previous call left it.
    U32 GenerateSimulationData(U64 newest_sample_requested, U32 sample_rate,
                               SimulationChannelDescriptor** simulation_channel);

protected:
    // Sets up the channel idle at its level; unit_ns is the protocol's time
    // unit, at least one sample so that the signal always moves on.
    void setUp(U32 simulation_sample_rate, const Channel& channel, BitState idle_level, U64 unit_ns);
    // One whole message.
    virtual void sendMessage() = 0;
    // Goes to the mark or idle level when not there, and stays units long.
    void mark(U32 units);
    void space(U32 units);

    U32 mSimulationSampleRateHz = 0;
    SimulationChannelDescriptor mIRSimulationData;
    U32 mUnit = 1; // samples
    BitState mIdleLevel = BIT_HIGH;
};

#endif
