// The mixed-signal model: tables and modes, the oscilloscope halves of the
// device base (rate from the time base, pre-trigger, trigger registers,
// analog store hand-over, demonstration captures), the calibration record
// in the EEPROM, and that no factory path creates the model.
#include <QtTest>

#include <memory>

#include "config/Config.h"
#include "data/SmpDataOsc.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "device/DevSimulate.h"
#include "osc/DevMS.h"
#include "support/RecordingTransport.h"
#include "support/TestEnv.h"

namespace {

QByteArray bytes(std::initializer_list<int> l)
{
    QByteArray b;
    for (int v : l)
        b.append(char(v));
    return b;
}

// Counts the device's announcements on the test thread (queued there).
struct Announcements : QObject {
    int shown = 0;      // sigSmpDataReady(0)
    int finished = 0;   // sigSmpDataReady(1)
    explicit Announcements(DevBase* dev)
    {
        connect(dev, &DevBase::sigSmpDataReady, this, [this](int d) { ++(d ? finished : shown); },
                Qt::QueuedConnection);
    }
};

} // namespace

class TestDevPoplar : public QObject
{
    Q_OBJECT
    RecordingTransport* usb = nullptr;

    std::unique_ptr<DevPoplar> makeDev() { return std::make_unique<DevPoplar>(); }

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        Config::init();
    }
    void init()
    {
        Config::setDefaultDocument();
        usb = RecordingTransport::install();
    }
    void cleanup()
    {
        RecordingTransport::uninstall(&usb);
    }

    void tablesAndModes();
    void noFactoryPath();
    void rateFromTimeBase_data();
    void rateFromTimeBase();
    void analogSettings();
    void triggerRegisters();
    void calibRecord_data();
    void calibRecord();
    void calibSave();
    void connectWritesAnalogSettings();
    void demonstrationCaptures();
    void storesOfTheWorkMode();
};

void TestDevPoplar::tablesAndModes()
{
    auto d = makeDev();
    QCOMPARE(d->devModel, int(DevModelPoplar));
    QCOMPARE(d->devName, QString("Poplar"));
    QCOMPARE(d->memSize, 40960);
    QCOMPARE(d->chnNum(), 16);
    QCOMPARE(d->aChnNum(), 2);
    QCOMPARE(d->workMode, int(WorkModeOsc));
    QCOMPARE(d->smpMode, int(SmpModeBuffer));
    QVERIFY(!d->supportDualMode());
    QCOMPARE(d->aTimeDivList.size(), 27);
    QCOMPARE(d->aTimeDivList.first(), 10LL);
    QCOMPARE(d->aTimeDivList.last(), 5000000000LL);
    QCOMPARE(d->aVoltDivList, QVector<int>({20, 50, 100, 200, 500, 1000, 2000}));
    QCOMPARE(d->aVoltDivScale, QVector<int>({320, 480, 480, 480, 480, 480, 480}));
    QCOMPARE(d->smpFrequList.size(), 19);
    QCOMPARE(d->smpFrequList.first(), 100000000LL);
    QCOMPARE(d->smpFrequList.last(), 100LL);
    QCOMPARE(d->smpDepthList, QVector<long long>({10000}));
    QCOMPARE(d->curDepth, 10000LL);
    QVERIFY(d->shownDataOsc() && d->fillDataOsc() && d->shownDataOsc() != d->fillDataOsc());
    QCOMPARE(d->shownDataOsc()->chnNum, 2);
    // Work mode 0: the logic analyzer streams.
    d->setWorkMode(WorkModeLA);
    QCOMPARE(d->smpMode, int(SmpModeStream));
    QCOMPARE(d->smpFrequList.size(), 12);
    QCOMPARE(d->smpDepthList.size(), 18);
    d->setWorkMode(WorkModeOsc);
    QCOMPARE(d->smpMode, int(SmpModeBuffer));
    QCOMPARE(d->smpFrequList.size(), 19);
    QCOMPARE(d->smpDepthList, QVector<long long>({10000}));
    // The time/div and V/div texts.
    const QStringList t = d->getATimeDivStringList();
    QCOMPARE(t.first(), QString("10ns"));
    QCOMPARE(t[8], QString("5us"));
    QCOMPARE(t[15], QString("1ms"));
    QCOMPARE(t.last(), QString("5s"));
    d->setAProbeRate(1, 10);
    QCOMPARE(d->getVoltDivStringList(0), QStringList({"20mV", "50mV", "100mV", "200mV", "500mV", "1V", "2V"}));
    QCOMPARE(d->getVoltDivStringList(1), QStringList({"200mV", "500mV", "1V", "2V", "5V", "10V", "20V"}));
}

