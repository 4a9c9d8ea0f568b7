// The calibration window of the main window on the mixed-signal model over
// the emulated analyzer: the automatic converter calibration with scripted
// converter words per capture (five captures, three log lines, the stored
// zeros and slopes, the last capture reading the target), edits reaching
// the registers, Save writing both EEPROM copies, a second click and a
// capture of the user's own during a run.
#include <QtTest>

#include <QPushButton>
#include <QTextEdit>

#include <memory>

#include "EmuAnalyzer.h"
#include "app/mainwindow.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "data/SmpDataOsc.h"
#include "device/DevGlobals.h"
#include "device/DevSupport.h"
#include "osc/CalibrateOsc.h"
#include "osc/DevMS.h"
#include "support/TestEnv.h"
#include "toolbar/SmpCtrl.h"
#include "widgets/MySpinBox.h"

namespace {

QVector<qint16> words(int n, const std::function<qint16(int)>& f)
{
    QVector<qint16> w(n);
    for (int i = 0; i < n; ++i)
        w[i] = f(i);
    return w;
}

} // namespace

class TestUsbCalibrate : public QObject, public EmuRig
{
    Q_OBJECT

    std::unique_ptr<MainWindow> win;

    // The main window on the mixed-signal model, connected to the emulator
    // (blank EEPROM: default calibration), with its calibration window open.
    CalibrateOsc* openCalibration()
    {
        EmuAnalyzer::Options o;
        o.memorySize = 2 * DevPoplar::kMemory;
        if (!plugRunning(o))
            return nullptr;
        emu->setStatusAfterStart(0x85C5);   // every capture done at once
        auto* dev = new DevPoplar;
        devUsing = dev;
        dev->devConnect(nullptr);
        win = std::make_unique<MainWindow>();
        win->show();
        win->slotOpenCalibrate();
        return win->calibrate;
    }
    int captureStarts() const
    {
        int n = 0;
        for (const auto& w : emu->regWrites())
            n += w.reg == 0 && w.data == QByteArray(1, 3);
        return n;
    }
    QList<int> registers() const
    {
        QList<int> r;
        for (const auto& w : emu->regWrites())
            r << w.reg;
        return r;
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
        QVERIFY2(startRig(), "must run under umockdev-wrapper, with libusb");
    }
    void cleanup()
    {
        if (devUsing)
            devUsing->smpStopAndWait();
        win.reset();
        delete devUsing;
        devUsing = nullptr;
        stopRig();
    }
    void cleanupTestCase() { MainWindow::criticalBox = nullptr; }

