// The measurement panels of the main window on a demonstration capture:
// the pulse under the pointer, two timing-marker pairs placed with the
// mouse, counters over the whole capture and over a pair checked against a
// count over the expanded samples, the marker keys, a new capture, a
// settings merge and a device change.
#include <QtTest>

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include "app/mainwindow.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "data/SmpData.h"
#include "decode/RightBoxView.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "rightbox/MouseMeasure.h"
#include "rightbox/PulseMeasure.h"
#include "rightbox/TimingMarker.h"
#include "support/PulseRows.h"
#include "support/TestEnv.h"
#include "view/ItemChnSidebar.h"
#include "view/MainView.h"
#include "view/MyMainView.h"
#include "view/TimeView.h"
#include "view/WaveDataGen.h"

class TestMeasureRoad : public QObject
{
    Q_OBJECT

    QStringList boxes;

    // Waits for a whole single capture of the current device.
    void capture(MainWindow& w)
    {
        bool done = false;
        QMetaObject::Connection c = connect(devUsing, &DevBase::sigSmpDataReady, this, [&](int decode) {
            if (decode != 0)
                done = true;
        });
        QTest::keyClick(&w, Qt::Key_F5);
        QTRY_VERIFY_WITH_TIMEOUT(done, 20000);
        disconnect(c);
        devUsing->smpStopAndWait();
        QTRY_VERIFY(w.waveDataGen->isIdle());
        QVERIFY(devUsing->hasValidData());
    }
    // One sample per pixel from sample `from` on.
    void showAt(MainWindow& w, double from)
    {
        w.waveDataGen->zoomFixed(1);
        w.waveDataGen->moveTo(from);
        QTRY_VERIFY(w.waveDataGen->isIdle());
        QCOMPARE(w.waveDataGen->scale, 1.0);
        QCOMPARE(w.waveDataGen->start, from);
    }
    QPoint onRow(MainWindow& w, int chn, long long sample) const
    {
        const int x = int(sample - (long long)w.waveDataGen->start) * Config::pixel(1);
        return QPoint(x, w.mainView->chnSidebars[chn]->geometry().center().y());
    }
    // The pointer moves over the waves, then a click without moving.
    void moveAndClick(MainWindow& w, const QPoint& at)
    {
        QMouseEvent move(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        w.mainView->slotMouseMoved(&move);
        QMouseEvent press(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        w.mainView->slotMousePressed(&press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        w.mainView->slotMouseReleased(&release);
    }
    QString timeText(MainWindow& w, long long samples) const
    {
        long long ps = 0;
        if (!MainView::samplesToPs(samples, devUsing->shownData()->smpFrequ, &ps))
            return "no time";
        return w.mainView->timeDataToString(ps);
    }
    // The count a row of this type shows for [a, b] by the per-sample definition.
    static QString expected(const QVector<int>& level, int type, long long a, long long b)
    {
        return pulseCountsBySamples(level, std::min(a, b), std::max(a, b)).split(',').value(type + 1);
    }

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        Config::init();
        Config::saveGlobalParam("userLang", "en-US");
        Lang::init();
        Config::createFont();
        Config::dpi = 96;
        Config::disAnimate = true;
        Config::saveGlobalParam("lgcMeasure", "");
        devUsing = DevBase::createDevice(DevModelDemo);
        MainWindow::criticalBox = [this](QWidget*, const QString& title, const QString& text) {
            boxes << title + ": " + text;
        };
    }

    void cleanupTestCase()
    {
        MainWindow::criticalBox = nullptr;
        delete devUsing;
        devUsing = nullptr;
    }

    void road()
    {
        MainWindow w;
        w.resize(1400, 900);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));

        auto* mouse = w.findChild<MouseMeasure*>("MouseMeasure");
        auto* counters = w.findChild<PulseMeasure*>("PulseMeasure");
        auto* markers = w.findChild<TimingMarker*>("TimingMarker");
        QVERIFY(mouse && counters && markers);
        QCOMPARE(static_cast<QWidget*>(mouse), w.mouseMeasure);
        QVERIFY(mouse->isVisible() && counters->isVisible() && markers->isVisible());
        QCOMPARE(counters->menuButtons(PulseMeasure::ColChn).size(), 16);

        QVERIFY(devUsing->setSmpFrequ(8));   // 1 MHz
        QVERIFY(devUsing->setSmpDepth(0));   // 20 k samples
        capture(w);
        const SmpData* s = devUsing->shownData();
        QCOMPARE(s->smpDepth, 20000LL);
        // Eight edges of one channel that fit in the view at one sample per
        // pixel, far enough apart to snap onto each (a pointer one pixel late
        // is nearer its edge than the next).
        const int viewWidth = w.mainView->waveView->width() / Config::pixel(1);
        int chn = -1;
        QVector<long long> edges;
        for (int c = 0; c < devUsing->chnNum() && chn < 0; ++c) {
            QVector<long long> all;
            for (long long p = s->getNextEdgePoint(c, 0); p > 0 && p < s->smpDepth && all.size() < 400;
                 p = s->getNextEdgePoint(c, p))
                all << p;
            for (int i = 0; i + 8 <= all.size() && chn < 0; ++i) {
                bool fits = all[i + 7] - all[i] < viewWidth - 40;
                for (int k = i + 1; fits && k < i + 8; ++k)
                    fits = all[k] - all[k - 1] >= 3;
                if (fits) {
                    chn = c;
                    edges = all.mid(i, 8);
                }
            }
        }
        QVERIFY2(chn >= 0, "no channel with eight edges close together and apart");
        const QVector<int> level = channelLevels(s, chn);
        showAt(w, double(std::max(0LL, edges[0] - 20)));

        // The pulse under the pointer, as the view measured it.
        QSignalSpy measured(w.mainView, &MainView::mouseMeasureChanged);
        const QPoint mid = onRow(w, chn, (edges[1] + edges[2]) / 2);
        QMouseEvent hover(QEvent::MouseMove, mid, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        w.mainView->slotMouseMoved(&hover);
        QVERIFY(!measured.isEmpty());
        const QStringList texts = measured.last().at(0).toStringList();
        QCOMPARE(texts.size(), 4);
        QCOMPARE(texts[0], timeText(w, edges[2] - edges[1]));   // the width of that pulse
        for (int i = 0; i < 4; ++i) {
            QVERIFY(texts[i] != "###");
            QCOMPARE(mouse->valueLabel(i)->text(), texts[i]);
        }

        // Two pairs from the add button: the view creates their markers, hidden.
        QPushButton* addPair = markers->titleBar->findChild<QPushButton*>("btnSet");
        addPair->click();
        addPair->click();
        QCOMPARE(markers->pairs().size(), 2);
        QCOMPARE(w.mainView->timingMarkers.size(), 4);
        QCOMPARE(w.timeView->handles.size(), 4);
        for (const CursorBody* c : w.mainView->timingMarkers)
            QCOMPARE(c->state, 5);
        TimingMarkerPair* a = markers->pairs()[0];
        QCOMPARE(a->totalText(), QString("###"));

        // A1 and A2 placed with the mouse around known pulses, on the edges.
        a->markerButton(0)->click();
        QCOMPARE(w.mainView->timingMarkers[0]->state, 6);
        moveAndClick(w, onRow(w, chn, edges[1]));
        a->markerButton(1)->click();
        moveAndClick(w, onRow(w, chn, edges[5]) + QPoint(Config::pixel(1), 0));   // snaps back onto the edge
        QCOMPARE(w.mainView->timingMarkers[0]->state, 8);
        QCOMPARE(w.mainView->timingMarkers[1]->state, 8);
        QCOMPARE(w.mainView->timingMarkers[0]->position, edges[1]);
        QCOMPARE(w.mainView->timingMarkers[1]->position, edges[5]);
        QCOMPARE(a->valueText(0), timeText(w, edges[1] - s->trgPosition));
        QCOMPARE(a->valueText(1), timeText(w, edges[5] - s->trgPosition));
        QCOMPARE(a->totalText(), timeText(w, edges[5] - edges[1]));

        // Counters over the whole capture and over A1-A2.
        const int all = addPulseRow(*counters, 0, chn, 0);
        const int overA = addPulseRow(*counters, 2, chn, 1);
        const int fallsA = addPulseRow(*counters, 1, chn, 1);
        QCOMPARE(counters->rowValue(all), expected(level, 0, 0, s->smpDepth));
        QCOMPARE(counters->rowValue(overA), expected(level, 2, edges[1], edges[5]));
        QCOMPARE(counters->rowValue(fallsA), expected(level, 1, edges[1], edges[5]));
        QCOMPARE(counters->rowValue(overA), QString("2"));   // A1 on an edge opens the first pulse

        // A moved marker: the pair's counters and texts follow.
        a->markerButton(1)->click();
        QCOMPARE(w.mainView->timingMarkers[1]->state, 6);
        moveAndClick(w, onRow(w, chn, edges[7]));
        QCOMPARE(w.mainView->timingMarkers[1]->position, edges[7]);
        QCOMPARE(a->totalText(), timeText(w, edges[7] - edges[1]));
        QCOMPARE(counters->rowValue(overA), expected(level, 2, edges[1], edges[7]));
        QCOMPARE(counters->rowValue(fallsA), expected(level, 1, edges[1], edges[7]));
        // Locate brings both into view.
        a->locationButton()->click();
        QTRY_VERIFY(w.waveDataGen->isIdle());
        QVERIFY(w.waveDataGen->start <= edges[1]);
        QVERIFY(w.waveDataGen->start + w.waveDataGen->width * w.waveDataGen->scale >= edges[7]);

        // Removing pair B in the panel removes its markers in the view.
        markers->pairs()[1]->removeButton()->click();
        QCOMPARE(markers->pairs().size(), 1);
        QCOMPARE(w.mainView->timingMarkers.size(), 2);
        QTRY_COMPARE(w.timeView->handles.size(), 2);

        // The key "5" (marker C1) makes the view report pair C: a row appears.
        QTest::keyClick(&w, Qt::Key_5);
        QCOMPARE(markers->pairs().size(), 2);
        QCOMPARE(markers->pairs()[1]->pairId(), 2);
        QMouseEvent rightPress(QEvent::MouseButtonPress, mid, Qt::RightButton, Qt::RightButton, Qt::NoModifier);
        w.mainView->slotMousePressed(&rightPress);
        QMouseEvent rightRelease(QEvent::MouseButtonRelease, mid, Qt::RightButton, Qt::NoButton, Qt::NoModifier);
        w.mainView->slotMouseReleased(&rightRelease);   // puts C1 away

        // A new capture: the counters over it follow, the markers hide.
        capture(w);
        const QVector<int> level2 = channelLevels(devUsing->shownData(), chn);
        QTRY_COMPARE(counters->rowValue(all), expected(level2, 0, 0, devUsing->shownData()->smpDepth));
        QCOMPARE(counters->rowValue(overA), QString("###"));
        QCOMPARE(a->valueText(0), QString("###"));
        QCOMPARE(a->totalText(), QString("###"));

        // A channel switched off: its counters go blank with the recount.
        QVector<bool> ena = devUsing->chnEna;
        ena[chn] = false;
        QVERIFY(devUsing->setDChnEna(ena));
        QCOMPARE(counters->rowValue(all), QString("###"));
        ena[chn] = true;
        QVERIFY(devUsing->setDChnEna(ena));
        QCOMPARE(counters->rowValue(all), expected(level2, 0, 0, devUsing->shownData()->smpDepth));

        // A settings merge re-reads the measurement rows and sets the
        // right-hand column up again: no pair row, no marker.
        Config::saveGlobalParam("lgcMeasure", "1,1,0,1");
        w.slotReplaceConfig();
        QVERIFY(!mouse->nameLabel(2)->isVisible());
        QVERIFY(mouse->nameLabel(3)->isVisible());
        QVERIFY(markers->pairs().isEmpty());
        QVERIFY(w.mainView->timingMarkers.isEmpty());
        QCOMPARE(counters->rowCount(), 3);

        // A device change: the panel and the view hold no pair, the ruler no
        // handle; the counter rows stay, blank, the channel menu follows.
        addPair->click();
        QCOMPARE(w.mainView->timingMarkers.size(), 2);
        w.slotDevPreConnect(DevModelRowan);
        QVERIFY(markers->pairs().isEmpty());
        QVERIFY(w.mainView->timingMarkers.isEmpty());
        QVERIFY(w.timeView->handles.isEmpty());
        QCOMPARE(counters->rowCount(), 3);
        for (int r = 0; r < 3; ++r)
            QCOMPARE(counters->rowValue(r), QString("###"));
        QCOMPARE(counters->menuButtons(PulseMeasure::ColChn).size(), 32);
        QVERIFY(boxes.isEmpty());
        Config::saveGlobalParam("lgcMeasure", "");
    }

    void cleanup()
    {
        if (devUsing && devUsing->devModel != DevModelDemo) {
            delete devUsing;
            devUsing = DevBase::createDevice(DevModelDemo);
        }
    }
};

QTEST_MAIN(TestMeasureRoad)
#include "test_measure_road.moc"