void TestDevPoplar::noFactoryPath()
{
    // No stored model, no detected device leads to the mixed-signal model.
    std::unique_ptr<DevBase> d(DevBase::createDevice(DevModelPoplar));
    QCOMPARE(d->devModel, int(DevModelDemo));
    QCOMPARE(d->workMode, int(WorkModeLA));
    QVERIFY(!DevBase::queryModelSupport(DevModelPoplar));
}

void TestDevPoplar::rateFromTimeBase_data()
{
    // Ten divisions hold the 10000 samples: the highest rate that fits.
    QTest::addColumn<long long>("ns");
    QTest::addColumn<long long>("rate");
    QTest::newRow("10 ns") << 10LL << 100000000LL;
    QTest::newRow("5 us") << 5000LL << 100000000LL;
    QTest::newRow("20 us") << 20000LL << 50000000LL;
    QTest::newRow("200 us") << 200000LL << 5000000LL;
    QTest::newRow("500 us") << 500000LL << 2000000LL;
    QTest::newRow("1 ms") << 1000000LL << 1000000LL;
    QTest::newRow("2 ms") << 2000000LL << 500000LL;
    QTest::newRow("5 s") << 5000000000LL << 200LL;
}

void TestDevPoplar::rateFromTimeBase()
{
    QFETCH(long long, ns);
    QFETCH(long long, rate);
    auto d = makeDev();
    QVERIFY(d->setATimeDivValue(ns));
    QCOMPARE(d->aTimeDiv(), ns);
    QCOMPARE(d->getSmpFrequ(), rate);
}

void TestDevPoplar::analogSettings()
{
    auto d = makeDev();
    // Time per division in ns.
    QVERIFY(d->setATimeDivValue(5000));
    QCOMPARE(d->aTimeDivIndex, 8);
    QVERIFY(!d->setATimeDivValue(5001));
    QCOMPARE(d->aTimeDivIndex, 8);
    // Pre-trigger: the trigger position's share of the depth.
    QVERIFY(d->setATrgPercent(250));
    QCOMPARE(d->getPreTrgDepth(), 2500LL);
    QVERIFY(d->setATrgPercent(1000));
    QCOMPARE(d->getPreTrgDepth(), 10000LL);
    QCOMPARE(d->getTrgPosition(), 100);
    // Offsets stay on the screen.
    d->setAChnOffset(0, 800);
    QCOMPARE(d->aChnOffset[0], 500);
    d->setAChnOffset(1, -2000);
    QCOMPARE(d->aChnOffset[1], -500);
    Config::saveDeviceParam("Poplar", "AChnOffset", "900,-300");
    // Only rising and falling triggers.
    d->setATrgType(7);
    QCOMPARE(d->aTrgType, int(TrgRising));
    d->setATrgType(TrgFalling);
    QCOMPARE(d->aTrgType, int(TrgFalling));
    Config::saveDeviceParam("Poplar", "ATrigType", "9");
    QVERIFY(!d->setATrgChn(2));
    QVERIFY(!d->setATrgChn(-1));
    QVERIFY(d->setATrgChn(1));
    d->setATrgVolt(1, 1650);
    d->setATrgVolt(0, NAN);
    // Math settings per operator, 1 V when nothing is stored.
    QCOMPARE(d->aMathScale, QVector<int>({1000, 1000, 1000}));
    d->aMathOperator = 2;
    d->aMathScale[2] = 200;
    d->aMathOffset[2] = -100;
    d->saveAMathSet();

    auto e = makeDev();
    QCOMPARE(e->aChnOffset, QVector<int>({0, -300}));
    QCOMPARE(e->aTrgType, int(TrgRising));
    QCOMPARE(e->aTrgChn, 1);
    QCOMPARE(e->aTrgVolt, QVector<double>({0, 1650}));
    QCOMPARE(e->aTimeDivIndex, 8);
    QCOMPARE(e->aTrgPercent, 1000);
    QCOMPARE(e->aMathOperator, 2);
    QCOMPARE(e->aMathScale, QVector<int>({1000, 1000, 200}));
    QCOMPARE(e->aMathOffset, QVector<int>({0, 0, -100}));
}

void TestDevPoplar::triggerRegisters()
{
    auto d = makeDev();
    d->connected = true;
    d->setAVoltDivIndex(0, 4);   // 500 mV
    d->setAVoltDivIndex(1, 0);   // 20 mV
    d->setAProbeRate(0, 10);     // the level has no probe factor
    d->setATrgVolt(0, 1650);
    d->setATrgVolt(1, -20000);
    d->setATrgChn(1);
    d->aTrgType = 2;             // neither edge: rising
    usb->clear();
    d->reqSmpSettings();
    QCOMPARE(usb->lastRegWrite(48), bytes({1, TrgRising}));
    // 25 steps a division: 1650 / 500 x 25 = 82.5; -20000 / 20 x 25 beyond the range.
    QCOMPARE(usb->lastRegWrite(80), bytes({82, -127}));
    d->connected = false;
}

