#include <QtTest>

#include <QGraphicsScene>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>

#include <cmath>
#include <memory>

#include "config/Config.h"
#include "data/SmpData.h"
#include "device/DevGlobals.h"
#include "device/DevNone.h"
#include "support/TestEnv.h"
#include "view/ItemChnSidebar.h"
#include "view/ItemWaveLine.h"
#include "view/MainView.h"
#include "view/MyMainView.h"
#include "view/ViewLayout.h"
#include "view/WaveDataGen.h"
#include "widgets/MyButton.h"
#include "widgets/MyScrollbar.h"

namespace {

constexpr long long Count = 100000;

// Channel 0 toggles every 1000 samples; channel 1 has no edge.
void fillCapture(SmpData* s)
{
    QVector<bool> ena(s->chnNum, false);
    ena[0] = ena[1] = true;
    QVERIFY(s->dataConvertStart(0, 1000000, ena));
    for (long long p = 1000; p < Count; p += 1000)
        QVERIFY(s->appendEdge(0, p));
    s->smpDepth = Count;
    QVERIFY(s->dataConvertComplete(Count));
    s->trgPosition = 40000;
}

QMouseEvent mouse(QEvent::Type t, QPoint p, Qt::MouseButton b, Qt::MouseButtons bs)
{
    return QMouseEvent(t, QPointF(p), QPointF(p), QPointF(p), b, bs, Qt::NoModifier);
}

}

class TestMainView : public QObject
{
    Q_OBJECT

    std::unique_ptr<DevNone> dev;
    std::unique_ptr<WaveDataGen> gen;
    std::unique_ptr<MainView> view;

    int px(int n) const { return Config::pixel(n); }

    void press(QPoint p, Qt::MouseButton b)
    {
        QMouseEvent e = mouse(QEvent::MouseButtonPress, p, b, b);
        view->slotMousePressed(&e);
    }
    void move(QPoint p, Qt::MouseButtons bs)
    {
        QMouseEvent e = mouse(QEvent::MouseMove, p, Qt::NoButton, bs);
        view->slotMouseMoved(&e);
    }
    void release(QPoint p, Qt::MouseButton b)
    {
        QMouseEvent e = mouse(QEvent::MouseButtonRelease, p, b, Qt::NoButton);
        view->slotMouseReleased(&e);
    }
    // Row of channel chn in wave-view coordinates.
    QRect rowOf(int chn) const { return view->chnSidebars[chn]->geometry(); }

