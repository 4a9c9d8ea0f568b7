// decode-capture: runs one analyzer plug-in over a signal recorded in a VCD
// file, the way the program runs its analyzers, and prints the frames.
//
//   decode-capture --plugin PATH.so --vcd FILE.vcd --signal NAME --rate HZ
//                  [--set N=VALUE]... [--export FILE [--export-option ID]]
//                  [--timing]
//
// The signal goes to channel 0 of the capture (sample = time × timescale ×
// rate) and every channel setting of the analyzer reads channel 0. --set N
// sets setting N (0-based, dialog order). Output: one line per frame,
// "start end type flags data1 data2" in decimal. --export writes the
// plug-in's own export file (values in hexadecimal, the program's default
// display format). --timing prints "decoded N edges in T s (R edges/s)" on
// stderr, T being the decode alone on the wall clock (not reading the file),
// so the decode speed can be compared with another decoder's on the same
// recording. Any error: one line on stderr and exit status 1.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "Analyzer.h"
#include "AnalyzerResults.h"
#include "AnalyzerSettings.h"
#include "CaptureTables.h"
#include "PluginRunner.h"
#include "VcdReader.h"

namespace {

struct Options {
    std::string plugin;
    std::string vcd;
    std::string signal;
    std::string rate;
    std::vector<std::pair<U32, std::string>> sets;
    std::string exportFile;
    std::string exportOption;
    bool haveExportOption = false;
    bool timing = false;
};

int failed(const std::string& message)
{
    std::fprintf(stderr, "decode-capture: %s\n", message.c_str());
    return 1;
}

bool parseU64(const std::string& text, U64* value)
{
    if (text.empty() || text.size() > 20)
        return false;
    U64 v = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || __builtin_mul_overflow(v, U64(10), &v) || __builtin_add_overflow(v, U64(c - '0'), &v))
            return false;
    }
    *value = v;
    return true;
}

bool parseArgs(int argc, char** argv, Options* o, std::string* error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--timing") {
            o->timing = true;
            continue;
        }
        const bool known = arg == "--plugin" || arg == "--vcd" || arg == "--signal" || arg == "--rate"
                           || arg == "--set" || arg == "--export" || arg == "--export-option";
        if (!known) {
            *error = "unknown option '" + arg + "'";
            return false;
        }
        if (i + 1 >= argc) {
            *error = arg + " needs a value";
            return false;
        }
        const std::string value = argv[++i];
        if (arg == "--plugin") {
            o->plugin = value;
        } else if (arg == "--vcd") {
            o->vcd = value;
        } else if (arg == "--signal") {
            o->signal = value;
        } else if (arg == "--rate") {
            o->rate = value;
        } else if (arg == "--export") {
            o->exportFile = value;
        } else if (arg == "--export-option") {
            o->exportOption = value;
            o->haveExportOption = true;
        } else {
            const size_t eq = value.find('=');
            U64 index = 0;
            if (eq == std::string::npos || !parseU64(value.substr(0, eq), &index) || index > 0xFFFFFFFFu) {
                *error = "--set needs N=VALUE, not '" + value + "'";
                return false;
            }
            o->sets.emplace_back(U32(index), value.substr(eq + 1));
        }
    }
    for (const auto& required : {std::make_pair(&o->plugin, "--plugin"), std::make_pair(&o->vcd, "--vcd"),
                                 std::make_pair(&o->signal, "--signal"), std::make_pair(&o->rate, "--rate")}) {
        if (required.first->empty()) {
            *error = std::string("missing ") + required.second;
            return false;
        }
    }
    if (o->haveExportOption && o->exportFile.empty()) {
        *error = "--export-option needs --export";
        return false;
    }
    return true;
}

// The export option id, checked against the analyzer's own options.
bool exportOption(AnalyzerSettings* settings, const Options& o, U32* id, std::string* error)
{
    U64 wanted = 0;
    if (o.haveExportOption && (!parseU64(o.exportOption, &wanted) || wanted > 0xFFFFFFFFu)) {
        *error = "bad --export-option '" + o.exportOption + "'";
        return false;
    }
    const U32 n = settings->GetExportOptionsCount();
    for (U32 k = 0; k < n; ++k) {
        U32 optionId = 0;
        const char* text = nullptr;
        if (settings->GetExportOption(k, &optionId, &text) && (!o.haveExportOption || optionId == wanted)) {
            *id = optionId;
            return true;
        }
    }
    *error = o.haveExportOption ? "the analyzer has no export option " + o.exportOption
                                : std::string("the analyzer has no export option");
    return false;
}

int run(const Options& o)
{
    U64 rate = 0;
    if (!parseU64(o.rate, &rate) || rate == 0 || rate > 0xFFFFFFFFu)
        return failed("--rate must be a whole number of Hz from 1 to 4294967295, not '" + o.rate + "'");

    AnalyzerPlugin plugin;
    std::string error;
    if (!plugin.load(o.plugin, &error))
        return failed(error);

    VcdSignal signal;
    if (!readVcdSignal(o.vcd, o.signal, rate, &signal, &error))
        return failed(o.vcd + ": " + error);
    CaptureTables capture(1, S64(rate));
    if (!capture.setChannel(0, signal.initLevel, signal.edges, signal.depth))
        return failed("out of memory for the capture");

    PluginAnalyzer analyzer(plugin);
    if (!analyzer.get())
        return failed("the plug-in created no analyzer");
    AnalyzerSettings* settings = analyzer->GetAnalyzerSettings();
    if (!settings)
        return failed("the analyzer has no settings");
    setAllChannels(settings, 0);
    for (const auto& s : o.sets) {
        if (!applySetting(settings, s.first, s.second, &error))
            return failed(error);
    }
    if (!settings->SetSettingsFromInterfaces()) {
        const std::string why = settings->GetSaveErrorMessage();
        return failed("the analyzer refused its settings" + (why.empty() ? std::string() : ": " + why));
    }
    U32 option = 0;
    if (!o.exportFile.empty() && !exportOption(settings, o, &option, &error))
        return failed(error);

    const auto started = std::chrono::steady_clock::now();
    const AnalyzerRunEnd end = runDecode(analyzer.get(), capture.data());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (end == RunFailed)
        return failed("the decoder failed (it threw an exception)");
    if (o.timing) {
        const double edges = double(signal.edges.size());
        std::fprintf(stderr, "decoded %llu edges in %.6f s (%.0f edges/s)\n", (unsigned long long)signal.edges.size(),
                     seconds, seconds > 0 ? edges / seconds : 0.0);
    }

    AnalyzerResults* results = nullptr;
    if (!analyzer->GetAnalyzerResults(&results))
        return failed("the analyzer made no results");
    const U64 frames = results->GetNumFrames();
    for (U64 i = 0; i < frames; ++i) {
        const Frame f = results->GetFrame(i);
        std::printf("%lld %lld %u %u %llu %llu\n", (long long)f.mStartingSampleInclusive,
                    (long long)f.mEndingSampleInclusive, unsigned(f.mType), unsigned(f.mFlags),
                    (unsigned long long)f.mData1, (unsigned long long)f.mData2);
    }
    if (std::fflush(stdout) != 0)
        return failed("cannot write the frames");

    if (!o.exportFile.empty() && !runExport(results, o.exportFile, Hexadecimal, option))
        return failed("cannot write the export file " + o.exportFile);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string error;
    if (!parseArgs(argc, argv, &options, &error))
        return failed(error);
    return run(options);
}
