// Timing markers of the logic view (the lines, their states and the codes
// exchanged with the ruler and the panels) and the measurement values sent
// to the right-hand panels: marker times, pulse counts and the pulse under
// the mouse.
#include "view/MainView.h"

#include <QCursor>
#include <QFrame>
#include <QGraphicsScene>
#include <QShortcut>

#include <algorithm>
#include <climits>
#include <cmath>

#include "config/Config.h"
#include "data/SmpData.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "rightbox/PulseMeasure.h"
#include "view/ItemChnSidebar.h"
#include "view/MyMainView.h"
#include "view/WaveDataGen.h"

namespace {

const SmpData* shownStore()
{
    return devUsing ? devUsing->shownData() : nullptr;
}

// Sample positions from the pointer stay within this: far outside every
// capture, far from overflowing a difference or 10^12 times one.
constexpr double SampleLimit = double(1LL << 60);

const QString NoCount = QStringLiteral(",###,###,###,###");

} // namespace

// ---------------------------------------------------------------- helpers

bool MainView::markerDataReady() const
{
    const SmpData* s = shownStore();
    return s && s->smpDepth > 0 && s->smpFrequ > 0 && waveDataGen && waveDataGen->scale > 0;
}

int MainView::markerIndex(int id) const
{
    for (int i = 0; i < timingMarkers.size(); ++i)
        if (timingMarkers[i]->id == id)
            return i;
    return -1;
}

bool MainView::pairShown(int i) const
{
    return i >= 0 && i + 1 < timingMarkers.size() && timingMarkers[i]->state != 5 && timingMarkers[i + 1]->state != 5;
}

long long MainView::sampleAtX(double x) const
{
    const double s = x / Config::pixel(1) * waveDataGen->scale + waveDataGen->start + 0.5;
    return (long long)std::max(-SampleLimit, std::min(SampleLimit, s));
}

bool MainView::samplesToPs(long long samples, long long rate, long long* ps)
{
    if (rate <= 0)
        return false;
    // 10^12 x samples passes 64 bits from some 9.2 million samples on.
    const __int128 v = (__int128)samples * 1000000000000LL / rate;
    if (v > LLONG_MAX || v < LLONG_MIN)
        return false;
    *ps = (long long)v;
    return true;
}

QString MainView::timeDataToString(long long ps) const
{
    // The point is placed among the integer's digits, so that no digit is
    // lost however long the value (a double keeps only 15 or 16).
    const bool negative = ps < 0;
    const QString digits = QString::number(negative ? 0ULL - (unsigned long long)ps : (unsigned long long)ps);
    int u = 0;
    while (u + 1 < timeUnits.size() && digits.size() - 3 * (u + 1) >= 1)
        ++u;
    QString frac = digits.mid(digits.size() - 3 * u);
    while (frac.endsWith('0'))
        frac.chop(1);
    QString text = negative ? "-" : "";
    text += digits.left(digits.size() - 3 * u);
    if (!frac.isEmpty())
        text += "." + frac;
    return text + timeUnits.value(u);
}

QString MainView::pulseCountText(const SmpData* s, int chn, long long a, long long b)
{
    if (!s)
        return NoCount;
    const long long edges = s->getTwoPointEdgeNum(chn, a, b);
    if (edges < 0)
        return NoCount;
    if (edges == 0)
        return QStringLiteral(",0,0,0,0");
    // Edges after a alternate from the level at a; an edge right at a
    // counts too and opens the first pulse.
    const long long at = s->isPointAtEdge(chn, a) ? 1 : 0;
    const long long h = edges / 2, H = edges - h;
    const bool high = s->getPointLevel(chn, a) > 0;
    const long long rising = high ? h + at : H;
    const long long falling = high ? H : h + at;
    const long long positive = high ? H - (1 - at) : h;
    const long long negative = high ? h : H - (1 - at);
    return QString(",%1,%2,%3,%4").arg(rising).arg(falling).arg(positive).arg(negative);
}

