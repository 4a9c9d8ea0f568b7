// Device base: settings model, stored settings, register encodings and the
// settings upload, sampling control.

#include <QtTest>

#include <cmath>
#include <limits>
#include <memory>

#include "config/Config.h"
#include "data/SmpData.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "device/DevLA.h"
#include "device/DevNone.h"
#include "support/RecordingTransport.h"
#include "support/TestEnv.h"

namespace {
constexpr long long K = 1000, M = 1000000, G = 1000000000;

QByteArray bytes(std::initializer_list<int> l)
{
    QByteArray b;
    for (int v : l)
        b.append(char(v));
    return b;
}

// Stand-in acquisition thread: runs until a stop is requested.
class FakeAcq : public QThread
{
public:
    explicit FakeAcq(DevBase* d) : dev(d) {}
    std::atomic<bool> started{false};
protected:
    void run() override
    {
        started = true;
        while (!dev->smpStopReq)
            QThread::msleep(1);
        dev->smpRunning = false;
    }
private:
    DevBase* dev;
};
} // namespace

class TestDevBase : public QObject
{
    Q_OBJECT
    RecordingTransport* usb = nullptr;

    std::unique_ptr<DevBase> make(int model) { return std::unique_ptr<DevBase>(DevBase::createDevice(model)); }

    // Connects a hardware model through the recording transport.
    void connectDev(DevBase* d)
    {
        usb->setReadData(0x20, 0, bytes({0xC1, 0x85}));
        QCOMPARE(d->devConnect(nullptr), 0);
        QVERIFY(d->connected);
        usb->clear();
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
        usb = RecordingTransport::install();
    }
    void cleanup()
    {
        RecordingTransport::uninstall(&usb);
    }

