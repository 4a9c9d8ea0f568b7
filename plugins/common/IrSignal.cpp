#include "IrSignal.h"

#include "PluginTime.h"

void IrSignal::setUp(U32 simulation_sample_rate, const Channel& channel, BitState idle_level, U64 unit_ns)
{
    SimulationSignal::setUp(simulation_sample_rate, channel, idle_level);
    mIdleLevel = idle_level;
    const U64 unit = plugin_time::samplesOf(simulation_sample_rate, unit_ns);
    mUnit = unit == 0 ? 1 : U32(unit);
}

void IrSignal::mark(U32 units)
{
    mSignal.TransitionIfNeeded(mIdleLevel == BIT_HIGH ? BIT_LOW : BIT_HIGH);
    mSignal.Advance(units * mUnit);
}

void IrSignal::space(U32 units)
{
    mSignal.TransitionIfNeeded(mIdleLevel);
    mSignal.Advance(units * mUnit);
}
