#include "view/MainView.h"

#include <QCursor>
#include <QDialog>
#include <QFrame>
#include <QGraphicsScene>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QTimerEvent>

#include <algorithm>

#include "config/Config.h"
#include "data/SmpData.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "osc/OscView.h"
#include "osc/WaveDataGenOsc.h"
#include "rightbox/PulseMeasure.h"
#include "view/DlgFilter.h"
#include "view/ItemChnSidebar.h"
#include "view/ItemWaveLine.h"
#include "view/MyMainView.h"
#include "view/ViewLayout.h"
#include "view/WaveDataGen.h"
#include "widgets/MyScrollbar.h"

MainView* MainView::me = nullptr;
std::function<QStringList(int)> MainView::chnAliasSource;
std::function<void()> MainView::restartDecode;
std::function<int(QDialog*)> MainView::runDialog;
long long MainView::filterThreadEntries = 10000000;

MainView::MainView(WaveDataGen* gen, WaveDataGenOsc* genOsc, AnalyzerManager* mgr, QWidget* parent)
    : QWidget(parent), analyzerManager(mgr), waveDataGen(gen), waveDataGenOsc(genOsc)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    me = this;
    // The pulse counter offers a pair of markers as a range while both show.
    PulseMeasure::markerPairsShown = &MainView::getTimeMarkersShow;
    rowOrigin = 0;
    freqUnits << "Hz" << "KHz" << "MHz" << "GHz";
    timeUnits << "ps" << "ns" << "us" << "ms" << "s";

    scene = new QGraphicsScene(this);
    scene->setBackgroundBrush(QColor(0, 0, 0, 0));
    progressBar = new SamplingProgressBar;
    progressBar->setZValue(4);
    scene->addItem(progressBar);

    sidebarFrame = new QFrame;
    sidebarFrame->setObjectName("FrameSidebar");
    sidebarArea = new QScrollArea(this);
    sidebarArea->setFrameShape(QFrame::NoFrame);
    sidebarArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sidebarArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sidebarArea->setWidgetResizable(true);
    sidebarArea->setWidget(sidebarFrame);
    sidebarArea->setFixedWidth(Config::pixel(194));
    sidebarFrame->setFixedWidth(Config::pixel(194));

    periodArrow = new PeriodArrow;
    periodArrow->setZValue(2);
    scene->addItem(periodArrow);
    nextEdge = new NextEdge;
    nextEdge->setZValue(3);
    scene->addItem(nextEdge);
    timingMarkers.clear();

    waveView = new WaveView(this);
    waveView->setScene(scene);
    // The rows follow the view's own width too: it changes without the
    // main view changing size when the label column gets its width.
    waveView->installEventFilter(this);

    QScrollBar* bar = sidebarArea->verticalScrollBar();
    connect(waveView, &WaveView::vScrollValueChanged, bar, [bar](long long v) { bar->setValue(int(v)); });
    connect(bar, &QScrollBar::valueChanged, this, &MainView::slotSidebarVerValueChanged);
    connect(bar, &QScrollBar::rangeChanged, this, &MainView::slotSidebarVerRangChanged);
    connect(waveView, &WaveView::wheelChanged, this, &MainView::slotWheelChanged);
    connect(waveView, &WaveView::mousePressed, this, &MainView::slotMousePressed);
    connect(waveView, &WaveView::mouseReleased, this, &MainView::slotMouseReleased);
    connect(waveView, &WaveView::mouseMoved, this, &MainView::slotMouseMoved);
    connect(waveView, &WaveView::mouseLeave, this, &MainView::slotMouseLeave);
    connect(this, &MainView::mouseDraged, this, &MainView::slotMouseDraged);
    connect(this, &MainView::zoomChangedByMouse, this, &MainView::slotMouseZoomChanged);

    hLayout = new QHBoxLayout(this);
    hLayout->setContentsMargins(0, 0, 0, 0);
    hLayout->setSpacing(0);
    hLayout->addWidget(sidebarArea, 0);
    hLayout->addWidget(waveView, 1);
}

MainView::~MainView()
{
    finishFilter();
    deleteShowItems();
    if (me == this)
        me = nullptr;
}

bool MainView::hasData()
{
    const SmpData* s = devUsing ? devUsing->shownData() : nullptr;
    return s && s->smpDepth != 0;
}

int MainView::chnCount() const
{
    return devUsing ? devUsing->chnNum() : 0;
}