    void modelTable_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("chn");
        QTest::addColumn<bool>("dual");
        QTest::addColumn<long long>("firstRate");
        QTest::addColumn<int>("rateCount");
        QTest::addColumn<int>("rateIdx");
        QTest::addColumn<int>("depthCount");
        QTest::addColumn<int>("depthIdx");
        QTest::addColumn<long long>("noMark");
        QTest::addColumn<long long>("maxAllChn");
        QTest::newRow("demo buffer") << 0 << 0 << 16 << true << 500 * M << 14 << 1 << 15 << 7 << 100 * M << 500 * M;
        QTest::newRow("demo stream") << 0 << 1 << 16 << true << 100 * M << 12 << 3 << 18 << 4 << 100 * G << 20 * M;
        QTest::newRow("rowan buffer") << 101 << 0 << 32 << true << 500 * M << 14 << 1 << 15 << 8 << 100 * M << 500 * M;
        QTest::newRow("rowan stream") << 101 << 1 << 32 << true << 100 * M << 12 << 4 << 18 << 4 << 100 * G << 10 * M;
        QTest::newRow("spruce buffer") << 102 << 0 << 16 << true << 500 * M << 14 << 1 << 15 << 8 << 100 * M << 500 * M;
        QTest::newRow("spruce stream") << 102 << 1 << 16 << true << 100 * M << 12 << 3 << 18 << 4 << 100 * G << 20 * M;
        QTest::newRow("teak buffer") << 103 << 0 << 16 << true << 200 * M << 13 << 1 << 15 << 7 << 50 * M << 200 * M;
        QTest::newRow("teak stream") << 103 << 1 << 16 << true << 100 * M << 12 << 3 << 18 << 4 << 100 * G << 20 * M;
        QTest::newRow("willow stream") << 104 << 1 << 16 << false << 100 * M << 20 << 9 << 18 << 4 << 100 * G << 16 * M;
    }
    void modelTable()
    {
        QFETCH(int, model);
        QFETCH(int, mode);
        auto d = make(model);
        d->setSmpMode(mode);
        QCOMPARE(d->devModel, model);
        QCOMPARE(d->smpMode, mode);
        QTEST(d->chnNum(), "chn");
        QTEST(d->supportDualMode(), "dual");
        QTEST(d->smpFrequList.first(), "firstRate");
        QTEST(int(d->smpFrequList.size()), "rateCount");
        QTEST(d->smpFrequIndex, "rateIdx");
        QTEST(int(d->smpDepthList.size()), "depthCount");
        QTEST(d->smpDepthIndex, "depthIdx");
        QCOMPARE(d->curDepth, d->smpDepthList[d->smpDepthIndex]);
        QTEST(d->depthNoMark, "noMark");
        QTEST(d->getMaxSmpFrequ(d->chnNum()), "maxAllChn");
        QVERIFY(d->queryDevFunction(DevFuncVth) && d->queryDevFunction(DevFuncPWM));
        // Lists are ordered: rates highest first, depths lowest first.
        for (int i = 1; i < d->smpFrequList.size(); ++i)
            QVERIFY(d->smpFrequList[i] < d->smpFrequList[i - 1]);
        QCOMPARE(d->smpDepthList.first(), 20 * K);
        // Every rate divides the divider base exactly.
        d->devConnect(nullptr);
        for (long long r : d->smpFrequList)
            QVERIFY2(d->maxSmpFrequ % r == 0, qPrintable(QString::number(r)));
        // Strings follow the lists, depths above the mark starred.
        const QStringList depths = d->getSmpDepthStringList();
        QCOMPARE(depths.size(), d->smpDepthList.size());
        for (int i = 0; i < depths.size(); ++i)
            QCOMPARE(depths[i].endsWith('*'), d->smpDepthList[i] > d->depthNoMark);
    }

    void displayStrings()
    {
        auto d = make(DevModelTeak);
        const QStringList r = d->getSmpFrequStringList();
        QCOMPARE(r.first(), QString("200 MHz"));
        QCOMPARE(r.last(), QString("20 KHz"));
        const QStringList s = d->getSmpDepthStringList();
        QCOMPARE(s[0], QString("20 KSa"));
        QCOMPARE(s[7], QString("50 MSa"));
        QCOMPARE(s[8], QString("100 MSa*"));
        QCOMPARE(s[11], QString("1 GSa*"));
        auto w = make(DevModelWillow);
        QCOMPARE(w->getSmpFrequStringList()[8], QString("12.5 MHz"));
    }

    void factory_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("created");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("supported");
        QTest::newRow("demo") << 0 << 0 << "Demo" << true;
        QTest::newRow("rowan") << 101 << 101 << "Rowan" << true;
        QTest::newRow("spruce") << 102 << 102 << "Spruce" << true;
        QTest::newRow("teak") << 103 << 103 << "Teak" << true;
        QTest::newRow("willow") << 104 << 104 << "Willow" << true;
        QTest::newRow("earlier model 5") << 5 << 0 << "Demo" << false;
        QTest::newRow("earlier model 7") << 7 << 0 << "Demo" << false;
        QTest::newRow("unknown 105") << 105 << 0 << "Demo" << false;
        QTest::newRow("negative") << -3 << 0 << "Demo" << false;
    }
    void factory()
    {
        QFETCH(int, model);
        auto d = make(model);
        QTEST(d->devModel, "created");
        QTEST(d->devName, "name");
        QCOMPARE(Config::readGlobalParam("devModel"), QString::number(model));
        QTEST(DevBase::queryModelSupport(model), "supported");
        if (model != 0 && model < 101)
            QVERIFY(dynamic_cast<DevNone*>(d.get()));
    }

    void loadStored_data()
    {
        QTest::addColumn<QStringList>("keys");   // key, value, key, value, ...
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("rateIdx");
        QTest::addColumn<int>("depthIdx");
        QTest::addColumn<int>("trgPos");
        QTest::newRow("nothing stored") << QStringList() << 0 << 1 << 7 << 5;
        QTest::newRow("rate between entries") << QStringList{"smpFrequ", "150000"} << 0 << 2 << 7 << 5;
        QTest::newRow("rate below the list") << QStringList{"smpFrequ", "10"} << 0 << 13 << 7 << 5;
        QTest::newRow("rate not a number, index used") << QStringList{"smpFrequ", "fast", "smpFrequIndex", "5"} << 0 << 5 << 7 << 5;
        QTest::newRow("rate index out of list") << QStringList{"smpFrequIndex", "99"} << 0 << 1 << 7 << 5;
        QTest::newRow("rate index negative") << QStringList{"smpFrequIndex", "-1"} << 0 << 1 << 7 << 5;
        QTest::newRow("depth between entries") << QStringList{"smpDepth", "150000"} << 0 << 1 << 9 << 5;
        QTest::newRow("depth above the list") << QStringList{"smpDepth", "99999999999"} << 0 << 1 << 14 << 5;
        QTest::newRow("rate too large to scale") << QStringList{"smpFrequ", "9223372036854775807"} << 0 << 0 << 7 << 5;
        QTest::newRow("depth too large to scale") << QStringList{"smpDepth", "9223372036854775807"} << 0 << 1 << 14 << 5;
        QTest::newRow("depth negative") << QStringList{"smpDepth", "-5"} << 0 << 1 << 0 << 5;
        QTest::newRow("depth index") << QStringList{"smpDepthIndex", "3"} << 0 << 1 << 3 << 5;
        QTest::newRow("depth index out of list") << QStringList{"smpDepthIndex", "15"} << 0 << 1 << 7 << 5;
        QTest::newRow("stream mode") << QStringList{"smpMode", "1"} << 1 << 3 << 4 << 5;
        QTest::newRow("unknown mode") << QStringList{"smpMode", "7"} << 0 << 1 << 7 << 5;
        QTest::newRow("mode not a number") << QStringList{"smpMode", "x"} << 0 << 1 << 7 << 5;
        QTest::newRow("trigger position") << QStringList{"trgPosition", "42"} << 0 << 1 << 7 << 42;
        QTest::newRow("trigger position 100") << QStringList{"trgPosition", "100"} << 0 << 1 << 7 << 5;
        QTest::newRow("trigger position negative") << QStringList{"trgPosition", "-3"} << 0 << 1 << 7 << 5;
    }
    void loadStored()
    {
        QFETCH(QStringList, keys);
        for (int i = 0; i + 1 < keys.size(); i += 2)
            Config::saveDeviceParam("Demo", keys[i], keys[i + 1]);
        auto d = make(DevModelDemo);
        QTEST(d->smpMode, "mode");
        QTEST(d->smpFrequIndex, "rateIdx");
        QTEST(d->smpDepthIndex, "depthIdx");
        QTEST(d->trgPosPercent, "trgPos");
        QCOMPARE(d->curDepth, d->smpDepthList[d->smpDepthIndex]);
    }

    void loadStoredChannels()
    {
        Config::saveDeviceParam("Spruce", "chnEnable", "1,1,1,0,1");
        Config::saveDeviceParam("Spruce", "chnTrig", "3,4,9,1,-2,2");
        auto d = make(DevModelSpruce);
        QCOMPARE(d->chnEna.size(), 16);
        QCOMPARE(d->getDChnEnaNum(), 15);
        QCOMPARE(int(d->chnTrg[0]), int(TrgRising));
        QCOMPARE(int(d->chnTrg[1]), int(TrgNone));   // a second edge trigger is dropped
        QCOMPARE(int(d->chnTrg[2]), int(TrgNone));   // out of range
        QCOMPARE(int(d->chnTrg[3]), int(TrgNone));   // channel disabled
        QCOMPARE(int(d->chnTrg[4]), int(TrgNone));
        QCOMPARE(int(d->chnTrg[5]), int(TrgHigh));
    }

    void triggers()
    {
        auto d = make(DevModelDemo);
        QVERIFY(d->setDChnTrg(3, TrgRising));
        QVERIFY(d->setDChnTrg(5, TrgFalling));
        QCOMPARE(int(d->chnTrg[3]), int(TrgNone));
        QCOMPARE(int(d->chnTrg[5]), int(TrgFalling));
        QVERIFY(d->setDChnTrg(3, TrgLow));
        QVERIFY(d->setDChnTrg(6, TrgHigh));
        QCOMPARE(int(d->chnTrg[3]), int(TrgLow));
        QCOMPARE(int(d->chnTrg[5]), int(TrgFalling));
        QCOMPARE(Config::readDeviceParam("Demo", "chnTrig").split(',').mid(3, 4),
                 QStringList({"1", "0", "4", "2"}));
        QVERIFY(!d->setDChnTrg(16, TrgLow));
        QVERIFY(!d->setDChnTrg(-1, TrgLow));
        QVERIFY(!d->setDChnTrg(2, 5));

        QSignalSpy ena(d.get(), &DevBase::sigChnEnaChanged);
        QVector<bool> e = d->chnEna;
        e[5] = false;
        QVERIFY(d->setDChnEna(e));
        QCOMPARE(ena.count(), 1);
        QCOMPARE(int(d->chnTrg[5]), int(TrgNone));
        e[5] = true;
        QVERIFY(d->setDChnEna(e));
        QCOMPARE(int(d->chnTrg[5]), int(TrgNone));   // not restored
        QVERIFY(d->setDChnEna(e));                   // unchanged: no signal
        QCOMPARE(ena.count(), 2);
        QVERIFY(!d->setDChnEna(QVector<bool>(3, true)));
    }

    void streamRateLimits()
    {
        auto d = make(DevModelDemo);
        d->setSmpMode(SmpModeStream);
        QSignalSpy ena(d.get(), &DevBase::sigChnEnaChanged);
        QSignalSpy lower(d.get(), &DevBase::sigSmpFrequToLower);
        QVERIFY(d->setSmpFrequ(0));   // 100 MHz allows 3 channels
        QCOMPARE(ena.count(), 1);
        QCOMPARE(d->getDChnEnaNum(), 3);
        QVERIFY(d->chnEna[0] && d->chnEna[1] && d->chnEna[2] && !d->chnEna[3] && !d->chnEna[15]);
        QVERIFY(d->setDChnEna(QVector<bool>(16, true)));
        QCOMPARE(lower.count(), 1);
        QCOMPARE(d->getSmpFrequ(), 20 * M);
        QCOMPARE(Config::readDeviceParam("Demo", "smpFrequ"), QString("20000"));
        QCOMPARE(d->getMaxChnEnaNum(50 * M), 6);
        QCOMPARE(d->getMaxChnEnaNum(1 * M), 16);
        QVERIFY(!d->setSmpFrequ(12));
        QVERIFY(!d->setSmpFrequ(-1));
    }

    void modeSwitchSignals()
    {
        auto d = make(DevModelRowan);
        QSignalSpy mode(d.get(), &DevBase::sigSmpModeChanged);
        d->setSmpMode(SmpModeStream);
        QCOMPARE(mode.count(), 1);
        QCOMPARE(Config::readDeviceParam("Rowan", "smpMode"), QString("1"));
        QCOMPARE(d->getSmpFrequ(), 5 * M);
        QCOMPARE(d->curDepth, 5 * M);
        d->setSmpMode(SmpModeStream);
        d->setSmpMode(9);
        QCOMPARE(mode.count(), 1);
        QCOMPARE(d->smpMode, int(SmpModeStream));
    }

    void setSmpTime_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<long long>("depth");
        QTest::newRow("1 ms at 100 MHz") << 0.001 << true << 100000LL;
        QTest::newRow("below the list") << 0.0001 << false << 0LL;
        QTest::newRow("above the list") << 1000.0 << false << 0LL;
        QTest::newRow("huge") << 1e300 << false << 0LL;
        QTest::newRow("negative") << -1.0 << false << 0LL;
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << false << 0LL;
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << false << 0LL;
        QTest::newRow("minus infinite") << -std::numeric_limits<double>::infinity() << false << 0LL;
    }
    void setSmpTime()
    {
        QFETCH(double, seconds);
        QFETCH(bool, ok);
        QFETCH(long long, depth);
        auto d = make(DevModelDemo);
        QVERIFY(d->setSmpFrequ(2));   // 100 MHz
        const int idx = d->smpDepthIndex;
        const long long before = d->curDepth;
        QCOMPARE(d->setSmpTime(seconds), ok);
        QCOMPARE(d->curDepth, ok ? depth : before);
        QCOMPARE(d->smpDepthIndex, idx);
        if (ok)
            QCOMPARE(Config::readDeviceParam("Demo", "smpDepth"), QString::number(depth / 1000));
    }

    void trgPosition()
    {
        auto d = make(DevModelDemo);
        QVERIFY(!d->setTrgPosition(100));
        QVERIFY(!d->setTrgPosition(-1));
        QVERIFY(d->setTrgPosition(50));
        QCOMPARE(Config::readDeviceParam("Demo", "trgPosition"), QString("50"));
        QCOMPARE(d->getPreTrgDepth(), 0LL);   // no trigger set
        d->setDChnTrg(0, TrgHigh);
        QCOMPARE(d->getPreTrgDepth(), d->curDepth / 2);
    }

    void vthEncoding_data()
    {
        QTest::addColumn<double>("ref");
        QTest::addColumn<double>("volts");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("code");
        QTest::newRow("middle range") << 1.5 << 1.65 << 530 << 242;
        QTest::newRow("low range") << 1.5 << 4.0 << 757 << 0;
        QTest::newRow("high range") << 1.5 << -1.0 << 696 << 727;
        QTest::newRow("clamped to 999") << 0.0 << 4.0 << 999 << 0;
        QTest::newRow("clamped to 0") << 1.5 << -4.0 << 0 << 727;
    }
    void vthEncoding()
    {
        QFETCH(double, ref);
        QFETCH(double, volts);
        uint16_t value = 0, code = 0;
        DevBase::encodeVth(ref, volts, &value, &code);
        QTEST(int(value), "value");
        QTEST(int(code), "code");
    }

    void vthGroups_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("group");
        QTest::addColumn<bool>("ok");
        QTest::newRow("16 ch group 1") << 102 << 1 << true;
        QTest::newRow("16 ch group 2") << 102 << 2 << false;
        QTest::newRow("32 ch group 2") << 101 << 2 << true;
        QTest::newRow("group 0") << 101 << 0 << false;
        QTest::newRow("group 3 (PWM registers)") << 101 << 3 << false;
        QTest::newRow("group -1") << 101 << -1 << false;
    }
    void vthGroups()
    {
        QFETCH(int, model);
        QFETCH(int, group);
        QFETCH(bool, ok);
        auto d = make(model);
        connectDev(d.get());
        QCOMPARE(d->setVthValue(1.65, group), ok);
        const auto w = usb->regWrites();
        if (ok) {
            QCOMPARE(w.size(), 1);
            QCOMPARE(w[0].first, 100 + 4 * group);
            QCOMPARE(w[0].second, bytes({530 & 0xFF, 530 >> 8, 242, 0}));
        } else {
            QVERIFY(w.isEmpty());
        }
        QVERIFY(!d->setVthValue(std::nan(""), 1));
    }

    void vthRestore_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("default") << "" << bytes({530 & 0xFF, 530 >> 8, 242, 0});
        QTest::newRow("stored value") << "3.3" << bytes({0x21, 0x02, 0, 0});   // 545, low range
        QTest::newRow("out of range") << "250" << bytes({530 & 0xFF, 530 >> 8, 242, 0});
        QTest::newRow("not a number") << "high" << bytes({530 & 0xFF, 530 >> 8, 242, 0});
    }
    void vthRestore()
    {
        QFETCH(QString, stored);
        Config::saveDeviceParam("Rowan", "chnVth", stored);
        Config::saveDeviceParam("Rowan", "chnVth2", stored);
        auto d = make(DevModelRowan);
        connectDev(d.get());
        d->restoreVthValue();
        QFETCH(QByteArray, written);
        QCOMPARE(usb->lastRegWrite(104), written);
        QCOMPARE(usb->lastRegWrite(108), written);
    }

    void pwmEncoding_data()
    {
        QTest::addColumn<long long>("clock");
        QTest::addColumn<double>("frequ");
        QTest::addColumn<double>("duty");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<quint32>("period");
        QTest::addColumn<quint32>("high");
        QTest::newRow("20 MHz full") << 250 * M << 2e7 << 100.0 << true << 13u << 13u;
        QTest::newRow("1 kHz half") << 250 * M << 1000.0 << 50.0 << true << 250000u << 125000u;
        QTest::newRow("half up") << 250 * M << 1e8 << 50.0 << true << 3u << 1u;
        QTest::newRow("beyond 32 bits") << 1 * G << 0.1 << 50.0 << true << 0xFFFFFFFFu << 0xFFFFFFFFu;
        QTest::newRow("rounds to 0") << 250 * M << 1e9 << 50.0 << true << 1u << 0u;
        QTest::newRow("no clock") << 0LL << 1000.0 << 50.0 << false << 0u << 0u;
        QTest::newRow("zero frequency") << 250 * M << 0.0 << 50.0 << false << 0u << 0u;
    }
    void pwmEncoding()
    {
        QFETCH(long long, clock);
        QFETCH(double, frequ);
        QFETCH(double, duty);
        uint32_t period = 0, high = 0;
        QTEST(DevBase::encodePWM(clock, frequ, duty, &period, &high), "ok");
        QTEST(quint32(period), "period");
        QTEST(quint32(high), "high");
    }

    void pwmValues()
    {
        auto d = make(DevModelSpruce);
        double f = 0, duty = 0;
        d->setPWMValue(0, 3e7, 150);
        d->getPWMValue(0, &f, &duty);
        QCOMPARE(f, 2e7);
        QCOMPARE(duty, 100.0);
        QVERIFY(usb->regWrites().isEmpty());   // not connected: only stored

        connectDev(d.get());
        d->setPWMValue(0, 3e7, 150);
        QCOMPARE(usb->lastRegWrite(112), bytes({13, 0, 0, 0, 13, 0, 0, 0}));
        d->getPWMValue(0, &f, &duty);
        QVERIFY(qAbs(f - 250e6 / 13) < 1e-6);
        QCOMPARE(duty, 100.0);
        d->setPWMValue(1, 0.0, -5);   // clamped to 0.1 Hz, 0 %
        QCOMPARE(usb->lastRegWrite(120), bytes({0x00, 0xF9, 0x02, 0x95, 0, 0, 0, 0}));   // 2,500,000,000
        d->getPWMValue(1, &f, &duty);
        QCOMPARE(duty, 0.0);

        // Other outputs are ignored.
        usb->clear();
        d->setPWMValue(2, 1000, 50);
        QVERIFY(usb->calls.isEmpty());
        d->getPWMValue(2, &f, &duty);
        QCOMPARE(f, 0.0);
        QVERIFY(!d->getPWMEnable(2));

        d->setPWMEnable(false, true);
        QCOMPARE(usb->lastRegWrite(2), bytes({2}));
        QVERIFY(d->getPWMEnable(1) && !d->getPWMEnable(0));
    }

    void pwmRestore()
    {
        auto d = make(DevModelDemo);
        double f = 0, duty = 0;
        QVERIFY(d->getPWMEnable(0) && !d->getPWMEnable(1));
        d->getPWMValue(1, &f, &duty);
        QCOMPARE(f, 100000.0);
        Config::saveGlobalParam("extparam", "52m61q70w83");
        d->restorePWMValue();
        QVERIFY(d->getPWMEnable(0) && d->getPWMEnable(1));
        d->getPWMValue(0, &f, &duty);
        QCOMPARE(f, 2.0);
        QCOMPARE(duty, 50.0);
        QSignalSpy pwm(d.get(), &DevBase::sigToolbarPWMEna);
        d->saveToolbarPWMSet(false);
        QCOMPARE(Config::readGlobalParam("toolbarPWM"), QString("0"));
        QCOMPARE(pwm.count(), 1);
    }

    void uploadMode_data()
    {
        QTest::addColumn<int>("smpMode");
        QTest::addColumn<int>("startMode");
        QTest::addColumn<int>("reg3");
        QTest::newRow("stream, repeat waiting") << 1 << 2 << 0x01;
        QTest::newRow("buffer, auto") << 0 << 0 << 0x02;
        QTest::newRow("stream, repeat") << 1 << 3 << 0x03;
        QTest::newRow("buffer, single") << 0 << 1 << 0x00;
    }
    void uploadMode()
    {
        QFETCH(int, smpMode);
        QFETCH(int, startMode);
        QFETCH(int, reg3);
        auto d = make(DevModelSpruce);
        d->setSmpMode(smpMode);
        connectDev(d.get());
        d->smpStartMode = startMode;
        QCOMPARE(d->reqSmpSettings(), 0);
        const auto w = usb->regWrites();
        QCOMPARE(w.size(), 3);
        QCOMPARE(w[0].first, 3);
        QCOMPARE(w[0].second, bytes({reg3}));
        QCOMPARE(w[1].first, 32);
        QCOMPARE(w[2].first, 16);
    }

    void uploadImage()
    {
        auto d = make(DevModelSpruce);
        connectDev(d.get());
        QVector<bool> e(16, true);
        e[14] = e[15] = false;
        QVERIFY(d->setDChnEna(e));
        QVERIFY(d->setDChnTrg(9, TrgFalling));
        QVERIFY(d->setDChnTrg(2, TrgHigh));
        QVERIFY(d->setDChnTrg(0, TrgLow));
        QVERIFY(d->setTrgPosition(50));
        QVERIFY(d->setSmpFrequ(1));   // 200 MHz
        QVERIFY(d->setSmpDepth(2));   // 1 M samples
        usb->clear();
        QCOMPARE(d->reqSmpSettings(), 0);
        const QByteArray masks = usb->lastRegWrite(32);
        QCOMPARE(masks, bytes({0xFF, 0x3F, 0, 0,       // enabled 0-13
                               0x05, 0x02, 0, 0,       // trigger used: 0, 2, 9
                               0x05, 0x00, 0, 0,       // level: 0, 2 (9 is an edge)
                               0x04, 0x02, 0, 0}));    // polarity: 2 high, 9 falling
        const QByteArray g = usb->lastRegWrite(16);
        QCOMPARE(g.size(), 16);
        // depth 1,000,000 = 0x0F4240; pre-trigger 500,000 = 0x07A120;
        // share (0x10000000 / 256) x 50 / 100 = 524288 = 0x080000; divider 1 GHz / 200 MHz = 5.
        QCOMPARE(g, bytes({0x40, 0x42, 0x0F, 0, 0, 0x20, 0xA1, 0x07, 0, 0, 0x00, 0x00, 0x08, 5, 0, 0}));
    }

    void uploadStopsOnModeFailure()
    {
        auto d = make(DevModelSpruce);
        connectDev(d.get());
        usb->failCode = 2;
        QCOMPARE(d->reqSmpSettings(), 2);
        QCOMPARE(usb->calls.size(), 1);
        usb->failCode = 0;
        usb->shortWrite = 1;   // a partial write is a failure as well
        QCOMPARE(d->reqSmpSettings(), 2);
    }

    void runStatus_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("code");
        QTest::newRow("running") << 0x00C1 << 0;
        QTest::newRow("bit 6 clear") << 0x0081 << 10;
        QTest::newRow("bit 4 set") << 0x00D1 << 13;
        QTest::newRow("low bits 3") << 0x00C3 << 9;
        QTest::newRow("all ones") << 0xFFFF << 7;
        QTest::newRow("zero") << 0x0000 << 8;
    }
    void runStatus()
    {
        QFETCH(int, status);
        auto d = make(DevModelSpruce);
        usb->setReadData(0x20, 0, bytes({status & 0xFF, status >> 8}));
        unsigned raw = 1;
        QTEST(d->getRunSta(&raw), "code");
        QCOMPARE(int(raw), status);
    }

    void controlReads()
    {
        auto d = make(DevModelSpruce);
        usb->setReadData(0x20, 0, bytes({0xC1, 0x85}));
        QCOMPARE(d->checkMemorySta(), 0);
        usb->setReadData(0x20, 0, bytes({0xC1, 0x05}));
        QCOMPARE(d->checkMemorySta(), 12);
        // Short reads fail instead of decoding stale bytes.
        usb->setReadData(0x20, 0, bytes({0xC1}));
        unsigned raw = 7;
        QCOMPARE(d->getRunSta(&raw), 2);
        QCOMPARE(raw, 0u);
        QCOMPARE(d->devConnect(nullptr), 2);
        QVERIFY(!d->connected);
        usb->setReadData(0x20, 16, bytes({1, 0, 0, 0, 2, 0, 0, 0}));
        int a = -1, b = -1, c = -1;
        QCOMPARE(d->getSmpResultInfo(&a, &b, &c), 2);
        usb->setReadData(0x20, 16, bytes({10, 0, 0, 0, 3, 0, 0, 0, 0x00, 0x01, 0, 0}));
        QCOMPARE(d->getSmpResultInfo(&a, &b, &c), 0);
        QCOMPARE(a, 10);
        QCOMPARE(b, 3);
        QCOMPARE(c, 256);
        usb->failCode = 2;
        QCOMPARE(d->checkMemorySta(), 2);
        devSupport = nullptr;
        QCOMPARE(d->reqSmpStart(), 1);
        devSupport = usb;
    }

    void channelStatus()
    {
        auto d = make(DevModelRowan);
        usb->setReadData(0x20, 4, bytes({0x01, 0, 0, 0x80, 0, 0x02, 0, 0}));
        bool level[32], active[32];
        QCOMPARE(d->getDChnSta(level, active), 0);
        QVERIFY(level[0] && !level[1] && level[31]);
        QVERIFY(active[9] && !active[8]);
        usb->setReadData(0x20, 4, bytes({0x01, 0, 0, 0x80}));
        QCOMPARE(d->getDChnSta(level, active), 2);
    }

    void memoryWindow()
    {
        auto d = make(DevModelSpruce);
        QCOMPARE(d->reqMemReadStart(0x100, 0x2000), 0);
        QCOMPARE(usb->calls.size(), 3);
        QCOMPARE(int(usb->calls[0].request), 0x38);
        QCOMPARE(usb->calls[1].data, bytes({0, 1, 0, 0, 0, 0x20, 0, 0}));
        QCOMPARE(int(usb->calls[2].request), 0x30);
        QCOMPARE(DevBase::getCheckSum(reinterpret_cast<const unsigned char*>("\x01\xFF\x10"), 3), 0x110u);
        QCOMPARE(DevBase::getCheckSum(nullptr, 0), 0u);
    }

    void connectAndStandby()
    {
        auto d = make(DevModelWillow);
        QCOMPARE(d->devConnect(nullptr), 0);   // no memory to check
        QVERIFY(usb->calls.isEmpty());
        QCOMPARE(d->vthRef, 1.1);
        QCOMPARE(d->maxSmpFrequ, 800 * M);
        d->devStandby();
        QCOMPARE(usb->calls.size(), 1);
        QCOMPARE(int(usb->calls[0].request), 0x10);
        QCOMPARE(int(usb->calls[0].value), 0);
        DevBase::devBatch = "ab";
        d->devDisconnect();
        QVERIFY(!d->connected && DevBase::devBatch.isEmpty());
        d->devStandby();
        QCOMPARE(usb->calls.size(), 1);

        auto demo = make(DevModelDemo);
        QCOMPARE(demo->devConnect(nullptr), 1);
        QVERIFY(!demo->connected);
    }

    void startSignalOrder()
    {
        auto d = make(DevModelSpruce);
        connectDev(d.get());
        auto* acq = new FakeAcq(d.get());
        d->smpCtrlNormal = acq;
        QVector<QString> events;
        connect(d.get(), &DevBase::sigSmpDataReady, this, [&](int n) {
            events << QString("ready%1 calls=%2 running=%3").arg(n).arg(usb->calls.size()).arg(bool(d->smpRunning));
        });
        d->smpStart(SmpStartRepeat, true);
        QTRY_VERIFY(acq->started);
        // The empty view is announced before the upload and before the thread runs.
        QCOMPARE(events, QVector<QString>({"ready0 calls=0 running=0"}));
        QCOMPARE(usb->regWrites().size(), 3);
        QCOMPARE(usb->regWrites()[0].second, bytes({0x02}));
        QVERIFY(d->smpRunning && d->smpBySocket);
        QCOMPARE(int(d->smpStartMode), int(SmpStartRepeat));
        d->smpStopAndWait();
        QVERIFY(acq->isFinished());
        QCOMPARE(usb->lastRegWrite(0), bytes({0}));   // stop command

        events.clear();
        d->smpStart(SmpStartAuto, false);   // auto: no empty-view announcement
        QTRY_VERIFY(d->smpRunning);
        d->smpStopAndWait();
        QVERIFY(events.isEmpty());
        QCOMPARE(int(d->smpStartMode), int(SmpStartAuto));
        d->smpStart(SmpStartPrevious, false);   // keeps the previous mode
        QCOMPARE(int(d->smpStartMode), int(SmpStartAuto));
        d->smpStopAndWait();
    }

    void stopAndWaitAfterUnplug()
    {
        auto d = make(DevModelSpruce);
        connectDev(d.get());
        auto* acq = new FakeAcq(d.get());
        d->smpCtrlNormal = acq;
        d->smpStart(SmpStartSingle, false);
        QTRY_VERIFY(acq->started);
        d->devDisconnect();   // unplugged while sampling
        d->smpStopAndWait();
        QVERIFY(acq->isFinished());
        QVERIFY(!d->smpRunning);
    }

    void stopForRestart()
    {
        auto d = make(DevModelSpruce);
        connectDev(d.get());
        auto* acq = new FakeAcq(d.get());
        d->smpCtrlNormal = acq;
        QVERIFY(!d->smpStopForRestart());
        d->smpRestartIfNeed();
        QVERIFY(!acq->started);
        d->smpStart(SmpStartRepeatWait, false);
        QTRY_VERIFY(acq->started);
        QVERIFY(d->smpStopForRestart());
        QVERIFY(!d->smpRunning);
        acq->started = false;
        d->smpRestartIfNeed();
        QTRY_VERIFY(acq->started);
        QCOMPARE(int(d->smpStartMode), int(SmpStartRepeatWait));
        d->smpStopAndWait();
    }

    void analogSettings()
    {
        auto d = make(DevModelDemo);
        QCOMPARE(d->aChnNum(), 0);
        d->loadAChnSettings();
        QCOMPARE(d->aTrgPercent, 500);
        QCOMPARE(d->aTimeDivIndex, 9);
        QSignalSpy hor(d.get(), &DevBase::sigATrgHorChanged);
        QVERIFY(!d->setATrgPercent(1001));
        QVERIFY(d->setATrgPercent(250));
        QVERIFY(d->setATrgPercent(250));
        QCOMPARE(hor.count(), 1);
        QCOMPARE(Config::readDeviceParam("Demo", "ATrgPercent"), QString("250"));
        // Out-of-range channels are ignored (no analog channel here).
        d->setAChnOffset(0, 100);
        d->setAVoltDivIndex(3, 2);
        d->setATrgVolt(-1, 1.0);

        // A model with analog channels: keys, registers and the offset formula.
        d->aChnEna = {true, false};
        d->aVoltDivList = {10, 20, 50, 100, 200, 500, 1000};
        d->aChnGainTable = {{1, 2, 3, 4, 5, 6, 7}, {11, 12, 13, 14, 15, 16, 17}};
        d->aChnZeroTable = {{100, 100, 100}, {200, 200, 200}};
        d->aChnOffsetK = {2.0, 1.0};
        Config::saveDeviceParam("Demo", "ATrgPercent", "4000");
        Config::saveDeviceParam("Demo", "AVoltDivIndex", "2,99");
        Config::saveDeviceParam("Demo", "ATrigChn", "5");
        d->loadAChnSettings();
        QCOMPARE(d->aTrgPercent, 1000);
        QCOMPARE(d->aVoltDivIndex, QVector<int>({2, 5}));
        QCOMPARE(d->aTrgChn, 0);
        QCOMPARE(d->getVoltDivStringList(0).first(), QString("10mV"));
        QCOMPARE(d->getVoltDivStringList(0).last(), QString("1V"));
        d->connected = true;
        usb->clear();
        d->setAChnOffset(0, 500);   // 100 + trunc(2 x 0.5 x 50 / 500) = 100
        d->setAChnOffset(1, 1000);  // kept on the screen: 200 + trunc(1 x 0.5 x 500 / 500) = 200
        QCOMPARE(d->aChnOffset[1], 500);
        QCOMPARE(usb->lastRegWrite(72), bytes({100, 0, 200, 0}));
        d->setAVoltDivIndex(0, 6);  // zero table index limited to its last entry
        QCOMPARE(usb->lastRegWrite(64), bytes({7, 0, 16, 0}));
        QCOMPARE(usb->lastRegWrite(72), bytes({100 + 2, 0, 200, 0}));
        QSignalSpy aena(d.get(), &DevBase::sigAChnEnaChanged);
        d->setAChnEna(QVector<bool>({false, true}));
        QCOMPARE(usb->lastRegWrite(62), bytes({2}));
        QCOMPARE(aena.count(), 1);
        d->setACoupling(1, 1);
        QCOMPARE(usb->lastRegWrite(63), bytes({2}));
        d->connected = false;
    }
};

QTEST_MAIN(TestDevBase)
#include "test_devbase.moc"
