#include "SimulationSignal.h"

#include <AnalyzerHelpers.h>

SimulationSignal::~SimulationSignal() = default;

void SimulationSignal::setUp(U32 simulation_sample_rate, const Channel& channel, BitState initial_level)
{
    mSimulationSampleRateHz = simulation_sample_rate;
    mSignal.SetChannel(channel);
    mSignal.SetSampleRate(simulation_sample_rate);
    mSignal.SetInitialBitState(initial_level);
}

U32 SimulationSignal::GenerateSimulationData(U64 newest_sample_requested, U32 sample_rate,
                                             SimulationChannelDescriptor** simulation_channel)
{
    const U64 target = AnalyzerHelpers::AdjustSimulationTargetSample(newest_sample_requested, sample_rate,
                                                                     mSimulationSampleRateHz);
    beginCall();
    while (mSignal.GetCurrentSampleNumber() < target)
        sendMessage();
    *simulation_channel = &mSignal;
    return 1;
}
