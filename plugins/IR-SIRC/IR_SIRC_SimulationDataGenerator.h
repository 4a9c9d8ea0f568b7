#ifndef IR_SIRC_SIMULATION_DATA_GENERATOR_H
#define IR_SIRC_SIMULATION_DATA_GENERATOR_H

#include "IrSignal.h"

class IR_SIRC_AnalyzerSettings;

// Demonstration signal: command 6 to device 1 (extended 16 in 20-bit
// messages) in the packet length of the settings.
class IR_SIRC_SimulationDataGenerator : public IrSignal {
public:
    void Initialize(U32 simulation_sample_rate, IR_SIRC_AnalyzerSettings* settings);

protected:
    void sendMessage() override { Create_SIRC_Signal(); }
    void Create_SIRC_Signal();
    void SendStart();
    void SendOne();
    void SendZero();

    IR_SIRC_AnalyzerSettings* mSettings = nullptr;
};

#endif