    void settle()
    {
        QTRY_VERIFY(gen->isIdle());
    }

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        Config::init();
    }

    void init()
    {
        Config::setDefaultDocument();
        Config::initShadowConfig();
        Config::disAnimate = true;   // one-step zooms unless a case says otherwise
        Config::dpi = 96;            // logical and screen pixels coincide
        dev.reset(new DevNone);
        devUsing = dev.get();
        fillCapture(dev->shownData());
        gen.reset(new WaveDataGen);
        connect(gen.get(), &WaveDataGen::sigViewRefresh, this, [this] { gen->frameConsumed = true; });
        gen->devModelChanged();
        view.reset(new MainView(gen.get(), nullptr, nullptr));
        view->resize(px(194) + 1000, 700);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        view->init();
        QTRY_COMPARE(gen->width, 1000);
        gen->zoomAll();
    }

    void cleanup()
    {
        view.reset();
        gen.reset();
        devUsing = nullptr;
        dev.reset();
    }

    // ------------------------------------------------------------------ layout (pure)
    void rowLayout_data()
    {
        QTest::addColumn<QVector<int>>("showIndex");
        QTest::addColumn<QVector<int>>("multip");
        QTest::addColumn<QVector<bool>>("enabled");
        QTest::addColumn<int>("area");
        QTest::addColumn<double>("unit");
        QTest::addColumn<QVector<int>>("tops");      // per display position
        QTest::addColumn<QVector<int>>("heights");

        // Tall area, few rows: the unit stops at 120.
        QTest::newRow("max unit") << QVector<int>{0, 1} << QVector<int>{1, 1} << QVector<bool>{true, true}
                                  << 1000 << 120.0 << QVector<int>{0, 120} << QVector<int>{120, 120};
        // Many rows: the unit stops at 42 and the stack outgrows the area.
        QTest::newRow("min unit") << QVector<int>{0, 1, 2} << QVector<int>{1, 1, 1}
                                  << QVector<bool>{true, true, true} << 60 << 42.0
                                  << QVector<int>{0, 42, 84} << QVector<int>{42, 42, 42};
        // Mixed heights in a permuted order: channel 0 (x4) shows second.
        QTest::newRow("mixed and permuted") << QVector<int>{1, 0, 2} << QVector<int>{4, 1, 2}
                                            << QVector<bool>{true, true, true} << 350 << 50.0
                                            << QVector<int>{0, 50, 250} << QVector<int>{50, 200, 100};
        // A disabled row is 0 high and takes no units.
        QTest::newRow("disabled row") << QVector<int>{0, 1, 2} << QVector<int>{1, 8, 1}
                                      << QVector<bool>{true, false, true} << 200 << 100.0
                                      << QVector<int>{0, 100, 100} << QVector<int>{100, 0, 100};
        // The last row absorbs the rounding: 3 units over 200 pixels.
        QTest::newRow("rounding into last") << QVector<int>{0, 1, 2} << QVector<int>{1, 1, 1}
                                            << QVector<bool>{true, true, true} << 200 << 200.0 / 3
                                            << QVector<int>{0, 66, 133} << QVector<int>{66, 67, 67};
        // Every channel off: unit 120 and nothing but zeros (no NaN).
        QTest::newRow("all disabled") << QVector<int>{0, 1} << QVector<int>{1, 1} << QVector<bool>{false, false}
                                      << 500 << 120.0 << QVector<int>{0, 0} << QVector<int>{0, 0};
        QTest::newRow("no channels") << QVector<int>{} << QVector<int>{} << QVector<bool>{}
                                     << 500 << 120.0 << QVector<int>{} << QVector<int>{};
        // A position out of range is left out rather than written past the end.
        QTest::newRow("bad position") << QVector<int>{0, 7} << QVector<int>{1, 1} << QVector<bool>{true, true}
                                      << 100 << 100.0 << QVector<int>{0, 100} << QVector<int>{100, 0};
    }

    void rowLayout()
    {
        QFETCH(QVector<int>, showIndex);
        QFETCH(QVector<int>, multip);
        QFETCH(QVector<bool>, enabled);
        QFETCH(int, area);
        QFETCH(double, unit);
        QFETCH(QVector<int>, tops);
        QFETCH(QVector<int>, heights);

        const ViewLayout::Rows r = ViewLayout::rows(showIndex, multip, enabled, area, 42, 120);
        QVERIFY(std::isfinite(r.unit));
        QCOMPARE(r.unit, unit);
        QCOMPARE(r.tops, tops);
        QCOMPARE(r.heights, heights);
        int sum = 0;
        long long units = 0;
        for (int i = 0; i < heights.size(); ++i) {
            sum += heights[i];
            if (i < enabled.size() && enabled[i] && showIndex[i] < showIndex.size())
                units += multip[i];
        }
        QCOMPARE(r.total, sum);
        QCOMPARE(sum, int(units * unit));
    }

    void ringPosition_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("top");
        QTest::addColumn<QPoint>("pos");
        QTest::newRow("centred") << 1000 << 600 << 0 << QPoint(375, 175);
        QTest::newRow("scrolled") << 1000 << 600 << 300 << QPoint(375, 475);
        QTest::newRow("narrow and low") << 200 << 100 << 40 << QPoint(0, 40);
        QTest::newRow("odd") << 251 << 251 << 0 << QPoint(0, 0);
    }

    void ringPosition()
    {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(int, top);
        QFETCH(QPoint, pos);
        QCOMPARE(ViewLayout::ringPosition(w, h, 250, top), pos);
    }

    void edgeZone_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<bool>("barShown");
        QTest::addColumn<int>("zone");
        QTest::addColumn<int>("arrowX");
        // View 1000 wide, arrow 12, bar 10 wide.
        QTest::newRow("left edge") << 0 << false << 0 << 12;
        QTest::newRow("left limit") << 12 << false << 0 << 12;
        QTest::newRow("middle") << 13 << false << -1 << 0;
        QTest::newRow("right zone starts") << 988 << false << 1 << 1000;
        QTest::newRow("right edge no bar") << 999 << false << 1 << 1000;
        QTest::newRow("just before zone") << 987 << false << -1 << 0;
        QTest::newRow("with bar") << 977 << true << 1 << 989;
        QTest::newRow("under the bar") << 989 << true << -1 << 0;
        QTest::newRow("before zone with bar") << 976 << true << -1 << 0;
    }

    void edgeZone()
    {
        QFETCH(int, x);
        QFETCH(bool, barShown);
        QFETCH(int, zone);
        QFETCH(int, arrowX);
        int ax = -5;
        const int limit = ViewLayout::rightLimit(1000, barShown, 10, 1);
        QCOMPARE(ViewLayout::edgeArrowZone(x, 12, limit, &ax), zone);
        QCOMPARE(ax, arrowX);
    }

    // ------------------------------------------------------------------ frame
    void rowsFollowLabels()
    {
        const int n = dev->chnNum();
        QCOMPARE(view->chnSidebars.size(), n);
        QCOMPARE(view->waveLines.size(), n);
        int total = 0;
        for (int i = 0; i < n; ++i) {
            const QRect g = rowOf(i);
            QCOMPARE(view->waveLines[i]->pos().y(), double(g.y()));
            QCOMPARE(view->waveBackgrounds[i]->pos().y(), double(g.y()));
            QCOMPARE(view->waveLines[i]->height, g.height());
            QCOMPARE(view->waveLines[i]->width, view->waveView->width());
            QCOMPARE(g.y(), view->rowTops[view->chnSidebars[i]->showIndex]);
            total += g.height();
        }
        QCOMPARE(view->sidebarFrame->height(), total);
        QCOMPARE(view->scene->sceneRect(), QRectF(0, 0, view->waveView->width(), total));
        QCOMPARE(gen->width, view->waveView->width() / px(1));
        // 16 rows fill the 700 pixels (the last row takes the rounding).
        QCOMPARE(total, 700);
        QVERIFY(view->waveView->vBar->isHidden());
    }

    void heightsAndDisabledRows()
    {
        Config::saveGlobalParam("chnShowMultip", "4,1,2");
        Config::saveGlobalParam("chnShowIndex", "2,0,1");
        view->init();
        QCOMPARE(rowOf(0).height(), 4 * px(42));
        QCOMPARE(rowOf(1).y(), 0);
        QCOMPARE(rowOf(2).y(), px(42));
        QCOMPARE(rowOf(0).y(), 3 * px(42));

        QVector<bool> off(dev->chnNum(), false);
        off[1] = true;
        dev->setDChnEna(off);
        view->slotChnEnaChanged();
        QCOMPARE(rowOf(0).height(), 0);
        QCOMPARE(rowOf(1).height(), px(120));

        dev->setDChnEna(QVector<bool>(dev->chnNum(), false));
        view->slotChnEnaChanged();
        QCOMPARE(view->sidebarFrame->height(), 0);
        for (int i = 0; i < dev->chnNum(); ++i)
            QCOMPARE(rowOf(i).height(), 0);
    }

    void progressRing()
    {
        SamplingProgressBar* ring = view->progressBar;
        QVERIFY(!ring->isVisible());
        view->updateDevSmpSta(SmpStaSampling, 30);
        QVERIFY(ring->isVisible());
        QCOMPARE(ring->text, QString("Sampling..."));
        view->updateDevSmpSta(SmpStaReading, 40);
        QCOMPARE(ring->phasePercent, 100);
        QCOMPARE(ring->readPercent, 40);
        QCOMPARE(ring->text, QString("Data reading..."));
        view->updateDevSmpSta(SmpStaStart, 70);
        QCOMPARE(ring->phasePercent, 0);
        QCOMPARE(ring->readPercent, 0);
        QCOMPARE(ring->text, QString("Data reading..."));
        view->updateDevSmpSta(SmpStaWaitTrg, 150);
        QCOMPARE(ring->phasePercent, 100);
        view->updateDevSmpSta(SmpStaPre, -3);
        QCOMPARE(ring->phasePercent, 0);
        view->updateDevSmpSta(SmpStaStopped, 0);
        QVERIFY(!ring->isVisible());
        view->updateDevSmpSta(DevSmpSta(9), 0);
        QVERIFY(!ring->isVisible());
        // Centred in the visible part of the rows.
        const int s = px(250);
        QCOMPARE(ring->pos().toPoint(),
                 QPoint((view->waveView->width() - s) / 2, (view->waveView->height() - s) / 2));
        view->resize(px(194) + 100, 120);
        QTRY_COMPARE(ring->pos().toPoint(), QPoint(0, 0));
    }

    void logicProbe()
    {
        view->slotLogicProbeClicked(true);
        QVERIFY(view->probeTimerId != 0);
        QCOMPARE(Config::readGlobalParam("LogicProbe"), QString("1"));
        ItemChnSidebar* s = view->chnSidebars[3];
        s->setChnStaShow(true, true, true);
        // Not connected: each tick shows no valid reading.
        QTRY_VERIFY(!s->staShow->valid && !s->staShow->level && !s->staShow->active);
        view->slotLogicProbeClicked(false);
        QCOMPARE(view->probeTimerId, 0);
        // init restarts the probe from the saved setting.
        Config::enaLogicProbe = true;
        view->init();
        QVERIFY(view->probeTimerId != 0);
    }

    void secondNames()
    {
        QStringList list;
        for (int i = 0; i < dev->chnNum(); ++i)
            list << QString::number(i) << (i == 2 ? "UART" : "");
        MainView::chnAliasSource = [&](int) { return list; };
        view->slotAnalyzerItemChanged();
        QCOMPARE(view->chnSidebars[2]->secondName->text(), QString("UART"));
        list[5] = "short list";
        list.removeLast();   // not two entries per channel: ignored
        view->slotAnalyzerItemChanged();
        QCOMPARE(view->chnSidebars[2]->secondName->text(), QString("UART"));
        MainView::chnAliasSource = nullptr;
        view->slotAnalyzerItemChanged();
    }

    void triggerButtonsFollowDevice()
    {
        dev->setDChnTrg(4, TrgFalling);
        view->updateTrgStatus();
        QVERIFY(view->chnSidebars[4]->trgButtons[2]->isChecked());
        dev->setDChnTrg(6, TrgRising);   // takes the edge trigger from channel 4
        view->slotChnTrgEdgeChanged();
        QVERIFY(!view->chnSidebars[4]->trgButtons[2]->isChecked());
        QVERIFY(view->chnSidebars[6]->trgButtons[0]->isChecked());
    }

    // ------------------------------------------------------------------ navigation
    void shortcutsRegistered()
    {
        const QStringList keys = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9",
                                  "+", "=", "-", "Home", "End", "PgUp", "PgDown", "Left", "Right"};
        QCOMPARE(view->shortcuts.size(), keys.size());
        for (int i = 0; i < keys.size(); ++i) {
            QCOMPARE(view->shortcuts[i]->key().toString(), keys[i]);
            QCOMPARE(view->shortcuts[i]->autoRepeat(), i >= 15);
            QCOMPARE(view->shortcuts[i]->context(), Qt::WindowShortcut);
        }
        view->init();   // rebuilt, not doubled
        QCOMPARE(view->shortcuts.size(), keys.size());
    }

    void keyboard_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<double>("start");   // after the move (and rebound)
        QTest::addColumn<double>("scale");
        // The view starts at scale 10, start 20000, 1000 logical pixels.
        QTest::newRow("left") << "left" << 19850.0 << 10.0;
        QTest::newRow("right") << "right" << 20150.0 << 10.0;
        QTest::newRow("page up") << "pageup" << 10000.0 << 10.0;
        QTest::newRow("page down") << "pagedown" << 30000.0 << 10.0;
        QTest::newRow("home") << "home" << 0.0 << 10.0;
        QTest::newRow("end") << "end" << Count - 10000.0 << 10.0;
        QTest::newRow("zoom in") << "in" << 22500.0 << 5.0;
        QTest::newRow("zoom out") << "out" << 15000.0 << 20.0;
        QTest::newRow("up key") << "up" << 22500.0 << 5.0;
        QTest::newRow("down key") << "down" << 15000.0 << 20.0;
    }

    void keyboard()
    {
        QFETCH(QString, key);
        QFETCH(double, start);
        QFETCH(double, scale);
        gen->setViewWidth(1000);
        gen->setZoom(10, 0);
        gen->moveTo(20000);
        settle();
        if (key == "left") view->slotShortCutLeft();
        else if (key == "right") view->slotShortCutRight();
        else if (key == "pageup") view->slotShortCutPageUp();
        else if (key == "pagedown") view->slotShortCutPageDown();
        else if (key == "home") view->slotShortCutMovToBeg();
        else if (key == "end") view->slotShortCutMovToEnd();
        else if (key == "in") view->slotShortCutZoomIn();
        else if (key == "out") view->slotShortCutZoomOut();
        else if (key == "up") view->slotKeyUpAndDownClicked(KeyUp);
        else if (key == "down") view->slotKeyUpAndDownClicked(KeyDown);
        settle();
        QCOMPARE(gen->scale, scale);
        QCOMPARE(gen->start, start);
    }

    void keyboardWithoutData()
    {
        dev->clearSmpData();
        const double s0 = gen->start;
        QSignalSpy zoom(view.get(), &MainView::zoomChangedByMouse);
        view->slotShortCutLeft();
        view->slotShortCutRight();
        view->slotShortCutPageUp();
        view->slotShortCutPageDown();
        view->slotShortCutMovToBeg();
        view->slotShortCutMovToEnd();
        view->slotShortCutZoomIn();
        view->slotShortCutZoomOut();
        view->slotKeyUpAndDownClicked(KeyType(7));
        QCOMPARE(zoom.count(), 0);
        QCOMPARE(gen->start, s0);
    }

    void clickZooms_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("moved");
        QTest::addColumn<bool>("data");
        QTest::addColumn<int>("flag");   // 0: no zoom
        QTest::newRow("left click") << int(Qt::LeftButton) << false << true << 1;
        QTest::newRow("right click") << int(Qt::RightButton) << false << true << 2;
        QTest::newRow("middle click") << int(Qt::MiddleButton) << false << true << 0;
        QTest::newRow("left with move") << int(Qt::LeftButton) << true << true << 0;
        QTest::newRow("right with move") << int(Qt::RightButton) << true << true << 0;
        QTest::newRow("left without data") << int(Qt::LeftButton) << false << false << 0;
    }

    void clickZooms()
    {
        QFETCH(int, button);
        QFETCH(bool, moved);
        QFETCH(bool, data);
        QFETCH(int, flag);
        if (!data)
            dev->clearSmpData();
        QSignalSpy zoom(view.get(), &MainView::zoomChangedByMouse);
        QSignalSpy drag(view.get(), &MainView::mouseDraged);
        const double scale0 = gen->scale;
        const QPoint p(px(300), rowOf(0).center().y());
        press(p, Qt::MouseButton(button));
        if (moved)
            move(p, Qt::NoButton);   // any move event, even in place
        release(p, Qt::MouseButton(button));
        if (flag == 0) {
            QCOMPARE(zoom.count(), 0);
            QCOMPARE(gen->scale, scale0);
        } else {
            QCOMPARE(zoom.count(), 1);
            QCOMPARE(zoom[0][0].toInt(), flag);
            QCOMPARE(zoom[0][1].toInt(), 300);
            settle();
            // Zooming out of the whole capture rebounds to the whole capture.
            QCOMPARE(gen->scale, flag == 1 ? scale0 / 2 : scale0);
        }
        QCOMPARE(drag.count(), 0);
    }

    void drag()
    {
        gen->setZoom(10, 0);
        gen->moveTo(20000);
        settle();
        QSignalSpy drag(view.get(), &MainView::mouseDraged);
        const int y = rowOf(0).center().y();
        press(QPoint(px(500), y), Qt::LeftButton);
        move(QPoint(px(530), y), Qt::LeftButton);
        QCOMPARE(drag.count(), 1);
        QCOMPARE(drag[0][0].toInt(), 30);
        QCOMPARE(gen->start, 20000 - 300.0);   // the picture follows the pointer
        // Less than one logical pixel per move: nothing moves, the rest is lost.
        const double s1 = gen->start;
        const int step = px(1) > 1 ? px(1) - 1 : 0;
        move(QPoint(px(530) + step, y), Qt::LeftButton);
        move(QPoint(px(530) + 2 * step, y), Qt::LeftButton);
        QCOMPARE(gen->start, s1);
        release(QPoint(px(530), y), Qt::LeftButton);
        QCOMPARE(gen->scale, 10.0);   // a drag is not a click
    }

    void dragWithoutDataDoesNothing()
    {
        dev->clearSmpData();
        QSignalSpy drag(view.get(), &MainView::mouseDraged);
        press(QPoint(100, 10), Qt::LeftButton);
        move(QPoint(150, 10), Qt::LeftButton);
        QCOMPARE(drag.count(), 0);
    }

    void wheel_data()
    {
        QTest::addColumn<bool>("ctrl");
        QTest::addColumn<int>("angle");
        QTest::addColumn<int>("flag");      // zoom flag, 0 for a move
        QTest::addColumn<double>("start");  // after a Control move
        QTest::newRow("forward zooms in") << false << 120 << 1 << 0.0;
        QTest::newRow("backward zooms out") << false << -120 << 2 << 0.0;
        QTest::newRow("zero zooms out") << false << 0 << 2 << 0.0;
        QTest::newRow("ctrl forward") << true << 240 << 0 << 20000 - 600.0;
        QTest::newRow("ctrl backward") << true << -120 << 0 << 20000 + 300.0;
        QTest::newRow("ctrl half notch") << true << 60 << 0 << 20000 - 150.0;
    }

    void wheel()
    {
        QFETCH(bool, ctrl);
        QFETCH(int, angle);
        QFETCH(int, flag);
        QFETCH(double, start);
        gen->setZoom(10, 0);
        gen->moveTo(20000);
        settle();
        QSignalSpy zoom(view.get(), &MainView::zoomChangedByMouse);
        view->slotWheelChanged(ctrl, angle, QPoint(px(250), 5));
        if (flag) {
            QCOMPARE(zoom.count(), 1);
            QCOMPARE(zoom[0][0].toInt(), flag);
            QCOMPARE(zoom[0][1].toInt(), 250);
        } else {
            QCOMPARE(zoom.count(), 0);
            QCOMPARE(gen->start, start);
        }
    }

    void wheelReadsHeldModifiers_data()
    {
        QTest::addColumn<int>("mods");
        QTest::addColumn<bool>("ctrl");
        QTest::newRow("none") << int(Qt::NoModifier) << false;
        QTest::newRow("control") << int(Qt::ControlModifier) << true;
        QTest::newRow("control+shift") << int(Qt::ControlModifier | Qt::ShiftModifier) << false;
    }

    void wheelReadsHeldModifiers()
    {
        QFETCH(int, mods);
        QFETCH(bool, ctrl);
        QWindow* w = view->windowHandle();
        QVERIFY(w);
        // The modifiers the application saw last, not those in the event.
        if (mods & Qt::ControlModifier)
            QTest::keyPress(w, Qt::Key_Control, Qt::ControlModifier);
        if (mods & Qt::ShiftModifier)
            QTest::keyPress(w, Qt::Key_Shift, Qt::KeyboardModifiers(mods));
        QCOMPARE(int(QGuiApplication::keyboardModifiers()), mods);
        QSignalSpy spy(view->waveView, &WaveView::wheelChanged);
        const QPointF pos(40.4, 10.6);
        QWheelEvent e(pos, view->waveView->viewport()->mapToGlobal(pos.toPoint()), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->waveView->viewport(), &e);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy[0][0].toBool(), ctrl);
        QCOMPARE(spy[0][1].toInt(), 120);
        QCOMPARE(spy[0][2].toPoint(), QPoint(40, 11));
        if (mods & Qt::ShiftModifier)
            QTest::keyRelease(w, Qt::Key_Shift, Qt::ControlModifier);
        if (mods & Qt::ControlModifier)
            QTest::keyRelease(w, Qt::Key_Control, Qt::NoModifier);
    }

    void edgeArrows()
    {
        gen->setZoom(10, 0);
        gen->moveTo(25500);
        settle();
        const QRect r0 = rowOf(0);
        const int y = r0.center().y();
        // Left edge: previous-edge arrow, flush with the left side.
        move(QPoint(px(3), y), Qt::NoButton);
        QVERIFY(view->nextEdge->isVisible());
        QCOMPARE(view->nextEdge->chn, 0);
        QVERIFY(view->nextEdge->toPrevious);
        QCOMPARE(view->nextEdge->pos(), QPointF(0, r0.y() + px(4)));
        QCOMPARE(view->nextEdge->height, r0.height() - px(5));
        // Middle: hidden.
        move(QPoint(px(400), y), Qt::NoButton);
        QVERIFY(!view->nextEdge->isVisible());
        // Right limit: next-edge arrow; the overlay bar is hidden here (all
        // rows fit), so the zone reaches the full width.
        QVERIFY(view->waveView->vBar->isHidden());
        const int w = view->waveView->width();
        move(QPoint(w - 1, y), Qt::NoButton);
        QVERIFY(view->nextEdge->isVisible());
        QVERIFY(!view->nextEdge->toPrevious);
        QCOMPARE(view->nextEdge->x(), double(w - px(12)));
        // Outside all rows the arrow is neither placed nor moved.
        view->nextEdge->hide();
        move(QPoint(px(3), view->sidebarFrame->height() + 50), Qt::NoButton);
        QVERIFY(!view->nextEdge->isVisible());

        // A click on the previous-edge arrow centres the previous edge (25000).
        move(QPoint(px(3), y), Qt::NoButton);
        const QPoint onArrow(px(6), y);
        QCOMPARE(view->waveView->itemAt(onArrow), view->nextEdge);
        QSignalSpy zoom(view.get(), &MainView::zoomChangedByMouse);
        QSignalSpy drag(view.get(), &MainView::mouseDraged);
        press(onArrow, Qt::LeftButton);
        release(onArrow, Qt::LeftButton);
        QCOMPARE(zoom.count(), 0);
        QCOMPARE(gen->start, 25000 - (gen->width / 2) * 10.0);
        // Dragging over the arrow does not move the picture.
        press(onArrow, Qt::LeftButton);
        move(onArrow + QPoint(px(4), 0), Qt::LeftButton);
        QCOMPARE(drag.count(), 0);
    }

    void edgeArrowWithBarShown()
    {
        Config::saveGlobalParam("chnShowMultip", "8,8,8,8");
        view->init();
        QVERIFY(view->sidebarFrame->height() > view->sidebarArea->height());
        QTRY_VERIFY(!view->waveView->vBar->isHidden());
        const int w = view->waveView->width();
        const int limit = w - view->waveView->vBar->width() - px(1);
        const int y = rowOf(0).center().y();
        move(QPoint(limit, y), Qt::NoButton);
        QVERIFY(!view->nextEdge->isVisible());
        move(QPoint(limit - 1, y), Qt::NoButton);
        QVERIFY(view->nextEdge->isVisible());
        QCOMPARE(view->nextEdge->x(), double(limit - px(12)));
    }

    void rebuildHidesArrow()
    {
        move(QPoint(px(3), rowOf(2).center().y()), Qt::NoButton);
        QVERIFY(view->nextEdge->isVisible());
        QCOMPARE(view->nextEdge->chn, 2);
        view->init();
        QVERIFY(!view->nextEdge->isVisible());
        QCOMPARE(view->nextEdge->chn, -1);
        // A jump with no channel does nothing.
        const double s0 = gen->start;
        view->moveEdgetoCenter();
        QCOMPARE(gen->start, s0);
    }

    void hoverMovesBetweenMarkers()
    {
        const int a = view->getCursorBodySub(0);
        const int b = view->getCursorBodySub(1);
        QCOMPARE(a, 0);
        QCOMPARE(b, 1);
        view->timingMarkers[a]->setPos(px(100), 0);
        view->timingMarkers[b]->setPos(px(300), 0);
        view->setLogTimeMarkerStateType(a, 8);
        view->setLogTimeMarkerStateType(b, 8);
        const int y = rowOf(0).center().y();
        move(QPoint(px(100), y), Qt::NoButton);
        QCOMPARE(view->timingMarkers[a]->state, 7);
        move(QPoint(px(300), y), Qt::NoButton);
        QCOMPARE(view->timingMarkers[b]->state, 7);
        QCOMPARE(view->timingMarkers[a]->state, 8);   // never two hovered markers
        // Away from both, then leaving the view: placed again.
        move(QPoint(px(200), y), Qt::NoButton);
        QCOMPARE(view->timingMarkers[b]->state, 8);
        move(QPoint(px(300), y), Qt::NoButton);
        view->slotMouseLeave();
        QCOMPARE(view->timingMarkers[b]->state, 8);
        QVERIFY(!view->nextEdge->isVisible());

        // A click on a hovered marker picks it up, the next click places it.
        move(QPoint(px(300), y), Qt::NoButton);
        press(QPoint(px(300), y), Qt::LeftButton);
        release(QPoint(px(300), y), Qt::LeftButton);
        QCOMPARE(view->timingMarkers[b]->state, 6);
        press(QPoint(px(350), y), Qt::RightButton);
        release(QPoint(px(350), y), Qt::RightButton);
        QCOMPARE(view->timingMarkers[b]->state, 5);
        QVERIFY(!view->timingMarkers[b]->isVisible());
    }

    void removeMarkerPairChecksIndex()
    {
        QSignalSpy body(view.get(), &MainView::timeMarkBodyChanged);
        view->removeMarkerPair(0);   // none yet
        view->getCursorBodySub(5);
        view->removeMarkerPair(-1);
        view->removeMarkerPair(2);
        QCOMPARE(view->timingMarkers.size(), 2);
        body.clear();
        view->removeMarkerPair(1);
        QCOMPARE(view->timingMarkers.size(), 0);
        QCOMPARE(body.count(), 1);
        QCOMPARE(body[0][0].toInt(), 28);
        QCOMPARE(body[0][1].toInt(), 0);
    }

    void scrollSync()
    {
        Config::saveGlobalParam("chnShowMultip", "8,8,8,8");
        view->init();
        QScrollBar* side = view->sidebarArea->verticalScrollBar();
        QTRY_VERIFY(side->maximum() > 0);
        QCOMPARE(view->waveView->vBar->maximum(), qint64(side->maximum()));
        QCOMPARE(view->waveView->verticalScrollBar()->maximum(), side->maximum());
        // The overlay bar scrolls both columns.
        view->waveView->vBar->setValue(100);
        QCOMPARE(side->value(), 100);
        QCOMPARE(view->waveView->verticalScrollBar()->value(), 100);
        // The label column's bar moves the rows and the ring with it.
        side->setValue(200);
        QCOMPARE(view->waveView->vBar->value(), qint64(200));
        QCOMPARE(view->waveView->verticalScrollBar()->value(), 200);
        QCOMPARE(int(view->progressBar->y()), 200 + (view->height() - px(250)) / 2);
        // Nothing but the overlay bar scrolls the rows.
        view->waveView->verticalScrollBar()->setValue(10);
        QCOMPARE(view->waveView->verticalScrollBar()->value(), 200);
        // The row under the pointer accounts for the scroll.
        const QRect r = rowOf(1);
        QCOMPARE(view->getMouseChnPhy(QPoint(px(10), r.y() - 200 + 1)), 1);
        QCOMPARE(view->getMouseChnPhy(QPoint(-1, r.y() - 200 + 1)), -1);
    }
};

QTEST_MAIN(TestMainView)
#include "test_mainview.moc"
