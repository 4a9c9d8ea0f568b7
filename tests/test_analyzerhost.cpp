// The analyzer host: plug-in catalogue, analyzers in use and their
// persistence, channel labels, decode threads (end of run, stop, re-run,
// removal), the modification handshake, simulation copies and the export.

#include <QtTest>

#include <QLibrary>
#include <QTemporaryDir>

#include <atomic>
#include <cstdlib>
#include <list>
#include <memory>
#include <thread>
#include <vector>

#include "Analyzer.h"
#include "AnalyzerSettingInterface.h"
#include "config/Config.h"
#include "decode/AnalyzerManager.h"
#include "support/TestEnv.h"

namespace {

const QString kPluginDir = QStringLiteral(HOST_PLUGIN_DIR);
const QString kA = "libHostTest.so";
const QString kB = "libHostTestB.so";

// An edge table laid out as the sample store keeps it: the edges, then the
// closing entry at the end of the capture (one block is plenty here).
DigitalChnData* makeTable(const std::vector<int64_t>& edges, int64_t end, int initLevel)
{
    auto* chn = static_cast<DigitalChnData*>(std::calloc(1, sizeof(DigitalChnData)));
    chn->initLevel = initLevel;
    auto* g = static_cast<DigitalDataGroup*>(std::calloc(1, sizeof(DigitalDataGroup)));
    auto* b = static_cast<DigitalDataBlock*>(std::calloc(1, sizeof(DigitalDataBlock)));
    std::vector<int64_t> all = edges;
    all.push_back(end);
    for (int64_t p : all) {
        b->posLow[b->posNum] = uint32_t(p);
        b->posHigh[b->posNum] = uint8_t(p >> 32);
        ++b->posNum;
    }
    g->block[0] = b;
    g->blockNum = 1;
    g->blockLastPos[0] = end;
    chn->group[0] = g;
    chn->groupNum = 1;
    chn->groupLastPos[0] = end;
    return chn;
}

void freeTable(DigitalChnData* chn)
{
    if (!chn)
        return;
    std::free(chn->group[0]->block[0]);
    std::free(chn->group[0]);
    std::free(chn);
}

// Four channels; channel 0 has edges at 100, 200, 300 within 1000 samples.
struct Capture {
    DigitalChnData* tables[4] = {};
    Capture()
    {
        tables[0] = makeTable({100, 200, 300}, 1000, 0);
        tables[1] = makeTable({50}, 1000, 1);
    }
    ~Capture()
    {
        for (DigitalChnData* t : tables)
            freeTable(t);
    }
    DataForAnly record() { return DataForAnly{tables, 1000, 1000000, 0, 4}; }
};

// Sets the test plug-in's settings through its interfaces, as the settings
// dialog does. chn/aux -1 leave the channel undefined.
void configure(Analyzer* a, int chn, int mode, bool rerun = false, int aux = -1)
{
    AnalyzerSettings* s = a->GetAnalyzerSettings();
    for (U32 i = 0; i < s->GetSettingsInterfacesCount(); ++i) {
        AnalyzerSettingInterface* itf = s->GetSettingsInterface(i);
        const QByteArray title = itf->GetTitle();
        if (title == "Input")
            static_cast<AnalyzerSettingInterfaceChannel*>(itf)->SetChannel(chn < 0 ? Channel() : Channel(0, U32(chn)));
        else if (title == "Aux")
            static_cast<AnalyzerSettingInterfaceChannel*>(itf)->SetChannel(aux < 0 ? Channel() : Channel(0, U32(aux)));
        else if (title == "Mode")
            static_cast<AnalyzerSettingInterfaceInteger*>(itf)->SetInteger(mode);
        else if (title == "Rerun")
            static_cast<AnalyzerSettingInterfaceBool*>(itf)->SetValue(rerun);
    }
    s->SetSettingsFromInterfaces();
}

U64 frameCount(Analyzer* a)
{
    AnalyzerResults* r = nullptr;
    return a && a->GetAnalyzerResults(&r) ? r->GetNumFrames() : 0;
}

int pluginIndex(AnalyzerManager& m, const QString& name)
{
    return m.getAllAnalyzerName().indexOf(name);
}

// Adds an analyzer of the named plug-in, configured, without decoding.
Analyzer* addAnalyzer(AnalyzerManager& m, const QString& name, int chn, int mode, bool rerun = false, int aux = -1)
{
    const int p = pluginIndex(m, name);
    if (p < 0)
        return nullptr;
    Analyzer* a = m.getNewAnalyzer(p);
    configure(a, chn, mode, rerun, aux);
    m.addUsing(a, false);
    return a;
}

int callInt(const QString& file, const char* fn)
{
    QLibrary lib(kPluginDir + "/" + file);
    auto f = reinterpret_cast<int (*)()>(lib.resolve(fn));
    return f ? f() : -1;
}

// Waits for a decode thread to end without letting queued notices through.
bool waitIdleNoEvents(AnalyzerManager& m, int index)
{
    for (int i = 0; i < 5000; ++i) {
        if (!m.anlyThreadIsRuning(index))
            return true;
        QThread::msleep(1);
    }
    return false;
}

} // namespace

