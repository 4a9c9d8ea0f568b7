#include "IR_JVC_Analyzer.h"

#include "EdgeWalker.h"
#include "PluginTime.h"

using namespace plugin_time;

namespace {

const char* const kAnalyzerName = "IR-JVC";
const U32 kFieldBits = 8;
const U8 kLastField = 2; // address, then command

enum Symbol { Invalid, Start, One, Zero };

// Symbol classes in samples of the run's rate.
struct JvcTiming {
    explicit JvcTiming(U64 rate_hz)
    {
        // Bounds in microseconds, included.
        const U64 us = kNsPerUs;
        startMark = rangeOf(rate_hz, 7416 * us, 9416 * us);
        startSpaceMin = samplesAtLeast(rate_hz, 3508 * us);
        bitMark = rangeOf(rate_hz, 326 * us, 726 * us);
        oneSpace = rangeOf(rate_hz, 1378 * us, 1778 * us);
        zeroSpace = rangeOf(rate_hz, 326 * us, 726 * us);
        unit = samplesOf(rate_hz, 526 * us);
        longStart = samplesOf(rate_hz, 4908 * us);
    }

    bool isStart(U64 mark, U64 space) const { return startMark.holds(mark) && space >= startSpaceMin; }
    // Class of one mark and the space after it; a start is tested first.
    Symbol classify(U64 mark, U64 space) const
    {
        if (isStart(mark, space))
            return Start;
        if (!bitMark.holds(mark))
            return Invalid;
        if (oneSpace.holds(space))
            return One;
        if (zeroSpace.holds(space))
            return Zero;
        return Invalid;
    }

    SampleRange startMark;
    U64 startSpaceMin;
    SampleRange bitMark, oneSpace, zeroSpace;
    U64 unit;      // 526 us
    U64 longStart; // a start space above this (4908 us) is left after 8 units
};

} // namespace

IR_JVC_Analyzer::IR_JVC_Analyzer() : PatternAnalyzer(new IR_JVC_AnalyzerSettings())
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

// The run's state lives in locals, so that the compiler keeps it in
// registers.
void IR_JVC_Analyzer::WorkerThread()
{
    AnalyzerChannelData* ir = inputCursor();
    if (!ir)
        return;
    const JvcTiming t(GetSampleRate());
    const BitState idle = mSettings->idleLevel();
    const Channel channel = mSettings->mInputChannel;
    AnalyzerResults* results = mResults.get();
    EdgeWalker walk;
    walk.start(ir, GetCaptureSampleCount());

    for (;;) {
        // A start: its mark, then a space.
        U64 m0, m1, n;
        walk.findMark(idle, [&t](U64 mark, U64 space) { return t.isStart(mark, space); }, &m0, &m1, &n);
        results->AddMarker(m1, AnalyzerResults::Start, channel);
        AddResultFrame(m0, n - 1, 0, 0);
        results->CommitResults();
        if (!walk.moveTo(n - m1 > t.longStart ? m1 + 8 * t.unit : n))
            continue; // the capture ends here

        // Address and command, bits least significant first; every bit
        // reads its mark and its space.
        for (U8 d = 1; d <= kLastField; ++d) {
            // A long start space leaves the cursor inside it: the field
            // begins with the next mark.
            if (walk.level() == idle)
                walk.step();
            U64 f = walk.pos();
            U64 value = 0;
            U64 c = f;
            bool invalid = false;
            U32 i = 0;
            while (i < kFieldBits && !invalid) {
                const U64 a = walk.pos();
                walk.step();
                const U64 b = walk.pos();
                c = walk.nextOrEnd();
                // At the capture's end nothing moves; the next read ends the run.
                walk.moveTo(c);
                switch (t.classify(b - a, c - b)) {
                case One:
                    results->AddMarker(b, AnalyzerResults::One, channel);
                    value |= U64(1) << i++;
                    break;
                case Zero:
                    results->AddMarker(b, AnalyzerResults::Zero, channel);
                    ++i;
                    break;
                case Start:
                    // A new message: it closes at once as a start field
                    // (it has no bits), and its address follows.
                    results->AddMarker(b, AnalyzerResults::Start, channel);
                    AddResultFrame(a, c - 1, 0, 0);
                    results->CommitResults();
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
                results->CommitResults();
                ReportProgress(walk.pos());
                break;
            }
            AddResultFrame(f, c - 1, d, value);
            results->CommitResults();
            ReportProgress(walk.pos());
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

CORVENA_ANALYZER_EXPORTS(IR_JVC_Analyzer, kAnalyzerName)
