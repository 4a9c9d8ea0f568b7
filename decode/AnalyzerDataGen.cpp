#include "AnalyzerDataGen.h"

#include <QMutexLocker>

#include <cmath>
#include <limits>

#include "Analyzer.h"
#include "AnalyzerResults.h"
#include "data/Threads.h"
#include "decode/AnalyzerManager.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"

namespace {

// The search count is published at most this often while it grows.
constexpr qint64 TOTAL_PUBLISH_MS = 50;

S64 toSample(double v)
{
    if (std::isnan(v))
        return 0;
    if (v <= double(std::numeric_limits<S64>::min()))
        return std::numeric_limits<S64>::min();
    if (v >= double(std::numeric_limits<S64>::max()))
        return std::numeric_limits<S64>::max();
    return S64(v);
}

bool deviceSampling()
{
    return devUsing && devUsing->smpRunning.load();
}

} // namespace

AnalyzerDataGen::AnalyzerDataGen(AnalyzerManager* manager, QObject* parent)
    : AnalyzerDataGen([manager]() { manager->setModifyAnly(false); },
                      []() {
                          QVector<Shown> v;
                          for (Analyzer* a : AnalyzerManager::getEnaAnalyzers()) {
                              AnalyzerResults* r = nullptr;
                              if (a && a->GetAnalyzerResults(&r) && r)
                                  v.append({r, AnalyzerManager::getAnalyzerDisplayFormat(a)});
                          }
                          return v;
                      },
                      parent)
{
    // Direct: the handshake runs on the GUI thread and waits for us.
    connect(manager, &AnalyzerManager::modifyPrepared, this, &AnalyzerDataGen::slotModifyPrepare);
}

AnalyzerDataGen::AnalyzerDataGen(std::function<void()> ack, ShownSource shown, QObject* parent)
    : QThread(parent), acknowledge(std::move(ack)), shownSource(std::move(shown))
{
    qRegisterMetaType<SmpPointFrame>("SmpPointFrame");
    // A thread the system refuses is tried again with the next request.
    startThread();
}

AnalyzerDataGen::~AnalyzerDataGen()
{
    quit.store(true);
    wake.release();
    wait(); // at once for a thread that never started
}

void AnalyzerDataGen::startThread()
{
    if (!isRunning() && !quit.load())
        Threads::start(this, QThread::InheritPriority);
}

void AnalyzerDataGen::request(const QString& text, double start, double end)
{
    // The results are taken here, on the GUI thread, where the list of
    // analyzers in use changes; the generator never reads that list.
    QVector<Shown> shown = shownSource ? shownSource() : QVector<Shown>();
    {
        QMutexLocker lock(&reqLock);
        pending.restart = true;
        pending.scroll = false;
        pending.text = text;
        pending.start = start;
        pending.end = end;
        pending.shown = shown;
    }
    startThread();
    wake.release();
}

void AnalyzerDataGen::reStart(const QString& text, double start, double end)
{
    selected.store(false);
    request(text, start, end);
}

void AnalyzerDataGen::updateTable(const QString& text, double start, double end)
{
    request(text, start, end);
}

void AnalyzerDataGen::begFrameChanged(qint64 first)
{
    if (first < 0 || first > knownTotal.load())
        return;
    {
        QMutexLocker lock(&reqLock);
        pending.scroll = true;
        pending.first = first;
    }
    startThread();
    // While the device samples, the request waits for the next wake-up.
    if (!deviceSampling())
        wake.release();
}

void AnalyzerDataGen::slotRowNumChanged(int rowNum)
{
    rowsPerPage.store(qMax(0, rowNum));
}

void AnalyzerDataGen::setSelected(int row)
{
    selected.store(true);
    selectedFrame.store(guiPageStart + row);
}

SmpPointFrame AnalyzerDataGen::getSmpPoint(int row) const
{
    if (row < 0 || row >= guiPoints.size())
        return SmpPointFrame();
    return guiPoints.at(row);
}