// ---------------------------------------------------------------- building

void MainView::createChnSidebar(int chn, const QString& name, int showIndex, int multip)
{
    ItemChnSidebar* s = new ItemChnSidebar(name, chn, sidebarFrame);
    s->showIndex = showIndex;
    const int r = s->setShowMultip(multip);
    if (r != 0)
        s->setShowMultip(r);
    connect(s->numLabel, &MoveLabel::sigMoved, this, &MainView::slotChnMove);
    connect(s, &ItemChnSidebar::sigTrgEdgeChanged, this, &MainView::slotChnTrgEdgeChanged);
    connect(s, &ItemChnSidebar::sigMenuClicked, this, &MainView::slotChnSetMenu);
    s->show();
    chnSidebars[chn] = s;
}

void MainView::createWaveItems(int chn)
{
    ItemWaveBackground* bg = new ItemWaveBackground(chn);
    ItemWaveLine* line = new ItemWaveLine(chn, waveDataGen);
    bg->setZValue(0);
    line->setZValue(1);
    scene->addItem(bg);
    scene->addItem(line);
    waveBackgrounds[chn] = bg;
    waveLines[chn] = line;
}

void MainView::init()
{
    // The marker panel is emptied with the view: the ruler drops the
    // handles of every pair too (from the last, so the indices hold).
    for (int i = timingMarkers.size() - 2; i >= 0; i -= 2)
        emit timeMarkBodyChanged(28, i, -1);
    deleteShowItems();
    if (devUsing && devUsing->workMode == WorkModeOsc) {
        initOsc();
        return;
    }

    waveView->vBar->show();
    QScrollBar* bar = sidebarArea->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, &MainView::slotSidebarVerValueChanged, Qt::UniqueConnection);
    connect(bar, &QScrollBar::rangeChanged, this, &MainView::slotSidebarVerRangChanged, Qt::UniqueConnection);

    const int n = chnCount();
    rowTops.fill(0, n);
    QVector<int> showIndex(n);
    QVector<int> multip(n);
    Config::getChnShowIndex(n, showIndex.data());
    Config::getChnShowMultip(n, multip.data());

    sidebarArea->setFixedWidth(Config::pixel(194));
    sidebarFrame->setFixedWidth(Config::pixel(194));

    chnSidebars.fill(nullptr, n);
    waveBackgrounds.fill(nullptr, n);
    waveLines.fill(nullptr, n);
    for (int i = 0; i < n; ++i) {
        createChnSidebar(i, Config::getChnName(i), showIndex[i], multip[i]);
        createWaveItems(i);
    }

    updateTrgStatus();
    registerShortCutkey();
    slotLogicProbeClicked(Config::enaLogicProbe);
    resizeEvent(nullptr);
    // The overlay bar shows itself only while there is something to scroll.
    slotSidebarVerRangChanged(bar->minimum(), bar->maximum());
}

void MainView::initOsc()
{
    // The label column holds the oscilloscope panels: no rows to scroll.
    waveView->vBar->hide();
    QScrollBar* bar = sidebarArea->verticalScrollBar();
    disconnect(bar, &QScrollBar::valueChanged, this, &MainView::slotSidebarVerValueChanged);
    disconnect(bar, &QScrollBar::rangeChanged, this, &MainView::slotSidebarVerRangChanged);
    sidebarArea->setFixedWidth(Config::pixel(271));
    sidebarFrame->setFixedWidth(Config::pixel(271));
    oscView = new OscView(scene, waveView, sidebarFrame, this, waveDataGenOsc, this);
    connect(oscView, &OscView::smpStaChanged, this, &MainView::smpStaChanged);
    connect(oscView, &OscView::mouseDraged, this, &MainView::mouseDraged);
    connect(oscView, &OscView::oscMeasureChanged, this, &MainView::oscMeasureChanged);
    connect(oscView, &OscView::oscCursorValueChanged, this, &MainView::oscCursorValueChanged);
    connect(oscView, &OscView::oscCursorAddClicked, this, &MainView::oscCursorAddClicked);
    resizeEvent(nullptr);
}