// ---------------------------------------------------------------- timing markers

int MainView::getCursorBodySub(int id)
{
    if (id < 0 || id > 51)
        return -1;
    const int found = markerIndex(id);
    if (found >= 0)
        return found;
    const int base = id & ~1;
    int at = 0;
    while (at < timingMarkers.size() && timingMarkers[at]->id < base)
        ++at;
    for (int k = 0; k < 2; ++k) {
        CursorBody* c = new CursorBody(base + k);
        c->setLength(sidebarFrame->height());
        scene->addItem(c);
        timingMarkers.insert(at + k, c);
    }
    emit timMarkPairChanged(22, base, "", "");
    emit timeMarkBodyChanged(26, base, 5);
    emit timeMarkBodyChanged(26, base + 1, 5);
    return at + (id - base);
}

int MainView::getCursorBodyIndex(int state) const
{
    for (int i = 0; i < timingMarkers.size(); ++i)
        if (timingMarkers[i]->state == state)
            return i;
    return -1;
}

int MainView::markerAt(int x) const
{
    const int px1 = Config::pixel(1);
    for (int i = 0; i < timingMarkers.size(); ++i) {
        const CursorBody* c = timingMarkers[i];
        if (!c->isVisible())
            continue;
        const int lo = int(c->x() - px1);
        const int hi = int(c->x() + c->width + px1);
        if (lo <= x && x <= hi)
            return i;
    }
    return -1;
}

void MainView::setLogTimeMarkerStateType(int index, int state)
{
    if (index < 0 || index >= timingMarkers.size())
        return;
    CursorBody* c = timingMarkers[index];
    const int old = c->state;
    if (old == state)
        return;
    c->state = state;
    c->setVisible(state != 5);
    c->update();
    emit timeMarkBodyChanged(26, c->id, state);
    if (state == 5 || old == 5) {
        setLogTimeMarkerValue(index, state);
        setLogTimeMarkerPulseMeasures(c->id);
    }
}

void MainView::setLogTimeMarkerSmpPoint(int index, int state, int x)
{
    if (index < 0 || index >= timingMarkers.size() || !waveDataGen)
        return;
    CursorBody* c = timingMarkers[index];
    c->state = state;
    c->setVisible(state != 5);
    emit timeMarkBodyChanged(26, c->id, state);
    const int px1 = Config::pixel(1);
    c->position = sampleAtX(x);
    if (waveDataGen->scale > 0) {
        const double k = std::trunc((c->position - waveDataGen->start) / waveDataGen->scale);
        const int sx = int(std::max(-1e6, std::min(1e6, k))) * px1;
        c->setPos(sx, 0);
        emit timeMarkBodyChanged(27, index, sx);
    }
    setLogTimeMarkerValue(index, state);
    setLogTimeMarkerPulseMeasures(c->id);
}

void MainView::setTimeMarkerPosition(int index, double sample)
{
    if (index < 0 || index >= timingMarkers.size() || !waveDataGen || !(waveDataGen->scale > 0))
        return;
    CursorBody* c = timingMarkers[index];
    const int px1 = Config::pixel(1);
    // Far off-screen markers stay far off-screen without overflowing.
    const double k = std::max(-1e6, std::min(1e6, std::trunc((sample - waveDataGen->start) / waveDataGen->scale)));
    const int kx = int(k) * px1;
    c->setPos(kx + px1 / 2 - c->width / 2, 0);
    emit timeMarkBodyChanged(27, index, kx);
}

