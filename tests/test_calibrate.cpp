// The calibration window: the converter arithmetic of the automatic steps,
// loading values without writing, what each edit writes to the device,
// Save and its failures, and a device without analog channels.
#include <QtTest>

#include <QPushButton>
#include <QTextEdit>

#include <limits>
#include <memory>

#include "config/Config.h"
#include "config/Lang.h"
#include "data/SmpDataOsc.h"
#include "device/DevGlobals.h"
#include "osc/CalibrateOsc.h"
#include "osc/DevMS.h"
#include "support/RecordingTransport.h"
#include "support/TestEnv.h"
#include "widgets/MySpinBox.h"

class TestCalibrate : public QObject
{
    Q_OBJECT
    std::unique_ptr<RecordingTransport> usb;
    std::unique_ptr<DevBase> dev;

    // The mixed-signal model, connected over the recording transport.
    DevPoplar* connectedPoplar()
    {
        auto* d = new DevPoplar;
        dev.reset(d);
        devUsing = d;
        d->devConnect(nullptr);
        usb->clear();
        return d;
    }
    QList<int> registers() const
    {
        QList<int> r;
        for (const auto& w : usb->regWrites())
            r << w.first;
        return r;
    }
    static bool marked(const MySpinBox* s) { return s->property("Changed").toBool(); }
    // Sets a box as the user would (its valueChanged reaches the window).
    static void edit(MySpinBox* s, int v)
    {
        s->setValue(v);
        QCOMPARE(s->value(), v);
    }

private slots:
    void initTestCase()
    {
        TestEnv::startProgram();
    }
    void init()
    {
        Config::setDefaultDocument();
        usb = std::make_unique<RecordingTransport>();
        devSupport = usb.get();
    }
    void cleanup()
    {
        devUsing = nullptr;
        if (dev)
            dev->connected = false;
        dev.reset();
        devSupport = nullptr;
        usb.reset();
    }

    void zeros_data()
    {
        QTest::addColumn<double>("mean");
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("d");
        QTest::addColumn<int>("result");
        QTest::newRow("10.3 over 4") << 10.3 << 4 << "6.30" << -6;
        QTest::newRow("0.6 over 4") << 0.6 << 4 << "-3.40" << 2;
        QTest::newRow("exact") << -5.0 << 0 << "-5.00" << 4;
        QTest::newRow("saturates low") << 300.0 << 0 << "300.00" << -128;
        QTest::newRow("saturates high") << -300.0 << 0 << "-300.00" << 127;
    }
    void zeros()
    {
        QFETCH(double, mean);
        QFETCH(int, stored);
        QFETCH(QString, d);
        QFETCH(int, result);
        double got = 0;
        QCOMPARE(CalibrateOsc::zeroFor(mean, stored, &got), result);
        QCOMPARE(QString::number(got, 'f', 2), d);
    }

    void slopes_data()
    {
        QTest::addColumn<double>("mean");
        QTest::addColumn<int>("zero");
        QTest::addColumn<int>("slope");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("result");
        QTest::newRow("converter 1") << 390.0 << -10 << 1000 << true << 985;
        QTest::newRow("converter 2") << 354.0 << 4 << 1000 << true << 1086;
        QTest::newRow("slope 1100") << 400.0 << 0 << 1100 << true << 1056;
        QTest::newRow("mean on the zero") << 4.0 << 4 << 1000 << false << 0;
        QTest::newRow("slope 0") << 100.0 << 0 << 0 << false << 0;
        QTest::newRow("past 16 bits") << 0.01 << 0 << 1000 << false << 0;
        QTest::newRow("not a number") << std::nan("") << 0 << 1000 << false << 0;
    }
    void slopes()
    {
        QFETCH(double, mean);
        QFETCH(int, zero);
        QFETCH(int, slope);
        QFETCH(bool, ok);
        QFETCH(int, result);
        double m = 0;
        int r = 0;
        QCOMPARE(CalibrateOsc::slopeFor(mean, zero, slope, &m, &r), ok);
        if (ok)
            QCOMPARE(r, result);
    }