class TestAnalyzerHost : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void catalogue();
    void catalogueSortedByFileName();
    void emptyCatalogue_data();
    void emptyCatalogue();
    void aliasesFormatsAndShow();
    void restore_data();
    void restore();
    void channelLabels();

    void naturalEndAnnouncedOnce_data();
    void naturalEndAnnouncedOnce();
    void stopAnnouncesNothing();
    void staleNoticeIgnored();
    void rerun();
    void removeWhileDecoding();
    void recordChangesAfterRuns();
    void handshakeBeforeEveryChange();

    void simulationCopies();

    void exportWritesFile();
    void exportProgressAndCancel();
    void exportFailureReported();
    void exportEndedByChanges();

private:
    QVector<bool> mEnables;
};

void TestAnalyzerHost::initTestCase()
{
    TestEnv::isolateUserData();
    Config::init();
    AnalyzerManager::deviceChnEnables = [this] { return mEnables; };
}

void TestAnalyzerHost::init()
{
    mEnables = QVector<bool>(8, true);
    AnalyzerManager::deviceModel = [] { return int(DevModelDemo); };
    AnalyzerManager::setAnalyzerDir(kPluginDir);
    Config::clearAnalyzerParam();
    Config::saveGlobalParam("analyzerAlias", "");
}

void TestAnalyzerHost::catalogue()
{
    AnalyzerManager m;
    QCOMPARE(AnalyzerManager::me, &m);
    // The non-library file, the plug-in without DestroyAnalyzer and the
    // text file are skipped.
    QCOMPARE(m.getAllAnalyzerName(), QStringList() << "Host Test" << "Host Test B (Not Supported)");
    QCOMPARE(m.getSpecAnalyzerName(kA), QString("Host Test"));
    QCOMPARE(m.getSpecAnalyzerName("libHostNoDestroy.so"), QString());
    QCOMPARE(m.getSpecAnalyzerName("libNotALibrary.so"), QString());
    QVERIFY(!m.getNewAnalyzer(-1));
    QVERIFY(!m.getNewAnalyzer(m.getPluginCount()));

    AnalyzerManager::deviceModel = [] { return int(DevModelSpruce); };
    QVERIFY(m.getAllAnalyzerName().contains("Host Test B"));
    QCOMPARE(m.getSpecAnalyzerName(kB), QString("Host Test B"));
}

void TestAnalyzerHost::catalogueSortedByFileName()
{
    // Copied in an order unlike the sorted one; the catalogue follows the
    // file names (case-sensitive, as a plain listing shows them).
    const QStringList copies = {"libRGBW-WS2812.so", "libIR-JVC.so", "libRGB-WS2812.so", "libIR-SIRC.so",
                                "libIR-RC6.so", "liba.so"};
    QTemporaryDir dir;
    for (const QString& name : copies)
        QVERIFY(QFile::copy(kPluginDir + "/" + kA, dir.filePath(name)));
    AnalyzerManager::setAnalyzerDir(dir.path());
    AnalyzerManager m;
    QCOMPARE(m.getPluginCount(), copies.size());
    QStringList files;
    for (int i = 0; i < m.getPluginCount(); ++i) {
        m.addUsing(m.getNewAnalyzer(i), false);
        files << m.getUsingSpecFileName(i);
    }
    QCOMPARE(files, QStringList() << "libIR-JVC.so" << "libIR-RC6.so" << "libIR-SIRC.so" << "libRGB-WS2812.so"
                                  << "libRGBW-WS2812.so" << "liba.so");
    m.removeAllUsing();
}

void TestAnalyzerHost::emptyCatalogue_data()
{
    QTest::addColumn<bool>("exists");
    QTest::newRow("empty directory") << true;
    QTest::newRow("missing directory") << false;
}

