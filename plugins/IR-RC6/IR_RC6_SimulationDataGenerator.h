#ifndef IR_RC6_SIMULATION_DATA_GENERATOR_H
#define IR_RC6_SIMULATION_DATA_GENERATOR_H

#include "IrSignal.h"

class IR_RC6_AnalyzerSettings;

// Demonstration signal: RC6 mode-0 messages with counting addresses and
// commands and an alternating toggle bit. Every call starts with an idle gap
// and counts from the first address and command again.
class IR_RC6_SimulationDataGenerator : public IrSignal {
public:
    void Initialize(U32 simulation_sample_rate, IR_RC6_AnalyzerSettings* settings);

protected:
    void beginCall() override;
    void sendMessage() override;
    void SendLeaderSymbol();
    void SendOne();
    void SendZero();
    void SendBitTR(U32 toggle);
    void SendByte(U32 value);

    U32 mAddress = 0;
    U32 mCommand = 0;
    U32 mToggle = 0;
};

#endif
