#include "IrSignal.h"

#include <AnalyzerHelpers.h>

#include "PluginTime.h"

IrSignal::~IrSignal() = default;

void IrSignal::setUp(U32 simulation_sample_rate, const Channel& channel, BitState idle_level, U64 unit_ns)
{
    mSimulationSampleRateHz = simulation_sample_rate;
    mIdleLevel = idle_level;
    mIRSimulationData.SetChannel(channel);
    mIRSimulationData.SetSampleRate(simulation_sample_rate);
    mIRSimulationData.SetInitialBitState(idle_level);
    const U64 unit = plugin_time::samplesOf(simulation_sample_rate, unit_ns);
    mUnit = unit == 0 ? 1 : U32(unit);
}

U32 IrSignal::GenerateSimulationData(U64 newest_sample_requested, U32 sample_rate,
                                     SimulationChannelDescriptor** simulation_channel)
{
    const U64 target = AnalyzerHelpers::AdjustSimulationTargetSample(newest_sample_requested, sample_rate,
                                                                     mSimulationSampleRateHz);
    while (mIRSimulationData.GetCurrentSampleNumber() < target)
        sendMessage();
    *simulation_channel = &mIRSimulationData;
    return 1;
}

void IrSignal::mark(U32 units)
{
    mIRSimulationData.TransitionIfNeeded(mIdleLevel == BIT_HIGH ? BIT_LOW : BIT_HIGH);
    mIRSimulationData.Advance(units * mUnit);
}

void IrSignal::space(U32 units)
{
    mIRSimulationData.TransitionIfNeeded(mIdleLevel);
    mIRSimulationData.Advance(units * mUnit);
}