    void automaticCalibration()
    {
        CalibrateOsc* w = openCalibration();
        QVERIFY(w);
        DevBase* dev = devUsing;
        const int n = 5000;
        // 1: set-up; 2: both channels, raw means 10.3 and -5; 3: channel 1
        // alone, the converters' raw words alternating 3 and -2; 4 and 5:
        // both channels at raw 400 and 350.
        const QVector<qint16> idle = words(n, [](int) { return qint16(0); });
        const QVector<qint16> slopeA = words(n, [](int) { return qint16(400); });
        const QVector<qint16> slopeB = words(n, [](int) { return qint16(350); });
        emu->queueAnalogCaptures({
            {{idle, idle}, 0, 4 * n},
            {{words(n, [](int i) { return qint16(i % 10 < 7 ? 10 : 11); }),
              words(n, [](int) { return qint16(-5); })}, 0, 4 * n},
            {{words(n, [](int i) { return qint16(i % 2 == 0 ? 3 : -2); })}, 0, 2 * n},
            {{slopeA, slopeB}, 0, 4 * n},
            {{slopeA, slopeB}, 0, 4 * n},
        });
        emu->clearRegWrites();
        QSignalSpy codes(w, &CalibrateOsc::calibSettingChanged);
        w->btnAuto->click();
        QVERIFY(w->running());
        QVERIFY(!w->btnAuto->isEnabled());
        // A second click while the run goes on starts nothing.
        w->slotBtnAutoClicked();
        QCOMPARE(w->autoStep, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!w->running(), 30000);

        QCOMPARE(captureStarts(), 5);
        QCOMPARE(emu->analogCapturesLeft(), 0);
        QCOMPARE(codes.size(), 4);
        for (const QVariantList& c : codes)
            QCOMPARE(c, (QVariantList{2, -1}));
        QCOMPARE(w->editLog->toPlainText().split('\n'),
                 (QStringList{"zero-dual:\t10.30\t-5.00\t-10\t4", "zero-single:\t3.00\t-2.00\t-3\t1",
                              "slope:\t\t400.0\t350.0\t985\t1086"}));
        QCOMPARE(dev->adcZeroDual, QVector<int>({-10, 4}));
        QCOMPARE(dev->adcZeroSingle, QVector<int>({-3, 1}));
        QCOMPARE(dev->adcSlope, QVector<int>({985, 1086}));
        // The last capture reads the target with the new values.
        const SmpDataOsc* s = dev->shownDataOsc();
        for (int c = 0; c < 2; ++c) {
            QVERIFY(s->record(c));
            QCOMPARE(s->record(c)->count, n);
            for (int i = 0; i < n; i += 97)
                QVERIFY2(qAbs(s->record(c)->samples[i] - 384) <= 1, qPrintable(QString::number(s->record(c)->samples[i])));
        }
        // Enables (62) and offsets (72) went to the device for the steps.
        QVERIFY(registers().contains(62));
        QVERIFY(registers().contains(72));
        QVERIFY(w->btnAuto->isEnabled());
        QCOMPARE(dev->aTimeDiv(), 5000LL);

        // Edits reach the registers at once.
        emu->clearRegWrites();
        w->spinGain[0][2]->setValue(300);
        QCOMPARE(registers().last(), 64);
        w->spinZero[1][0]->setValue(-4);
        QVERIFY(registers().contains(72));
        dev->setAChnEna(QVector<bool>({false, true}));
        emu->clearRegWrites();
        w->spinSlope[0]->setValue(1250);
        QCOMPARE(registers().first(), 62);

        // Save: the record twice, check word and all.
        w->btnSave->click();
        const DevPoplar* p = static_cast<DevPoplar*>(dev);
        const QByteArray rec = p->packCalib();
        QCOMPARE(emu->eepromBytes(DevPoplar::kEepromCopy1, rec.size()), rec);
        QCOMPARE(emu->eepromBytes(DevPoplar::kEepromCopy2, rec.size()), rec);
        QVERIFY(p->calibRecordValid(emu->eepromBytes(DevPoplar::kEepromCopy2, rec.size())));
        QVERIFY(!w->spinGain[0][2]->property("Changed").toBool());
    }

    // The user starts a capture of his own: the run ends instead of
    // calibrating with that capture's settings.
    void foreignCaptureEndsTheRun()
    {
        CalibrateOsc* w = openCalibration();
        QVERIFY(w);
        const QVector<qint16> idle = words(5000, [](int) { return qint16(0); });
        emu->setAnalogCapture({idle, idle}, 0, 20000);
        QSignalSpy codes(w, &CalibrateOsc::calibSettingChanged);
        w->btnAuto->click();
        QTRY_VERIFY_WITH_TIMEOUT(codes.size() == 1, 15000);
        devUsing->smpStart(SmpStartSingle, false);
        QVERIFY(!w->running());
        QVERIFY(w->btnAuto->isEnabled());
        QVERIFY(!w->editLog->toPlainText().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(!devUsing->smpRunning, 15000);
        QTest::qWait(400);
        QCOMPARE(codes.size(), 1);
        QCOMPARE(w->autoStep, 1);
    }

    // The user stops the run's capture (F7): the run ends, "Calibrate" can
    // be clicked again.
    void stoppedCaptureEndsTheRun()
    {
        CalibrateOsc* w = openCalibration();
        QVERIFY(w);
        emu->setStatusAfterStart(0x85C1);   // the capture never ends
        QSignalSpy codes(w, &CalibrateOsc::calibSettingChanged);
        w->btnAuto->click();
        QVERIFY(w->running());
        QTRY_VERIFY_WITH_TIMEOUT(devUsing->smpRunning, 5000);
        win->smpCtrl->slotBtnStopClicked();
        QTRY_VERIFY_WITH_TIMEOUT(!w->running(), 15000);
        QVERIFY(w->btnAuto->isEnabled());
        QVERIFY(w->spinSlope[0]->isEnabled());
        QVERIFY(!w->editLog->toPlainText().isEmpty());
        QCOMPARE(codes.size(), 0);
        QCOMPARE(w->autoStep, 0);
    }
};

QTEST_MAIN(TestUsbCalibrate)
#include "test_usb_calibrate.moc"