void TestAnalyzerHost::emptyCatalogue()
{
    QFETCH(bool, exists);
    QTemporaryDir dir;
    AnalyzerManager::setAnalyzerDir(exists ? dir.path() : dir.path() + "/none");
    AnalyzerManager m;
    QVERIFY(m.getAllAnalyzerName().isEmpty());
    QCOMPARE(AnalyzerManager::getExportFileProgress(), 100);
    AnalyzerManager::stopAllAnalyzer();
    AnalyzerManager::clearAnalyzerResult();
    m.startDecode();
    QVERIFY(AnalyzerManager::getAllSimuAnalyzers().isEmpty());
}

void TestAnalyzerHost::aliasesFormatsAndShow()
{
    AnalyzerManager m;
    QSignalSpy aliasSpy(&m, &AnalyzerManager::analyzerItemAliasChanged);
    QSignalSpy itemSpy(&m, &AnalyzerManager::analyzerItemChanged);
    Analyzer* a0 = addAnalyzer(m, "Host Test", 0, 0);
    Analyzer* a1 = addAnalyzer(m, "Host Test", 1, 0);
    QVERIFY(a0 && a1);
    QCOMPARE(m.getUsingCount(), 2);
    QVERIFY(aliasSpy.count() >= 2 && itemSpy.count() >= 2);

    m.setUsingAlias(1, "Remote");
    QCOMPARE(m.getUsingAlias(1), QString("Remote"));
    QCOMPARE(Config::readGlobalParam("analyzerAlias"), QString(";Remote;"));
    // The plug-in's own name stores an empty alias.
    m.setUsingAlias(1, "Host Test");
    QCOMPARE(Config::readGlobalParam("analyzerAlias"), QString(";;"));
    QCOMPARE(m.getUsingAlias(1), QString("Host Test"));
    // A ";" would split the stored aliases.
    m.setUsingAlias(0, "a;b");
    QCOMPARE(Config::readGlobalParam("analyzerAlias"), QString("a,b;;"));

    QCOMPARE(m.getUsingDisplayFormat(0), int(Hexadecimal));
    m.setUsingDisplayFormat(0, ASCII);
    QCOMPARE(m.getUsingDisplayFormat(0), int(ASCII));
    QCOMPARE(AnalyzerManager::getAnalyzerDisplayFormat(a0), int(ASCII));
    m.setUsingDisplayFormat(0, 9);
    QCOMPARE(m.getUsingDisplayFormat(0), int(Hexadecimal));
    QCOMPARE(AnalyzerManager::getAnalyzerDisplayFormat(nullptr), -1);

    QCOMPARE(AnalyzerManager::getTotalProtocol(), QStringList() << "a,b,1" << "Host Test,1");
    AnalyzerManager::setProtocolShow(0);
    AnalyzerManager::setProtocolShow(7);
    AnalyzerManager::setProtocolShow(-1);
    QCOMPARE(AnalyzerManager::getTotalProtocol(), QStringList() << "a,b,0" << "Host Test,1");
    QCOMPARE(AnalyzerManager::getEnaAnalyzers(), QVector<Analyzer*>() << a1);

    QCOMPARE(m.getUsingSpecFileName(0), kA);
    QCOMPARE(m.getUsingSpecFileName(5), QString());
    QCOMPARE(m.getUsingAnalyzer(1), a1);

    // Stored item by item: file name, settings text, format.
    const QStringList fields = Config::readAnalyzerParam().split(';');
    QCOMPARE(fields.size(), 7);
    QCOMPARE(fields[0], kA);
    QCOMPARE(fields[2], QString("2"));
    QCOMPARE(fields[3], kA);
    QVERIFY(!fields[1].isEmpty());
    QVERIFY(fields[1] != fields[4]); // different input channels

    m.removeUsing(0);
    QCOMPARE(m.getUsingCount(), 1);
    QCOMPARE(Config::readGlobalParam("analyzerAlias"), QString(";"));
    m.removeUsing(3); // ignored
    m.removeAllUsing();
    QCOMPARE(m.getUsingCount(), 0);
    QCOMPARE(Config::readAnalyzerParam(), QString());
}

