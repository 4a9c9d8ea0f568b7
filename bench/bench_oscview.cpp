// The oscilloscope screen at 1920 x 1080: one full repaint of the view with
// two traces of 51200 samples (min/max columns over the whole capture, and
// zoomed in to single samples), the math trace, tags, trigger markers,
// information boxes and four cursors (goal: under 16 ms a frame); and the
// whole refresh a new capture brings: placing the view, measuring, the
// measurement panel, the side panels' texts and the repaint (goal: under
// 20 ms).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QStandardPaths>

#include <memory>

#include "BenchSupport.h"
#include "OscBenchCapture.h"
#include "config/Config.h"
#include "data/SmpDataOsc.h"
#include "device/DevGlobals.h"
#include "osc/DevMS.h"
#include "osc/OscItems.h"
#include "osc/OscMeasure.h"
#include "osc/OscView.h"
#include "osc/WaveDataGenOsc.h"
#include "view/MainView.h"
#include "view/MyMainView.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// The mixed-signal model with a full capture at 1 MHz: a noisy sine on
// channel 0 and a ringing square on channel 1, 20 periods each.
std::unique_ptr<DevPoplar> makeDevice()
{
    auto dev = std::make_unique<DevPoplar>();
    const int g[2] = {1000, 1000}, off[2] = {0, 0};
    fillBenchCapture(dev.get(), g, off);
    dev->aMathEna = 1;
    return dev;
}

// The main view on that device, its screen 1920 x 1080, with every item
// the user can bring up on it.
struct Screen {
    std::unique_ptr<DevPoplar> dev = makeDevice();
    WaveDataGenOsc gen;
    MainView view{nullptr, &gen, nullptr};
    OscView* osc = nullptr;

    explicit Screen(long long timeDiv)
    {
        devUsing = dev.get();
        dev->setATimeDivValue(timeDiv);
        gen.devModelChanged();
        view.resize(Config::pixel(271) + kWidth, kHeight);
        view.show();
        view.init();
        QApplication::processEvents();
        osc = view.oscView;
        gen.zoomFirst();
        const double at[4] = {0.3, 0.7, 0.25, 0.6};
        for (int i = 0; i < 4; ++i) {
            osc->setAMarkerPosition(i, at[i]);
            osc->setAMarkerState(i, OscCursorPlaced);
        }
        osc->slotChnTagMousEnter(0);
        osc->slotTrgMousEnter(0);
        osc->slotTrgTimeMousEnter(0);
        view.updateViewDisplay();
    }
    ~Screen() { devUsing = nullptr; }
};

// Arg: 0 min/max columns over the whole capture (5 ms a division), 1 one
// sample every few pixels (20 us a division).
void BM_OscFrame(benchmark::State& state)
{
    Screen s(state.range(0) ? 20000 : 5000000);
    WaveView* wv = s.view.waveView;
    QImage image(wv->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::black);
        static_cast<QWidget*>(wv)->render(&image);
    }
    state.SetLabel(std::to_string(wv->width()) + " x " + std::to_string(wv->height()));
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    // Share of a 16 ms frame.
    state.counters["budget"] = benchmark::Counter(double(state.iterations()) * 16e-3,
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_OscFrame)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// A new capture shown: the view placed on it with its measurements, the
// measurement panel's texts, the refresh of markers and panel texts, and
// the repaint.
void BM_OscCaptureRefresh(benchmark::State& state)
{
    Screen s(5000000);
    OscMeasure measure(&s.gen);
    measure.init();
    QObject::connect(&s.gen, &WaveDataGenOsc::sigViewRefreshOsc, &measure, [&] {
        measure.slotOscMeasureValue(-1);
        s.view.updateViewDisplay();
    });
    WaveView* wv = s.view.waveView;
    QImage image(wv->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        s.gen.zoomFirst();
        image.fill(Qt::black);
        static_cast<QWidget*>(wv)->render(&image);
    }
    state.counters["budget"] = benchmark::Counter(double(state.iterations()) * 20e-3,
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_OscCaptureRefresh)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runWidgetBenchmarks(argc, argv);
}
