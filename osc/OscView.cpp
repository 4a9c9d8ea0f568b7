#include "osc/OscView.h"

#include <QDebug>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QMouseEvent>

#include "config/Config.h"
#include "decode/AnalyzerManager.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "osc/OscItems.h"
#include "osc/WaveDataGenOsc.h"

namespace {
// Room the screen leaves for the items around the grid: the channel tags'
// width, the trigger-time markers' height and the cursor labels' width.
int tagWidth() { return Config::pixel(11); }
int markerHeight() { return Config::pixel(11); }
int labelWidth() { return Config::pixel(15); }
} // namespace

OscView::OscView(QGraphicsScene* scene, QGraphicsView* view, WaveDataGenOsc* gen, QObject* parent)
    : QObject(parent), scene(scene), view(view), gen(gen)
{
    background = new WaveBackgroundOsc;
    traces = new WaveLineOsc(gen);
    indicator = new OscAutoScale;
    background->setZValue(0);
    traces->setZValue(1);
    indicator->setZValue(4);
    scene->addItem(background);
    scene->addItem(traces);
    scene->addItem(indicator);
}

OscView::~OscView()
{
    for (QGraphicsItem* i : {static_cast<QGraphicsItem*>(background), static_cast<QGraphicsItem*>(traces),
                             static_cast<QGraphicsItem*>(indicator)}) {
        scene->removeItem(i);
        delete i;
    }
}

OscView::Grid OscView::gridFor(int vw, int vh, int tagW, int markerH, int labelW, int p)
{
    Grid g;
    if (p <= 0)
        return g;
    g.left = tagW / p + 4;
    g.top = markerH / p + 4;
    g.width = (vw - labelW) / p - g.left - 2;
    g.height = vh / p - g.top - 2;
    return g;
}

bool OscView::inGrid(int x, int y) const
{
    const int p = Config::pixel(1);
    const int lx = x / p, ly = y / p;
    return lx >= grid.left && lx <= grid.left + grid.width && ly >= grid.top && ly <= grid.top + grid.height;
}

void OscView::layout()
{
    const int p = Config::pixel(1);
    // The view's own size: its viewport follows only after a resize event
    // has been handled, and the layout runs while it is being handled.
    const QSize vp = view->maximumViewportSize();
    scene->setSceneRect(0, 0, vp.width(), vp.height());
    const Grid g = gridFor(vp.width(), vp.height(), tagWidth(), markerHeight(), labelWidth(), p);
    if (g.width <= 0 || g.height <= 0)
        return;
    grid = g;
    background->setSize((g.width + 3) * p, (g.height + 3) * p);
    background->setPos((g.left - 1) * p, (g.top - 1) * p);
    traces->setSize((g.width + 1) * p, (g.height + 1) * p);
    traces->setPos(g.left * p, g.top * p);
    const int s = int(0.2 * qMin(g.width, g.height)) * p;
    const int inset = Config::pixel(10);
    indicator->setSize(s, s);
    indicator->setPos((g.left + g.width) * p - inset - s, (g.top + g.height) * p - inset - s);
    if (gen)
        gen->setViewWidth(g.width);
}

void OscView::refresh()
{
    DevBase* dev = devUsing;
    const int state = gen ? gen->autoScaleState() : int(WaveDataGenOsc::AutoIdle);
    indicator->setVisible(state >= WaveDataGenOsc::AutoStarted && state <= WaveDataGenOsc::AutoTimeDiv);
    traces->update();
    if (!dev)
        return;
    switch (state) {
    case WaveDataGenOsc::AutoVoltDiv:
    case WaveDataGenOsc::AutoTimeDiv:
        // The next capture for the next step; a notice without a capture
        // (a restart's own) leaves the running capture alone.
        if (!gen->autoScaleStepped())
            break;
        dev->smpStopAndWait();
        AnalyzerManager::stopAllAnalyzer();
        AnalyzerManager::clearAnalyzerResult();
        dev->smpStart(SmpStartAuto, false);
        break;
    case WaveDataGenOsc::AutoGivenUp:
        qDebug("AutoScale > --- No Period!");
        finishAutoScale();
        break;
    case WaveDataGenOsc::AutoDone:
        finishAutoScale();
        break;
    default:
        break;
    }
}

void OscView::finishAutoScale()
{
    DevBase* dev = devUsing;
    dev->smpStopAndWait();
    // Idle before anything restarts: no later capture steps it again.
    gen->cancelAutoScale();
    indicator->hide();
    AnalyzerManager::stopAllAnalyzer();
    AnalyzerManager::clearAnalyzerResult();
    const int mode = Config::readGlobalParam("autoWaitTrig").toInt() == 0 ? SmpStartRepeat : SmpStartRepeatWait;
    dev->smpStart(mode, false);
    emit smpStaChanged(mode);
}

void OscView::mousePressed(QMouseEvent* e)
{
    dragging = e->button() == Qt::LeftButton && inGrid(e->pos().x(), e->pos().y());
    lastX = e->pos().x();
}

void OscView::mouseMoved(QMouseEvent* e)
{
    if (!dragging || !(e->buttons() & Qt::LeftButton))
        return;
    // Only a drag that stays on the grid scrolls.
    if (!inGrid(e->pos().x(), e->pos().y())) {
        dragging = false;
        return;
    }
    const int p = Config::pixel(1);
    const int dx = (e->pos().x() - lastX) / p;
    if (dx == 0)
        return;
    lastX += dx * p;
    emit mouseDraged(dx);
}

void OscView::mouseReleased(QMouseEvent*)
{
    dragging = false;
}