// Items as raw field lists (so items with missing fields can be written).
void TestAnalyzerHost::restore_data()
{
    QTest::addColumn<QList<QStringList>>("items");
    QTest::addColumn<QString>("aliases");
    QTest::addColumn<QStringList>("expect"); // file|alias|format per analyzer

    const QString settings = "0 4294967295 0 0";
    QTest::newRow("unknown plug-in keeps aliases aligned")
        << QList<QStringList>{{kA, settings, "1"}, {"libGone.so", settings, "2"}, {kB, settings, "3"}}
        << "first;gone;third;" << QStringList{kA + "|first|1", kB + "|third|3"};
    QTest::newRow("fewer aliases than items")
        << QList<QStringList>{{kA, settings, "0"}, {kA, settings, "4"}} << "only;"
        << QStringList{kA + "|only|0", kA + "||4"};
    QTest::newRow("format out of range or not a number")
        << QList<QStringList>{{kA, settings, "7"}, {kA, settings, "x"}, {kA, settings, "-1"}} << ""
        << QStringList{kA + "||2", kA + "||2", kA + "||2"};
    QTest::newRow("five fields restore one")
        << QList<QStringList>{{kA, settings, "1"}, {kA, settings}} << "" << QStringList{kA + "||1"};
    QTest::newRow("two fields restore none") << QList<QStringList>{{kA, settings}} << "" << QStringList{};
    QTest::newRow("names are trimmed") << QList<QStringList>{{" " + kA + " ", " " + settings + " ", " 3 "}}
                                       << "" << QStringList{kA + "||3"};
    QTest::newRow("garbage settings") << QList<QStringList>{{kA, "not an archive", "1"}} << ""
                                      << QStringList{kA + "||1"};
}

void TestAnalyzerHost::restore()
{
    QFETCH(QList<QStringList>, items);
    QFETCH(QString, aliases);
    QFETCH(QStringList, expect);

    AnalyzerManager::deviceModel = [] { return int(DevModelSpruce); };
    AnalyzerManager m;
    addAnalyzer(m, "Host Test", 0, 2); // replaced by the restore
    Config::clearAnalyzerParam();
    QDomElement node = Config::cfgDoc.documentElement().firstChildElement("analyzers");
    QVERIFY(!node.isNull());
    for (int i = 0; i < items.size(); ++i) {
        QDomElement item = Config::cfgDoc.createElement("item" + QString::number(i));
        for (int k = 0; k < items[i].size(); ++k) {
            QDomElement f = Config::cfgDoc.createElement(QString("f%1").arg(k));
            f.appendChild(Config::cfgDoc.createTextNode(items[i][k]));
            item.appendChild(f);
        }
        node.appendChild(item);
    }
    Config::saveGlobalParam("analyzerAlias", aliases);

    QSignalSpy aliasSpy(&m, &AnalyzerManager::analyzerItemAliasChanged);
    QSignalSpy itemSpy(&m, &AnalyzerManager::analyzerItemChanged);
    m.restoreUsing();
    QCOMPARE(aliasSpy.count(), 1);
    QCOMPARE(itemSpy.count(), 1);

    QStringList got;
    for (int i = 0; i < m.getUsingCount(); ++i) {
        const QString alias = m.getUsingAlias(i) == m.getSpecAnalyzerName(m.getUsingSpecFileName(i))
                                  ? QString() : m.getUsingAlias(i);
        got << m.getUsingSpecFileName(i) + "|" + alias + "|" + QString::number(m.getUsingDisplayFormat(i));
    }
    QCOMPARE(got, expect);
    for (int i = 0; i < m.getUsingCount(); ++i)
        QVERIFY(!m.anlyThreadIsRuning(i)); // no decode is started
}

void TestAnalyzerHost::channelLabels()
{
    mEnables = QVector<bool>{true, true, true, true, false, true};
    AnalyzerManager m;
    addAnalyzer(m, "Host Test", 3, 0);
    addAnalyzer(m, "Host Test", 3, 0, false, 3); // input and aux both on 3
    addAnalyzer(m, "Host Test", 4, 0, false, 40); // aux beyond the device
    addAnalyzer(m, "Host Test", -1, 0);           // nothing chosen
    m.setUsingAlias(1, "Second");

    QCOMPARE(m.getUsingChnAlias(1), QStringList() << "3" << "Second - Input" << "3" << "Second - Aux");
    QCOMPARE(m.getUsingChnAlias(3), QStringList() << "4294967295" << "Host Test - Input" << "4294967295"
                                                  << "Host Test - Aux");

    const QStringList all = m.getAllUsingChnAlias(-1);
    QCOMPARE(all.size(), 12);
    QCOMPARE(all[6], QString("3"));
    QCOMPARE(all[7], QString("Host Test - Input, Second - Input, Second - Aux"));
    QCOMPARE(all[9], QString("Host Test - Input"));
    QCOMPARE(all[1], QString());
    QCOMPARE(m.getAllUsingChnAlias(0)[7], QString("Second - Input, Second - Aux"));

    // Channel 4 is disabled: its pair goes.
    const QStringList ena = m.getEnableChnInterfaceName(-1);
    QCOMPARE(ena.size(), 10);
    QVERIFY(!ena.contains("4"));
    QCOMPARE(ena[7], all[7]);

    QCOMPARE(AnalyzerManager::getUsingChnAnalyzers(3),
             QVector<Analyzer*>() << m.getUsingAnalyzer(0) << m.getUsingAnalyzer(1));
    QVERIFY(AnalyzerManager::getUsingChnAnalyzers(7).isEmpty());
    QVERIFY(AnalyzerManager::getUsingChnAnalyzers(-1).isEmpty());
}

