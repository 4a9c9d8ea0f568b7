#include <QtTest>

#include <cmath>
#include <memory>

#include "config/Config.h"
#include "data/SmpData.h"
#include "device/DevGlobals.h"
#include "device/DevNone.h"
#include "RefuseThreads.h"
#include "support/TestEnv.h"
#include "view/WaveDataGen.h"

// Capture used by most cases: 100000 samples, trigger at 40000; channel 0
// toggles every 1000 samples (first edge 1000, last 99000); channel 1 holds
// no edge at all.
constexpr long long Count = 100000;
constexpr long long Trg = 40000;
constexpr int Width = 1000;

namespace {

void fillCapture(SmpData* s, long long count, long long trg)
{
    QVector<bool> ena(s->chnNum, false);
    ena[0] = ena[1] = true;
    QVERIFY(s->dataConvertStart(0, 1000000, ena));
    for (long long p = 1000; p < count; p += 1000)
        QVERIFY(s->appendEdge(0, p));
    s->smpDepth = count;
    QVERIFY(s->dataConvertComplete(count));
    s->trgPosition = trg;
}

struct Refresh {
    double scale;
    double start;
    bool dec;
    bool zoom;
};

}

class TestWaveDataGen : public QObject
{
    Q_OBJECT

    std::unique_ptr<DevNone> dev;
    std::unique_ptr<WaveDataGen> gen;
    QVector<Refresh> refreshes;
    bool autoConsume = true;

    // Puts the generator into a view and cancels the rebound that the
    // operations schedule (it waits 100 ms before it acts).
    void setView(double scale, double start)
    {
        gen->setZoom(scale, 0);
        gen->quiesce();
        gen->moveTo(start);
        gen->quiesce();
        QCOMPARE(gen->scale, scale);
        QCOMPARE(gen->start, start);
        refreshes.clear();
    }

    void runOp(const QString& op, double a, double b)
    {
        if (op == "zoomFixed") gen->zoomFixed(a);
        else if (op == "zoomTrg") gen->zoomTrg();
        else if (op == "zoomAll") gen->zoomAll();
        else if (op == "zoomInFine") gen->zoomInFine();
        else if (op == "zoomOutFine") gen->zoomOutFine();
        else if (op == "setZoom") gen->setZoom(a, int(b));
        else if (op == "moveTo") gen->moveTo(a);
        else if (op == "moveEnd") gen->moveEnd();
        else if (op == "movePage") gen->movePage(a != 0, b);
        else if (op == "movePreEdge") gen->movePreEdge(int(a));
        else if (op == "moveNextEdge") gen->moveNextEdge(int(a));
        else if (op == "moveDecode") gen->moveDecode(a, b);
        else if (op == "moveMarker") gen->moveDecodeByTimingMarker(a, b);
        else if (op == "zoomIn") gen->zoomIn(int(a));
        else if (op == "zoomOut") gen->zoomOut(int(a));
        else QFAIL("unknown operation");
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
        Config::disAnimate = false;
        Config::viewState = ViewKeep;
        WaveDataGen::preTrgPosition = 0;
        dev.reset(new DevNone);
        devUsing = dev.get();
        fillCapture(dev->shownData(), Count, Trg);
        makeGen();
    }

    void makeGen()
    {
        gen.reset(new WaveDataGen);
        gen->devModelChanged();
        gen->setViewWidth(Width);
        refreshes.clear();
        autoConsume = true;
        // Stands in for the main window: record the frame and hand it back.
        connect(gen.get(), &WaveDataGen::sigViewRefresh, this, [this](bool dec, bool zoom) {
            refreshes.append({gen->scale, gen->start, dec, zoom});
            if (autoConsume)
                gen->frameConsumed = true;
        });
    }

    void cleanup()
    {
        refuseThreads(0);
        gen.reset();
        devUsing = nullptr;
        dev.reset();
    }

