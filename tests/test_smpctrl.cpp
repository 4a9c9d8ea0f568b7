// Sampling control bar and sample setting box: button states, the start and
// stop sequences with the decoders, rate and depth choices around a running
// capture, and refills that must not reach the device.

#include <QtTest>

#include <QComboBox>
#include <QGraphicsDropShadowEffect>
#include <QAbstractItemView>
#include <QLabel>
#include <QPushButton>

#include "config/Config.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "device/DevNone.h"
#include "device/DevSimulate.h"
#include "support/CaptureSignals.h"
#include "support/TestEnv.h"
#include "toolbar/SmpCtrl.h"
#include "toolbar/SmpSetting.h"

namespace {

QImage iconImage(const QIcon& icon)
{
    return icon.pixmap(36, 36).toImage();
}

// Everything that happens around a capture start, in order: the decoder
// hooks and each start on the GUI thread (smpStart announces the emptied
// capture there; the demonstration thread's announcements are not starts).
struct EventLog {
    QStringList events;

    void watch(DevBase* dev)
    {
        QObject::connect(
            dev, &DevBase::sigSmpDataReady, dev,
            [this](int decode) {
                if (decode == 0 && QThread::currentThread() == qApp->thread())
                    events << "start";
            },
            Qt::DirectConnection);
        SmpCtrl::stopAllAnalyzer = [this, dev] {
            // Still-running acquisition here would mean the decoders were
            // stopped before the capture was.
            const bool busy = dev->smpRunning || dev->smpSimulate->isRunning();
            events << (busy ? "stopAnalyzers(capturing)" : "stopAnalyzers");
        };
        SmpCtrl::clearAnalyzerResult = [this] { events << "clearResults"; };
    }
    int starts() const { return events.count("start"); }
};

} // namespace

class TestSmpCtrl : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    // SmpCtrl
    void construction();
    void initShowsButtonsForDevice_data();
    void initShowsButtonsForDevice();
    void staChangedMarksOneButton_data();
    void staChangedMarksOneButton();
    void connectSwapsIcons();
    void repeatModeFromConfig_data();
    void repeatModeFromConfig();
    void startStopsCaptureThenDecoders_data();
    void startStopsCaptureThenDecoders();
    void startWithoutDecoderHooks();
    void stopRequestsWithoutWaiting();
    void autoOnDisconnectedIsRepeat();

    // SmpSetting
    void settingConstruction();
    void refillDoesNotReachDevice();
    void choiceRestartsOnce_data();
    void choiceRestartsOnce();
    void forcedLowerRateRestartsOnce_data();
    void forcedLowerRateRestartsOnce();
    void restartSurvivesNestedBracket();
    void invalidIndexIgnored_data();
    void invalidIndexIgnored();
    void initFollowsNewDevice();

private:
    QPushButton* button(SmpCtrl& c, const char* name) { return c.findChild<QPushButton*>(name); }
    QComboBox* combo(SmpSetting& s, const char* name) { return s.findChild<QComboBox*>(name); }
    // A repeated capture of the demonstration device, running.
    void startRepeat()
    {
        devUsing->smpStart(SmpStartRepeat, false);
        QVERIFY(devUsing->smpRunning);
    }

    EventLog log;
};

void TestSmpCtrl::initTestCase()
{
    TestEnv::isolateUserData();
    Config::init();
}

void TestSmpCtrl::init()
{
    Config::setDefaultDocument();
    devUsing = new DevNone;
    // Short captures keep the demonstration thread quick.
    QVERIFY(devUsing->setSmpDepth(1));
    log = EventLog();
    log.watch(devUsing);
}

void TestSmpCtrl::cleanup()
{
    SmpCtrl::stopAllAnalyzer = nullptr;
    SmpCtrl::clearAnalyzerResult = nullptr;
    delete devUsing;   // stops and joins a running capture
    devUsing = nullptr;
}

// ---------------------------------------------------------------------------
// SmpCtrl

