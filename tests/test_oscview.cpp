// The oscilloscope screen's controls in the main window on the
// demonstration switch's device: the texts of volts and cursors, dragging
// tags and trigger markers, the four cursors through keys, pointer and the
// cursor panel, the panels' change codes during a running capture, the
// calibration window's codes, the wheel, and a measurement of the
// demonstration sine.
#include <QtTest>

#include <QLabel>
#include <QButtonGroup>
#include <QLineEdit>
#include <QTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>

#include <cmath>
#include <memory>

#include "app/Startup.h"
#include "app/mainwindow.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "decode/RightBoxView.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "osc/CalibrateOsc.h"
#include "osc/OscCursor.h"
#include "osc/OscItems.h"
#include "osc/OscMeasure.h"
#include "osc/OscPanels.h"
#include "osc/OscView.h"
#include "osc/WaveDataGenOsc.h"
#include "support/RecordingTransport.h"
#include "support/TestEnv.h"
#include "view/MainView.h"
#include "view/MyMainView.h"
#include "widgets/MyDial.h"
#include "widgets/MyMenu.h"
#include "widgets/MySwitch.h"

class TestOscView : public QObject
{
    Q_OBJECT
    RecordingTransport* usb = nullptr;
    std::unique_ptr<MainWindow> win;
    OscView* osc = nullptr;
    QWidget* vp = nullptr;

    // The main window, shown, on the demonstration switch's device.
    void openWindow()
    {
        setDemoMixedSignal(true);
        devUsing = createStartDevice(DevModelDemo);
        win = std::make_unique<MainWindow>();
        win->resize(1400, 900);
        win->show();
        QVERIFY(QTest::qWaitForWindowExposed(win.get()));
        osc = win->mainView->oscView;
        QVERIFY(osc);
        vp = win->mainView->waveView->viewport();
    }
    QPoint at(const QGraphicsItem* it) const
    {
        return win->mainView->waveView->mapFromScene(it->sceneBoundingRect().center());
    }
    // A viewport point at grid fractions (fx, fy).
    QPoint onGrid(double fx, double fy) const
    {
        const OscView::Grid g = osc->grid;
        return win->mainView->waveView->mapFromScene(QPointF(g.left + fx * g.width, g.top + fy * g.height));
    }
    void move(const QPoint& pt, Qt::MouseButtons held = Qt::NoButton, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QMouseEvent e(QEvent::MouseMove, pt, Qt::NoButton, held, mods);
        QCoreApplication::sendEvent(vp, &e);
    }
    void drag(const QPoint& from, const QPoint& to)
    {
        QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, from);
        move(to, Qt::LeftButton);
        QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, to);
    }
    void click(const QPoint& pt, Qt::MouseButton b)
    {
        QTest::mousePress(vp, b, Qt::NoModifier, pt);
        QTest::mouseRelease(vp, b, Qt::NoModifier, pt);
    }
    int state(int i) const { return osc->cursors[i]->state; }
    // A viewport point on time cursor i's line, half-way down the grid.
    QPoint onLine(int i) const
    {
        const OscCursorBody* c = osc->cursors[i];
        const QPointF line(c->x() + Config::pixel(1) / 2 + c->width / 2, osc->grid.top + osc->grid.height / 2);
        return win->mainView->waveView->mapFromScene(line);
    }

