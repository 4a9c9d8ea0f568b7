// The oscilloscope screen in the main window: the demonstration switch,
// the layout of grid, traces and indicator, panning, settings merges that
// keep the analog capture, and the automatic scaling run end to end on a
// connected device whose capture thread is a stand-in signal source.
#include <QtTest>

#include <QPushButton>
#include <QThread>

#include <atomic>
#include <cmath>
#include <functional>

#include "app/MainMenu.h"
#include "app/Startup.h"
#include "app/mainwindow.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "data/SmpDataOsc.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "osc/DevMS.h"
#include "osc/OscItems.h"
#include "osc/OscView.h"
#include "osc/WaveDataGenOsc.h"
#include "support/RecordingTransport.h"
#include "support/TestEnv.h"
#include "toolbar/SmpCtrl.h"
#include "toolbar/ZoomCtrl.h"
#include "view/MainView.h"
#include "view/MyMainView.h"
#include "view/PosiView.h"
#include "widgets/MyScrollbar.h"

namespace {

using Signal = std::function<double(int chn, double seconds)>;   // mV

// Stand-in for the buffer-mode capture thread of a connected device: each
// capture is 10000 samples of the signal per enabled channel, coded with
// the settings the capture was started with.
class AnalogSource : public QThread
{
public:
    AnalogSource(DevBase* d, Signal f) : dev(d), signal(std::move(f)) {}
    std::atomic<int> captures{0};

protected:
    void run() override
    {
        emit dev->sigSmpSta(SmpStaStart, 0, 0);
        const DevBase::OscCaptureSet& cap = dev->oscCapture;
        const int count = 10000;
        while (dev->waitStoresSwapped() && !dev->smpStopReq) {
            if (!dev->dataConvertStart(0))
                break;
            SmpDataOsc* s = dev->fillDataOsc();
            for (int c = 0; c < s->chnNum; ++c) {
                AnalogChnData* d = s->record(c);
                if (!d)
                    continue;
                for (int i = 0; i < count; ++i) {
                    const double mv = signal(c, double(i) / double(cap.rate));
                    const double code = (mv / (d->gain * 10.0) + d->offset / 1000.0) * 2 * d->scale;
                    d->samples[i] = int16_t(qBound(-32768.0, std::round(code), 32767.0));
                }
                d->count = count;
                d->trgIndex = cap.trgPermille * count / 1000;
            }
            dev->dataConvertComplete(true);
            ++captures;
            emit dev->sigSmpDataReady(0);
            if (dev->smpStartMode == SmpStartSingle)
                break;
            QThread::msleep(2);
        }
        emit dev->sigSmpSta(SmpStaStopped, 0, 0);
        emit dev->sigSmpDataReady(1);
        dev->smpRunning = false;
    }

private:
    DevBase* dev;
    Signal signal;
};

double square1k(int, double t)
{
    return std::fmod(t * 1000, 1.0) < 0.5 ? 3300 : 0;
}

} // namespace

class TestOscScreen : public QObject
{
    Q_OBJECT
    RecordingTransport* usb = nullptr;

    // The main window, shown, on the demonstration switch's device.
    std::unique_ptr<MainWindow> demoWindow()
    {
        setDemoMixedSignal(true);
        devUsing = createStartDevice(DevModelDemo);
        auto w = std::make_unique<MainWindow>();
        w->resize(1400, 900);
        w->show();
        return w;
    }

    // The main window on a connected mixed-signal device whose captures
    // come from `f`; the auto-scale states it passes are recorded.
    std::unique_ptr<MainWindow> connectedWindow(const Signal& f, AnalogSource** source)
    {
        delete devUsing;
        devUsing = new DevPoplar;
        devUsing->devConnect(nullptr);
        *source = new AnalogSource(devUsing, f);
        devUsing->smpCtrlNormal = *source;   // deleted with the device
        auto w = std::make_unique<MainWindow>();
        w->resize(1400, 900);
        w->show();
        // Each state as the generator reports it, before the window reacts
        // (and, at the end, sets it back to idle).
        WaveDataGenOsc* gen = w->waveDataGenOsc;
        disconnect(gen, &WaveDataGenOsc::sigViewRefreshOsc, w.get(), &MainWindow::slotWaveViewRefresh);
        connect(gen, &WaveDataGenOsc::sigViewRefreshOsc, this, [this, gen] {
            const int st = gen->autoScaleState();
            if (states.isEmpty() || states.last() != st)
                states << st;
        });
        connect(gen, &WaveDataGenOsc::sigViewRefreshOsc, w.get(), &MainWindow::slotWaveViewRefresh);
        return w;
    }
    QVector<int> states;