int MainView::getCursorBodyCoordinateX(int x, int chn, long long* sample, int* px) const
{
    if (!waveDataGen || !(waveDataGen->scale > 0))
        return -1;
    const double scale = waveDataGen->scale, start = waveDataGen->start;
    const int px1 = Config::pixel(1);
    auto sceneX = [&](long long smp) { return int(std::max(-1e9, std::min(1e9, (smp - start) / scale * px1))); };
    *sample = sampleAtX(x);
    *px = sceneX(*sample);
    const SmpData* s = shownStore();
    RelatedSmpPoint r;
    if (chn < 0 || !s || s->getRelatedSmpPoint(chn, *sample, &r) < 0)
        return 0;
    // The entry after the sample is an edge unless it closes the capture.
    const bool later = r.afterNext >= 0;
    if (r.preEdge < 0 && !later)
        return 0;
    const long long earlier = r.preEdge < 0 ? 0 : r.preEdge;
    // A tie goes to the later edge.
    const long long edge = later && !(*sample - earlier < r.nextEntry - *sample) ? r.nextEntry : earlier;
    if (std::abs(double(edge - *sample)) / scale * px1 <= Config::pixel(10)) {
        *sample = edge;
        *px = sceneX(edge);
    }
    return 0;
}

void MainView::setLogTimeMarkerValue(int index, int state)
{
    if (index < 0 || index >= timingMarkers.size())
        return;
    const CursorBody* c = timingMarkers[index];
    QString value = "###", total = "###";
    const SmpData* s = shownStore();
    long long ps = 0;
    if (state != 5 && s) {
        if (samplesToPs(c->position - s->trgPosition, s->smpFrequ, &ps))
            value = timeDataToString(ps);
        const CursorBody* partner = timingMarkers.value(index ^ 1);
        if (partner && partner->state != 5
            && samplesToPs(std::llabs(c->position - partner->position), s->smpFrequ, &ps))
            total = timeDataToString(ps);
    }
    emit timMarkPairChanged(23, c->id, value, total);
}

void MainView::setLogTimeMarkerPulseMeasures(int id)
{
    if (id < 0 || id > 51)
        return;
    const int pair = id / 2;
    QStringList list = PulseMeasure::getChnSet(pair);
    if (list.isEmpty())
        return;
    const int i = markerIndex(2 * pair);
    const SmpData* s = shownStore();
    if (!pairShown(i) || !s || filtering) {
        for (QString& e : list)
            e += NoCount;
    } else {
        const long long a = std::min(timingMarkers[i]->position, timingMarkers[i + 1]->position);
        const long long b = std::max(timingMarkers[i]->position, timingMarkers[i + 1]->position);
        QStringList counted;
        for (const QString& e : list) {
            bool ok = false;
            const int chn = e.toInt(&ok);
            if (!ok || chn < 0 || chn >= devUsing->chnEna.size() || !devUsing->chnEna[chn])
                continue;
            counted << e + pulseCountText(s, chn, a, b);
        }
        list = counted;
    }
    emit pulseMeasureChangedbyTimeMarker(pair, list);
}

void MainView::slotPulseMeasureInfoChanged()
{
    if (filtering)
        return;   // the filter recounts when it is done
    const SmpData* s = shownStore();
    if (!s || s->smpDepth == 0) {
        emit pulseMeasureChangedbySmpDone(QStringList());
        return;
    }
    const QStringList wishes = PulseMeasure::getChnAndTimeSet();
    QStringList out;
    for (const QString& wish : wishes) {
        const QStringList f = wish.split(',');
        bool okChn = false, okRange = false;
        const int chn = f.value(0).toInt(&okChn);
        const int range = f.value(1).toInt(&okRange);
        if (!okChn || !okRange)
            continue;
        long long a = 0, b = s->smpDepth;
        if (range != 0) {
            const int i = range >= 1 && range <= 26 ? markerIndex(2 * (range - 1)) : -1;
            if (!pairShown(i))
                continue;
            a = std::min(timingMarkers[i]->position, timingMarkers[i + 1]->position);
            b = std::max(timingMarkers[i]->position, timingMarkers[i + 1]->position);
        }
        out << wish + pulseCountText(s, chn, a, b);
    }
    emit pulseMeasureChangedbySmpDone(out);
}

void MainView::setSmpDataReady()
{
    for (int i = 0; i < timingMarkers.size(); ++i)
        setLogTimeMarkerStateType(i, 5);
    pulseRecount = true;
}

