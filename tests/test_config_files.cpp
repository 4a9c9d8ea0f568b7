// The settings store: settings and capture headers, the file named on the
// command line, and the file dialogs.
#include <QtTest>

#include <sys/stat.h>

#include "config/Config.h"
#include "support/ConfigKit.h"

class TestConfigFiles : public ConfigTestBase
{
    Q_OBJECT

private slots:
    void initTestCase() { startConfig(); }

    void init() { Config::setDefaultDocument(); }

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
        QVERIFY(writeAll(tmpPath("notes.txt"), "a file of another kind"));
        Config::takeCommandLineFile({"--flag", "", tmpPath("notes.txt"), path, tmpPath("second.cvset")});
        QCOMPARE(Config::dataFile, taken ? path : QString());
        QCOMPARE(Config::dataFileRefused, taken ? QString() : path);
        QCOMPARE(Config::readGlobalParam("devModel"), model);
    }

    // A name of nothing that can be read is the file the user meant: it is
    // refused like a damaged one, without being opened (a pipe would block),
    // and no later argument is taken instead.
    void commandLineNotAFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing") << "absent.cvdat";
        QTest::newRow("missing, another kind") << "absent.txt";
        QTest::newRow("folder") << "folder";
        QTest::newRow("folder named as a capture") << "folder.cvdat";
        QTest::newRow("pipe") << "pipe.cvdat";
    }
    void commandLineNotAFile()
    {
        QFETCH(QString, name);
        fillDocument();
        const QString before = Config::cfgDoc.toString();
        const QString path = tmpPath(name);
        if (name.startsWith("folder")) {
            QVERIFY(QDir().mkpath(path));
        } else if (name.startsWith("pipe")) {
            QFile::remove(path);
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        }
        const QString good = tmpPath("good.cvset");
        QVERIFY(writeAll(good, "<settings><global><devModel>104</devModel></global></settings>\n"));
        Config::takeCommandLineFile({"-x", path, good});
        QVERIFY(Config::dataFile.isEmpty());
        QCOMPARE(Config::dataFileRefused, path);
        QCOMPARE(Config::cfgDoc.toString(), before);
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
};

int main(int argc, char** argv)
{
    return runUnderCLocale<TestConfigFiles>(argc, argv);
}

#include "test_config_files.moc"