    // Clicks Auto and waits until the scaling has ended and the capture
    // restarted in a repeat mode.
    void runAuto(MainWindow& w)
    {
        states.clear();
        w.findChild<QPushButton*>("btnSmpAutoScale")->click();
        QTRY_VERIFY_WITH_TIMEOUT(states.size() > 1 && states.last() == WaveDataGenOsc::AutoIdle, 20000);
        QTRY_VERIFY(devUsing->smpRunning);
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
        Config::smpProgPosition = false;
        usb = RecordingTransport::install();
        setDemoMixedSignal(false);
    }
    void cleanup()
    {
        delete devUsing;
        devUsing = nullptr;
        RecordingTransport::uninstall(&usb);
        setDemoMixedSignal(false);
        qunsetenv("CORVENA_DEMO_MODEL");
    }
    void cleanupTestCase() { MainWindow::criticalBox = nullptr; }

    void demoSwitch();
    void screenLayout();
    void demonstrationRepeatAndPan();
    void settingsMergeKeepsCapture();
    void captureFile();
    void autoScaleOneChannel();
    void autoScaleTwoChannels();
    void autoScaleGivesUpOnDc();
    void stopEndsAutoScale();
};

void TestOscScreen::demoSwitch()
{
    // Read once from the environment: only "49" names the mixed-signal model.
    for (const char* v : {"", "48", "0", "4 9"}) {
        qputenv("CORVENA_DEMO_MODEL", v);
        readDemoSwitch();
        QVERIFY(!demoMixedSignal());
    }
    qputenv("CORVENA_DEMO_MODEL", "49");
    readDemoSwitch();
    QVERIFY(demoMixedSignal());
    std::unique_ptr<DevBase> d(createStartDevice(DevModelSpruce));
    QCOMPARE(d->devModel, int(DevModelPoplar));
    QVERIFY(!d->connected);
    // Nothing is stored: the configuration keeps naming its own model.
    QVERIFY(Config::readGlobalParam("devModel") != "49");
    setDemoMixedSignal(false);
    std::unique_ptr<DevBase> e(createStartDevice(DevModelSpruce));
    QCOMPARE(e->devModel, int(DevModelSpruce));
}

void TestOscScreen::screenLayout()
{
    auto win = demoWindow();
    MainWindow& w = *win;
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    OscView* osc = w.mainView->oscView;
    QVERIFY(osc);
    // The tool bar: Auto, Single, Repeat, Stop; no zoom control.
    QVERIFY(w.smpCtrl->isVisible());
    QVERIFY(w.findChild<QPushButton*>("btnSmpAutoScale")->isVisible());
    QVERIFY(!w.zoomCtrl->isVisible());
    QCOMPARE(w.mainView->sidebarArea->width(), 271);
    QVERIFY(w.mainView->waveView->vBar->isHidden());
    // The grid leaves room for tags, markers and labels.
    const QSize vp = w.mainView->waveView->maximumViewportSize();
    const OscView::Grid g = osc->grid;
    QCOMPARE(g.left, 11 + 4);
    QCOMPARE(g.top, 11 + 4);
    QCOMPARE(g.width, vp.width() - 15 - g.left - 2);
    QCOMPARE(g.height, vp.height() - g.top - 2);
    QCOMPARE(osc->background->pos(), QPointF(g.left - 1, g.top - 1));
    QCOMPARE(osc->background->boundingRect(), QRectF(0, 0, g.width + 3, g.height + 3));
    QCOMPARE(osc->traces->pos(), QPointF(g.left, g.top));
    QCOMPARE(osc->traces->boundingRect(), QRectF(0, 0, g.width + 1, g.height + 1));
    const int s = int(0.2 * qMin(g.width, g.height));
    QCOMPARE(osc->indicator->boundingRect(), QRectF(0, 0, s, s));
    QCOMPARE(osc->indicator->pos(), QPointF(g.left + g.width - 10 - s, g.top + g.height - 10 - s));
    QVERIFY(!osc->indicator->isVisible());
    QCOMPARE(w.waveDataGenOsc->width, g.width);
    // Back to a logic device: the oscilloscope screen goes.
    w.slotDevPreConnect(DevModelSpruce);
    QVERIFY(!w.mainView->oscView);
    QVERIFY(w.zoomCtrl->isVisible());
}

