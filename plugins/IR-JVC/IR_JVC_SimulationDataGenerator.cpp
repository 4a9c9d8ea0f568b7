#include "IR_JVC_SimulationDataGenerator.h"

#include "IR_JVC_AnalyzerSettings.h"

namespace {

const U64 kUnitNs = 526000; // 526 us
const U32 kIdleUnits = 100;
const U32 kAddress = 6;
const U32 kCommand = 19;

} // namespace

void IR_JVC_SimulationDataGenerator::Initialize(U32 simulation_sample_rate, IR_JVC_AnalyzerSettings* settings)
{
    setUp(simulation_sample_rate, settings->mInputChannel, settings->idleLevel(), kUnitNs);
}

void IR_JVC_SimulationDataGenerator::Create_JVC_Signal()
{
    space(kIdleUnits);
    SendStart();
    SendByte(kAddress);
    SendByte(kCommand);
    mark(1); // closes the last bit's space
    space(kIdleUnits);
}

void IR_JVC_SimulationDataGenerator::SendStart()
{
    mark(16);
    space(8);
}

void IR_JVC_SimulationDataGenerator::SendOne()
{
    mark(1);
    space(3);
}

void IR_JVC_SimulationDataGenerator::SendZero()
{
    mark(1);
    space(1);
}

void IR_JVC_SimulationDataGenerator::SendByte(U32 value)
{
    for (U32 i = 0; i < 8; ++i) {
        if ((value >> i) & 1)
            SendOne();
        else
            SendZero();
    }
}
