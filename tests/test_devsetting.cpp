// Device settings group, its channel drop-down and the "Device Options"
// dialog: the order in which mode and channels reach the device, exactly one
// restart of a running capture, refusals that change nothing, and pop-ups
// that close unapplied when the device object is replaced.

#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "app/mainwindow.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "device/DevNone.h"
#include "support/PanelKit.h"
#include "support/TestEnv.h"
#include "toolbar/DevSetting.h"
#include "toolbar/PWMSetting.h"
#include "toolbar/SmpSetting.h"
#include "toolbar/VthSetting.h"
#include "widgets/ChnEnaGroupBox.h"
#include "widgets/ChnQuickGroupBox.h"

namespace {

constexpr long long MHz = 1000000;

// What reaches the device, in order: mode and channel changes, rates the
// device lowers, and each capture start on the GUI thread (smpStart
// announces the emptied capture there; the simulation thread's own
// announcements are no starts).
struct DeviceLog {
    QStringList events;
    QVector<QMetaObject::Connection> conns;

    void watch(DevBase* dev)
    {
        conns << QObject::connect(dev, &DevBase::sigSmpModeChanged, [this] { events << "mode"; });
        conns << QObject::connect(dev, &DevBase::sigChnEnaChanged, [this] { events << "chn"; });
        conns << QObject::connect(dev, &DevBase::sigSmpFrequToLower, [this] { events << "lower"; });
        conns << QObject::connect(
            dev, &DevBase::sigSmpDataReady, dev,
            [this](int decode) {
                if (decode == 0 && QThread::currentThread() == qApp->thread())
                    events << "start";
            },
            Qt::DirectConnection);
    }
    ~DeviceLog()
    {
        for (const auto& c : conns)
            QObject::disconnect(c);
    }
    int starts() const { return events.count("start"); }
    QStringList changes() const
    {
        QStringList l;
        for (const QString& e : events)
            if (e == "mode" || e == "chn")
                l << e;
        return l;
    }
};

QStringList quickTexts(const ChnQuickGroupBox* q)
{
    QStringList l;
    for (const QRadioButton* b : q->quickButtons())
        l << b->text().trimmed();
    return l;
}

bool quickChoiceShown(const ChnQuickGroupBox* q)
{
    for (const QRadioButton* b : q->quickButtons())
        if (b->isChecked())
            return true;
    return false;
}

} // namespace

class TestDevSetting : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void groupNamesModelAndMode_data();
    void groupNamesModelAndMode();
    void radioRelabelsQuickSelector();
    void otherTableLengthReplacesSelector();
    void dropDownApplies_data();
    void dropDownApplies();
    void emptySelectionRefused();
    void streamAllChannelsRestartsOnce();
    void dropDownClosesWithItsDevice();
    void dropDownClosesWhileRunning();

    void optionsSlider_data();
    void optionsSlider();
    void optionsWithoutTriggerGroup();
    void optionsPwmRefused();
    void optionsPwmWrites();
    void optionsClosesWithItsDevice();

    void mainWindowWiring();

private:
    // The demonstration device, capturing repeatedly when asked.
    DevBase* demo(int mode, bool capturing)
    {
        DevBase* dev = devUsing;
        dev->setSmpMode(mode);
        if (capturing) {
            dev->smpStart(SmpStartRepeat, false);
            if (!dev->smpRunning)
                qWarning("the demonstration capture did not start");
        }
        return dev;
    }
};

void TestDevSetting::initTestCase()
{
    TestEnv::startProgram();
}

void TestDevSetting::init()
{
    Config::setDefaultDocument();
    devUsing = new DevNone;
    // Short captures keep the demonstration thread quick.
    QVERIFY(devUsing->setSmpDepth(0));
}

void TestDevSetting::cleanup()
{
    delete devUsing;   // stops and joins a running capture
    devUsing = nullptr;
}

// ---------------------------------------------------------------------------
// The group and the drop-down

void TestDevSetting::groupNamesModelAndMode_data()
{
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("modeText");
    QTest::newRow("demo, normal") << int(DevModelDemo) << 0 << "Demo" << "Normal Mode";
    QTest::newRow("demo, stream") << int(DevModelDemo) << 1 << "Demo" << "Stream Mode";
    QTest::newRow("willow") << int(DevModelWillow) << 1 << "Willow" << "Logic Analyzer";
}

