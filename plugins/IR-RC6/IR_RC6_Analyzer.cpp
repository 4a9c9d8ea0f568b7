#include "IR_RC6_Analyzer.h"

namespace {

const char* const kAnalyzerName = "IR-RC6";

// Samples in a duration in nanoseconds at a rate, truncated. The product
// is taken in 128 bits so that no sample rate overflows it.
U64 samplesOf(U64 rate_hz, U64 ns)
{
    return U64((unsigned __int128)rate_hz * ns / 1000000000u);
}

} // namespace

IR_RC6_Analyzer::IR_RC6_Analyzer()
    : Analyzer(), mSettings(new IR_RC6_AnalyzerSettings()), mSimulationInitilized(false), mSampleRateHz(0),
      mIR(nullptr), mHalfBitMin(0), mHalfBitMax(0), mUnit(0), mLimits(), mOneLevel(BIT_HIGH), mCaptureEnd(0)
{
    SetAnalyzerSettings(mSettings.get());
}

IR_RC6_Analyzer::~IR_RC6_Analyzer()
{
    KillThread();
    // Members go in reverse order: generator, results, settings.
}

void IR_RC6_Analyzer::SetupResults()
{
    std::unique_ptr<IR_RC6_AnalyzerResults> results(new IR_RC6_AnalyzerResults(this, mSettings.get()));
    // Publish the new results before the old ones go.
    SetAnalyzerResults(results.get());
    mResults.swap(results);
    mResults->AddChannelBubblesWillAppearOn(mSettings->mInputChannel);
}

void IR_RC6_Analyzer::AddField(U64 start, U64 end, U8 flags, U64 data1)
{
    Frame frame = mBlankFrame;
    frame.mStartingSampleInclusive = S64(start);
    frame.mEndingSampleInclusive = S64(end);
    frame.mFlags = flags;
    frame.mData1 = data1;
    mResults->AddFrame(frame);
}

void IR_RC6_Analyzer::SetLimits()
{
    mHalfBitMin = samplesOf(mSampleRateHz, 244200);
    mHalfBitMax = samplesOf(mSampleRateHz, 643800);
    mUnit = samplesOf(mSampleRateHz, 444000);
    for (U32 kind = 0; kind < kSymbolKinds; ++kind) {
        // Lengths of the two halves in time units.
        const U64 m1 = kind == Leader ? 6 : kind == TrailerBit ? 2 : 1;
        const U64 m2 = kind == Leader || kind == TrailerBit ? 2 : 1;
        mLimits[kind] = SymbolLimits{m1 * mHalfBitMin, m1 * mHalfBitMax, m2 * mHalfBitMin,
                                     m2 * mHalfBitMax, (m2 + 1) * mHalfBitMax, m2 * mUnit, m2};
    }
}

// The limits are in samples already and the cursor's calls are inline, so
// a symbol costs a few compares beyond its two edges.
bool IR_RC6_Analyzer::GetLogicSymbol(U32 kind, BitState& value, U64& start, U64& end)
{
    const SymbolLimits& lim = mLimits[kind < kSymbolKinds ? kind : CommandBit];
    AnalyzerChannelData* ir = mIR;

    if (kind == Leader && ir->GetBitState() == mOneLevel)
        ir->AdvanceToNextEdge();

    start = ir->GetSampleNumber();
    ir->AdvanceToNextEdge();
    const U64 mid = ir->GetSampleNumber();
    // The second half of the last symbol of a capture may run into the end
    // of the capture; the end then closes it, so that a complete last
    // message is not lost.
    const bool edgeFollows = ir->DoMoreTransitionsExistInCurrentData();
    const U64 next = edgeFollows ? ir->GetSampleOfNextEdge() : mCaptureEnd;

    const U64 first = mid - start;
    if (first < lim.firstMin || first > lim.firstMax)
        return true;
    const U64 second = next > mid ? next - mid : 0;
    if (second < lim.secondMin)
        return true;

    value = ir->GetBitState() == mOneLevel ? BIT_HIGH : BIT_LOW;
    if (kind != Leader)
        mResults->AddMarker(mid, value == BIT_HIGH ? AnalyzerResults::One : AnalyzerResults::Zero,
                            mSettings->mInputChannel);

    U64 target;
    if (second < lim.secondMax)
        target = next;
    else if (second < lim.runOnMax)
        // The second half ran on into the next symbol's first half (same
        // level): split the run in proportion, m2 parts of m2 + 1.
        target = mid + (lim.m2 == 1 ? second / 2 : 2 * second / 3);
    else
        target = mid + lim.fullAdvance;

    if (!edgeFollows && target >= next) {
        // Nothing left to move to: the symbol ends with the capture.
        end = next > 0 ? next - 1 : 0;
        return false;
    }
    // Onto the next edge or short of it (the target never lies past it).
    if (target > mid)
        ir->AdvanceToAbsPosition(target);
    end = ir->GetSampleNumber();
    return false;
}

