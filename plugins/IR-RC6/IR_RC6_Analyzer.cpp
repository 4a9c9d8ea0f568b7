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
      mIR(nullptr), mHalfBitMin(0), mHalfBitMax(0), mUnit(0), mOneLevel(BIT_HIGH), mPosition(0),
      mLevel(BIT_LOW), mNextEdge(0), mCaptureEnd(0)
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

// The cursor's sample and level are followed here rather than asked for
// again: every move below either passes exactly one edge or stops short of
// the next one. Decoding cost is then a few library calls per edge.
void IR_RC6_Analyzer::StepToNextEdge()
{
    mPosition = mNextEdge != 0 ? mNextEdge : mIR->GetSampleOfNextEdge();
    mNextEdge = 0;
    mIR->AdvanceToNextEdge();
    mLevel = mLevel == BIT_HIGH ? BIT_LOW : BIT_HIGH;
}

bool IR_RC6_Analyzer::GetLogicSymbol(U32 kind, BitState& value, U64& start, U64& end)
{
    // Lengths of the two halves in time units.
    const U64 m1 = kind == Leader ? 6 : kind == TrailerBit ? 2 : 1;
    const U64 m2 = kind == Leader || kind == TrailerBit ? 2 : 1;

    if (kind == Leader && mLevel == mOneLevel)
        StepToNextEdge();

    start = mPosition;
    StepToNextEdge();
    const U64 mid = mPosition;
    // The second half of the last symbol of a capture may run into the end
    // of the capture; the end then closes it, so that a complete last
    // message is not lost.
    const bool edgeFollows = mIR->DoMoreTransitionsExistInCurrentData();
    const U64 next = edgeFollows ? mIR->GetSampleOfNextEdge() : mCaptureEnd;

    const U64 first = mid - start;
    if (first < m1 * mHalfBitMin || first > m1 * mHalfBitMax)
        return true;
    const U64 second = next > mid ? next - mid : 0;
    if (second < m2 * mHalfBitMin)
        return true;

    value = mLevel == mOneLevel ? BIT_HIGH : BIT_LOW;
    if (kind != Leader)
        mResults->AddMarker(mid, value == BIT_HIGH ? AnalyzerResults::One : AnalyzerResults::Zero,
                            mSettings->mInputChannel);

    U64 target;
    if (second < m2 * mHalfBitMax)
        target = next;
    else if (second < (m2 + 1) * mHalfBitMax)
        // The second half ran on into the next symbol's first half (same
        // level): split the run in proportion.
        target = mid + m2 * second / (m2 + 1);
    else
        target = mid + m2 * mUnit;

    if (!edgeFollows && target >= next) {
        // Nothing left to move to: the symbol ends with the capture.
        end = next > 0 ? next - 1 : 0;
        return false;
    }
    if (edgeFollows && target == next) {
        mIR->AdvanceToNextEdge();
        mPosition = next;
        mLevel = mLevel == BIT_HIGH ? BIT_LOW : BIT_HIGH;
    } else if (target > mPosition) {
        // Short of the next edge (or of the end): the level stays, and the
        // next edge is still the one already read.
        mIR->AdvanceToAbsPosition(target);
        mPosition = target;
        mNextEdge = edgeFollows ? next : 0;
    }
    end = mPosition;
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
    mPosition = mIR->GetSampleNumber();
    mLevel = mIR->GetBitState();
    mNextEdge = 0;
    mCaptureEnd = GetCaptureSampleCount();

    mHalfBitMin = samplesOf(mSampleRateHz, 244200);
    mHalfBitMax = samplesOf(mSampleRateHz, 643800);
    mUnit = samplesOf(mSampleRateHz, 444000);
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