void TestSmpCtrl::construction()
{
    SmpCtrl c(nullptr);
    QCOMPARE(c.objectName(), QString("SmpCtrl"));
    const char* names[] = {"btnSmpAutoScale", "btnSmpSingle", "btnSmpRepeat", "btnSmpStop"};
    const QString tips[] = {"Auto", "Start single sampling (F5)", "Auto restart sampling (F6)",
                            "Stop sampling (F7)"};
    for (int i = 0; i < 4; ++i) {
        QPushButton* b = button(c, names[i]);
        QVERIFY2(b, names[i]);
        QCOMPARE(b->size(), QSize(Config::pixel(36), Config::pixel(36)));
        QCOMPARE(b->iconSize(), QSize(Config::pixel(36), Config::pixel(36)));
        QVERIFY(b->isCheckable());
        QVERIFY(!b->isChecked());
        QCOMPARE(b->focusPolicy(), Qt::NoFocus);
        QCOMPARE(b->toolTip(), tips[i]);
        auto* glow = qobject_cast<QGraphicsDropShadowEffect*>(b->graphicsEffect());
        QVERIFY(glow);
        QVERIFY(!glow->isEnabled());
        QCOMPARE(glow->color(), QColor(24, 160, 255, 255));
        // Single, Repeat and Stop carry drawn icons; Auto is text only.
        QCOMPARE(b->icon().isNull(), i == 0);
        if (i > 0)
            QVERIFY(!iconImage(b->icon()).isNull());
    }
    QCOMPARE(button(c, "btnSmpAutoScale")->text(), QString("Auto"));
}

void TestSmpCtrl::initShowsButtonsForDevice_data()
{
    QTest::addColumn<int>("workMode");
    QTest::addColumn<int>("model");
    QTest::addColumn<bool>("autoShown");
    QTest::addColumn<bool>("repeatShown");
    QTest::newRow("logic, demo") << int(WorkModeLA) << int(DevModelDemo) << false << true;
    QTest::newRow("oscilloscope") << int(WorkModeOsc) << int(DevModelDemo) << true << true;
    QTest::newRow("model without repeat") << int(WorkModeLA) << int(DevModelAlder) << false << false;
}

void TestSmpCtrl::initShowsButtonsForDevice()
{
    QFETCH(int, workMode);
    QFETCH(int, model);
    QFETCH(bool, autoShown);
    QFETCH(bool, repeatShown);
    devUsing->workMode = workMode;
    devUsing->devModel = model;
    SmpCtrl c(nullptr);
    button(c, "btnSmpSingle")->setChecked(true);
    c.init();
    QCOMPARE(!button(c, "btnSmpAutoScale")->isHidden(), autoShown);
    QCOMPARE(!button(c, "btnSmpRepeat")->isHidden(), repeatShown);
    QVERIFY(!button(c, "btnSmpSingle")->isHidden());
    // init shows the stopped state.
    QVERIFY(button(c, "btnSmpStop")->isChecked());
    QVERIFY(!button(c, "btnSmpSingle")->isChecked());
}

void TestSmpCtrl::staChangedMarksOneButton_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("checkedIndex");   // -1: none
    QTest::newRow("stopped -1") << -1 << int(SmpCtrl::BtnStop);
    QTest::newRow("negative -7") << -7 << int(SmpCtrl::BtnStop);
    QTest::newRow("auto 0") << 0 << int(SmpCtrl::BtnAuto);
    QTest::newRow("single 1") << 1 << int(SmpCtrl::BtnSingle);
    QTest::newRow("repeat wait 2") << 2 << int(SmpCtrl::BtnRepeat);
    QTest::newRow("repeat 3") << 3 << int(SmpCtrl::BtnRepeat);
    QTest::newRow("no mode 4") << 4 << -1;
    QTest::newRow("no mode 5") << 5 << -1;
}