    // ------------------------------------------------------------------
    void operations_data()
    {
        QTest::addColumn<double>("scale0");
        QTest::addColumn<double>("start0");
        QTest::addColumn<QString>("op");
        QTest::addColumn<double>("a");
        QTest::addColumn<double>("b");
        QTest::addColumn<double>("scale1");   // right after the operation
        QTest::addColumn<double>("start1");
        QTest::addColumn<double>("scale2");   // after the rebound
        QTest::addColumn<double>("start2");

        // zoomFixed keeps the sample under the centre (pixel 500) and clamps.
        QTest::newRow("zoomFixed below floor") << 10.0 << 0.0 << "zoomFixed" << 0.001 << 0.0
                                               << 0.01 << 4995.0 << 0.01 << 4995.0;
        QTest::newRow("zoomFixed above whole") << 10.0 << 0.0 << "zoomFixed" << 1000.0 << 0.0
                                               << 100.0 << -45000.0 << 100.0 << 0.0;
        QTest::newRow("zoomFixed inside") << 10.0 << 0.0 << "zoomFixed" << 20.0 << 0.0
                                          << 20.0 << -5000.0 << 20.0 << 0.0;
        QTest::newRow("zoomTrg") << 10.0 << 0.0 << "zoomTrg" << 0.0 << 0.0
                                 << 1.0 << 39500.0 << 1.0 << 39500.0;
        QTest::newRow("zoomAll") << 10.0 << 5000.0 << "zoomAll" << 0.0 << 0.0
                                 << 100.0 << 0.0 << 100.0 << 0.0;
        QTest::newRow("zoomInFine") << 10.0 << 0.0 << "zoomInFine" << 0.0 << 0.0
                                    << 9.0 << 500.0 << 9.0 << 500.0;
        QTest::newRow("zoomInFine floor") << 0.0105 << 0.0 << "zoomInFine" << 0.0 << 0.0
                                          << 0.01 << 0.25 << 0.01 << 0.25;
        QTest::newRow("zoomOutFine") << 10.0 << 10000.0 << "zoomOutFine" << 0.0 << 0.0
                                     << 11.0 << 9500.0 << 11.0 << 9500.0;
        QTest::newRow("setZoom") << 10.0 << 10000.0 << "setZoom" << 5.0 << 200.0
                                 << 5.0 << 11000.0 << 5.0 << 11000.0;
        QTest::newRow("moveTo before data") << 10.0 << 0.0 << "moveTo" << -3000.0 << 0.0
                                            << 10.0 << -3000.0 << 10.0 << 0.0;
        QTest::newRow("moveTo past end") << 10.0 << 0.0 << "moveTo" << 95000.0 << 0.0
                                         << 10.0 << 95000.0 << 10.0 << 90000.0;
        QTest::newRow("moveEnd") << 10.0 << 0.0 << "moveEnd" << 0.0 << 0.0
                                 << 10.0 << 91000.0 << 10.0 << 90000.0;
        QTest::newRow("movePage forward") << 10.0 << 0.0 << "movePage" << 0.0 << 1.0
                                          << 10.0 << 10000.0 << 10.0 << 10000.0;
        QTest::newRow("movePage forward at end") << 10.0 << 85000.0 << "movePage" << 0.0 << 1.0
                                                 << 10.0 << 95000.0 << 10.0 << 90000.0;
        QTest::newRow("movePage back") << 10.0 << 30000.0 << "movePage" << 1.0 << -1.0
                                       << 10.0 << 20000.0 << 10.0 << 20000.0;
        QTest::newRow("movePage back at start") << 10.0 << 5000.0 << "movePage" << 1.0 << 1.0
                                                << 10.0 << -5000.0 << 10.0 << 0.0;
        // Edges of channel 0 lie on multiples of 1000; the found edge goes to
        // the centre (500 pixels = 5000 samples right of start).
        QTest::newRow("movePreEdge") << 10.0 << 25500.0 << "movePreEdge" << 0.0 << 0.0
                                     << 10.0 << 20000.0 << 10.0 << 20000.0;
        QTest::newRow("movePreEdge none before") << 10.0 << 500.0 << "movePreEdge" << 0.0 << 0.0
                                                 << 10.0 << -5000.0 << 10.0 << 0.0;
        QTest::newRow("movePreEdge view past end") << 10.0 << 200000.0 << "movePreEdge" << 0.0 << 0.0
                                                   << 10.0 << 94000.0 << 10.0 << 90000.0;
        QTest::newRow("moveNextEdge") << 10.0 << 20000.0 << "moveNextEdge" << 0.0 << 0.0
                                      << 10.0 << 26000.0 << 10.0 << 26000.0;
        QTest::newRow("moveNextEdge none after") << 10.0 << 20000.0 << "moveNextEdge" << 1.0 << 0.0
                                                 << 10.0 << 95000.0 << 10.0 << 90000.0;
        QTest::newRow("moveNextEdge view before data") << 10.0 << -20000.0 << "moveNextEdge" << 0.0 << 0.0
                                                       << 10.0 << -4000.0 << 10.0 << 0.0;
        // A decoded frame fills half the view, a quarter from the left.
        QTest::newRow("moveDecode") << 10.0 << 0.0 << "moveDecode" << 20000.0 << 20999.0
                                    << 2.0 << 19500.0 << 2.0 << 19500.0;
        QTest::newRow("moveDecode at end") << 10.0 << 0.0 << "moveDecode" << 99000.0 << 99999.0
                                           << 2.0 << 98000.0 << 2.0 << 98000.0;
        QTest::newRow("moveMarker") << 10.0 << 0.0 << "moveMarker" << 30000.0 << 30999.0
                                    << 2.0 << 29500.0 << 2.0 << 29500.0;
        QTest::newRow("moveMarker past end") << 10.0 << 0.0 << "moveMarker" << 99000.0 << 100000.0
                                             << 2.002 << 97998.0 << 2.002 << 97998.0;
    }

