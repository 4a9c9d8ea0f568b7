#include "IR_RC6_SimulationDataGenerator.h"

#include "IR_RC6_AnalyzerSettings.h"

namespace {

const U64 kUnitNs = 444000; // 444 us
const U32 kIdleUnits = 50;
const U32 kFirstAddress = 37;
const U32 kFirstCommand = 48;

} // namespace

void IR_RC6_SimulationDataGenerator::Initialize(U32 simulation_sample_rate, IR_RC6_AnalyzerSettings* settings)
{
    // A receiver output that reads '1' on a rising edge idles high and
    // marks low; the other style is the inverse. Below about 2.3 kHz a time
    // unit is shorter than a sample; one sample per unit keeps the signal
    // moving, so a caller waiting for the target sample is never stuck.
    setUp(simulation_sample_rate, settings->mInputChannel, settings->oneLevel(), kUnitNs);
}

void IR_RC6_SimulationDataGenerator::beginCall()
{
    mSignal.Advance(kIdleUnits * mUnit);
    mAddress = kFirstAddress;
    mCommand = kFirstCommand;
    mToggle = 0;
}

void IR_RC6_SimulationDataGenerator::sendMessage()
{
    SendLeaderSymbol();
    SendOne(); // start bit
    SendZero(); // mode 0
    SendZero();
    SendZero();
    SendBitTR(mToggle);
    SendByte(mAddress);
    SendByte(mCommand);
    space(kIdleUnits);

    ++mCommand;
    mToggle ^= 1;
    if (mCommand > 63) {
        mCommand = kFirstCommand;
        mAddress = (mAddress + 1) % 127;
    }
}

void IR_RC6_SimulationDataGenerator::SendLeaderSymbol()
{
    mark(6);
    space(2);
}

void IR_RC6_SimulationDataGenerator::SendOne()
{
    mark(1);
    space(1);
}

void IR_RC6_SimulationDataGenerator::SendZero()
{
    space(1);
    mark(1);
}

void IR_RC6_SimulationDataGenerator::SendBitTR(U32 toggle)
{
    if (toggle == 1) {
        mark(2);
        space(2);
    } else {
        space(2);
        mark(2);
    }
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