    void means()
    {
        SmpDataOsc s(2, 16);
        const int g[2] = {1000, 1000}, sc[2] = {480, 480}, off[2] = {0, 0};
        double m[2] = {-1, -1};
        // One channel of 7 samples: three of each converter, the seventh left.
        const bool one[2] = {true, false};
        QVERIFY(s.dataConvertStart(0, 1000, g, sc, off, one));
        const short codes[7] = {10, -1, 12, -3, 14, -5, 1000};
        std::copy(codes, codes + 7, s.record(0)->samples);
        s.record(0)->count = 7;
        CalibrateOsc::converterMeans(&s, m);
        QCOMPARE(m[0], 12.0);
        QCOMPARE(m[1], -3.0);
        // Two channels, each over its own samples.
        const bool two[2] = {true, true};
        QVERIFY(s.dataConvertStart(0, 1000, g, sc, off, two));
        s.record(0)->samples[0] = 4;
        s.record(0)->samples[1] = 6;
        s.record(0)->count = 2;
        s.record(1)->samples[0] = -7;
        s.record(1)->count = 1;
        CalibrateOsc::converterMeans(&s, m);
        QCOMPARE(m[0], 5.0);
        QCOMPARE(m[1], -7.0);
        // Nothing to average.
        s.record(0)->count = 0;
        CalibrateOsc::converterMeans(&s, m);
        QCOMPARE(m[0], 0.0);
        QCOMPARE(m[1], 0.0);
        CalibrateOsc::converterMeans(nullptr, m);
        QCOMPARE(m[1], 0.0);
    }

    void openLoadsWithoutWriting()
    {
        DevPoplar* d = connectedPoplar();
        d->aChnZeroTable[0][0] = 200;
        d->aChnZeroTable[1][2] = -7;
        d->aChnOffsetK[1] = 1300;
        d->aChnGainTable[1][4] = -173;
        CalibrateOsc w;
        QSignalSpy codes(&w, &CalibrateOsc::calibSettingChanged);
        w.init();
        QVERIFY(usb->regWrites().isEmpty());
        QVERIFY(codes.isEmpty());
        QCOMPARE(w.spinZero[0][0]->value(), 127);   // shown clamped
        QCOMPARE(d->aChnZeroTable[0][0], 200);
        QCOMPARE(w.spinZero[1][2]->value(), -7);
        QCOMPARE(w.spinSlope[1]->value(), 1300);
        QCOMPARE(w.spinGain[1][4]->value(), -173);
        QCOMPARE(w.spinGain[0].size(), 7);
        QCOMPARE(w.spinZero[1].size(), 3);
        QCOMPARE(w.spinZero[0][0]->minimum(), -128);
        QCOMPARE(w.spinZero[0][0]->maximum(), 127);
        for (const auto& row : w.spinZero)
            for (const MySpinBox* s : row)
                QVERIFY(!marked(s));
        QVERIFY(w.btnAuto->isEnabled());
        QCOMPARE(w.btnAuto->toolTip(), QString());
    }