void AnalyzerDataGen::slotModifyPrepare()
{
    // Without the generator thread (the system refused it) nothing reads
    // results or the generator's state: the handshake is answered here.
    if (!isRunning()) {
        resetAll();
        return;
    }
    modifyPending.store(true);
    wake.release();
}

bool AnalyzerDataGen::stopNow() const
{
    return quit.load() || modifyPending.load();
}

// ---------------------------------------------------------------------------
// generator thread

void AnalyzerDataGen::run()
{
    for (;;) {
        // Work broken off for the handshake or the end may already have taken
        // the permit that announced it.
        if (!stopNow())
            wake.acquire();
        if (quit.load())
            return;
        if (modifyPending.load()) {
            resetAll();
            continue;
        }
        // Requests made meanwhile are served once.
        wake.tryAcquire(wake.available());

        Request r;
        {
            QMutexLocker lock(&reqLock);
            r = pending;
            pending.restart = false;
            pending.scroll = false;
            pending.shown.clear();
        }
        if (r.restart)
            doRestart(r);
        if (stopNow())
            continue;
        if (r.scroll)
            doScroll(r.first);
        if (stopNow())
            continue;
        if (!fillAndCount())
            continue;
        publishTotal();
        publishList(true);
    }
}

void AnalyzerDataGen::clearSequence()
{
    srcs.clear();
    back.clear();
    fwd.clear();
    cnt.clear();
    cntValid = false;
    cntMatches = 0;
    rows.clear();
    points.clear();
    pageStart = 0;
    total = 0;
}

// On the generator thread, or on the GUI thread while that thread does not
// run.
void AnalyzerDataGen::resetAll()
{
    clearSequence();
    haveRange = false;
    {
        // Requests made before the handshake name results that may be gone.
        QMutexLocker lock(&reqLock);
        pending.restart = false;
        pending.scroll = false;
        pending.shown.clear();
    }
    // Nothing refers to analyzer results any more: the host may change them.
    modifyPending.store(false);
    if (acknowledge)
        acknowledge();
    publishTotal();
    publishList(true);
}

void AnalyzerDataGen::doRestart(const Request& r)
{
    clearSequence();
    search = r.text;
    haveRange = r.end != 0;
    if (!haveRange)
        return;

    for (const Shown& sh : r.shown) {
        if (!sh.results)
            continue;
        // Only what is committed now belongs to this sequence; frames the
        // decoder adds later come with the next request.
        U64 n = sh.results->GetNumFrames();
        if (n == 0)
            continue;
        Src s;
        s.results = sh.results;
        s.format = sh.format;
        s.count = n;
        srcs.append(s);
    }
    const int ns = srcs.size();
    back.fill(0, ns);

    if (search.isEmpty()) {
        for (const Src& s : srcs)
            total += qint64(s.count);
        // The page starts at the earliest frame that overlaps the range;
        // every frame before it in the merged order is counted, none shown.
        const S64 rs = toSample(r.start), re = toSample(r.end);
        int a0 = -1;
        S64 s0 = 0;
        QVector<U64> firstOv(ns, 0);
        for (int s = 0; s < ns; ++s) {
            U64 first = 0, last = 0;
            if (!srcs[s].results->GetFramesInRange(rs, re, &first, &last) || first >= srcs[s].count)
                continue;
            firstOv[s] = first;
            S64 st = frameStart(s, first);
            if (a0 < 0 || st < s0) {
                a0 = s;
                s0 = st;
            }
        }
        for (int s = 0; s < ns; ++s) {
            if (a0 < 0) {
                back[s] = srcs[s].count;
            } else if (s == a0) {
                back[s] = firstOv[s];
            } else {
                // frames with (start, analyzer) before (s0, a0)
                U64 lo = 0, hi = srcs[s].count;
                while (lo < hi) {
                    U64 mid = lo + (hi - lo) / 2;
                    S64 st = frameStart(s, mid);
                    bool before = s < a0 ? st <= s0 : st < s0;
                    if (before)
                        lo = mid + 1;
                    else
                        hi = mid;
                }
                back[s] = lo;
            }
        }
        pageStart = qint64(ordinal(back));
    }
    fwd = back;
}

