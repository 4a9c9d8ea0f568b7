// `cmake --install` into a temporary prefix: the program's folder under
// lib/corvena with a link in bin, the udev rule, the desktop entry and the
// icon; the installed program, started through the link, takes its plug-ins
// and language files from its own folder.
#include <QtTest>

#include <csignal>

#include "device/DevInit.h"

namespace {

QString env(const char* name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

QStringList fileNames(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files, QDir::Name);
}

QString readText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT
    QTemporaryDir prefix;
    QString lib;   // <prefix>/lib/corvena

private slots:
    void initTestCase()
    {
        QVERIFY(prefix.isValid());
        lib = prefix.filePath("lib/corvena");
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(env("CORVENA_CMAKE"), {"--install", env("CORVENA_BUILD"), "--prefix", prefix.path()});
        QVERIFY(install.waitForFinished(120000));
        QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0,
                 install.readAll().constData());
    }

    void programFolderAsBuilt()
    {
        const QString bin = env("CORVENA_BIN");
        QVERIFY(QFileInfo(lib + "/Corvena").isExecutable());
        QVERIFY(QFileInfo::exists(lib + "/libAnalyzer.so"));
        QCOMPARE(fileNames(lib + "/Analyzer"), fileNames(bin + "/Analyzer"));
        QVERIFY(!fileNames(lib + "/Analyzer").isEmpty());
        QCOMPARE(fileNames(lib + "/Language"), fileNames(bin + "/Language"));
        QVERIFY(fileNames(lib + "/Language").contains("zh-CN.xml"));

        const QFileInfo link(prefix.filePath("bin/Corvena"));
        QVERIFY(link.isSymLink());
        QCOMPARE(link.symLinkTarget(), QFileInfo(lib + "/Corvena").absoluteFilePath());
        QCOMPARE(QFile(link.filePath()).symLinkTarget(), link.symLinkTarget());
    }

    // The rule lists exactly the product ids that detection accepts.
    void udevRule()
    {
        const QString rule = readText(prefix.filePath("lib/udev/rules.d/60-corvena.rules"));
        QVERIFY(rule.contains("ATTR{idVendor}==\"6b87\""));
        const QRegularExpression products("ATTR\\{idProduct\\}==\"([0-9a-f|]+)\"");
        const auto m = products.match(rule);
        QVERIFY(m.hasMatch());
        QSet<int> ids;
        for (const QString& id : m.captured(1).split('|'))
            ids.insert(id.toInt(nullptr, 16));
        for (int id = 0; id <= 0xFFFF; ++id)
            QVERIFY2(DevInit::productAccepted(quint16(id)) == ids.contains(id), qPrintable(QString::number(id, 16)));
        QVERIFY(rule.contains("TAG+=\"uaccess\""));
    }

    void desktopEntryAndIcon()
    {
        const QString entry = readText(prefix.filePath("share/applications/corvena.desktop"));
        QVERIFY(entry.startsWith("[Desktop Entry]\n"));
        QVERIFY(entry.contains("\nExec=Corvena %f\n"));
        QVERIFY(entry.contains("\nIcon=corvena\n"));
        QVERIFY(readText(prefix.filePath("share/icons/hicolor/scalable/apps/corvena.svg")).startsWith("<svg"));
    }

    // Started through the link, headless, on an empty emulated USB bus (the
    // device search must not reach real hardware): the program comes up with
    // the plug-ins and the analyzer library of its installed folder.
    void installedProgramStarts()
    {
        QTemporaryDir home, bus;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("QT_QPA_PLATFORM", "offscreen");
        e.insert("HOME", home.path());
        e.insert("XDG_DATA_HOME", home.filePath("data"));
        e.insert("XDG_CONFIG_HOME", home.filePath("config"));
        e.insert("LD_PRELOAD", env("CORVENA_UMOCKDEV_PRELOAD"));
        e.insert("UMOCKDEV_DIR", bus.path());
        // The preload comes before the sanitizer runtime, whose leak report
        // would count the preload's own allocations.
        e.insert("ASAN_OPTIONS", "halt_on_error=1:detect_leaks=0:verify_asan_link_order=0");
        QProcess p;
        p.setProcessEnvironment(e);
        p.setProcessChannelMode(QProcess::ForwardedChannels);
        p.start(prefix.filePath("bin/Corvena"), QStringList());
        QVERIFY(p.waitForStarted());
        const QString proc = "/proc/" + QString::number(p.processId());
        auto mapped = [&](const QString& file) { return readText(proc + "/maps").contains(file); };

        // The plug-ins are loaded one after another while the main window is
        // built: wait for the last of them, not the first.
        const QStringList plugins = fileNames(lib + "/Analyzer");
        auto allMapped = [&] {
            for (const QString& plugin : plugins)
                if (!mapped(lib + "/Analyzer/" + plugin))
                    return false;
            return true;
        };
        QTRY_VERIFY_WITH_TIMEOUT(allMapped() || p.state() != QProcess::Running, 60000);
        QCOMPARE(p.state(), QProcess::Running);
        QCOMPARE(QFileInfo(proc + "/exe").symLinkTarget(), QFileInfo(lib + "/Corvena").absoluteFilePath());
        QVERIFY(mapped(lib + "/libAnalyzer.so"));
        QVERIFY(!mapped(env("CORVENA_BIN") + "/"));

        // Still running once the window is up and the start-up timer has run.
        QVERIFY(!p.waitForFinished(1500));
        QCOMPARE(p.state(), QProcess::Running);
        // SIGTERM closes it as its window's close does: it ends by itself
        // and writes its configuration.
        p.terminate();
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(QFileInfo(home.filePath("data/brenmar/cv.config")).size() > 0);
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
