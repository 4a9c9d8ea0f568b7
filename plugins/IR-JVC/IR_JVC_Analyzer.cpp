#include "IR_JVC_Analyzer.h"

using namespace plugin_time;

namespace {

const char* const kAnalyzerName = "IR-JVC";
const U32 kFieldBits = 8;
const U8 kLastField = 2; // address, then command

} // namespace

IR_JVC_Analyzer::IR_JVC_Analyzer()
    : PatternAnalyzer(new IR_JVC_AnalyzerSettings()), mSampleRateHz(0),
      mIR(nullptr), mStartMark{0, 0}, mStartSpaceMin(0), mBitMark{0, 0}, mOneSpace{0, 0}, mZeroSpace{0, 0},
      mUnit(0), mLongStart(0)
{
}

IR_JVC_Analyzer::~IR_JVC_Analyzer()
{
    KillThread();
}

IR_JVC_AnalyzerResults* IR_JVC_Analyzer::makeResults()
{
    return new IR_JVC_AnalyzerResults(this);
}

bool IR_JVC_Analyzer::isStartBit(U64 mark, U64 space) const
{
    return mStartMark.holds(mark) && space >= mStartSpaceMin;
}

IR_JVC_Analyzer::Symbol IR_JVC_Analyzer::getLogicBit(U64 mark, U64 space) const
{
    if (isStartBit(mark, space))
        return Start;
    if (!mBitMark.holds(mark))
        return Invalid;
    if (mOneSpace.holds(space))
        return One;
    if (mZeroSpace.holds(space))
        return Zero;
    return Invalid;
}

void IR_JVC_Analyzer::WorkerThread()
{
    if (!mResults)
        return;
    mSampleRateHz = GetSampleRate();
    mIR = GetAnalyzerChannelData(mSettings->mInputChannel);
    if (!mIR)
        return;
    mWalk.start(mIR, GetCaptureSampleCount());

    // Symbol classes in microseconds, bounds included.
    const U64 us = kNsPerUs;
    mStartMark = rangeOf(mSampleRateHz, 7416 * us, 9416 * us);
    mStartSpaceMin = samplesAtLeast(mSampleRateHz, 3508 * us);
    mBitMark = rangeOf(mSampleRateHz, 326 * us, 726 * us);
    mOneSpace = rangeOf(mSampleRateHz, 1378 * us, 1778 * us);
    mZeroSpace = rangeOf(mSampleRateHz, 326 * us, 726 * us);
    mUnit = samplesOf(mSampleRateHz, 526 * us);
    mLongStart = samplesOf(mSampleRateHz, 4908 * us);

    const BitState idle = mSettings->idleLevel();
    const Channel& channel = mSettings->mInputChannel;

    for (;;) {
        // A start: its mark, then a space.
        if (mWalk.level() == idle)
            mWalk.step();
        U64 m0, m1, n;
        for (;;) {
            m0 = mWalk.pos();
            mWalk.step();
            m1 = mWalk.pos();
            n = mWalk.nextOrEnd();
            if (isStartBit(m1 - m0, n - m1))
                break;
            mWalk.step();
        }
        mResults->AddMarker(m1, AnalyzerResults::Start, channel);
        AddResultFrame(m0, n - 1, 0, 0);
        mResults->CommitResults();
        if (!mWalk.moveTo(n - m1 > mLongStart ? m1 + 8 * mUnit : n))
            continue; // the capture ends here

        // Address and command, bits least significant first; every bit
        // reads its mark and its space.
        for (U8 d = 1; d <= kLastField; ++d) {
            // A long start space leaves the cursor inside it: the field
            // begins with the next mark.
            if (mWalk.level() == idle)
                mWalk.step();
            U64 f = mWalk.pos();
            U64 value = 0;
            U64 c = f;
            bool invalid = false;
            U32 i = 0;
            while (i < kFieldBits && !invalid) {
                const U64 a = mWalk.pos();
                mWalk.step();
                const U64 b = mWalk.pos();
                c = mWalk.nextOrEnd();
                // At the capture's end nothing moves; the next read ends the run.
                mWalk.moveTo(c);
                switch (getLogicBit(b - a, c - b)) {
                case One:
                    mResults->AddMarker(b, AnalyzerResults::One, channel);
                    value |= U64(1) << i++;
                    break;
                case Zero:
                    mResults->AddMarker(b, AnalyzerResults::Zero, channel);
                    ++i;
                    break;
                case Start:
                    // A new message: it closes at once as a start field
                    // (it has no bits), and its address follows.
                    mResults->AddMarker(b, AnalyzerResults::Start, channel);
                    AddResultFrame(a, c - 1, 0, 0);
                    mResults->CommitResults();
                    d = 1;
                    f = c;
                    value = 0;
                    i = 0;
                    break;
                case Invalid:
                    invalid = true;
                    break;
                }
            }
            if (invalid) {
                mResults->CommitResults();
                ReportProgress(mWalk.pos());
                break;
            }
            AddResultFrame(f, c - 1, d, value);
            mResults->CommitResults();
            ReportProgress(mWalk.pos());
        }
    }
}

U32 IR_JVC_Analyzer::GetMinimumSampleRateHz()
{
    return 20000;
}

const char* IR_JVC_Analyzer::GetAnalyzerName() const
{
    return kAnalyzerName;
}

const char* GetAnalyzerName()
{
    return kAnalyzerName;
}

Analyzer* CreateAnalyzer()
{
    return new IR_JVC_Analyzer();
}

void DestroyAnalyzer(Analyzer* analyzer)
{
    delete analyzer;
}
