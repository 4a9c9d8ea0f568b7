#include "osc/OscView.h"

#include <QCursor>
#include <QDebug>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QMouseEvent>
#include <QShortcut>
#include <QWidget>

#include <cmath>

#include "config/Config.h"
#include "decode/AnalyzerManager.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "osc/OscItems.h"
#include "osc/OscPanels.h"
#include "osc/WaveDataGenOsc.h"

namespace {

// A fraction of the grid in thousandths, kept within it: 0 below (or not a
// number), 1000 at or past the far edge, else rounded.
double thousandths(double t)
{
    if (!(t >= 0))
        return 0;
    if (t >= 1000)
        return 1000;
    return std::trunc(t + 0.5);
}

template <typename T>
void dropItems(QGraphicsScene* scene, QVector<T*>& items)
{
    for (T* i : items) {
        scene->removeItem(i);
        delete i;
    }
    items.clear();
}

} // namespace

OscView::OscView(QGraphicsScene* scene, QGraphicsView* view, QWidget* column, QWidget* host, WaveDataGenOsc* gen,
                 QObject* parent)
    : QObject(parent), scene(scene), view(view), column(column), gen(gen)
{
    cursorChn = Config::readGlobalParam("oscCursorChn").toInt();
    buildItems();
    buildPanels(column);
    for (int n = 1; n <= 4; ++n) {
        QShortcut* s = new QShortcut(QKeySequence(Qt::Key_0 + n), host);
        s->setContext(Qt::WindowShortcut);
        s->setAutoRepeat(false);
        connect(s, &QShortcut::activated, this, [this, n] { takeUpCursor(n); });
        shortcuts.append(s);
    }
}

OscView::~OscView()
{
    for (QShortcut* s : shortcuts)
        delete s;
    for (OscPanel* w : panels())
        delete w;
    QVector<QGraphicsItem*> items = {background, traces, indicator};
    for (int i = 0; i < 2; ++i)
        items << trgTimes[i] << trgTimeInfors[i];
    // The labels are the cursors' own items: they go with them.
    for (OscCursorBody* c : cursors)
        items << c;
    for (QGraphicsItem* i : items) {
        scene->removeItem(i);
        delete i;
    }
    dropItems(scene, tags);
    dropItems(scene, trgVolts);
    dropItems(scene, trgVoltInfors);
    dropItems(scene, chnInfors);
}

void OscView::buildItems()
{
    const DevBase* dev = devUsing;
    const int n = dev ? dev->aChnNum() : 0;
    auto add = [this](QGraphicsItem* i, int z) {
        i->setZValue(z);
        scene->addItem(i);
    };
    background = new WaveBackgroundOsc;
    traces = new WaveLineOsc(gen);
    indicator = new OscAutoScale;
    add(background, 0);
    add(traces, 1);
    add(indicator, 4);
    for (int c = 0; c <= n; ++c) {
        OscChnTag* t = new OscChnTag(c);
        add(t, 3);
        t->setVisible(c < n ? dev->aChnEna.value(c) : dev && dev->aMathEna != 0);
        connect(t, &OscChnTag::mouseEnter, this, &OscView::slotChnTagMousEnter);
        connect(t, &OscChnTag::mouseLeave, this, &OscView::slotChnTagMousLeave);
        tags << t;
        OscChnInfor* box = new OscChnInfor(c);
        add(box, 3);
        chnInfors << box;
        if (c == n)
            break;
        OscTriggerVolt* v = new OscTriggerVolt(c);
        add(v, 1);
        v->setVisible(c == dev->aTrgChn);
        connect(v, &OscTriggerVolt::mouseEnter, this, &OscView::slotTrgMousEnter);
        connect(v, &OscTriggerVolt::mouseLeave, this, &OscView::slotTrgMousLeave);
        trgVolts << v;
        OscTriggerVoltInfor* vb = new OscTriggerVoltInfor(c);
        add(vb, 4);
        trgVoltInfors << vb;
    }
    for (int i = 0; i < 2; ++i) {
        trgTimes[i] = new OscTriggerTime(i, i == 0);
        add(trgTimes[i], i == 0 ? 3 : 2);
        trgTimes[i]->setVisible(i == 0);
        connect(trgTimes[i], &OscTriggerTime::mouseEnter, this, &OscView::slotTrgTimeMousEnter);
        connect(trgTimes[i], &OscTriggerTime::mouseLeave, this, &OscView::slotTrgTimeMousLeave);
        trgTimeInfors[i] = new OscTriggerTimeInfor(i);
        add(trgTimeInfors[i], 4);
    }
    const char* const names[4] = {"x1", "x2", "Y1", "Y2"};
    for (int i = 0; i < 4; ++i) {
        cursors[i] = new OscCursorBody(i % 2, i < 2 ? 1 : 0);
        add(cursors[i], 3);
        cursorNames[i] = new OscCursorName(names[i]);
        add(cursorNames[i], 3);
    }
    // At equal offsets the math tag lies on the channel tags. Stacked below
    // them, a press or hover where they overlap takes a channel tag: a
    // channel is what a user means to move there first.
    if (n > 0)
        tags[n]->stackBefore(tags[0]);
}