void TestDevSetting::groupNamesModelAndMode()
{
    QFETCH(int, model);
    QFETCH(int, mode);
    QFETCH(QString, name);
    QFETCH(QString, modeText);
    delete devUsing;
    devUsing = DevBase::createDevice(model);
    devUsing->setSmpMode(mode);
    DevSetting group;
    group.init();
    QCOMPARE(group.lblModel->text(), name);
    QCOMPARE(group.lblSmpMode->text(), modeText);

    DevSettingMenu menu(&group);
    QCOMPARE(menu.radioNormal != nullptr, model != DevModelWillow);
    QCOMPARE(menu.findChildren<QGroupBox*>().size(), model == DevModelWillow ? 2 : 3);
    if (menu.radioNormal)
        QCOMPARE(menu.radioStream->isChecked(), mode == 1);
    QCOMPARE(menu.quick->quickButtons().size(),
             (mode == 1 ? devUsing->streamChnFrequ : devUsing->bufChnFrequ).size());
    QCOMPARE(menu.chnEna->chnBoxes().size(), devUsing->chnNum());
}

void TestDevSetting::radioRelabelsQuickSelector()
{
    DevBase* dev = demo(SmpModeBuffer, false);
    DevSettingMenu menu;
    QCOMPARE(quickTexts(menu.quick).first(), QString("CH0~3 (Maximum sample rate is 500MHz)"));
    menu.quick->quickButtons().first()->click();
    QVERIFY(quickChoiceShown(menu.quick));

    menu.radioStream->click();
    QCOMPARE(quickTexts(menu.quick), (QStringList{"CH0~2 (Maximum sample rate is 100MHz)",
                                                  "CH0~5 (Maximum sample rate is 50MHz)",
                                                  "CH0~15 (Maximum sample rate is 20MHz)"}));
    QVERIFY(!quickChoiceShown(menu.quick));
    // Only OK changes the device.
    QCOMPARE(dev->smpMode, int(SmpModeBuffer));

    // The relabelled choices select their own ranges.
    menu.quick->quickButtons()[1]->click();
    const auto& boxes = menu.chnEna->chnBoxes();
    for (int i = 0; i < boxes.size(); ++i)
        QCOMPARE(boxes[i]->isChecked(), i <= 5);
}

void TestDevSetting::otherTableLengthReplacesSelector()
{
    DevBase* dev = demo(SmpModeBuffer, false);
    dev->streamChnFrequ = {{3, 100 * MHz}, {6, 50 * MHz}, {9, 32 * MHz}, {12, 25 * MHz}, {16, 16 * MHz}};
    DevSettingMenu menu;
    ChnQuickGroupBox* before = menu.quick;
    QCOMPARE(before->quickButtons().size(), 3);

    menu.radioStream->click();
    QCOMPARE(menu.quick->quickButtons().size(), 5);
    QCOMPARE(menu.findChildren<ChnQuickGroupBox*>().size(), 1);
    QCOMPARE(quickTexts(menu.quick)[2], QString("CH0~8 (Maximum sample rate is 32MHz)"));

    // Wired both ways again.
    menu.quick->quickButtons()[2]->click();
    const auto& boxes = menu.chnEna->chnBoxes();
    for (int i = 0; i < boxes.size(); ++i)
        QCOMPARE(boxes[i]->isChecked(), i <= 8);
    boxes[12]->click();
    QVERIFY(!quickChoiceShown(menu.quick));

    menu.radioNormal->click();
    QCOMPARE(quickTexts(menu.quick).size(), 3);
    QCOMPARE(quickTexts(menu.quick).last(), QString("CH0~15 (Maximum sample rate is 500MHz)"));
}