void TestOscScreen::demonstrationRepeatAndPan()
{
    auto win = demoWindow();
    MainWindow& w = *win;
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.findChild<QPushButton*>("btnSmpRepeat")->click();
    QTRY_VERIFY(devUsing->hasValidData());
    WaveLineA* cols = nullptr;
    QTRY_VERIFY(w.waveDataGenOsc->getData(0, &cols) > 0 && w.waveDataGenOsc->getData(1, &cols) > 0);
    QVERIFY(w.findChild<QPushButton*>("btnSmpRepeat")->isChecked());
    w.findChild<QPushButton*>("btnSmpStop")->click();
    QTRY_VERIFY(!devUsing->smpRunning);
    QCoreApplication::processEvents();

    // A drag on the grid pans every channel; one that starts off the grid
    // does nothing.
    OscView* osc = w.mainView->oscView;
    QWidget* vp = w.mainView->waveView->viewport();
    const QPoint inside(osc->grid.left + 100, osc->grid.top + 100);
    const double s0 = w.waveDataGenOsc->start[0], s1 = w.waveDataGenOsc->start[1];
    QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, inside);
    QMouseEvent move(QEvent::MouseMove, inside + QPoint(40, 0), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(vp, &move);
    QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, inside + QPoint(40, 0));
    QCOMPARE(w.waveDataGenOsc->start[0], s0 - 40 * w.waveDataGenOsc->scale[0]);
    QCOMPARE(w.waveDataGenOsc->start[1], s1 - 40 * w.waveDataGenOsc->scale[1]);
    const double s2 = w.waveDataGenOsc->start[0];
    QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    QMouseEvent move2(QEvent::MouseMove, QPoint(300, 300), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(vp, &move2);
    QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, QPoint(300, 300));
    QCOMPARE(w.waveDataGenOsc->start[0], s2);
    // The position strip follows the first channel.
    QCOMPARE(w.posiView->chn, 0);
    QCOMPARE(w.posiView->smpCount, 20480LL);
}

void TestOscScreen::settingsMergeKeepsCapture()
{
    auto win = demoWindow();
    MainWindow& w = *win;
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    devUsing->smpStart(SmpStartSingle, false);
    QTRY_VERIFY(!devUsing->smpRunning && devUsing->hasValidData());
    QCoreApplication::processEvents();
    const short first = devUsing->shownDataOsc()->record(0)->samples[100];
    DevBase* old = devUsing;
    w.slotReplaceConfig();
    // Still the mixed-signal model, a new object, the same capture.
    QVERIFY(devUsing != old);
    QCOMPARE(devUsing->devModel, int(DevModelPoplar));
    QVERIFY(devUsing->hasValidData());
    QCOMPARE(devUsing->shownDataOsc()->record(0)->count, 20480);
    QCOMPARE(devUsing->shownDataOsc()->record(0)->samples[100], first);
    WaveLineA* cols = nullptr;
    QVERIFY(w.waveDataGenOsc->getData(0, &cols) > 0);
}

// An analog capture saved through the main menu and opened again; a file
// cut short is refused and the shown capture stays.
void TestOscScreen::captureFile()
{
    QTemporaryDir tmp;
    QStringList boxes;
    MainWindow::criticalBox = [&](QWidget*, const QString&, const QString& text) { boxes << text; };
    const QString file = tmp.filePath("scope.cvdat");
    Config::fileDialog = [&](const Config::FileDialogRequest&) { return file; };
    {
        auto win = demoWindow();
        MainWindow& w = *win;
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        devUsing->smpStart(SmpStartSingle, false);
        QTRY_VERIFY(!devUsing->smpRunning && devUsing->hasValidData());
        QCoreApplication::processEvents();
        QVector<short> saved(20480);
        std::copy_n(devUsing->shownDataOsc()->record(1)->samples, 20480, saved.begin());
        w.mainMenu->slotActSaveDataClicked();
        QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join(";")));
        QVERIFY(QFileInfo(file).size() > 2 * 20480 * 2);

        devUsing->clearSmpData();
        w.mainMenu->loadFile(file);
        QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join(";")));
        QCOMPARE(devUsing->devModel, int(DevModelPoplar));
        const AnalogChnData* d = devUsing->shownDataOsc()->record(1);
        QVERIFY(d);
        QCOMPARE(d->count, 20480);
        QVERIFY(std::equal(saved.begin(), saved.end(), d->samples));
        WaveLineA* cols = nullptr;
        QVERIFY(w.waveDataGenOsc->getData(1, &cols) > 0);

        // Cut short: refused, the capture shown before stays.
        QFile f(file);
        QVERIFY(f.resize(f.size() - 3));
        w.mainMenu->loadFile(file);
        QCOMPARE(boxes.size(), 1);
        QVERIFY(devUsing->hasValidData());
        QCOMPARE(devUsing->shownDataOsc()->record(1)->count, 20480);
    }
    Config::fileDialog = nullptr;
    MainWindow::criticalBox = [](QWidget*, const QString&, const QString&) {};
}

