#include "LedSimulationDataGenerator.h"

namespace {

const double kReset = 0.0003; // s
const double kPause = 0.005;

} // namespace

LedSimulationDataGenerator::LedSimulationDataGenerator(const LedMember& member)
    : mMember(member), mSettings(nullptr), mSimulationSampleRateHz(0), mZeroHigh(1), mZeroLow(1), mOneHigh(1),
      mOneLow(1)
{
}

U32 LedSimulationDataGenerator::samplesFor(double seconds)
{
    const U32 n = mClockGenerator.AdvanceByTimeS(seconds);
    return n == 0 ? 1 : n;
}

void LedSimulationDataGenerator::Initialize(U32 simulation_sample_rate, LedAnalyzerSettings* settings)
{
    mSimulationSampleRateHz = simulation_sample_rate;
    mSettings = settings;
    mClockGenerator.Init(settings->bitRate(), simulation_sample_rate);

    mLedSimulationData.SetChannel(settings->mInputChannel);
    mLedSimulationData.SetSampleRate(simulation_sample_rate);
    mLedSimulationData.SetInitialBitState(BIT_HIGH);
    mLedSimulationData.Advance(mClockGenerator.AdvanceByHalfPeriod(10));

    mZeroHigh = samplesFor(0.28e-6);
    mZeroLow = samplesFor(1.5e-6);
    mOneHigh = samplesFor(0.9e-6);
    mOneLow = samplesFor(0.5e-6);
}

U32 LedSimulationDataGenerator::GenerateSimulationData(U64 newest_sample_requested, U32 sample_rate,
                                                       SimulationChannelDescriptor** simulation_channel)
{
    const U64 target = AnalyzerHelpers::AdjustSimulationTargetSample(newest_sample_requested, sample_rate,
                                                                     mSimulationSampleRateHz);
    while (mLedSimulationData.GetCurrentSampleNumber() < target)
        SendChain();
    *simulation_channel = &mLedSimulationData;
    return 1;
}

void LedSimulationDataGenerator::SendChain()
{
    mLedSimulationData.TransitionIfNeeded(BIT_LOW);
    mLedSimulationData.Advance(samplesFor(kReset));
    mLedSimulationData.Transition(); // high: the first bit
    for (U32 word : mMember.demoWords) {
        for (U32 bit = mMember.wordBits; bit-- > 0;) {
            const bool one = (word >> bit) & 1;
            mLedSimulationData.Advance(one ? mOneHigh : mZeroHigh);
            mLedSimulationData.Transition();
            mLedSimulationData.Advance(one ? mOneLow : mZeroLow);
            mLedSimulationData.Transition();
        }
    }
    mLedSimulationData.Advance(samplesFor(kPause));
    mLedSimulationData.Transition();
}
