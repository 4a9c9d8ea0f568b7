#include "IR_SIRC_Analyzer.h"

using namespace plugin_time;

namespace {

const char* const kAnalyzerName = "IR-SIRC";

} // namespace

IR_SIRC_Analyzer::IR_SIRC_Analyzer()
    : PatternAnalyzer(new IR_SIRC_AnalyzerSettings()), mSampleRateHz(0),
      mIR(nullptr), mStartMark{0, 0}, mOneMark{0, 0}, mZeroMark{0, 0}, mSpaceMin(0), mStep(0), mLongSpace(0)
{
}

IR_SIRC_Analyzer::~IR_SIRC_Analyzer()
{
    KillThread();
}

IR_SIRC_AnalyzerResults* IR_SIRC_Analyzer::makeResults()
{
    return new IR_SIRC_AnalyzerResults(this);
}

IR_SIRC_Analyzer::Symbol IR_SIRC_Analyzer::getLogicBit(U64 mark, U64 space) const
{
    if (space < mSpaceMin)
        return Invalid;
    if (mStartMark.holds(mark))
        return Start;
    if (mOneMark.holds(mark))
        return One;
    if (mZeroMark.holds(mark))
        return Zero;
    return Invalid;
}

bool IR_SIRC_Analyzer::MoveOn(U64 mark_end, U64 next)
{
    return mWalk.moveTo(next - mark_end > mLongSpace ? mark_end + mStep : next);
}

void IR_SIRC_Analyzer::WorkerThread()
{
    if (!mResults)
        return;
    mSampleRateHz = GetSampleRate();
    mIR = GetAnalyzerChannelData(mSettings->mInputChannel);
    if (!mIR)
        return;
    mWalk.start(mIR, GetCaptureSampleCount());
    const U64 lastSample = mWalk.end() > 0 ? mWalk.end() - 1 : 0;

    // Symbol classes in microseconds, bounds included.
    const U64 us = kNsPerUs;
    mStartMark = rangeOf(mSampleRateHz, 1800 * us, 3000 * us);
    mOneMark = rangeOf(mSampleRateHz, 900 * us, 1500 * us);
    mZeroMark = rangeOf(mSampleRateHz, 400 * us, 800 * us);
    mSpaceMin = samplesAtLeast(mSampleRateHz, 400 * us);
    mStep = samplesOf(mSampleRateHz, 600 * us);
    mLongSpace = samplesOf(mSampleRateHz, 800 * us);

    const BitState idle = mSettings->idleLevel();
    const U32 length = mSettings->packetLength();
    // Bits per field; 0 ends the message.
    const U32 fieldBits[] = {1, 7, length == 1 ? 8u : 5u, length == 2 ? 8u : 0u, 0};

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
            if (getLogicBit(m1 - m0, n - m1) == Start)
                break;
            mWalk.step();
        }
        mResults->AddMarker(m1, AnalyzerResults::Start, mSettings->mInputChannel);
        AddResultFrame(m0, n < mWalk.end() ? n : lastSample, 0, 0, 0, 1);
        mResults->CommitResults();
        if (!MoveOn(m1, n))
            continue; // the capture ends here

        // The fields, bits least significant first.
        for (U32 d = 1; fieldBits[d] != 0; ++d) {
            U64 f = mWalk.pos();
            U64 value = 0;
            bool broken = false;
            bool ended = false;
            for (U32 i = 0;; ++i) {
                const U64 a = mWalk.pos();
                mWalk.step();
                const U64 b = mWalk.pos();
                const U64 next = mWalk.nextOrEnd();
                switch (getLogicBit(b - a, next - b)) {
                case One:
                    mResults->AddMarker(b, AnalyzerResults::One, mSettings->mInputChannel);
                    value |= U64(1) << i;
                    break;
                case Zero:
                    mResults->AddMarker(b, AnalyzerResults::Zero, mSettings->mInputChannel);
                    break;
                case Start:
                    // A new message inside the field: the field so far is
                    // broken, and this start closes as a start field.
                    if (a > f + 1)
                        AddResultFrame(f + 1, a, d, 0, 1, 1);
                    mResults->AddMarker(b, AnalyzerResults::Start, mSettings->mInputChannel);
                    f = a;
                    d = 0;
                    value = 0;
                    break;
                case Invalid:
                    broken = true;
                    break;
                }
                const bool longSpace = next - b > mLongSpace;
                if (!MoveOn(b, next))
                    ended = true;
                // A message that ends (or a capture that ends) before the
                // field's last bit breaks the field off.
                if ((longSpace || ended) && i + 1 < fieldBits[d])
                    broken = true;
                if (broken || i + 1 >= fieldBits[d])
                    break;
            }
            AddResultFrame(f + 1, ended ? lastSample : mWalk.pos(), U8(d), value, broken ? 1 : 0, fieldBits[d]);
            mResults->CommitResults();
            ReportProgress(mWalk.pos());
            if (broken || ended)
                break;
        }
    }
}

U32 IR_SIRC_Analyzer::GetMinimumSampleRateHz()
{
    return 20000;
}

const char* IR_SIRC_Analyzer::GetAnalyzerName() const
{
    return kAnalyzerName;
}

const char* GetAnalyzerName()
{
    return kAnalyzerName;
}

Analyzer* CreateAnalyzer()
{
    return new IR_SIRC_Analyzer();
}

void DestroyAnalyzer(Analyzer* analyzer)
{
    delete analyzer;
}
