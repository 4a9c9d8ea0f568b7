// The earlier analyzer models: their figures per mode and at connect, the
// single-mode models' own lists, and that no factory path creates them.

#include <QtTest>

#include <memory>

#include "config/Config.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "device/DevModels.h"
#include "support/RecordingTransport.h"
#include "support/TestEnv.h"

namespace {
constexpr long long K = 1000, M = 1000000, G = 1000000000;

std::unique_ptr<DevBase> make(int model)
{
    switch (model) {
    case DevModelAlder: return std::make_unique<DevAlder>();
    case DevModelBirch: return std::make_unique<DevBirch>();
    case DevModelDogwood: return std::make_unique<DevDogwood>();
    case DevModelEsparto: return std::make_unique<DevEsparto>();
    case DevModelFescue: return std::make_unique<DevFescue>();
    case DevModelHazel: return std::make_unique<DevHazel>();
    case DevModelJuniper: return std::make_unique<DevJuniper>();
    case DevModelLarch: return std::make_unique<DevLarch>();
    case DevModelYarrow: return std::make_unique<DevYarrow>();
    case DevModelOsier: return std::make_unique<DevOsier>();
    default: return nullptr;
    }
}
} // namespace

class TestDevModels : public QObject
{
    Q_OBJECT
    RecordingTransport* usb = nullptr;

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
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("chn");
        QTest::addColumn<QVector<int>>("functions");
        QTest::addColumn<bool>("dual");
        QTest::addColumn<int>("mode");
        QTest::addColumn<long long>("firstRate");
        QTest::addColumn<int>("rateCount");
        QTest::addColumn<int>("rateIdx");
        QTest::addColumn<int>("depthCount");
        QTest::addColumn<int>("depthIdx");
        QTest::addColumn<long long>("noMark");
        QTest::addColumn<long long>("maxAllChn");
        QTest::addColumn<int>("memSize");
        QTest::addColumn<double>("vthRef");
        QTest::addColumn<long long>("maxRate");
        QTest::addColumn<long long>("baseClock");
        const QVector<int> pwm = {DevFuncPWM}, pwmVth = {DevFuncPWM, DevFuncVth},
                           vthPwm = {DevFuncVth, DevFuncPWM};
        QTest::newRow("alder") << 1 << "Alder" << 8 << QVector<int>() << false << 1
                               << 24 * M << 11 << 2 << 18 << 5 << 100 * G << 24 * M << 0 << 1.2 << 48 * M << 240 * M;
        QTest::newRow("birch") << 5 << "Birch" << 16 << vthPwm << false << 1
                               << 100 * M << 20 << 9 << 18 << 4 << 100 * G << 16 * M << 0 << 1.2 << 800 * M << 250 * M;
        QTest::newRow("dogwood buffer") << 2 << "Dogwood" << 16 << pwm << true << 0
                               << 100 * M << 12 << 0 << 15 << 7 << 50 * M << 100 * M << 0x8000000 << 1.2 << 100 * M << 250 * M;
        QTest::newRow("dogwood stream") << 2 << "Dogwood" << 16 << pwm << true << 1
                               << 100 * M << 12 << 3 << 18 << 4 << 100 * G << 20 * M << 0x8000000 << 1.2 << 100 * M << 250 * M;
        QTest::newRow("esparto buffer") << 6 << "Dogwood" << 16 << pwmVth << true << 0
                               << 100 * M << 12 << 0 << 15 << 7 << 50 * M << 100 * M << 0x8000000 << 1.2 << 100 * M << 250 * M;
        QTest::newRow("fescue buffer") << 3 << "Fescue" << 16 << pwm << true << 0
                               << 200 * M << 13 << 1 << 15 << 7 << 50 * M << 200 * M << 0x8000000 << 1.2 << 200 * M << 250 * M;
        QTest::newRow("hazel stream") << 7 << "Fescue" << 16 << pwmVth << true << 1
                               << 100 * M << 12 << 3 << 18 << 4 << 100 * G << 20 * M << 0x8000000 << 1.2 << 200 * M << 250 * M;
        QTest::newRow("juniper") << 4 << "Juniper" << 16 << pwm << false << 0
                               << 500 * M << 14 << 3 << 14 << 6 << 30 * M << 500 * M << 0x4000000 << 1.2 << 500 * M << 250 * M;
        QTest::newRow("larch buffer") << 8 << "Juniper" << 16 << vthPwm << true << 0
                               << 500 * M << 14 << 1 << 15 << 8 << 100 * M << 500 * M << 0x10000000 << 1.2 << 1000 * M << 250 * M;
        QTest::newRow("yarrow buffer") << 65 << "Yarrow" << 16 << vthPwm << true << 0
                               << 500 * M << 14 << 1 << 15 << 8 << 100 * M << 500 * M << 0x10000000 << 1.2 << 1000 * M << 250 * M;
        QTest::newRow("osier buffer") << 9 << "Maple" << 32 << vthPwm << true << 0
                               << 500 * M << 14 << 1 << 15 << 8 << 100 * M << 500 * M << 0x20000000 << 1.2 << 1000 * M << 250 * M;
        QTest::newRow("osier stream") << 9 << "Maple" << 32 << vthPwm << true << 1
                               << 100 * M << 12 << 4 << 18 << 4 << 100 * G << 10 * M << 0x20000000 << 1.2 << 1000 * M << 250 * M;
    }
    void modelTable()
    {
        QFETCH(int, model);
        QFETCH(bool, dual);
        QFETCH(int, mode);
        auto d = make(model);
        QSignalSpy modeChanged(d.get(), &DevBase::sigSmpModeChanged);
        // A single-mode model asked for its other mode stays where it is.
        d->setSmpMode(dual ? mode : 1 - mode);
        QCOMPARE(modeChanged.count(), dual && mode == SmpModeStream ? 1 : 0);
        QCOMPARE(Config::readDeviceParam(d->devName, "smpMode").isEmpty(), !dual || mode == SmpModeBuffer);
        QCOMPARE(d->devModel, model);
        QCOMPARE(d->smpMode, mode);
        QTEST(d->devName, "name");
        QTEST(d->chnNum(), "chn");
        QTEST(d->devFunction, "functions");
        QTEST(d->supportDualMode(), "dual");
        QTEST(d->smpFrequList.first(), "firstRate");
        QTEST(int(d->smpFrequList.size()), "rateCount");
        QTEST(d->smpFrequIndex, "rateIdx");
        QTEST(int(d->smpDepthList.size()), "depthCount");
        QTEST(d->smpDepthIndex, "depthIdx");
        QCOMPARE(d->curDepth, d->smpDepthList[d->smpDepthIndex]);
        QCOMPARE(d->smpDepthList.first(), 20 * K);
        QTEST(d->depthNoMark, "noMark");
        QTEST(d->getMaxSmpFrequ(d->chnNum()), "maxAllChn");
        // Every channel count the tables name is within the model.
        for (const ChnNumSmpFrequ& e : d->smpMode == SmpModeStream ? d->streamChnFrequ : d->bufChnFrequ)
            QVERIFY(e.chnNum <= d->chnNum());
        for (int i = 1; i < d->smpFrequList.size(); ++i)
            QVERIFY(d->smpFrequList[i] < d->smpFrequList[i - 1]);

        // The connect step's figures; the memory check passes.
        usb->setReadData(0x20, 0, QByteArray("\xC1\x85", 2));
        QCOMPARE(d->devConnect(nullptr), 0);
        QTEST(d->memSize, "memSize");
        QTEST(d->vthRef, "vthRef");
        QTEST(d->maxSmpFrequ, "maxRate");
        QTEST(d->baseClock, "baseClock");
        for (long long r : d->smpFrequList)
            QVERIFY2(d->maxSmpFrequ % r == 0, qPrintable(QString::number(r)));

        // No factory path leads to the model.
        QVERIFY(!DevBase::queryModelSupport(model));
        std::unique_ptr<DevBase> created(DevBase::createDevice(model));
        QCOMPARE(created->devModel, int(DevModelDemo));
    }

    void variantsKeepTheirBase()
    {
        auto e = make(DevModelEsparto);
        auto h = make(DevModelHazel);
        QVERIFY(dynamic_cast<DevDogwood*>(e.get()));
        QVERIFY(dynamic_cast<DevFescue*>(h.get()));
        QVERIFY(e->queryDevFunction(DevFuncVth) && !make(DevModelDogwood)->queryDevFunction(DevFuncVth));
    }

    void juniperLists()
    {
        auto d = make(DevModelJuniper);
        const QVector<long long> rates = {500 * M, 250 * M, 125 * M, 62500 * K, 25 * M, 12500 * K, 5 * M,
                                          2500 * K, 1 * M, 500 * K, 200 * K, 100 * K, 50 * K, 20 * K};
        QCOMPARE(d->smpFrequList, rates);
        QCOMPARE(d->smpDepthList.last(), 5 * G);
        QCOMPARE(d->getSmpFrequStringList()[3], QString("62.5 MHz"));
        // 30 M is no entry: 20 M is the last unmarked depth.
        const QStringList depths = d->getSmpDepthStringList();
        QCOMPARE(depths[6], QString("20 MSa"));
        QCOMPARE(depths[7], QString("50 MSa*"));
        QCOMPARE(d->bufChnFrequ.size(), 3);
        QCOMPARE(d->bufChnFrequ.last().chnNum, 16);
        QCOMPARE(d->bufChnFrequ.last().smpFrequ, 500 * M);
        QVERIFY(d->streamChnFrequ.isEmpty());
        // Every rate stays open with all channels on.
        QVERIFY(d->setSmpFrequ(0));
        QCOMPARE(d->getDChnEnaNum(), 16);
    }

    void alderRates()
    {
        auto d = make(DevModelAlder);
        const QVector<long long> rates = {24 * M, 16 * M, 12 * M, 8 * M, 4 * M, 2 * M, 1 * M,
                                          500 * K, 200 * K, 100 * K, 50 * K};
        QCOMPARE(d->smpFrequList, rates);
        const QStringList texts = d->getSmpFrequStringList();
        QCOMPARE(texts.first(), QString("24 MHz"));
        QCOMPARE(texts.last(), QString("50 KHz"));
        QCOMPARE(d->getSmpFrequ(), 12 * M);
        QCOMPARE(d->curDepth, 10 * M);
        QVERIFY(d->bufChnFrequ.isEmpty());
        QCOMPARE(d->getMaxChnEnaNum(24 * M), 8);
    }

    // The highest rate of a stream-only model switches channels off, and
    // all channels on again lower the rate to the table's limit.
    void streamOnlyAllChannels_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("onAtTop");
        QTest::addColumn<int>("allIdx");
        QTest::addColumn<long long>("allRate");
        QTest::newRow("alder") << int(DevModelAlder) << 8 << 0 << 24 * M;
        QTest::newRow("birch") << int(DevModelBirch) << 3 << 7 << 16 * M;
    }
    void streamOnlyAllChannels()
    {
        QFETCH(int, model);
        QFETCH(int, allIdx);
        auto d = make(model);
        QVERIFY(d->setSmpFrequ(0));
        QTEST(d->getDChnEnaNum(), "onAtTop");
        QSignalSpy lowered(d.get(), &DevBase::sigSmpFrequToLower);
        QVERIFY(d->setDChnEna(QVector<bool>(d->chnNum(), true)));
        QCOMPARE(d->smpFrequIndex, allIdx);
        QTEST(d->getSmpFrequ(), "allRate");
        QCOMPARE(lowered.count(), allIdx > 0 ? 1 : 0);
    }
};

QTEST_MAIN(TestDevModels)
#include "test_devmodels.moc"
