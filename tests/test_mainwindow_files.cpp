// Files from elsewhere at the window's edges: what a settings or capture
// file may do to the remote-control server (asked first, never by a
// capture), a command-line file that cannot be opened or is no file, and a
// configuration file that cannot be read, which is kept aside and reported,
// or something else in its place, which is reported and left alone.
#include <QtTest>

#include <QAction>
#include <QMessageBox>
#include <QPushButton>
#include <QTcpServer>

#include <sys/stat.h>
#include <unistd.h>

#include "app/MainMenu.h"
#include "app/SocketAPI.h"
#include "app/mainwindow.h"
#include "config/Config.h"
#include "data/DataFile.h"
#include "data/ExportDataSet.h"
#include "data/SmpData.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "support/TestEnv.h"
#include "widgets/ChnEnaGroupBox.h"

namespace {

// A port nobody listens on just now.
unsigned short freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

// A settings header with the given global keys (absent when empty).
QByteArray header(int model, const QString& enaSocket, const QString& listenPort)
{
    QByteArray h = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<settings><global><devModel>"
                   + QByteArray::number(model) + "</devModel><chnShowName0>File</chnShowName0>";
    if (!enaSocket.isEmpty())
        h += "<enaSocket>" + enaSocket.toUtf8() + "</enaSocket>";
    if (!listenPort.isEmpty())
        h += "<listenPort>" + listenPort.toUtf8() + "</listenPort>";
    return h + "</global><devices/><analyzers/></settings>\n";
}

QByteArray deepDocument()
{
    return TestEnv::readFile(TestEnv::dataPath("config/deep.config"));
}

QByteArray entityBomb()
{
    QByteArray b = "<?xml version=\"1.0\"?><!DOCTYPE settings [<!ENTITY l0 \"ha\">";
    for (int i = 1; i < 10; ++i)
        b += "<!ENTITY l" + QByteArray::number(i) + " \""
             + QByteArray("&l" + QByteArray::number(i - 1) + ";").repeated(10) + "\">";
    return b + "]><settings><global><devModel>0</devModel><chnShowName0>&l9;</chnShowName0></global></settings>\n";
}

// A symbolic link at `at` to a target relative to the link's own folder.
bool relativeLink(const QString& target, const QString& at)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()) == 0;
}

struct Box {
    QString title;
    QString text;
};

} // namespace

class TestMainWindowFiles : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;
    QList<Box> boxes;
    QStringList questions;               // texts of the questions asked
    QString defaultAnswer;               // text of the default button of the last one
    int answer = QMessageBox::No;
    QByteArray dataPart;                 // a well-formed data part of a capture file
    unsigned short p1 = 0, p2 = 0;

    QString path(const QString& name) const { return tmp.filePath(name); }

    // The user's own settings before a file comes in.
    void userSettings(bool serverOn, unsigned short port)
    {
        Config::saveGlobalParam("enaSocket", serverOn ? "1" : "");
        Config::saveGlobalParam("listenPort", port ? QString::number(port) : QString());
        Config::saveGlobalParam("chnShowName0", "Mine");
        Config::saveGlobalParam("devModel", "0");
    }

    // A window started with the file on the command line, up to its deferred start.
    void startWith(MainWindow& w)
    {
        w.show();
        QTRY_VERIFY(w.startDone());
    }

    // A start that says once that the configuration could not be read and
    // was kept as `kept`, and its close.
    void startSayingKept(const QString& kept)
    {
        MainWindow w;
        startWith(w);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, "The settings file could not be read; the default settings are used.\r\n"
                                "The old file was kept as:\r\n" + kept);
        QVERIFY(w.close());
    }

    // A run after the configuration file was held at start-up: the defaults,
    // one notice that names it, and a close that leaves it be.
    void startHeld()
    {
        Config::init();
        Config::saveGlobalParam("userLang", "en-US");
        QVERIFY(Config::cfgFileHeld);
        QCOMPARE(Config::getDevModel(), 0);
        MainWindow w;
        startWith(w);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, "The settings file could not be read; the default settings are used.\r\n"
                                "It is left in place and the settings of this run are not saved:\r\n"
                                    + Config::cfgFile);
        w.close();
    }

