// IR RC6 decoding speed: 10^6 simulated messages (the plug-in's own
// demonstration signal at 1 MHz) decoded by libIR-RC6.so, in edges per
// second. The natural limit is a bare walk over the same edges with the
// library's cursor, measured in the same run (vs_cursor_walk).

#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include "Analyzer.h"
#include "AnalyzerResults.h"
#include "AnalyzerSettingInterface.h"
#include "AnalyzerSettings.h"
#include "SimulationChannelDescriptor.h"
#include "tests/tools/CaptureTables.h"

namespace {

const U64 kRate = 1000000;
const U64 kMessages = 1000000;

typedef Analyzer* (*CreateFn)();
typedef void (*DestroyFn)(Analyzer*);

struct Plugin {
    CreateFn create = nullptr;
    DestroyFn destroy = nullptr;
};

// The plug-in from the Analyzer directory beside this program.
bool loadPlugin(Plugin* p, std::string* error)
{
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    if (n <= 0) {
        *error = "cannot find the program's directory";
        return false;
    }
    exe[n] = '\0';
    std::string path(exe);
    path = path.substr(0, path.rfind('/')) + "/Analyzer/libIR-RC6.so";
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

void onChannel0(Analyzer* a)
{
    AnalyzerSettings* s = a->GetAnalyzerSettings();
    for (U32 i = 0; i < s->GetSettingsInterfacesCount(); ++i) {
        AnalyzerSettingInterface* in = s->GetSettingsInterface(i);
        if (in->GetType() == INTERFACE_CHANNEL)
            static_cast<AnalyzerSettingInterfaceChannel*>(in)->SetChannel(Channel(0, 0));
    }
    s->SetSettingsFromInterfaces();
}

// The demonstration signal of kMessages messages as channel 0.
struct Signal {
    std::unique_ptr<CaptureTables> capture;
    U64 edges = 0;
    std::string error;
};

Signal* makeSignal(const Plugin& plugin)
{
    Signal* s = new Signal;
    Analyzer* sim = plugin.create();
    onChannel0(sim);
    sim->Init(nullptr, &kRate, nullptr);
    const U64 unit = kRate * 444 / 1000000;
    SimulationChannelDescriptor* d = nullptr;
    // 50 idle units, then 102 units per message.
    sim->GenerateSimulationData((50 + 102 * kMessages) * unit, U32(kRate), &d);
    s->capture.reset(new CaptureTables(1, S64(kRate)));
    bool ok = s->capture->begin(0, d->GetInitialBitState() == BIT_HIGH);
    S64 pos = 0;
    for (S32 run : *d->GetData()) {
        pos += run;
        ok = ok && s->capture->append(0, pos);
        ++s->edges;
    }
    ok = ok && s->capture->finish(0, S64(d->GetCurrentSampleNumber()));
    plugin.destroy(sim);
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

// CPU time of this thread for one run: with no progress manager the run
// executes here, to the end of the data. Time the machine gives to other
// work does not count, so the ratio below holds on a busy machine too.
double secondsOf(Analyzer* a)
{
    timespec t0, t1;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t0);
    a->InitialWorkerThread();
    a->StartProcessing();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t1);
    return double(t1.tv_sec - t0.tv_sec) + 1e-9 * double(t1.tv_nsec - t0.tv_nsec);
}

void BM_Rc6Decode(benchmark::State& state)
{
    Plugin plugin;
    std::string error;
    if (!loadPlugin(&plugin, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::unique_ptr<Signal> signal(makeSignal(plugin));
    if (!signal->error.empty()) {
        state.SkipWithError(signal->error.c_str());
        return;
    }

    CursorWalk walk;
    walk.Init(signal->capture->data(), nullptr, nullptr);
    Analyzer* a = plugin.create();
    onChannel0(a);
    a->Init(signal->capture->data(), nullptr, nullptr);
    // Each iteration walks and decodes once, so that their ratio compares
    // runs made under the same conditions.
    double walkSeconds = 0, decodeSeconds = 0;
    U64 frames = 0;
    // The first run also faults in the results' memory (shown apart as
    // first_run_edges_per_s); later runs reuse it, as a re-run after new
    // settings does, and give the decoder's own speed.
    a->SetupResults();
    const double firstSeconds = secondsOf(a);
    for (auto _ : state) {
        state.PauseTiming();
        a->SetupResults(); // frees the previous run's results outside the timing
        state.ResumeTiming();
        walkSeconds += secondsOf(&walk);
        decodeSeconds += secondsOf(a);
        AnalyzerResults* r = nullptr;
        a->GetAnalyzerResults(&r);
        frames = r->GetNumFrames();
    }
    plugin.destroy(a);
    if (frames != 6 * kMessages) {
        char text[96];
        std::snprintf(text, sizeof(text), "decoded %llu frames, expected %llu", (unsigned long long)frames,
                      (unsigned long long)(6 * kMessages));
        state.SkipWithError(text);
        return;
    }

    const double runs = double(state.iterations());
    state.counters["edges"] = double(signal->edges);
    state.counters["edges_per_s"] = double(signal->edges) * runs / decodeSeconds;
    state.counters["messages_per_s"] = double(kMessages) * runs / decodeSeconds;
    state.counters["walk_edges_per_s"] = double(signal->edges) * runs / walkSeconds;
    state.counters["first_run_edges_per_s"] = double(signal->edges) / firstSeconds;
    state.counters["vs_cursor_walk"] = walkSeconds / decodeSeconds;
}

} // namespace

BENCHMARK(BM_Rc6Decode)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

BENCHMARK_MAIN();
