// SIGINT, SIGTERM and SIGHUP close the program as its window's close does.
// In this process: what the handler and the window do about running file
// jobs. Then the built program runs headless under a temporary home, always
// with a capture file on its command line, so that it never searches the
// USB bus; the test signals it and reads what it left behind.
#include <QtTest>

#include <QAction>
#include <QMenu>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

#include <csignal>
#include <memory>
#include <cstring>
#include <sys/types.h>

#include "app/MainMenu.h"
#include "app/mainwindow.h"
#include "config/Config.h"
#include "config/Types.h"
#include "data/DataFile.h"
#include "data/ExportDataSet.h"
#include "data/SmpData.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "support/CaptureKit.h"
#include "support/ProgramKit.h"
#include "support/TestEnv.h"
#include "widgets/ChnEnaGroupBox.h"

namespace {

// Whether a thread of the process bears this name (a QThread takes its
// class name).
bool hasThread(qint64 pid, const QByteArray& name)
{
    const QString tasks = QString("/proc/%1/task").arg(pid);
    for (const QString& t : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (TestEnv::readFile(tasks + "/" + t + "/comm").trimmed() == name)
            return true;
    return false;
}

// A bounded wait that looks often: a job must be caught near its start.
template <typename F>
bool soon(F done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(2);
    }
    return true;
}

// Starts the program, optionally with one signal ignored, as a shell does
// for a command it starts in the background.
class Starter : public QProcess
{
public:
    int ignored = 0;

protected:
    void setupChildProcess() override
    {
        if (ignored)
            ::signal(ignored, SIG_IGN);
    }
};

} // namespace

class TestSignals : public QObject
{
    Q_OBJECT
    QTemporaryDir files;
    QString smallCapture;
    QString bigCapture;

    // One run of the program under a home of its own.
    struct Run {
        QTemporaryDir home;
        Starter p;
        QString display;   // an X display instead of the offscreen platform
        bool readErrors = false;   // standard error kept for the test
        QString config() const { return home.filePath("data/brenmar/cv.config"); }
    };

    // Starts the program on capture with the given signal ignored; returns
    // once it handles the other two (its handlers are in place).
    void start(Run& run, const QString& capture, int ignored = 0)
    {
        QVERIFY(run.home.isValid());
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        if (run.display.isEmpty()) {
            e.insert("QT_QPA_PLATFORM", "offscreen");
        } else {
            e.remove("QT_QPA_PLATFORM");
            e.insert("DISPLAY", run.display);
        }
        e.insert("HOME", run.home.path());
        e.insert("XDG_DATA_HOME", run.home.filePath("data"));
        e.insert("XDG_CONFIG_HOME", run.home.filePath("config"));
        run.p.setProcessEnvironment(e);
        run.p.setProcessChannelMode(run.readErrors ? QProcess::SeparateChannels : QProcess::ForwardedErrorChannel);
        run.p.ignored = ignored;
        run.p.start(QString::fromLocal8Bit(qgetenv("CORVENA_BIN")) + "/Corvena", {capture});
        QVERIFY(run.p.waitForStarted(30000));
        const qint64 pid = run.p.processId();
        QTRY_VERIFY_WITH_TIMEOUT(ProgramKit::closeHandlersIn(pid, ignored) || run.p.state() != QProcess::Running,
                                 60000);
        QCOMPARE(run.p.state(), QProcess::Running);
        if (ignored) {
            QVERIFY(ProgramKit::signalIn(pid, "SigIgn", ignored));
            QVERIFY(!ProgramKit::signalIn(pid, "SigCgt", ignored));
        }
    }

    // start(), and the test ends there when it failed.
#define START(...)                                                                                                   \
    do {                                                                                                             \
        start(__VA_ARGS__);                                                                                          \
        if (QTest::currentTestFailed())                                                                              \
            return;                                                                                                  \
    } while (0)

    void signal(Run& run, int sig) { QCOMPARE(::kill(pid_t(run.p.processId()), sig), 0); }

    // The program ended by itself, successfully, and wrote its settings.
    void endedWithSettings(Run& run)
    {
        QVERIFY(run.p.waitForFinished(120000));
        QCOMPARE(run.p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.p.exitCode(), 0);
        const QByteArray cfg = TestEnv::readFile(run.config());
        QVERIFY2(cfg.contains("<settings>") && cfg.trimmed().endsWith("</settings>"), cfg.left(200).constData());
    }

