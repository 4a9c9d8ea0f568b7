// The mixed-signal model against the emulated analyzer: its calibration
// record read from the EEPROM at connect (valid, damaged first copy,
// blank), saved back, and buffer-mode analog captures whose converter words
// arrive in the shown store as calibrated codes with their trigger and rate.
#include <QtTest>

#include <memory>

#include "EmuAnalyzer.h"
#include "config/Config.h"
#include "data/SmpDataOsc.h"
#include "device/DevGlobals.h"
#include "device/DevSupport.h"
#include "osc/DevMS.h"
#include "support/TestEnv.h"

class TestUsbOsc : public QObject, public EmuRig
{
    Q_OBJECT

    std::unique_ptr<DevPoplar> dev;
    int memBytes = 2 * DevPoplar::kMemory;

    // The emulator running, its FPGA started; the device not yet connected.
    // The converter memory holds memWords words.
    void plugIn(int memWords = DevPoplar::kMemory)
    {
        memBytes = 2 * memWords;
        EmuAnalyzer::Options o;
        o.memorySize = memBytes;
        QVERIFY(plugRunning(o));
        dev = std::make_unique<DevPoplar>();
        dev->memSize = memWords;
    }

    // A record with converter slopes 1100 and 900 and dual zeros -3 and 5,
    // single zeros 2 and -2.
    QByteArray calibration()
    {
        DevPoplar d;
        d.adcSlope = {1100, 900};
        d.adcZeroDual = {-3, 5};
        d.adcZeroSingle = {2, -2};
        d.aChnZeroTable[1][2] = -7;
        return d.packCalib();
    }

    // Runs one single capture and waits until it is shown.
    void capture()
    {
        int finished = 0;
        QObject guard;
        connect(dev.get(), &DevBase::sigSmpDataReady, &guard, [&](int d) { finished += d; }, Qt::QueuedConnection);
        emu->setStatusAfterStart(0x85C5);   // done at once
        dev->smpStart(SmpStartSingle, false);
        QTRY_VERIFY_WITH_TIMEOUT(finished == 1, 15000);
        QVERIFY(!dev->smpRunning);
        dev->smpStopAndWait();
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
        QVERIFY2(startRig(), "must run under umockdev-wrapper, with libusb");
    }
    void cleanup()
    {
        if (dev)
            dev->smpStopAndWait();
        dev.reset();
        stopRig();
    }

    void connectReadsCalibration_data()
    {
        QTest::addColumn<int>("copies");   // 0 both valid, 1 first damaged, 2 blank
        QTest::newRow("valid") << 0;
        QTest::newRow("damaged first copy") << 1;
        QTest::newRow("blank") << 2;
    }
    void connectReadsCalibration()
    {
        QFETCH(int, copies);
        plugIn();
        QByteArray rec = calibration();
        if (copies == 1) {
            QByteArray bad = rec;
            bad[3] = char(bad[3] + 1);
            emu->setEeprom(DevPoplar::kEepromCopy1, bad);
            emu->setEeprom(DevPoplar::kEepromCopy2, rec);
        } else if (copies == 0) {
            emu->setEeprom(DevPoplar::kEepromCopy1, rec);
            emu->setEeprom(DevPoplar::kEepromCopy2, rec);
        }
        emu->clearRegWrites();
        QCOMPARE(dev->devConnect(nullptr), 0);
        QVERIFY(dev->connected);
        if (copies == 2) {
            QCOMPARE(dev->adcSlope, QVector<int>({1000, 1000}));
            QCOMPARE(dev->aChnZeroTable[1][2], 0);
        } else {
            QCOMPARE(dev->adcSlope, QVector<int>({1100, 900}));
            QCOMPARE(dev->adcZeroDual, QVector<int>({-3, 5}));
            QCOMPARE(dev->aChnZeroTable[1][2], -7);
        }
        // The analog settings follow the connect.
        QVector<int> regs;
        for (const auto& w : emu->regWrites())
            regs << w.reg;
        QCOMPARE(regs, QVector<int>({72, 63, 64, 62}));

        // Saved back, both copies hold the record.
        dev->aChnZeroTable[0][0] = 4;
        QVERIFY(dev->saveCalibParam());
        auto again = std::make_unique<DevPoplar>();
        QCOMPARE(again->devConnect(nullptr), 0);
        QCOMPARE(again->aChnZeroTable[0][0], 4);
        again->connected = false;
    }

    void twoChannelCapture()
    {
        plugIn();
        const QByteArray rec = calibration();
        emu->setEeprom(DevPoplar::kEepromCopy1, rec);
        QCOMPARE(dev->devConnect(nullptr), 0);
        QVERIFY(dev->setATimeDivValue(1000000));   // 1 ms a division: 1 MHz
        QVector<qint16> a, b;
        for (int i = 0; i < 5000; ++i) {
            a << qint16(i % 700 - 350);
            b << qint16(-(i % 300) * 40);
        }
        emu->setAnalogCapture({a, b}, 1234, 1000);   // wraps around the memory's end
        emu->clearRegWrites();
        capture();
        // The window that was read: 20000 bytes ending at 1000.
        QByteArray win(8, '\0');
        qToLittleEndian(quint32(1000 - 20000 + memBytes), win.data());
        qToLittleEndian(quint32(20000), win.data() + 4);
        bool windowSet = false;
        for (const auto& w : emu->regWrites())
            windowSet |= w.reg == 8 && w.data == win;
        QVERIFY(windowSet);

        const SmpDataOsc* s = dev->shownDataOsc();
        for (int c = 0; c < 2; ++c) {
            const AnalogChnData* d = s->record(c);
            QVERIFY(d);
            QCOMPARE(d->count, 5000);
            QCOMPARE(d->trgIndex, 1234);
            QCOMPARE(d->smpFrequ, 1000000LL);
        }
        // Each channel through its own converter: round(raw x slope) + dual zero.
        for (int i = 0; i < 5000; i += 7) {
            QCOMPARE(int(s->record(0)->samples[i]), int(std::round(a[i] * 1.1)) - 3);
            QCOMPARE(int(s->record(1)->samples[i]), int(std::round(b[i] * 0.9)) + 5);
        }
    }

    void oneChannelCapture()
    {
        plugIn(60000);
        emu->setEeprom(DevPoplar::kEepromCopy1, calibration());
        QCOMPARE(dev->devConnect(nullptr), 0);
        dev->setAChnEna(QVector<bool>({false, true}));
        // More words than a record holds: the read stops at 51200.
        QVector<qint16> w;
        for (int i = 0; i < OSC_MAX_SAMPLES + 1000; ++i)
            w << qint16(100 + i % 3);
        emu->setAnalogCapture({w}, 999999, 2 * (OSC_MAX_SAMPLES + 1000));
        capture();
        const SmpDataOsc* s = dev->shownDataOsc();
        QVERIFY(!s->record(0));
        const AnalogChnData* d = s->record(1);
        QVERIFY(d);
        QCOMPARE(d->count, OSC_MAX_SAMPLES);
        // A trigger the device puts past the data lands at its end.
        QCOMPARE(d->trgIndex, OSC_MAX_SAMPLES);
        // The converters take turns, each with its single zero.
        for (int i = 0; i < 60; ++i) {
            const int conv = i % 2;
            const int expect = int(std::round(w[i] * (conv ? 0.9 : 1.1))) + (conv ? -2 : 2);
            QCOMPARE(int(d->samples[i]), expect);
        }
    }
};

QTEST_GUILESS_MAIN(TestUsbOsc)
#include "test_usb_osc.moc"
