#include "IR_RC6_SimulationDataGenerator.h"

#include <AnalyzerHelpers.h>

#include "IR_RC6_AnalyzerSettings.h"
#include "PluginTime.h"

namespace {

const U32 kIdleUnits = 50;

} // namespace

IR_RC6_SimulationDataGenerator::IR_RC6_SimulationDataGenerator()
    : mSettings(nullptr), mSimulationSampleRateHz(0), mUnit(1), mMarkLevel(BIT_LOW), mIdleLevel(BIT_HIGH)
{
}

IR_RC6_SimulationDataGenerator::~IR_RC6_SimulationDataGenerator() = default;

void IR_RC6_SimulationDataGenerator::Initialize(U32 simulation_sample_rate, IR_RC6_AnalyzerSettings* settings)
{
    mSimulationSampleRateHz = simulation_sample_rate;
    mSettings = settings;

    // A receiver output that reads '1' on a rising edge idles high and
    // marks low; the other style is the inverse.
    const bool risingOne = settings && settings->oneLevel() == BIT_HIGH;
    mMarkLevel = risingOne ? BIT_LOW : BIT_HIGH;
    mIdleLevel = risingOne ? BIT_HIGH : BIT_LOW;

    mIRSimulationData.SetChannel(settings ? settings->mInputChannel : UNDEFINED_CHANNEL);
    mIRSimulationData.SetSampleRate(simulation_sample_rate);
    mIRSimulationData.SetInitialBitState(mIdleLevel);

    // Below about 2.3 kHz a time unit is shorter than a sample; one sample
    // per unit keeps the signal moving, so a caller waiting for the target
    // sample is never stuck.
    U64 unit = plugin_time::samplesOf(simulation_sample_rate, 444000);
    mUnit = unit == 0 ? 1 : U32(unit);
}

U32 IR_RC6_SimulationDataGenerator::GenerateSimulationData(U64 newest_sample_requested, U32 sample_rate,
                                                           SimulationChannelDescriptor** simulation_channel)
{
    const U64 target = AnalyzerHelpers::AdjustSimulationTargetSample(newest_sample_requested, sample_rate,
                                                                     mSimulationSampleRateHz);
    mIRSimulationData.Advance(kIdleUnits * mUnit);

    U32 address = 37;
    U32 command = 48;
    U32 toggle = 0;
    while (mIRSimulationData.GetCurrentSampleNumber() < target) {
        SendLeaderSymbol();
        SendOne(); // start bit
        SendZero(); // mode 0
        SendZero();
        SendZero();
        SendBitTR(toggle);
        SendByte(address);
        SendByte(command);
        mIRSimulationData.TransitionIfNeeded(mIdleLevel);
        mIRSimulationData.Advance(kIdleUnits * mUnit);

        ++command;
        toggle ^= 1;
        if (command > 63) {
            command = 48;
            address = (address + 1) % 127;
        }
    }

    *simulation_channel = &mIRSimulationData;
    return 1;
}

void IR_RC6_SimulationDataGenerator::SendHalves(BitState first_level, U32 units_per_half)
{
    mIRSimulationData.TransitionIfNeeded(first_level);
    mIRSimulationData.Advance(units_per_half * mUnit);
    mIRSimulationData.Transition();
    mIRSimulationData.Advance(units_per_half * mUnit);
}

void IR_RC6_SimulationDataGenerator::SendLeaderSymbol()
{
    mIRSimulationData.TransitionIfNeeded(mMarkLevel);
    mIRSimulationData.Advance(6 * mUnit);
    mIRSimulationData.Transition();
    mIRSimulationData.Advance(2 * mUnit);
}

void IR_RC6_SimulationDataGenerator::SendOne()
{
    SendHalves(mMarkLevel, 1);
}

void IR_RC6_SimulationDataGenerator::SendZero()
{
    SendHalves(mIdleLevel, 1);
}

void IR_RC6_SimulationDataGenerator::SendBitTR(U32 toggle)
{
    SendHalves(toggle == 1 ? mMarkLevel : mIdleLevel, 2);
}

void IR_RC6_SimulationDataGenerator::SendByte(U32 value)
{
    for (int bit = 7; bit >= 0; --bit) {
        if ((value >> bit) & 1)
            SendOne();
        else
            SendZero();
    }
}