void TestDevSetting::dropDownApplies_data()
{
    QTest::addColumn<int>("deviceMode");
    QTest::addColumn<bool>("chooseStream");
    QTest::addColumn<int>("channels");   // channels 0..n-1 ticked; 0 leaves the boxes as they are
    QTest::addColumn<bool>("capturing");
    QTest::addColumn<QStringList>("changes");
    QTest::newRow("normal to stream, idle") << 0 << true << 3 << false << QStringList{"chn", "mode"};
    QTest::newRow("normal to stream, capturing") << 0 << true << 3 << true << QStringList{"chn", "mode"};
    QTest::newRow("stream to normal, capturing") << 1 << false << 8 << true << QStringList{"mode", "chn"};
    QTest::newRow("stream kept, channels, capturing") << 1 << true << 8 << true << QStringList{"chn"};
    QTest::newRow("nothing changed, capturing") << 0 << false << 0 << true << QStringList{};
    QTest::newRow("nothing changed, idle") << 0 << false << 0 << false << QStringList{};
}

void TestDevSetting::dropDownApplies()
{
    QFETCH(int, deviceMode);
    QFETCH(bool, chooseStream);
    QFETCH(int, channels);
    QFETCH(bool, capturing);
    QFETCH(QStringList, changes);
    DevBase* dev = demo(deviceMode, capturing);
    SmpSetting smp;   // follows rates the device lowers, as in the window
    smp.init();
    DevSetting group;
    DevSettingMenu menu(&group);
    menu.popup(QPoint(0, 0));
    (chooseStream ? menu.radioStream : menu.radioNormal)->click();
    if (channels > 0)
        menu.chnEna->slotChnEnaSelect(0, channels - 1);
    DeviceLog log;
    log.watch(dev);
    WarningLog warnings;

    menu.slotBtnSaveClicked();

    QCOMPARE(log.changes(), changes);
    QCOMPARE(log.starts(), capturing ? 1 : 0);
    QCOMPARE(bool(dev->smpRunning), capturing);
    QCOMPARE(dev->smpMode, chooseStream ? 1 : 0);
    if (channels > 0)
        QCOMPARE(dev->getDChnEnaNum(), channels);
    QVERIFY(warnings.texts.isEmpty());
    QVERIFY(!menu.isVisible());
}

void TestDevSetting::emptySelectionRefused()
{
    DevBase* dev = demo(SmpModeBuffer, true);
    DevSetting group;
    DevSettingMenu menu(&group);
    menu.popup(QPoint(0, 0));
    menu.radioStream->click();
    menu.chnEna->slotChnEnaSelect(1, 0);   // unticks every box
    DeviceLog log;
    log.watch(dev);
    WarningLog warnings;

    menu.slotBtnSaveClicked();

    QCOMPARE(warnings.texts, QStringList{"Please select at least one channel."});
    QCOMPARE(warnings.titles, QStringList{"A Setting is Invalid"});
    QVERIFY(menu.isVisible());
    // Nothing applied, and the capture was never stopped.
    QVERIFY(log.events.isEmpty());
    QCOMPARE(dev->smpMode, int(SmpModeBuffer));
    QCOMPARE(dev->getDChnEnaNum(), dev->chnNum());
    QVERIFY(dev->smpRunning);
    QVERIFY(!dev->smpStopReq);
}

void TestDevSetting::streamAllChannelsRestartsOnce()
{
    DevBase* dev = demo(SmpModeStream, false);
    SmpSetting smp;
    smp.init();
    QVERIFY(dev->setSmpFrequ(0));   // 100 MHz: the device keeps three channels
    QCOMPARE(dev->getDChnEnaNum(), 3);
    dev->smpStart(SmpStartRepeat, false);
    DevSettingMenu menu;
    menu.chnEna->slotChnEnaSelect(0, 15);
    DeviceLog log;
    log.watch(dev);

    menu.slotBtnSaveClicked();

    QCOMPARE(log.events.count("lower"), 1);
    QCOMPARE(dev->getSmpFrequ(), 20 * MHz);
    QCOMPARE(dev->getDChnEnaNum(), 16);
    QCOMPARE(log.starts(), 1);
    QVERIFY(dev->smpRunning);
    QCOMPARE(dev->smpStartMode.load(), int(SmpStartRepeat));
}

