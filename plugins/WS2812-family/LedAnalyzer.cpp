#include "LedAnalyzer.h"

#include "PluginTime.h"

using namespace plugin_time;

namespace {

const U64 kNoFall = ~U64(0);

} // namespace

// Pulse limits in samples of the run's rate.
struct LedAnalyzer::Timing {
    explicit Timing(U64 rate_hz)
        : reset(samplesOf(rate_hz, 50000)), minPulse(samplesOf(rate_hz, 100)), minBitPeriod(samplesOf(rate_hz, 650)),
          oneThreshold(samplesOf(rate_hz, 550))
    {
    }
    U64 reset;        // 50 us
    U64 minPulse;     // 100 ns
    U64 minBitPeriod; // 650 ns
    U64 oneThreshold; // 550 ns
    bool swapTopBytes = false; // the stored order differs from the shown one
};

LedAnalyzer::LedAnalyzer(const LedMember& member)
    : PatternAnalyzer(new LedAnalyzerSettings(member), member), mMember(member)
{
}

LedAnalyzerResults* LedAnalyzer::makeResults()
{
    return new LedAnalyzerResults(this, mSettings.get(), mMember);
}

void LedAnalyzer::WorkerThread()
{
    AnalyzerChannelData* input = inputCursor();
    if (!input)
        return;
    const U64 rate = GetSampleRate();
    // The run's state lives in locals, so that the compiler keeps it in
    // registers.
    EdgeWalker walk;
    walk.start(input, GetCaptureSampleCount());
    Timing t(rate);
    t.swapTopBytes = mSettings->orderInFrame() == mSettings->orderInDisplay();

    if (rate < GetMinimumSampleRateHz()) {
        // Pulses of 100 ns cannot be told apart: say so over the whole
        // capture, and end the run.
        const U64 last = walk.end() > 1 ? walk.end() - 1 : 1;
        AddResultFrame(1, last, LedAnalyzerResults::kRateTooLow, 0, 0, 0);
        mResults->CommitResults();
        ReportProgress(walk.end());
        return;
    }

    U64 lastFall = kNoFall;
    for (;;) {
        // Reset: a low of at least 50 us. After a chain's last bit it is
        // measured from that bit's falling edge.
        if (walk.level() == BIT_HIGH)
            walk.step();
        U64 s = walk.pos();
        U64 lowStart = lastFall != kNoFall ? lastFall : s;
        for (;;) {
            walk.step();
            if (walk.pos() - lowStart >= t.reset)
                break;
            walk.step();
            s = lowStart = walk.pos();
        }
        AddResultFrame(s, walk.pos(), 0, 0, LedAnalyzerResults::Reset, 0);
        mResults->CommitResults();
        ReportProgress(walk.pos());
        lastFall = ReadChain(walk, t);
    }
}

__attribute__((always_inline)) inline U64 LedAnalyzer::ReadChain(EdgeWalker& walk, const Timing& t)
{
    const Channel channel = mSettings->mInputChannel;
    AnalyzerResults* results = mResults.get();
    const U32 bits = mMember.wordBits;
    for (;;) {
        // The cursor is on the word's first rising edge.
        const U64 w = walk.pos();
        U64 p = w;
        U64 value = 0;
        bool broken = true;
        U64 lastFall = kNoFall;
        for (U32 i = 0; i < bits; ++i) {
            const U64 a = walk.pos();
            walk.step();
            const U64 b = walk.pos();
            const U64 high = b - a;
            if (high < t.minPulse || high > t.reset)
                break;
            const U64 bit = high >= t.oneThreshold ? 1 : 0;
            const bool last = i + 1 == bits;
            // A capture that ends after a word's last bit ends the chain
            // like a reset.
            const U64 n = last ? walk.nextOrEnd() : walk.next();
            const bool captureEnd = n == walk.end();
            const U64 low = n - b;
            if (!captureEnd && low < t.minPulse)
                break;
            if (!captureEnd && n - a < t.minBitPeriod) {
                p = b;
                break;
            }
            if (!captureEnd && low >= t.reset && !last) {
                p = b;
                break;
            }
            results->AddMarker(b, bit ? AnalyzerResults::One : AnalyzerResults::Zero, channel);
            value = value << 1 | bit;
            if (captureEnd || low >= t.reset) {
                // The chain ends with this word, one minimum pulse after its
                // last falling edge (within the capture); the reset that
                // follows is measured from that edge.
                p = b + t.minPulse < walk.end() ? b + t.minPulse : walk.end() - 1;
                walk.moveTo(p);
                lastFall = b;
                broken = false;
                break;
            }
            walk.step();
            p = n;
            if (last)
                broken = false;
        }

        if (p > w + 1) {
            if (t.swapTopBytes) {
                const U32 hi = bits - 8;
                const U64 top = (value >> hi) & 0xFF;
                const U64 second = (value >> (hi - 8)) & 0xFF;
                value = (value & ~((U64(0xFFFF)) << (hi - 8))) | second << hi | top << (hi - 8);
            }
            AddResultFrame(w + 1, p, 0, value, LedAnalyzerResults::Word, broken ? ~U64(0) : 0);
        }
        results->CommitResults();
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
