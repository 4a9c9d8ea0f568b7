#ifndef WAVEDATAGEN_H
#define WAVEDATAGEN_H
// Time base of the logic waveform view (which sample sits at the left edge
// and how many samples one logical pixel covers) and the display runs of
// every channel for the visible window. One worker thread animates mouse
// zooms and pulls the view back into the data after a move (the rebound).
//
// Threads. Everything public is GUI-thread only: `scale`, `start`, `width`
// and the run arrays that getData hands out are written on the GUI thread
// alone. The worker computes each frame on its own copy of the view into a
// second set of arrays under `mtx`; the GUI thread takes the finished frame
// over (swapping the arrays) under the same lock before it emits
// sigViewRefresh. So a paint never reads an array that the worker writes,
// and the worker never reads a sample store after quiesce() returned.

#include <QMutex>
#include <QSemaphore>
#include <QThread>
#include <QVector>

#include <atomic>

#include "config/Types.h"
#include "data/SmpTables.h"
#include "data/Threads.h"
#include "decode/DecodeView.h"

class SmpData;

class WaveDataGen : public QThread, public DecodeView
{
    Q_OBJECT
public:
    explicit WaveDataGen(QObject* parent = nullptr);
    ~WaveDataGen() override;

    // ---- the view (GUI thread) ----
    double scale = 0;      // samples per logical pixel; 0 until the first capture
    double start = 0;      // sample under logical pixel 0 (may lie outside the data)
    int width = 0;         // view width in logical pixels
    int refPixel = 0;      // reference pixel of the running animated zoom
    // Set by the main window once it has taken a refresh; the worker waits
    // for it before each animation frame after the first.
    std::atomic<bool> frameConsumed{false};

    static constexpr int stepsPerZoom = 7;
    static constexpr double stepFactor = 1.1040895136738123;   // 2^(1/7)
    static constexpr double minScale = 0.01;

    // Trigger sample of the capture shown before the latest zoomFirst.
    static long long preTrgPosition;

    void devModelChanged();
    void setViewWidth(int w);
    void genData();
    // Run records of channel chn for the shown frame; returns their count
    // (0 with *out null for a channel index out of range).
    int getData(int chn, WaveLine** out) const;
    double viewStart() const override { return start; }

    // ---- view operations (GUI thread) ----
    void zoomFirst();
    void zoomAll();
    void zoomTrg();
    void zoomIn(int x);
    void zoomOut(int x);
    void zoomInFine();
    void zoomOutFine();
    void zoomFixed(double s);
    void setZoom(double s, int x);
    void movePreEdge(int chn);
    void moveNextEdge(int chn);
    void moveTo(double s);
    void moveEnd();
    void movePage(bool back, double f);
    void moveDecode(double beg, double end) override;
    void moveDecodeByTimingMarker(double a, double b);

    void proofZoomRef(int* x) const;
    void setRebound();

    // Cancels any animation or rebound and makes sure that the worker reads
    // no sample store until the next view operation. Call before the shown
    // store is cleared or swapped and before the device is deleted.
    void quiesce();
    // True when no animation or rebound is pending (for tests and tools).
    bool isIdle() const;

signals:
    void sigViewRefresh(bool decRefresh, bool isZoom);

protected:
    void run() override;

private:
    struct Frame {
        double scale = 0;
        double start = 0;
        bool dec = false;
        bool zoom = false;
        bool valid = false;
        unsigned seq = 0;
    };

    static SmpData* shownStore();
    static long long storeCount(const SmpData* s);
    // Runs of every channel of store s for the given view into arrays/counts.
    // Channels are independent reads of the store: they are spread over a
    // few helper threads, the calling thread taking its share.
    void generate(const SmpData* s, double sc, double st, int w,
                         QVector<WaveLine*>& arrays, QVector<int>& counts);
    void freeArrays();
    void allocArrays(int chnCount, int w);
    // Sets the view on the GUI thread: public fields, worker copy, the
    // shown arrays; drops a worker frame that has not been taken over yet.
    void applyView(double sc, double st);
    void finishOp(bool dec, bool zoom, bool rebound);
    void keepSampleUnder(int x, double newScale);
    void takeFrame();       // GUI thread: adopt the worker's frame
    // Worker: waits until the last frame was taken; false when cancelled
    // (or, with sameView, when the view changed since seq).
    bool waitConsumed(unsigned seq, bool sameView);
    bool reboundTarget(double* sc, double* st) const;   // under mtx
    // GUI thread: whether the worker runs, starting it if it does not (the
    // system may have refused it before). Without it, views change at once.
    bool workerUp();

    // ---- shared with the worker, guarded by mtx ----
    mutable QMutex mtx;
    double wScale = 0;
    double wStart = 0;
    int wWidth = 0;
    int stepsLeft = 0;
    int animMode = 0;      // 0 zoom in, 1 zoom out, 2 rebound
    const SmpData* wStore = nullptr;
    unsigned viewSeq = 0;  // bumped by every view change made on the GUI thread
    Frame pending;
    QVector<WaveLine*> backLines;
    QVector<int> backCounts;
    qint64 chnCostNs = 0;  // what one channel took in the latest frame

    Threads::Pool helpers;
    QSemaphore stepSem{0};
    std::atomic<bool> quitting{false};

    // ---- GUI thread ----
    QVector<WaveLine*> lines;
    QVector<int> lineCounts;
};

#endif
