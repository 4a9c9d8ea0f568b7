#ifndef PLUGINBENCH_H
#define PLUGINBENCH_H
// Shared harness of the plug-in benchmarks: a plug-in from the Analyzer
// directory beside the program, captures built from its demonstration signal
// or tiled from a real recording, a decode timed against a bare walk of the
// library's cursor over the same edges (warm_vs_cursor_walk), the first
// decode against the later ones (first_vs_warm), and the export file in
// lines per second.

#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "Analyzer.h"
#include "AnalyzerResults.h"
#include "AnalyzerSettingInterface.h"
#include "AnalyzerSettings.h"
#include "SimulationChannelDescriptor.h"
#include "tests/tools/CaptureTables.h"
#include "tests/tools/VcdReader.h"

namespace pluginbench {

typedef Analyzer* (*CreateFn)();
typedef void (*DestroyFn)(Analyzer*);

struct Plugin {
    CreateFn create = nullptr;
    DestroyFn destroy = nullptr;
};

// The plug-in lib<name>.so from the Analyzer directory beside this program.
inline bool loadPlugin(const std::string& name, Plugin* p, std::string* error)
{
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    if (n <= 0) {
        *error = "cannot find the program's directory";
        return false;
    }
    exe[n] = '\0';
    std::string path(exe);
    path = path.substr(0, path.rfind('/')) + "/Analyzer/lib" + name + ".so";
    void* lib = dlopen(path.c_str(), RTLD_NOW);
    if (!lib) {
        *error = dlerror();
        return false;
    }
    p->create = reinterpret_cast<CreateFn>(dlsym(lib, "CreateAnalyzer"));
    p->destroy = reinterpret_cast<DestroyFn>(dlsym(lib, "DestroyAnalyzer"));
    if (!p->create || !p->destroy) {
        *error = path + " lacks CreateAnalyzer or DestroyAnalyzer";
        return false;
    }
    return true;
}

// The plug-in, or false with the benchmark skipped.
inline bool loadOrSkip(benchmark::State& state, const std::string& name, Plugin* p)
{
    std::string error;
    if (loadPlugin(name, p, &error))
        return true;
    state.SkipWithError(error.c_str());
    return false;
}

// Channel 0, then the number lists of the dialog in order.
inline void configure(Analyzer* a, const std::vector<double>& values)
{
    AnalyzerSettings* s = a->GetAnalyzerSettings();
    size_t next = 0;
    for (U32 i = 0; i < s->GetSettingsInterfacesCount(); ++i) {
        AnalyzerSettingInterface* in = s->GetSettingsInterface(i);
        if (in->GetType() == INTERFACE_CHANNEL)
            static_cast<AnalyzerSettingInterfaceChannel*>(in)->SetChannel(Channel(0, 0));
        else if (in->GetType() == INTERFACE_NUMBER_LIST && next < values.size())
            static_cast<AnalyzerSettingInterfaceNumberList*>(in)->SetNumber(values[next++]);
    }
    s->SetSettingsFromInterfaces();
}

// A capture on channel 0 and its edge count.
struct Signal {
    std::unique_ptr<CaptureTables> capture;
    U64 edges = 0;
    std::string error;
};

// The plug-in's demonstration signal at a rate, up to a sample.
inline Signal* demoSignal(const Plugin& plugin, const std::vector<double>& settings, U64 rate, U64 until)
{
    Signal* s = new Signal;
    Analyzer* sim = plugin.create();
    configure(sim, settings);
    sim->Init(nullptr, &rate, nullptr);
    SimulationChannelDescriptor* d = nullptr;
    sim->GenerateSimulationData(until, U32(rate), &d);
    s->capture.reset(new CaptureTables(1, S64(rate)));
    bool ok = s->capture->begin(0, d->GetInitialBitState() == BIT_HIGH);
    S64 pos = 0;
    for (S32 run : *d->GetData()) {
        pos += run;
        ok = ok && s->capture->append(0, pos);
        ++s->edges;
    }
    ok = ok && s->capture->finish(0, S64(d->GetCurrentSampleNumber()) + 1);
    plugin.destroy(sim);
    if (!ok)
        s->error = "cannot build the capture";
    return s;
}

// A real recording read at a rate and repeated until it holds at least
// minEdges edges (each copy starts at the recording's first level).
inline Signal* tiledRecording(const std::string& file, const std::string& signal, U64 rate, U64 minEdges)
{
    Signal* s = new Signal;
    const char* env = std::getenv("CORVENA_RECORDINGS");
    const std::string path = std::string(env && *env ? env : CORVENA_RECORDINGS) + "/" + file;
    VcdSignal v;
    if (!readVcdSignal(path, signal, rate, &v, &s->error))
        return s;
    if (v.edges.empty()) {
        s->error = path + ": no edges";
        return s;
    }
    s->capture.reset(new CaptureTables(1, S64(rate)));
    bool ok = s->capture->begin(0, v.initLevel);
    const bool flips = v.edges.size() % 2 == 1;
    int64_t offset = 0;
    while (ok && s->edges < minEdges) {
        if (offset > 0 && flips) { // back to the first level where the copy starts
            ok = s->capture->append(0, offset);
            ++s->edges;
        }
        for (int64_t e : v.edges)
            ok = ok && s->capture->append(0, offset + e);
        s->edges += v.edges.size();
        offset += v.depth;
    }
    ok = ok && s->capture->finish(0, offset);
    if (!ok)
        s->error = "cannot build the capture";
    return s;
}

// Walks every edge and does nothing else.
class CursorWalk : public Analyzer {
public:
    ~CursorWalk() override { KillThread(); }
    void WorkerThread() override
    {
        AnalyzerChannelData* c = GetAnalyzerChannelData(Channel(0, 0));
        for (;;)
            c->AdvanceToNextEdge();
    }
    U32 GenerateSimulationData(U64, U32, SimulationChannelDescriptor**) override { return 0; }
    U32 GetMinimumSampleRateHz() override { return 1; }
    const char* GetAnalyzerName() const override { return "walk"; }
};

// CPU time of the calling thread: time the machine gives to other work does
// not count, so the ratios hold on a busy machine too.
inline double threadSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

inline double wallSeconds()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// Thread CPU and wall-clock seconds of runs.
struct RunTime {
    double cpu = 0;
    double wall = 0;
    RunTime& operator+=(const RunTime& o)
    {
        cpu += o.cpu;
        wall += o.wall;
        return *this;
    }
};

// One run.
inline RunTime timeOf(Analyzer* a)
{
    const double c0 = threadSeconds(), w0 = wallSeconds();
    a->InitialWorkerThread();
    a->StartProcessing(); // no progress manager: runs here, to the end of the data
    RunTime t;
    t.cpu = threadSeconds() - c0;
    t.wall = wallSeconds() - w0;
    return t;
}

// Bytes the results of a channel-0 decoder hold: 40-byte frames, 8-byte
// markers and two frame indices per packet, as the library stores them.
inline double storedBytes(AnalyzerResults* r)
{
    return double(r->GetNumFrames()) * double(sizeof(Frame)) + double(r->GetNumMarkers(Channel(0, 0))) * 8.0 +
           double(r->GetNumPackets()) * 16.0;
}

// Decodes the signal with the plug-in; the counters give edges per second
// and the ratio to the cursor walk, in CPU time of the decoding thread.
// Each iteration walks and decodes once, from fresh results, so that the
// ratio compares runs made under the same conditions. The first decode of
// the process, the one a user waits for after a capture, is shown apart
// (first_run_*): it also takes the results' memory from the system, where
// later runs (warm_*) reuse it, as a re-run after new settings does.
// first_vs_warm is its speed against the later runs' (also on the wall
// clock, first_vs_warm_wall, which a helper thread cannot flatter).
// frameCheck(frames) returns an error text when the decode went wrong.
template <class Check>
void decodeBench(benchmark::State& state, const Plugin& plugin, const std::vector<double>& settings, Signal* signal,
                 Check frameCheck)
{
    std::unique_ptr<Signal> owner(signal);
    if (!signal->error.empty()) {
        state.SkipWithError(signal->error.c_str());
        return;
    }
    CursorWalk walk;
    walk.Init(signal->capture->data(), nullptr, nullptr);

    Analyzer* a = plugin.create();
    configure(a, settings);
    a->Init(signal->capture->data(), nullptr, nullptr);
    a->SetupResults();
    const RunTime firstWalk = timeOf(&walk);
    const RunTime first = timeOf(a);
    RunTime walked, decoded;
    U64 frames = 0;
    double resultBytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        a->SetupResults(); // frees the previous run's results outside the timing
        state.ResumeTiming();
        walked += timeOf(&walk);
        decoded += timeOf(a);
        AnalyzerResults* r = nullptr;
        a->GetAnalyzerResults(&r);
        frames = r->GetNumFrames();
        resultBytes = storedBytes(r);
    }
    plugin.destroy(a);
    const std::string error = frameCheck(frames);
    if (!error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    const double runs = double(state.iterations());
    const double edges = double(signal->edges);
    state.counters["edges"] = edges;
    state.counters["frames"] = double(frames);
    state.counters["warm_edges_per_s"] = edges * runs / decoded.cpu;
    state.counters["walk_edges_per_s"] = edges * runs / walked.cpu;
    state.counters["warm_vs_cursor_walk"] = walked.cpu / decoded.cpu;
    state.counters["first_run_edges_per_s"] = edges / first.cpu;
    state.counters["first_run_vs_cursor_walk"] = firstWalk.cpu / first.cpu;
    state.counters["first_vs_warm"] = decoded.cpu / runs / first.cpu;
    state.counters["first_vs_warm_wall"] = decoded.wall / runs / first.wall;
    state.counters["result_bytes_per_edge"] = resultBytes / edges;
    // What the first run pays beyond a warm one for each byte of results;
    // near bench_sdk's fresh_ns_per_byte when fresh memory is all it lacks.
    state.counters["first_run_extra_ns_per_result_byte"] =
        resultBytes > 0 ? (first.cpu - decoded.cpu / runs) / resultBytes * 1e9 : 0;
}

// Exactly `count` frames.
inline auto exactly(U64 count)
{
    return [count](U64 frames) {
        return frames == count ? std::string()
                               : "decoded " + std::to_string(frames) + " frames, expected " + std::to_string(count);
    };
}

// At least `min` frames.
inline auto atLeast(U64 min)
{
    return [min](U64 frames) {
        return frames >= min ? std::string()
                             : "decoded " + std::to_string(frames) + " frames, expected " + std::to_string(min);
    };
}

// Decodes once, then times the export file of the results in a display base.
inline void exportBench(benchmark::State& state, const Plugin& plugin, const std::vector<double>& settings,
                        Signal* signal, DisplayBase base)
{
    std::unique_ptr<Signal> owner(signal);
    if (!signal->error.empty()) {
        state.SkipWithError(signal->error.c_str());
        return;
    }
    Analyzer* a = plugin.create();
    configure(a, settings);
    a->Init(signal->capture->data(), nullptr, nullptr);
    a->SetupResults();
    timeOf(a);
    AnalyzerResults* r = nullptr;
    a->GetAnalyzerResults(&r);
    char path[] = "/tmp/corvena-export-bench-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) {
        plugin.destroy(a);
        state.SkipWithError("cannot make a temporary file");
        return;
    }
    close(fd);
    double seconds = 0;
    for (auto _ : state) {
        const double t0 = threadSeconds();
        r->StartExportThread(nullptr, base, 0);
        r->GenerateExportFile(path, base, 0);
        seconds += threadSeconds() - t0;
    }
    const bool failed = r->ExportFailed();
    const U64 frames = r->GetNumFrames();
    plugin.destroy(a);
    std::remove(path);
    if (failed) {
        state.SkipWithError("the export failed");
        return;
    }
    state.counters["lines"] = double(frames);
    state.counters["lines_per_s"] = double(frames) * double(state.iterations()) / seconds;
}

} // namespace pluginbench

#endif