void MainView::deleteShowItems()
{
    delete oscView;
    oscView = nullptr;
    if (probeTimerId != 0) {
        killTimer(probeTimerId);
        probeTimerId = 0;
    }
    for (int i = 0; i < waveLines.size(); ++i) {
        if (waveBackgrounds[i]) {
            scene->removeItem(waveBackgrounds[i]);
            delete waveBackgrounds[i];
        }
        if (waveLines[i]) {
            scene->removeItem(waveLines[i]);
            delete waveLines[i];
        }
    }
    for (ItemChnSidebar* s : chnSidebars)
        delete s;
    for (QShortcut* s : shortcuts)
        delete s;
    shortcuts.clear();
    periodArrow->hide();
    // The arrow served a row of the old layout.
    nextEdge->hide();
    nextEdge->chn = -1;
    waveBackgrounds.clear();
    waveLines.clear();
    chnSidebars.clear();
    for (CursorBody* c : timingMarkers) {
        scene->removeItem(c);
        delete c;
    }
    timingMarkers.clear();
    if (dlgFilter && dlgFilter->isVisible()) {
        // Rebuilt while the dialog runs (a device change): it ends rejected
        // and goes once its caller has returned.
        dlgFilter->reject();
        dlgFilter->deleteLater();
    } else {
        delete dlgFilter;
    }
    dlgFilter = nullptr;
}

// ---------------------------------------------------------------- layout

void MainView::resizeEvent(QResizeEvent*)
{
    if (oscView) {
        oscView->layout();
        placeProgressRing();
        return;
    }
    rowOrigin = 0;
    const int n = chnSidebars.size();
    QVector<int> showIndex(n), multip(n);
    QVector<bool> ena(n, false);
    for (int i = 0; i < n; ++i) {
        showIndex[i] = chnSidebars[i]->showIndex;
        multip[i] = chnSidebars[i]->showMultip;
        ena[i] = devUsing && i < devUsing->chnEna.size() && devUsing->chnEna[i];
    }
    const ViewLayout::Rows r = ViewLayout::rows(showIndex, multip, ena, sidebarArea->height(),
                                                Config::pixel(42), Config::pixel(120), rowOrigin);
    rowTops = r.tops;
    const int w = waveView->width();
    for (int i = 0; i < n; ++i) {
        const int p = showIndex[i];
        if (p < 0 || p >= n)
            continue;
        chnSidebars[i]->setGeometry(0, r.tops[p], Config::pixel(194), r.heights[p]);
        waveBackgrounds[i]->setSize(w, r.heights[p]);
        waveBackgrounds[i]->setPos(0, r.tops[p]);
        waveLines[i]->setSize(w, r.heights[p]);
        waveLines[i]->setPos(0, r.tops[p]);
        waveLines[i]->update();
    }
    sidebarFrame->setFixedHeight(r.total);
    scene->setSceneRect(0, 0, w, r.total);
    for (CursorBody* c : timingMarkers)
        c->setLength(r.total);

    if (waveDataGen) {
        waveDataGen->setViewWidth(w / Config::pixel(1));
        if (!filtering)
            waveDataGen->genData();
    }
    placeProgressRing();
}

bool MainView::eventFilter(QObject* o, QEvent* e)
{
    if (o == waveView && e->type() == QEvent::Resize)
        resizeEvent(nullptr);
    return QWidget::eventFilter(o, e);
}

void MainView::placeProgressRing()
{
    const int s = Config::pixel(250);
    progressBar->setSize(s, s);
    const int top = int(waveView->mapToScene(0, 0).y());
    progressBar->setPos(ViewLayout::ringPosition(waveView->width(), waveView->height(), s, top));
}

void MainView::updateWaveLines()
{
    for (ItemWaveLine* l : waveLines)
        l->update();
}

void MainView::updateViewDisplay()
{
    if (oscView) {
        oscView->refresh();
        return;
    }
    updateWaveLines();
    updatePeriodMark(waveView->mapFromGlobal(QCursor::pos()));
    for (int i = 0; i < timingMarkers.size(); ++i)
        if (timingMarkers[i]->isVisible())
            setTimeMarkerPosition(i, double(timingMarkers[i]->position));
    if (pulseRecount && !filtering) {
        slotPulseMeasureInfoChanged();
        pulseRecount = false;
    }
}

void MainView::updateDevSmpSta(DevSmpSta sta, int value)
{
    if (!progressBar->isVisible())
        progressBar->show();
    progressBar->setValue(sta, value);
}

void MainView::updateTrgStatus()
{
    if (!devUsing)
        return;
    for (int i = 0; i < chnSidebars.size(); ++i)
        chnSidebars[i]->setTrgStatus(i < devUsing->chnTrg.size() ? devUsing->chnTrg[i] : TrgNone);
}

