#include "IR_SIRC_SimulationDataGenerator.h"

#include "IR_SIRC_AnalyzerSettings.h"

namespace {

const U64 kUnitNs = 600000; // 600 us
const U32 kIdleUnits = 100;

} // namespace

void IR_SIRC_SimulationDataGenerator::Initialize(U32 simulation_sample_rate, IR_SIRC_AnalyzerSettings* settings)
{
    mSettings = settings;
    setUp(simulation_sample_rate, settings->mInputChannel, settings->idleLevel(), kUnitNs);
}

void IR_SIRC_SimulationDataGenerator::Create_SIRC_Signal()
{
    const U32 length = mSettings->packetLength();
    const U32 bits = length == 0 ? 12 : length == 1 ? 15 : 20;
    const U32 message = bits == 20 ? 0x10086 : 0x86; // command 6, device 1, extended 16

    space(kIdleUnits);
    SendStart();
    for (U32 i = 0; i < bits; ++i) {
        if ((message >> i) & 1)
            SendOne();
        else
            SendZero();
    }
    space(kIdleUnits);
}

void IR_SIRC_SimulationDataGenerator::SendStart()
{
    mark(4);
    space(1);
}

void IR_SIRC_SimulationDataGenerator::SendOne()
{
    mark(2);
    space(1);
}

void IR_SIRC_SimulationDataGenerator::SendZero()
{
    mark(1);
    space(1);
}