void TestSmpCtrl::staChangedMarksOneButton()
{
    QFETCH(int, mode);
    QFETCH(int, checkedIndex);
    SmpCtrl c(nullptr);
    const char* names[] = {"btnSmpAutoScale", "btnSmpSingle", "btnSmpRepeat", "btnSmpStop"};
    // Start from a different state with every glow on, so each must be set.
    for (const char* n : names) {
        button(c, n)->setChecked(true);
        button(c, n)->graphicsEffect()->setEnabled(true);
    }
    c.devSmpStaChanged(mode);
    for (int i = 0; i < 4; ++i) {
        QPushButton* b = button(c, names[i]);
        QCOMPARE(b->isChecked(), i == checkedIndex);
        QCOMPARE(b->graphicsEffect()->isEnabled(), i == checkedIndex);
    }
}

void TestSmpCtrl::connectSwapsIcons()
{
    SmpCtrl c(nullptr);
    QPushButton* single = button(c, "btnSmpSingle");
    QPushButton* repeat = button(c, "btnSmpRepeat");
    QPushButton* stop = button(c, "btnSmpStop");
    const QImage stopBefore = iconImage(stop->icon());
    QCOMPARE(iconImage(single->icon()), iconImage(QIcon(":/res/btnSmpSingle")));

    c.devConnectChanged(true);
    QCOMPARE(iconImage(single->icon()), iconImage(QIcon(":/res/btnSmpSingle2")));
    QCOMPARE(iconImage(repeat->icon()), iconImage(QIcon(":/res/btnSmpAuto2")));
    QVERIFY(iconImage(single->icon()) != iconImage(QIcon(":/res/btnSmpSingle")));
    QCOMPARE(iconImage(stop->icon()), stopBefore);

    c.devConnectChanged(false);
    QCOMPARE(iconImage(single->icon()), iconImage(QIcon(":/res/btnSmpSingle")));
    QCOMPARE(iconImage(repeat->icon()), iconImage(QIcon(":/res/btnSmpAuto")));
    QCOMPARE(iconImage(stop->icon()), stopBefore);
}

void TestSmpCtrl::repeatModeFromConfig_data()
{
    QTest::addColumn<QString>("autoWaitTrig");
    QTest::addColumn<int>("mode");
    QTest::newRow("1") << "1" << int(SmpStartRepeatWait);
    QTest::newRow("7") << "7" << int(SmpStartRepeatWait);
    QTest::newRow("-1") << "-1" << int(SmpStartRepeatWait);
    QTest::newRow("0") << "0" << int(SmpStartRepeat);
    QTest::newRow("empty") << "" << int(SmpStartRepeat);
    QTest::newRow("letters") << "yes" << int(SmpStartRepeat);
}

void TestSmpCtrl::repeatModeFromConfig()
{
    QFETCH(QString, autoWaitTrig);
    QFETCH(int, mode);
    Config::saveGlobalParam("autoWaitTrig", autoWaitTrig);
    SmpCtrl c(nullptr);
    button(c, "btnSmpRepeat")->click();
    QCOMPARE(devUsing->smpStartMode.load(), mode);
    QVERIFY(devUsing->smpRunning);
    QCOMPARE(log.events, QStringList({"stopAnalyzers", "clearResults", "start"}));
}

void TestSmpCtrl::startStopsCaptureThenDecoders_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<int>("mode");
    QTest::newRow("Single over repeat") << "btnSmpSingle" << int(SmpStartSingle);
    QTest::newRow("Repeat over repeat") << "btnSmpRepeat" << int(SmpStartRepeat);
}

void TestSmpCtrl::startStopsCaptureThenDecoders()
{
    QFETCH(QString, which);
    QFETCH(int, mode);
    Config::saveGlobalParam("autoWaitTrig", "0");
    SmpCtrl c(nullptr);
    startRepeat();
    log.events.clear();
    button(c, which.toLatin1().constData())->click();
    // The capture was stopped and waited for before the decoders were
    // touched, and exactly one new capture followed.
    QCOMPARE(log.events, QStringList({"stopAnalyzers", "clearResults", "start"}));
    QCOMPARE(devUsing->smpStartMode.load(), mode);
    QVERIFY(devUsing->smpRunning);
}