private slots:
    void initTestCase()
    {
        TestEnv::startProgram();
        MainWindow::criticalBox = [](QWidget*, const QString&, const QString&) {};
    }
    void init()
    {
        Config::setDefaultDocument();
        Config::dataFile.clear();
        usb = RecordingTransport::install();
    }
    void cleanup()
    {
        if (devUsing)
            devUsing->smpStopAndWait();
        win.reset();
        osc = nullptr;
        delete devUsing;
        devUsing = nullptr;
        RecordingTransport::uninstall(&usb);
        setDemoMixedSignal(false);
    }
    void cleanupTestCase() { MainWindow::criticalBox = nullptr; }

    void voltTexts_data()
    {
        QTest::addColumn<double>("mV");
        QTest::addColumn<QString>("text");
        QTest::newRow("just under 1 V") << 999.9999 << "1V";
        QTest::newRow("-1.5 V") << -1500.0 << "-1.5V";
        QTest::newRow("zero") << 0.0 << "0mV";
        QTest::newRow("mV") << 12.5 << "12.5mV";
        QTest::newRow("1 V") << 1000.0 << "1V";
    }
    void voltTexts()
    {
        QFETCH(double, mV);
        QFETCH(QString, text);
        QCOMPARE(OscView::voltDataToString(mV), text);
    }

    void gridFractions_data()
    {
        QTest::addColumn<double>("f");
        QTest::addColumn<double>("kept");
        QTest::newRow("thousandths") << 0.12345 << 0.123;
        QTest::newRow("past the right") << 1.7 << 1.0;
        QTest::newRow("before the left") << -0.1 << 0.0;
        QTest::newRow("not a number") << std::nan("") << 0.0;
        QTest::newRow("rounded up") << 0.9996 << 1.0;
    }
    void gridFractions()
    {
        QFETCH(double, f);
        QFETCH(double, kept);
        QCOMPARE(OscView::getAGridTimeOffset(f), kept);
        QCOMPARE(OscView::getAGridVoltOffset(f), kept);
    }

    void cursorTexts()
    {
        // A stored voltage-cursor channel past the device's counts as CH1.
        Config::saveGlobalParam("oscCursorChn", "3");
        openWindow();
        DevBase* dev = devUsing;
        QVERIFY(dev->setATimeDivValue(2000));
        QVERIFY(dev->setATrgPercent(500));
        QCOMPARE(osc->cursorChannel(), 0);
        QCOMPARE(osc->calculateX1X2(), (QStringList{"###", "###", "###"}));
        osc->setAMarkerPosition(0, 0.75);
        osc->setAMarkerState(0, OscCursorPlaced);
        QCOMPARE(osc->calculateX1X2(), (QStringList{"5us", "###", "###"}));
        osc->setAMarkerPosition(1, 0.25);
        osc->setAMarkerState(1, OscCursorPlaced);
        QCOMPARE(osc->calculateX1X2(), (QStringList{"5us", "-5us", "10us"}));
        // The capture's own trigger, when shown, is the reference.
        osc->trgTimes[1]->position = 0.25;
        osc->trgTimes[1]->show();
        QCOMPARE(osc->calculateX1X2(), (QStringList{"10us", "0us", "10us"}));

        // 1 V a division through a 10X probe: 100 V over the screen.
        dev->setAVoltDivIndex(0, 5);
        dev->setAProbeRate(0, 10);
        dev->setAChnOffset(0, 0);
        osc->setAMarkerPosition(2, 0.25);
        osc->setAMarkerState(2, OscCursorPlaced);
        QCOMPARE(osc->calculateY1Y2(), (QStringList{"25V", "###", "###"}));
        osc->setAMarkerPosition(3, 0.75);
        osc->setAMarkerState(3, OscCursorPlaced);
        QCOMPARE(osc->calculateY1Y2(), (QStringList{"25V", "-25V", "50V"}));
        // The cursor panel's channel choice.
        dev->setAVoltDivIndex(1, 0);
        QSignalSpy texts(win->mainView, &MainView::oscCursorValueChanged);
        osc->slotOscCursorClicked(1, 2);
        QCOMPARE(texts.last().at(1).toStringList(), (QStringList{"50mV", "-50mV", "100mV"}));
        // A channel the device does not have: CH1 again.
        osc->slotOscCursorClicked(7, 2);
        QCOMPARE(texts.last().at(1).toStringList(), (QStringList{"25V", "-25V", "50V"}));
        // The panel shows what the view sends.
        auto* panel = static_cast<OscCursor*>(win->oscCursor);
        QCOMPARE(panel->pairs[1]->labDiff->text(), QString("50V"));
        QCOMPARE(panel->pairs[1]->btnChn->text(), QString("CH1"));
    }

    void tagDrags()
    {
        openWindow();
        DevBase* dev = devUsing;
        // The math tag sits on the same zero line: switched off it is out
        // of the way.
        osc->mathPanel->titleBar->sw->click();
        QVERIFY(!osc->tags.last()->isVisible());
        // And channel 2's tag is moved away from channel 1's.
        dev->setAChnOffset(1, -300);
        osc->setAChnVoltSet(1, 13);
        const QPoint tag = at(osc->tags[0]);
        drag(tag, QPoint(tag.x(), onGrid(0, 0).y() - 500));
        QCOMPARE(dev->aChnOffset[0], 500);
        QCOMPARE(osc->tags[0]->y(), double(osc->grid.top - osc->tags[0]->height / 2));
        drag(at(osc->tags[0]), QPoint(tag.x(), onGrid(0, 1).y() + 500));
        QCOMPARE(dev->aChnOffset[0], -500);
        // Into the grid: a quarter from the top is 250.
        drag(at(osc->tags[0]), QPoint(tag.x(), onGrid(0, 0.25).y()));
        QVERIFY(qAbs(dev->aChnOffset[0] - 250) <= 1);
        // The panel shows it.
        QCOMPARE(osc->chnPanels[0]->editOffset->text(),
                 QString::number(dev->aChnOffset[0] / 1000.0 * 10, 'f', 2));
    }

    void tagPressPrefersChannel_data()
    {
        QTest::addColumn<int>("offset2");
        QTest::addColumn<int>("dragged");
        // All three tags on the zero line: channel 2's, drawn last, is on top.
        QTest::newRow("default offsets") << 0 << 1;
        QTest::newRow("channel 2 moved away") << -300 << 0;
    }
    void tagPressPrefersChannel()
    {
        QFETCH(int, offset2);
        QFETCH(int, dragged);
        openWindow();
        DevBase* dev = devUsing;
        QVERIFY(osc->tags.last()->isVisible());
        dev->setAChnOffset(1, offset2);
        osc->setAChnVoltSet(1, 13);
        const QVector<int> offsets = dev->aChnOffset;
        const QVector<int> mathOffsets = dev->aMathOffset;
        const QPoint tag = at(osc->tags[0]);
        QCOMPARE(at(osc->tags.last()), tag);
        drag(tag, QPoint(tag.x(), onGrid(0, 0).y()));
        QCOMPARE(dev->aChnOffset[dragged], 500);
        QCOMPARE(dev->aChnOffset[1 - dragged], offsets[1 - dragged]);
        QCOMPARE(dev->aMathOffset, mathOffsets);
    }

    void triggerDrags()
    {
        openWindow();
        DevBase* dev = devUsing;
        dev->setAVoltDivIndex(0, 5);
        dev->setAChnOffset(0, 0);
        osc->slotOscChnSetChanged(12, 0);
        QCOMPARE(dev->aTrgChn, 0);
        QVERIFY(osc->trgVolts[0]->isVisible());
        QVERIFY(!osc->trgVolts[1]->isVisible());
        // A quarter from the top: a quarter of the screen above the zero line.
        drag(at(osc->trgVolts[0]), onGrid(1.0, 0.25) + QPoint(10, 0));
        QVERIFY2(std::fabs(dev->aTrgVolt[0] - 2500) <= 10, qPrintable(QString::number(dev->aTrgVolt[0])));
        QVERIFY(osc->trgVoltInfors[0]->isVisible());
        // A level past the screen: the marker on the edge, the level kept.
        dev->setATrgVolt(0, 1e6);
        osc->updateATrgSet(0, 13);
        QCOMPARE(osc->trgVolts[0]->y(), double(osc->grid.top - osc->trgVolts[0]->height / 2));
        QCOMPARE(dev->aTrgVolt[0], 1e6);

        // The trigger position follows the main trigger-time marker.
        const QPoint m = at(osc->trgTimes[0]);
        drag(m, QPoint(onGrid(0.8, 0).x(), m.y()));
        QVERIFY(qAbs(dev->aTrgPercent - 800) <= 1);
        QCOMPARE(osc->trgTimes[0]->text, osc->timePanel->setTrgTime());
        drag(at(osc->trgTimes[0]), QPoint(onGrid(1.5, 0).x(), m.y()));
        QCOMPARE(dev->aTrgPercent, 1000);
        // The other source: only its marker is shown.
        osc->trgPanel->source->button(1)->click();
        QCOMPARE(dev->aTrgChn, 1);
        QVERIFY(!osc->trgVolts[0]->isVisible());
        QVERIFY(osc->trgVolts[1]->isVisible());
    }

    void cursorsByKeysAndPointer()
    {
        openWindow();
        win->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(win.get()));
        auto* panel = static_cast<OscCursor*>(win->oscCursor);
        // A hidden pair comes back when its cursor is taken up by key.
        panel->menuPair->actions()[0]->setChecked(false);
        panel->slotMenuClicked(panel->menuPair->actions()[0]);
        QVERIFY(panel->pairs[0]->isHidden());

        QCursor::setPos(vp->mapToGlobal(onGrid(0.3, 0.5)));
        QTest::keyClick(win.get(), Qt::Key_1);
        QCOMPARE(state(0), int(OscCursorFollow));
        QVERIFY(std::fabs(osc->cursors[0]->position - 0.3) <= 0.002);
        QVERIFY(!panel->pairs[0]->isHidden());
        // It follows the pointer; a left click places it.
        move(onGrid(0.6, 0.5));
        QVERIFY(std::fabs(osc->cursors[0]->position - 0.6) <= 0.002);
        const double start0 = win->waveDataGenOsc->start.value(0);
        click(onGrid(0.6, 0.5), Qt::LeftButton);
        QCOMPARE(state(0), int(OscCursorPlaced));
        QCOMPARE(win->waveDataGenOsc->start.value(0), start0);
        QVERIFY(panel->pairs[0]->labValue[0]->text() != "###");
        // Near its line it is hovered; away again placed.
        move(onLine(0) + QPoint(1, 0));
        QCOMPARE(state(0), int(OscCursorHover));
        move(onGrid(0.2, 0.5));
        QCOMPARE(state(0), int(OscCursorPlaced));
        move(onLine(0));
        QCOMPARE(state(0), int(OscCursorHover));
        // Clicked while hovered it follows again; the right button hides it.
        click(onLine(0), Qt::LeftButton);
        QCOMPARE(state(0), int(OscCursorFollow));
        click(onLine(0), Qt::RightButton);
        QCOMPARE(state(0), int(OscCursorHidden));
        QCOMPARE(panel->pairs[0]->labValue[0]->text(), QString("###"));

        // Y1 and then Y2 by key: the one taken up before goes away.
        QTest::keyClick(win.get(), Qt::Key_3);
        QCOMPARE(state(2), int(OscCursorFollow));
        QTest::keyClick(win.get(), Qt::Key_4);
        QCOMPARE(state(2), int(OscCursorHidden));
        QCOMPARE(state(3), int(OscCursorFollow));
        QTest::keyClick(win.get(), Qt::Key_4);
        QCOMPARE(state(3), int(OscCursorHidden));

        // With Shift the partner moves along.
        osc->setAMarkerPosition(0, 0.2);
        osc->setAMarkerState(0, OscCursorPlaced);
        osc->slotOscCursorClicked(1, 1);
        QCOMPARE(state(1), int(OscCursorFollow));
        move(onGrid(0.5, 0.5));
        move(onGrid(0.6, 0.5), Qt::NoButton, Qt::ShiftModifier);
        QVERIFY(std::fabs(osc->cursors[0]->position - 0.3) < 0.0015);

        // The cursor panel's commands: 1 and 0 take up or put away, 5 hides
        // a pair, other codes do nothing.
        osc->slotOscCursorClicked(1, 1);
        QCOMPARE(state(1), int(OscCursorHidden));
        osc->slotOscCursorClicked(0, 0);
        QCOMPARE(state(2), int(OscCursorFollow));
        osc->slotOscCursorClicked(0, 5);
        QCOMPARE(state(0), int(OscCursorHidden));
        QCOMPARE(state(2), int(OscCursorFollow));
        osc->slotOscCursorClicked(1, 5);
        QCOMPARE(state(2), int(OscCursorHidden));
        osc->slotOscCursorClicked(1, 9);
        osc->slotOscCursorClicked(4, 5);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(state(i), int(OscCursorHidden));
    }

    // Every panel change stops a running capture and starts it again once.
    void changesRestartOnce()
    {
        openWindow();
        DevBase* dev = devUsing;
        dev->smpStart(SmpStartRepeat, false);
        QTRY_VERIFY(dev->hasValidData());
        ChnSetOsc* c1 = osc->chnPanels[1];
        const QVector<std::pair<const char*, std::function<void()>>> changes = {
            {"9 switch", [&] { c1->titleBar->sw->click(); }},
            {"9 switch back", [&] { c1->titleBar->sw->click(); }},
            {"10 coupling", [&] { c1->coupling->button(1)->click(); }},
            {"11 probe", [&] { c1->probe->button(1)->click(); }},
            {"12 V/div", [&] { c1->dial->findChild<QPushButton*>("0")->click(); }},
            {"13 offset", [&] {
                 c1->editOffset->setText("1");
                 emit c1->editOffset->editingFinished();
             }},
            {"14 reset", [&] { c1->btnReset->click(); }},
            {"15 time/div", [&] { osc->timePanel->dial->findChild<QPushButton*>("1")->click(); }},
            {"16 trigger time", [&] {
                 osc->timePanel->titleBar->edit->setText("1");
                 emit osc->timePanel->titleBar->edit->editingFinished();
             }},
            {"trigger edge", [&] { osc->trgPanel->edge->button(1)->click(); }},
            {"trigger source", [&] { osc->trgPanel->source->button(1)->click(); }},
        };
        for (const auto& c : changes) {
            const unsigned before = dev->captureGeneration();
            c.second();
            QVERIFY2(dev->captureGeneration() == before + 1, c.first);
            QVERIFY2(dev->smpRunning, c.first);
        }
        dev->smpStopAndWait();
    }

    void calibrationCodes()
    {
        openWindow();
        DevBase* dev = devUsing;
        // Values changed behind the screen's back, as the calibration does.
        dev->aVoltDivIndex[1] = 2;
        dev->aChnOffset[1] = 400;
        dev->aChnOffset[0] = -200;
        QSignalSpy texts(win->mainView, &MainView::oscCursorValueChanged);
        win->mainView->slotCalibSettingChanged(3, 1);
        QCOMPARE(osc->chnPanels[1]->dial->currentIndex(), 2);
        QCOMPARE(texts.size(), 0);   // the voltage cursors measure CH1
        win->mainView->slotCalibSettingChanged(2, -1);
        const int p = 1;
        auto tagY = [&](int c) {
            return double(p * (int((0.5 - dev->aChnOffset[c] / 1000.0) * osc->grid.height) + osc->grid.top)
                          - osc->tags[c]->height / 2);
        };
        QCOMPARE(osc->tags[0]->y(), tagY(0));
        QCOMPARE(osc->tags[1]->y(), tagY(1));
        QCOMPARE(osc->chnPanels[0]->editOffset->text(), QString("-2.00"));
        QCOMPARE(texts.size(), 1);
        // Code 1 takes the offset back from where the tag stands.
        dev->aChnOffset[0] = 0;
        win->mainView->slotCalibSettingChanged(1, 0);
        QVERIFY(qAbs(dev->aChnOffset[0] + 200) <= 1);
        const int back = dev->aChnOffset[0];
        // Codes for no channel, and unknown codes, change nothing.
        win->mainView->slotCalibSettingChanged(3, 5);
        win->mainView->slotCalibSettingChanged(7, 0);
        QCOMPARE(dev->aChnOffset[0], back);
        // Outside the oscilloscope mode the codes reach nothing.
        win->slotDevPreConnect(DevModelSpruce);
        QVERIFY(!win->mainView->oscView);
        win->mainView->slotCalibSettingChanged(2, -1);
        win->mainView->slotOscCursorClicked(0, 1);
    }

    void wheelAndTinyGrid()
    {
        openWindow();
        DevBase* dev = devUsing;
        const int i = dev->aTimeDivIndex;
        QSignalSpy zoom(win->mainView, &MainView::zoomChangedByMouse);
        win->mainView->slotWheelChanged(false, 120, QPoint(10, 10));
        QCOMPARE(dev->aTimeDivIndex, i - 1);
        QCOMPARE(osc->timePanel->dial->currentIndex(), i - 1);
        QCOMPARE(zoom.last(), (QVariantList{1, osc->grid.width / 2}));
        win->mainView->slotWheelChanged(false, -120, QPoint(10, 10));
        QCOMPARE(dev->aTimeDivIndex, i);
        QCOMPARE(zoom.last().at(0).toInt(), 2);

        // A view too small for a grid: the items stay where they were.
        const OscView::Grid g = osc->grid;
        const QPointF tag = osc->tags[0]->pos();
        win->mainView->waveView->setFixedSize(10, 10);
        QCoreApplication::processEvents();
        osc->layout();
        QCOMPARE(osc->grid.width, g.width);
        QCOMPARE(osc->tags[0]->pos(), tag);
        osc->takeUpCursor(1);
        osc->setOscMathChnPosition(50);
    }

    // The demonstration sine: 5.8 periods over the 20480 samples.
    void frequencyOfTheSine()
    {
        openWindow();
        DevBase* dev = devUsing;
        dev->smpStart(SmpStartSingle, false);
        QTRY_VERIFY(!dev->smpRunning && dev->hasValidData());
        auto* measure = static_cast<OscMeasure*>(win->oscMeasure);
        QTRY_VERIFY(measure->blocks.size() == 2 && measure->blocks[0]->values[MeasFrequency]->text() != "###");
        const QString text = measure->blocks[0]->values[MeasFrequency]->text();
        const QStringList units = {"Hz", "KHz", "MHz", "GHz"};
        double hz = 0;
        for (int k = units.size() - 1; k >= 0; --k) {
            if (text.endsWith(units[k])) {
                hz = text.chopped(units[k].size()).toDouble() * std::pow(1000.0, k);
                break;
            }
        }
        const double rate = double(dev->shownDataOsc()->record(0)->smpFrequ);
        const double expect = rate * 5.8 / 20480;
        QVERIFY2(std::fabs(hz - expect) <= 0.01 * expect, qPrintable(text + " " + QString::number(expect)));
        // Measurement rows are listed by default: Vamp, Vavg, Frequency.
        QVERIFY(!measure->blocks[0]->values[MeasVamp]->isHidden());
        QVERIFY(measure->blocks[0]->values[MeasVtop]->isHidden());
    }

    void calibrationWindow()
    {
        // Without the service code there is no Ctrl+J.
        openWindow();
        auto hasCtrlJ = [&] {
            for (QShortcut* s : win->shortcutList())
                if (s->key() == QKeySequence(Qt::CTRL + Qt::Key_J))
                    return true;
            return false;
        };
        QVERIFY(!hasCtrlJ());
        cleanup();
        init();
        Config::saveGlobalParam("extparam", "52m61q70w83");
        openWindow();
        QVERIFY(hasCtrlJ());
        win->setGeometry(0, 0, 800, 400);
        win->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(win.get()));
        QTest::keyClick(win.get(), Qt::Key_J, Qt::ControlModifier);
        QVERIFY(win->calibrate);
        QVERIFY(win->calibrate->isVisible());
        // Centred on the main window across; kept on the screen, which is
        // lower than the window here.
        const QRect calib = win->calibrate->frameGeometry();
        QVERIFY2(qAbs(calib.center().x() - win->frameGeometry().center().x()) <= 4,
                 qPrintable(QString("%1 against %2").arg(calib.center().x()).arg(win->frameGeometry().center().x())));
        QVERIFY(calib.top() >= win->screen()->availableGeometry().top());
        CalibrateOsc* first = win->calibrate;
        first->editLog->setPlainText("old");
        // A device that connects reloads it.
        win->slotDevInitStaShow(6, 0, 0);
        QCOMPARE(first->editLog->toPlainText(), QString());
        win->slotOpenCalibrate();
        QCOMPARE(win->calibrate, first);
        // The window goes first when the main window closes.
        QPointer<CalibrateOsc> gone(first);
        win->close();
        QVERIFY(!gone);
        QVERIFY(!win->calibrate);
    }
};

QTEST_MAIN(TestOscView)
#include "test_oscview.moc"