bool IR_RC6_Analyzer::GetField(U32 kind, U32 count, U64& value, U64& end)
{
    value = 0;
    for (U32 i = 0; i < count; ++i) {
        BitState bit;
        U64 start;
        if (GetLogicSymbol(kind, bit, start, end))
            return true;
        value = (value << 1) | (bit == BIT_HIGH ? 1 : 0);
    }
    return false;
}

void IR_RC6_Analyzer::WorkerThread()
{
    if (!mResults)
        return;
    mSampleRateHz = GetSampleRate();
    mIR = GetAnalyzerChannelData(mSettings->mInputChannel);
    if (!mIR)
        return;
    mCaptureEnd = GetCaptureSampleCount();
    SetLimits();
    mOneLevel = mSettings->mLogicStyle != 0 ? BIT_HIGH : BIT_LOW;

    for (;;) {
        // Every attempt closes the previous one's frames as a packet (the
        // library records no packet when an attempt added none).
        mResults->CommitPacketAndStartNewPacket();

        BitState bit;
        U64 start, end, value, fieldStart;
        if (GetLogicSymbol(Leader, bit, start, end))
            continue;
        AddField(start, end, Leader, 0);

        if (GetLogicSymbol(StartBit, bit, start, end))
            continue;
        AddField(start, end, StartBit, bit == BIT_HIGH ? 1 : 0);

        fieldStart = end;
        if (GetField(ModeBit, 3, value, end))
            continue;
        AddField(fieldStart, end, ModeField, value);

        if (GetLogicSymbol(TrailerBit, bit, start, end))
            continue;
        AddField(start, end, TrailerBit, bit == BIT_HIGH ? 1 : 0);

        fieldStart = end;
        if (GetField(AddressBit, 8, value, end))
            continue;
        AddField(fieldStart, end, AddressField, value);

        fieldStart = end;
        if (GetField(CommandBit, 8, value, end))
            continue;
        AddField(fieldStart, end, CommandField, value);

        mResults->CommitResults();
        ReportProgress(end);
    }
}

U32 IR_RC6_Analyzer::GenerateSimulationData(U64 newest_sample_requested, U32 sample_rate,
                                            SimulationChannelDescriptor** simulation_channels)
{
    if (!mSimulationInitilized) {
        mSimulationDataGenerator.Initialize(GetSimulationSampleRate(), mSettings.get());
        mSimulationInitilized = true;
    }
    return mSimulationDataGenerator.GenerateSimulationData(newest_sample_requested, sample_rate, simulation_channels);
}

U32 IR_RC6_Analyzer::GetMinimumSampleRateHz()
{
    return 20000;
}

const char* IR_RC6_Analyzer::GetAnalyzerName() const
{
    return kAnalyzerName;
}

bool IR_RC6_Analyzer::NeedsRerun()
{
    return false;
}

const char* GetAnalyzerName()
{
    return kAnalyzerName;
}

Analyzer* CreateAnalyzer()
{
    return new IR_RC6_Analyzer();
}

void DestroyAnalyzer(Analyzer* analyzer)
{
    delete analyzer;
}
