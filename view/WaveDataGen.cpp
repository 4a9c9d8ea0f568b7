#include "view/WaveDataGen.h"

#include <QElapsedTimer>
#include <QMutexLocker>

#include <algorithm>
#include <cmath>
#include <thread>

#include "config/Config.h"
#include "data/SmpData.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"

long long WaveDataGen::preTrgPosition = 0;

WaveDataGen::WaveDataGen(QObject* parent)
    : QThread(parent), helpers(std::max(0, std::min(7, QThread::idealThreadCount() - 1)))
{
    // The device calls the gate right before it clears or swaps the shown
    // store: the worker must be off that store by then.
    DevBase::shownStoreGate = [this] { quiesce(); };
    workerUp();
}

WaveDataGen::~WaveDataGen()
{
    quitting = true;
    stepSem.release();
    wait();
    if (DevBase::shownStoreGate)
        DevBase::shownStoreGate = nullptr;
    freeArrays();
}

SmpData* WaveDataGen::shownStore()
{
    return devUsing ? devUsing->shownData() : nullptr;
}

long long WaveDataGen::storeCount(const SmpData* s)
{
    return s ? s->smpDepth : 0;
}

// ---------------------------------------------------------------- arrays

void WaveDataGen::freeArrays()
{
    for (WaveLine* a : lines)
        delete[] a;
    for (WaveLine* a : backLines)
        delete[] a;
    lines.clear();
    lineCounts.clear();
    backLines.clear();
    backCounts.clear();
}

void WaveDataGen::allocArrays(int chnCount, int w)
{
    freeArrays();
    const int n = std::max(0, chnCount);
    const int len = std::max(1, w);
    lines.resize(n);
    backLines.resize(n);
    lineCounts.fill(0, n);
    backCounts.fill(0, n);
    for (int i = 0; i < n; ++i) {
        lines[i] = new WaveLine[len];
        backLines[i] = new WaveLine[len];
    }
}

void WaveDataGen::devModelChanged()
{
    QMutexLocker lock(&mtx);
    stepsLeft = 0;
    wStore = nullptr;
    pending.valid = false;
    ++viewSeq;
    // Allocated for the current width at once, so no generation ever meets
    // missing arrays between a device change and the next resize.
    allocArrays(devUsing ? devUsing->chnNum() : 0, width);
}

void WaveDataGen::setViewWidth(int w)
{
    w = std::max(0, w);
    QMutexLocker lock(&mtx);
    pending.valid = false;   // a worker frame of the old width is useless
    ++viewSeq;
    allocArrays(lines.size(), w);
    width = w;
    wWidth = w;
}

void WaveDataGen::generate(const SmpData* s, double sc, double st, int w,
                           QVector<WaveLine*>& arrays, QVector<int>& counts)
{
    const int n = arrays.size();
    const bool usable = s && w > 0 && sc > 0 && std::isfinite(sc) && std::isfinite(st);
    const int m = usable ? std::min(n, s->chnNum) : 0;
    for (int i = m; i < n; ++i)
        counts[i] = 0;
    if (m == 0)
        return;

    // Deep zooms take microseconds per channel and are not worth waking
    // helpers for. What a channel cost in the last frame predicts this
    // one: a heavy view goes to the helpers at once instead of first
    // spending a whole channel's time alone to find out (at a coarse zoom
    // that serial channel was a third of the frame).
    constexpr qint64 helpersWorthNs = 200000;
    int first = 0;
    if (chnCostNs * (m - 1) < helpersWorthNs) {
        QElapsedTimer t;
        t.start();
        counts[0] = std::max(0, s->getWaveLineData(0, st, sc, w, arrays[0]));
        chnCostNs = t.nsecsElapsed();
        if (chnCostNs * (m - 1) < helpersWorthNs) {
            for (int i = 1; i < m; ++i)
                counts[i] = std::max(0, s->getWaveLineData(i, st, sc, w, arrays[i]));
            return;
        }
        first = 1;
    }
    // This thread's own channels tell the next frame what a channel costs;
    // when the helpers took them all, the whole frame does (a stale cost
    // would keep light frames on the helpers for good).
    std::atomic<int> next{first};
    const std::thread::id caller = std::this_thread::get_id();
    int own = 0;
    qint64 ownNs = 0;
    QElapsedTimer all;
    all.start();
    // Returns once every helper is off the arrays.
    helpers.run(m - first - 1, [&] {
        QElapsedTimer t;
        t.start();
        int done = 0;
        for (int i = next++; i < m; i = next++, ++done)
            counts[i] = std::max(0, s->getWaveLineData(i, st, sc, w, arrays[i]));
        if (std::this_thread::get_id() == caller) {
            own = done;
            ownNs = t.nsecsElapsed();
        }
    });
    chnCostNs = own > 0 ? ownNs / own : all.nsecsElapsed() / (m - first);
}

