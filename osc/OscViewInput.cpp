// The oscilloscope screen's cursors, the codes of its side panels and of the
// calibration window, the hover boxes and the pointer (see OscView.h).

#include "osc/OscView.h"

#include <QCursor>
#include <QGraphicsView>
#include <QMouseEvent>

#include <cmath>

#include "config/Config.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "osc/OscItems.h"
#include "osc/OscPanels.h"
#include "osc/WaveDataGenOsc.h"

// ---------------------------------------------------------------- cursors

int OscView::cursorIndex(int id, int type) const
{
    for (int i = 0; i < 4; ++i)
        if (cursors[i]->id == id && cursors[i]->type == type)
            return i;
    return -1;
}

int OscView::cursorChannel() const
{
    const int n = devUsing ? devUsing->aChnNum() : 0;
    return cursorChn >= 0 && cursorChn < n ? cursorChn : 0;
}

double OscView::cursorFraction(int type, const QPointF& pos) const
{
    const int p = Config::pixel(1);
    if (type == 1)
        return grid.width > 0 ? getAGridTimeOffset((pos.x() / p - grid.left) / grid.width) : 0.5;
    return grid.height > 0 ? getAGridVoltOffset((pos.y() / p - grid.top) / grid.height) : 0.5;
}

void OscView::setAMarkerPosition(int index, double fraction)
{
    if (index < 0 || index >= 4)
        return;
    OscCursorBody* c = cursors[index];
    OscCursorName* name = cursorNames[index];
    c->position = fraction;
    if (grid.width <= 0 || grid.height <= 0)
        return;
    const int p = Config::pixel(1);
    if (c->type == 1) {
        const int x = int((grid.width * fraction + grid.left) * p) - c->width / 2;
        c->setPos(x, grid.top * p);
        name->setPos(x - name->width / 2, p);
    } else {
        const int y = int((grid.height * fraction + grid.top) * p) - c->height / 2;
        c->setPos(grid.left * p, y);
        name->setPos((grid.width + grid.left + 2) * p, y - name->width / 2);
    }
}

void OscView::setAMarkerState(int index, int state)
{
    if (index < 0 || index >= 4)
        return;
    cursors[index]->setState(state);
    cursorNames[index]->setState(state);
}

void OscView::setOscCursorState(int id, int type)
{
    const int idx = cursorIndex(id, type);
    if (idx < 0)
        return;
    bool otherType = false;
    for (int i = 0; i < 4; ++i) {
        if (i != idx && cursors[i]->state == OscCursorFollow) {
            setAMarkerState(i, OscCursorHidden);
            otherType |= cursors[i]->type != type;
        }
    }
    OscCursorBody* c = cursors[idx];
    if (c->state == OscCursorFollow) {
        setAMarkerState(idx, OscCursorHidden);
    } else {
        if (c->state == OscCursorHidden) {
            const QPoint at = view->viewport()->mapFromGlobal(QCursor::pos());
            setAMarkerPosition(idx, cursorFraction(type, view->mapToScene(at)));
        }
        setAMarkerState(idx, OscCursorFollow);
    }
    updateAMarkerValue(type);
    if (otherType)
        updateAMarkerValue(1 - type);
}

QStringList OscView::calculateX1X2() const
{
    QStringList r = {"###", "###", "###"};
    const DevBase* dev = devUsing;
    const int i = cursorIndex(0, 1);
    if (!dev || i < 0)
        return r;
    static const char* const units[] = {"ns", "us", "ms", "s"};
    long long t = dev->aTimeDiv();
    int k = 0;
    while (t > 999 && k < 3) {
        t /= 1000;
        ++k;
    }
    const double full = 10.0 * double(t);
    const double t0 = trgTimes[1]->isVisible() ? trgTimes[1]->position : dev->aTrgPercent / 1000.0;
    double v[2] = {0, 0};
    bool shown[2] = {false, false};
    for (int j = 0; j < 2; ++j) {
        const OscCursorBody* c = cursors[i ^ j];
        shown[j] = c->state != OscCursorHidden;
        if (!shown[j])
            continue;
        v[j] = (c->position - t0) * full;
        r[j] = QString::number(v[j], 'g', 6) + units[k];
    }
    if (shown[0] && shown[1])
        r[2] = QString::number(std::fabs(v[0] - v[1]), 'g', 4) + units[k];
    return r;
}

