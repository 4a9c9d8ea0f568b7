#ifndef SIMULATIONCHANNELDESCRIPTOR_H
#define SIMULATIONCHANNELDESCRIPTOR_H
// One simulated channel, built by a plug-in's simulation generator and read
// by the capture simulation. The signal is kept as run lengths: every
// Transition closes the current run (its length in samples goes to GetData())
// and flips the level. The current, unfinished run is never in the data, so
// the last run in the data has the level opposite GetCurrentBitState().
// The reader empties the data after reading it (GetData()->clear()); the
// descriptor keeps its position, and later calls continue the signal.

#include <vector>

#include "AnalyzerTypes.h"

class ANALYZER_EXPORT SimulationChannelDescriptor {
public:
    SimulationChannelDescriptor();

    void SetChannel(const Channel& channel);
    Channel GetChannel() const;
    void SetSampleRate(U32 sample_rate_hz);
    U32 GetSampleRate() const;
    // Level at sample 0; also resets the current level (call before drawing).
    void SetInitialBitState(BitState initial_bit_state);
    BitState GetInitialBitState() const;
    BitState GetCurrentBitState() const;
    U64 GetCurrentSampleNumber() const; // samples drawn so far

    // Closes the current run and flips the level. A transition on the sample
    // of the previous one cancels it while that run is still in the data
    // (at sample 0 it flips the initial level); otherwise a run of 0 is
    // recorded. Runs longer than 2^31-1 samples are recorded as 2^31-1.
    void Transition();
    void TransitionIfNeeded(BitState bit_state);
    void Advance(U32 num_samples);

    // Completed run lengths (samples, alternating levels), oldest first.
    std::vector<S32>* GetData();

private:
    void pushRun();
    std::vector<S32> mData;
    Channel mChannel;
    U32 mSampleRate;
    BitState mInitialState;
    BitState mCurrentState;
    U64 mSample;
    U64 mRunStart;
};

#endif
