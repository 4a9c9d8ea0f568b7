#include "LedSimulationDataGenerator.h"

namespace {

const double kReset = 0.0003; // s
const double kPause = 0.005;

} // namespace

LedSimulationDataGenerator::LedSimulationDataGenerator(const LedMember& member)
    : mMember(member), mZeroHigh(1), mZeroLow(1), mOneHigh(1), mOneLow(1)
{
}

U32 LedSimulationDataGenerator::samplesFor(double seconds)
{
    const U32 n = mClockGenerator.AdvanceByTimeS(seconds);
    return n == 0 ? 1 : n;
}

void LedSimulationDataGenerator::Initialize(U32 simulation_sample_rate, LedAnalyzerSettings* settings)
{
    setUp(simulation_sample_rate, settings->mInputChannel, BIT_HIGH);
    mClockGenerator.Init(settings->bitRate(), simulation_sample_rate);
    mSignal.Advance(mClockGenerator.AdvanceByHalfPeriod(10));

    mZeroHigh = samplesFor(0.28e-6);
    mZeroLow = samplesFor(1.5e-6);
    mOneHigh = samplesFor(0.9e-6);
    mOneLow = samplesFor(0.5e-6);
}

void LedSimulationDataGenerator::sendMessage()
{
    mSignal.TransitionIfNeeded(BIT_LOW);
    mSignal.Advance(samplesFor(kReset));
    mSignal.Transition(); // high: the first bit
    for (U32 word : mMember.demoWords) {
        for (U32 bit = mMember.wordBits; bit-- > 0;) {
            const bool one = (word >> bit) & 1;
            mSignal.Advance(one ? mOneHigh : mZeroHigh);
            mSignal.Transition();
            mSignal.Advance(one ? mOneLow : mZeroLow);
            mSignal.Transition();
        }
    }
    mSignal.Advance(samplesFor(kPause));
    mSignal.Transition();
}