void MainView::removeMarkerPair(int i)
{
    if (i < 0 || i >= timingMarkers.size())
        return;
    const int first = i & ~1;
    if (first + 1 >= timingMarkers.size())
        return;
    const int id = timingMarkers[first]->id;
    // One code 28 takes both handles of the pair (that index and the next).
    emit timeMarkBodyChanged(28, first, -1);
    for (int k = 0; k < 2; ++k) {
        CursorBody* c = timingMarkers.takeAt(first);
        scene->removeItem(c);
        delete c;
    }
    setLogTimeMarkerPulseMeasures(id);
}

void MainView::slotShortCutTimeMarker()
{
    const QShortcut* s = qobject_cast<const QShortcut*>(sender());
    bool ok = false;
    const int digit = s ? s->key().toString().toInt(&ok) : -1;
    if (ok)
        timeMarkerKey(digit);
}

void MainView::timeMarkerKey(int digit)
{
    if (digit < 0 || digit > 9)
        return;
    const int i = getCursorBodySub((digit + 9) % 10);
    if (i < 0 || !markerDataReady())
        return;   // the pair exists now; nothing can be placed
    const int following = getCursorBodyIndex(6);
    if (following >= 0) {
        setLogTimeMarkerStateType(following, 5);
        if (following == i)
            return;   // its own key again puts it away
    }
    const int state = timingMarkers[i]->state;
    if (state != 5 && state != 8)
        return;
    int x = waveView->mapFromGlobal(QCursor::pos()).x();
    if (x < 0 || x > waveView->width())
        x = waveView->width() / 2;
    setLogTimeMarkerSmpPoint(i, 6, x);
}

void MainView::slotCursorBodyChanged(int code, int index, int state, int x)
{
    if (code == 24)
        setLogTimeMarkerStateType(index, state);
    else if (code == 25)
        setLogTimeMarkerSmpPoint(index, state, x);
}

void MainView::slotTimingMarkerClicked(int id, int code)
{
    if (id < 0 || id > 51)
        return;
    const int base = id & ~1;
    switch (code) {
    case 19: {   // locate the pair
        const int i = getCursorBodySub(base);
        if (i < 0 || !markerDataReady())
            return;
        const CursorBody* a = timingMarkers[i];
        const CursorBody* b = timingMarkers[i + 1];
        auto shown = [](const CursorBody* c) { return c->state == 6 || c->state == 8; };
        if (shown(a) && shown(b))
            waveDataGen->moveDecodeByTimingMarker(double(std::min(a->position, b->position)),
                                                  double(std::max(a->position, b->position)));
        else if (shown(a) || shown(b))
            waveDataGen->moveTo(double((shown(a) ? a : b)->position) - waveDataGen->width * waveDataGen->scale * 0.5);
        return;
    }
    case 20:   // remove the pair; a pair that does not exist stays so
        removeMarkerPair(markerIndex(base));
        return;
    case 21: {   // pick the marker up for placing
        if (!markerDataReady())
            return;
        const int following = getCursorBodyIndex(6);
        if (following >= 0) {
            const int was = timingMarkers[following]->id;
            setLogTimeMarkerStateType(following, 5);
            if (was == id)
                return;
        }
        const int i = getCursorBodySub(id);
        if (timingMarkers[i]->state == 5)
            setLogTimeMarkerSmpPoint(i, 6, waveView->width() - Config::pixel(20));
        else
            setLogTimeMarkerStateType(i, 6);
        return;
    }
    case 22: {   // create the pair, hidden at four fifths of the view
        const int i = getCursorBodySub(base);
        if (i < 0)
            return;
        if (!markerDataReady()) {
            setLogTimeMarkerValue(i, 5);
            setLogTimeMarkerValue(i + 1, 5);
            return;
        }
        const int x = (4 * waveView->width()) / 5;
        setLogTimeMarkerSmpPoint(i, 5, x);
        setLogTimeMarkerSmpPoint(i + 1, 5, x);
        return;
    }
    default:
        return;
    }
}