void TestDevPoplar::calibRecord_data()
{
    // What the two EEPROM copies hold, and which values the device ends with.
    QTest::addColumn<int>("first");    // 0 valid, 1 damaged, 2 blank, 3 read fails
    QTest::addColumn<int>("second");
    QTest::addColumn<bool>("fromRecord");
    QTest::addColumn<bool>("fromSecond");
    QTest::newRow("valid") << 0 << 2 << true << false;
    QTest::newRow("damaged first, valid second") << 1 << 0 << true << true;
    QTest::newRow("blank") << 2 << 2 << false << false;
    QTest::newRow("both damaged") << 1 << 1 << false << false;
    QTest::newRow("first read fails") << 3 << 0 << true << true;
    QTest::newRow("both reads fail") << 3 << 3 << false << false;
}

void TestDevPoplar::calibRecord()
{
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(bool, fromRecord);
    QFETCH(bool, fromSecond);
    // Two records of distinct values.
    auto w = makeDev();
    w->aChnZeroTable = {{-5, 1, 2}, {3, 4, 200}};
    w->aChnOffsetK = {1300, 1200};
    w->adcZeroDual = {-7, 8};
    w->adcZeroSingle = {9, -10};
    w->adcSlope = {1011, 987};
    w->aChnGainTable[1][6] = -2000;
    const QByteArray recA = w->packCalib();
    w->adcSlope = {999, 1001};
    const QByteArray recB = w->packCalib();
    QCOMPARE(recA.size(), 48);
    QVERIFY(w->calibRecordValid(recA));
    // Every valid record has the top bit of its check word set.
    QVERIFY(uchar(recA[47]) & 0x80);

    auto copy = [&](int kind, const QByteArray& rec) {
        if (kind == 0)
            return rec;
        if (kind == 1) {
            QByteArray bad = rec;
            bad[20] = char(bad[20] ^ 1);
            return bad;
        }
        return QByteArray(48, char(0xFF));
    };
    usb->setReadData(0xA2, 0x40, first == 3 ? QByteArray(10, 0) : copy(first, recA));   // short: a failed read
    usb->setReadData(0xA2, 0xA0, second == 3 ? QByteArray() : copy(second, recB));
    auto d = makeDev();
    QCOMPARE(d->devConnect(nullptr), 0);
    QVERIFY(d->connected);
    if (!fromRecord) {
        QCOMPARE(d->aChnZeroTable, QVector<QVector<int>>({{0, 0, 0}, {0, 0, 0}}));
        QCOMPARE(d->aChnOffsetK, QVector<double>({1241, 1241}));
        QCOMPARE(d->adcZeroDual, QVector<int>({0, 0}));
        QCOMPARE(d->adcZeroSingle, QVector<int>({0, 0}));
        QCOMPARE(d->adcSlope, QVector<int>({1000, 1000}));
        QCOMPARE(d->aChnGainTable[0], QVector<int>({586, 448, 261, 75, -173, -359, -546}));
        QCOMPARE(d->aChnGainTable[1], d->aChnGainTable[0]);
        return;
    }
    // -5 comes back as -5; 200 does not fit 8 bits and comes back as 127.
    QCOMPARE(d->aChnZeroTable, QVector<QVector<int>>({{-5, 1, 2}, {3, 4, 127}}));
    QCOMPARE(d->aChnOffsetK, QVector<double>({1300, 1200}));
    QCOMPARE(d->adcZeroDual, QVector<int>({-7, 8}));
    QCOMPARE(d->adcZeroSingle, QVector<int>({9, -10}));
    QCOMPARE(d->adcSlope, fromSecond ? QVector<int>({999, 1001}) : QVector<int>({1011, 987}));
    QCOMPARE(d->aChnGainTable[1][6], -2000);
    QCOMPARE(d->aChnGainTable[0][0], 586);
    d->connected = false;
}

