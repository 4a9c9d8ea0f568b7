// The settings store: configuration file, keys, list converters, settings
// and capture headers, command-line file and file dialogs.
#include <QtTest>

#include <QTextCodec>

#include <csignal>
#include <sys/resource.h>

#include "config/Config.h"
#include "config/Lang.h"
#include "config/XmlInput.h"
#include "support/TestEnv.h"

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QStringList globalTags(const QDomDocument& d)
{
    QStringList tags;
    for (QDomElement e = d.documentElement().firstChildElement("global").firstChildElement(); !e.isNull();
         e = e.nextSiblingElement())
        tags << e.tagName();
    return tags;
}

// A settings document whose first channel name is 30 MB long.
QByteArray hugeNameDocument()
{
    return "<settings><global><devModel>0</devModel><chnShowName0>" + QByteArray(30 * 1024 * 1024, 'x')
           + "</chnShowName0></global><devices/><analyzers/></settings>\n";
}

// A settings header holding one global key, escaped as the writer does.
QByteArray headerWith(const QString& key, const QString& value)
{
    QDomDocument d;
    d.setContent(QStringLiteral("<settings><global><devModel>0</devModel></global><devices/><analyzers/></settings>"));
    QDomElement e = d.createElement(key);
    e.appendChild(d.createTextNode(value));
    d.documentElement().firstChildElement("global").appendChild(e);
    return d.toByteArray();
}

QVector<int> ints(const QString& s)
{
    QVector<int> v;
    for (const QString& p : s.split(',', Qt::SkipEmptyParts))
        v << p.toInt();
    return v;
}

} // namespace

class TestConfig : public QObject
{
    Q_OBJECT
    QString home;
    QTemporaryDir tmp;

    QString tmpPath(const QString& name) const { return tmp.filePath(name); }

    // A current document with settings worth merging and reducing.
    void fillDocument()
    {
        Config::setDefaultDocument();
        Config::saveGlobalParam("devModel", "101");
        Config::saveGlobalParam("windowPosition", "1,2,3,4");
        Config::saveGlobalParam("userLang", "zh-CN");
        Config::saveGlobalParam("lastPath", "/tmp");
        Config::saveGlobalParam("chnShowName0", "clk");
        Config::saveGlobalParam("chnShowName5", "data");
        Config::saveGlobalParam("chnShowIndex", "1,0");
        Config::saveGlobalParam("oscMeasureChn0", "1");
        Config::saveGlobalParam("oscMeasureChn3", "2");
        Config::saveGlobalParam("analyzerAlias", "old");
        Config::saveGlobalParam("colorWaveform", "1");
        Config::saveGlobalParam("updateServer", "https://updates.example");
        Config::saveDeviceParam("Rowan", "smpFrequ", "1000");
        Config::saveDeviceParam("Rowan", "trgPosition", "20");
        Config::saveDeviceParam("Teak", "smpFrequ", "5000");
        Config::clearAnalyzerParam();
        Config::saveAnalyzerParam(0, {"libUART.so", "p0", "f0"});
    }

private slots:
    void initTestCase()
    {
        home = TestEnv::isolateUserData();
        QVERIFY(tmp.isValid());
        Config::init();
        QVERIFY(Config::cfgFile.endsWith("/brenmar/cv.config"));
        QVERIFY(QFileInfo(QFileInfo(Config::cfgFile).path()).isDir());
        Config::fileDialog = nullptr;
    }

    void init() { Config::setDefaultDocument(); }

    // ---- configuration file ----