// ---------------------------------------------------------------- capture status

void MainView::slotLogicProbeClicked(bool checked)
{
    Config::saveLogicProbe(checked);
    if (!checked) {
        if (probeTimerId != 0) {
            killTimer(probeTimerId);
            probeTimerId = 0;
        }
    } else if (probeTimerId == 0) {
        probeTimerId = startTimer(200, Qt::CoarseTimer);
    }
    for (ItemChnSidebar* s : chnSidebars)
        s->setChnStaVisible(checked);
}

void MainView::timerEvent(QTimerEvent* e)
{
    if (e->timerId() != probeTimerId) {
        QWidget::timerEvent(e);
        return;
    }
    const int n = chnSidebars.size();
    QVector<bool> level(std::max(n, chnCount()), false);
    QVector<bool> active(level.size(), false);
    bool valid = false;
    if (devUsing && devUsing->connected) {
        devUsing->getDChnSta(level.data(), active.data());
        valid = true;   // a failed read shows as a valid reading with both flags off
    }
    for (int i = 0; i < n; ++i)
        chnSidebars[i]->setChnStaShow(valid, level[i], active[i]);
}

void MainView::slotAnalyzerItemChanged()
{
    if (devUsing && devUsing->workMode == WorkModeOsc)
        return;
    const QStringList list = chnAliasSource ? chnAliasSource(-1) : QStringList();
    const int n = chnSidebars.size();
    if (list.isEmpty() || list.size() != 2 * n)
        return;
    for (int k = 0; k + 1 < list.size(); k += 2) {
        bool ok = false;
        const int chn = list[k].toInt(&ok);
        if (ok && chn >= 0 && chn < n)
            chnSidebars[chn]->setSecondName(list[k + 1]);
    }
}

void MainView::slotUpdateAnalyzerDecoded()
{
    updateWaveLines();
}

void MainView::slotColorEnaClicked(bool checked)
{
    Config::saveColorWaveLine(checked);
    updateWaveLines();
}

void MainView::slotChnTrgEdgeChanged()
{
    updateTrgStatus();
    if (oscView)
        oscView->slotChnTrgEdgeChanged();
}

void MainView::slotChnEnaChanged()
{
    resizeEvent(nullptr);
    updateTrgStatus();
    slotPulseMeasureInfoChanged();
}

void MainView::slotOscCursorClicked(int a, int code)
{
    if (oscView)
        oscView->slotOscCursorClicked(a, code);
}

void MainView::slotCalibSettingChanged(int code, int chn)
{
    // The calibration window outlives the mode: outside it nothing here
    // shows a channel.
    if (oscView)
        oscView->slotCalibSettingChanged(code, chn);
}

// ---------------------------------------------------------------- navigation

void MainView::registerShortCutkey()
{
    auto add = [this](const QKeySequence& k, bool repeat, void (MainView::*slot)()) {
        QShortcut* s = new QShortcut(k, this);
        s->setContext(Qt::WindowShortcut);
        s->setAutoRepeat(repeat);
        connect(s, &QShortcut::activated, this, slot);
        shortcuts.append(s);
    };
    for (int d = 0; d <= 9; ++d)
        add(QKeySequence(Qt::Key_0 + d), false, &MainView::slotShortCutTimeMarker);
    add(QKeySequence(Qt::Key_Plus), false, &MainView::slotShortCutZoomIn);
    add(QKeySequence(Qt::Key_Equal), false, &MainView::slotShortCutZoomIn);
    add(QKeySequence(Qt::Key_Minus), false, &MainView::slotShortCutZoomOut);
    add(QKeySequence(Qt::Key_Home), false, &MainView::slotShortCutMovToBeg);
    add(QKeySequence(Qt::Key_End), false, &MainView::slotShortCutMovToEnd);
    add(QKeySequence(Qt::Key_PageUp), true, &MainView::slotShortCutPageUp);
    add(QKeySequence(Qt::Key_PageDown), true, &MainView::slotShortCutPageDown);
    add(QKeySequence(Qt::Key_Left), true, &MainView::slotShortCutLeft);
    add(QKeySequence(Qt::Key_Right), true, &MainView::slotShortCutRight);
}

void MainView::slotShortCutZoomIn()
{
    if (hasData())
        emit zoomChangedByMouse(1, (waveView->width() / Config::pixel(1)) / 2);
}

