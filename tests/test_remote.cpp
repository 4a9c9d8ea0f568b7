// The remote-control server end to end: the wired window offscreen listens
// on a free port, and a Python client (tests/remote/client.py) drives it as a
// script would: starts and stops captures, sets triggers, saves and exports.
#include <QtTest>

#include <QComboBox>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

#include "app/SocketAPI.h"
#include "app/mainwindow.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "data/SmpData.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "support/TestEnv.h"
#include "toolbar/SmpSetting.h"
#include "toolbar/VthSetting.h"
#include "view/ItemChnSidebar.h"
#include "view/MainView.h"
#include "widgets/MyButton.h"

namespace {

struct ClientRun {
    int status = -1;
    QString out;
    QString err;
};

} // namespace

class TestRemote : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;
    quint16 port = 0;
    std::unique_ptr<MainWindow> w;
    QStringList boxes;

    // Runs a scenario of the client while the window keeps working.
    ClientRun client(const QStringList& args, int timeout = 120000)
    {
        // The system's interpreter when there is one: version-manager shims
        // start far more slowly.
        const QString python = QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
        QProcess p;
        p.start(python, QStringList{TestEnv::dataPath("../remote/client.py"), QString::number(port)} + args);
        ClientRun run;
        if (!p.waitForStarted(10000))
            return run;
        QElapsedTimer t;
        t.start();
        while (p.state() != QProcess::NotRunning && t.elapsed() < timeout)
            QTest::qWait(10);
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished();
        }
        run.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        run.out = QString::fromUtf8(p.readAllStandardOutput());
        run.err = QString::fromUtf8(p.readAllStandardError());
        return run;
    }

