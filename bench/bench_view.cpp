// Waveform display at realistic sizes: one display frame for 16 channels at
// 1920 logical pixels over 10^9 samples with 10^8 edges (and, to show that
// the cost does not follow the capture length, over 10^8 samples with 10^7
// edges), and one full repaint of the main view into an offscreen image.
#include "BenchSupport.h"
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QImage>
#include <QPainter>
#include <QStandardPaths>

#include <algorithm>
#include <memory>

#include "config/Config.h"
#include "data/SmpData.h"
#include "device/DevGlobals.h"
#include "device/DevNone.h"
#include "view/MainView.h"
#include "view/WaveDataGen.h"

namespace {

constexpr int kChannels = 16;
constexpr int kWidth = 1920;

// A demonstration device whose shown store holds `edges` edges spread over
// 16 channels and about `depth` samples.
struct Capture {
    std::unique_ptr<DevNone> dev;
    long long depth = 0;
};

Capture& capture(int which)
{
    static Capture caps[2];
    Capture& c = caps[which];
    if (c.dev)
        return c;
    const long long depth = which == 0 ? 1000000000LL : 100000000LL;
    const long long perChn = (which == 0 ? 100000000LL : 10000000LL) / kChannels;
    const long long meanGap = depth / perChn;
    c.dev.reset(new DevNone);
    SmpData* s = c.dev->shownData();
    s->dataConvertStart(0, 1000000000, QVector<bool>(kChannels, true));
    for (int chn = 0; chn < kChannels; ++chn) {
        XorShift rng{0x9e3779b97f4a7c15ULL + chn};
        long long pos = 1 + (long long)(rng.next() % meanGap);
        for (long long k = 0; k < perChn && pos < depth; ++k) {
            s->appendEdge(chn, pos);
            pos += 1 + (long long)(rng.next() % (2 * meanGap - 1));
        }
    }
    s->smpDepth = depth;
    s->dataConvertComplete(depth);
    s->trgPosition = depth / 10;
    c.depth = depth;
    return c;
}

// scale: 0 = whole capture, else samples per logical pixel
void setView(WaveDataGen& gen, long long depth, double scale)
{
    gen.setViewWidth(kWidth);
    if (scale <= 0)
        gen.zoomAll();
    else
        gen.setZoom(scale, 0);
    gen.moveTo(scale <= 0 ? 0 : depth / 2.0);
    gen.quiesce();   // no rebound: the benchmark drives the frames
}

void BM_GenFrame(benchmark::State& state)
{
    Capture& c = capture(int(state.range(0)));
    devUsing = c.dev.get();
    WaveDataGen gen;
    gen.devModelChanged();
    setView(gen, c.depth, double(state.range(1)));
    long long records = 0;
    for (auto _ : state) {
        gen.genData();
        for (int chn = 0; chn < kChannels; ++chn) {
            WaveLine* l = nullptr;
            records += gen.getData(chn, &l);
        }
    }
    devUsing = nullptr;
    state.counters["records/s"] = benchmark::Counter(double(records), benchmark::Counter::kIsRate);
    // Share of the 2 ms frame budget one frame takes.
    state.counters["budget"] = benchmark::Counter(double(state.iterations()) * 2e-3,
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetLabel(std::to_string(c.depth) + " samples");
}
// Args: capture (0: 10^9 samples, 1: 10^8 samples), scale (0 whole capture).
BENCHMARK(BM_GenFrame)
    ->Args({0, 0})->Args({1, 0})
    ->Args({0, 1000})->Args({1, 1000})
    ->Args({0, 1})->Args({1, 1})
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

void BM_Repaint(benchmark::State& state)
{
    Capture& c = capture(0);
    devUsing = c.dev.get();
    {
        WaveDataGen gen;
        gen.devModelChanged();
        MainView view(&gen, nullptr, nullptr);
        view.resize(Config::pixel(194) + Config::pixel(kWidth), Config::pixel(1000));
        view.show();
        view.init();
        QApplication::processEvents();
        setView(gen, c.depth, double(state.range(0)));
        QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
        for (auto _ : state) {
            image.fill(Qt::black);
            view.updateViewDisplay();
            view.render(&image);
        }
        state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
        // Share of a 16 ms frame one repaint takes.
        state.counters["budget"] = benchmark::Counter(double(state.iterations()) * 16e-3,
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    }
    devUsing = nullptr;
}
// Arg: scale (0 whole capture: an edge column in every pixel of every row).
BENCHMARK(BM_Repaint)->Arg(0)->Arg(1000)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);


// The GUI thread while the glitch filter works on 2x10^7 edges (16 channels):
// the longest pause of a 20 ms timer, in milliseconds (goal: under 200).
void BM_FilterGuiPause(benchmark::State& state)
{
    DevNone dev;
    devUsing = &dev;
    {
        SmpData* s = dev.shownData();
        constexpr long long perChn = 20000000 / kChannels;
        s->dataConvertStart(0, 1000000000, QVector<bool>(kChannels, true));
        long long depth = 0;
        for (int chn = 0; chn < kChannels; ++chn) {
            XorShift rng{0x51ed2701ULL + chn};
            long long pos = 0;
            for (long long k = 0; k < perChn; ++k) {
                pos += 1 + (long long)(rng.next() % 19);
                s->appendEdge(chn, pos);
            }
            depth = std::max(depth, pos + 1);
        }
        s->smpDepth = depth;
        s->dataConvertComplete(depth);
        WaveDataGen gen;
        gen.devModelChanged();
        MainView view(&gen, nullptr, nullptr);
        view.resize(Config::pixel(194) + Config::pixel(kWidth), Config::pixel(600));
        view.show();
        view.init();
        QApplication::processEvents();
        gen.zoomAll();
        gen.quiesce();
        QElapsedTimer clock;
        qint64 last = 0, worst = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            worst = std::max(worst, now - last);
            last = now;
        });
        unsigned width = 3;
        for (auto _ : state) {
            width = width == 3 ? 12 : 3;
            clock.start();
            last = 0;
            tick.start(20);
            view.applyFilter(QVector<unsigned>(kChannels, width));
            tick.stop();
            gen.quiesce();
        }
        state.counters["max_pause_ms"] = double(worst);
        state.counters["edges"] = double(20000000);
    }
    devUsing = nullptr;
}
BENCHMARK(BM_FilterGuiPause)->Iterations(4)->UseRealTime()->Unit(benchmark::kMillisecond);
}

int main(int argc, char** argv)
{
    return runWidgetBenchmarks(argc, argv);
}