void WaveDataGen::genData()
{
    QMutexLocker lock(&mtx);
    generate(shownStore(), scale, start, width, lines, lineCounts);
}

int WaveDataGen::getData(int chn, WaveLine** out) const
{
    if (chn < 0 || chn >= lines.size()) {
        if (out)
            *out = nullptr;
        return 0;
    }
    if (out)
        *out = lines[chn];
    return lineCounts[chn];
}

// ---------------------------------------------------------------- GUI ops

void WaveDataGen::applyView(double sc, double st)
{
    QMutexLocker lock(&mtx);
    scale = sc;
    start = st;
    wScale = sc;
    wStart = st;
    pending.valid = false;
    ++viewSeq;
    generate(shownStore(), scale, start, width, lines, lineCounts);
}

void WaveDataGen::finishOp(bool dec, bool zoom, bool rebound)
{
    emit sigViewRefresh(dec, zoom);
    if (rebound)
        setRebound();
}

void WaveDataGen::proofZoomRef(int* x) const
{
    if (*x < 0)
        *x = 0;
    else if (*x >= width)
        *x = std::max(0, width - 1);
}

void WaveDataGen::setRebound()
{
    if (!workerUp()) {
        double sc = 0, st = 0;
        bool move;
        {
            QMutexLocker lock(&mtx);
            wStore = shownStore();
            move = reboundTarget(&sc, &st);
        }
        if (move) {
            applyView(sc, st);
            emit sigViewRefresh(true, true);
        }
        return;
    }
    {
        QMutexLocker lock(&mtx);
        stepsLeft = 1;
        animMode = 2;
        wStore = shownStore();
    }
    stepSem.release();
}

void WaveDataGen::keepSampleUnder(int x, double newScale)
{
    applyView(newScale, start + x * scale - x * newScale);
}

void WaveDataGen::zoomFirst()
{
    const SmpData* s = shownStore();
    const long long count = storeCount(s);
    if (count <= 0 || width <= 0) {
        applyView(scale, start);
        finishOp(false, false, false);
        return;
    }
    const long long trg = s->trgPosition;
    const int mode = Config::viewState;
    const double full = double(count) / width;
    double sc = scale;
    if (sc < minScale || sc > full || mode == ViewAll)
        sc = full;
    double cand;
    if (mode == ViewTrigger)
        cand = trg - (width / 2) * sc;
    else if (mode == ViewKeep)
        cand = start - preTrgPosition + trg;
    else
        cand = 0;
    const double st = cand < 0 ? 0 : std::min(count - sc * width, cand);
    preTrgPosition = trg;
    applyView(sc, st);
    finishOp(false, false, false);
}

void WaveDataGen::zoomAll()
{
    const long long count = storeCount(shownStore());
    if (count <= 0 || width <= 0)
        return;
    applyView(double(count) / width, 0);
    finishOp(true, true, false);
}

void WaveDataGen::zoomTrg()
{
    const SmpData* s = shownStore();
    if (storeCount(s) <= 0)
        return;
    applyView(1, double(s->trgPosition - width / 2));
    finishOp(true, true, true);
}

void WaveDataGen::zoomIn(int x)
{
    if (scale < minScale || width <= 0)
        return;
    proofZoomRef(&x);
    if (!Config::disAnimate && workerUp()) {
        {
            QMutexLocker lock(&mtx);
            stepsLeft = stepsPerZoom;
            animMode = 0;
            refPixel = x;
            wStore = shownStore();
            frameConsumed = true;
        }
        stepSem.release();
        return;
    }
    keepSampleUnder(x, std::max(minScale, scale * 0.5));
    finishOp(true, true, true);
}

void WaveDataGen::zoomOut(int x)
{
    if (!(scale > 0) || width <= 0)
        return;
    proofZoomRef(&x);
    if (!Config::disAnimate && workerUp()) {
        {
            QMutexLocker lock(&mtx);
            stepsLeft = stepsPerZoom;
            animMode = 1;
            refPixel = x;
            wStore = shownStore();
            frameConsumed = true;
        }
        stepSem.release();
        return;
    }
    keepSampleUnder(x, scale * 2);
    finishOp(true, true, true);
}

