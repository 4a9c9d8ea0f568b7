// The built program under a system that refuses new threads, from its start
// or from a given moment of its run: whatever it was doing, it answers,
// and a SIGTERM then closes it within a few seconds, its settings written,
// without a crash. It runs headless with the remote server on and an IR RC6
// analyzer restored from its configuration, and opens a small capture file
// first, so that it never searches the USB bus (the file puts the same
// analyzer in use: opening a file replaces the analyzers).
#include <QtTest>

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

#include <csignal>
#include <dlfcn.h>

#include "Analyzer.h"
#include "config/Config.h"
#include "support/ProgramKit.h"
#include "support/TestEnv.h"

namespace {

// What the IR RC6 plug-in's settings save by default: the configuration's
// record of an analyzer in use.
QByteArray rc6Settings()
{
    const QByteArray lib = qgetenv("CORVENA_BIN") + "/Analyzer/libIR-RC6.so";
    void* h = ::dlopen(lib.constData(), RTLD_NOW | RTLD_LOCAL);
    if (!h)
        return QByteArray();
    auto create = reinterpret_cast<Analyzer* (*)()>(::dlsym(h, "CreateAnalyzer"));
    auto destroy = reinterpret_cast<void (*)(Analyzer*)>(::dlsym(h, "DestroyAnalyzer"));
    QByteArray text;
    if (create && destroy) {
        Analyzer* a = create();
        if (a && a->GetAnalyzerSettings())
            text = a->GetAnalyzerSettings()->SaveSettings();
        destroy(a);
    }
    // The plug-in stays loaded: its strings and types may still be in use.
    return text;
}

} // namespace

class TestProgramRefusal : public QObject
{
    Q_OBJECT
    QTemporaryDir files;
    QString capture;
    QByteArray analyzer;

    struct Run {
        QTemporaryDir home;
        QProcess p;
        quint16 port = 0;
        QTcpSocket c;
        QByteArray errors;   // what the program wrote to stderr so far
        QString config() const { return home.filePath("data/brenmar/cv.config"); }
        QString refusal() const { return home.filePath("refuse"); }
    };

    // Threads are refused from now on; a number lets that many more start
    // first. The file appears whole, never empty on its way to a number.
    static bool refuse(Run& run, const QByteArray& allowed = QByteArray())
    {
        const QString part = run.refusal() + ".new";
        return TestEnv::writeFile(part, allowed) && ::rename(QFile::encodeName(part), QFile::encodeName(run.refusal())) == 0;
    }
    static void allow(Run& run) { QFile::remove(run.refusal()); }

    // The server on at a free port, and the analyzer in use.
    bool configure(Run& run)
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0))
            return false;
        run.port = probe.serverPort();
        probe.close();
        Config::setDefaultDocument();
        Config::saveGlobalParam("enaSocket", "1");
        Config::saveGlobalParam("listenPort", QString::number(run.port));
        Config::saveAnalyzerParam(0, {"libIR-RC6.so", QString::fromLatin1(analyzer), "0"});
        QDir().mkpath(run.home.filePath("data/brenmar"));
        const bool ok = Config::saveConfig(run.config());
        Config::setDefaultDocument();
        return ok;
    }

    // Starts the program; returns once it takes remote commands.
    void start(Run& run)
    {
        QVERIFY(run.home.isValid());
        QVERIFY(configure(run));
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("QT_QPA_PLATFORM", "offscreen");
        e.insert("HOME", run.home.path());
        e.insert("XDG_DATA_HOME", run.home.filePath("data"));
        e.insert("XDG_CONFIG_HOME", run.home.filePath("config"));
        e.insert("LD_PRELOAD", qgetenv("CORVENA_REFUSE_PRELOAD"));
        e.insert("CORVENA_REFUSE_THREADS_FILE", run.refusal());
        // The preload comes before the sanitizer's run-time.
        e.insert("ASAN_OPTIONS", qgetenv("ASAN_OPTIONS") + ":verify_asan_link_order=0");
        run.p.setProcessEnvironment(e);
        run.p.setProcessChannelMode(QProcess::SeparateChannels);
        run.p.start(QString::fromLocal8Bit(qgetenv("CORVENA_BIN")) + "/Corvena", {capture});
        QVERIFY(run.p.waitForStarted(30000));
        auto connected = [&] {
            run.c.abort();
            run.c.connectToHost(QHostAddress::LocalHost, run.port);
            return run.c.waitForConnected(1000);
        };
        QTRY_VERIFY_WITH_TIMEOUT(connected() || run.p.state() != QProcess::Running, 60000);
        QCOMPARE(run.p.state(), QProcess::Running);
        // The capture of the command line is open.
        QTRY_COMPARE_WITH_TIMEOUT(ask(run, "get-actual-sample-depth"), QByteArray("ACK 1001"), 60000);
    }

