// tools/run.sh, as `make run` starts the program on a machine without a
// display (under xvfb-run), in a terminal of its own: closing the terminal,
// whoever leads its session, one Ctrl+C or one Ctrl+\ closes the program as
// its window's close does, with its settings written, and leaves nothing
// running; a signal that comes before the program has started ends the run
// without a word from the script. Each run gets a home of its own; its
// processes are told apart by a variable they all inherit.
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

// Whether a process of the run has the text in its command line.
bool runsCommand(const QList<qint64>& pids, const QByteArray& text)
{
    for (qint64 pid : pids)
        if (TestEnv::readFile(QString("/proc/%1/cmdline").arg(pid)).contains(text))
            return true;
    return false;
}

// A failed run leaves nothing behind.
struct Sweep {
    QString mark;
    ~Sweep()
    {
        for (qint64 pid : runProcesses(mark))
            ::kill(pid_t(pid), SIGKILL);
    }
};

} // namespace

class TestRunScript : public QObject
{
    Q_OBJECT
    QTemporaryDir files;
    QString capture;
    QString script;

    // The environment of a run in the given home: no display, the run's mark.
    QStringList runEnvironment(const QTemporaryDir& home) const
    {
        QStringList env;
        for (const QString& v : QProcess::systemEnvironment())
            if (!v.startsWith("DISPLAY=") && !v.startsWith("WAYLAND_DISPLAY=") && !v.startsWith("QT_QPA_PLATFORM=")
                && !v.startsWith("HOME=") && !v.startsWith("XDG_") && !v.startsWith("TERM="))
                env << v;
        env << "HOME=" + home.path() << "XDG_DATA_HOME=" + home.filePath("data")
            << "XDG_CONFIG_HOME=" + home.filePath("config") << "TERM=dumb"
            << QString("%1=%2").arg(kMark, home.path());
        return env;
    }

    QString program() const { return QString::fromLocal8Bit(qgetenv("CORVENA_BIN")) + "/Corvena"; }

