// The LED and IR plug-ins as the program hosts them: listed for every device
// model, and their simulated traffic drawn by the demonstration device on
// their channels and decoded back from the capture.

#include <QtTest>

#include <memory>

#include "Analyzer.h"
#include "PluginRunner.h"
#include "PluginTestKit.h"
#include "config/Config.h"
#include "data/SmpData.h"
#include "decode/AnalyzerManager.h"
#include "decode/SimuAnalyzerSource.h"
#include "device/DevGlobals.h"
#include "device/DevNone.h"
#include "device/DevSimulate.h"
#include "support/TestEnv.h"

using namespace plugintest;

namespace {

constexpr long long M = 1000000;
const QString kFiles[4] = {"libRGB-WS2812.so", "libRGBW-WS2812.so", "libIR-SIRC.so", "libIR-JVC.so"};

// Frames of an LED analyzer as "R" (reset), hex words, "E" (broken), "M"
// (the low-rate message).
QStringList ledFrames(AnalyzerResults* r)
{
    QStringList out;
    for (U64 i = 0; i < r->GetNumFrames(); ++i) {
        const Frame f = r->GetFrame(i);
        out << (f.mFlags == 0xFF ? "M" : f.mType == 0 ? "R" : f.mData2 ? "E" : QString::number(f.mData1, 16));
    }
    return out;
}

// Frames of an IR analyzer as "flags:data1".
QStringList irFrames(AnalyzerResults* r)
{
    QStringList out;
    for (U64 i = 0; i < r->GetNumFrames(); ++i) {
        const Frame f = r->GetFrame(i);
        out << QString("%1:%2%3").arg(f.mFlags).arg(f.mData1).arg(f.mType ? "!" : "");
    }
    return out;
}

} // namespace

class TestPluginDemo : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void listedForEveryModel();
    void demonstrationRoundTrip_data();
    void demonstrationRoundTrip();

private:
    // The plug-ins of channels 0 to 3, for decoding outside the host.
    AnalyzerPlugin mPlugins[4];
};

void TestPluginDemo::initTestCase()
{
    TestEnv::isolateUserData();
    Config::init();
    AnalyzerManager::deviceChnEnables = [] { return QVector<bool>(16, true); };
    AnalyzerManager::deviceModel = [] { return int(DevModelDemo); };
    AnalyzerManager::setAnalyzerDir(binPath("Analyzer/"));
    for (int c = 0; c < 4; ++c) {
        std::string error;
        QVERIFY2(mPlugins[c].load(binPath("Analyzer/" + kFiles[c]).toStdString(), &error), error.c_str());
    }
}

void TestPluginDemo::cleanup()
{
    SmpSimulate::setSourceFactory(nullptr);
}

void TestPluginDemo::listedForEveryModel()
{
    AnalyzerManager m;
    for (int model : {int(DevModelDemo), 101, 102, 103, 104}) {
        AnalyzerManager::deviceModel = [model] { return model; };
        QStringList names = m.getAllAnalyzerName();
        names.sort();
        QCOMPARE(names, (QStringList{"IR-JVC", "IR-RC6", "IR-SIRC", "RGB-WS2812", "RGBW-WS2812"}));
    }
    AnalyzerManager::deviceModel = [] { return int(DevModelDemo); };
    QCOMPARE(m.getSpecAnalyzerName("libRGBW-WS2812.so"), QString("RGBW-WS2812"));
    QCOMPARE(m.getSpecAnalyzerName("libIR-SIRC.so"), QString("IR-SIRC"));
}

void TestPluginDemo::demonstrationRoundTrip_data()
{
    QTest::addColumn<long long>("rate");
    QTest::addColumn<long long>("depth");
    QTest::newRow("20 MHz, 0.5 s") << 20 * M << 10 * M;
    QTest::newRow("5 MHz, 0.4 s: below the LED decoders' rate") << 5 * M << 2 * M;
}

