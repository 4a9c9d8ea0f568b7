// tools/run.sh, as `make run` starts the program on a machine without a
// display (under xvfb-run), in a terminal of its own: closing the terminal,
// whoever leads its session, or one Ctrl+C closes the program as its
// window's close does, with its settings written, and leaves nothing
// running. Each run gets a home of its own; its processes are told apart
// by a variable they all inherit.
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/ProgramKit.h"
#include "support/TestEnv.h"

namespace {

const char* const kMark = "CORVENA_RUNSCRIPT_TEST";

// A pseudo-terminal with a program as its session leader, as a terminal
// window has its shell.
class Terminal
{
public:
    ~Terminal()
    {
        hangUp();
        if (leader > 0 && ::waitpid(leader, nullptr, WNOHANG) == 0) {
            ::kill(leader, SIGKILL);
            ::waitpid(leader, nullptr, 0);
        }
    }

    bool start(const QStringList& argv, const QStringList& env)
    {
        // Everything the child needs is made before the fork: after it,
        // only exec is safe in a process with threads.
        QList<QByteArray> args, vars;
        for (const QString& a : argv)
            args << QFile::encodeName(a);
        for (const QString& v : env)
            vars << v.toLocal8Bit();
        std::vector<char*> argp, envp;
        for (QByteArray& a : args)
            argp.push_back(a.data());
        argp.push_back(nullptr);
        for (QByteArray& v : vars)
            envp.push_back(v.data());
        envp.push_back(nullptr);

        struct winsize ws {};
        ws.ws_row = 40;
        ws.ws_col = 120;
        leader = forkpty(&master, nullptr, nullptr, &ws);
        if (leader == 0) {
            execve(argp[0], argp.data(), envp.data());
            _exit(127);
        }
        if (leader < 0)
            return false;
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        return true;
    }

    void type(const QByteArray& keys)
    {
        if (master >= 0)
            QCOMPARE(::write(master, keys.constData(), size_t(keys.size())), ssize_t(keys.size()));
    }

    // What the terminal shows so far; read often, so that nothing writing
    // to it ever blocks on a full buffer.
    const QByteArray& shown()
    {
        char buf[4096];
        for (ssize_t n; master >= 0 && (n = ::read(master, buf, sizeof buf)) > 0;)
            screen.append(buf, int(n));
        return screen;
    }

    // The window closes: the kernel hangs the terminal up.
    void hangUp()
    {
        if (master >= 0)
            ::close(master);
        master = -1;
    }

    pid_t leader = -1;

private:
    int master = -1;
    QByteArray screen;
};

// The processes of one run: those whose environment holds the mark.
QList<qint64> runProcesses(const QString& mark)
{
    // Orphans of the run come to this process (a subreaper): reap them.
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    const QByteArray wanted = QByteArray(kMark) + '=' + mark.toLocal8Bit();
    QList<qint64> found;
    for (const QString& d : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const qint64 pid = d.toLongLong(&ok);
        if (ok && TestEnv::readFile("/proc/" + d + "/environ").split('\0').contains(wanted))
            found << pid;
    }
    return found;
}

// What is left of a run, for a failure's message: each process's state and
// command line.
QByteArray describe(const QList<qint64>& pids)
{
    QByteArray text;
    for (qint64 pid : pids) {
        QByteArray cmd = TestEnv::readFile(QString("/proc/%1/cmdline").arg(pid));
        cmd.replace('\0', ' ');
        text += QByteArray::number(pid) + ' ' + TestEnv::processStatus(QString::number(pid), "State") + ' ' + cmd
                + '\n';
    }
    return text;
}

qint64 programOf(const QList<qint64>& pids)
{
    for (qint64 pid : pids)
        if (TestEnv::readFile(QString("/proc/%1/comm").arg(pid)).trimmed() == "Corvena")
            return pid;
    return 0;
}

} // namespace