void TestSmpCtrl::startWithoutDecoderHooks()
{
    SmpCtrl::stopAllAnalyzer = nullptr;
    SmpCtrl::clearAnalyzerResult = nullptr;
    SmpCtrl c(nullptr);
    c.slotBtnSingleClicked();
    QCOMPARE(log.events, QStringList({"start"}));
    QCOMPARE(devUsing->smpStartMode.load(), int(SmpStartSingle));
    // No device at all: nothing to start, nothing to crash on.
    DevBase* dev = devUsing;
    devUsing = nullptr;
    c.slotBtnSingleClicked();
    c.slotBtnRepeatClicked();
    c.slotBtnStopClicked();
    devUsing = dev;
}

void TestSmpCtrl::stopRequestsWithoutWaiting()
{
    SmpCtrl c(nullptr);
    CaptureSignals sig(devUsing);
    startRepeat();
    c.devSmpStaChanged(SmpStartRepeat);
    QPushButton* stop = button(c, "btnSmpStop");
    stop->click();
    QVERIFY(stop->isChecked());
    QVERIFY(devUsing->smpStopReq);
    QCOMPARE(log.events, QStringList({"start"}));   // no decoder calls, no start
    // The device ends the capture on its own and reports it.
    QTRY_VERIFY(!devUsing->smpRunning);
    QTRY_VERIFY(!sig.sta.isEmpty() && sig.sta.last().at(0).toInt() == SmpStaStopped);

    // Stop while idle stays checked although the click toggles it.
    c.devSmpStaChanged(-1);
    stop->click();
    QVERIFY(stop->isChecked());
}

void TestSmpCtrl::autoOnDisconnectedIsRepeat()
{
    // Without a connected device there is nothing to scale: Auto repeats.
    Config::saveGlobalParam("autoWaitTrig", "0");
    devUsing->workMode = WorkModeOsc;
    SmpCtrl c(nullptr);
    c.init();
    button(c, "btnSmpAutoScale")->click();
    QCOMPARE(devUsing->smpStartMode.load(), int(SmpStartRepeat));
    QCOMPARE(log.events, QStringList({"stopAnalyzers", "clearResults", "start"}));
    devUsing->smpStopAndWait();
    devUsing->workMode = WorkModeLA;
}

// ---------------------------------------------------------------------------
// SmpSetting

void TestSmpCtrl::settingConstruction()
{
    SmpSetting s;
    QCOMPARE(s.objectName(), QString("SmpSetting"));
    QCOMPARE(s.getSmpTime(), QString("Sample Rate"));
    QLabel* depth = s.findChild<QLabel*>("SmpDepth");
    QLabel* time = s.findChild<QLabel*>("SmpTime");
    QVERIFY(depth && time);
    QCOMPARE(depth->text(), QString("Sample Depth"));
    QCOMPARE(time->text(), QString("Sample Rate"));
    QComboBox* d = combo(s, "cbxSmpDepth");
    QComboBox* f = combo(s, "cbxSmpFrequ");
    QVERIFY(d && f);
    QCOMPARE(d->count(), 0);
    QCOMPARE(f->count(), 0);
    QCOMPARE(d->maxVisibleItems(), 20);
    QCOMPARE(d->toolTip(), QString("Sample Depth (samples per acquisition)"));
    QCOMPARE(f->toolTip(), QString("Sample Rate (samples per second)"));
    QCOMPARE(f->view()->font().pixelSize(), Config::pixel(13));
}