// A run that ends by itself is announced exactly once, whatever stopped it:
// the end of the data, a channel the capture lacks, or no channel at all.
void TestAnalyzerHost::naturalEndAnnouncedOnce_data()
{
    QTest::addColumn<int>("chn");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("frames");
    QTest::newRow("end of data") << 0 << 0 << 3;
    QTest::newRow("returns") << 0 << 2 << 3;
    QTest::newRow("channel without data") << 2 << 0 << 0;
    QTest::newRow("channel beyond the capture") << 40 << 0 << 0;
    QTest::newRow("undefined channel") << -1 << 0 << 0;
}

void TestAnalyzerHost::naturalEndAnnouncedOnce()
{
    QFETCH(int, chn);
    QFETCH(int, mode);
    QFETCH(int, frames);
    Capture cap;
    AnalyzerManager m;
    Analyzer* a = addAnalyzer(m, "Host Test", chn, mode);
    m.setDataForAnly(cap.record());
    QSignalSpy spy(&m, &AnalyzerManager::analyzerDecodedChanged);
    m.startDecode();
    QVERIFY(spy.wait(5000));
    QVERIFY(waitIdleNoEvents(m, 0));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(spy.count(), 1);
    // Frames are level runs: the one before the closing entry is not a frame.
    QCOMPARE(frameCount(a), U64(frames));
}

void TestAnalyzerHost::stopAnnouncesNothing()
{
    Capture cap;
    AnalyzerManager m;
    addAnalyzer(m, "Host Test", 0, 1);
    addAnalyzer(m, "Host Test", 0, 1);
    m.setDataForAnly(cap.record());
    QSignalSpy spy(&m, &AnalyzerManager::analyzerDecodedChanged);
    m.startDecode();
    QVERIFY(m.anlyThreadIsRuning(0) && m.anlyThreadIsRuning(1));
    AnalyzerManager::stopAllAnalyzer();
    QVERIFY(!m.anlyThreadIsRuning(0) && !m.anlyThreadIsRuning(1));
    QVERIFY(!AnalyzerManager::isInterruptAnly());
    QCoreApplication::sendPostedEvents();
    QCOMPARE(spy.count(), 0);
    // Stopping again, with nothing running, returns at once.
    AnalyzerManager::stopAllAnalyzer();
    m.stopAnlyThread(0);

    // Another analyzer's run that ends by itself while one is being stopped
    // is still announced: the stop waits for its own worker only.
    configure(m.getUsingAnalyzer(1), 0, 2);
    m.startDecode();
    QVERIFY(waitIdleNoEvents(m, 1));
    m.stopAnlyThread(0);
    QVERIFY(!m.anlyThreadIsRuning(0));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(frameCount(m.getUsingAnalyzer(1)), U64(3));
}

// A run ended by itself while its notice waits in the queue: stopping it
// returns at once, and the late notice neither ends a newer run nor is
// announced.
void TestAnalyzerHost::staleNoticeIgnored()
{
    Capture cap;
    AnalyzerManager m;
    Analyzer* a = addAnalyzer(m, "Host Test", 0, 2);
    m.setDataForAnly(cap.record());
    QSignalSpy spy(&m, &AnalyzerManager::analyzerDecodedChanged);
    m.startDecode();
    QVERIFY(waitIdleNoEvents(m, 0));
    m.stopAnlyThread(0);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(spy.count(), 0);

    // Again, but a new endless run starts before the old notice arrives.
    m.startDecode();
    QVERIFY(waitIdleNoEvents(m, 0));
    configure(a, 0, 1);
    m.startDecode(0);
    QVERIFY(m.anlyThreadIsRuning(0));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(spy.count(), 0);
    QVERIFY(m.anlyThreadIsRuning(0));
    QCOMPARE(a->GetRunId(), U64(3));
    AnalyzerManager::stopAllAnalyzer();
}