void MainView::slotShortCutZoomOut()
{
    if (hasData())
        emit zoomChangedByMouse(2, (waveView->width() / Config::pixel(1)) / 2);
}

void MainView::slotShortCutMovToBeg()
{
    if (hasData() && waveDataGen)
        waveDataGen->moveTo(-1000.0);
}

void MainView::slotShortCutMovToEnd()
{
    if (hasData() && waveDataGen)
        waveDataGen->moveEnd();
}

void MainView::slotShortCutPageUp()
{
    if (hasData() && waveDataGen)
        waveDataGen->movePage(true, 1.0);
}

void MainView::slotShortCutPageDown()
{
    if (hasData() && waveDataGen)
        waveDataGen->movePage(false, 1.0);
}

void MainView::slotShortCutLeft()
{
    if (hasData() && waveDataGen)
        waveDataGen->moveTo(waveDataGen->start - 15 * waveDataGen->scale);
}

void MainView::slotShortCutRight()
{
    if (hasData() && waveDataGen)
        waveDataGen->moveTo(waveDataGen->start + 15 * waveDataGen->scale);
}

void MainView::slotKeyUpAndDownClicked(KeyType key)
{
    if (key == KeyUp)
        slotShortCutZoomIn();
    else if (key == KeyDown)
        slotShortCutZoomOut();
}

void MainView::slotMouseZoomChanged(int flag, int location)
{
    if (oscView) {
        if (waveDataGenOsc && devUsing)
            DevBase::changeWithRestart(devUsing, [&] { waveDataGenOsc->zoom(location); });
        return;
    }
    if (!hasData() || !waveDataGen)
        return;
    if (flag == 1)
        waveDataGen->zoomIn(location);
    else if (flag == 2)
        waveDataGen->zoomOut(location);
}

void MainView::slotMouseDraged(int width)
{
    if (oscView) {
        if (waveDataGenOsc)
            waveDataGenOsc->moveOffset(width);
        return;
    }
    if (waveDataGen)
        waveDataGen->moveTo(waveDataGen->start - width * waveDataGen->scale);
}

void MainView::slotWheelChanged(bool keyCtrl, int angle, const QPoint& point)
{
    if (oscView) {
        // The wheel steps the time base; the view follows about its centre.
        if (oscView->wheel(angle))
            emit zoomChangedByMouse(angle > 0 ? 1 : 2, oscView->grid.width / 2);
        return;
    }
    if (!keyCtrl) {
        emit zoomChangedByMouse(angle > 0 ? 1 : 2, point.x() / Config::pixel(1));
        return;
    }
    if (waveDataGen)
        waveDataGen->moveTo(waveDataGen->start - (angle / 120.0) * 30.0 * waveDataGen->scale);
}

void MainView::slotMousePressed(QMouseEvent* e)
{
    movedSincePress = false;
    if (e->button() == Qt::LeftButton)
        pressPoint = ViewLayout::roundPoint(e->localPos().x(), e->localPos().y());
    if (oscView)
        oscView->mousePressed(e);
}

void MainView::slotMouseMoved(QMouseEvent* e)
{
    movedSincePress = true;
    if (oscView) {
        oscView->mouseMoved(e);
        return;
    }
    const QPoint pt = ViewLayout::roundPoint(e->localPos().x(), e->localPos().y());

    if (nextEdge->isVisible() && waveView->itemAt(pt) == nextEdge) {
        updatePeriodMark(pt);
        return;
    }
    const Qt::MouseButtons buttons = e->buttons();
    if (buttons == Qt::LeftButton) {
        if (hasData()) {
            emit mouseDraged((pt.x() - pressPoint.x()) / Config::pixel(1));
            pressPoint = pt;
        }
        return;
    }
    if (buttons != Qt::NoButton)
        return;

    updatePeriodMark(pt);
    const int chn = getMouseChnPhy(pt);
    const int following = getCursorBodyIndex(6);
    if (following >= 0) {
        long long sample = 0;
        int px = 0;
        if (getCursorBodyCoordinateX(pt.x(), chn, &sample, &px) < 0)
            return;
        CursorBody* c = timingMarkers[following];
        c->position = sample;
        setTimeMarkerPosition(following, double(sample));
        setLogTimeMarkerValue(following, c->state);
        setLogTimeMarkerPulseMeasures(c->id);
        return;
    }
    const int hovered = getCursorBodyIndex(7);
    const int hit = markerAt(pt.x());
    if (hit >= 0) {
        // Hover moves: never two hovered markers.
        if (hovered >= 0 && hovered != hit)
            setLogTimeMarkerStateType(hovered, 8);
        setLogTimeMarkerStateType(hit, 7);
        return;
    }
    if (hovered >= 0)
        setLogTimeMarkerStateType(hovered, 8);

    const int aw = nextEdge->isVisible() ? nextEdge->width : Config::pixel(12);
    const int limit = ViewLayout::rightLimit(waveView->width(), !waveView->vBar->isHidden(),
                                             waveView->vBar->width(), Config::pixel(1));
    int ax = 0;
    const int zone = ViewLayout::edgeArrowZone(pt.x(), aw, limit, &ax);
    if (zone < 0)
        nextEdge->hide();
    else
        setLeftEdgeShow(zone == 0, chn, ax);
}