void TestSmpCtrl::refillDoesNotReachDevice()
{
    SmpSetting s;
    s.init();
    QComboBox* f = combo(s, "cbxSmpFrequ");
    QComboBox* d = combo(s, "cbxSmpDepth");
    DevBase* dev = devUsing;
    QCOMPARE(f->count(), dev->smpFrequList.size());
    QCOMPARE(d->count(), dev->smpDepthList.size());
    QCOMPARE(f->currentIndex(), dev->smpFrequIndex);
    QCOMPARE(d->currentIndex(), dev->smpDepthIndex);
    QCOMPARE(f->itemText(0), dev->getSmpFrequStringList().first());

    // Switch to stream mode, then refill while a capture runs: the lists
    // change, the device's choice and the capture do not.
    dev->setSmpMode(SmpModeStream);
    const int rate = dev->smpFrequIndex;
    const int depth = dev->smpDepthIndex;
    const QString savedRate = Config::readDeviceParam(dev->devName, "smpFrequIndex");
    startRepeat();
    log.events.clear();
    s.devSmpModeChanged();
    QCOMPARE(f->count(), dev->smpFrequList.size());
    QCOMPARE(d->count(), dev->smpDepthList.size());
    QCOMPARE(d->itemText(d->count() - 1), dev->getSmpDepthStringList().last());
    QCOMPARE(f->currentIndex(), rate);
    QCOMPARE(d->currentIndex(), depth);
    QCOMPARE(dev->smpFrequIndex, rate);
    QCOMPARE(dev->smpDepthIndex, depth);
    QCOMPARE(Config::readDeviceParam(dev->devName, "smpFrequIndex"), savedRate);
    QVERIFY(log.events.isEmpty());
    QVERIFY(dev->smpRunning && !dev->smpStopReq);
}

void TestSmpCtrl::choiceRestartsOnce_data()
{
    QTest::addColumn<bool>("rate");
    QTest::addColumn<bool>("capturing");
    QTest::newRow("rate, idle") << true << false;
    QTest::newRow("rate, capturing") << true << true;
    QTest::newRow("depth, idle") << false << false;
    QTest::newRow("depth, capturing") << false << true;
}

void TestSmpCtrl::choiceRestartsOnce()
{
    QFETCH(bool, rate);
    QFETCH(bool, capturing);
    SmpSetting s;
    s.init();
    DevBase* dev = devUsing;
    if (capturing)
        startRepeat();
    log.events.clear();
    QComboBox* box = combo(s, rate ? "cbxSmpFrequ" : "cbxSmpDepth");
    const int index = rate ? dev->smpFrequIndex + 3 : dev->smpDepthIndex + 1;
    box->setCurrentIndex(index);   // as the user's choice in the list

    QCOMPARE(rate ? dev->smpFrequIndex : dev->smpDepthIndex, index);
    QCOMPARE(Config::readDeviceParam(dev->devName, rate ? "smpFrequIndex" : "smpDepthIndex"),
             QString::number(index));
    QCOMPARE(log.starts(), capturing ? 1 : 0);
    QCOMPARE(bool(dev->smpRunning), capturing);
    // The restart keeps the previous start mode.
    if (capturing)
        QCOMPARE(dev->smpStartMode.load(), int(SmpStartRepeat));
}

void TestSmpCtrl::forcedLowerRateRestartsOnce_data()
{
    QTest::addColumn<bool>("capturing");
    QTest::newRow("idle") << false;
    QTest::newRow("capturing") << true;
}