void AnalyzerDataGen::doScroll(qint64 k)
{
    if (!haveRange || srcs.isEmpty())
        return;
    if (search.isEmpty()) {
        k = qBound<qint64>(0, k, total);
        back = seek(k);
        pageStart = k;
    } else if (k >= pageStart) {
        Pos p = back;
        qint64 n = k - pageStart;
        while (n > 0) {
            if (stopNow())
                return;
            int s = nextSrc(p);
            if (s < 0)
                break;
            // Stop right after the n-th match: the next match is row k.
            if (matches(rowText(s, p[s])))
                --n;
            ++p[s];
        }
        back = p;
        pageStart = k - n;
    } else {
        Pos p = back;
        qint64 n = pageStart - k;
        while (n > 0) {
            if (stopNow())
                return;
            int s = prevSrc(p);
            if (s < 0)
                break;
            --p[s];
            if (matches(rowText(s, p[s])))
                --n;
        }
        back = p;
        pageStart = k + n;
    }
    // The page is made again from its first row: rows kept from the old
    // page would leave the forward merge behind them.
    fwd = back;
    rows.clear();
    points.clear();
}

bool AnalyzerDataGen::fillAndCount()
{
    const int rpp = rowsPerPage.load();
    if (rows.size() > rpp) {
        // The page became shorter: make it again from its first row.
        fwd = back;
        rows.clear();
        points.clear();
    }
    pageRows = rpp;
    if (!haveRange)
        return true;

    while (rows.size() < rpp) {
        if (stopNow())
            return false;
        int s = nextSrc(fwd);
        if (s < 0)
            break;
        U64 i = fwd[s];
        QString t = rowText(s, i);
        ++fwd[s];
        if (!matches(t))
            continue;
        Frame f = srcs[s].results->GetFrame(i);
        rows.append(t);
        points.append(SmpPointFrame{f.mStartingSampleInclusive, f.mEndingSampleInclusive});
        if (!search.isEmpty())
            total = qMax(total, pageStart + qint64(rows.size()));
        if (rows.size() == rpp) {
            total = qMax(total, pageStart + qint64(rows.size()));
            publishTotal();
            publishList(false);
        }
    }
    if (search.isEmpty())
        return true;

    // Count the matches past the page. The count cursor keeps its place
    // across scrolls, so each match is counted once.
    if (!cntValid || ordinal(cnt) < ordinal(fwd)) {
        cnt = fwd;
        cntMatches = pageStart + rows.size();
        cntValid = true;
    }
    total = qMax(total, cntMatches);
    totalTimer.start();
    for (;;) {
        // A new request (or the handshake) is served first; counting goes
        // on from here afterwards.
        if (stopNow() || wake.available() > 0)
            return false;
        int s = nextSrc(cnt);
        if (s < 0)
            break;
        if (matches(rowText(s, cnt[s]))) {
            ++cntMatches;
            total = qMax(total, cntMatches);
        }
        ++cnt[s];
        if (totalTimer.elapsed() > TOTAL_PUBLISH_MS) {
            publishTotal();
            totalTimer.start();
        }
    }
    return true;
}

void AnalyzerDataGen::publishTotal()
{
    knownTotal.store(total);
    emit listTotalChanged(pageStart, total, pageRows);
}

void AnalyzerDataGen::publishList(bool isDone)
{
    // The samples of the page reach the GUI thread ahead of its rows (posted
    // events to one thread keep their order), so a click on a shown row
    // always finds its own frame.
    const QVector<SmpPointFrame> pts = points;
    const qint64 first = pageStart;
    QMetaObject::invokeMethod(this, [this, pts, first]() {
        guiPoints = pts;
        guiPageStart = first;
    }, Qt::QueuedConnection);
    qint64 sel = selectedFrame.load() - pageStart;
    if (sel < std::numeric_limits<int>::min() || sel > std::numeric_limits<int>::max())
        sel = -1;
    emit listChanged(isDone, rows, selected.load(), int(sel));
}