void TestAnalyzerHost::rerun()
{
    Capture cap;
    AnalyzerManager m;
    Analyzer* a = addAnalyzer(m, "Host Test", 0, 2, true);
    m.setDataForAnly(cap.record());
    QSignalSpy spy(&m, &AnalyzerManager::analyzerDecodedChanged);
    m.startDecode();
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, 5000);
    QCOMPARE(a->GetRunId(), U64(2));
    QVERIFY(waitIdleNoEvents(m, 0));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(spy.count(), 2);
    QCOMPARE(frameCount(a), U64(3)); // the re-run started from empty results
}

void TestAnalyzerHost::removeWhileDecoding()
{
    Capture cap;
    AnalyzerManager m;
    addAnalyzer(m, "Host Test", 0, 1);
    Analyzer* keep = addAnalyzer(m, "Host Test", 0, 2);
    m.setDataForAnly(cap.record());
    QSignalSpy spy(&m, &AnalyzerManager::analyzerDecodedChanged);
    m.startDecode();
    QVERIFY(m.anlyThreadIsRuning(0));
    m.removeUsing(0);
    QCOMPARE(m.getUsingCount(), 1);
    QCOMPARE(m.getUsingAnalyzer(0), keep);
    // Only the remaining analyzer's end is announced.
    QVERIFY(spy.wait(5000));
    QVERIFY(waitIdleNoEvents(m, 0));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(spy.count(), 1);

    // Removing while it decodes, then destroying the host while another
    // one decodes: neither waits for ever nor leaves a thread behind.
    configure(keep, 0, 1);
    addAnalyzer(m, "Host Test", 0, 1);
    m.startDecode();
    m.removeAllUsing();
    QCOMPARE(m.getUsingCount(), 0);
    addAnalyzer(m, "Host Test", 0, 1);
    m.startDecode();
}

// A new capture with fewer channels arrives while the runs of the last one
// keep asking for its highest channel: the record they read changes only
// once they have ended, so none reads the new, shorter table with the old
// channel count.
void TestAnalyzerHost::recordChangesAfterRuns()
{
    std::vector<DigitalChnData*> wide(8, nullptr), narrow(2, nullptr);
    wide[7] = makeTable({100, 200}, 1000, 0);
    narrow[0] = makeTable({10}, 1000, 1);
    const DataForAnly wideRec{wide.data(), 1000, 1000000, 0, 8};
    const DataForAnly narrowRec{narrow.data(), 1000, 1000000, 0, 2};
    {
        AnalyzerManager m;
        addAnalyzer(m, "Host Test", 7, 3);
        addAnalyzer(m, "Host Test", 7, 3);
        for (int round = 0; round < 300; ++round) {
            m.startDecode(wideRec);
            QVERIFY(m.anlyThreadIsRuning(0) && m.anlyThreadIsRuning(1));
            m.startDecode(narrowRec);
            QCOMPARE(m.dataForAnly().chnData, narrow.data());
            QCOMPARE(m.dataForAnly().chnNum, 2);
            // Channel 7 is not in the new capture: the new runs end at once.
            QVERIFY(waitIdleNoEvents(m, 0) && waitIdleNoEvents(m, 1));
        }
        // The same for a record that replaces the capture without a decode.
        m.startDecode(wideRec);
        m.setDataForAnly(narrowRec);
        QVERIFY(!m.anlyThreadIsRuning(0) && !m.anlyThreadIsRuning(1));
        QCOMPARE(m.dataForAnly().chnNum, 2);
        QCoreApplication::sendPostedEvents();
    }
    freeTable(wide[7]);
    freeTable(narrow[0]);
}

