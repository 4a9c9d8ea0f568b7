// The glitch filter applied in the wired main window: a decode of the shown
// capture still running, the filter on its worker behind the progress
// dialog, and a device change while it runs. Nothing may read a freed table.
#include <QtTest>

#include <atomic>

#include "Analyzer.h"
#include "AnalyzerResults.h"
#include "app/mainwindow.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "data/SmpData.h"
#include "decode/AnalyzerManager.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "RefuseThreads.h"
#include "support/TestEnv.h"
#include "view/MainView.h"
#include "view/WaveDataGen.h"

namespace {

// The RC6 analyzer of the prepared configuration listens on channel 2.
constexpr int RcChn = 2;

void fillShown(DevBase* dev, long long edges)
{
    SmpData* s = dev->shownData();
    QVector<bool> ena(s->chnNum, false);
    ena[RcChn] = true;
    QVERIFY(s->dataConvertStart(0, 50000, ena));
    // Pairs of edges 2 samples apart every 9 samples: a width of 2 removes them all.
    for (long long i = 1; i <= edges / 2; ++i) {
        QVERIFY(s->appendEdge(RcChn, 9 * i));
        QVERIFY(s->appendEdge(RcChn, 9 * i + 2));
    }
    const long long depth = 9 * (edges / 2) + 20;
    s->smpDepth = depth;
    QVERIFY(s->dataConvertComplete(depth));
}

} // namespace

class TestFilterWindow : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;

    QVector<unsigned> widthsFor(unsigned w) const
    {
        QVector<unsigned> v(devUsing->chnNum(), 0);
        v[RcChn] = w;
        return v;
    }
    // The window up, showing a capture of 3,000,000 edges on the analyzer's
    // channel.
    void showCapture(MainWindow& w)
    {
        w.resize(1400, 900);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        fillShown(devUsing, 3000000);
        w.slotSmpDataReady(0);
    }
    // A capture heavy enough that its decode still runs when the filter comes.
    void decodeRunning(MainWindow& w)
    {
        showCapture(w);
        w.slotSmpDataReady(1);
        QVERIFY(w.analyzerManager->anlyThreadIsRuning(0));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        TestEnv::startProgram("road/cv.config", tmp.filePath("cv.config"));
        Config::disAnimate = true;
        const QString bin = QString::fromLocal8Bit(qgetenv("CORVENA_BIN"));
        QVERIFY(!bin.isEmpty());
        AnalyzerManager::setAnalyzerDir(bin + "/Analyzer/");
        devUsing = DevBase::createDevice(Config::getDevModel());
        MainWindow::criticalBox = [](QWidget*, const QString&, const QString&) {};
    }

    void cleanupTestCase()
    {
        MainWindow::criticalBox = nullptr;
        delete devUsing;
        devUsing = nullptr;
        AnalyzerManager::setAnalyzerDir(QString());
    }

    void cleanup()
    {
        refuseThreads(0);
        MainView::filterThreadEntries = 10000000;
        if (devUsing && devUsing->devModel != DevModelDemo) {
            delete devUsing;
            devUsing = DevBase::createDevice(DevModelDemo);
        }
    }

    void filterWhileDecoding_data()
    {
        QTest::addColumn<bool>("worker");
        QTest::newRow("on the GUI thread") << false;
        QTest::newRow("on the worker") << true;
    }
    void filterWhileDecoding()
    {
        QFETCH(bool, worker);
        MainWindow w;
        decodeRunning(w);
        if (worker)
            MainView::filterThreadEntries = 1;
        QSignalSpy decoded(w.analyzerManager, &AnalyzerManager::analyzerDecodedChanged);
        w.mainView->applyFilter(widthsFor(2));
        const SmpData* s = devUsing->shownData();
        QCOMPARE(s->filterWidth[RcChn], 2u);
        // Every short pulse is gone: only the closing entry is left.
        QCOMPARE(SmpData::entryCount(s->chnData[RcChn]), 1LL);
        // The decode started again on the filtered capture, and ends.
        QVERIFY(decoded.wait(30000) || !w.analyzerManager->anlyThreadIsRuning(0));
        QTRY_VERIFY_WITH_TIMEOUT(!w.analyzerManager->anlyThreadIsRuning(0), 30000);
        QVERIFY(!w.mainView->filterRunning());
        // Back to no filter: the unfiltered table again.
        w.mainView->applyFilter(widthsFor(0));
        QCOMPARE(SmpData::entryCount(devUsing->shownData()->chnData[RcChn]), 3000001LL);
    }

    // Where the system refuses the worker, the filter runs on the GUI thread.
    void filterWithoutItsThread()
    {
        MainWindow w;
        showCapture(w);
        MainView::filterThreadEntries = 1;
        const long refused = refusedThreads();
        refuseThreads(1);
        w.mainView->applyFilter(widthsFor(2));
        refuseThreads(0);
        QVERIFY(refusedThreads() > refused);
        QVERIFY(!w.mainView->filterRunning());
        const SmpData* s = devUsing->shownData();
        QCOMPARE(s->filterWidth[RcChn], 2u);
        QCOMPARE(SmpData::entryCount(s->chnData[RcChn]), 1LL);
        // The decode that the filter restarted was refused too: nothing runs.
        QTRY_VERIFY(!w.analyzerManager->anlyThreadIsRuning(0));
    }

    // A device change while the worker filters waits for it, then replaces
    // the device; the filter's caller finds the old device gone.
    void deviceChangeWhileFiltering()
    {
        MainWindow w;
        showCapture(w);
        MainView::filterThreadEntries = 1;
        bool changed = false;
        QTimer hotplug;
        connect(&hotplug, &QTimer::timeout, &w, [&] {
            if (changed || !w.mainView->filterRunning())
                return;
            changed = true;
            w.slotDevPreConnect(DevModelRowan);
        });
        hotplug.start(1);
        w.mainView->applyFilter(widthsFor(3));
        hotplug.stop();
        QTRY_VERIFY(changed);
        QCOMPARE(devUsing->devModel, int(DevModelRowan));
        QVERIFY(!w.mainView->filterRunning());
        QCOMPARE(devUsing->shownData()->smpDepth, 0LL);
    }
};

QTEST_MAIN(TestFilterWindow)
#include "test_filterwindow.moc"