void TestDevSetting::dropDownClosesWithItsDevice()
{
    DevSetting group;
    DevSettingMenu menu(&group);
    menu.popup(QPoint(0, 0));
    menu.chnEna->slotChnEnaSelect(0, 0);
    QVERIFY(menu.isVisible());

    // Hot-plug replaces the object with a 32-channel model meanwhile.
    delete devUsing;
    devUsing = DevBase::createDevice(DevModelRowan);
    QVERIFY(!menu.isVisible());
    const QVector<bool> before = devUsing->chnEna;
    WarningLog warnings;
    menu.slotBtnSaveClicked();
    // No false "select at least one channel" for the other model's boxes,
    // and nothing of the old choice on the new object.
    QVERIFY(warnings.texts.isEmpty());
    QCOMPARE(devUsing->chnEna, before);
}

void TestDevSetting::dropDownClosesWhileRunning()
{
    DevSetting group;
    group.init();
    group.show();
    QVERIFY(QTest::qWaitForWindowExposed(&group));
    bool seen = false;
    // Runs inside the drop-down's own event loop: the device goes meanwhile.
    QTimer::singleShot(0, &group, [&] {
        DevSettingMenu* m = group.findChild<DevSettingMenu*>();
        seen = m && m->isVisible();
        delete devUsing;
        devUsing = new DevNone;
    });
    // Should the drop-down stay open, this ends the test instead of hanging.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, &group, [&] {
        if (QWidget* w = QApplication::activePopupWidget())
            w->close();
    });
    guard.start(5000);
    group.slotChnSettingClicked();
    QVERIFY(guard.isActive());
    QVERIFY(seen);
    QVERIFY(!group.findChild<DevSettingMenu*>());
}

// ---------------------------------------------------------------------------
// The options dialog

void TestDevSetting::optionsSlider_data()
{
    QTest::addColumn<int>("value");   // -1: untouched
    QTest::addColumn<bool>("capturing");
    QTest::newRow("untouched, capturing") << -1 << true;
    QTest::newRow("moved, capturing") << 40 << true;
    QTest::newRow("moved, idle") << 0 << false;
}

void TestDevSetting::optionsSlider()
{
    QFETCH(int, value);
    QFETCH(bool, capturing);
    DevBase* dev = demo(SmpModeBuffer, capturing);
    QVERIFY(dev->setTrgPosition(25));
    Config::saveDeviceParam("Demo", "trgPosition", "");
    DevMoreSetting dlg;
    QVERIFY(dlg.slider);
    QCOMPARE(dlg.slider->value(), 25);
    QCOMPARE(dlg.lblTrg->text(), QString("25%"));
    QCOMPARE(dlg.slider->maximum(), 99);
    if (value >= 0) {
        dlg.slider->setValue(value);
        QCOMPARE(dlg.lblTrg->text(), QString::number(value) + "%");
    }
    DeviceLog log;
    log.watch(dev);

    dlg.slotBtnSaveClicked();

    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    if (value < 0) {
        QCOMPARE(Config::readDeviceParam("Demo", "trgPosition"), QString());
        QCOMPARE(log.starts(), 0);
        QVERIFY(!dev->smpStopReq);
    } else {
        QCOMPARE(Config::readDeviceParam("Demo", "trgPosition"), QString::number(value));
        QCOMPARE(dev->getTrgPosition(), value);
        QCOMPARE(log.starts(), capturing ? 1 : 0);
    }
    QCOMPARE(bool(dev->smpRunning), capturing);
}

void TestDevSetting::optionsWithoutTriggerGroup()
{
    devUsing->aChnEna = {true, true};
    {
        DevMoreSetting dlg;
        QVERIFY(!dlg.slider);
        QVERIFY(dlg.pwm[0]);
        QCOMPARE(dlg.findChildren<QGroupBox*>().size(), 1);
    }
    devUsing->devFunction.clear();
    DevMoreSetting dlg;
    QVERIFY(!dlg.pwm[0] && !dlg.slider);
    QVERIFY(dlg.findChildren<QGroupBox*>().isEmpty());
    dlg.slotBtnSaveClicked();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(Config::readGlobalParam("toolbarPWM"), QString());
}