void TestSmpCtrl::forcedLowerRateRestartsOnce()
{
    QFETCH(bool, capturing);
    DevBase* dev = devUsing;
    dev->setSmpMode(SmpModeStream);
    SmpSetting s;
    s.init();
    QComboBox* f = combo(s, "cbxSmpFrequ");
    // The top stream rate allows only three channels: the device cuts the rest.
    f->setCurrentIndex(0);
    QCOMPARE(dev->smpFrequIndex, 0);
    QCOMPARE(dev->getDChnEnaNum(), 3);
    if (capturing)
        startRepeat();
    log.events.clear();

    // A panel enables all channels inside its stop/restart bracket; the rate
    // no longer fits and the device lowers it.
    QSignalSpy lower(dev, &DevBase::sigSmpFrequToLower);
    dev->smpStopForRestart();
    QVERIFY(dev->setDChnEna(QVector<bool>(dev->chnNum(), true)));
    dev->smpRestartIfNeed();

    QCOMPARE(lower.count(), 1);
    const int lowered = dev->getMinSmpFrequIndex(dev->chnNum());
    QVERIFY(lowered > 0);
    QCOMPARE(dev->smpFrequIndex, lowered);
    QCOMPARE(f->currentIndex(), lowered);
    QCOMPARE(log.starts(), capturing ? 1 : 0);
    QCOMPARE(bool(dev->smpRunning), capturing);
}

void TestSmpCtrl::restartSurvivesNestedBracket()
{
    DevBase* dev = devUsing;
    dev->setSmpMode(SmpModeStream);
    SmpSetting s;
    s.init();
    // Something that reacts to the cut channel list brackets its own change.
    connect(dev, &DevBase::sigChnEnaChanged, dev, [dev] {
        dev->smpStopForRestart();
        dev->smpRestartIfNeed();
    });
    startRepeat();
    log.events.clear();
    combo(s, "cbxSmpFrequ")->setCurrentIndex(0);   // cuts channels
    QCOMPARE(dev->getDChnEnaNum(), 3);
    QCOMPARE(log.starts(), 1);
    QVERIFY(dev->smpRunning);
}

void TestSmpCtrl::invalidIndexIgnored_data()
{
    QTest::addColumn<bool>("rate");
    QTest::addColumn<int>("index");   // -2: the list's size
    QTest::newRow("rate -1") << true << -1;
    QTest::newRow("rate past end") << true << -2;
    QTest::newRow("depth -1") << false << -1;
    QTest::newRow("depth past end") << false << -2;
}

void TestSmpCtrl::invalidIndexIgnored()
{
    QFETCH(bool, rate);
    QFETCH(int, index);
    SmpSetting s;
    s.init();
    DevBase* dev = devUsing;
    if (index == -2)
        index = rate ? dev->smpFrequList.size() : dev->smpDepthList.size();
    const int before = rate ? dev->smpFrequIndex : dev->smpDepthIndex;
    startRepeat();
    log.events.clear();
    if (rate)
        s.slotSmpFrequClicked(index);
    else
        s.slotSmpDepthClicked(index);
    // Not a choice: the capture runs on untouched.
    QCOMPARE(rate ? dev->smpFrequIndex : dev->smpDepthIndex, before);
    QVERIFY(log.events.isEmpty());
    QVERIFY(dev->smpRunning && !dev->smpStopReq);

    // An emptied list reports -1 through the connected signal: same result.
    combo(s, rate ? "cbxSmpFrequ" : "cbxSmpDepth")->clear();
    QVERIFY(log.events.isEmpty());
    QVERIFY(dev->smpRunning && !dev->smpStopReq);
}

void TestSmpCtrl::initFollowsNewDevice()
{
    SmpSetting s;
    s.init();
    s.init();   // a second init for the same device
    QComboBox* f = combo(s, "cbxSmpFrequ");

    // The device is replaced: the box follows the new one only.
    DevBase* old = devUsing;
    devUsing = new DevNone;
    devUsing->setSmpMode(SmpModeStream);
    s.init();
    QCOMPARE(f->count(), devUsing->smpFrequList.size());
    delete old;

    DevBase* dev = devUsing;
    dev->setSmpFrequ(0);
    QCOMPARE(dev->getDChnEnaNum(), 3);
    dev->setDChnEna(QVector<bool>(dev->chnNum(), true));
    QCOMPARE(f->currentIndex(), dev->smpFrequIndex);
    QVERIFY(dev->smpFrequIndex > 0);
}

QTEST_MAIN(TestSmpCtrl)
#include "test_smpctrl.moc"