    void operations()
    {
        QFETCH(double, scale0);
        QFETCH(double, start0);
        QFETCH(QString, op);
        QFETCH(double, a);
        QFETCH(double, b);
        QFETCH(double, scale1);
        QFETCH(double, start1);
        QFETCH(double, scale2);
        QFETCH(double, start2);

        setView(scale0, start0);
        runOp(op, a, b);
        QVERIFY(!refreshes.isEmpty());
        QCOMPARE(refreshes.first().scale, scale1);
        QCOMPARE(refreshes.first().start, start1);
        QTRY_VERIFY(gen->isIdle());
        QCOMPARE(gen->scale, scale2);
        QCOMPARE(gen->start, start2);
        // Every frame carries runs for the view it reports.
        WaveLine* runs = nullptr;
        const int n = gen->getData(0, &runs);
        QVERIFY(n > 0 && n <= Width);
        QVERIFY(runs);
    }

    void zoomFirst_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<double>("scale0");
        QTest::addColumn<double>("start0");
        QTest::addColumn<long long>("preTrg");
        QTest::addColumn<long long>("trg");
        QTest::addColumn<double>("scale1");
        QTest::addColumn<double>("start1");

        // Keep: the trigger keeps its place on screen (moved by d = 3000).
        QTest::newRow("keep") << int(ViewKeep) << 10.0 << 20000.0 << 37000LL << 40000LL << 10.0 << 23000.0;
        QTest::newRow("keep clamps to end") << int(ViewKeep) << 10.0 << 89000.0 << 30000LL << 40000LL << 10.0 << 90000.0;
        QTest::newRow("keep negative") << int(ViewKeep) << 10.0 << 1000.0 << 45000LL << 40000LL << 10.0 << 0.0;
        QTest::newRow("keep first capture") << int(ViewKeep) << 0.0 << 0.0 << 0LL << 40000LL << 100.0 << 0.0;
        QTest::newRow("trigger centred") << int(ViewTrigger) << 10.0 << 0.0 << 0LL << 40000LL << 10.0 << 35000.0;
        QTest::newRow("trigger near start") << int(ViewTrigger) << 10.0 << 0.0 << 0LL << 2000LL << 10.0 << 0.0;
        QTest::newRow("scale too large") << int(ViewTrigger) << 500.0 << 0.0 << 0LL << 40000LL << 100.0 << 0.0;
        QTest::newRow("whole") << int(ViewAll) << 10.0 << 5000.0 << 0LL << 40000LL << 100.0 << 0.0;
    }

    void zoomFirst()
    {
        QFETCH(int, mode);
        QFETCH(double, scale0);
        QFETCH(double, start0);
        QFETCH(long long, preTrg);
        QFETCH(long long, trg);
        QFETCH(double, scale1);
        QFETCH(double, start1);

        if (scale0 > 0)
            setView(scale0, start0);
        Config::viewState = ViewState(mode);
        WaveDataGen::preTrgPosition = preTrg;
        dev->shownData()->trgPosition = trg;
        gen->zoomFirst();
        QCOMPARE(refreshes.size(), 1);
        QVERIFY(!refreshes[0].dec && !refreshes[0].zoom);
        QCOMPARE(gen->scale, scale1);
        QCOMPARE(gen->start, start1);
        QCOMPARE(WaveDataGen::preTrgPosition, trg);
        QVERIFY(gen->isIdle());   // no rebound after a new capture
    }

    // ------------------------------------------------------------------
    void animatedZoom_data()
    {
        QTest::addColumn<bool>("in");
        QTest::addColumn<int>("x");
        QTest::addColumn<double>("scale0");
        QTest::addColumn<double>("start0");
        QTest::addColumn<double>("scaleEnd");
        QTest::addColumn<int>("frames");   // 7 zoom frames (+1 rebound)

        QTest::newRow("in at 300") << true << 300 << 10.0 << 20000.0 << 5.0 << 7;
        QTest::newRow("in at left edge") << true << -40 << 10.0 << 20000.0 << 5.0 << 7;
        QTest::newRow("out at 700") << false << 700 << 10.0 << 20000.0 << 20.0 << 7;
        QTest::newRow("in past right edge") << true << 5000 << 10.0 << 20000.0 << 5.0 << 7;
    }

    void animatedZoom()
    {
        QFETCH(bool, in);
        QFETCH(int, x);
        QFETCH(double, scale0);
        QFETCH(double, start0);
        QFETCH(double, scaleEnd);
        QFETCH(int, frames);

        setView(scale0, start0);
        int ref = x;
        gen->proofZoomRef(&ref);
        const double under = ref * scale0 + start0;
        if (in)
            gen->zoomIn(x);
        else
            gen->zoomOut(x);
        QVERIFY(refreshes.isEmpty());   // frames come from the worker
        QTRY_VERIFY_WITH_TIMEOUT(refreshes.size() >= frames, 5000);
        QTRY_VERIFY(gen->isIdle());
        QCOMPARE(refreshes.size(), frames);
        for (int i = 0; i < frames; ++i) {
            QVERIFY(refreshes[i].zoom);
            QCOMPARE(refreshes[i].dec, i == frames - 1);
            QVERIFY(qAbs(ref * refreshes[i].scale + refreshes[i].start - under) < 1e-6);
        }
        QVERIFY(qAbs(gen->scale - scaleEnd) < 1e-9);
    }

    void animatedZoomOutRebounds()
    {
        // From the whole capture, zooming out shows more than the data; the
        // rebound brings it back to the whole capture.
        setView(100.0, 0.0);
        gen->zoomOut(500);
        QTRY_VERIFY_WITH_TIMEOUT(refreshes.size() >= 8, 5000);
        QTRY_VERIFY(gen->isIdle());
        QCOMPARE(refreshes.size(), 8);
        QVERIFY(qAbs(refreshes[6].scale - 200.0) < 1e-9);
        QCOMPARE(refreshes[7].scale, 100.0);
        QCOMPARE(refreshes[7].start, 0.0);
        QCOMPARE(gen->scale, 100.0);
        QCOMPARE(gen->start, 0.0);
    }

    void animatedZoomAtFloor()
    {
        setView(0.01, 1000.0);
        gen->zoomIn(100);
        QTRY_VERIFY(refreshes.size() >= 1);
        QTRY_VERIFY(gen->isIdle());
        QCOMPARE(refreshes.size(), 1);   // the first frame already hits the floor
        QVERIFY(refreshes[0].dec);
        QCOMPARE(gen->scale, 0.01);
        QVERIFY(qAbs(gen->start - 1000.0) < 1e-9);
        // Below the floor nothing starts at all.
        gen->setZoom(0.005, 0);
        gen->quiesce();
        refreshes.clear();
        gen->zoomIn(100);
        QVERIFY(gen->isIdle());
        QVERIFY(refreshes.isEmpty());
    }

    void zoomWithoutAnimation_data()
    {
        QTest::addColumn<bool>("in");
        QTest::addColumn<double>("scale1");
        QTest::addColumn<double>("start1");
        QTest::newRow("in") << true << 5.0 << 21500.0;
        QTest::newRow("out") << false << 20.0 << 17000.0;
    }

    void zoomWithoutAnimation()
    {
        QFETCH(bool, in);
        QFETCH(double, scale1);
        QFETCH(double, start1);
        Config::disAnimate = true;
        setView(10.0, 20000.0);
        if (in)
            gen->zoomIn(300);
        else
            gen->zoomOut(300);
        QCOMPARE(refreshes.size(), 1);
        QVERIFY(refreshes[0].dec && refreshes[0].zoom);
        QCOMPARE(gen->scale, scale1);
        QCOMPARE(gen->start, start1);
    }

    void frameWaitsForHandBack()
    {
        // Without the main window's hand-back the worker makes no second frame.
        autoConsume = false;
        setView(10.0, 20000.0);
        gen->zoomIn(300);
        QTRY_COMPARE(refreshes.size(), 1);
        QVERIFY(!gen->isIdle());
        gen->frameConsumed = true;
        QTRY_COMPARE(refreshes.size(), 2);
        autoConsume = true;
        gen->frameConsumed = true;
        QTRY_VERIFY_WITH_TIMEOUT(gen->isIdle(), 5000);
        QCOMPARE(refreshes.size(), 7);
    }

    // Where the system refuses the worker, views change at once; once
    // threads are free again the next zoom is animated.
    void worksWithoutItsThread()
    {
        gen.reset();
        refuseThreads(1);
        makeGen();
        setView(100.0, 0.0);
        gen->zoomOut(500);
        QVERIFY(gen->isIdle());
        QCOMPARE(refreshes.size(), 2);   // the zoom, then the pull back into the data
        QCOMPARE(refreshes[0].scale, 200.0);
        QCOMPARE(gen->scale, 100.0);
        QCOMPARE(gen->start, 0.0);
        WaveLine* runs = nullptr;
        QCOMPARE(gen->getData(1, &runs), 1);
        QCOMPARE(runs[0].width, Width - 1);

        refuseThreads(0);
        setView(10.0, 20000.0);
        gen->zoomIn(300);
        QVERIFY(refreshes.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(refreshes.size() >= 7, 5000);
        QTRY_VERIFY(gen->isIdle());
        QVERIFY(qAbs(gen->scale - 5.0) < 1e-9);
    }

    // ------------------------------------------------------------------
    void reboundKeepsLaterMove()
    {
        // A move made while the rebound waits is not overwritten by it.
        setView(10.0, 20000.0);
        gen->moveTo(-3000);
        gen->moveTo(30000);
        QTRY_VERIFY(gen->isIdle());
        QCOMPARE(gen->start, 30000.0);
        // ... and a later move out of the data is pulled back in turn.
        gen->moveTo(-3000);
        QTRY_VERIFY(gen->isIdle());
        gen->moveTo(-7000);
        QTRY_VERIFY(gen->isIdle());
        QCOMPARE(gen->start, 0.0);
    }

    void emptyCaptureDoesNothing()
    {
        dev->clearSmpData();
        QVERIFY(gen->isIdle());
        setView(10.0, 0.0);
        gen->moveTo(-500);
        QCOMPARE(gen->start, -500.0);
        QTRY_VERIFY(gen->isIdle());   // the rebound is skipped
        QCOMPARE(gen->start, -500.0);
        QCOMPARE(refreshes.size(), 1);

        const int before = refreshes.size();
        gen->zoomAll();
        gen->zoomFixed(3);
        gen->zoomTrg();
        gen->moveEnd();
        gen->movePage(false, 1);
        gen->movePreEdge(0);
        gen->moveNextEdge(0);
        gen->moveDecode(10, 20);
        gen->moveDecodeByTimingMarker(10, 20);
        QCOMPARE(refreshes.size(), before);
        QCOMPARE(gen->scale, 10.0);
        QCOMPARE(gen->start, -500.0);

        gen->zoomFirst();   // still a refresh, no change
        QCOMPARE(refreshes.size(), before + 1);
        QCOMPARE(gen->scale, 10.0);
        WaveLine* runs = nullptr;
        QCOMPARE(gen->getData(0, &runs), 0);
    }

    void zeroWidthDoesNothing()
    {
        gen->setViewWidth(0);
        gen->zoomFirst();
        gen->zoomAll();
        gen->zoomFixed(5);
        gen->moveDecode(10, 20);
        gen->moveDecodeByTimingMarker(10, 20);
        gen->zoomIn(0);
        gen->zoomOut(0);
        gen->moveTo(-100);
        QTRY_VERIFY(gen->isIdle());
        QVERIFY(std::isfinite(gen->scale) && std::isfinite(gen->start));
        QCOMPARE(gen->scale, 0.0);
        WaveLine* runs = nullptr;
        QCOMPARE(gen->getData(0, &runs), 0);
        // Width 1: moveDecode halves to 0 pixels and must not divide by it.
        gen->setViewWidth(1);
        gen->moveDecode(10, 20);
        QVERIFY(std::isfinite(gen->scale));
    }

    void getDataChecksIndex()
    {
        gen->zoomAll();
        WaveLine* runs = reinterpret_cast<WaveLine*>(1);
        QCOMPARE(gen->getData(-1, &runs), 0);
        QVERIFY(!runs);
        QCOMPARE(gen->getData(16, &runs), 0);
        QVERIFY(gen->getData(0, &runs) > 0);
        QCOMPARE(runs[0].x, 0);
        // The channel without edges is one run over the whole row.
        QCOMPARE(gen->getData(1, &runs), 1);
        QCOMPARE(runs[0].width, Width - 1);
    }

    void quiesceStopsTheWorker()
    {
        setView(10.0, 20000.0);
        gen->zoomIn(300);
        QTRY_VERIFY(refreshes.size() >= 1);
        // Clearing the shown store runs the device's gate first.
        dev->clearSmpData();
        QVERIFY(gen->isIdle());
        const int n = refreshes.size();
        QCoreApplication::processEvents();
        QCOMPARE(refreshes.size(), n);   // a frame computed before is dropped
    }

    void worksWhileTheViewChanges()
    {
        // Resizes, device changes and moves while frames flow: no frame of
        // an old width or device is ever taken over.
        setView(10.0, 20000.0);
        for (int i = 0; i < 20; ++i) {
            gen->zoomIn(100 + i * 10);
            QTRY_VERIFY(refreshes.size() >= 1);
            gen->setViewWidth(500 + i * 37);
            gen->genData();
            gen->moveTo(1000.0 * i);
            if (i % 5 == 0)
                gen->devModelChanged();
            gen->zoomOut(50);
            refreshes.clear();
            QTRY_VERIFY(refreshes.size() >= 2);
            for (int c = 0; c < 2; ++c) {
                WaveLine* runs = nullptr;
                const int n = gen->getData(c, &runs);
                QVERIFY(n <= gen->width);
                for (int k = 0; k < n; ++k)
                    QVERIFY(runs[k].x + runs[k].width <= gen->width);
            }
        }
        QTRY_VERIFY_WITH_TIMEOUT(gen->isIdle(), 5000);
    }
};

QTEST_MAIN(TestWaveDataGen)
#include "test_wavedatagen.moc"