void TestDevSetting::optionsPwmRefused()
{
    DevBase* dev = demo(SmpModeBuffer, false);
    Config::saveGlobalParam("toolbarPWM", "1");
    DevMoreSetting dlg;
    dlg.show();
    dlg.pwm[1]->check->setChecked(true);
    dlg.pwm[1]->frequ->clear();
    dlg.slider->setValue(60);
    WarningLog warnings;
    dlg.slotBtnSaveClicked();
    QCOMPARE(warnings.texts, QStringList{"The effective range of PWM:[0.1Hz,20MHz], duty cycle:[0,100]%."});
    QVERIFY(dlg.isVisible());
    QCOMPARE(Config::readGlobalParam("toolbarPWM"), QString("1"));
    QVERIFY(!dev->getPWMEnable(1));
    QVERIFY(dev->getTrgPosition() != 60);
}

void TestDevSetting::optionsPwmWrites()
{
    ConnectedModel m(DevModelRowan);
    Config::saveGlobalParam("toolbarPWM", "1");
    QSignalSpy toolbar(m.dev, &DevBase::sigToolbarPWMEna);
    DevMoreSetting dlg;
    QVERIFY(dlg.pwm[0]->check->isChecked());   // the connect defaults: 1 kHz on
    dlg.pwm[1]->check->setChecked(true);
    dlg.pwm[1]->frequ->setText("2.5");
    dlg.pwm[1]->unit->setCurrentIndex(0);
    dlg.pwm[1]->duty->setText("20");
    dlg.slotBtnSaveClicked();

    QCOMPARE(m.writes(), (QStringList{"2:00", "112:" + QString::fromLatin1(m.pwmBytes(1000, 50).toHex()),
                                      "120:" + QString::fromLatin1(m.pwmBytes(2.5e6, 20).toHex()), "2:03"}));
    QCOMPARE(Config::readGlobalParam("toolbarPWM"), QString("0"));
    QCOMPARE(toolbar.count(), 1);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
}

void TestDevSetting::optionsClosesWithItsDevice()
{
    DevMoreSetting dlg;
    dlg.show();
    dlg.slider->setValue(70);
    delete devUsing;
    devUsing = new DevNone;
    QVERIFY(!dlg.isVisible());
    dlg.slotBtnSaveClicked();
    QVERIFY(devUsing->getTrgPosition() != 70);
    QCOMPARE(Config::readGlobalParam("toolbarPWM"), QString());
}

// ---------------------------------------------------------------------------
// In the main window

void TestDevSetting::mainWindowWiring()
{
    Config::saveGlobalParam("toolbarPWM", "1");
    MainWindow::criticalBox = [](QWidget*, const QString&, const QString&) {};
    MainWindow w;
    QCOMPARE(w.devSetting->lblModel->text(), QString("Demo"));
    QCOMPARE(w.vthSetting->presetButton()->text(), QString("3.3V CMOS"));
    QVERIFY(!w.pwmSetting->isHidden());

    // A mode change while capturing: the window clears the shown capture,
    // and the capture comes back exactly once, in the new mode.
    DevBase* dev = demo(SmpModeBuffer, true);
    {
        DevSettingMenu menu(w.devSetting);
        menu.radioStream->click();
        DeviceLog log;
        log.watch(dev);
        menu.slotBtnSaveClicked();
        QCOMPARE(log.changes(), QStringList{"mode"});
        QCOMPARE(log.starts(), 1);
    }
    QVERIFY(dev->smpRunning);
    QCOMPARE(w.devSetting->lblSmpMode->text(), QString("Stream Mode"));
    QCOMPARE(w.smpSetting->findChild<QComboBox*>("cbxSmpFrequ")->count(), dev->smpFrequList.size());
    dev->smpStopAndWait();

    // Saving the options takes the PWM switches off the tool bar.
    {
        DevMoreSetting dlg(w.devSetting);
        dlg.slotBtnSaveClicked();
    }
    QVERIFY(w.pwmSetting->isHidden());

    // Hot-plug replaces the device while the drop-down is open.
    {
        DevSettingMenu menu(w.devSetting);
        menu.popup(QPoint(0, 0));
        w.slotDevPreConnect(DevModelSpruce);
        QVERIFY(!menu.isVisible());
    }
    QCOMPARE(w.devSetting->lblModel->text(), QString("Spruce"));
    QVERIFY(w.vthSetting->groupButton()->isHidden());
    w.slotDevPreConnect(DevModelDemo);
    MainWindow::criticalBox = nullptr;
}

QTEST_MAIN(TestDevSetting)
#include "test_devsetting.moc"