void OscView::buildPanels(QWidget* col)
{
    const int n = devUsing ? devUsing->aChnNum() : 0;
    for (int c = 0; c < n; ++c) {
        ChnSetOsc* p = new ChnSetOsc(c, col);
        connect(p, &ChnSetOsc::chnSetChanged, this, &OscView::slotOscChnSetChanged);
        chnPanels << p;
    }
    timePanel = new TimeSetOsc(col);
    trgPanel = new TriggerSetOsc(col);
    mathPanel = new MathChnOsc(col);
    connect(timePanel, &TimeSetOsc::timeSetChanged, this, &OscView::slotOscTimeSetChanged);
    connect(trgPanel, &TriggerSetOsc::trgSetChanged, this, &OscView::slotOscTrgSetChanged);
    connect(mathPanel, &MathChnOsc::mathSetChanged, this, &OscView::slotOscMathSetChanged);
    for (OscPanel* p : panels()) {
        connect(p, &OscPanel::stateChanged, this, &OscView::stackPanels);
        p->show();
    }
    for (ChnSetOsc* p : chnPanels)
        p->init();
    timePanel->init();
    trgPanel->init();
    // The math tag follows the panel, which turned the trace on.
    tags[mathIndex()]->setVisible(devUsing && devUsing->aMathEna != 0);
}

QVector<OscPanel*> OscView::panels() const
{
    QVector<OscPanel*> v(chnPanels.begin(), chnPanels.end());
    return v << timePanel << trgPanel << mathPanel;
}

// ---------------------------------------------------------------- geometry

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

QString OscView::voltDataToString(double mV)
{
    const QString t = std::fabs(mV) >= 1000 ? QString::number(mV / 1000, 'g', 6) + "V"
                                            : QString::number(mV, 'g', 6) + "mV";
    return t == "1000mV" ? QStringLiteral("1V") : t;
}

double OscView::getAGridTimeOffset(double f)
{
    if (f >= 1)
        return 1.0;
    if (!(f > 0))
        return 0.0;
    return std::trunc(f * 1000 + 0.5) / 1000;
}

void OscView::stackPanels()
{
    int y = 0;
    for (OscPanel* p : panels()) {
        p->setGeometry(0, y, Config::pixel(271), p->height());
        y += p->height();
    }
    column->setFixedHeight(qMax(y, view->maximumViewportSize().height()));
}

