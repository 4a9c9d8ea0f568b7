// Oscilloscope display at full size: two channels of 51200 samples (the
// most a record holds). The measurements, the pixel columns at 1920 pixels
// and the math trace, each against a plain summing pass over the same
// samples in the same run (goal: at most 8 times the sum); one display
// refresh with math and measurements (goal: under 1 ms); one paint of the
// traces at 1920 x 1080 into an image (goal: under 4 ms).
#include "BenchSupport.h"
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QStandardPaths>

#include <chrono>
#include <cmath>
#include <memory>

#include "OscBenchCapture.h"
#include "config/Config.h"
#include "data/SmpDataOsc.h"
#include "device/DevGlobals.h"
#include "osc/DevMS.h"
#include "osc/OscItems.h"
#include "osc/WaveDataGenOsc.h"

namespace {

constexpr int kSamples = OSC_MAX_SAMPLES;
constexpr int kWidth = 1920;

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// The mixed-signal model with a capture of a noisy sine (channel 0) and a
// square with ringing (channel 1), 20 periods each, at 1 MHz.
DevPoplar* device()
{
    static std::unique_ptr<DevPoplar> dev;
    if (dev)
        return dev.get();
    dev = std::make_unique<DevPoplar>();
    const int g[2] = {1000, 500}, off[2] = {0, 100};
    fillBenchCapture(dev.get(), g, off);
    return dev.get();
}

// The baseline: every sample of both channels added up once.
double sumPass(const SmpDataOsc* s)
{
    const auto t0 = Clock::now();
    long long sum = 0;
    for (int c = 0; c < 2; ++c) {
        const int16_t* p = s->record(c)->samples;
        for (int i = 0; i < kSamples; ++i)
            sum += p[i];
    }
    benchmark::DoNotOptimize(sum);
    return since(t0);
}

// Runs `work` (over both channels) and the summing pass in every iteration.
template <typename F>
void againstSum(benchmark::State& state, F work)
{
    SmpDataOsc* s = device()->shownDataOsc();
    double workSec = 0, sumSec = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        work(s);
        const double w = since(t0);
        state.SetIterationTime(w);
        workSec += w;
        sumSec += sumPass(s);
    }
    state.counters["vs_sum"] = workSec / sumSec;
    state.counters["samples/s"] = benchmark::Counter(2.0 * kSamples * double(state.iterations()) / workSec);
}

void BM_OscMeasure(benchmark::State& state)
{
    double v[MeasCount];
    bool ok[MeasCount];
    againstSum(state, [&](SmpDataOsc* s) {
        for (int c = 0; c < 2; ++c)
            s->getAParameterValues(c, 0, kSamples, v, ok);
        benchmark::DoNotOptimize(v);
    });
}
BENCHMARK(BM_OscMeasure)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_OscWaveLine(benchmark::State& state)
{
    std::vector<WaveLineA> out(kWidth);
    againstSum(state, [&](SmpDataOsc* s) {
        for (int c = 0; c < 2; ++c)
            s->getAWaveLineData(c, 0, double(kSamples) / kWidth, kWidth, out.data());
        benchmark::DoNotOptimize(out.data());
    });
}
BENCHMARK(BM_OscWaveLine)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_OscMath(benchmark::State& state)
{
    std::vector<WaveLineA> out(kWidth);
    const int pair[2] = {0, 1};
    againstSum(state, [&](SmpDataOsc* s) {
        s->getAMathWaveLineData(0, pair, 0, double(kSamples) / kWidth, kWidth, out.data());
        benchmark::DoNotOptimize(out.data());
    });
}
BENCHMARK(BM_OscMath)->UseManualTime()->Unit(benchmark::kMicrosecond);

// One refresh as a new capture brings it: both channels' columns and
// measurements over a window of 50000 samples, and the math trace.
void BM_OscGenData(benchmark::State& state)
{
    DevPoplar* dev = device();
    devUsing = dev;
    dev->aMathEna = 1;
    dev->setATimeDivValue(5000000);   // 5 ms a division: 50000 samples at 1 MHz
    {
        WaveDataGenOsc gen;
        gen.setViewWidth(kWidth);
        gen.zoomFirst();
        for (auto _ : state)
            gen.genData();
        state.counters["budget"] = benchmark::Counter(double(state.iterations()) * 1e-3,
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    }
    dev->aMathEna = 0;
    devUsing = nullptr;
}
BENCHMARK(BM_OscGenData)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The traces item at 1920 x 1080 with both channels and the math trace,
// painted into an image. Arg: 0 min/max columns (the whole capture), 1 one
// sample every few pixels.
void BM_OscPaint(benchmark::State& state)
{
    DevPoplar* dev = device();
    devUsing = dev;
    dev->aMathEna = 1;
    dev->setATimeDivValue(state.range(0) ? 50000 : 5000000);
    {
        WaveDataGenOsc gen;
        gen.setViewWidth(kWidth);
        gen.zoomFirst();
        WaveLineOsc item(&gen);
        item.setSize(kWidth + 1, 1081);
        QImage image(kWidth + 1, 1081, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::black);
        for (auto _ : state) {
            QPainter p(&image);
            item.paint(&p, nullptr, nullptr);
        }
        state.counters["budget"] = benchmark::Counter(double(state.iterations()) * 4e-3,
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    }
    dev->aMathEna = 0;
    devUsing = nullptr;
}
BENCHMARK(BM_OscPaint)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runWidgetBenchmarks(argc, argv);
}