    void edits()
    {
        DevPoplar* d = connectedPoplar();
        d->setAChnEna(QVector<bool>({true, false}));
        CalibrateOsc w;
        w.init();
        usb->clear();
        QSignalSpy codes(&w, &CalibrateOsc::calibSettingChanged);
        // The "1V" row under CH2: group 2 of channel 1, its offset 0, the
        // second-to-last V/div; every channel switched on first.
        d->aChnOffset[1] = 300;
        d->aVoltDivIndex[1] = 2;
        edit(w.spinZero[1][2], -9);
        QCOMPARE(d->aChnZeroTable[1][2], -9);
        QCOMPARE(d->aChnOffset[1], 0);
        QCOMPARE(d->aVoltDivIndex[1], 5);
        QCOMPARE(d->aChnEna, QVector<bool>({true, true}));
        QCOMPARE(registers(), (QList<int>{62, 72, 72, 64}));
        QVERIFY(marked(w.spinZero[1][2]));
        // The "20mV" row selects V/div 0.
        edit(w.spinZero[0][0], 3);
        QCOMPARE(d->aVoltDivIndex[0], 0);
        // A slope: offset 400 and the second-to-last V/div.
        usb->clear();
        edit(w.spinSlope[0], 1250);
        QCOMPARE(d->aChnOffsetK[0], 1250.0);
        QCOMPARE(d->aChnOffset[0], 400);
        QCOMPARE(d->aVoltDivIndex[0], 5);
        QVERIFY(registers().contains(72));
        QVERIFY(codes.isEmpty());
        // A gain: its V/div, the gains written, the screen told.
        usb->clear();
        edit(w.spinGain[1][3], 80);
        QCOMPARE(d->aChnGainTable[1][3], 80);
        QCOMPARE(d->aVoltDivIndex[1], 3);
        QCOMPARE(registers().last(), 64);
        QCOMPARE(codes.size(), 1);
        QCOMPARE(codes[0], (QVariantList{3, 1}));
        // The gain is written even when the V/div was already chosen.
        usb->clear();
        edit(w.spinGain[1][3], 81);
        QCOMPARE(registers(), (QList<int>{64}));
        const QByteArray b = usb->lastRegWrite(64);
        QCOMPARE(int(qint16(quint8(b[2]) | quint8(b[3]) << 8)), 81);
    }

    void saving()
    {
        DevPoplar* d = connectedPoplar();
        CalibrateOsc w;
        w.init();
        edit(w.spinZero[0][1], 5);
        edit(w.spinGain[0][0], 600);
        // A failed write: the marks stay, the log says so.
        usb->failCode = 2;
        w.btnSave->click();
        QVERIFY(marked(w.spinZero[0][1]));
        QVERIFY(!w.editLog->toPlainText().isEmpty());
        usb->failCode = 0;
        usb->clear();
        w.btnSave->click();
        QVERIFY(!marked(w.spinZero[0][1]));
        QVERIFY(!marked(w.spinGain[0][0]));
        // Both copies of the record.
        QList<int> at;
        for (const auto& c : usb->calls)
            if (!c.in && c.request == 0xA2) {
                at << c.value;
                QCOMPARE(c.data, d->packCalib());
            }
        QCOMPARE(at, (QList<int>{0x40, 0xA0}));
        QVERIFY(d->calibRecordValid(d->packCalib()));
        // Disconnected: edits only mark, Save keeps the marks.
        d->connected = false;
        usb->clear();
        edit(w.spinZero[0][2], 9);
        QCOMPARE(d->aChnZeroTable[0][2], 0);
        QVERIFY(usb->calls.isEmpty());
        w.setEna();
        QVERIFY(!w.btnAuto->isEnabled());
        QCOMPARE(w.btnAuto->toolTip(), QString("Needs a connected analyzer with two analog channels."));
        QVERIFY(w.btnSave->isEnabled());
        QVERIFY(w.spinZero[0][2]->isEnabled());
        w.btnSave->click();
        QVERIFY(marked(w.spinZero[0][2]));
        QVERIFY(usb->calls.isEmpty());
    }

    // A device without analog channels: no rows to read, nothing written
    // past its lists, nothing to calibrate.
    void deviceWithoutAnalogChannels()
    {
        dev.reset(DevBase::createDevice(DevModelDemo));
        devUsing = dev.get();
        CalibrateOsc w;
        w.init();
        QCOMPARE(w.spinZero[0].size(), 0);
        QCOMPARE(w.spinGain[1].size(), 0);
        QVERIFY(!w.btnAuto->isEnabled());
        QVERIFY(!w.spinSlope[0]->isEnabled());
        dev->connected = true;
        w.setEna();
        QVERIFY(!w.btnAuto->isEnabled());
        QCOMPARE(w.btnAuto->toolTip(), QString("Needs a connected analyzer with two analog channels."));
        edit(w.spinSlope[1], 1000);
        w.slotBtnAutoClicked();
        QVERIFY(!w.running());
        w.smpDataReady();
        w.btnSave->click();
        dev->connected = false;
    }
};

QTEST_MAIN(TestCalibrate)
#include "test_calibrate.moc"
