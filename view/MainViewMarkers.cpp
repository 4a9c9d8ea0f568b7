// Timing markers of the logic view (the lines, their states and the codes
// exchanged with the ruler and the panels) and the measurement values sent
// to the right-hand panels.
#include "view/MainView.h"

#include <QGraphicsScene>

#include <algorithm>
#include <cmath>

#include "config/Config.h"
#include "data/SmpData.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "view/MyMainView.h"
#include "view/WaveDataGen.h"

// ---------------------------------------------------------------- timing markers

int MainView::getCursorBodySub(int id)
{
    if (id < 0 || id > 51)
        return -1;
    for (int i = 0; i < timingMarkers.size(); ++i)
        if (timingMarkers[i]->id == id)
            return i;
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
    c->position = (long long)(double(x) / px1 * waveDataGen->scale + waveDataGen->start + 0.5);
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

int MainView::getCursorBodyCoordinateX(int x, int, long long* sample, int* px) const
{
    // Snapping to a nearby edge comes with the measurements.
    if (!waveDataGen || !(waveDataGen->scale > 0))
        return -1;
    const int px1 = Config::pixel(1);
    *sample = (long long)(double(x) / px1 * waveDataGen->scale + waveDataGen->start + 0.5);
    *px = int((*sample - waveDataGen->start) / waveDataGen->scale * px1);
    return 0;
}

void MainView::setLogTimeMarkerValue(int, int)
{
    // Marker texts for the timing-marker panel: computed with the measurements.
}

void MainView::setLogTimeMarkerPulseMeasures(int)
{
    // Pulse counts between a pair: computed with the measurements.
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
    // The digit keys place timing markers; wired with the marker panel.
}

void MainView::slotCursorBodyChanged(int code, int index, int state, int x)
{
    if (code == 24)
        setLogTimeMarkerStateType(index, state);
    else if (code == 25)
        setLogTimeMarkerSmpPoint(index, state, x);
}

void MainView::slotTimingMarkerClicked(int, int)
{
    // Panel actions on marker pairs; wired with the marker panel.
}

void MainView::slotPulseMeasureInfoChanged()
{
    // Pulse counts over the capture: computed with the measurements.
}

void MainView::updatePeriodMark(const QPoint&)
{
    // Width, period and duty of the pulse under the pointer: computed with
    // the measurements.
}

void MainView::updateMeasureValue(double, double, double, double)
{
    // Texts of the measurement panel: computed with the measurements.
}