QStringList OscView::calculateY1Y2() const
{
    QStringList r = {"###", "###", "###"};
    const DevBase* dev = devUsing;
    const int i = cursorIndex(0, 0);
    if (!dev || i < 0 || dev->aChnNum() == 0)
        return r;
    const int c = cursorChannel();
    const double full = double(dev->aVoltDiv(c)) * dev->aProbeRate.value(c, 1) * 10;
    const double zero = 0.5 - dev->aChnOffset.value(c) / 1000.0;
    double v[2] = {0, 0};
    bool shown[2] = {false, false};
    for (int j = 0; j < 2; ++j) {
        const OscCursorBody* b = cursors[i ^ j];
        shown[j] = b->state != OscCursorHidden;
        if (!shown[j])
            continue;
        v[j] = full * (zero - b->position);
        r[j] = voltDataToString(v[j]);
    }
    if (shown[0] && shown[1])
        r[2] = voltDataToString(std::fabs(v[0] - v[1]));
    return r;
}

void OscView::updateAMarkerValue(int type)
{
    emit oscCursorValueChanged(type, type == 1 ? calculateX1X2() : calculateY1Y2());
}

void OscView::updateAMarkerY(int chn)
{
    if (chn == cursorChannel())
        updateAMarkerValue(0);
}

void OscView::takeUpCursor(int n)
{
    if (n < 1 || n > 4)
        return;
    const int i = n - 1;
    setOscCursorState(i % 2, cursors[i]->type);
    emit oscCursorAddClicked(i / 2);
}

// ---------------------------------------------------------------- panel codes

void OscView::showTagOf(int chn)
{
    if (devUsing && chn >= 0 && chn < trgVolts.size())
        tags[chn]->setVisible(devUsing->aChnEna.value(chn));
}

void OscView::slotOscChnSetChanged(int code, int chn)
{
    DevBase* dev = devUsing;
    if (!dev || chn < 0 || chn >= trgVolts.size())
        return;
    DevBase::changeWithRestart(dev, [&] {
        switch (code) {
        case 9:
            showTagOf(chn);
            traces->update();
            updateATrgPercent();
            emit oscMeasureChanged(chn);
            break;
        case 11:
            updateAMarkerY(chn);
            emit oscMeasureChanged(chn);
            break;
        case 12:
            traces->update();
            updateATrgSet(chn, 12);
            updateAMarkerY(chn);
            break;
        case 13:
        case 14:
            setAChnVoltSet(chn, code);
            updateATrgSet(chn, code);
            updateAMarkerY(chn);
            break;
        default:   // 10, coupling: nothing on the screen
            break;
        }
    });
}

void OscView::slotOscTimeSetChanged(int code)
{
    DevBase* dev = devUsing;
    if (!dev)
        return;
    DevBase::changeWithRestart(dev, [&] {
        if (code == 15 && gen)
            gen->zoomChangedByTimediv();
        else if (code == 16)
            updateATrgPercent();
    });
}

void OscView::slotOscTrgSetChanged(int chn)
{
    DevBase* dev = devUsing;
    if (!dev)
        return;
    if (chn != dev->aTrgChn)
        DevBase::changeWithRestart(dev, [&] { dev->setATrgChn(chn); });
    for (int c = 0; c < trgVolts.size(); ++c)
        trgVolts[c]->setVisible(c == dev->aTrgChn);
}

void OscView::slotOscMathSetChanged(bool regenerate)
{
    const DevBase* dev = devUsing;
    if (!dev)
        return;
    const int p = Config::pixel(1);
    OscChnTag* tag = tags[mathIndex()];
    if (grid.height > 0) {
        const double off = dev->aMathOffset.value(dev->aMathOperator) / 1000.0;
        tag->setY(p * int((0.5 - off) * grid.height + grid.top) - tag->height / 2);
    }
    tag->setVisible(dev->aMathEna != 0);
    if (regenerate && gen)
        gen->genMathData();
    traces->update();
}

void OscView::reloadChannel(int chn, int tagCode, int trgCode)
{
    if (chn < 0 || chn >= chnPanels.size())
        return;
    showTagOf(chn);
    chnPanels[chn]->init();
    if (tagCode != 0)
        setAChnVoltSet(chn, tagCode);
    updateATrgSet(chn, trgCode);
    updateAMarkerY(chn);
}

void OscView::slotCalibSettingChanged(int code, int chn)
{
    switch (code) {
    case 1:
        reloadChannel(chn, 17, 13);
        timePanel->init();
        break;
    case 2:
        for (int c = 0; c < 2; ++c)
            reloadChannel(c, 14, 14);
        timePanel->init();
        break;
    case 3:
        reloadChannel(chn, 0, 13);
        break;
    default:
        break;
    }
}