void OscView::layout()
{
    const int p = Config::pixel(1);
    // The view's own size: its viewport follows only after a resize event
    // has been handled, and the layout runs while it is being handled.
    const QSize vp = view->maximumViewportSize();
    scene->setSceneRect(0, 0, vp.width(), vp.height());
    stackPanels();
    const Grid g = gridFor(vp.width(), vp.height(), tags.first()->width, trgTimes[0]->height, cursorNames[0]->width, p);
    if (g.width <= 0 || g.height <= 0)
        return;
    grid = g;
    background->setSize((g.width + 3) * p, (g.height + 3) * p);
    background->setPos((g.left - 1) * p, (g.top - 1) * p);
    traces->setSize((g.width + 1) * p, (g.height + 1) * p);
    traces->setPos(g.left * p, g.top * p);
    for (OscTriggerTime* m : trgTimes)
        m->setY((g.top - 2) * p - m->height);
    const DevBase* dev = devUsing;
    for (int c = 0; c < trgVolts.size(); ++c) {
        trgVoltInfors[c]->setLength(g.width * p);
        OscChnTag* t = tags[c];
        const double off = dev ? dev->aChnOffset.value(c) / 1000.0 : 0;
        t->setPos((g.left - 2) * p - t->width, (g.height * (0.5 - off) + g.top) * p - t->height / 2);
        trgVolts[c]->setX((g.width + g.left + 3) * p);
        updateATrgSet(c, 17);
    }
    const int s = int(0.2 * qMin(g.width, g.height)) * p;
    const int inset = Config::pixel(10);
    indicator->setSize(s, s);
    indicator->setPos((g.left + g.width) * p - inset - s, (g.top + g.height) * p - inset - s);
    for (int i = 0; i < 4; ++i) {
        cursors[i]->setLen(cursors[i]->type == 0 ? (g.width + 1) * p : (g.height + 1) * p);
        if (cursors[i]->state != OscCursorHidden)
            setAMarkerPosition(i, cursors[i]->position);
    }
    updateATrgPercent();
    if (gen)
        gen->setViewWidth(g.width);
    OscChnTag* m = tags[mathIndex()];
    const double mathOff = dev ? dev->aMathOffset.value(dev->aMathOperator) / 1000.0 : 0;
    m->setPos((g.left - 2) * p - m->width, int(g.height * (0.5 - mathOff) + g.top) * p - m->height / 2);
}

// ---------------------------------------------------------------- refresh

void OscView::refresh()
{
    DevBase* dev = devUsing;
    const int state = gen ? gen->autoScaleState() : int(WaveDataGenOsc::AutoIdle);
    indicator->setVisible(state >= WaveDataGenOsc::AutoStarted && state <= WaveDataGenOsc::AutoTimeDiv);
    if (state == WaveDataGenOsc::AutoIdle)
        updateATrgPercent();
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
    // The panels and markers show what the scaling chose.
    for (int c = 0; c < chnPanels.size(); ++c) {
        chnPanels[c]->init();
        setAChnVoltSet(c, 13);
        updateATrgSet(c, 13);
        updateAMarkerY(c);
    }
    timePanel->init();
    trgPanel->init();
    updateATrgPercent();
    AnalyzerManager::stopAllAnalyzer();
    AnalyzerManager::clearAnalyzerResult();
    const int mode = Config::readGlobalParam("autoWaitTrig").toInt() == 0 ? SmpStartRepeat : SmpStartRepeatWait;
    dev->smpStart(mode, false);
    emit smpStaChanged(mode);
}

// ---------------------------------------------------------------- item positions

void OscView::setAChnVoltSet(int chn, int code)
{
    DevBase* dev = devUsing;
    if (!dev || chn < 0 || chn >= trgVolts.size())
        return;
    const int p = Config::pixel(1);
    OscChnTag* t = tags[chn];
    if (grid.height > 0 && (code == 13 || code == 14)) {
        const double off = dev->aChnOffset.value(chn) / 1000.0;
        t->setY(p * (int((0.5 - off) * grid.height) + grid.top) - t->height / 2);
    } else if (grid.height > 0 && code == 17) {
        const double tt = thousandths((double(t->height / 2 + t->y()) / p - grid.top) * 1000 / grid.height);
        t->setY(p * int(grid.top + grid.height * tt / 1000) - t->height / 2);
        dev->setAChnOffset(chn, int(500 - tt));
    }
    traces->update();
}

