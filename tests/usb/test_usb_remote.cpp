// Remote "start" against the emulated analyzer, through the wired window and
// a TCP client: a connected device refuses the demonstration, a capture is
// answered when it ends, and a failed read-out answers NAK without a box.
#include <QtTest>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>

#include "EmuAnalyzer.h"
#include "app/SocketAPI.h"
#include "app/mainwindow.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "data/SmpData.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "device/DevSupport.h"
#include "support/TestEnv.h"

class TestUsbRemote : public QObject, public EmuRig
{
    Q_OBJECT

    std::unique_ptr<MainWindow> w;
    std::unique_ptr<QTcpSocket> client;
    QStringList boxes;
    static constexpr int memBytes = 1 << 20;
    // 2000 records of 16 channels: every channel toggles in turn.
    static constexpr int records = 2000;

    QString ask(const QByteArray& command, int timeout = 15000)
    {
        client->write(command);
        QElapsedTimer t;
        t.start();
        while (client->bytesAvailable() == 0 && t.elapsed() < timeout)
            QTest::qWait(5);
        return QString::fromUtf8(client->readAll());
    }

private slots:
    void initTestCase()
    {
        TestEnv::startProgram();
        MainWindow::criticalBox = [this](QWidget*, const QString&, const QString& text) { boxes << text; };
    }

    void cleanupTestCase()
    {
        MainWindow::criticalBox = nullptr;
    }

    // A connected Spruce (16 channels) with a buffered capture in its
    // memory, and the window listening on a free port.
    void init()
    {
        boxes.clear();
        QVERIFY2(startRig(), "must run under umockdev-wrapper, with libusb");
        EmuAnalyzer::Options o;
        o.memorySize = memBytes;
        QVERIFY(plugRunning(o));
        devUsing = DevBase::createDevice(DevModelSpruce);
        devUsing->setSmpMode(SmpModeBuffer);
        QCOMPARE(devUsing->devConnect(nullptr), 0);
        devUsing->memSize = memBytes;
        sup->bulkSize.store(2048);

        QVector<QPair<quint32, quint8>> r;
        for (int i = 0; i < records; ++i)
            r << qMakePair(quint32(1u << (i % 16)), quint8(1 + i % 7));
        const QByteArray frames = EmuAnalyzer::runLengthFrames(16, r);
        emu->setMemory(memBytes - frames.size(), frames);
        emu->setCaptureResult(records, 10, 0);
        emu->setStatusAfterStart(0x85C5);   // done

        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        Config::saveGlobalParam("enaSocket", "1");
        Config::saveGlobalParam("listenPort", QString::number(port));
        w = std::make_unique<MainWindow>();
        QVERIFY(w->socketApi->isListening());
        client = std::make_unique<QTcpSocket>();
        client->connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(client->waitForConnected(5000));
    }

    void cleanup()
    {
        client.reset();
        if (devUsing)
            devUsing->smpStopAndWait();
        w.reset();
        delete devUsing;
        devUsing = nullptr;
        stopRig();
    }

    void simulateWhileConnected()
    {
        QCOMPARE(ask("start --simulate"), QString("NAK"));
        QCOMPARE(ask("get-last-error"), QString("ACK device connected, cannot start simulate"));
        QVERIFY(!devUsing->smpRunning);
    }

    void captureAnswered()
    {
        QCOMPARE(ask("start"), QString("ACK"));
        QVERIFY(!devUsing->smpRunning);
        QVERIFY(devUsing->shownData()->smpDepth > 0);
        QVERIFY(boxes.isEmpty());
    }

    // A short read ends the capture with an error: the client hears NAK,
    // the window shows no box.
    void shortReadAnswersNak()
    {
        emu->injectBulkFault(EmuAnalyzer::ShortRead, 2);
        QCOMPARE(ask("start"), QString("NAK"));
        QCOMPARE(devUsing->smpErr.load(), 14);
        QTest::qWait(50);
        QVERIFY(boxes.isEmpty());
        QCOMPARE(client->bytesAvailable(), 0);
    }
};

QTEST_MAIN(TestUsbRemote)
#include "test_usb_remote.moc"
