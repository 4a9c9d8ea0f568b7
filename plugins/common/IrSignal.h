#ifndef IRSIGNAL_H
#define IRSIGNAL_H
// Demonstration signal of a pulse-distance IR remote: marks (the level
// opposite the idle level) and spaces measured in whole protocol units.

#include "SimulationSignal.h"

class IrSignal : public SimulationSignal {
protected:
    // Idle at its level; unit_ns is the protocol's time unit, at least one
    // sample so that the signal always moves on.
    void setUp(U32 simulation_sample_rate, const Channel& channel, BitState idle_level, U64 unit_ns);
    // Goes to the mark or idle level when not there, and stays units long.
    void mark(U32 units);
    void space(U32 units);

    U32 mUnit = 1; // samples
    BitState mIdleLevel = BIT_HIGH;
};

#endif