void OscView::updateATrgSet(int chn, int code)
{
    DevBase* dev = devUsing;
    if (!dev || chn < 0 || chn >= trgVolts.size() || grid.height <= 0)
        return;
    const int p = Config::pixel(1);
    OscTriggerVolt* m = trgVolts[chn];
    const int vdiv = dev->aVoltDiv(chn);
    const double zero = 0.5 - dev->aChnOffset.value(chn) / 1000.0;
    if (vdiv <= 0)
        return;
    if (code == 12 || code == 13 || code == 14 || code == 17) {
        // A level off the screen leaves the marker on its edge.
        const double f = qBound(0.0, zero - dev->aTrgVolt.value(chn) / (10.0 * vdiv), 1.0);
        m->setY((f * grid.height + grid.top) * p - m->height / 2);
    } else if (code == 18) {
        const double f = getAGridVoltOffset((double(m->height / 2 + m->y()) / p - grid.top) / grid.height);
        m->setY(p * int(grid.height * f + grid.top) - m->height / 2);
        dev->setATrgVolt(chn, (zero - f) * 10 * vdiv);
        slotTrgMousEnter(chn);
    }
}

void OscView::setOscMathChnPosition(double y)
{
    DevBase* dev = devUsing;
    if (!dev || grid.height <= 0)
        return;
    const int p = Config::pixel(1);
    const double t = thousandths((y - grid.top) / grid.height * 1000);
    OscChnTag* tag = tags[mathIndex()];
    tag->setY(int(grid.height * t / 1000 + grid.top) * p - tag->height / 2);
    const int op = dev->aMathOperator;
    if (op >= 0 && op < dev->aMathOffset.size()) {
        dev->aMathOffset[op] = int(500 - t);
        dev->saveAMathSet();
    }
    mathPanel->showOffset();
    traces->update();
}

void OscView::updateATrgPercent()
{
    const DevBase* dev = devUsing;
    if (!dev)
        return;
    const int p = Config::pixel(1);
    const QString T = timePanel->setTrgTime();
    OscTriggerTime* main = trgTimes[0];
    main->text = T;
    main->update();
    if (grid.width > 0)
        main->setX(int((dev->aTrgPercent / 1000.0 * grid.width + grid.left) * p) - main->width / 2);

    // Where the capture's trigger lies: the first enabled channel shown.
    int c = 0;
    const int n = qMin(dev->aChnNum(), gen ? gen->scale.size() : 0);
    while (c < n && !(dev->aChnEna[c] && gen->scale[c] != 0))
        ++c;
    if (c < n && grid.width > 0) {
        OscTriggerTime* second = trgTimes[1];
        QString unit;
        for (const char* u : {"ns", "us", "ms", "s"}) {
            if (T.endsWith(u)) {
                unit = u;
                break;
            }
        }
        const int dot = T.indexOf('.');
        const int decimals = dot < 0 ? 0 : qMax(0, T.size() - dot - 1 - unit.size());
        second->text = QString::number(0.0, 'f', decimals) + unit;
        const SmpDataOsc* s = dev->shownDataOsc();
        const AnalogChnData* d = s ? s->record(c) : nullptr;
        const double x = ((d ? d->trgIndex : 0) - gen->start[c]) / gen->scale[c];
        second->position = x / grid.width;
        if (!(x >= 0 && x <= grid.width)) {
            second->hide();
        } else {
            second->setX((int(x) + grid.left) * p - second->width / 2);
            second->show();
        }
        second->update();
    }
    if (cursors[0]->state != OscCursorHidden || cursors[1]->state != OscCursorHidden)
        updateAMarkerValue(1);
}
