// Timing markers and measurement values of the logic view: the marker codes
// exchanged with the ruler and the panels, edge snapping, marker times, pulse
// counts against a per-sample count, and the pulse under the mouse.
#include <QtTest>

#include <QGraphicsScene>
#include <QShortcut>

#include <climits>
#include <memory>
#include <random>

#include "config/Config.h"
#include "data/SmpData.h"
#include "device/DevGlobals.h"
#include "device/DevNone.h"
#include "rightbox/PulseMeasure.h"
#include "support/PulseRows.h"
#include "support/TestEnv.h"
#include "view/ItemChnSidebar.h"
#include "view/MainView.h"
#include "view/MyMainView.h"
#include "view/WaveDataGen.h"

namespace {

constexpr long long Depth = 100000;
constexpr long long Trigger = 40000;

// Channel 0 toggles every 1000 samples; channel 1 has two edges 20 apart;
// channel 2 an edge near each end; channel 3 none; channel 4 is low for 30
// and high for 70 samples of every 100.
void fillCapture(SmpData* s)
{
    QVERIFY(s->dataConvertStart(0, 1000000, QVector<bool>(s->chnNum, true)));
    for (long long p = 1000; p < Depth; p += 1000)
        QVERIFY(s->appendEdge(0, p));
    for (long long p : {50000, 50020})
        QVERIFY(s->appendEdge(1, p));
    for (long long p : {8, 99990})
        QVERIFY(s->appendEdge(2, p));
    for (long long p = 0; p < Depth; p += 100) {
        QVERIFY(s->appendEdge(4, p + 30));
        QVERIFY(s->appendEdge(4, p + 100 < Depth ? p + 100 : Depth - 1));
    }
    s->smpDepth = Depth;
    QVERIFY(s->dataConvertComplete(Depth));
    s->trgPosition = Trigger;
}

struct Code {
    int code, a, b;
    bool operator==(const Code& o) const { return code == o.code && a == o.a && b == o.b; }
};

} // namespace

class TestMarkers : public QObject
{
    Q_OBJECT

    std::unique_ptr<DevNone> dev;
    void setEna(int chn, bool on)
    {
        QVector<bool> e = dev->chnEna;
        e[chn] = on;
        QVERIFY(dev->setDChnEna(e));
    }
    std::unique_ptr<WaveDataGen> gen;
    std::unique_ptr<MainView> view;
    QList<Code> body;                    // timeMarkBodyChanged
    QList<QStringList> pair;             // timMarkPairChanged: code, id, value, total
    QList<QPair<int, QStringList>> pairCounts;
    QList<QStringList> allCounts;
    QList<QStringList> measures;