void OscView::slotOscCursorClicked(int a, int code)
{
    switch (code) {
    case 0:
    case 1:
        setOscCursorState(a, code);
        break;
    case 2:
        cursorChn = a;
        updateAMarkerValue(0);
        break;
    case 5:
        if (a != 0 && a != 1)
            break;
        setAMarkerState(2 * a, OscCursorHidden);
        setAMarkerState(2 * a + 1, OscCursorHidden);
        updateAMarkerValue(a == 0 ? 1 : 0);
        break;
    default:
        break;
    }
}

void OscView::slotChnTrgEdgeChanged()
{
    trgPanel->setTrgStatus();
}

// ---------------------------------------------------------------- hover boxes

void OscView::slotChnTagMousEnter(int i)
{
    if (i < 0 || i >= chnInfors.size())
        return;
    const int p = Config::pixel(1);
    OscChnInfor* box = chnInfors[i];
    const OscChnTag* tag = tags[i];
    box->text = i == mathIndex() ? mathPanel->offsetText() : chnPanels[i]->setChnVolt();
    int y = int(tag->height / double(p) / 2 + tag->y() / p - box->height / double(p) / 2);
    y = qMax(grid.top, qMin(y, grid.top + grid.height - box->height / p));
    box->setPos(tag->x() + tag->width + 3 * p, y * p);
    box->show();
    box->update();
}

void OscView::slotChnTagMousLeave(int i)
{
    if (i >= 0 && i < chnInfors.size())
        chnInfors[i]->hide();
}

void OscView::slotTrgMousEnter(int chn)
{
    if (!devUsing || chn < 0 || chn >= trgVoltInfors.size())
        return;
    const int p = Config::pixel(1);
    OscTriggerVoltInfor* box = trgVoltInfors[chn];
    const OscTriggerVolt* m = trgVolts[chn];
    box->text = voltDataToString(devUsing->aTrgVolt.value(chn));
    box->setPos(grid.left * p, m->y() + m->height / 2 - box->height);
    box->show();
    box->update();
}

void OscView::slotTrgMousLeave(int chn)
{
    if (chn >= 0 && chn < trgVoltInfors.size())
        trgVoltInfors[chn]->hide();
}

void OscView::slotTrgTimeMousEnter(int i)
{
    if (i < 0 || i >= 2)
        return;
    const int p = Config::pixel(1);
    OscTriggerTimeInfor* box = trgTimeInfors[i];
    const OscTriggerTime* m = trgTimes[i];
    box->text = m->text;
    int x = int(m->x() + m->width / 2 - box->width / 2);
    const int right = view->maximumViewportSize().width() + 1 - box->width;
    if (x < 0)
        x = 0;
    else if (x > right)
        x = right;
    box->setPos(x, (grid.top + 2) * p);
    box->show();
    box->update();
}

void OscView::slotTrgTimeMousLeave(int i)
{
    if (i >= 0 && i < 2)
        trgTimeInfors[i]->hide();
}

// ---------------------------------------------------------------- pointer

QPointF OscView::scenePos(QMouseEvent* e) const
{
    return view->mapToScene(e->pos());
}

bool OscView::wheel(int delta)
{
    return timePanel->setTimeDiv(delta);
}

void OscView::mousePressed(QMouseEvent* e)
{
    drag = DragNone;
    dragId = -1;
    if (e->button() != Qt::LeftButton)
        return;
    for (QGraphicsItem* it : view->items(e->pos())) {
        auto* m = dynamic_cast<OscMarker*>(it);
        if (!m || !m->isVisible())
            continue;
        if (auto* t = dynamic_cast<OscChnTag*>(m)) {
            drag = t->id == mathIndex() ? DragMathTag : DragTag;
            dragId = t->id;
        } else if (auto* v = dynamic_cast<OscTriggerVolt*>(m)) {
            drag = DragTrgVolt;
            dragId = v->id;
        } else if (m == trgTimes[0]) {
            drag = DragTrgTime;
            dragId = 0;
        } else {
            continue;
        }
        m->dragging = true;
        // The capture restarts once the marker is let go.
        restartAfterDrag = devUsing && devUsing->smpStopForRestart();
        return;
    }
    // A click that places or picks up a cursor does not pan.
    for (const OscCursorBody* c : cursors)
        if (c->state == OscCursorFollow || c->state == OscCursorHover)
            return;
    if (inGrid(e->pos().x(), e->pos().y())) {
        drag = DragPan;
        lastX = e->pos().x();
    }
}