    // A configuration that turns the remote server on at a free port.
    quint16 serverConfig(Run& run)
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0))
            return 0;
        const quint16 port = probe.serverPort();
        probe.close();
        Config::saveGlobalParam("enaSocket", "1");
        Config::saveGlobalParam("listenPort", QString::number(port));
        QDir().mkpath(run.home.filePath("data/brenmar"));
        const bool ok = Config::saveConfig(run.config());
        Config::saveGlobalParam("enaSocket", "");
        return ok ? port : 0;
    }

private slots:
    void initTestCase()
    {
        TestEnv::startProgram();
        QVERIFY(files.isValid());
        QVERIFY(!qgetenv("CORVENA_BIN").isEmpty());
        smallCapture = files.filePath("small.cvdat");
        QVERIFY(ProgramKit::writeCapture(smallCapture, 1000));
        // Above the size from which a load runs in its thread behind the
        // progress dialog; its CSV export takes seconds.
        bigCapture = files.filePath("big.cvdat");
        QVERIFY(ProgramKit::writeCapture(bigCapture, 12000000));
    }

    // What the handler does first: every file job, threaded or direct (a
    // remote command's, on the GUI thread), fails at its next check; an
    // export leaves the old target and nothing beside it.
    void fileJobsInterrupted_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("threaded");
        QTest::newRow("CSV, direct") << "csv" << false;
        QTest::newRow("CSV, threaded") << "csv" << true;
        QTest::newRow("binary, direct") << "bin" << false;
        QTest::newRow("binary, threaded") << "bin" << true;
        QTest::newRow("capture file") << "cvdat" << false;
    }
    void fileJobsInterrupted()
    {
        QFETCH(QString, kind);
        QFETCH(bool, threaded);
        // Above the thresholds of the threaded exports: 250,000 changes of
        // channel 0 in 2.1 x 10^7 samples.
        const long long depth = DataFile::ThreadBinSamples + 1000000;
        SmpData s(16);
        Chn c{0, 0, {}};
        for (long long i = 1; i < 250000; ++i)
            c.edges << i;
        fill(s, depth, 1000000, 0, {c});
        const QVector<bool> sel(16, true);
        QTemporaryDir dir;
        const QString target = dir.filePath("t." + kind);
        QVERIFY(TestEnv::writeFile(target, "before"));
        bool sawThreaded = false;
        DataFile::progressView = [&](DataFile* job) {
            sawThreaded = true;
            QTRY_VERIFY_WITH_TIMEOUT(job->isJobDone(), 60000);
        };

        DataFile::interruptAll();
        DataFile job(&s);
        bool ok = true;
        if (kind == "csv")
            ok = job.exportCSV(target, sel, QVector<QString>(16, "c").toList(), 0, depth - 1, !threaded);
        else if (kind == "bin")
            ok = job.exportBin(target, sel, 0, depth - 1, !threaded);
        else
            ok = job.saveData(target, sel, 0, depth - 1, true);   // into the caller's part file
        DataFile::interruptAll(false);
        DataFile::progressView = nullptr;
        QVERIFY(!ok);
        QCOMPARE(sawThreaded, threaded);
        QVERIFY(!DataFile::jobRunning());
        if (kind != "cvdat") {
            QCOMPARE(TestEnv::readFile(target), QByteArray("before"));
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"t." + kind});
            return;
        }

        // A load of what an uninterrupted save writes fails as well, and
        // leaves the store empty.
        const QString whole = dir.filePath("whole.cvdat");
        QVERIFY(DataFile(&s).saveData(whole, sel, 0, depth - 1, true));
        DataFile::interruptAll();
        SmpData back(16);
        ok = DataFile(&back).loadData(whole, 0, true);
        DataFile::interruptAll(false);
        QVERIFY(!ok);
        QCOMPARE(back.smpDepth, 0LL);
    }

    // The signal comes while the window's CSV export runs behind its modal
    // progress dialog: the job's thread ends, the dialog's loop ends with
    // every other, no part file stays and the old target is kept. Then the
    // window is closed by the caller of the main loop.
    void endDuringMenuExport()
    {
        devUsing = DevBase::createDevice(DevModelDemo);
        QStringList boxes;
        MainWindow::criticalBox = [&](QWidget*, const QString&, const QString& text) { boxes << text; };
        auto w = std::make_unique<MainWindow>();
        // Every sample of channel 0 changes: a CSV export of 2 x 10^6 lines.
        const long long depth = 2000000;
        Chn c{0, 0, {}};
        for (long long i = 1; i < depth; ++i)
            c.edges << i;
        fill(*devUsing->shownData(), depth, 1000000, 0, {c});
        QTemporaryDir dir;
        const QString target = dir.filePath("big.csv");
        QVERIFY(TestEnv::writeFile(target, "before"));
        Config::fileDialog = [&](const Config::FileDialogRequest&) { return target; };
        bool jobInside = false;
        MainMenu::execDialog = [&](QDialog* d) {
            if (auto* e = qobject_cast<ExportDataSet*>(d)) {
                e->digitalBox->slotChnEnaSelect(0, e->digitalBox->chnBoxes().size() - 1);
                e->accept();
                return e->result();
            }
            jobInside = w->fileJobRunning();
            QTimer::singleShot(0, w.get(), &MainWindow::slotEndRequested);
            return d->exec();
        };
        MainMenu::execMenu = [](QMenu*, const QPoint&) {};
        w->mainMenu->slotBtnMainClicked();
        QAction* csv = nullptr;
        for (QAction* a : w->mainMenu->menuExport->actions())
            if (a->data().toInt() == FileTypeCsv)
                csv = a;
        w->mainMenu->slotMenuExportClicked(csv);
        DataFile::interruptAll(false);
        MainMenu::execDialog = nullptr;
        MainMenu::execMenu = nullptr;
        Config::fileDialog = nullptr;
        // The test's own event loops work again once a main loop has run.
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        QCoreApplication::exec();

        QVERIFY(jobInside);
        QVERIFY(!w->fileJobRunning());
        QVERIFY(!w->isClosing());   // the main loop's caller closes it
        QCOMPARE(boxes, QStringList{"File save failed.\r\n" + target});
        QCOMPARE(TestEnv::readFile(target), QByteArray("before"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"big.csv"});
        w.reset();
        MainWindow::criticalBox = nullptr;
        delete devUsing;
        devUsing = nullptr;
    }

    // On a fresh machine: no configuration before, one after.
    void signalWritesSettings_data()
    {
        QTest::addColumn<int>("sig");
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void signalWritesSettings()
    {
        QFETCH(int, sig);
        Run run;
        START(run, smallCapture);
        QVERIFY(!QFile::exists(run.config()));
        signal(run, sig);
        endedWithSettings(run);
    }

    // A remote CSV export runs on the GUI thread when the signal comes: it
    // is cancelled (the client hears NAK, no file is left in its folder) and
    // the settings changed during the run are written.
    void signalDuringRemoteExport()
    {
        Run run;
        const quint16 port = serverConfig(run);
        QVERIFY(port);
        START(run, bigCapture);
        QTcpSocket c;
        auto ask = [&](const QByteArray& command) {
            c.write(command);
            return c.waitForReadyRead(120000) ? c.readAll() : QByteArray();
        };
        auto connected = [&] {
            c.abort();
            c.connectToHost(QHostAddress::LocalHost, port);
            return c.waitForConnected(1000);
        };
        QTRY_VERIFY_WITH_TIMEOUT(connected(), 60000);
        // The capture is shown once the load behind its dialog has ended.
        QTRY_COMPARE_WITH_TIMEOUT(ask("get-actual-sample-depth"), QByteArray("ACK 12000001"), 120000);
        QCOMPARE(ask("set-sample-rate 2000000"), QByteArray("ACK"));

        const QString out = files.filePath("out");
        QVERIFY(QDir().mkpath(out));
        auto written = [&] {
            return QDir(out).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        };
        c.write("export-data " + QFile::encodeName(out) + "/big.csv --chn-select 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15");
        QVERIFY(c.waitForBytesWritten(10000));
        QVERIFY(soon([&] { return !written().isEmpty(); }, 60000));
        signal(run, SIGTERM);
        endedWithSettings(run);
        QVERIFY(c.waitForReadyRead(10000) || c.bytesAvailable() > 0);
        QCOMPARE(c.readAll(), QByteArray("NAK"));
        QVERIFY2(written().isEmpty(), qPrintable(written().join(' ')));
        QVERIFY(TestEnv::readFile(run.config()).contains("<smpFrequ>2000</smpFrequ>"));
    }

    // The load of the command line's capture runs in its thread behind the
    // modal progress dialog: the signal ends the job, its dialog and the
    // program, without a crash or a hang.
    void signalDuringLoadDialog()
    {
        Run run;
        START(run, bigCapture);
        const qint64 pid = run.p.processId();
        QVERIFY(soon([&] { return hasThread(pid, "DataFile") || run.p.state() != QProcess::Running; }, 60000));
        QCOMPARE(run.p.state(), QProcess::Running);
        signal(run, SIGTERM);
        endedWithSettings(run);
    }

    // The signal comes while QApplication is being built, before any window
    // or event loop: the X server, stopped, has not answered the program's
    // connection yet. It is answered once the loop runs, as any other.
    void signalDuringStart()
    {
        QProcess x;
        x.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x800x24"});
        QVERIFY2(x.waitForStarted(30000), "Xvfb is missing (tools/deps.sh test installs it)");
        QTRY_VERIFY_WITH_TIMEOUT(x.canReadLine() || x.state() != QProcess::Running, 30000);
        const QByteArray number = x.readLine().trimmed();
        QVERIFY2(!number.isEmpty(), "Xvfb found no display");
        QCOMPARE(::kill(pid_t(x.processId()), SIGSTOP), 0);
        struct Resume {
            QProcess& x;
            ~Resume()
            {
                ::kill(pid_t(x.processId()), SIGCONT);
                x.terminate();
                x.waitForFinished(30000);
            }
        } resume{x};

        Run run;
        run.display = ":" + QString::fromLatin1(number);
        START(run, smallCapture);
        signal(run, SIGTERM);
        QCOMPARE(::kill(pid_t(x.processId()), SIGCONT), 0);
        endedWithSettings(run);
    }

    // The configuration's folder goes while the program runs: the close
    // says on standard error what it could not write and why, and the exit
    // status tells a script that the settings were lost.
    void lostSettingsSaid()
    {
        Run run;
        run.readErrors = true;
        START(run, smallCapture);
        // Made by the start, after the handlers are in place.
        const QString folder = run.home.filePath("data/brenmar");
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(folder).isDir(), 60000);
        QVERIFY(QDir(folder).removeRecursively());
        signal(run, SIGTERM);
        QVERIFY(run.p.waitForFinished(120000));
        const QByteArray errors = run.p.readAllStandardError();
        QVERIFY2(errors.contains("Settings: " + QFile::encodeName(run.config())
                                 + " could not be written (No such file or directory)"),
                 errors.constData());
        QCOMPARE(run.p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.p.exitCode(), 1);
    }

    // Two signals at once: the second ends the program with its default
    // action, before any close.
    void secondSignalEndsAtOnce()
    {
        Run run;
        START(run, smallCapture);
        signal(run, SIGINT);
        signal(run, SIGTERM);
        QVERIFY(run.p.waitForFinished(120000));
        QCOMPARE(run.p.exitStatus(), QProcess::CrashExit);
    }

    // A signal ignored when the program starts stays ignored: sent first,
    // it leaves the next one the first, which closes the program normally.
    void ignoredStaysIgnored_data()
    {
        QTest::addColumn<int>("ignored");
        QTest::addColumn<int>("closer");
        QTest::newRow("SIGINT (started in the background)") << int(SIGINT) << int(SIGTERM);
        QTest::newRow("SIGHUP (nohup)") << int(SIGHUP) << int(SIGTERM);
        QTest::newRow("SIGTERM") << int(SIGTERM) << int(SIGINT);
    }
    void ignoredStaysIgnored()
    {
        QFETCH(int, ignored);
        QFETCH(int, closer);
        Run run;
        START(run, smallCapture, ignored);
        signal(run, ignored);
        signal(run, closer);
        endedWithSettings(run);
    }
};

QTEST_MAIN(TestSignals)
#include "test_signals.moc"
