#include "LedAnalyzer.h"

#include "PluginTime.h"

using namespace plugin_time;

namespace {

const U64 kNoFall = ~U64(0);

} // namespace

LedAnalyzer::LedAnalyzer(const LedMember& member)
    : PatternAnalyzer(new LedAnalyzerSettings(member), member), mMember(member), mSampleRateHz(0), mInput(nullptr),
      mReset(0), mMinPulse(0), mMinBitPeriod(0), mOneThreshold(0), mSwapTopBytes(false)
{
}

LedAnalyzer::~LedAnalyzer()
{
    KillThread();
}

LedAnalyzerResults* LedAnalyzer::makeResults()
{
    return new LedAnalyzerResults(this, mSettings.get(), mMember);
}

void LedAnalyzer::WorkerThread()
{
    if (!mResults)
        return;
    mSampleRateHz = GetSampleRate();
    mInput = GetAnalyzerChannelData(mSettings->mInputChannel);
    if (!mInput)
        return;
    mWalk.start(mInput, GetCaptureSampleCount());

    mReset = samplesOf(mSampleRateHz, 50000);
    mMinPulse = samplesOf(mSampleRateHz, 100);
    mMinBitPeriod = samplesOf(mSampleRateHz, 650);
    mOneThreshold = samplesOf(mSampleRateHz, 550);
    mSwapTopBytes = mSettings->orderInFrame() == mSettings->orderInDisplay();

    if (mSampleRateHz < GetMinimumSampleRateHz()) {
        // Pulses of 100 ns cannot be told apart: say so over the whole
        // capture, and end the run.
        const U64 last = mWalk.end() > 1 ? mWalk.end() - 1 : 1;
        AddResultFrame(1, last, LedAnalyzerResults::kRateTooLow, 0, 0, 0);
        mResults->CommitResults();
        ReportProgress(mWalk.end());
        return;
    }

    U64 lastFall = kNoFall;
    for (;;) {
        // Reset: a low of at least 50 us. After a chain's last bit it is
        // measured from that bit's falling edge.
        if (mWalk.level() == BIT_HIGH)
            mWalk.step();
        U64 s = mWalk.pos();
        U64 lowStart = lastFall != kNoFall ? lastFall : s;
        for (;;) {
            mWalk.step();
            if (mWalk.pos() - lowStart >= mReset)
                break;
            mWalk.step();
            s = lowStart = mWalk.pos();
        }
        AddResultFrame(s, mWalk.pos(), 0, 0, LedAnalyzerResults::Reset, 0);
        mResults->CommitResults();
        ReportProgress(mWalk.pos());
        lastFall = ReadChain();
    }
}

U64 LedAnalyzer::ReadChain()
{
    const Channel& channel = mSettings->mInputChannel;
    const U32 bits = mMember.wordBits;
    for (;;) {
        // The cursor is on the word's first rising edge.
        const U64 w = mWalk.pos();
        U64 p = w;
        U64 value = 0;
        bool broken = true;
        U64 lastFall = kNoFall;
        for (U32 i = 0; i < bits; ++i) {
            const U64 a = mWalk.pos();
            mWalk.step();
            const U64 b = mWalk.pos();
            const U64 high = b - a;
            if (high < mMinPulse || high > mReset)
                break;
            const U64 bit = high >= mOneThreshold ? 1 : 0;
            const bool last = i + 1 == bits;
            // A capture that ends after a word's last bit ends the chain
            // like a reset.
            const U64 n = last ? mWalk.nextOrEnd() : mWalk.next();
            const bool captureEnd = n == mWalk.end();
            const U64 low = n - b;
            if (!captureEnd && low < mMinPulse)
                break;
            if (!captureEnd && n - a < mMinBitPeriod) {
                p = b;
                break;
            }
            if (!captureEnd && low >= mReset && !last) {
                p = b;
                break;
            }
            mResults->AddMarker(b, bit ? AnalyzerResults::One : AnalyzerResults::Zero, channel);
            value = value << 1 | bit;
            if (captureEnd || low >= mReset) {
                // The chain ends with this word, one minimum pulse after its
                // last falling edge (within the capture); the reset that
                // follows is measured from that edge.
                p = b + mMinPulse < mWalk.end() ? b + mMinPulse : mWalk.end() - 1;
                mWalk.moveTo(p);
                lastFall = b;
                broken = false;
                break;
            }
            mWalk.step();
            p = n;
            if (last)
                broken = false;
        }

        if (p > w + 1) {
            if (mSwapTopBytes) {
                const U32 hi = bits - 8;
                const U64 top = (value >> hi) & 0xFF;
                const U64 second = (value >> (hi - 8)) & 0xFF;
                value = (value & ~((U64(0xFFFF)) << (hi - 8))) | second << hi | top << (hi - 8);
            }
            AddResultFrame(w + 1, p, 0, value, LedAnalyzerResults::Word, broken ? ~U64(0) : 0);
        }
        mResults->CommitResults();
        ReportProgress(p);
        if (broken || lastFall != kNoFall)
            return broken ? kNoFall : lastFall;
    }
}

U32 LedAnalyzer::GetMinimumSampleRateHz()
{
    return 10000000;
}

const char* LedAnalyzer::GetAnalyzerName() const
{
    return mMember.analyzerName;
}
