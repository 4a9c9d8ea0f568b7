#ifndef IR_JVC_SIMULATION_DATA_GENERATOR_H
#define IR_JVC_SIMULATION_DATA_GENERATOR_H

#include "IrSignal.h"

class IR_JVC_AnalyzerSettings;

// Demonstration signal: command 19 to address 6, again and again.
class IR_JVC_SimulationDataGenerator : public IrSignal {
public:
    void Initialize(U32 simulation_sample_rate, IR_JVC_AnalyzerSettings* settings);

protected:
    void sendMessage() override { Create_JVC_Signal(); }
    void Create_JVC_Signal();
    void SendStart();
    void SendOne();
    void SendZero();
    void SendByte(U32 value);
};

#endif
