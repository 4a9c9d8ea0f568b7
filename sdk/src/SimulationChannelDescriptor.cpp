#include "SimulationChannelDescriptor.h"

#include <limits>

SimulationChannelDescriptor::SimulationChannelDescriptor()
    : mSampleRate(0), mInitialState(BIT_LOW), mCurrentState(BIT_LOW), mSample(0), mRunStart(0)
{
}

void SimulationChannelDescriptor::SetChannel(const Channel& channel)
{
    mChannel = channel;
}

Channel SimulationChannelDescriptor::GetChannel() const
{
    return mChannel;
}

void SimulationChannelDescriptor::SetSampleRate(U32 sample_rate_hz)
{
    mSampleRate = sample_rate_hz;
}

U32 SimulationChannelDescriptor::GetSampleRate() const
{
    return mSampleRate;
}

void SimulationChannelDescriptor::SetInitialBitState(BitState initial_bit_state)
{
    mInitialState = initial_bit_state;
    mCurrentState = initial_bit_state;
}

BitState SimulationChannelDescriptor::GetInitialBitState() const
{
    return mInitialState;
}

BitState SimulationChannelDescriptor::GetCurrentBitState() const
{
    return mCurrentState;
}

U64 SimulationChannelDescriptor::GetCurrentSampleNumber() const
{
    return mSample;
}

void SimulationChannelDescriptor::pushRun()
{
    U64 len = mSample - mRunStart;
    const U64 maxRun = U64(std::numeric_limits<S32>::max());
    mData.push_back(S32(len > maxRun ? maxRun : len));
    mRunStart = mSample;
}

void SimulationChannelDescriptor::Transition()
{
    mCurrentState = mCurrentState == BIT_LOW ? BIT_HIGH : BIT_LOW;
    if (mSample != mRunStart) {
        pushRun();
    } else if (mSample == 0) {
        mInitialState = mCurrentState;
    } else if (!mData.empty() && mData.back() > 0 && mData.back() < std::numeric_limits<S32>::max()) {
        // Back-to-back transitions: the previous run simply goes on.
        mRunStart -= U64(mData.back());
        mData.pop_back();
    } else {
        pushRun();
    }
}

void SimulationChannelDescriptor::TransitionIfNeeded(BitState bit_state)
{
    if (bit_state != mCurrentState)
        Transition();
}

void SimulationChannelDescriptor::Advance(U32 num_samples)
{
    mSample += num_samples;
}

std::vector<S32>* SimulationChannelDescriptor::GetData()
{
    return &mData;
}