// ---------------------------------------------------------------------------
// merge helpers

U64 AnalyzerDataGen::ordinal(const Pos& p)
{
    U64 n = 0;
    for (U64 v : p)
        n += v;
    return n;
}

S64 AnalyzerDataGen::frameStart(int s, U64 index) const
{
    return srcs[s].results->GetFrame(index).mStartingSampleInclusive;
}

int AnalyzerDataGen::nextSrc(const Pos& p) const
{
    int best = -1;
    S64 bestStart = 0;
    for (int s = 0; s < srcs.size(); ++s) {
        if (p[s] >= srcs[s].count)
            continue;
        S64 st = frameStart(s, p[s]);
        if (best < 0 || st < bestStart) { // ties: the earlier analyzer
            best = s;
            bestStart = st;
        }
    }
    return best;
}

int AnalyzerDataGen::prevSrc(const Pos& p) const
{
    int best = -1;
    S64 bestStart = 0;
    for (int s = 0; s < srcs.size(); ++s) {
        if (p[s] == 0)
            continue;
        S64 st = frameStart(s, p[s] - 1);
        if (best < 0 || st >= bestStart) { // ties: the later analyzer, as forward placed it last
            best = s;
            bestStart = st;
        }
    }
    return best;
}

AnalyzerDataGen::Pos AnalyzerDataGen::seek(qint64 k) const
{
    const int ns = srcs.size();
    Pos p(ns, 0);
    if (k <= 0)
        return p;
    if (k >= total) {
        for (int s = 0; s < ns; ++s)
            p[s] = srcs[s].count;
        return p;
    }
    // Frames of analyzer s that start before v.
    auto below = [this](int s, S64 v, bool inclusive) {
        U64 lo = 0, hi = srcs[s].count;
        while (lo < hi) {
            U64 mid = lo + (hi - lo) / 2;
            S64 st = frameStart(s, mid);
            if (inclusive ? st <= v : st < v)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    };
    auto countBelow = [&](S64 v) {
        U64 n = 0;
        for (int s = 0; s < ns; ++s)
            n += below(s, v, false);
        return n;
    };
    // v = the start sample of row k: the greatest v with fewer than k + 1
    // frames starting before it.
    S64 lo = std::numeric_limits<S64>::max(), hi = std::numeric_limits<S64>::min();
    for (int s = 0; s < ns; ++s) {
        lo = qMin(lo, frameStart(s, 0));
        hi = qMax(hi, frameStart(s, srcs[s].count - 1));
    }
    while (lo < hi) {
        S64 mid = lo + S64((U64(hi) - U64(lo) + 1) / 2);
        if (countBelow(mid) <= U64(k))
            lo = mid;
        else
            hi = mid - 1;
    }
    U64 left = U64(k);
    for (int s = 0; s < ns; ++s) {
        p[s] = below(s, lo, false);
        left -= p[s];
    }
    // The rest start on lo itself: the earlier analyzers' come first.
    for (int s = 0; s < ns && left > 0; ++s) {
        U64 ties = below(s, lo, true) - p[s];
        U64 take = qMin(ties, left);
        p[s] += take;
        left -= take;
    }
    return p;
}

QString AnalyzerDataGen::rowText(int s, U64 index) const
{
    AnalyzerResults* r = srcs[s].results;
    r->GenerateFrameTabularText(index, DisplayBase(srcs[s].format));
    return QString::fromUtf8(r->GetTabularTextString());
}

bool AnalyzerDataGen::matches(const QString& text) const
{
    return search.isEmpty() || text.contains(search, Qt::CaseInsensitive);
}
