#ifndef WAVEDATAGENOSC_H
#define WAVEDATAGENOSC_H
// What the oscilloscope screen shows of the current device's shown analog
// capture: per channel the pixel columns of its visible window and its
// thirteen measurements, and the math trace. Keeps each channel's window
// (first sample, samples per pixel), follows the time base, and runs the
// automatic scaling that picks V/div, offsets, time base and trigger from
// the captures it is handed. Everything runs on the GUI thread.

#include <QObject>
#include <QVector>

#include <vector>

#include "data/SmpDataOsc.h"

class WaveDataGenOsc : public QObject
{
    Q_OBJECT
public:
    // Auto-scale states.
    enum AutoScale : int {
        AutoIdle = -1, AutoStarted = 0, AutoVoltDiv = 1, AutoTimeDiv = 2, AutoDone = 3, AutoGivenUp = 4
    };

    explicit WaveDataGenOsc(QObject* parent = nullptr);

    // Sizes everything for the current device's analog channels; idle.
    void devModelChanged();
    // A view width of `width` logical pixels (10 divisions); regenerates.
    void setViewWidth(int width);
    // Display data (or, after a finished mode-0 capture, one auto-scale
    // step), then sigViewRefreshOsc.
    void genData();
    // The channel's columns and their count; -1 for a channel it does not have.
    int getData(int chn, WaveLineA** records);
    void genMathData();
    int getMathData(WaveLineA** records);
    // Pointers to the channel's 13 values and flags; returns 13 (0 for a
    // channel it does not have).
    int getParameterValuesA(int chn, double** values, bool** valid);

    // ---- automatic scaling ----
    void setAutoScaleStart();
    // Ends a running auto scale (the user started another mode or stopped).
    void cancelAutoScale();
    int autoScaleState() const { return autoState; }
    // True when the latest genData measured a capture for the automatic
    // scaling (the next capture may start); false when it waited for one.
    bool autoScaleStepped() const { return stepped; }
    int setAutoScaleVoltDiv(int chn);
    int setAutoScaleTimeDiv(int chn);

    // ---- window changes, each ending in genData ----
    void zoomFirst();
    void zoom(int x);
    void zoomChangedByTimediv();
    void moveOffset(int dx);
    void moveTo(int chn, double sample);

    // Per channel: first sample of the window and samples per pixel.
    QVector<double> start;
    QVector<double> scale;
    int width = 0;

signals:
    void sigViewRefreshOsc(bool decRefresh, bool isZoom);

private:
    struct Chn {
        std::vector<WaveLineA> lines;
        int count = 0;
        double values[MeasCount] = {};
        bool valid[MeasCount] = {};
        int autoResult = -1;
        int target = 0;      // auto-scale offset of the trace, thousandths
    };
    void makeDisplayData();
    // One step on the shown capture; false when it holds nothing to measure.
    bool autoScaleStep();
    void measure(int chn);
    // Samples per pixel at the device's time base for a rate r.
    double pixelScale(double rate) const;
    static double rateOf(int chn);

    std::vector<Chn> chn;
    std::vector<WaveLineA> mathLines;
    int mathCount = 0;
    int autoState = AutoIdle;
    int divisions = 10;
    int chosen = -1;
    int stepTimeDiv = 0;     // time base of the capture an auto-scale step measures
    bool stepping = false;   // genData is running for a new capture
    bool stepped = false;
};

#endif
