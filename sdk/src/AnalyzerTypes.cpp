#include "AnalyzerTypes.h"

const Channel UNDEFINED_CHANNEL;

Channel::Channel() : mDeviceId(~U64(0)), mChannelIndex(~U32(0))
{
}

Channel::Channel(U64 device_id, U32 channel_index) : mDeviceId(device_id), mChannelIndex(channel_index)
{
}

bool Channel::operator==(const Channel& other) const
{
    return mDeviceId == other.mDeviceId && mChannelIndex == other.mChannelIndex;
}

bool Channel::operator!=(const Channel& other) const
{
    return !(*this == other);
}

bool Channel::operator<(const Channel& other) const
{
    return mDeviceId != other.mDeviceId ? mDeviceId < other.mDeviceId : mChannelIndex < other.mChannelIndex;
}

bool Channel::IsUndefined() const
{
    return mChannelIndex == ~U32(0);
}