    // The command line that runs the script, as typed at a shell.
    QByteArray typedRun() const
    {
        return QFile::encodeName(script) + ' ' + QFile::encodeName(program()) + ' ' + QFile::encodeName(capture)
               + '\n';
    }

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
        // Ctrl+\ asks for a core of what it ends (make, make's shell): none
        // is wanted in the build tree.
        struct rlimit core {};
        QCOMPARE(::setrlimit(RLIMIT_CORE, &core), 0);
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
        // Ctrl+\ reaches make and the script. make, as `make run` starts it,
        // waits for the script; through make's shell, which Ctrl+\ ends, the
        // prompt comes back at once and the script goes on alone.
        QTest::newRow("Ctrl+\\ under make") << "bash, make" << "ctrl-backslash";
        QTest::newRow("Ctrl+\\ under make's shell") << "bash, make, sh" << "ctrl-backslash";
    }
    void closes()
    {
        QFETCH(QString, leader);
        QFETCH(QString, action);
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const QString config = home.filePath("data/brenmar/cv.config");
        const QStringList env = runEnvironment(home);
        Sweep sweep{home.path()};
        Terminal t;
        // make's own start of a recipe, as the project's Makefile has it, or
        // one through its shell (quotes need one).
        const QString makefile = home.filePath("Makefile");
        const QByteArray recipe = leader == "bash, make" ? "@$(RUN) $(PROG) $(CAPTURE)"
                                                         : "@\"$(RUN)\" \"$(PROG)\" \"$(CAPTURE)\"";
        QVERIFY(TestEnv::writeFile(makefile, "run:\n\t" + recipe + "\n"));
        const QStringList makeRun{QStandardPaths::findExecutable("make"), "-s", "-f", makefile, "run",
                                  "RUN=" + script, "PROG=" + program(), "CAPTURE=" + capture};
        if (leader == "bash") {
            QVERIFY(t.start({"/bin/bash", "--norc", "--noprofile", "-i"}, env));
            t.type(typedRun());
        } else if (leader.startsWith("bash, make")) {
            QVERIFY(t.start({"/bin/bash", "--norc", "--noprofile", "-i"}, env));
            QByteArray typed;
            for (const QString& a : makeRun)
                typed += '\'' + QFile::encodeName(a) + "' ";
            t.type(typed + '\n');
        } else if (leader == "make") {
            QVERIFY(t.start(makeRun, env));
        } else {
            QVERIFY(t.start({script, program(), capture}, env));
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
        } else if (action == "ctrl-backslash") {
            t.type("\x1c");
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
        } else if (action == "ctrl-backslash") {
            // Nothing of the run is left but the terminal's shell, which
            // stays open: its closing would end the run too.
            QTRY_VERIFY2_WITH_TIMEOUT(runProcesses(home.path()) == QList<qint64>{t.leader},
                                      (describe(runProcesses(home.path())) + t.shown()).constData(), 60000);
            t.hangUp();
        }
        QTRY_VERIFY2_WITH_TIMEOUT(runProcesses(home.path()).isEmpty(),
                                  (describe(runProcesses(home.path())) + t.shown()).constData(), 60000);

        const QByteArray cfg = TestEnv::readFile(config);
        QVERIFY2(cfg.contains("<settings>") && cfg.trimmed().endsWith("</settings>"), t.shown().constData());
        QCOMPARE(TestEnv::partFiles(home.filePath("data/brenmar")), QStringList());
    }

    // A Ctrl+C while xvfb-run is still starting: the run ends, and the
    // script says nothing about the program it has not started. A stand-in
    // found first on the PATH holds the start of the real xvfb-run on a
    // pipe nobody opens, so the signal surely comes before the program.
    void signalBeforeStartSaysNothing()
    {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const QString gate = home.filePath("gate");
        QCOMPARE(::mkfifo(QFile::encodeName(gate).constData(), 0600), 0);
        QVERIFY(QDir(home.path()).mkdir("bin"));
        const QString standIn = home.filePath("bin/xvfb-run");
        QVERIFY(TestEnv::writeFile(standIn, "#!/bin/sh\nread go <\"" + QFile::encodeName(gate) + "\"\nexec \""
                                                + QFile::encodeName(QStandardPaths::findExecutable("xvfb-run"))
                                                + "\" \"$@\"\n"));
        QVERIFY(QFile::setPermissions(standIn, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QStringList env = runEnvironment(home);
        for (QString& v : env)
            if (v.startsWith("PATH="))
                v.insert(5, home.filePath("bin") + ':');

        Sweep sweep{home.path()};
        Terminal t;
        QVERIFY(t.start({"/bin/bash", "--norc", "--noprofile", "-i"}, env));
        t.type(typedRun());
        // Waiting at the gate, in the session of its own that setsid made.
        QTRY_VERIFY2_WITH_TIMEOUT(runsCommand(runProcesses(home.path()), QFile::encodeName(standIn)),
                                  t.shown().constData(), 60000);
        t.type("\x03");
        QTRY_VERIFY2_WITH_TIMEOUT(runProcesses(home.path()) == QList<qint64>{t.leader},
                                  (describe(runProcesses(home.path())) + t.shown()).constData(), 60000);
        t.type("echo \"ended\"\n");
        QTRY_VERIFY2_WITH_TIMEOUT(t.shown().contains("\nended"), t.shown().constData(), 60000);
        const QByteArray shown = t.shown();
        QVERIFY2(shown.contains("No display found"), shown.constData());
        QVERIFY2(!shown.contains("No such file") && !shown.contains("run.sh:"), shown.constData());
        QVERIFY(!QFileInfo::exists(home.filePath("data/brenmar")));
    }
};

QTEST_GUILESS_MAIN(TestRunScript)
#include "test_runscript.moc"