    void roundTripNonAsciiUnderCLocale()
    {
        // The locale's codec here is 8-bit (see main) and cannot hold these
        // names; the file must still be UTF-8.
        QCOMPARE(QTextCodec::codecForLocale()->name(), QByteArray("ISO-8859-1"));
        const QString name = QString::fromUtf8("Takt \xe9\x80\x9a\xe9\x81\x93 \xc3\xa4\xc3\xb6 \xce\xa9");
        Config::saveGlobalParam("chnShowName3", name);
        Config::saveDeviceParam("Rowan", "chnLevel", name);
        QVERIFY(Config::close());

        const QByteArray bytes = readAll(Config::cfgFile);
        QVERIFY(bytes.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
        QVERIFY(bytes.contains(name.toUtf8()));
        QVERIFY(bytes.contains("\n    <global>\n        <version>3.6.3</version>"));

        Config::setDefaultDocument();
        Config::loadConfig(Config::cfgFile);
        QCOMPARE(Config::readGlobalParam("chnShowName3"), name);
        QCOMPARE(Config::readDeviceParam("Rowan", "chnLevel"), name);
        QCOMPARE(Config::getChnName(3), name);
    }

    void foreignDeclarationIsWrittenAsUtf8()
    {
        Config::loadConfig(TestEnv::dataPath("config/latin1.config"));
        QCOMPARE(Config::readGlobalParam("chnShowName1"), QString::fromUtf8("Caf\xc3\xa9"));
        QCOMPARE(Config::readGlobalParam("version"), QString("3.6.3"));   // version check
        const QString out = tmpPath("latin1-out.config");
        QVERIFY(Config::saveConfig(out));
        const QByteArray bytes = readAll(out);
        QVERIFY(bytes.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
        QVERIFY(bytes.contains("Caf\xc3\xa9"));
        Config::setDefaultDocument();
        Config::loadConfig(out);
        QCOMPARE(Config::readGlobalParam("chnShowName1"), QString::fromUtf8("Caf\xc3\xa9"));
    }

    void badFileGivesDefaultDocument_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing") << TestEnv::dataPath("config/does-not-exist.config");
        QTest::newRow("empty") << TestEnv::dataPath("config/empty.config");
        QTest::newRow("malformed") << TestEnv::dataPath("config/malformed.config");
        QTest::newRow("root is not settings") << TestEnv::dataPath("config/wrongroot.config");
        QTest::newRow("directory") << TestEnv::dataPath("config");
        QTest::newRow("nesting 30000 deep") << TestEnv::dataPath("config/deep.config");
        const QString huge = tmpPath("huge-name.config");
        QVERIFY(writeAll(huge, hugeNameDocument()));
        QTest::newRow("30 MB channel name") << huge;
    }
    void badFileGivesDefaultDocument()
    {
        QFETCH(QString, path);
        Config::saveGlobalParam("devModel", "103");
        Config::loadConfig(path);
        QCOMPARE(Config::cfgDoc.documentElement().tagName(), QString("settings"));
        QCOMPARE(globalTags(Config::cfgDoc), QStringList{"version"});
        QCOMPARE(Config::readGlobalParam("version"), QString("3.6.3"));
        QCOMPARE(Config::getDevModel(), 0);
        QDomElement root = Config::cfgDoc.documentElement();
        QCOMPARE(root.firstChildElement().tagName(), QString("global"));
        QCOMPARE(root.firstChildElement().nextSiblingElement().tagName(), QString("devices"));
        QCOMPARE(root.lastChildElement().tagName(), QString("analyzers"));
    }

    // Values read from the configuration or merged from a header stay within
    // their key's bound: cut (names, lists) or dropped to the default.
    void valuesBounded_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<bool>("merged");   // a header merge copies the key
        const QString name(100000, 'n');
        QTest::newRow("name cut") << "chnShowName0" << name << name.left(256) << true;
        QTest::newRow("name at the bound") << "chnShowName1" << name.left(256) << name.left(256) << true;
        QTest::newRow("cut keeps surrogate pairs whole")
            << "chnShowName2" << QString(255, 'a') + QString::fromUtf8("\xf0\x9f\x98\x80") << QString(255, 'a')
            << true;
        QStringList aliases, numbers;
        for (int i = 0; i < 100; ++i) {
            aliases << "a" + QString::number(i);
            numbers << QString::number(i % 32);
        }
        QTest::newRow("aliases cut to the analyzer count")
            << "analyzerAlias" << aliases.join(';') + ";" << QStringList(aliases.mid(0, 64)).join(';') << true;
        QTest::newRow("alias cut") << "analyzerAlias" << "x;" + name + ";" << "x;" + name.left(256) + ";" << true;
        QTest::newRow("list cut to the channel count")
            << "chnShowIndex" << numbers.join(',') << QStringList(numbers.mid(0, 32)).join(',') << true;
        QTest::newRow("absurd list item drops the list") << "chnShowMultip" << "1," + QString(100, '2') << "" << true;
        QTest::newRow("window position") << "windowPosition" << "1,2,3,4,5" << "1,2,3,4" << false;
        QTest::newRow("path at the bound") << "lastPath" << QString(4096, 'p') << QString(4096, 'p') << false;
        QTest::newRow("absurd path dropped") << "lastPath" << QString(4097, 'p') << "" << false;
        QTest::newRow("unknown key dropped") << "someFutureKey" << name << "" << false;
        QTest::newRow("plain value kept") << "chnShowName3" << "clk" << "clk" << true;
    }
    void valuesBounded()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, kept);
        QFETCH(bool, merged);
        // Read from the configuration file.
        const QString path = tmpPath("bounded.config");
        Config::saveGlobalParam(key, value);
        QVERIFY(Config::saveConfig(path));
        Config::setDefaultDocument();
        Config::loadConfig(path);
        QCOMPARE(Config::readGlobalParam(key), kept);

        // Merged from a settings header.
        fillDocument();
        QVERIFY(Config::replaceConfig(headerWith(key, value)));
        if (merged)
            QCOMPARE(Config::readGlobalParam(key), kept);
    }

    void devicesAndAnalyzersBounded()
    {
        fillDocument();
        QStringList trig;
        for (int i = 0; i < 100; ++i)
            trig << "3";
        QByteArray header = "<settings><global><devModel>101</devModel></global><devices><Rowan><chnTrig>"
                            + trig.join(',').toLatin1() + "</chnTrig><chnLevel>" + QByteArray(1000, 'L')
                            + "</chnLevel><smpMode>1</smpMode></Rowan></devices><analyzers>";
        for (int i = 0; i < 100; ++i)
            header += "<item" + QByteArray::number(i) + "><fileName>libIR-RC6.so</fileName><parameters>"
                      + (i == 0 ? QByteArray(70000, 'p') : QByteArray("p")) + "</parameters><format>"
                      + QByteArray(300, 'f') + "</format></item" + QByteArray::number(i) + ">";
        header += "</analyzers></settings>";
        QVERIFY(Config::replaceConfig(header));
        QCOMPARE(Config::readDeviceParam("Rowan", "chnTrig"), QStringList(trig.mid(0, 32)).join(','));
        QCOMPARE(Config::readDeviceParam("Rowan", "chnLevel"), QString(256, 'L'));
        QCOMPARE(Config::readDeviceParam("Rowan", "smpMode"), QString("1"));
        const QStringList fields = Config::readAnalyzerParam().split(';');
        QCOMPARE(fields.size(), 64 * 3 + 1);
        QCOMPARE(fields[1], QString());                        // absurd settings text dropped
        QCOMPARE(fields[4], QString("p"));
        QCOMPARE(fields[2], QString(256, 'f'));
    }

    // The streaming check in front of every XML document from outside.
    void xmlInputBounds_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("accepted");
        auto nested = [](int levels) {
            return "<r>" + QByteArray("<a>").repeated(levels - 1) + QByteArray("</a>").repeated(levels - 1) + "</r>";
        };
        QTest::newRow("at the depth bound") << nested(XmlInput::MaxDepth) << true;
        QTest::newRow("one level deeper") << nested(XmlInput::MaxDepth + 1) << false;
        QTest::newRow("nesting 30000 deep") << readAll(TestEnv::dataPath("config/deep.config")) << false;
        const QByteArray item = "<a>" + QByteArray(1017, 'x') + "</a>";   // 1 KiB
        QByteArray full = "<r>" + item.repeated(XmlInput::MaxBytes / 1024 - 1) + "</r>";
        full.insert(3, QByteArray(XmlInput::MaxBytes - full.size(), ' '));
        QTest::newRow("at the size bound") << full << true;
        QTest::newRow("one byte more") << full.replace(3, 1, "  ") << false;
        const QByteArray many = "<r>" + QByteArray("<a/>").repeated(XmlInput::MaxElements - 1) + "</r>";
        QTest::newRow("at the element bound") << many << true;
        QTest::newRow("one element more") << QByteArray(many).insert(3, "<a/>") << false;
        QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY l0 \"ha\">";
        for (int i = 1; i < 10; ++i)
            laughs += "<!ENTITY l" + QByteArray::number(i) + " \""
                      + QByteArray("&l" + QByteArray::number(i - 1) + ";").repeated(10) + "\">";
        QTest::newRow("entity expansion bomb") << laughs + "]><r>&l9;</r>" << false;
        QTest::newRow("malformed") << QByteArray("<r><a></r>") << false;
        QTest::newRow("two roots") << QByteArray("<r/><r/>") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void xmlInputBounds()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, accepted);
        QCOMPARE(XmlInput::withinBounds(bytes), accepted);
        QDomDocument doc;
        doc.setContent(QByteArray("<kept/>"));
        QCOMPARE(XmlInput::parse(bytes, doc), accepted);
        QCOMPARE(doc.documentElement().tagName(), QString(accepted ? "r" : "kept"));
    }

    void readingAKeyCreatesIt()
    {
        QCOMPARE(Config::readGlobalParam("neverWritten"), QString());
        QCOMPARE(Config::readDeviceParam("Spruce", "smpMode"), QString());
        const QString out = tmpPath("read-keys.config");
        QVERIFY(Config::saveConfig(out));
        const QByteArray bytes = readAll(out);
        QVERIFY(bytes.contains("<neverWritten/>"));
        QVERIFY(bytes.contains("<Spruce>"));
        QVERIFY(bytes.contains("<smpMode/>"));
    }

    void saveReportsFailure()
    {
        // Cannot be opened: no such directory.
        QVERIFY(!Config::saveConfig(tmpPath("no-such-dir/x.config")));

        // Opened, but the write does not complete (as on a full disk): the
        // failure is reported and the earlier file stays whole.
        const QString path = tmpPath("full.config");
        QVERIFY(writeAll(path, "old"));
        Config::saveGlobalParam("chnShowName0", QString(4000, 'x'));
        struct rlimit old;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 512;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool ok = Config::saveConfig(path);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(!ok);
        QCOMPARE(readAll(path), QByteArray("old"));
    }

    // ---- keys, converters and typed helpers ----

    void intParser_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("stored");   // all four slots after the call (prefilled 9)
        QTest::newRow("empty") << "" << 4 << 0 << "9,9,9,9";
        QTest::newRow("one") << "7" << 4 << 1 << "7,9,9,9";
        QTest::newRow("full") << "1,2,3,4" << 4 << 4 << "1,2,3,4";
        QTest::newRow("capacity limits") << "1,2,3,4,5,6" << 2 << 2 << "1,2,9,9";
        QTest::newRow("empty parts kept") << "1,,3" << 4 << 3 << "1,0,3,9";
        QTest::newRow("not a number") << "a,-2,x" << 4 << 3 << "0,-2,0,9";
        QTest::newRow("zero capacity") << "1,2" << 0 << 0 << "9,9,9,9";
    }
    void intParser()
    {
        QFETCH(QString, text);
        QFETCH(int, capacity);
        QFETCH(int, count);
        QFETCH(QString, stored);
        int out[4] = {9, 9, 9, 9};
        QCOMPARE(Config::StringToIntArray(text, out, capacity), count);
        QCOMPARE(Config::IntArrayToString(out, 4), stored);
    }

    void doubleAndBoolConverters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("doubles");   // written back with 6 significant digits
        QTest::addColumn<QString>("bools");
        QTest::newRow("plain") << "1.65,0,3.3" << "1.65,0,3.3" << "0,0,0";   // bools want integers
        QTest::newRow("precision") << "1.23456789,123456789,-0.5" << "1.23457,1.23457e+08,-0.5" << "0,1,0";
        QTest::newRow("garbage") << "x,2,,-1" << "0,2,0,-1" << "0,1,0,1";
    }
    void doubleAndBoolConverters()
    {
        QFETCH(QString, text);
        QFETCH(QString, doubles);
        QFETCH(QString, bools);
        double d[8];
        const int nd = Config::StringToDoubleArray(text, d, 8);
        QCOMPARE(Config::DoubleArrayToString(d, nd), doubles);
        bool b[8];
        const int nb = Config::StringToBoolArray(text, b, 8);
        QCOMPARE(Config::BoolArrayToString(b, nb), bools);
    }

    void chnShowIndex_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("expected");
        QTest::newRow("absent") << "" << 3 << "0,1,2";
        QTest::newRow("permutation") << "1,0,2" << 3 << "1,0,2";
        QTest::newRow("duplicate") << "1,1,2" << 3 << "0,1,2";
        QTest::newRow("short, filled with own index") << "1,0" << 3 << "1,0,2";
        QTest::newRow("short, no permutation") << "2" << 3 << "0,1,2";
        QTest::newRow("out of range") << "0,5,1" << 3 << "0,1,2";
        QTest::newRow("negative") << "-1,0,1" << 3 << "0,1,2";
        QTest::newRow("longer than n") << "2,1,0,3" << 3 << "2,1,0";
    }
    void chnShowIndex()
    {
        QFETCH(QString, stored);
        QFETCH(int, n);
        QFETCH(QString, expected);
        Config::saveGlobalParam("chnShowIndex", stored);
        QVector<int> out(n, -7);
        Config::getChnShowIndex(n, out.data());
        QCOMPARE(out, ints(expected));
    }

    void chnShowMultip_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("expected");
        QTest::newRow("absent") << "" << "1,1,1";
        QTest::newRow("short") << "2,3" << "2,1,1";
        QTest::newRow("all allowed") << "8,4,2" << "8,4,2";
        QTest::newRow("others become 1") << "0,16,-2" << "1,1,1";
    }
    void chnShowMultip()
    {
        QFETCH(QString, stored);
        QFETCH(QString, expected);
        Config::saveGlobalParam("chnShowMultip", stored);
        QVector<int> out(3, -7);
        Config::getChnShowMultip(3, out.data());
        QCOMPARE(out, ints(expected));
    }

    void devModel_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("model");
        QTest::newRow("absent") << "" << 0;
        QTest::newRow("current") << "103" << 103;
        QTest::newRow("negative") << "-3" << 0;
        QTest::newRow("old 10") << "10" << 5;
        QTest::newRow("old 11") << "11" << 7;
        QTest::newRow("old 12") << "12" << 8;
        QTest::newRow("text") << "abc" << 0;
    }
    void devModel()
    {
        QFETCH(QString, stored);
        QFETCH(int, model);
        Config::saveGlobalParam("devModel", stored);
        QCOMPARE(Config::getDevModel(), model);
    }

    void channelSettings()
    {
        QVector<TrgType> trg(4, TrgHigh);
        Config::saveDeviceParam("Rowan", "chnTrig", "3,7");
        Config::getChnTrgSettings("Rowan", trg);
        QCOMPARE(trg, (QVector<TrgType>{TrgRising, TrgNone, TrgHigh, TrgHigh}));
        Config::saveChnTrgSettings("Rowan", {TrgLow, TrgFalling});
        QCOMPARE(Config::readDeviceParam("Rowan", "chnTrig"), QString("1,4"));

        Config::saveChnEnaSettings("Rowan", {true, false, true}, false);
        Config::saveChnEnaSettings("Rowan", {false, true}, true);
        QCOMPARE(Config::readDeviceParam("Rowan", "chnEnable"), QString("1,0,1"));
        QCOMPARE(Config::readDeviceParam("Rowan", "AChnEnable"), QString("0,1"));
        QVector<bool> ena(4, true);
        Config::getChnEnaSettings("Rowan", ena, true);
        QCOMPARE(ena, (QVector<bool>{false, true, true, true}));

        QCOMPARE(Config::getChnName(7), QString("Channel 7"));
        Config::saveGlobalParam("chnShowName7", "CS");
        QCOMPARE(Config::getChnName(7), QString("CS"));
    }

    void shadowFlags()
    {
        Config::initShadowConfig();
        QVERIFY(Config::colorWaveLine);   // absent reads true
        QVERIFY(!Config::disAnimate);
        Config::saveGlobalParam("colorWaveform", "0");
        Config::saveGlobalParam("viewState", "2");
        Config::saveGlobalParam("LogicProbe", "5");
        Config::initShadowConfig();
        QVERIFY(!Config::colorWaveLine);
        QCOMPARE(Config::viewState, ViewAll);
        QVERIFY(Config::enaLogicProbe);
        Config::saveAutoWaitTrigEna(true);
        QCOMPARE(Config::readGlobalParam("autoWaitTrig"), QString("1"));
        Config::saveViewState(1);
        QCOMPARE(Config::readGlobalParam("viewState"), QString("1"));
    }

    void analyzerItems()
    {
        QCOMPARE(Config::readAnalyzerParam(), QString());
        Config::saveAnalyzerParam(0, {"libUART.so", "p0"});   // too short: nothing
        QCOMPARE(Config::readAnalyzerParam(), QString());
        Config::saveAnalyzerParam(0, {"libUART.so", "p0", "f0"});
        Config::saveAnalyzerParam(1, {"libSPI.so", "p1", "f1", "ignored"});
        QCOMPARE(Config::readAnalyzerParam(), QString("libUART.so;p0;f0;libSPI.so;p1;f1;"));
        Config::clearAnalyzerParam();
        QCOMPARE(Config::readAnalyzerParam(), QString());
    }

    // ---- settings and capture headers ----

    void headerRoundTrip_data()
    {
        QTest::addColumn<int>("nameLength");
        QTest::newRow("small") << 8;
        QTest::newRow("beyond 32 KiB") << 40000;
    }
    void headerRoundTrip()
    {
        QFETCH(int, nameLength);
        fillDocument();
        Config::saveGlobalParam("chnShowName9", QString(nameLength, QChar(0x901a)));
        const QString path = tmpPath("capture.cvdat");
        QVERIFY(Config::saveMinConfig(path, "Rowan"));
        const qint64 headerSize = QFileInfo(path).size();
        QVERIFY(readAll(path).endsWith("</settings>\n"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::Append));
            QByteArray data(1000, '\0');
            for (int i = 0; i < data.size(); ++i)
                data[i] = char(i * 7);
            data[0] = 0x05;
            f.write(data);
        }
        QByteArray header;
        QVERIFY(Config::extractConfig(path, header));
        QCOMPARE(qint64(header.size()), headerSize);

        QDomDocument d;
        QVERIFY(d.setContent(header));
        const QStringList tags = globalTags(d);
        QVERIFY(tags.contains("version"));
        QVERIFY(tags.contains("devModel"));
        QVERIFY(tags.contains("chnShowName0"));
        QVERIFY(tags.contains("chnShowName9"));
        QVERIFY(tags.contains("oscMeasureChn3"));
        QVERIFY(tags.contains("analyzerAlias"));
        QVERIFY(!tags.contains("windowPosition"));
        QVERIFY(!tags.contains("userLang"));
        QVERIFY(!tags.contains("lastPath"));
        QVERIFY(!tags.contains("colorWaveform"));
        const QDomElement devices = d.documentElement().firstChildElement("devices");
        QCOMPARE(devices.childNodes().count(), 1);
        QCOMPARE(devices.firstChildElement().tagName(), QString("Rowan"));
        QCOMPARE(d.documentElement().firstChildElement("analyzers").firstChildElement().tagName(),
                 QString("item0"));
        // The current document is untouched by the reduction.
        QCOMPARE(Config::readGlobalParam("userLang"), QString("zh-CN"));
    }

    void settingsFileReadWhole()
    {
        fillDocument();
        Config::saveGlobalParam("chnShowName2", QString(50000, 'n'));
        const QString path = tmpPath("big.cvset");
        QVERIFY(Config::saveConfig(path));
        QByteArray header;
        QVERIFY(Config::extractConfig(path, header));
        QCOMPARE(header, readAll(path));
    }

    void extractEdges_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("length");   // -1: no header
        QTest::newRow("CR LF LF belong to the header") << QByteArray("<settings/></settings>\r\n\nDATA") << 25;
        QTest::newRow("no line end") << QByteArray("<settings></settings>\x01\x02") << 21;
        QTest::newRow("end of file after tag") << QByteArray("<settings></settings>\n\n") << 23;
        QTest::newRow("no end tag") << QByteArray("<settings><global/>") << -1;
        QTest::newRow("end tag at offset 0") << QByteArray("</settings>\n") << -1;
        QTest::newRow("binary before end tag") << QByteArray("<settings>\x01\x02</settings>\n") << -1;
        QTest::newRow("empty file") << QByteArray() << -1;
    }
    void extractEdges()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, length);
        const QString path = tmpPath("edge.cvdat");
        QVERIFY(writeAll(path, bytes));
        QByteArray out = "stale";
        QCOMPARE(Config::extractConfig(path, out), length >= 0);
        QCOMPARE(out, length >= 0 ? bytes.left(length) : QByteArray());
        QVERIFY(!Config::extractConfig(tmpPath("missing.cvdat"), out));
    }

    void extractFindsTagAcrossChunkBorder()
    {
        QByteArray bytes = "<settings>" + QByteArray(32768 - 10 - 5, ' ') + "</settings>\r\n" + QByteArray(10, '\0');
        const QString path = tmpPath("border.cvdat");
        QVERIFY(writeAll(path, bytes));
        QByteArray out;
        QVERIFY(Config::extractConfig(path, out));
        QCOMPARE(out.size(), bytes.size() - 10);
    }

    void hugeTextWithoutEndTagIsNoHeader()
    {
        // Larger than any settings document; read no further than the bound.
        const QString path = tmpPath("huge.cvset");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const QByteArray line(1024 * 1024, ' ');
        f.write("<settings>");
        for (int i = 0; i < 65; ++i)
            QCOMPARE(f.write(line), qint64(line.size()));
        f.write("</settings>\n");
        f.close();
        QByteArray out;
        QVERIFY(!Config::extractConfig(path, out));
        QVERIFY(out.isEmpty());
    }

    void mergeRefused_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::newRow("malformed") << QByteArray("<settings><global>");
        QTest::newRow("root is not settings") << QByteArray("<config><global><devModel>0</devModel></global></config>");
        QTest::newRow("unsupported model 7")
            << QByteArray("<settings><global><devModel>7</devModel><chnShowName0>x</chnShowName0></global></settings>");
        QTest::newRow("unsupported model 105") << QByteArray("<settings><global><devModel>105</devModel></global></settings>");
        QTest::newRow("empty") << QByteArray();
    }
    void mergeRefused()
    {
        QFETCH(QByteArray, header);
        fillDocument();
        const QString before = Config::cfgDoc.toString();
        QVERIFY(!Config::replaceConfig(header));
        QCOMPARE(Config::cfgDoc.toString(), before);
    }

    void mergeKeys_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        // Header: devModel 0, chnShowName1 "rx", chnShowName5 empty,
        // chnShowIndex empty, colorWaveform 0, windowPosition/userLang/version set.
        QTest::newRow("model replaced") << "devModel" << "0";
        QTest::newRow("name copied") << "chnShowName1" << "rx";
        QTest::newRow("name cleared though not copied") << "chnShowName0" << "";
        QTest::newRow("empty name clears") << "chnShowName5" << "";
        QTest::newRow("empty value keeps current") << "chnShowIndex" << "1,0";
        QTest::newRow("flag replaced") << "colorWaveform" << "0";
        QTest::newRow("alias replaced even when empty") << "analyzerAlias" << "";
        QTest::newRow("osc key copied") << "oscMeasureChn2" << "3";
        QTest::newRow("window key ignored") << "windowPosition" << "1,2,3,4";
        QTest::newRow("language ignored") << "userLang" << "zh-CN";
        QTest::newRow("version ignored") << "version" << "3.6.3";
        // The server's keys are the caller's to settle, with the user's consent.
        QTest::newRow("socket withheld") << "enaSocket" << "";
        // A file from elsewhere never chooses whom the program asks for updates.
        QTest::newRow("update service kept") << "updateServer" << "https://updates.example";
    }
    void mergeKeys()
    {
        QFETCH(QString, key);
        QFETCH(QString, expected);
        fillDocument();
        const QByteArray header =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><settings><global>"
            "<version>1.0.0</version><devModel>0</devModel><chnShowName1>rx</chnShowName1>"
            "<chnShowName5/><chnShowIndex></chnShowIndex><colorWaveform>0</colorWaveform>"
            "<analyzerAlias/><oscMeasureChn2>3</oscMeasureChn2><enaSocket>1</enaSocket>"
            "<windowPosition>9,9,9,9</windowPosition><userLang>de</userLang>"
            "<updateServer>http://elsewhere.example</updateServer>"
            "</global><devices><Rowan><smpFrequ>2000</smpFrequ></Rowan></devices>"
            "<analyzers><item0><fileName>libSPI.so</fileName><parameters>q</parameters><format>g</format></item0>"
            "</analyzers></settings>";
        QVERIFY(Config::replaceConfig(header));
        QCOMPARE(Config::readGlobalParam(key), expected);
        QVERIFY(!Config::colorWaveLine);   // shadow flags reloaded
    }

    void mergeDevicesAndAnalyzers()
    {
        fillDocument();
        const QByteArray header =
            "<settings><global><devModel>101</devModel></global>"
            "<devices><Rowan><smpFrequ>2000</smpFrequ></Rowan><Demo><smpMode>1</smpMode></Demo></devices>"
            "<analyzers><item0><fileName>libSPI.so</fileName><parameters>q</parameters><format>g</format></item0>"
            "</analyzers></settings>";
        QVERIFY(Config::replaceConfig(header));
        QCOMPARE(Config::readDeviceParam("Rowan", "smpFrequ"), QString("2000"));
        QCOMPARE(Config::readDeviceParam("Rowan", "trgPosition"), QString());   // replaced whole
        QCOMPARE(Config::readDeviceParam("Teak", "smpFrequ"), QString("5000"));  // other model kept
        QCOMPARE(Config::readDeviceParam("Demo", "smpMode"), QString("1"));
        QCOMPARE(Config::readAnalyzerParam(), QString("libSPI.so;q;g;"));
        const QDomElement devices = Config::cfgDoc.documentElement().firstChildElement("devices");
        int rowan = 0;
        for (QDomElement e = devices.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
            rowan += e.tagName() == "Rowan";
        QCOMPARE(rowan, 1);
    }

    void classifyFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("create");
        QTest::addColumn<int>("type");
        QTest::newRow("capture") << "a.cvdat" << true << 0;
        QTest::newRow("settings") << "a.cvset" << true << 1;
        QTest::newRow("capital suffix") << "b.CVDAT" << true << -1;
        QTest::newRow("other suffix") << "c.txt" << true << -1;
        QTest::newRow("missing") << "d.cvdat" << false << -1;
        QTest::newRow("directory") << "dir.cvdat" << false << -1;
    }
    void classifyFile()
    {
        QFETCH(QString, name);
        QFETCH(bool, create);
        QFETCH(int, type);
        const QString path = tmpPath(name);
        if (create)
            QVERIFY(writeAll(path, "x"));
        if (name.startsWith("dir"))
            QVERIFY(QDir().mkpath(path));
        Config::dataFile.clear();
        QCOMPARE(Config::parseLoadFile(path), type);
        QCOMPARE(Config::dataFile, type == 0 ? path : QString());
    }

    void commandLineFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QString>("model");
        QTest::newRow("good header")
            << QByteArray("<settings><global><devModel>102</devModel></global></settings>\n\x01\x02") << true << "102";
        QTest::newRow("no header") << QByteArray("\x01\x02\x03 random capture bytes") << false << "101";
        QTest::newRow("refused header")
            << QByteArray("<settings><global><devModel>7</devModel></global></settings>\n\x01") << false << "101";
    }
    void commandLineFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, taken);
        QFETCH(QString, model);
        fillDocument();
        const QString path = tmpPath("cmd.cvdat");
        QVERIFY(writeAll(path, content));
        Config::takeCommandLineFile({"--flag", tmpPath("absent.cvdat"), path, tmpPath("second.cvset")});
        QCOMPARE(Config::dataFile, taken ? path : QString());
        QCOMPARE(Config::readGlobalParam("devModel"), model);
    }

    // A damaged settings or capture file named on the command line is refused
    // like a malformed one: the settings stay as they were, no capture is taken.
    void damagedFileOnCommandLine_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        const QByteArray deep = readAll(TestEnv::dataPath("config/deep.config"));
        QVERIFY(deep.size() > 30000 * 7);
        QTest::newRow("nesting 30000 deep, settings file") << "deep.cvset" << deep;
        QTest::newRow("nesting 30000 deep, capture file") << "deep.cvdat" << deep + "\x01\x02\x03";
        QTest::newRow("30 MB channel name, settings file") << "huge.cvset" << hugeNameDocument();
    }
    void damagedFileOnCommandLine()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        fillDocument();
        const QString before = Config::cfgDoc.toString();
        const QString path = tmpPath(name);
        QVERIFY(writeAll(path, content));
        Config::takeCommandLineFile({path});
        QVERIFY(Config::dataFile.isEmpty());
        QCOMPARE(Config::cfgDoc.toString(), before);
        QByteArray header;
        if (Config::extractConfig(path, header))
            QVERIFY(!Config::replaceConfig(header));
    }

    void commandLineSettingsFile()
    {
        fillDocument();
        const QString path = tmpPath("cmd.cvset");
        QVERIFY(writeAll(path, "<settings><global><devModel>104</devModel></global></settings>\n"));
        Config::takeCommandLineFile({path});
        QVERIFY(Config::dataFile.isEmpty());
        QCOMPARE(Config::getDevModel(), 104);
    }

    // ---- file dialogs ----

    void saveDialog_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("capture") << 0 << "" << "Data File (*.cvdat)" << "cvdat";
        QTest::newRow("settings") << 1 << "" << "Settings File (*.cvset)" << "cvset";
        QTest::newRow("text") << 2 << "" << "Text file (*.txt)" << "txt";
        QTest::newRow("csv") << 3 << "" << "CSV file (*.csv)" << "csv";
        QTest::newRow("binary") << 4 << "" << "Binary file (*.bin)" << "bin";
        QTest::newRow("caller's extension") << 5 << "abc" << "abc file (*.abc)" << "abc";
    }
    void saveDialog()
    {
        QFETCH(int, type);
        QFETCH(QString, extension);
        QFETCH(QString, filter);
        QFETCH(QString, suffix);
        Config::saveGlobalParam("lastPath", "");
        Config::FileDialogRequest seen;
        const QString chosen = tmpPath("sub/out." + suffix);
        Config::fileDialog = [&](const Config::FileDialogRequest& r) { seen = r; return chosen; };
        QCOMPARE(Config::getSaveFileName(type, extension), chosen);
        Config::fileDialog = nullptr;
        QVERIFY(seen.save);
        QCOMPARE(seen.filter, filter);
        QCOMPARE(seen.defaultSuffix, suffix);
        const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        QCOMPARE(seen.directory, QFileInfo(docs).isDir() ? docs : QDir::homePath());
        QVERIFY(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d$").match(seen.fileName).hasMatch());
        QCOMPARE(Config::readGlobalParam("lastPath"), tmpPath("sub"));
    }

    void dialogCancelAndBadType()
    {
        Config::saveGlobalParam("lastPath", tmp.path());
        int calls = 0;
        Config::FileDialogRequest seen;
        Config::fileDialog = [&](const Config::FileDialogRequest& r) { ++calls; seen = r; return QString(); };
        QCOMPARE(Config::getSaveFileName(6), QString());
        QCOMPARE(Config::getSaveFileName(-1), QString());
        QCOMPARE(calls, 0);
        QCOMPARE(Config::getSaveFileName(0), QString());
        QCOMPARE(Config::getOpenFileName(), QString());
        QCOMPARE(calls, 2);
        QVERIFY(!seen.save);
        QCOMPARE(seen.filter, QString("File (*.cvset *.cvdat)"));
        QCOMPARE(seen.directory, tmp.path());
        QCOMPARE(Config::readGlobalParam("lastPath"), tmp.path());

        Config::fileDialog = [&](const Config::FileDialogRequest&) { return tmpPath("x/y.cvset"); };
        QCOMPARE(Config::getOpenFileName(), tmpPath("x/y.cvset"));
        QCOMPARE(Config::readGlobalParam("lastPath"), tmpPath("x"));
        // A remembered folder that is gone is not offered.
        Config::fileDialog = [&](const Config::FileDialogRequest& r) { seen = r; return QString(); };
        QCOMPARE(Config::getOpenFileName(), QString());
        QVERIFY(seen.directory != tmpPath("x"));
        QVERIFY(QFileInfo(seen.directory).isDir());
        Config::fileDialog = nullptr;
    }

    // ---- robustness: malformed and random configuration files ----
    // Whatever the file holds, loading it and reading every setting gives
    // the defaults or sane values, never a crash or a hang.
    void fuzzConfigFile_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        const QStringList absurd{"", "-1", "2147483647", "-2147483648", "99999999999999999999", "nan", "1e308",
                                 "1,2", ",,,,", "2147483647,2147483647,2147483647,2147483647",
                                 "-2147483648,-2147483648,-2147483648,-2147483648",
                                 "0,0,2147483647,2147483647", "100,100,-2147483648,-2147483648"};
        for (const char* key : {"windowPosition", "chnShowIndex", "chnShowMultip", "AChnTagPos", "devModel",
                                "viewState", "analyzerAlias"})
            for (int i = 0; i < absurd.size(); ++i)
                QTest::addRow("%s %d", key, i) << QString(key) << absurd[i];
    }
    void fuzzConfigFile()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        const QString path = tmpPath("fuzz.config");
        Config::setDefaultDocument();
        Config::saveGlobalParam(key, value);
        Config::saveDeviceParam("Rowan", "chnTrig", value);
        Config::saveDeviceParam("Rowan", "chnEnable", value);
        QVERIFY(Config::saveConfig(path));
        const QByteArray good = readAll(path);

        // The file as written, then damaged copies of it: cut, bytes flipped, random.
        QList<QByteArray> inputs{good, good.left(good.size() / 2), QByteArray(), QByteArray(4096, '<')};
        QRandomGenerator rng(uint(qHash(key + value)));
        for (int k = 0; k < 6; ++k) {
            QByteArray b = good;
            for (int n = 0; n < 4; ++n)
                b[int(rng.bounded(b.size()))] = char(rng.bounded(256));
            inputs << b;
            QByteArray r(int(rng.bounded(1, 512)), 0);
            for (char& c : r)
                c = char(rng.bounded(256));
            inputs << r;
        }
        for (const QByteArray& in : inputs) {
            QVERIFY(writeAll(path, in));
            Config::loadConfig(path);
            QCOMPARE(Config::cfgDoc.documentElement().tagName(), QString("settings"));
            Config::initShadowConfig();
            Config::initWindowConfig();
            QVERIFY(Config::windowPosition[0] <= Config::windowPosition[2]);
            QVERIFY(Config::windowPosition[1] <= Config::windowPosition[3]);
            int idx[32], mul[32], tag[32];
            Config::getChnShowIndex(32, idx);
            Config::getChnShowMultip(32, mul);
            Config::getChnTagPos(32, tag);
            for (int i = 0; i < 32; ++i) {
                QVERIFY(idx[i] >= 0 && idx[i] < 32);
                QVERIFY(mul[i] == 1 || mul[i] == 2 || mul[i] == 4 || mul[i] == 8);
            }
            QVERIFY(Config::getDevModel() >= 0);
            QVector<TrgType> trg(16, TrgNone);
            Config::getChnTrgSettings("Rowan", trg);
            QVector<bool> ena(16, false);
            Config::getChnEnaSettings("Rowan", ena, false);
            Config::readAnalyzerParam();
            // The same bytes offered as a capture header.
            QByteArray header;
            if (Config::extractConfig(path, header))
                Config::replaceConfig(header);
        }
    }
};

int main(int argc, char** argv)
{
    // Every test here runs under the C locale with an 8-bit locale codec (Qt
    // itself picks UTF-8 for "C"; a Latin-1 locale is what breaks a writer
    // that takes the encoding from the stream): the configuration file must
    // not depend on either.
    qputenv("LC_ALL", "C");
    qunsetenv("LANG");
    QApplication app(argc, argv);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
    TestConfig t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_config.moc"