#define RUN_CLIENT(run, ...)                                                                                         \
    const ClientRun run = client(__VA_ARGS__);                                                                       \
    QVERIFY2(run.status == 0, qPrintable(run.err))

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        QVERIFY(tmp.isValid());
        Config::init();
        Config::saveGlobalParam("userLang", "en-US");
        Lang::init();
        Config::createFont();
        devUsing = DevBase::createDevice(DevModelDemo);
        MainWindow::criticalBox = [this](QWidget*, const QString&, const QString& text) { boxes << text; };
        // A port nobody uses just now.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
        probe.close();
        Config::saveGlobalParam("enaSocket", "1");
        Config::saveGlobalParam("listenPort", QString::number(port));
        w.reset(new MainWindow);
        QVERIFY(w->socketApi->isListening());
        QCOMPARE(w->socketApi->port(), port);
    }

    void cleanupTestCase()
    {
        w.reset();
        MainWindow::criticalBox = nullptr;
        delete devUsing;
        devUsing = nullptr;
    }

    void init()
    {
        boxes.clear();
        QVERIFY(!devUsing->smpRunning);
        QVERIFY(!w->socketApi->startPending());
        w->socketApi->lastError = SocketAPI::ErrNone;
    }

    void serverOffByDefault()
    {
        Config::saveGlobalParam("enaSocket", "");
        MainWindow other;
        Config::saveGlobalParam("enaSocket", "1");
        QVERIFY(!other.socketApi->isListening());
    }

    void startWithoutDevice()
    {
        RUN_CLIENT(run, {"no-device"});
    }

    // Each start answers once its capture ends, and the next may follow at
    // once.
    void startSimulate()
    {
        RUN_CLIENT(run, {"simulate"});
        QVERIFY(!devUsing->smpRunning);
        QVERIFY(!w->socketApi->startPending());
        QVERIFY(boxes.isEmpty());
    }

    void startThenStop()
    {
        RUN_CLIENT(run, {"start-stop"});
        QVERIFY(!devUsing->smpRunning);
    }

    void tooLong()
    {
        RUN_CLIENT(run, {"too-long"});
    }

    void newClientSeesOnlyItsOwnReplies()
    {
        RUN_CLIENT(run, {"new-client"});
    }

    // The window's own Stop ends a capture started remotely: the client is
    // answered all the same. (Here the answer goes to no client; what
    // counts is that the start no longer waits.)
    void windowStopAnswersTheStart()
    {
        SocketAPI* api = w->socketApi;
        QCOMPARE(api->execute("set-sample-rate 1000000"), QString("ACK"));
        QCOMPARE(api->execute("set-sample-time 5"), QString("ACK"));
        QVERIFY(api->execute("start --simulate").isNull());
        QVERIFY(api->startPending());
        QTRY_VERIFY(devUsing->smpRunning);
        devUsing->smpStop();
        QTRY_VERIFY_WITH_TIMEOUT(!api->startPending(), 10000);
        // A start of the window then takes over a pending remote one.
        QVERIFY(api->execute("start --simulate").isNull());
        devUsing->smpStart(SmpStartSingle, false);
        QVERIFY(!devUsing->smpBySocket);
        QTRY_VERIFY_WITH_TIMEOUT(!api->startPending(), 10000);
        devUsing->smpStopAndWait();
        QCoreApplication::processEvents();
    }

    // Replacing the device object answers a pending start with NAK; the old
    // capture's late end changes nothing.
    void deviceReplacedAnswersNak()
    {
        SocketAPI* api = w->socketApi;
        QCOMPARE(api->execute("set-sample-rate 1000000"), QString("ACK"));
        QCOMPARE(api->execute("set-sample-time 5"), QString("ACK"));
        QVERIFY(api->execute("start --simulate").isNull());
        QTRY_VERIFY(devUsing->smpRunning);
        w->slotDevPreConnect(DevModelSpruce);
        QVERIFY(!api->startPending());
        QCoreApplication::processEvents();
        w->slotDevPreConnect(DevModelDemo);
    }

    // "set-trigger" reaches the channel label's trigger buttons.
    void triggerLightsTheLabel()
    {
        for (int c = 0; c < devUsing->chnNum(); ++c)
            devUsing->setDChnTrg(c, TrgNone);
        w->mainView->updateTrgStatus();
        RUN_CLIENT(run, {"trigger"});
        QCOMPARE(int(devUsing->chnTrg[3]), int(TrgRising));
        QTRY_VERIFY(!w->mainView->chnSidebars.isEmpty());
        for (MyButton* b : w->mainView->chnSidebars[3]->trgButtons)
            QCOMPARE(b->isChecked(), b->index == TrgRising);
    }

    // While a file command runs (here its file dialog is up), the client's
    // command waits unread; it is answered once the command has ended.
    void waitsForFileCommand()
    {
        QTcpSocket c;
        c.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(c.waitForConnected(5000));
        QTRY_VERIFY(w->socketApi->isListening());
        QByteArray during;
        Config::fileDialog = [&](const Config::FileDialogRequest&) {
            c.write("get-sample-rate");
            QTest::qWait(300);
            during = c.readAll();
            return QString();   // cancelled
        };
        w->mainMenu->slotActSaveSettingsClicked();
        Config::fileDialog = nullptr;
        QCOMPARE(during, QByteArray());
        QTRY_VERIFY(c.bytesAvailable() > 0);
        QCOMPARE(c.readAll(), "ACK " + QByteArray::number(devUsing->getSmpFrequ()));
    }

    // Rate, depth and thresholds set remotely show in the tool bar.
    void toolBarFollows()
    {
        SocketAPI* api = w->socketApi;
        QCOMPARE(api->execute("set-sample-rate 1000000"), QString("ACK"));
        QCOMPARE(w->smpSetting->findChild<QComboBox*>("cbxSmpFrequ")->currentText(), QString("1 MHz"));
        QCOMPARE(api->execute("set-sample-depth 2000000"), QString("ACK"));
        QCOMPARE(w->smpSetting->findChild<QComboBox*>("cbxSmpDepth")->currentText(), QString("2 MSa"));
        QCOMPARE(api->execute("set-sample-time 0.2"), QString("ACK"));
        QCOMPARE(w->smpSetting->findChild<QComboBox*>("cbxSmpDepth")->currentText(), QString("200 KSa"));
        QCOMPARE(api->execute("set-threshold-voltage 1.5"), QString("ACK"));
        QCOMPARE(w->vthSetting->presetButton()->text(), QString("Custom I/O"));
        QCOMPARE(w->vthSetting->vthEdit()->text(), QString("1.50"));
    }

    // Saved and exported remotely; Python checks the CSV against the binary
    // export and both against the capture file, which opens again here.
    void saveAndLoadBack()
    {
        RUN_CLIENT(run, {"save", tmp.path()});
        const QJsonObject o = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QCOMPARE(o["csvVsBin"].toString(), QString("ok"));
        QCOMPARE(o["csv"].toString(), QString("ok"));
        QCOMPARE(o["bin"].toString(), QString("ok"));
        const SmpData* shown = devUsing->shownData();
        const long long trg = shown->trgPosition;
        const long long count = qMin(trg + 10000, shown->smpDepth - 1) - trg + 1;
        QCOMPARE((long long)o["count"].toDouble(), count);
        QCOMPARE((long long)o["trigger"].toDouble(), 0LL);

        const QString path = o["cvdat"].toString();
        QVERIFY(path.contains("a b"));
        w->mainMenu->loadFile(path);
        QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join('\n')));
        const SmpData* back = devUsing->shownData();
        QCOMPARE(back->smpDepth, count);
        QCOMPARE(back->trgPosition, 0LL);
        QVERIFY(back->hasValidData(0) && back->hasValidData(1) && !back->hasValidData(2));
        QCOMPARE(w->windowTitle(), path + " - Corvena");
        Config::dataFile.clear();
    }

    // A remote save of 2 x 10^7 edges works on the GUI thread; its time is
    // reported, not asserted.
    void bigSave()
    {
        // Nothing reads the shown store while it is filled here.
        if (DevBase::shownStoreGate)
            DevBase::shownStoreGate();
        SmpData* s = devUsing->shownData();
        const int chn = 16;
        const long long perChannel = 20000000 / chn;
        QVERIFY(s->dataConvertStart(0, 100000000, QVector<bool>(chn, true)));
        long long depth = 0;
        for (int c = 0; c < chn; ++c) {
            s->setInitLevel(c, c & 1);
            long long p = 0;
            for (long long k = 0; k < perChannel; ++k) {
                p += 1 + ((k * 2654435761LL + c) % 97);
                if (!s->appendEdge(c, p))
                    QFAIL("out of memory");
            }
            depth = qMax(depth, p + 1);
        }
        s->smpDepth = depth;
        s->trgPosition = depth / 10;
        QVERIFY(s->dataConvertComplete(depth));
        const QString path = tmp.filePath("big.cvdat");
        RUN_CLIENT(run, {"big-save", path});
        const double seconds = QJsonDocument::fromJson(run.out.toUtf8()).object()["seconds"].toDouble();
        qInfo("remote save-data of 2x10^7 edges: %.3f s (%.1f MB)", seconds,
              QFileInfo(path).size() / 1e6);
        QVERIFY(QFileInfo(path).size() > 20000000LL * 5);
        QFile::remove(path);
    }
};

QTEST_MAIN(TestRemote)
#include "test_remote.moc"
