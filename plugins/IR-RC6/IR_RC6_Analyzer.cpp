#include "IR_RC6_Analyzer.h"

#include "EdgeWalker.h"
#include "PluginTime.h"

namespace {

const char* const kAnalyzerName = "IR-RC6";

// A symbol kind's limits in samples, for the run's sample rate.
struct SymbolLimits {
    U64 firstMin;           // first half: m1 x half-bit minimum
    U64 firstSpan;          // and up to this much longer (m1 x half-bit maximum)
    U64 secondMin;          // second half: m2 x half-bit minimum
    U64 secondMax;          // below it the second half ends at the next edge
    U64 runOnMax;           // below it the second half ran on into the next symbol
    U64 fullAdvance;        // else the symbol ends m2 units after its middle
};

const U32 kSymbolKinds = IR_RC6_Analyzer::CommandBit + 1;

void setLimits(U64 rate_hz, SymbolLimits* limits)
{
    const U64 halfBitMin = plugin_time::samplesOf(rate_hz, 244200);
    const U64 halfBitMax = plugin_time::samplesOf(rate_hz, 643800);
    const U64 unit = plugin_time::samplesOf(rate_hz, 444000);
    for (U32 kind = 0; kind < kSymbolKinds; ++kind) {
        // Lengths of the two halves in time units.
        const U64 m1 = kind == IR_RC6_Analyzer::Leader ? 6 : kind == IR_RC6_Analyzer::TrailerBit ? 2 : 1;
        const U64 m2 = kind == IR_RC6_Analyzer::Leader || kind == IR_RC6_Analyzer::TrailerBit ? 2 : 1;
        // The maximum is never below the minimum, so one unsigned compare
        // checks both bounds.
        limits[kind] = SymbolLimits{m1 * halfBitMin, m1 * (halfBitMax - halfBitMin), m2 * halfBitMin,
                                    m2 * halfBitMax, (m2 + 1) * halfBitMax, m2 * unit};
    }
}

// What a run reads symbols with; the walker is kept apart (a local of the
// worker, passed by reference to inline code) so that the compiler keeps
// it in registers. The symbol kinds are template arguments, so each of a
// message's symbols becomes straight code with its limits at hand.
struct Rc6Run {
    SymbolLimits limits[kSymbolKinds];
    BitState oneLevel;
    AnalyzerResults* results;
    Channel channel;
};

// One Manchester symbol at the walker: false on failure (a half outside its
// limits). bit is the symbol's value, start and end its first and end
// samples.
template <U32 Kind>
__attribute__((always_inline)) inline bool readSymbol(EdgeWalker& walk, const Rc6Run& run, U64& bit, U64& start,
                                                      U64& end)
{
    const SymbolLimits& lim = run.limits[Kind];
    // The second half is two units long for the leader and the trailer.
    constexpr bool twoUnits = Kind == IR_RC6_Analyzer::Leader || Kind == IR_RC6_Analyzer::TrailerBit;
    if (Kind == IR_RC6_Analyzer::Leader && walk.level() == run.oneLevel)
        walk.step();
    start = walk.pos();
    walk.step();
    const U64 mid = walk.pos();
    // The second half of the last symbol of a capture may run into the end
    // of the capture; the end then closes it, so that a complete last
    // message is not lost.
    U64 next;
    const bool edgeFollows = walk.peek(&next);
    const U64 first = mid - start;
    const U64 second = next > mid ? next - mid : 0;
    if (first - lim.firstMin > lim.firstSpan || second < lim.secondMin)
        return false;
    bit = walk.level() == run.oneLevel ? 1 : 0;
    if (Kind != IR_RC6_Analyzer::Leader)
        run.results->AddMarker(mid, AnalyzerResults::MarkerType(AnalyzerResults::Zero - bit), run.channel);

    U64 target;
    if (second < lim.secondMax)
        target = next;
    else if (second < lim.runOnMax)
        // The second half ran on into the next symbol's first half (same
        // level): split the run in proportion, m2 parts of m2 + 1.
        target = mid + (twoUnits ? 2 * second / 3 : second / 2);
    else
        target = mid + lim.fullAdvance;

    if (!edgeFollows && target >= next) {
        // Nothing left to move to: the symbol ends with the capture.
        end = next > 0 ? next - 1 : 0;
        return true;
    }
    // Onto the next edge or short of it (the target never lies past it).
    if (target > mid)
        walk.moveWithin(target);
    end = walk.pos();
    return true;
}

// Bits of one kind, most significant first.
template <U32 Kind, U32 Bits>
__attribute__((always_inline)) inline bool readField(EdgeWalker& walk, const Rc6Run& run, U64& value, U64& end)
{
    value = 0;
#pragma GCC unroll 8
    for (U32 i = 0; i < Bits; ++i) {
        U64 bit, start;
        if (!readSymbol<Kind>(walk, run, bit, start, end))
            return false;
        value = value << 1 | bit;
    }
    return true;
}

} // namespace

IR_RC6_Analyzer::IR_RC6_Analyzer() : PatternAnalyzer(new IR_RC6_AnalyzerSettings())
{
}

IR_RC6_Analyzer::~IR_RC6_Analyzer()
{
    KillThread();
}

IR_RC6_AnalyzerResults* IR_RC6_Analyzer::makeResults()
{
    return new IR_RC6_AnalyzerResults(this);
}

// Every attempt at a message is a packet: the leader, the start bit, three
// mode bits, the trailer bit, then address and command, eight bits each,
// most significant first. A symbol whose halves are out of their limits
// ends the attempt; the next one starts where it stopped.
void IR_RC6_Analyzer::WorkerThread()
{
    AnalyzerChannelData* ir = inputCursor();
    if (!ir)
        return;
    Rc6Run run;
    setLimits(GetSampleRate(), run.limits);
    run.oneLevel = mSettings->oneLevel();
    run.results = mResults.get();
    run.channel = mSettings->mInputChannel;
    AnalyzerResults* results = run.results;
    EdgeWalker walk;
    walk.start(ir, GetCaptureSampleCount());
    for (;;) {
        // Every attempt closes the previous one's frames as a packet (the
        // library records no packet when an attempt added none).
        results->CommitPacketAndStartNewPacket();

        U64 bit, start, end, value, fieldStart;
        if (!readSymbol<Leader>(walk, run, bit, start, end))
            continue;
        AddResultFrame(start, end, Leader, 0);

        if (!readSymbol<StartBit>(walk, run, bit, start, end))
            continue;
        AddResultFrame(start, end, StartBit, bit);

        fieldStart = end;
        if (!readField<ModeBit, 3>(walk, run, value, end))
            continue;
        AddResultFrame(fieldStart, end, ModeField, value);

        if (!readSymbol<TrailerBit>(walk, run, bit, start, end))
            continue;
        AddResultFrame(start, end, TrailerBit, bit);

        fieldStart = end;
        if (!readField<AddressBit, 8>(walk, run, value, end))
            continue;
        AddResultFrame(fieldStart, end, AddressField, value);

        fieldStart = end;
        if (!readField<CommandBit, 8>(walk, run, value, end))
            continue;
        AddResultFrame(fieldStart, end, CommandField, value);

        results->CommitResults();
        ReportProgress(end);
    }
}

U32 IR_RC6_Analyzer::GetMinimumSampleRateHz()
{
    return 20000;
}

const char* IR_RC6_Analyzer::GetAnalyzerName() const
{
    return kAnalyzerName;
}

CORVENA_ANALYZER_EXPORTS(IR_RC6_Analyzer, kAnalyzerName)