void WaveDataGen::zoomInFine()
{
    if (scale < minScale || width <= 0)
        return;
    keepSampleUnder(width / 2, std::max(minScale, scale * 0.9));
    finishOp(true, true, true);
}

void WaveDataGen::zoomOutFine()
{
    if (!(scale > 0) || width <= 0)
        return;
    keepSampleUnder(width / 2, scale * 1.1);
    finishOp(true, true, true);
}

void WaveDataGen::zoomFixed(double s)
{
    const long long count = storeCount(shownStore());
    if (count <= 0 || width <= 0 || !std::isfinite(s))
        return;
    // The floor first: a capture shorter than the view at 0.01 samples per
    // pixel ends at the whole capture.
    s = std::min(std::max(s, minScale), double(count) / width);
    keepSampleUnder(width / 2, s);
    finishOp(true, true, true);
}

void WaveDataGen::setZoom(double s, int x)
{
    if (!std::isfinite(s) || !(s > 0))
        return;
    proofZoomRef(&x);
    if (storeCount(shownStore()) <= 0) {
        applyView(s, -s * width * 0.5);
        finishOp(false, true, false);
        return;
    }
    keepSampleUnder(x, s);
    finishOp(true, true, true);
}

void WaveDataGen::movePreEdge(int chn)
{
    const SmpData* s = shownStore();
    const long long count = storeCount(s);
    if (count <= 0)
        return;
    // Ask inside the data: a view before the start or past the end would
    // otherwise find no edge at all.
    const long long q = std::min<long long>(count, std::max(0.0, std::trunc(start)));
    long long p = s->getPreEdgePoint(chn, q);
    if (p < 0)
        p = 0;
    moveTo(p - (width / 2) * scale);
}

void WaveDataGen::moveNextEdge(int chn)
{
    const SmpData* s = shownStore();
    const long long count = storeCount(s);
    if (count <= 0)
        return;
    const double right = std::trunc(start + width * scale);
    const long long q = std::min<long long>(count, std::max(0.0, right));
    long long p = s->getNextEdgePoint(chn, q);
    if (p < 0)
        p = count;
    moveTo(p - (width / 2) * scale);
}

void WaveDataGen::moveTo(double s)
{
    if (!std::isfinite(s))
        return;
    applyView(scale, s);
    finishOp(true, true, true);
}

void WaveDataGen::moveEnd()
{
    const long long count = storeCount(shownStore());
    if (count <= 0)
        return;
    moveTo(count - width * scale + 1000);
}

void WaveDataGen::movePage(bool back, double f)
{
    const long long count = storeCount(shownStore());
    if (count <= 0 || !std::isfinite(f))
        return;
    f = std::fabs(f);
    const double span = width * scale;
    double st;
    if (back) {
        st = start - f * span;
        if (st < 0)
            st = -span / 2;
    } else if (start + (1 + f) * span > count) {
        st = count - span / 2;
    } else {
        st = start + f * span;
    }
    moveTo(st);
}

void WaveDataGen::moveDecode(double beg, double end)
{
    const long long count = storeCount(shownStore());
    const int h = width / 2;
    if (count <= 0 || h <= 0 || !(end >= beg))
        return;
    const double sc = (end - beg + 1) / h;
    double st = beg - h * sc * 0.5;
    if (st + sc * width > count)
        st = count - sc * width;
    applyView(sc, st);
    finishOp(false, false, true);
}

void WaveDataGen::moveDecodeByTimingMarker(double a, double b)
{
    const long long count = storeCount(shownStore());
    const int h = width / 2;
    if (count <= 0 || h <= 0 || !(b >= a))
        return;
    const double sc = (b - a + 1) / h;
    const double st = (b < count) ? a - sc * h * 0.5 : count - sc * width;
    applyView(sc, st);
    finishOp(true, true, true);
}

// ---------------------------------------------------------------- worker

bool WaveDataGen::workerUp()
{
    if (isRunning())
        return true;
    return !quitting && Threads::start(this);
}

void WaveDataGen::quiesce()
{
    QMutexLocker lock(&mtx);
    stepsLeft = 0;
    wStore = nullptr;
    pending.valid = false;
    ++viewSeq;
}

