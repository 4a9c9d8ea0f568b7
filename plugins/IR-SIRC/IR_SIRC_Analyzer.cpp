#include "IR_SIRC_Analyzer.h"

#include "EdgeWalker.h"
#include "PluginTime.h"

using namespace plugin_time;

namespace {

const char* const kAnalyzerName = "IR-SIRC";

enum Symbol { Invalid, Start, One, Zero };

// Symbol classes and spaces in samples of the run's rate.
struct SircTiming {
    explicit SircTiming(U64 rate_hz)
    {
        // Bounds in microseconds, included.
        const U64 us = kNsPerUs;
        startMark = rangeOf(rate_hz, 1800 * us, 3000 * us);
        oneMark = rangeOf(rate_hz, 900 * us, 1500 * us);
        zeroMark = rangeOf(rate_hz, 400 * us, 800 * us);
        spaceMin = samplesAtLeast(rate_hz, 400 * us);
        step = samplesOf(rate_hz, 600 * us);
        longSpace = samplesOf(rate_hz, 800 * us);
    }

    // Class of one mark and the space after it.
    Symbol classify(U64 mark, U64 space) const
    {
        if (space < spaceMin)
            return Invalid;
        if (startMark.holds(mark))
            return Start;
        if (oneMark.holds(mark))
            return One;
        if (zeroMark.holds(mark))
            return Zero;
        return Invalid;
    }

    SampleRange startMark, oneMark, zeroMark;
    U64 spaceMin;
    U64 step;      // 600 us
    U64 longSpace; // a space above this (800 us) ends the message
};

} // namespace

IR_SIRC_Analyzer::IR_SIRC_Analyzer() : PatternAnalyzer(new IR_SIRC_AnalyzerSettings())
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

void IR_SIRC_Analyzer::WorkerThread()
{
    AnalyzerChannelData* ir = inputCursor();
    if (!ir)
        return;
    switch (mSettings->packetLength()) {
    case 0:
        decode<0>(ir);
        break;
    case 1:
        decode<1>(ir);
        break;
    default:
        decode<2>(ir);
        break;
    }
}

// The run's state lives in locals, so that the compiler keeps it in
// registers.
template <U32 Length>
void IR_SIRC_Analyzer::decode(AnalyzerChannelData* ir)
{
    // Bits per field; 0 ends the message.
    static constexpr U32 kFieldBits[] = {1, 7, Length == 1 ? 8u : 5u, Length == 2 ? 8u : 0u, 0};
    const SircTiming t(GetSampleRate());
    const BitState idle = mSettings->idleLevel();
    const Channel channel = mSettings->mInputChannel;
    AnalyzerResults* results = mResults.get();
    EdgeWalker walk;
    walk.start(ir, GetCaptureSampleCount());
    const U64 lastSample = walk.end() > 0 ? walk.end() - 1 : 0;
    // Past the space that ends at next (an edge or the capture's end) from
    // the mark's end: a space longer than step + slack is left after the
    // step. False when that lies past the capture's end (nothing moved).
    const auto moveOn = [&](U64 mark_end, U64 next) {
        return walk.moveTo(next - mark_end > t.longSpace ? mark_end + t.step : next);
    };

    for (;;) {
        // A start: its mark, then a space.
        U64 m0, m1, n;
        walk.findMark(idle, [&t](U64 mark, U64 space) { return t.classify(mark, space) == Start; }, &m0, &m1, &n);
        results->AddMarker(m1, AnalyzerResults::Start, channel);
        AddResultFrame(m0, n < walk.end() ? n : lastSample, 0, 0, 0, 1);
        results->CommitResults();
        if (!moveOn(m1, n))
            continue; // the capture ends here

        // The fields, bits least significant first.
        for (U32 d = 1; kFieldBits[d] != 0; ++d) {
            U64 f = walk.pos();
            U64 value = 0;
            bool broken = false;
            bool ended = false;
            for (U32 i = 0;; ++i) {
                const U64 a = walk.pos();
                walk.step();
                const U64 b = walk.pos();
                const U64 next = walk.nextOrEnd();
                switch (t.classify(b - a, next - b)) {
                case One:
                    results->AddMarker(b, AnalyzerResults::One, channel);
                    value |= U64(1) << i;
                    break;
                case Zero:
                    results->AddMarker(b, AnalyzerResults::Zero, channel);
                    break;
                case Start:
                    // A new message inside the field: the field so far is
                    // broken, and this start closes as a start field.
                    if (a > f + 1)
                        AddResultFrame(f + 1, a, d, 0, 1, 1);
                    results->AddMarker(b, AnalyzerResults::Start, channel);
                    f = a;
                    d = 0;
                    value = 0;
                    break;
                case Invalid:
                    broken = true;
                    break;
                }
                const bool longSpace = next - b > t.longSpace;
                if (!moveOn(b, next))
                    ended = true;
                // A message that ends (or a capture that ends) before the
                // field's last bit breaks the field off.
                if ((longSpace || ended) && i + 1 < kFieldBits[d])
                    broken = true;
                if (broken || i + 1 >= kFieldBits[d])
                    break;
            }
            AddResultFrame(f + 1, ended ? lastSample : walk.pos(), U8(d), value, broken ? 1 : 0, kFieldBits[d]);
            results->CommitResults();
            ReportProgress(walk.pos());
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

CORVENA_ANALYZER_EXPORTS(IR_SIRC_Analyzer, kAnalyzerName)