#define START(run)                                                                                                   \
    do {                                                                                                             \
        start(run);                                                                                                  \
        if (QTest::currentTestFailed())                                                                              \
            return;                                                                                                  \
    } while (0)

    // A remote command's answer ("" when none comes).
    static QByteArray ask(Run& run, const QByteArray& command)
    {
        run.c.write(command);
        return run.c.waitForReadyRead(20000) ? run.c.readAll() : QByteArray();
    }

    // SIGTERM closes the program within a few seconds, as its window's
    // close does: exit status 0 and the settings written.
    void closes(Run& run)
    {
        QCOMPARE(::kill(pid_t(run.p.processId()), SIGTERM), 0);
        const bool ended = run.p.waitForFinished(20000);
        run.errors += run.p.readAllStandardError();
        if (!ended)
            run.p.kill();
        QVERIFY2(ended, "still running 20 s after SIGTERM");
        QVERIFY2(run.p.exitStatus() == QProcess::NormalExit && run.p.exitCode() == 0, run.errors.constData());
        const QByteArray cfg = TestEnv::readFile(run.config());
        QVERIFY2(cfg.trimmed().endsWith("</settings>"), cfg.left(200).constData());
        QVERIFY(cfg.contains("libIR-RC6.so"));
    }

    // The system refused at least one thread of the program.
    static bool refusalSeen(Run& run)
    {
        run.errors += run.p.readAllStandardError();
        return run.errors.contains("Thread creation error");
    }

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        Config::init();
        QVERIFY(files.isValid());
        QVERIFY(!qgetenv("CORVENA_REFUSE_PRELOAD").isEmpty());
        analyzer = rc6Settings();
        QVERIFY(!analyzer.isEmpty());
        capture = files.filePath("small.cvdat");
        QVERIFY(ProgramKit::writeCapture(capture, 1000,
                                         "<item0><fileName>libIR-RC6.so</fileName><parameters>"
                                             + QString::fromLatin1(analyzer).toHtmlEscaped().toUtf8()
                                             + "</parameters><format>0</format></item0>"));
    }

    // Refused from the first thread on: the window, the analyzer and the
    // Decoded Results come up without their threads; a capture is refused.
    void fromTheStart()
    {
        Run run;
        QVERIFY(refuse(run));
        START(run);
        QCOMPARE(ask(run, "start --simulate"), QByteArray("NAK"));
        closes(run);
    }

    // A capture refused, then one when threads are free again: the
    // analyzer of the capture file decodes it.
    void captureRefused()
    {
        Run run;
        START(run);
        QVERIFY(refuse(run));
        QCOMPARE(ask(run, "start --simulate"), QByteArray("NAK"));
        QTRY_VERIFY(refusalSeen(run));
        allow(run);
        QCOMPARE(ask(run, "start --simulate"), QByteArray("ACK"));
        closes(run);
    }

    // The capture's own thread starts, the next ones (its decode, the
    // waveforms' helpers) are refused; then a capture with threads free.
    void decode()
    {
        Run run;
        START(run);
        QCOMPARE(ask(run, "set-sample-depth 1000000"), QByteArray("ACK"));
        QVERIFY(refuse(run, "1"));
        QCOMPARE(ask(run, "start --simulate"), QByteArray("ACK"));
        QTRY_VERIFY_WITH_TIMEOUT(refusalSeen(run), 30000);
        allow(run);
        QCOMPARE(ask(run, "start --simulate"), QByteArray("ACK"));
        closes(run);
    }

    // A save and the exports of a capture of 10^7 samples, with no thread
    // to spare: the file is written all the same.
    void saveAndExport_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("capture file") << "x.cvdat";
        QTest::newRow("CSV") << "x.csv";
        QTest::newRow("binary") << "x.bin";
    }
    void saveAndExport()
    {
        QFETCH(QString, file);
        Run run;
        START(run);
        QCOMPARE(ask(run, "set-sample-depth 10000000"), QByteArray("ACK"));
        QCOMPARE(ask(run, "start --simulate"), QByteArray("ACK"));
        QVERIFY(refuse(run));
        const QString path = run.home.filePath(file);
        const QByteArray verb = file.endsWith(".cvdat") ? "save-data " : "export-data ";
        QCOMPARE(ask(run, verb + QFile::encodeName(path) + " --chn-select 0 1 2"), QByteArray("ACK"));
        QVERIFY(QFileInfo(path).size() > 0);
        QVERIFY(TestEnv::partFiles(run.home.path()).isEmpty());
        closes(run);
    }
};

QTEST_GUILESS_MAIN(TestProgramRefusal)
#include "test_program_refusal.moc"