bool WaveDataGen::isIdle() const
{
    QMutexLocker lock(&mtx);
    return stepsLeft < 1 && !pending.valid;
}

bool WaveDataGen::reboundTarget(double* sc, double* st) const
{
    const long long count = storeCount(wStore);
    if (count <= 0 || wWidth <= 0 || !(wScale > 0))
        return false;   // nothing to pull back into
    const double m = double(count) / wWidth;
    const double s2 = std::min(wScale, m);
    double t = wStart;
    if (t < 0)
        t = 0;
    else if (t + wWidth * s2 > count)
        t = count - wWidth * s2;
    if (s2 == wScale && t == wStart)
        return false;
    *sc = s2;
    *st = t;
    return true;
}

void WaveDataGen::takeFrame()
{
    bool dec = false;
    bool zoom = false;
    {
        QMutexLocker lock(&mtx);
        if (!pending.valid || pending.seq != viewSeq)
            return;
        pending.valid = false;
        std::swap(lines, backLines);
        std::swap(lineCounts, backCounts);
        scale = pending.scale;
        start = pending.start;
        dec = pending.dec;
        zoom = pending.zoom;
    }
    emit sigViewRefresh(dec, zoom);
}

bool WaveDataGen::waitConsumed(unsigned seq, bool sameView)
{
    // Only the worker clears the flag, and only when it makes a frame: a
    // wait that is cancelled must not swallow the main window's hand-back.
    for (;;) {
        if (quitting)
            return false;
        {
            QMutexLocker lock(&mtx);
            if (stepsLeft < 1 || (sameView && viewSeq != seq))
                return false;
        }
        if (frameConsumed)
            return true;
        msleep(1);
    }
}

void WaveDataGen::run()
{
    while (!quitting) {
        int steps;
        int mode;
        unsigned seq;
        {
            QMutexLocker lock(&mtx);
            steps = stepsLeft;
            mode = animMode;
            seq = viewSeq;
        }
        if (steps < 1) {
            stepSem.acquire();
            if (quitting)
                return;
            stepSem.tryAcquire();   // wake-ups must not pile up
            continue;
        }
        if (mode != 0 && mode != 1 && mode != 2) {
            QMutexLocker lock(&mtx);
            stepsLeft = 0;
            continue;
        }

        QElapsedTimer timer;
        timer.start();

        if (mode == 2) {
            {
                QMutexLocker lock(&mtx);
                double sc, st;
                if (stepsLeft < 1 || animMode != 2 || viewSeq != seq)
                    continue;
                if (!reboundTarget(&sc, &st)) {
                    stepsLeft = 0;   // inside the data (or nothing to show)
                    continue;
                }
            }
            msleep(100);
        }
        if (!waitConsumed(seq, mode == 2))
            continue;

        bool last = false;
        {
            QMutexLocker lock(&mtx);
            if (stepsLeft < 1 || animMode != mode || !frameConsumed)
                continue;
            if (mode == 2) {
                // A move or zoom made while we waited wins: start over from it.
                if (viewSeq != seq)
                    continue;
                stepsLeft = 0;
                double sc, st;
                if (!reboundTarget(&sc, &st))
                    continue;
                wScale = sc;
                wStart = st;
                last = true;
            } else {
                if (!wStore || wWidth <= 0 || !(wScale > 0)) {
                    stepsLeft = 0;
                    continue;
                }
                const double r = refPixel * wScale + wStart;
                if (mode == 1) {
                    wScale *= stepFactor;
                } else {
                    wScale /= stepFactor;
                    if (wScale < minScale) {
                        wScale = minScale;
                        stepsLeft = 1;   // this frame is the last
                    }
                }
                wStart = r - refPixel * wScale;
                --stepsLeft;
                last = stepsLeft < 1;
                if (last) {
                    stepsLeft = 1;   // the rebound check follows
                    animMode = 2;
                }
            }
            frameConsumed = false;
            generate(wStore, wScale, wStart, wWidth, backLines, backCounts);
            pending.dec = (pending.valid && pending.dec) || last;
            pending.scale = wScale;
            pending.start = wStart;
            pending.zoom = true;
            pending.seq = viewSeq;
            pending.valid = true;
        }
        QMetaObject::invokeMethod(this, [this] { takeFrame(); }, Qt::QueuedConnection);

        if (!last) {
            const qint64 rest = 30 - timer.elapsed();
            msleep((unsigned long)std::max<qint64>(1, rest));
        }
    }
}