// Every change of the analyzers or their results waits for the Decoded
// Results thread to let go, and during the change hides the analyzers from
// it.
void TestAnalyzerHost::handshakeBeforeEveryChange()
{
    std::atomic<int> handshakes{0};
    std::atomic<int> visibleDuringChange{0};
    std::list<std::thread> responders;
    Capture cap;
    auto host = std::make_unique<AnalyzerManager>();
    AnalyzerManager& m = *host;
    connect(&m, &AnalyzerManager::modifyPrepared, this, [&] {
        responders.emplace_back([&] {
            if (!AnalyzerManager::getEnaAnalyzers().isEmpty())
                ++visibleDuringChange;
            ++handshakes;
            m.setModifyAnly(false);
        });
    });
    Analyzer* a = addAnalyzer(m, "Host Test", 0, 2);
    addAnalyzer(m, "Host Test", 1, 2);
    QCOMPARE(handshakes.load(), 0); // adding without decoding changes no result
    m.setDataForAnly(cap.record());

    QSignalSpy spy(&m, &AnalyzerManager::analyzerDecodedChanged);
    m.startDecode();
    QCOMPARE(handshakes.load(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, 5000);
    QCOMPARE(frameCount(a), U64(3));

    AnalyzerManager::stopAllAnalyzer();
    AnalyzerManager::clearAnalyzerResult();
    QCOMPARE(handshakes.load(), 2);
    QCOMPARE(frameCount(a), U64(0));

    m.saveEditMessage(0, true);
    QCOMPARE(handshakes.load(), 3);
    m.removeUsing(1);
    QCOMPARE(handshakes.load(), 4);
    m.restoreUsing();
    QCOMPARE(handshakes.load(), 5);
    QCOMPARE(visibleDuringChange.load(), 0);
    QCOMPARE(AnalyzerManager::getEnaAnalyzers().size(), 1);
    host.reset(); // the host's end is a change too
    QCOMPARE(handshakes.load(), 6);
    for (std::thread& t : responders)
        t.join();
}

void TestAnalyzerHost::simulationCopies()
{
    const int destroyedA = callInt(kA, "HostTestDestroyed");
    const int destroyedB = callInt(kB, "HostTestDestroyed");
    const int liveA = callInt(kA, "HostTestLive");
    AnalyzerManager::deviceModel = [] { return int(DevModelSpruce); };
    Capture cap;
    AnalyzerManager m;
    Analyzer* a = addAnalyzer(m, "Host Test", 1, 2);
    Analyzer* b = addAnalyzer(m, "Host Test B", 3, 0);
    QVERIFY(a && b);
    m.setDataForAnly(cap.record());
    QSignalSpy spy(&m, &AnalyzerManager::analyzerDecodedChanged);
    m.startDecode();
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, 5000);
    QCOMPARE(frameCount(a), U64(3));

    // The capture simulation asks from its own thread.
    QVector<Analyzer*> copies;
    std::thread sim([&] { copies = AnalyzerManager::getAllSimuAnalyzers(); });
    sim.join();
    QCOMPARE(copies.size(), 2);
    QVERIFY(copies[0] != a && copies[1] != b);
    QCOMPARE(QByteArray(copies[0]->GetAnalyzerSettings()->SaveSettings()),
             QByteArray(a->GetAnalyzerSettings()->SaveSettings()));
    QCOMPARE(QByteArray(copies[1]->GetAnalyzerName()), QByteArray("Host Test B"));
    QCOMPARE(frameCount(a), U64(3)); // results in use untouched

    // The in-use list changes before the copies come back: each still goes
    // to its own plug-in.
    m.removeUsing(0);
    std::thread back([&] { AnalyzerManager::deleteSimuAnalyzers(copies); });
    back.join();
    QVERIFY(copies.isEmpty());
    QCOMPARE(callInt(kA, "HostTestDestroyed"), destroyedA + 1);
    QCOMPARE(callInt(kB, "HostTestDestroyed"), destroyedB + 1);
    QCOMPARE(callInt(kA, "HostTestLive"), liveA);
}

void TestAnalyzerHost::exportWritesFile()
{
    Capture cap;
    AnalyzerManager m;
    Analyzer* a = addAnalyzer(m, "Host Test", 0, 0);
    m.setDataForAnly(cap.record());
    QSignalSpy spy(&m, &AnalyzerManager::analyzerDecodedChanged);
    m.startDecode();
    QVERIFY(spy.wait(5000));

    QTemporaryDir dir;
    const QString path = dir.filePath("out.txt");
    AnalyzerResults* r = nullptr;
    QVERIFY(a->GetAnalyzerResults(&r));
    QSignalSpy done(&m, &AnalyzerManager::exportFinished);
    QVERIFY(!AnalyzerManager::exportAnlyDataFile(nullptr, path, Hexadecimal, 0));
    QVERIFY(AnalyzerManager::exportAnlyDataFile(r, path, Hexadecimal, 0));
    QVERIFY(done.wait(5000));
    QCOMPARE(done.count(), 1);
    QCOMPARE(done.at(0).at(0).toBool(), true);
    QVERIFY(!AnalyzerManager::lastExportFailed());
    QCOMPARE(AnalyzerManager::getExportFileProgress(), 100);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("0,99\n100,199\n200,299\n"));
}

