// The settings store: configuration file, keys, list converters and typed
// helpers, and malformed configuration files.
#include <QtTest>

#include <csignal>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include "config/Config.h"
#include "config/Lang.h"
#include "config/XmlInput.h"
#include "support/ConfigKit.h"

namespace {

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

// A file system mounted read-only at folder, holding cv.config, in a mount
// namespace of this thread's own, so that nothing outside this test sees
// it. False, with why, where the system lets no such namespace be made
// (it needs CAP_SYS_ADMIN).
bool mountReadOnly(const QString& folder, const QByteArray& content, QString* why)
{
    const QByteArray dir = QFile::encodeName(folder);
    auto failed = [why](const char* what) {
        *why = QString("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    };
    if (::unshare(CLONE_NEWNS) != 0)
        return failed("no mount namespace of our own");
    // Private first: a mount made under a shared one would be seen outside.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return failed("mounts not made private");
    if (!QDir().mkpath(folder) || ::mount("corvena-test", dir.constData(), "tmpfs", 0, "size=64k") != 0)
        return failed("no file system mounted");
    if (!TestEnv::writeFile(folder + "/cv.config", content)
        || ::mount(nullptr, dir.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
        return failed("not mounted read-only");
    return true;
}

QVector<int> ints(const QString& s)
{
    QVector<int> v;
    for (const QString& p : s.split(',', Qt::SkipEmptyParts))
        v << p.toInt();
    return v;
}

} // namespace

class TestConfig : public ConfigTestBase
{
    Q_OBJECT

private slots:
    void initTestCase() { startConfig(); }

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
        QTest::newRow("cut keeps flags whole")
            << "chnShowName3" << QString(254, 'a') + QString::fromUtf8("\xf0\x9f\x87\xa9\xf0\x9f\x87\xaa")
            << QString(254, 'a') << true;
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
        QCOMPARE(Config::writeError, QString("No such file or directory"));

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
        QCOMPARE(Config::writeError, QString("File too large"));
        QCOMPARE(readAll(path), QByteArray("old"));
    }

    // The close names the file it could not write and the system's reason
    // (its folder went while the program ran, its file system is mounted
    // read-only); the caller turns it into the exit status.
    void closeSaysWhatIsLost_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder gone") << "vanished" << "No such file or directory";
        QTest::newRow("read-only file system") << "read-only" << "Read-only file system";
    }
    void closeSaysWhatIsLost()
    {
        QFETCH(QString, folder);
        QFETCH(QString, reason);
        const QString dir = tmpPath(folder);
        struct Unmount {
            QByteArray dir;
            ~Unmount()
            {
                if (!dir.isEmpty())
                    ::umount2(dir.constData(), MNT_DETACH);
            }
        } unmount{folder == "read-only" ? QFile::encodeName(dir) : QByteArray()};
        QString why;
        if (folder == "read-only" && !mountReadOnly(dir, "old", &why))
            QSKIP(qPrintable("no read-only file system to write to (" + why + ")"));

        const QString kept = Config::cfgFile;
        Config::cfgFile = dir + "/cv.config";
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Settings: " + Config::cfgFile + " could not be written ("
                                                      + reason + "); the settings of this run are lost"));
        const bool ok = Config::close();
        const QString path = Config::cfgFile;
        Config::cfgFile = kept;
        QVERIFY(!ok);
        if (folder == "read-only")
            QCOMPARE(readAll(path), QByteArray("old"));
    }

    // A link to a file not made yet, in a folder that is there: the
    // settings are written through it, and the link stays.
    void linkedConfigurationWrittenThrough()
    {
        const QString cfg = Config::cfgFile;
        const QString target = tmpPath("elsewhere/cv.config");
        QVERIFY(QDir().mkpath(tmpPath("elsewhere")));
        QFile::remove(cfg);
        QVERIFY(QFile::link(target, cfg));
        Config::init();
        QVERIFY(!Config::cfgFileHeld);
        QVERIFY(Config::cfgFileRefused.isEmpty());
        QVERIFY(Config::close());
        QVERIFY(QFileInfo(cfg).isSymLink());
        QVERIFY(readAll(target).contains("<settings>"));
        QVERIFY(QFile::remove(cfg));
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
    return runUnderCLocale<TestConfig>(argc, argv);
}

#include "test_config.moc"