void OscView::mouseMoved(QMouseEvent* e)
{
    const int p = Config::pixel(1);
    const QPointF pos = scenePos(e);
    DevBase* dev = devUsing;
    if (drag == DragPan) {
        if (!(e->buttons() & Qt::LeftButton))
            return;
        // Only a drag that stays on the grid scrolls.
        if (!inGrid(e->pos().x(), e->pos().y())) {
            drag = DragNone;
            return;
        }
        const int dx = (e->pos().x() - lastX) / p;
        if (dx == 0)
            return;
        lastX += dx * p;
        emit mouseDraged(dx);
        return;
    }
    if (drag != DragNone) {
        if (!(e->buttons() & Qt::LeftButton) || !dev)
            return;
        switch (drag) {
        case DragTag: {
            OscChnTag* t = tags[dragId];
            t->setY(pos.y() - t->height / 2);
            setAChnVoltSet(dragId, 17);
            slotChnTagMousEnter(dragId);
            updateATrgSet(dragId, 17);
            updateAMarkerY(dragId);
            break;
        }
        case DragTrgVolt: {
            OscTriggerVolt* m = trgVolts[dragId];
            m->setY(pos.y() - m->height / 2);
            updateATrgSet(dragId, 18);
            break;
        }
        case DragTrgTime: {
            if (grid.width <= 0)
                break;
            const double f = getAGridTimeOffset((pos.x() / p - grid.left) / grid.width);
            dev->setATrgPercent(int(std::lround(f * 1000)));
            OscTriggerTime* m = trgTimes[0];
            m->text = timePanel->setTrgTime();
            m->setX(int(p * (grid.left + grid.width * f)) - m->width / 2);
            m->update();
            slotTrgTimeMousEnter(0);
            updateAMarkerValue(1);
            break;
        }
        case DragMathTag:
            setOscMathChnPosition(pos.y() / p);
            slotChnTagMousEnter(mathIndex());
            break;
        default:
            break;
        }
        return;
    }
    if (e->buttons() != Qt::NoButton)
        return;
    moveBoth = e->modifiers() & Qt::ShiftModifier;
    for (int i = 0; i < 4; ++i) {
        OscCursorBody* c = cursors[i];
        if (c->state != OscCursorFollow)
            continue;
        const double before = c->position;
        const double f = cursorFraction(c->type, pos);
        setAMarkerPosition(i, f);
        const OscCursorBody* partner = cursors[i ^ 1];
        if (moveBoth && partner->state != OscCursorHidden)
            setAMarkerPosition(i ^ 1, qBound(0.0, partner->position + f - before, 1.0));
        updateAMarkerValue(c->type);
        return;
    }
    // A placed cursor under the pointer is hovered; one left behind is placed.
    for (int i = 0; i < 4; ++i) {
        OscCursorBody* c = cursors[i];
        if (c->state != OscCursorPlaced && c->state != OscCursorHover)
            continue;
        const double line = c->type == 1 ? c->x() + p / 2 + c->width / 2 : c->y() + p / 2 + c->height / 2;
        const bool near = std::fabs((c->type == 1 ? pos.x() : pos.y()) - line) <= p;
        if (near && c->state == OscCursorPlaced)
            setAMarkerState(i, OscCursorHover);
        else if (!near && c->state == OscCursorHover)
            setAMarkerState(i, OscCursorPlaced);
    }
}

void OscView::mouseReleased(QMouseEvent* e)
{
    const DragKind was = drag;
    drag = DragNone;
    if (was != DragNone && was != DragPan) {
        for (OscChnTag* t : tags)
            t->dragging = false;
        for (OscTriggerVolt* v : trgVolts)
            v->dragging = false;
        trgTimes[0]->dragging = false;
        if (DevBase* dev = devUsing) {
            // Whatever ran its own bracket meanwhile: restart once, from
            // what the press saw, unless something has started a capture.
            dev->smpRestart = restartAfterDrag && !dev->smpRunning;
            dev->smpRestartIfNeed();
        }
        restartAfterDrag = false;
        return;
    }
    auto find = [this](int state) {
        for (int i = 0; i < 4; ++i)
            if (cursors[i]->state == state)
                return i;
        return -1;
    };
    const int following = find(OscCursorFollow);
    const int hovered = find(OscCursorHover);
    if (e->button() == Qt::LeftButton) {
        if (following >= 0)
            setAMarkerState(following, OscCursorPlaced);
        else if (hovered >= 0)
            setAMarkerState(hovered, OscCursorFollow);
    } else if (e->button() == Qt::RightButton) {
        const int i = following >= 0 ? following : hovered;
        if (i >= 0) {
            setAMarkerState(i, OscCursorHidden);
            updateAMarkerValue(cursors[i]->type);
        }
    }
}

void OscView::mouseLeft()
{
    for (int i = 0; i < 4; ++i)
        if (cursors[i]->state == OscCursorHover)
            setAMarkerState(i, OscCursorPlaced);
}