void MainView::timeMarkersList(QStringList* names, QVector<long long>* positions)
{
    if (!names || !positions)
        return;
    names->clear();
    positions->clear();
    const MainView* v = me;
    if (!v || v->timingMarkers.size() < 2)
        return;
    for (int i = 0; i + 1 < v->timingMarkers.size(); i += 2) {
        if (!v->pairShown(i))
            continue;
        const CursorBody* a = v->timingMarkers[i];
        const CursorBody* b = v->timingMarkers[i + 1];
        names->append(a->name + " - " + b->name);
        positions->append(a->position);
        positions->append(b->position);
    }
}

void MainView::getTimeMarkersShow(bool* shown, int count)
{
    if (!shown)
        return;
    for (int k = 0; k < count; ++k)
        shown[k] = me && k < 26 && me->pairShown(me->markerIndex(2 * k));
}

// ---------------------------------------------------------------- the pulse under the mouse

void MainView::updatePeriodMark(const QPoint& pos)
{
    const SmpData* s = shownStore();
    const int chn = markerDataReady() && !filtering && pos.y() <= height() ? getMouseChnPhy(pos) : -1;
    RelatedSmpPoint r;
    const int px1 = Config::pixel(1);
    const double scale = waveDataGen ? waveDataGen->scale : 0, start = waveDataGen ? waveDataGen->start : 0;
    const double at = std::max(-SampleLimit, std::min(SampleLimit, (pos.x() / px1) * scale + start));
    if (chn < 0 || chn >= chnSidebars.size() || s->getRelatedSmpPoint(chn, (long long)at, &r) < 0) {
        periodArrow->hide();
        periodMark[0] = periodMark[1] = periodMark[2] = 0;
        updateMeasureValue(-1, -1, -1, -1);
        return;
    }
    const QRect label = chnSidebars[chn]->geometry();
    const long long prev = r.preEdge < 0 ? 0 : r.preEdge;
    const long long cur = r.nextEntry;
    long long next = r.afterNext;
    const double psPerSample = 1e12 / double(s->smpFrequ);
    const double width = double(cur - prev) * psPerSample;
    double period = -1, duty = -1, frequency = -1;
    // The following pulse counts only when an edge ends it: past the last
    // edge it is cut off by the end of the capture.
    if (next >= 0 && next < s->smpDepth && cur < next) {
        const double n = double(next - prev);
        period = psPerSample * n;
        duty = r.level ? width / period : (period - width) / period;
        frequency = double(s->smpFrequ) / n;
    } else {
        next = cur;
    }
    updateMeasureValue(width, period, duty, frequency);
    periodMark[0] = double(prev);
    periodMark[1] = double(cur);
    periodMark[2] = double(next);

    const double w = waveView->width() / px1;
    double e[4] = {std::max(-10.0, (prev - start) / scale + 2), (cur - start) / scale - 2, 0, 0};
    if (e[1] > w + 10) {
        e[1] = w + 10;
    } else {
        const double c = (cur - start) / scale + 3;
        if (c < w) {
            e[2] = c;
            e[3] = std::min(w + 10, (next - start) / scale - 2);
        }
    }
    periodArrow->setPos(0, label.y() + 2 * px1);
    periodArrow->setEdgeWidth(e, waveView->width(), label.height() - 4 * px1);
    periodArrow->show();
}

void MainView::updateMeasureValue(double width, double period, double duty, double frequency)
{
    auto scaled = [](double v, const QStringList& units) {
        if (!(v > 0))
            return QStringLiteral("###");
        int u = 0;
        while (v >= 1000 && u + 1 < units.size()) {
            v /= 1000;
            ++u;
        }
        return QString::number(v, 'g', 9) + units.value(u);
    };
    const QString dutyText = duty > 0 ? QString::number(100 * duty, 'g', 9) + "%" : QStringLiteral("###");
    emit mouseMeasureChanged({scaled(width, timeUnits), scaled(period, timeUnits), dutyText,
                              scaled(frequency, freqUnits)});
}