void MainView::slotMouseReleased(QMouseEvent* e)
{
    if (oscView) {
        oscView->mouseReleased(e);
        return;
    }
    if (movedSincePress || !hasData())
        return;
    const QPoint pt = ViewLayout::roundPoint(e->localPos().x(), e->localPos().y());
    const int lx = pt.x() / Config::pixel(1);

    if (nextEdge->isVisible() && waveView->itemAt(pt) == nextEdge) {
        if (e->button() == Qt::LeftButton)
            moveEdgetoCenter();
        return;
    }
    const int following = getCursorBodyIndex(6);
    if (e->button() == Qt::LeftButton) {
        if (following >= 0) {
            setLogTimeMarkerStateType(following, 8);
            return;
        }
        const int hovered = getCursorBodyIndex(7);
        if (hovered >= 0) {
            nextEdge->hide();
            setLogTimeMarkerStateType(hovered, 6);
            return;
        }
        emit zoomChangedByMouse(1, lx);
    } else if (e->button() == Qt::RightButton) {
        if (following >= 0) {
            nextEdge->hide();
            setLogTimeMarkerStateType(following, 5);
            return;
        }
        emit zoomChangedByMouse(2, lx);
    }
}

void MainView::slotMouseLeave()
{
    if (oscView)
        oscView->mouseLeft();
    periodMark[0] = periodMark[1] = periodMark[2] = 0;
    periodArrow->hide();
    nextEdge->hide();
    updateMeasureValue(-1, -1, -1, -1);
    const int hovered = getCursorBodyIndex(7);
    if (hovered >= 0)
        setLogTimeMarkerStateType(hovered, 8);
}

void MainView::setLeftEdgeShow(bool toPrevious, int chn, int x)
{
    if (!hasData() || chn < 0 || chn >= chnSidebars.size())
        return;
    if (x == 0) {
        nextEdge->hide();
        return;
    }
    const QRect g = chnSidebars[chn]->geometry();
    nextEdge->setParameters(chn, toPrevious, Config::pixel(12), g.height() - Config::pixel(5));
    nextEdge->setPos(x - nextEdge->width, g.y() + Config::pixel(4));
    nextEdge->show();
}

void MainView::moveEdgetoCenter()
{
    if (!waveDataGen || nextEdge->chn < 0)
        return;
    if (nextEdge->toPrevious)
        waveDataGen->movePreEdge(nextEdge->chn);
    else
        waveDataGen->moveNextEdge(nextEdge->chn);
}

int MainView::getMouseChnPhy(const QPoint& pos) const
{
    if (devUsing && devUsing->workMode == WorkModeOsc)
        return -1;
    if (pos.x() < 0 || pos.x() >= waveView->width() || chnSidebars.isEmpty())
        return -1;
    const int y = pos.y() + sidebarArea->verticalScrollBar()->value();
    if (y < 0)
        return -1;
    for (const ItemChnSidebar* s : chnSidebars) {
        const QRect g = s->geometry();
        if (g.y() <= y && y < g.y() + g.height())
            return s->chn;
    }
    return -1;
}

void MainView::slotSidebarVerRangChanged(int min, int max)
{
    waveView->setVScrollRang(min, max, sidebarArea->verticalScrollBar()->pageStep());
}

void MainView::slotSidebarVerValueChanged(int v)
{
    waveView->setVScrollValue(v);
    const int s = progressBar->height;
    const int top = int(waveView->mapToScene(0, 0).y());
    const int off = height() - s >= 0 ? (height() - s) / 2 : 0;
    progressBar->setPos(progressBar->x(), top + off);
}