class TestRunScript : public QObject
{
    Q_OBJECT
    QTemporaryDir files;
    QString capture;
    QString script;

private slots:
    void initTestCase()
    {
        QVERIFY(files.isValid());
        capture = files.filePath("small.cvdat");
        QVERIFY(ProgramKit::writeCapture(capture, 1000));
        script = QFileInfo(TestEnv::dataPath("../../tools/run.sh")).canonicalFilePath();
        QVERIFY(QFileInfo(script).isExecutable());
        QVERIFY2(!QStandardPaths::findExecutable("xvfb-run").isEmpty(),
                 "xvfb-run is missing (tools/deps.sh test installs it)");
        QCOMPARE(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    }

    void closes_data()
    {
        QTest::addColumn<QString>("leader");
        QTest::addColumn<QString>("action");
        // Its shell hangs up its jobs, then the kernel the foreground group:
        // the script gets SIGHUP twice.
        QTest::newRow("terminal closed, a shell leads") << "bash" << "close";
        // make waits for its children before it ends, so no signal comes to
        // the script until the program has ended.
        QTest::newRow("terminal closed, make leads") << "make" << "close";
        QTest::newRow("Ctrl+C") << "bash" << "ctrl-c";
        QTest::newRow("two SIGHUPs at once") << "script" << "hup-twice";
    }
    void closes()
    {
        QFETCH(QString, leader);
        QFETCH(QString, action);
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const QString config = home.filePath("data/brenmar/cv.config");
        const QString program = QString::fromLocal8Bit(qgetenv("CORVENA_BIN")) + "/Corvena";

        QStringList env;
        for (const QString& v : QProcess::systemEnvironment())
            if (!v.startsWith("DISPLAY=") && !v.startsWith("WAYLAND_DISPLAY=") && !v.startsWith("QT_QPA_PLATFORM=")
                && !v.startsWith("HOME=") && !v.startsWith("XDG_") && !v.startsWith("TERM="))
                env << v;
        env << "HOME=" + home.path() << "XDG_DATA_HOME=" + home.filePath("data")
            << "XDG_CONFIG_HOME=" + home.filePath("config") << "TERM=dumb"
            << QString("%1=%2").arg(kMark, home.path());

        // A failed run leaves nothing behind.
        struct Sweep {
            QString mark;
            ~Sweep()
            {
                for (qint64 pid : runProcesses(mark))
                    ::kill(pid_t(pid), SIGKILL);
            }
        } sweep{home.path()};
        Terminal t;
        if (leader == "bash") {
            QVERIFY(t.start({"/bin/bash", "--norc", "--noprofile", "-i"}, env));
            t.type(QFile::encodeName(script) + ' ' + QFile::encodeName(program) + ' ' + QFile::encodeName(capture)
                   + '\n');
        } else if (leader == "make") {
            const QString makefile = home.filePath("Makefile");
            QVERIFY(TestEnv::writeFile(makefile, "run:\n\t@\"$(RUN)\" \"$(PROG)\" \"$(CAPTURE)\"\n"));
            QVERIFY(t.start({QStandardPaths::findExecutable("make"), "-s", "-f", makefile, "run", "RUN=" + script,
                             "PROG=" + program, "CAPTURE=" + capture},
                            env));
        } else {
            QVERIFY(t.start({script, program, capture}, env));
        }

        // Up, with its handlers in place; started in the background by the
        // script, it ignores SIGINT.
        qint64 pid = 0;
        QTRY_VERIFY2_WITH_TIMEOUT((pid = programOf(runProcesses(home.path())))
                                      && ProgramKit::closeHandlersIn(pid, SIGINT),
                                  t.shown().constData(), 60000);

        if (action == "close") {
            t.hangUp();
        } else if (action == "ctrl-c") {
            t.type("\x03");
        } else {
            QCOMPARE(::kill(t.leader, SIGHUP), 0);
            QCOMPARE(::kill(t.leader, SIGHUP), 0);
        }
        if (action == "ctrl-c") {
            // Back at the prompt: the script's status is the program's.
            QTRY_VERIFY_WITH_TIMEOUT(programOf(runProcesses(home.path())) == 0, 60000);
            t.type("echo \"status=$?\"\n");
            QTRY_VERIFY2_WITH_TIMEOUT(t.shown().contains("status=0"), t.shown().constData(), 60000);
            t.hangUp();
        }
        QTRY_VERIFY2_WITH_TIMEOUT(runProcesses(home.path()).isEmpty(),
                                  (describe(runProcesses(home.path())) + t.shown()).constData(), 60000);

        const QByteArray cfg = TestEnv::readFile(config);
        QVERIFY2(cfg.contains("<settings>") && cfg.trimmed().endsWith("</settings>"), t.shown().constData());
        QCOMPARE(TestEnv::partFiles(home.filePath("data/brenmar")), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestRunScript)
#include "test_runscript.moc"