void TestDevPoplar::calibSave()
{
    auto d = makeDev();
    d->aChnZeroTable[0][0] = 300;   // beyond 8 bits: stored as 127
    d->adcSlope[1] = 70000;         // beyond 16 bits: 32767
    QVERIFY(d->saveCalibParam());
    QVector<QByteArray> written;
    QVector<int> where;
    for (const auto& c : usb->calls) {
        if (!c.in && c.request == 0xA2) {
            written << c.data;
            where << c.value;
        }
    }
    QCOMPARE(where, QVector<int>({0x40, 0xA0}));
    QCOMPARE(written[0], written[1]);
    const QByteArray& r = written[0];
    QCOMPARE(r.size(), 48);
    QCOMPARE(int(int8_t(r[0])), 127);
    QCOMPARE(r.mid(6, 2), bytes({0xD9, 0x04}));    // 1241
    QCOMPARE(r.mid(16, 2), bytes({0xFF, 0x7F}));   // 32767
    QCOMPARE(r.mid(42, 2), bytes({0xDE, 0xFD}));   // -546, channel 1 at the last V/div
    // The check word: the low 16 bits of the ones' complement of the sum.
    uint32_t sum = 0;
    for (int i = 0; i < 46; ++i)
        sum += uchar(r[i]);
    QCOMPARE(uint16_t(uchar(r[46]) | uchar(r[47]) << 8), uint16_t(~sum));
    // A failed write is reported.
    usb->failCode = 2;
    QVERIFY(!d->saveCalibParam());
}

void TestDevPoplar::connectWritesAnalogSettings()
{
    auto d = makeDev();
    d->setAChnEna(QVector<bool>({true, false}));
    d->setACoupling(1, 1);
    usb->clear();
    QCOMPARE(d->devConnect(nullptr), 0);
    QCOMPARE(d->maxSmpFrequ, 100000000LL);
    // Reads both copies (neither is valid), then offsets, coupling, gains, enables.
    QCOMPARE(usb->calls[0].request, uchar(0xA2));
    QCOMPARE(usb->calls[1].value, ushort(0xA0));
    QVector<int> regs;
    for (const auto& w : usb->regWrites())
        regs << w.first;
    QCOMPARE(regs, QVector<int>({72, 63, 64, 62}));
    QCOMPARE(usb->lastRegWrite(62), bytes({1}));
    QCOMPARE(usb->lastRegWrite(63), bytes({2}));
    // Gains at V/div index 5: 1 V.
    QCOMPARE(usb->lastRegWrite(64), bytes({0x99, 0xFE, 0x99, 0xFE}));   // -359
    d->connected = false;
}

void TestDevPoplar::demonstrationCaptures()
{
    auto d = makeDev();
    Announcements a(d.get());
    d->setAChnOffset(1, 100);
    QVERIFY(d->setATimeDivValue(1000000));
    // A single capture of both channels.
    d->smpStart(SmpStartSingle, false);
    QTRY_VERIFY(!d->smpRunning && a.finished == 1);
    QVERIFY(d->hasValidData());
    const SmpDataOsc* s = d->shownDataOsc();
    for (int c = 0; c < 2; ++c) {
        const AnalogChnData* r = s->record(c);
        QVERIFY(r);
        QCOMPARE(r->count, 20480);
        QCOMPARE(r->trgIndex, 10240);
        QCOMPARE(r->smpFrequ, 1000000LL);
        QCOMPARE(r->gain, 1000);
        QCOMPARE(r->scale, 480);
    }
    QCOMPARE(s->record(1)->offset, 100);
    QCOMPARE(a.shown, 2);   // the emptied view, then the capture

    // Repeat with one channel until stopped.
    d->setAChnEna(QVector<bool>({false, true}));
    d->smpStart(SmpStartRepeat, false);
    QTRY_VERIFY(a.shown >= 6);
    d->smpStopAndWait();
    QTRY_COMPARE(a.finished, 2);
    QVERIFY(!d->shownDataOsc()->record(0));
    QCOMPARE(d->shownDataOsc()->record(1)->count, 20480);
    // Nothing was written to the logic stores.
    QCOMPARE(d->shownData()->smpDepth, 0LL);
}

void TestDevPoplar::storesOfTheWorkMode()
{
    auto d = makeDev();
    d->smpStart(SmpStartSingle, false);
    QTRY_VERIFY(!d->smpRunning && d->hasValidData());
    QCoreApplication::processEvents();
    SmpDataOsc* shown = d->shownDataOsc();
    // A swap shows the other store and empties the one shown before.
    d->toggleSmpData();
    QVERIFY(d->shownDataOsc() != shown);
    QVERIFY(!d->hasValidData());
    QVERIFY(!shown->record(0));
    // Clearing empties both analog stores.
    d->smpStart(SmpStartSingle, false);
    QTRY_VERIFY(!d->smpRunning && d->hasValidData());
    d->clearSmpData();
    QVERIFY(!d->hasValidData());
    QVERIFY(!d->fillDataOsc()->record(0) && !d->shownDataOsc()->record(0));
}

QTEST_MAIN(TestDevPoplar)
#include "test_devpoplar.moc"
