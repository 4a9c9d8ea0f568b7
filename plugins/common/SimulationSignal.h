#ifndef SIMULATIONSIGNAL_H
#define SIMULATIONSIGNAL_H
// A plug-in's demonstration signal on one channel: whole messages appended
// until the signal reaches the sample asked for. The descriptor keeps its
// position, so every call continues the signal.

#include <AnalyzerTypes.h>
#include <SimulationChannelDescriptor.h>

class SimulationSignal {
public:
    virtual ~SimulationSignal();

    // newest_sample_requested is a device sample at sample_rate.
    U32 GenerateSimulationData(U64 newest_sample_requested, U32 sample_rate,
                               SimulationChannelDescriptor** simulation_channel);

protected:
    // Sets up the channel at its first level.
    void setUp(U32 simulation_sample_rate, const Channel& channel, BitState initial_level);
    // Appends one whole message; it must move the signal on.
    virtual void sendMessage() = 0;
    // Called at the start of every GenerateSimulationData, before its
    // messages (nothing by default).
    virtual void beginCall() {}

    U32 mSimulationSampleRateHz = 0;
    SimulationChannelDescriptor mSignal;
};

#endif