    int px(int n) const { return Config::pixel(n); }
    void clearLogs()
    {
        body.clear();
        pair.clear();
        pairCounts.clear();
        allCounts.clear();
        measures.clear();
    }
    // Shows samples [from, from + 1000) at one sample per pixel.
    void showAt(double from)
    {
        gen->zoomFixed(1);
        gen->moveTo(from);
        QTRY_VERIFY(gen->isIdle());
        QCOMPARE(gen->start, from);
        QCOMPARE(gen->scale, 1.0);
    }
    QPoint onRow(int chn, int x) const { return QPoint(x, view->chnSidebars[chn]->geometry().center().y()); }
    // Places marker id at sample p in the given state, through the view at
    // one sample per pixel.
    void place(int id, int state, long long p)
    {
        const long long from = std::max(0LL, p - 500);
        showAt(double(from));
        const int i = view->getCursorBodySub(id);
        view->setLogTimeMarkerSmpPoint(i, state, int(p - from));
        QCOMPARE(view->timingMarkers[i]->position, p);
    }

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        Config::init();
        Config::setDefaultDocument();
        Config::initShadowConfig();
        Config::disAnimate = true;
        Config::dpi = 96;
        dev.reset(new DevNone);
        devUsing = dev.get();
        gen.reset(new WaveDataGen);
        connect(gen.get(), &WaveDataGen::sigViewRefresh, this, [this] { gen->frameConsumed = true; });
        gen->devModelChanged();
        view.reset(new MainView(gen.get(), nullptr, nullptr));
        view->resize(px(194) + 1000, 700);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        view->init();
        QTRY_COMPARE(gen->width, 1000);
        connect(view.get(), &MainView::timeMarkBodyChanged, this,
                [this](int c, int a, int b) { body.append({c, a, b}); });
        connect(view.get(), &MainView::timMarkPairChanged, this, [this](int c, int id, QString v, QString t) {
            pair.append({QString::number(c), QString::number(id), v, t});
        });
        connect(view.get(), &MainView::pulseMeasureChangedbyTimeMarker, this,
                [this](int p, QStringList l) { pairCounts.append({p, l}); });
        connect(view.get(), &MainView::pulseMeasureChangedbySmpDone, this,
                [this](QStringList l) { allCounts.append(l); });
        connect(view.get(), &MainView::mouseMeasureChanged, this, [this](QStringList l) { measures.append(l); });
    }

    void cleanupTestCase()
    {
        view.reset();
        gen.reset();
        devUsing = nullptr;
        dev.reset();
    }

    void init()
    {
        while (!view->timingMarkers.isEmpty())
            view->removeMarkerPair(0);
        fillCapture(dev->shownData());
        dev->setDChnEna(QVector<bool>(dev->chnNum(), true));
        view->setSmpDataReady();
        gen->zoomAll();
        QTRY_VERIFY(gen->isIdle());
        clearLogs();
    }

    // ------------------------------------------------------------------ texts
    void timeText_data()
    {
        QTest::addColumn<long long>("ps");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0LL << "0ps";
        QTest::newRow("999") << 999LL << "999ps";
        QTest::newRow("1000") << 1000LL << "1ns";
        QTest::newRow("-1500") << -1500LL << "-1.5ns";
        QTest::newRow("1234567") << 1234567LL << "1.234567us";
        QTest::newRow("10^15 stays in s") << 1000000000000000LL << "1000s";
        QTest::newRow("19 digits all kept") << 1234567890123456789LL << "1234567.890123456789s";
        QTest::newRow("most negative") << LLONG_MIN << "-9223372.036854775808s";
    }
    void timeText()
    {
        QFETCH(long long, ps);
        QFETCH(QString, text);
        QCOMPARE(view->timeDataToString(ps), text);
    }

    void samplesToPs_data()
    {
        QTest::addColumn<long long>("samples");
        QTest::addColumn<long long>("rate");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<long long>("ps");
        QTest::newRow("one sample at 1 MHz") << 1LL << 1000000LL << true << 1000000LL;
        QTest::newRow("truncated toward 0") << -1LL << 3LL << true << -333333333333LL;
        // 10^12 x 10^7 passes 64 bits; the result does not.
        QTest::newRow("past 9.2 M samples") << 10000000LL << 1000000LL << true << 10000000000000LL;
        QTest::newRow("result past 64 bits") << (1LL << 40) << 1LL << false << 0LL;
        QTest::newRow("rate 0") << 5LL << 0LL << false << 0LL;
        QTest::newRow("negative rate") << 5LL << -1LL << false << 0LL;
    }
    void samplesToPs()
    {
        QFETCH(long long, samples);
        QFETCH(long long, rate);
        QFETCH(bool, ok);
        QFETCH(long long, ps);
        long long got = 0;
        QCOMPARE(MainView::samplesToPs(samples, rate, &got), ok);
        if (ok)
            QCOMPARE(got, ps);
    }

    void markerTexts()
    {
        showAt(39000);
        place(0, 8, 39500);   // 500 samples before the trigger at 1 MHz
        QCOMPARE(pair.last(), (QStringList{"23", "0", "-500us", "###"}));
        place(1, 8, 40250);
        QCOMPARE(pair.last(), (QStringList{"23", "1", "250us", "750us"}));
        // Hidden: both texts go back to ###.
        view->setLogTimeMarkerStateType(view->getCursorBodySub(1), 5);
        QCOMPARE(pair.last(), (QStringList{"23", "1", "###", "###"}));
        // A rate of 0 gives no time at all.
        dev->shownData()->smpFrequ = 0;
        view->setLogTimeMarkerValue(view->getCursorBodySub(0), 8);
        QCOMPARE(pair.last(), (QStringList{"23", "0", "###", "###"}));
    }

    // ------------------------------------------------------------------ pulse counts
    void pulseCountsAgainstSamples()
    {
        std::mt19937_64 rng(5);
        for (int round = 0; round < 60; ++round) {
            SmpData s(1);
            const long long depth = 200 + (long long)(rng() % 400);
            const int init = int(rng() & 1);
            QVERIFY(s.dataConvertStart(0, 1000, {true}));
            s.setInitLevel(0, init);
            QVector<long long> edges;
            for (long long p = 1 + (long long)(rng() % 5); p < depth && round % 10 != 0; p += 1 + (long long)(rng() % 9))
                edges.append(p);   // every tenth capture has no edge
            for (long long e : edges)
                QVERIFY(s.appendEdge(0, e));
            s.smpDepth = depth;
            QVERIFY(s.dataConvertComplete(depth));
            QVector<int> level(int(depth) + 1);
            for (long long p = 0, k = 0; p <= depth; ++p) {
                while (k < edges.size() && edges[int(k)] <= p)
                    ++k;
                level[int(p)] = int((init + k) & 1);
            }
            QVector<QPair<long long, long long>> ranges{{0, depth}, {depth / 3, depth / 3}, {depth / 2, depth + 1}};
            if (!edges.isEmpty()) {
                const long long e = edges[int(rng() % edges.size())];
                ranges.append({e, depth});   // a on an edge
                ranges.append({e, e});
            }
            for (int k = 0; k < 6; ++k) {
                long long a = (long long)(rng() % (depth + 1)), b = (long long)(rng() % (depth + 1));
                ranges.append({std::min(a, b), std::max(a, b)});
            }
            for (const auto& r : ranges) {
                const QString ctx = QString("round %1 [%2, %3]").arg(round).arg(r.first).arg(r.second);
                QVERIFY2(MainView::pulseCountText(&s, 0, r.first, r.second) == pulseCountsBySamples(level, r.first, r.second),
                         qPrintable(ctx + " " + MainView::pulseCountText(&s, 0, r.first, r.second) + " vs "
                                    + pulseCountsBySamples(level, r.first, r.second)));
            }
        }
        // A rising edge right at a with the level high opens the first pulse.
        SmpData s(1);
        QVERIFY(s.dataConvertStart(0, 1000, {true}));
        for (long long e : {10, 20, 30, 40})
            QVERIFY(s.appendEdge(0, e));
        s.smpDepth = 100;
        QVERIFY(s.dataConvertComplete(100));
        QCOMPARE(MainView::pulseCountText(&s, 0, 10, 100), QString(",2,2,2,1"));
        QCOMPARE(MainView::pulseCountText(&s, 0, 11, 100), QString(",1,2,1,1"));
        QCOMPARE(MainView::pulseCountText(nullptr, 0, 0, 1), QString(",###,###,###,###"));
        QCOMPARE(MainView::pulseCountText(&s, 3, 0, 1), QString(",###,###,###,###"));   // no such channel
    }

    void pulseCountsOfPair()
    {
        showAt(1500);
        place(2, 8, 1500);
        place(3, 8, 2500);
        // Counter rows over pair B (chosen while its markers show).
        PulseMeasure counters;
        counters.init();
        for (int chn : {0, 5, 3, 0})
            addPulseRow(counters, 0, chn, 2);
        setEna(5, false);
        const int b2 = view->getCursorBodySub(3);
        view->setLogTimeMarkerStateType(b2, 5);
        // B2 hidden: every channel ###.
        QCOMPARE(pairCounts.last(), qMakePair(1, QStringList{"0,###,###,###,###", "3,###,###,###,###"}));
        view->setLogTimeMarkerStateType(b2, 8);
        // The disabled channel is left out, the repeated one counted once.
        QCOMPARE(pairCounts.last(), qMakePair(1, QStringList{"0,0,1,0,0", "3,0,0,0,0"}));
    }

    void pulseCountsOfWishes()
    {
        showAt(1000);
        place(0, 8, 1200);
        place(1, 8, 1000);   // the range runs from the smaller position
        PulseMeasure counters;
        counters.init();
        addPulseRow(counters, 0, 0, 0);
        addPulseRow(counters, 1, 4, 1);
        addPulseRow(counters, 2, 0, 0);
        view->slotPulseMeasureInfoChanged();
        QCOMPARE(allCounts.last(), (QStringList{"0,0,50,49,49,49", "4,1,2,3,2,2"}));
        // Pair A gone: its wish drops out.
        view->slotTimingMarkerClicked(0, 20);
        view->slotPulseMeasureInfoChanged();
        QCOMPARE(allCounts.last(), (QStringList{"0,0,50,49,49,49"}));
        // No capture: an empty list.
        dev->shownData()->clearData();
        view->slotPulseMeasureInfoChanged();
        QCOMPARE(allCounts.last(), QStringList());
    }

    // ------------------------------------------------------------------ marker codes
    void keyWithoutCapture()
    {
        dev->shownData()->clearData();
        view->timeMarkerKey(1);
        QCOMPARE(pair, (QList<QStringList>{{"22", "0", "", ""}}));
        QCOMPARE(body, (QList<Code>{{26, 0, 5}, {26, 1, 5}}));
        QCOMPARE(view->timingMarkers.size(), 2);
    }

    void keyTwice()
    {
        view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(view.get()));
        QCursor::setPos(view->waveView->mapToGlobal(QPoint(300, 100)));
        QTest::keyClick(view.get(), Qt::Key_1);   // A1 follows the pointer
        const int i = view->getCursorBodySub(0);
        QCOMPARE(view->timingMarkers[i]->state, 6);
        QCOMPARE(view->timingMarkers[i]->position, (long long)(300 * gen->scale + gen->start + 0.5));
        QTest::keyClick(view.get(), Qt::Key_2);   // A2 takes over, A1 goes away
        QCOMPARE(view->timingMarkers[i]->state, 5);
        QCOMPARE(view->timingMarkers[i + 1]->state, 6);
        QTest::keyClick(view.get(), Qt::Key_2);   // and its own key puts it away
        QCOMPARE(view->timingMarkers[i + 1]->state, 5);
        QCOMPARE(view->getCursorBodyIndex(6), -1);
        // "0" is E2.
        QTest::keyClick(view.get(), Qt::Key_0);
        QCOMPARE(view->timingMarkers[view->getCursorBodyIndex(6)]->id, 9);
    }

    void locate()
    {
        place(0, 8, 30000);
        const int i = view->getCursorBodySub(0);
        view->setLogTimeMarkerStateType(i + 1, 7);   // hovered: not shown for locating
        view->slotTimingMarkerClicked(1, 19);        // any id of the pair
        QTRY_VERIFY(gen->isIdle());
        QCOMPARE(gen->start + gen->width * gen->scale * 0.5, 30000.0);
        view->setLogTimeMarkerStateType(i + 1, 8);
        view->timingMarkers[i + 1]->position = 50000;
        view->slotTimingMarkerClicked(0, 19);
        QTRY_VERIFY(gen->isIdle());
        // The span between them fills half the view.
        QCOMPARE(gen->scale, 20001.0 / (gen->width / 2));
        QCOMPARE(gen->start, 30000 - gen->scale * (gen->width / 2) * 0.5);
    }

    void removePair()
    {
        place(0, 8, 100);
        place(3, 8, 200);   // pair B
        place(2, 8, 300);
        PulseMeasure counters;
        counters.init();
        addPulseRow(counters, 0, 0, 2);
        clearLogs();
        view->slotTimingMarkerClicked(3, 20);   // an odd id names its pair
        QCOMPARE(body, (QList<Code>{{28, 2, -1}}));
        QCOMPARE(pairCounts, (QList<QPair<int, QStringList>>{{1, {"0,###,###,###,###"}}}));
        QCOMPARE(view->timingMarkers.size(), 2);
        QCOMPARE(view->timingMarkers[0]->id, 0);
        QCOMPARE(view->timingMarkers[1]->id, 1);
        // A pair that does not exist is not created to be removed.
        clearLogs();
        view->slotTimingMarkerClicked(4, 20);
        QVERIFY(body.isEmpty() && pair.isEmpty());
        QCOMPARE(view->timingMarkers.size(), 2);
    }

    void codesWithoutData_data()
    {
        QTest::addColumn<int>("how");   // 0 no samples, 1 rate 0, 2 scale 0
        QTest::newRow("no samples") << 0;
        QTest::newRow("rate 0") << 1;
        QTest::newRow("scale 0") << 2;
    }
    void codesWithoutData()
    {
        QFETCH(int, how);
        if (how == 0)
            dev->shownData()->clearData();
        else if (how == 1)
            dev->shownData()->smpFrequ = 0;
        else
            gen->scale = 0;
        view->slotTimingMarkerClicked(3, 21);
        QVERIFY(body.isEmpty() && pair.isEmpty());
        QVERIFY(view->timingMarkers.isEmpty());
        view->slotTimingMarkerClicked(3, 22);
        QCOMPARE(pair, (QList<QStringList>{{"22", "2", "", ""}, {"23", "2", "###", "###"}, {"23", "3", "###", "###"}}));
        QCOMPARE(body, (QList<Code>{{26, 2, 5}, {26, 3, 5}}));   // placed nowhere
        if (how == 2)
            gen->zoomAll();
    }

    void createAndPickUp()
    {
        view->slotTimingMarkerClicked(5, 22);
        QCOMPARE(pair.first(), (QStringList{"22", "4", "", ""}));
        const int i = view->getCursorBodySub(4);
        const long long at = (long long)(((4 * view->waveView->width()) / 5) * gen->scale + gen->start + 0.5);
        QCOMPARE(view->timingMarkers[i]->position, at);
        QCOMPARE(view->timingMarkers[i + 1]->position, at);
        QCOMPARE(view->timingMarkers[i]->state, 5);
        // Pick C2 up: it starts near the right edge.
        view->slotTimingMarkerClicked(5, 21);
        QCOMPARE(view->timingMarkers[i + 1]->state, 6);
        QCOMPARE(view->timingMarkers[i + 1]->position,
                 (long long)((view->waveView->width() - px(20)) * gen->scale + gen->start + 0.5));
        // The same marker again puts it away; another one takes over.
        view->slotTimingMarkerClicked(5, 21);
        QCOMPARE(view->timingMarkers[i + 1]->state, 5);
        view->slotTimingMarkerClicked(5, 21);
        view->slotTimingMarkerClicked(4, 21);
        QCOMPARE(view->timingMarkers[i + 1]->state, 5);
        QCOMPARE(view->timingMarkers[i]->state, 6);
    }

    void idsOutOfRange()
    {
        for (int id : {-1, 52, 1000}) {
            for (int code : {19, 20, 21, 22, 23})
                view->slotTimingMarkerClicked(id, code);
            QCOMPARE(view->getCursorBodySub(id), -1);
        }
        QVERIFY(body.isEmpty() && pair.isEmpty());
        QVERIFY(view->timingMarkers.isEmpty());
        view->setLogTimeMarkerPulseMeasures(52);
        QVERIFY(pairCounts.isEmpty());
    }

    void newCaptureHidesMarkers()
    {
        place(0, 8, 100);
        place(1, 6, 200);
        place(7, 8, 300);
        clearLogs();
        view->setSmpDataReady();
        for (const CursorBody* c : view->timingMarkers) {
            QCOMPARE(c->state, 5);
            QVERIFY(!c->isVisible());
        }
        QCOMPARE(body, (QList<Code>{{26, 0, 5}, {26, 1, 5}, {26, 7, 5}}));
        QCOMPARE(pair.size(), 3);
        for (const QStringList& p : pair)
            QCOMPARE(p.mid(2), (QStringList{"###", "###"}));
    }

    void markerLists()
    {
        place(0, 8, 500);
        place(1, 8, 100);
        place(2, 8, 700);   // B1 alone
        place(51, 8, 900);
        place(50, 6, 800);
        QStringList names;
        QVector<long long> pos;
        MainView::timeMarkersList(&names, &pos);
        QCOMPARE(names, (QStringList{"A1 - A2", "Z1 - Z2"}));
        QCOMPARE(pos, (QVector<long long>{500, 100, 800, 900}));   // marker order, not time order
        bool shown[30];
        std::fill(shown, shown + 30, true);
        MainView::getTimeMarkersShow(shown, 30);
        for (int k = 0; k < 30; ++k)
            QCOMPARE(shown[k], k == 0 || k == 25);
    }

    // ------------------------------------------------------------------ snapping
    void snapping_data()
    {
        QTest::addColumn<int>("chn");
        QTest::addColumn<double>("from");
        QTest::addColumn<int>("x");
        QTest::addColumn<long long>("sample");
        QTest::newRow("within pixel(10)") << 0 << 500.0 << 490 << 1000LL;
        QTest::newRow("pixel(11) away") << 0 << 500.0 << 489 << 989LL;
        QTest::newRow("after the edge") << 0 << 500.0 << 510 << 1000LL;
        QTest::newRow("tie takes the later") << 1 << 49500.0 << 510 << 50020LL;
        QTest::newRow("nearer the earlier") << 1 << 49500.0 << 509 << 50000LL;
        QTest::newRow("missing earlier counts as 0") << 2 << 0.0 << 3 << 0LL;
        QTest::newRow("nearer the first edge") << 2 << 0.0 << 5 << 8LL;
        QTest::newRow("the end is no edge") << 2 << 99000.0 << 998 << 99990LL;
        QTest::newRow("no edge at all") << 3 << 500.0 << 7 << 507LL;
        QTest::newRow("no channel") << -1 << 500.0 << 490 << 990LL;
    }
    void snapping()
    {
        QFETCH(int, chn);
        QFETCH(double, from);
        QFETCH(int, x);
        QFETCH(long long, sample);
        showAt(from);
        long long got = -1;
        int gotPx = -1;
        QCOMPARE(view->getCursorBodyCoordinateX(x, chn, &got, &gotPx), 0);
        QCOMPARE(got, sample);
        QCOMPARE(gotPx, int(sample - from));
    }

    void followingMarkerSnaps()
    {
        showAt(500);
        view->timeMarkerKey(1);
        const int i = view->getCursorBodyIndex(6);
        QVERIFY(i >= 0);
        QMouseEvent move(QEvent::MouseMove, QPointF(onRow(0, 492)), QPointF(onRow(0, 492)), QPointF(), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        view->slotMouseMoved(&move);
        QCOMPARE(view->timingMarkers[i]->position, 1000LL);
        QCOMPARE(body.last(), (Code{27, i, 500}));
    }

    // ------------------------------------------------------------------ mouse measurement
    void measurement_data()
    {
        QTest::addColumn<int>("chn");
        QTest::addColumn<double>("from");
        QTest::addColumn<int>("x");
        QTest::addColumn<QStringList>("texts");
        const QStringList duty70{"70us", "100us", "70%", "10KHz"};
        QTest::newRow("high part") << 4 << 50000.0 << 50 << duty70;
        QTest::newRow("low part") << 4 << 50000.0 << 110 << QStringList{"30us", "100us", "70%", "10KHz"};
        QTest::newRow("another period") << 4 << 70000.0 << 475 << duty70;
        QTest::newRow("before the first edge") << 4 << 0.0 << 10 << QStringList{"30us", "100us", "70%", "10KHz"};
        QTest::newRow("no following edge") << 2 << 99000.0 << 995 << QStringList{"10us", "###", "###", "###"};
        QTest::newRow("the end as next") << 2 << 99000.0 << 500 << QStringList{"99.982ms", "###", "###", "###"};
        QTest::newRow("period of 2 ms") << 0 << 2000.0 << 300 << QStringList{"1ms", "2ms", "50%", "500Hz"};
    }
    void measurement()
    {
        QFETCH(int, chn);
        QFETCH(double, from);
        QFETCH(int, x);
        QFETCH(QStringList, texts);
        showAt(from);
        clearLogs();
        view->updatePeriodMark(onRow(chn, x));
        QCOMPARE(measures.last(), texts);
        QVERIFY(view->periodArrow->isVisible());
        QCOMPARE(view->periodArrow->y(), double(view->chnSidebars[chn]->geometry().y() + 2 * px(1)));
    }

    void measurementArrow()
    {
        showAt(50000);
        view->updatePeriodMark(onRow(4, 50));   // high from 50030 to 50100, low to 50130
        const double* e = view->periodArrow->edges;
        QCOMPARE(e[0], 32.0);
        QCOMPARE(e[1], 98.0);
        QCOMPARE(e[2], 103.0);
        QCOMPARE(e[3], 128.0);
        QCOMPARE(view->periodArrow->width, view->waveView->width());
        // Off the rows, and without a capture: hidden, and every text ###.
        view->updatePeriodMark(QPoint(50, view->height() + 1));
        QVERIFY(!view->periodArrow->isVisible());
        QCOMPARE(measures.last(), (QStringList{"###", "###", "###", "###"}));
        dev->shownData()->clearData();
        view->updatePeriodMark(onRow(4, 50));
        QVERIFY(!view->periodArrow->isVisible());
        QCOMPARE(measures.last(), (QStringList{"###", "###", "###", "###"}));
    }
};

QTEST_MAIN(TestMarkers)
#include "test_markers.moc"