void TestOscScreen::autoScaleOneChannel()
{
    Config::saveGlobalParam("autoWaitTrig", "0");
    AnalogSource* src = nullptr;
    auto w = connectedWindow(square1k, &src);
    devUsing->setAChnEna(QVector<bool>({true, false}));
    runAuto(*w);
    // 3300 / 0.8 / 10 = 412 mV: 500 mV per division; the trigger halfway;
    // the middle of the signal at the centre: -1650 / 5000 x 1000 = -330.
    QCOMPARE(devUsing->aVoltDiv(0), 500);
    QVERIFY(std::fabs(devUsing->aTrgVolt[0] - 1650) < 10);
    QVERIFY(qAbs(devUsing->aChnOffset[0] + 330) <= 1);
    QCOMPARE(devUsing->aTrgChn, 0);
    // 2.1 periods of 1 ms over ten divisions: 210000 ns; the next entry.
    QCOMPARE(devUsing->aTimeDiv(), 500000LL);
    QVERIFY(states.contains(WaveDataGenOsc::AutoVoltDiv));
    QVERIFY(states.contains(WaveDataGenOsc::AutoTimeDiv));
    QVERIFY(states.contains(WaveDataGenOsc::AutoDone));
    QVERIFY(!states.contains(WaveDataGenOsc::AutoGivenUp));
    // Restarted without waiting for the trigger ("autoWaitTrig" 0), and the
    // bar shows Repeat.
    QCOMPARE(devUsing->smpStartMode.load(), int(SmpStartRepeat));
    QTRY_VERIFY(w->findChild<QPushButton*>("btnSmpRepeat")->isChecked());
    QVERIFY(!w->mainView->oscView->indicator->isVisible());
    devUsing->smpStopAndWait();

    // "autoWaitTrig" set: the restart waits for the trigger.
    Config::saveGlobalParam("autoWaitTrig", "1");
    runAuto(*w);
    QCOMPARE(devUsing->smpStartMode.load(), int(SmpStartRepeatWait));
    devUsing->smpStopAndWait();
}

void TestOscScreen::autoScaleTwoChannels()
{
    AnalogSource* src = nullptr;
    auto w = connectedWindow(square1k, &src);
    devUsing->setAChnEna(QVector<bool>({true, true}));
    runAuto(*w);
    // Five divisions each: 3300 / 0.8 / 5 = 825 mV gives 1 V; each middle
    // at its half: +250 - 165 and -250 - 165.
    QCOMPARE(devUsing->aVoltDiv(0), 1000);
    QCOMPARE(devUsing->aVoltDiv(1), 1000);
    QVERIFY(qAbs(devUsing->aChnOffset[0] - 85) <= 1);
    QVERIFY(qAbs(devUsing->aChnOffset[1] + 415) <= 1);
    QCOMPARE(devUsing->aTimeDiv(), 500000LL);
    devUsing->smpStopAndWait();
}

void TestOscScreen::autoScaleGivesUpOnDc()
{
    AnalogSource* src = nullptr;
    auto w = connectedWindow([](int, double) { return 1000.0; }, &src);
    devUsing->setAChnEna(QVector<bool>({true, false}));
    QVERIFY(devUsing->setATimeDivValue(5000));
    QVERIFY(devUsing->setATrgPercent(300));
    runAuto(*w);
    QVERIFY(states.contains(WaveDataGenOsc::AutoGivenUp));
    QVERIFY(!states.contains(WaveDataGenOsc::AutoDone));
    // The time base and trigger position from before Auto.
    QCOMPARE(devUsing->aTimeDiv(), 5000LL);
    QCOMPARE(devUsing->aTrgPercent, 300);
    devUsing->smpStopAndWait();
}

void TestOscScreen::stopEndsAutoScale()
{
    AnalogSource* src = nullptr;
    auto w = connectedWindow(square1k, &src);
    devUsing->setAChnEna(QVector<bool>({true, false}));
    // Stop as soon as the first step has restarted the capture.
    bool stopped = false;
    connect(w->waveDataGenOsc, &WaveDataGenOsc::sigViewRefreshOsc, this, [&] {
        if (!stopped && w->waveDataGenOsc->autoScaleState() == WaveDataGenOsc::AutoVoltDiv) {
            stopped = true;
            w->smpCtrl->slotBtnStopClicked();
        }
    });
    w->findChild<QPushButton*>("btnSmpAutoScale")->click();
    QTRY_VERIFY(stopped);
    QTRY_VERIFY(!devUsing->smpRunning);
    // Whatever the last capture still announces starts nothing.
    const int captures = src->captures;
    QTest::qWait(100);
    QVERIFY(!devUsing->smpRunning);
    QCOMPARE(int(src->captures), captures);
    QCOMPARE(w->waveDataGenOsc->autoScaleState(), int(WaveDataGenOsc::AutoIdle));
    QVERIFY(!w->mainView->oscView->indicator->isVisible());
}

QTEST_MAIN(TestOscScreen)
#include "test_oscscreen.moc"