private slots:
    void initTestCase()
    {
        TestEnv::startProgram();
        QVERIFY(tmp.isValid());
        devUsing = DevBase::createDevice(DevModelDemo);
        MainWindow::criticalBox = [this](QWidget*, const QString& title, const QString& text) {
            boxes.append({title, text});
        };
        MainMenu::execDialog = [this](QDialog* d) {
            auto* box = qobject_cast<QMessageBox*>(d);
            if (!box)
                return int(QDialog::Rejected);
            questions << box->text();
            defaultAnswer = box->defaultButton() ? box->defaultButton()->text() : QString();
            return answer;
        };
        p1 = freePort();
        p2 = freePort();
        QVERIFY(p1 && p2 && p1 != p2);

        // The data part of a small capture, as the writer appends it.
        SmpData* s = devUsing->shownData();
        QVector<bool> ena(s->chnNum, false);
        ena[0] = true;
        QVERIFY(s->dataConvertStart(0, 1000000, ena));
        for (long long p = 10; p < 1000; p += 10)
            QVERIFY(s->appendEdge(0, p));
        s->smpDepth = 1000;
        QVERIFY(s->dataConvertComplete(1000));
        QVERIFY(TestEnv::writeFile(path("part"), QByteArray()));
        QVERIFY(DataFile(s).saveData(path("part"), ena, 0, 1000, true));
        dataPart = TestEnv::readFile(path("part"));
        QVERIFY(dataPart.size() > 16);
        devUsing->clearSmpData();
    }

    void cleanupTestCase()
    {
        MainWindow::criticalBox = nullptr;
        MainMenu::execDialog = nullptr;
        delete devUsing;
        devUsing = nullptr;
    }

    void init()
    {
        boxes.clear();
        questions.clear();
        defaultAnswer.clear();
        Config::dataFile.clear();
        Config::takeCommandLineFile({});
        devUsing->clearSmpData();
    }

    // ---- the remote-control server and files from elsewhere ----

    // Whichever way a file is opened, a capture never touches the server's
    // keys, and a settings file changes them only with consent when it
    // would turn the server on or move it. The other keys merge anyway.
    void serverKeys_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("onBefore");      // the user's server, at p2
        QTest::addColumn<QString>("enaSocket");  // the file's keys ("" absent)
        QTest::addColumn<QString>("listenPort");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<QString>("enaAfter");
        QTest::addColumn<QString>("portAfter");
        QTest::addColumn<int>("listening");      // port listened on, 0 none
        const QString a = QString::number(p1), b = QString::number(p2);
        const int yes = QMessageBox::Yes, no = QMessageBox::No;
        QTest::newRow("settings turn on, allowed") << "cvset" << false << "1" << a << yes << true << "1" << a << int(p1);
        QTest::newRow("settings turn on, refused") << "cvset" << false << "1" << a << no << true << "" << b << 0;
        QTest::newRow("settings turn on at the user's port")
            << "cvset" << false << "1" << "" << yes << true << "1" << b << int(p2);
        QTest::newRow("settings move it, allowed") << "cvset" << true << "" << a << yes << true << "1" << a << int(p1);
        QTest::newRow("settings move it, refused") << "cvset" << true << "1" << a << no << true << "1" << b << int(p2);
        QTest::newRow("settings out-of-range port, refused")
            << "cvset" << false << "1" << "99999" << no << true << "" << b << 0;
        QTest::newRow("settings turn it off") << "cvset" << true << "0" << "" << no << false << "0" << b << 0;
        QTest::newRow("settings keep it as it is") << "cvset" << true << "1" << b << no << false << "1" << b << int(p2);
        QTest::newRow("settings port while off") << "cvset" << false << "" << a << no << false << "" << a << 0;
        QTest::newRow("capture turns nothing on") << "cvdat" << false << "1" << a << yes << false << "" << b << 0;
        QTest::newRow("capture turns nothing off") << "cvdat" << true << "0" << a << yes << false << "1" << b << int(p2);
    }
    void serverKeys()
    {
        QFETCH(QString, kind);
        QFETCH(bool, onBefore);
        QFETCH(QString, enaSocket);
        QFETCH(QString, listenPort);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        QFETCH(QString, enaAfter);
        QFETCH(QString, portAfter);
        QFETCH(int, listening);
        this->answer = answer;
        const QString file = path("keys." + kind);
        QByteArray bytes = header(DevModelDemo, enaSocket, listenPort);
        if (kind == "cvdat")
            bytes += dataPart;
        QVERIFY(TestEnv::writeFile(file, bytes));

        for (const bool commandLine : {true, false}) {
            const QString way = commandLine ? "command line" : "open";
            questions.clear();
            userSettings(onBefore, p2);
            std::unique_ptr<MainWindow> w;
            if (commandLine) {
                Config::takeCommandLineFile({file});
                w.reset(new MainWindow);
                startWith(*w);
            } else {
                w.reset(new MainWindow);
                startWith(*w);
                QCOMPARE(w->socketApi->isListening(), onBefore);
                w->loadFile(file);
            }
            QVERIFY2(boxes.isEmpty(), qPrintable(way));
            QCOMPARE(questions.size(), asked ? 1 : 0);
            if (asked) {
                // The port it would listen on: the file's, else the user's;
                // one out of range is the default port.
                const QString port = listenPort.isEmpty() ? QString::number(p2)
                                     : listenPort.toInt() > 65535 ? QString::number(SocketAPI::DefaultPort)
                                                                  : listenPort;
                QVERIFY2(questions[0].contains(" port " + port + "."), qPrintable(questions[0]));
                QVERIFY(questions[0].contains("accepts commands from the network"));
                QCOMPARE(defaultAnswer, QString("Keep the server as it is"));
            }
            QCOMPARE(Config::getChnName(0), QString("File"));   // the rest merged
            QCOMPARE(Config::readGlobalParam("enaSocket"), enaAfter);
            QCOMPARE(Config::readGlobalParam("listenPort"), portAfter);
            QCOMPARE(w->socketApi->isListening(), listening != 0);
            if (listening)
                QCOMPARE(int(w->socketApi->port()), listening);
            if (kind == "cvdat")
                QCOMPARE(devUsing->shownData()->smpDepth, 1000LL);
        }
    }

    // A capture saved over the network holds the whole settings document,
    // server keys included; opened on another machine it leaves the server off.
    void remoteSavedCaptureLeavesServerOff()
    {
        const QString file = path("remote.cvdat");
        {
            userSettings(true, p1);
            MainWindow w;
            QVERIFY(w.socketApi->isListening());
            SmpData* s = devUsing->shownData();
            QVector<bool> ena(s->chnNum, false);
            ena[1] = true;
            QVERIFY(s->dataConvertStart(0, 1000000, ena));
            QVERIFY(s->appendEdge(1, 500));
            s->smpDepth = 2000;
            QVERIFY(s->dataConvertComplete(2000));
            QCOMPARE(w.socketApi->execute(("save-data \"" + file + "\"").toUtf8()), QString("ACK"));
        }
        QVERIFY(TestEnv::readFile(file).contains("<enaSocket>1</enaSocket>"));
        devUsing->clearSmpData();

        userSettings(false, 0);
        Config::takeCommandLineFile({file});
        MainWindow w;
        startWith(w);
        QVERIFY(boxes.isEmpty());
        QVERIFY(questions.isEmpty());
        QCOMPARE(devUsing->shownData()->smpDepth, 2000LL);
        QCOMPARE(w.windowTitle(), file + " - Corvena");
        QVERIFY(!w.socketApi->isListening());
        QCOMPARE(Config::readGlobalParam("enaSocket"), QString());
        QCOMPARE(Config::readGlobalParam("listenPort"), QString());
        QTcpServer probe;   // nothing holds the port the file named
        QVERIFY(probe.listen(QHostAddress::Any, p1));
    }

    // ---- a command-line file that cannot be opened ----

    // Whatever stage refuses it, the window says so once it stands, and the
    // settings stay the user's.
    void commandLineFileRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        const QByteArray good = header(DevModelDemo, "1", QString::number(p1));
        QTest::newRow("truncated settings file") << "cut.cvset" << good.left(good.size() - 20);
        QTest::newRow("truncated capture header") << "cut.cvdat" << good.left(60) + dataPart;
        QTest::newRow("nesting 30000 deep, settings file") << "deep.cvset" << deepDocument();
        QTest::newRow("nesting 30000 deep, capture file") << "deep.cvdat" << deepDocument() + "\x01\x02\x03";
        QTest::newRow("entity expansion bomb") << "bomb.cvset" << entityBomb();
        QTest::newRow("not well-formed") << "bad.cvset" << QByteArray("<settings><global></settings>\n");
        QTest::newRow("wrong model, settings file") << "model.cvset" << header(7, "1", QString::number(p1));
        QTest::newRow("wrong model, capture file") << "model.cvdat" << header(7, "", "") + dataPart;
        QTest::newRow("refused data part") << "data.cvdat" << header(DevModelDemo, "", "") + dataPart.left(30);
        QTest::newRow("no data part") << "empty.cvdat" << header(DevModelDemo, "", "");
        // Names of no regular file (never opened: a pipe would block the start).
        QTest::newRow("missing") << "missing.cvdat" << QByteArray();
        QTest::newRow("folder") << "folder" << QByteArray();
        QTest::newRow("pipe") << "pipe.cvdat" << QByteArray();
    }
    void commandLineFileRefused()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        const QString file = path(name);
        if (name == "folder") {
            QVERIFY(QDir().mkpath(file));
        } else if (name == "pipe.cvdat") {
            QFile::remove(file);
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        } else if (name != "missing.cvdat") {
            QVERIFY(TestEnv::writeFile(file, content));
        }
        userSettings(false, p2);
        Config::takeCommandLineFile({file});
        MainWindow w;
        startWith(w);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].title, QString("An error occurred"));
        QCOMPARE(boxes[0].text, "File open failed.\r\n" + file);
        QVERIFY(questions.isEmpty());
        QCOMPARE(Config::getChnName(0), QString("Mine"));
        QCOMPARE(Config::getDevModel(), int(DevModelDemo));
        QCOMPARE(Config::readGlobalParam("enaSocket"), QString());
        QCOMPARE(Config::readGlobalParam("listenPort"), QString::number(p2));
        QVERIFY(Config::dataFile.isEmpty());
        QVERIFY(!w.socketApi->isListening());
        QCOMPARE(w.windowTitle(), QString("Demo Disconnected - Corvena"));
        QVERIFY(!devUsing->hasValidData());

        // Said once: a later window of the same run says nothing.
        boxes.clear();
        MainWindow again;
        startWith(again);
        QVERIFY(boxes.isEmpty());
    }

    // ---- names the file system takes ----

    // The window writes under every name the file system takes, 255 bytes
    // long too: the capture, the settings and each export; the capture opens
    // again and no part file is left.
    void longestNames()
    {
        QTemporaryDir dir;
        QStringList files;
        for (const char* suffix : {"cvdat", "cvset", "txt", "csv", "bin"})
            files << dir.filePath(TestEnv::longestName(suffix));
        QStringList answers = files;
        Config::fileDialog = [&answers](const Config::FileDialogRequest&) { return answers.takeFirst(); };
        const auto runDialog = MainMenu::execDialog;
        MainMenu::execDialog = [](QDialog* d) {   // every channel, the whole capture
            auto* e = qobject_cast<ExportDataSet*>(d);
            if (!e)
                return int(QDialog::Rejected);
            e->digitalBox->slotChnEnaSelect(0, e->digitalBox->chnBoxes().size() - 1);
            e->accept();
            return e->result();
        };
        MainWindow w;
        QVERIFY(TestEnv::writeFile(path("capture.cvdat"), header(DevModelDemo, "", "") + dataPart));
        w.loadFile(path("capture.cvdat"));
        w.mainMenu->slotActSaveDataClicked();
        w.mainMenu->slotActSaveSettingsClicked();
        for (int type : {FileTypeText, FileTypeCsv, FileTypeBinary}) {
            QAction a;
            a.setData(type);
            w.mainMenu->slotMenuExportClicked(&a);
        }
        MainMenu::execDialog = runDialog;
        Config::fileDialog = nullptr;
        QVERIFY(answers.isEmpty());
        QVERIFY(boxes.isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), files.size());
        QCOMPARE(TestEnv::partFiles(dir.path()), QStringList());
        QVERIFY(TestEnv::readFile(files[1]).contains("<settings>"));
        QVERIFY(TestEnv::readFile(files[3]).startsWith("Time[s], "));
        QCOMPARE(TestEnv::readFile(files[2]), TestEnv::readFile(files[3]));
        QCOMPARE(TestEnv::readFile(files[4]).size(), 2 * 1000);

        devUsing->clearSmpData();
        w.loadFile(files[0]);
        QVERIFY(boxes.isEmpty());
        QCOMPARE(w.windowTitle(), files[0] + " - Corvena");
        QCOMPARE(devUsing->shownData()->smpDepth, 1000LL);
        QCOMPARE(devUsing->shownData()->getNextEdgePoint(0, 0), 10LL);
    }

    // ---- a configuration file that cannot be read ----

    // The refused file is moved aside before anything writes over it, and
    // the user learns where it went; a newer refused file replaces it.
    void refusedConfigurationKept_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("NUL byte in a value")
            << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<settings>\n    <global>\n        "
                          "<chnShowName0>a") + '\0' + QByteArray("b</chnShowName0>\n    </global>\n</settings>\n");
        QTest::newRow("not XML") << QByteArray("\x89PNG\r\n\x1a\n settings");
        QTest::newRow("truncated") << QByteArray("<?xml version=\"1.0\"?><settings><global><devModel>101</dev");
        QTest::newRow("nesting 30000 deep") << deepDocument();
        QTest::newRow("entity expansion bomb") << entityBomb();
    }
    void refusedConfigurationKept()
    {
        QFETCH(QByteArray, content);
        const QString cfg = Config::cfgFile;
        const QString kept = cfg + ".refused";
        QVERIFY(TestEnv::writeFile(kept, "an older refused file"));
        QVERIFY(TestEnv::writeFile(cfg, content));
        Config::init();
        Config::saveGlobalParam("userLang", "en-US");
        QCOMPARE(Config::cfgFileRefused, kept);
        QCOMPARE(TestEnv::readFile(kept), content);
        QCOMPARE(Config::getDevModel(), 0);   // the defaults

        startSayingKept(kept);
        const QByteArray written = TestEnv::readFile(cfg);
        QVERIFY(written.contains("<version>3.6.3</version>"));
        QCOMPARE(TestEnv::readFile(kept), content);

        // The next start reads the new file and says nothing.
        boxes.clear();
        Config::init();
        QVERIFY(Config::cfgFileRefused.isEmpty());
        MainWindow w;
        startWith(w);
        QVERIFY(boxes.isEmpty());
        QVERIFY(w.close());
        QCOMPARE(TestEnv::readFile(kept), content);
    }

    // Where the refused file cannot be moved aside, the close leaves it be.
    void refusedConfigurationHeld()
    {
        const QString cfg = Config::cfgFile;
        const QString kept = cfg + ".refused";
        QFile::remove(kept);
        QVERIFY(QDir().mkpath(kept + "/in-the-way"));
        const QByteArray content("<settings><global>\x01</global></settings>");
        QVERIFY(TestEnv::writeFile(cfg, content));
        startHeld();
        QCOMPARE(TestEnv::readFile(cfg), content);

        QVERIFY(QDir(kept).removeRecursively());
        QFile::remove(cfg);
        Config::init();
        QVERIFY(!Config::cfgFileHeld);
        Config::saveGlobalParam("userLang", "en-US");
    }

    // Something other than a file where the configuration belongs is
    // reported once like a file that cannot be read, and is never opened (a
    // pipe would block the start), moved aside or written over.
    // Also a link to a folder that does not exist: no file there to read,
    // and none the close could write. Standard error names the place where
    // the links end, where no file can be written.
    void nonFileConfigurationHeld_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("said");   // after "Settings: <cv.config> "
        QTest::newRow("folder") << "folder" << "is not a regular file";
        QTest::newRow("pipe") << "pipe" << "is not a regular file";
        const QString nowhere = "is a link to " + path("gone/cv.config") + ", where no file can be written";
        QTest::newRow("link to nowhere") << "link" << nowhere;
        // The second link is relative: taken from its own folder.
        QTest::newRow("chain of links to nowhere") << "chain" << nowhere;
        QTest::newRow("loop of links") << "loop"
                                       << "is a link that cannot be followed (Too many levels of symbolic links)";
    }
    void nonFileConfigurationHeld()
    {
        QFETCH(QString, kind);
        QFETCH(QString, said);
        const QString cfg = Config::cfgFile;
        const QString kept = cfg + ".refused";
        const QString nowhere = path("gone/cv.config");
        QFile::remove(cfg);
        QFile::remove(kept);
        QFile::remove(path("hop"));
        if (kind == "pipe")
            QCOMPARE(::mkfifo(QFile::encodeName(cfg).constData(), 0600), 0);
        else if (kind == "folder")
            QVERIFY(QDir().mkpath(cfg + "/inside"));
        else if (kind == "link")
            QVERIFY(QFile::link(nowhere, cfg));
        else if (kind == "chain")
            QVERIFY(QFile::link(path("hop"), cfg) && relativeLink("gone/cv.config", path("hop")));
        else
            QVERIFY(QFile::link(path("hop"), cfg) && QFile::link(cfg, path("hop")));
        QTest::ignoreMessage(QtWarningMsg,
                             qPrintable("Settings: " + cfg + " " + said
                                        + "; the defaults are used and the settings of this run are not saved"));
        startHeld();
        const QFileInfo after(cfg);
        QCOMPARE(after.isSymLink(), kind != "folder" && kind != "pipe");
        QVERIFY(!after.isFile());
        QCOMPARE(after.isDir(), kind == "folder");
        QVERIFY(!QFile::exists(kept));
        QVERIFY(!QFileInfo::exists(path("gone")));
        QCOMPARE(TestEnv::partFiles(after.path()), QStringList());

        QVERIFY(kind == "folder" ? QDir(cfg).removeRecursively() : QFile::remove(cfg));
        QFile::remove(path("hop"));
        Config::init();
        QVERIFY(!Config::cfgFileHeld);
        Config::saveGlobalParam("userLang", "en-US");
    }

    // A damaged configuration reached through symbolic links: the file they
    // name is moved aside beside itself, the links stay, and the close
    // writes the new settings through them.
    void refusedLinkedConfigurationKept_data()
    {
        QTest::addColumn<bool>("chain");
        QTest::newRow("link") << false;
        QTest::newRow("chain of links") << true;   // the second one relative
    }
    void refusedLinkedConfigurationKept()
    {
        QFETCH(bool, chain);
        const QString cfg = Config::cfgFile;
        const QString file = path("dotfiles/corvena.xml");
        const QString kept = file + ".refused";
        const QByteArray content("<settings><global>\x01</global></settings>");
        QVERIFY(QDir().mkpath(path("dotfiles")));
        QVERIFY(TestEnv::writeFile(kept, "an older refused file"));
        QVERIFY(TestEnv::writeFile(file, content));
        QFile::remove(cfg);
        QFile::remove(cfg + ".refused");
        QFile::remove(path("hop"));
        if (chain)
            QVERIFY(QFile::link(path("hop"), cfg) && relativeLink("dotfiles/corvena.xml", path("hop")));
        else
            QVERIFY(QFile::link(file, cfg));
        Config::init();
        Config::saveGlobalParam("userLang", "en-US");
        QVERIFY(!Config::cfgFileHeld);
        QCOMPARE(Config::cfgFileRefused, kept);
        QCOMPARE(TestEnv::readFile(kept), content);
        QVERIFY(QFileInfo(cfg).isSymLink());
        QVERIFY(!QFileInfo::exists(file));
        startSayingKept(kept);
        QVERIFY(QFileInfo(cfg).isSymLink());
        QCOMPARE(QFileInfo(cfg).symLinkTarget(), chain ? path("hop") : file);
        QVERIFY(TestEnv::readFile(file).contains("<version>3.6.3</version>"));
        QCOMPARE(TestEnv::readFile(kept), content);
        QVERIFY(!QFileInfo::exists(cfg + ".refused"));
        QCOMPARE(TestEnv::partFiles(path("dotfiles")), QStringList());
        QCOMPARE(TestEnv::partFiles(QFileInfo(cfg).path()), QStringList());

        QVERIFY(QFile::remove(cfg));
        QFile::remove(path("hop"));
        QVERIFY(QDir(path("dotfiles")).removeRecursively());
        Config::init();
        Config::saveGlobalParam("userLang", "en-US");
    }
};

QTEST_MAIN(TestMainWindowFiles)
#include "test_mainwindow_files.moc"