void TestPluginDemo::demonstrationRoundTrip()
{
    QFETCH(long long, rate);
    QFETCH(long long, depth);

    // The analyzers in use: RGB on channel 0, RGBW on 1 (both shown as
    // sent), SIRC (20 bits, idle low) on 2, JVC on 3.
    AnalyzerManager m;
    const QStringList names = m.getAllAnalyzerName();
    struct Use {
        QString name;
        std::vector<int> settings; // dialog order after the channel
    };
    const Use uses[] = {{"RGB-WS2812", {0, 1, 0}}, {"RGBW-WS2812", {0, 1, 0}}, {"IR-SIRC", {2, 0}}, {"IR-JVC", {1}}};
    QStringList texts;
    for (int c = 0; c < 4; ++c) {
        const int p = names.indexOf(uses[c].name);
        QVERIFY(p >= 0);
        Analyzer* a = m.getNewAnalyzer(p);
        AnalyzerSettings* s = a->GetAnalyzerSettings();
        setAllChannels(s, U32(c));
        std::string error;
        for (size_t k = 0; k < uses[c].settings.size(); ++k)
            QVERIFY2(applySetting(s, U32(k + 1), std::to_string(uses[c].settings[k]), &error), error.c_str());
        QVERIFY(s->SetSettingsFromInterfaces());
        texts << QString::fromUtf8(s->SaveSettings());
        m.addUsing(a, false);
    }

    // One demonstration capture with the analyzers' traffic.
    SmpSimulate::setSourceFactory(makeAnalyzerSimuSource);
    auto dev = std::make_unique<DevNone>();
    QVERIFY(dev->setSmpFrequ(dev->smpFrequList.indexOf(rate)));
    QVERIFY(dev->setSmpDepth(dev->smpDepthList.indexOf(depth)));
    QCOMPARE(dev->getSmpFrequ(), rate);
    // The end is seen on this thread, after the store swap the capture
    // thread queued before it.
    bool finished = false;
    connect(dev.get(), &DevBase::sigSmpDataReady, this, [&finished](int kind) { finished = finished || kind == 1; },
            Qt::QueuedConnection);
    dev->smpStart(SmpStartSingle, false);
    QTRY_VERIFY_WITH_TIMEOUT(finished, 30000);
    dev->smpStopAndWait();
    QCOMPARE(dev->shownData()->smpDepth, depth);

    // Each channel decoded by a fresh analyzer with the same settings.
    DataForAnly record;
    dev->genDataForAnly(&record);
    QStringList decoded[4];
    for (int c = 0; c < 4; ++c) {
        QCOMPARE(m.getUsingSpecFileName(c), kFiles[c]);
        PluginAnalyzer a(mPlugins[c]);
        a->GetAnalyzerSettings()->LoadSettings(texts[c].toLatin1().constData());
        runDecode(a.get(), &record);
        AnalyzerResults* r = resultsOf(a.get());
        decoded[c] = c < 2 ? ledFrames(r) : irFrames(r);
    }

    if (rate < 10 * M) {
        QCOMPARE(decoded[0], QStringList{"M"});
        QCOMPARE(decoded[1], QStringList{"M"});
    } else {
        // Whole chains: a reset and the ten words of the member's table.
        const QStringList rgb = {"R", "ff0000", "ff00", "ff", "ffff00", "ff00ff", "ffff", "0", "ffffff", "ab40", "20ab40"};
        const QStringList rgbw = {"R",        "ff000000", "ff0000", "ff00",     "ffff00ff", "ff00ffff",
                                  "ffff00",   "ff",       "ffffff00", "ab40ff", "20ab4000"};
        QVERIFY(!decoded[0].contains("E") && !decoded[1].contains("E"));
        QVERIFY(decoded[0].size() >= 5 * rgb.size());
        for (int c = 0; c < 2; ++c) {
            const QStringList& chain = c == 0 ? rgb : rgbw;
            // The capture may cut its last chain short.
            for (int i = 0; i + chain.size() <= decoded[c].size(); i += chain.size())
                QCOMPARE(decoded[c].mid(i, chain.size()), chain);
        }
    }
    // IR: whole messages (about 145 ms each).
    QVERIFY(decoded[2].size() >= 8);
    for (int i = 0; i + 4 <= decoded[2].size(); i += 4)
        QCOMPARE(decoded[2].mid(i, 4), (QStringList{"0:0", "1:6", "2:1", "3:16"}));
    QVERIFY(decoded[3].size() >= 6);
    for (int i = 0; i + 3 <= decoded[3].size(); i += 3)
        QCOMPARE(decoded[3].mid(i, 3), (QStringList{"0:0", "1:6", "2:19"}));

    m.removeAllUsing();
}

QTEST_MAIN(TestPluginDemo)
#include "test_plugin_demo.moc"