void TestAnalyzerHost::exportProgressAndCancel()
{
    AnalyzerManager m;
    Analyzer* a = addAnalyzer(m, "Host Test", 0, 2);
    Capture cap;
    m.setDataForAnly(cap.record());
    QSignalSpy spy(&m, &AnalyzerManager::analyzerDecodedChanged);
    m.startDecode();
    QVERIFY(spy.wait(5000));
    AnalyzerResults* r = nullptr;
    QVERIFY(a->GetAnalyzerResults(&r));

    QTemporaryDir dir;
    QSignalSpy done(&m, &AnalyzerManager::exportFinished);
    QVERIFY(AnalyzerManager::exportAnlyDataFile(r, dir.filePath("slow.txt"), Decimal, 1));
    QTRY_COMPARE_WITH_TIMEOUT(AnalyzerManager::getExportFileProgress(), 50, 5000);
    // One export at a time.
    QVERIFY(!AnalyzerManager::exportAnlyDataFile(r, dir.filePath("second.txt"), Decimal, 0));
    AnalyzerManager::cancelExport();
    QVERIFY(done.wait(5000));
    QCOMPARE(done.at(0).at(0).toBool(), true); // cancelled, not failed
    QCOMPARE(AnalyzerManager::getExportFileProgress(), 100);
    QVERIFY(QFile::exists(dir.filePath("slow.txt")));
}

void TestAnalyzerHost::exportFailureReported()
{
    AnalyzerManager m;
    Analyzer* a = addAnalyzer(m, "Host Test", 0, 2);
    Capture cap;
    m.setDataForAnly(cap.record());
    QSignalSpy spy(&m, &AnalyzerManager::analyzerDecodedChanged);
    m.startDecode();
    QVERIFY(spy.wait(5000));
    AnalyzerResults* r = nullptr;
    QVERIFY(a->GetAnalyzerResults(&r));
    QTemporaryDir dir;
    QSignalSpy done(&m, &AnalyzerManager::exportFinished);
    QVERIFY(AnalyzerManager::exportAnlyDataFile(r, dir.filePath("missing/dir/out.txt"), Hexadecimal, 0));
    QVERIFY(done.wait(5000));
    QCOMPARE(done.at(0).at(0).toBool(), false);
    QVERIFY(AnalyzerManager::lastExportFailed());
    QCOMPARE(AnalyzerManager::getExportFileProgress(), 100);
}

// Clearing, re-decoding or removing the exported analyzer ends the export
// first; the results it reads are never freed under it.
void TestAnalyzerHost::exportEndedByChanges()
{
    QTemporaryDir dir; // outlives the host, whose end cancels the last export
    Capture cap;
    AnalyzerManager m;
    Analyzer* a = addAnalyzer(m, "Host Test", 0, 2);
    Analyzer* other = addAnalyzer(m, "Host Test", 1, 2);
    m.setDataForAnly(cap.record());
    QSignalSpy spy(&m, &AnalyzerManager::analyzerDecodedChanged);
    m.startDecode();
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, 5000);
    QSignalSpy done(&m, &AnalyzerManager::exportFinished);
    AnalyzerResults* r = nullptr;

    // A re-decode of another analyzer lets the export go on.
    QVERIFY(a->GetAnalyzerResults(&r));
    QVERIFY(AnalyzerManager::exportAnlyDataFile(r, dir.filePath("1.txt"), Hexadecimal, 1));
    m.startDecode(1);
    QCOMPARE(done.count(), 0);
    QVERIFY(other);

    AnalyzerManager::clearAnalyzerResult();
    QCOMPARE(done.count(), 1);
    QCOMPARE(AnalyzerManager::getExportFileProgress(), 100);

    QVERIFY(a->GetAnalyzerResults(&r));
    QVERIFY(AnalyzerManager::exportAnlyDataFile(r, dir.filePath("2.txt"), Hexadecimal, 1));
    m.startDecode(0);
    QCOMPARE(done.count(), 2);

    QVERIFY(a->GetAnalyzerResults(&r));
    QVERIFY(AnalyzerManager::exportAnlyDataFile(r, dir.filePath("3.txt"), Hexadecimal, 1));
    m.removeUsing(0);
    QCOMPARE(done.count(), 3);

    // The host goes while an export runs.
    r = nullptr;
    QVERIFY(m.getUsingAnalyzer(0)->GetAnalyzerResults(&r));
    QVERIFY(AnalyzerManager::exportAnlyDataFile(r, dir.filePath("4.txt"), Hexadecimal, 1));
}

QTEST_MAIN(TestAnalyzerHost)
#include "test_analyzerhost.moc"
