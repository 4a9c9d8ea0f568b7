// The USB transport over real libusb against the emulated analyzer.
#include <QtTest>
#include <QThread>
#include <QtEndian>
#include <atomic>
#include <memory>
#include <vector>

#include "EmuAnalyzer.h"
#include "device/DevSupport.h"
#include "device/UsbMonitor.h"

namespace {

// Collects the buffers of an asynchronous read.
class Collector : public InterfaceDevCallback
{
public:
    void devCbPostSmpStart() override { ++starts; }
    void devCbAutoBulkRead(unsigned char* buffer, int length) override
    {
        data.append(reinterpret_cast<const char*>(buffer), length);
        lengths.append(length);
        free(buffer);
    }
    int starts = 0;
    QByteArray data;
    QVector<int> lengths;
};

QByteArray pattern(int n, int seed = 0)
{
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = char((i * 7 + seed) & 0xFF);
    return b;
}

std::atomic<int> notifications{0};
int countNotification()
{
    notifications.fetch_add(1);
    return 0;
}

} // namespace

class TestUsbTransport : public QObject
{
    Q_OBJECT

    std::unique_ptr<EmuBus> bus;
    std::unique_ptr<DevSupport> sup;

    // Runs the read on a worker thread so this thread keeps its event loop
    // (the emulator changes the test bed here) and a hang fails the test.
    int readAsync(qint64 total, Collector* c)
    {
        sup->receiver = c;
        std::atomic<int> result{-100};
        QThread* t = QThread::create([&] { result.store(sup->autoBulkRead(total)); });
        t->start();
        bool finished = false;
        for (int i = 0; i < 1500 && !finished; ++i) {
            finished = t->wait(10);
            QCoreApplication::processEvents();
        }
        if (!finished) {
            sup->CloseDevice(); // lets the read end so the thread can be joined
            t->wait();
        }
        delete t;
        return finished ? result.load() : -1;
    }

    // Emulators live until after the transport is gone.
    std::vector<std::unique_ptr<EmuAnalyzer>> emus;

    EmuAnalyzer* plug(EmuAnalyzer::Options o)
    {
        emus.push_back(std::make_unique<EmuAnalyzer>(bus.get(), o));
        emus.back()->plug();
        return emus.back().get();
    }
    EmuAnalyzer* plugRunning(EmuAnalyzer::Options o = {})
    {
        o.firmwareRunning = true;
        return plug(o);
    }

    // The device list follows the test bed through libusb's hot-plug thread.
    void openAndCheck()
    {
        bool opened = false;
        QTRY_VERIFY(opened || (opened = sup->devRetrieve() == 1));
        QVERIFY(sup->isOpen());
    }

private slots:
    void init()
    {
        bus = std::make_unique<EmuBus>();
        QVERIFY2(bus->inMockEnvironment(), "must run under umockdev-wrapper");
        sup = std::make_unique<DevSupport>();
        QVERIFY(sup->initOk());
    }
    void cleanup()
    {
        sup.reset();
        emus.clear();
        bus.reset();
    }

    void openRunningDevice()
    {
        auto* emu = plugRunning();
        openAndCheck();
        QVERIFY(sup->devReady);
        QCOMPARE(sup->vendorId, quint16(0x6B87));
        QCOMPARE(sup->productId, quint16(0x8102));
        QCOMPARE(sup->usbVersion, quint16(0x0200));
        QCOMPARE(sup->bulkSize.load(), 1048576);
        QCOMPARE(sup->openedBus(), 1);
        QCOMPARE(sup->openedAddress(), emu->address());
        unsigned char st[2] = {0xAA, 0xAA};
        QCOMPARE(sup->ctrlRead(0x20, 0, st, 2), 0);
        QCOMPARE(st[0] | st[1] << 8, 0); // FPGA not started yet
        QCOMPARE(sup->devRetrieve(), 0); // nothing changed
    }

    void fullSpeedLink()
    {
        EmuAnalyzer::Options o;
        o.fullSpeed = true;
        plugRunning(o);
        openAndCheck();
        QVERIFY(sup->devReady);
        QCOMPARE(sup->usbVersion, quint16(0x0110));
        QCOMPARE(sup->bulkSize.load(), 102400);
        sup->setAutoReadBufSize(0);
        QCOMPARE(sup->bulkSize.load(), 102400);
    }

    void deviceWithoutFirmwareIsNotReady()
    {
        plug(EmuAnalyzer::Options());
        openAndCheck();
        QVERIFY(!sup->devReady);
        unsigned char one = 0;
        QCOMPARE(sup->ctrlRead(0xA0, 0, &one, 1), 0);
        QCOMPARE(int(one), 1);
    }

    void closedDeviceFailsCleanly()
    {
        unsigned char b[2];
        int t = -1;
        QCOMPARE(sup->ctrlRead(0x20, 0, b, 2, &t), 1);
        QCOMPARE(t, 0);
        QCOMPARE(sup->ctrlWriteRAM(0xE600, b, 1), 1);
        QCOMPARE(sup->manuBulkWrite(b, 2, &t), 1);
        Collector c;
        sup->receiver = &c;
        QCOMPARE(sup->autoBulkRead(100), 1);
        QCOMPARE(sup->devRetrieve(), 0);
    }

    // A stalled or short control read is a failure: fixed-size reads need
    // every byte.
    void controlFailures()
    {
        auto* emu = plugRunning();
        openAndCheck();
        unsigned char st[2];
        int t = 0;
        emu->failControl(0x20, true);
        QCOMPARE(sup->ctrlRead(0x20, 0, st, 2, &t), 2);
        QCOMPARE(t, 1);
        emu->failControl(0x20);
        QCOMPARE(sup->ctrlRead(0x20, 0, st, 2, &t), 2);
        QVERIFY(t < 0);
        QCOMPARE(sup->ctrlRead(0x20, 0, st, 2, &t), 0); // one-shot
        QCOMPARE(t, 2);
    }

    void registerWritesAreLogged()
    {
        auto* emu = plugRunning();
        openAndCheck();
        unsigned char mode = 0x03;
        QCOMPARE(sup->ctrlWrite(0x20, 3, &mode, 1), 0);
        unsigned char win[8] = {0x10, 0, 0, 0, 0x20, 0, 0, 0};
        QCOMPARE(sup->ctrlWrite(0x20, 8, win, 8), 0);
        const auto log = emu->regWrites();
        QCOMPARE(log.size(), 2);
        QCOMPARE(log[0].reg, 3);
        QCOMPARE(log[0].data, QByteArray("\x03", 1));
        QCOMPARE(log[1].reg, 8);
        QCOMPARE(log[1].data, QByteArray(reinterpret_cast<char*>(win), 8));
    }

    void bulkSizeForRate_data()
    {
        QTest::addColumn<qint64>("bits");
        QTest::addColumn<int>("size");
        QTest::newRow("buffer mode") << qint64(0) << 1048576;
        QTest::newRow("100 MHz x 3 channels") << qint64(300000000) << 2097152;
        QTest::newRow("20 kHz x 1 channel") << qint64(20000) << 2048;
        QTest::newRow("40 Mbit/s: 1 MiB lasts 0.2 s") << qint64(41943040) << 1048576;
        QTest::newRow("1 bit/s") << qint64(1) << 2048;
        QTest::newRow("absurd rate stays bounded") << qint64(1) * 1000000000000000 << 64 * 1048576;
    }
    void bulkSizeForRate()
    {
        QFETCH(qint64, bits);
        QFETCH(int, size);
        sup->setAutoReadBufSize(bits);
        QCOMPARE(sup->bulkSize.load(), size);
    }

    // Buffered read-out of a memory window: bounded read in several transfers.
    void boundedRead_data()
    {
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("transfers");
        QTest::newRow("one transfer") << 2000 << 1;
        QTest::newRow("exactly one buffer") << 2048 << 1;
        QTest::newRow("two buffers") << 4096 << 2;
        QTest::newRow("several, last short") << 7000 << 4;
    }
    void boundedRead()
    {
        QFETCH(int, total);
        QFETCH(int, transfers);
        auto* emu = plugRunning();
        openAndCheck();
        sup->setAutoReadBufSize(8000); // 2048-byte transfers
        const QByteArray mem = pattern(total, 3);
        emu->setMemory(0x100, mem);
        unsigned char win[8];
        qToLittleEndian<quint32>(0x100, win);
        qToLittleEndian<quint32>(quint32(total), win + 4);
        QCOMPARE(sup->ctrlWrite(0x38, 0, nullptr, 0), 0);
        QCOMPARE(sup->ctrlWrite(0x20, 8, win, 8), 0);
        QCOMPARE(sup->ctrlWrite(0x30, 0, nullptr, 0), 0);
        Collector c;
        QCOMPARE(readAsync(total, &c), 0);
        QCOMPARE(c.starts, 1);
        QCOMPARE(c.data, mem);
        QCOMPARE(c.lengths.size(), transfers);
        QCOMPARE(emu->bulkInSubmitted(), transfers);
    }

    // The stream: read until the device sends a short transfer, which is
    // still handed over.
    void streamEndsOnShortTransfer()
    {
        auto* emu = plugRunning();
        openAndCheck();
        sup->setAutoReadBufSize(8000);
        unsigned char mode = 1;
        QCOMPARE(sup->ctrlWrite(0x20, 3, &mode, 1), 0);
        const QByteArray stream = pattern(3 * 2048 + 500, 9);
        emu->setStream(stream, true);
        Collector c;
        QCOMPARE(readAsync(0, &c), 0);
        QCOMPARE(c.data, stream);
        QCOMPARE(c.lengths, QVector<int>({2048, 2048, 2048, 500}));
    }

    // Every injected fault ends the read: never a hang, and a short transfer
    // ends a bounded read early (the caller then reports too few bytes).
    void bulkFaults_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("nth");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("received");
        const qint64 total = 4 * 2048;
        QTest::newRow("short read, bounded") << int(EmuAnalyzer::ShortRead) << 2 << total << 0 << 2048 + 1024;
        QTest::newRow("short read, stream") << int(EmuAnalyzer::ShortRead) << 1 << qint64(0) << 0 << 1024;
        QTest::newRow("zero-length") << int(EmuAnalyzer::ZeroLength) << 2 << total << 3 << 2048;
        QTest::newRow("zero-length, stream") << int(EmuAnalyzer::ZeroLength) << 1 << qint64(0) << 3 << 0;
        QTest::newRow("stall") << int(EmuAnalyzer::Stall) << 3 << total << 3 << 4096;
        QTest::newRow("timeout") << int(EmuAnalyzer::Timeout) << 2 << total << 3 << 2048;
        QTest::newRow("unplug") << int(EmuAnalyzer::Unplug) << 2 << total << 3 << 2048;
        QTest::newRow("unplug, stream") << int(EmuAnalyzer::Unplug) << 1 << qint64(0) << 3 << 0;
    }
    void bulkFaults()
    {
        QFETCH(int, fault);
        QFETCH(int, nth);
        QFETCH(qint64, total);
        QFETCH(int, result);
        QFETCH(int, received);
        auto* emu = plugRunning();
        openAndCheck();
        sup->setAutoReadBufSize(8000);
        if (total == 0) {
            unsigned char mode = 1;
            QCOMPARE(sup->ctrlWrite(0x20, 3, &mode, 1), 0);
        }
        emu->injectBulkFault(EmuAnalyzer::Fault(fault), nth);
        emu->setStream(pattern(8 * 2048), false);
        Collector c;
        QCOMPARE(readAsync(total, &c), result);
        QCOMPARE(c.data.size(), received);
        if (fault == EmuAnalyzer::Unplug) {
            int r = 0;
            QTRY_VERIFY(r == -1 || (r = sup->devRetrieve()) == -1);
            QVERIFY(!sup->isOpen());
        } else {
            // The device stays usable after the failed read.
            unsigned char st[2];
            QCOMPARE(sup->ctrlRead(0x20, 0, st, 2), 0);
        }
    }

    // Closing the device while a read waits: the read cancels its transfers
    // and ends before the handle goes.
    void closeDuringRead()
    {
        auto* emu = plugRunning();
        openAndCheck();
        unsigned char mode = 1;
        QCOMPARE(sup->ctrlWrite(0x20, 3, &mode, 1), 0);
        emu->setStream(QByteArray(), false); // nothing comes
        Collector c;
        sup->receiver = &c;
        std::atomic<int> result{-100};
        QThread* t = QThread::create([&] { result.store(sup->autoBulkRead(0)); });
        t->start();
        QTRY_COMPARE(emu->bulkInSubmitted(), 2);
        sup->CloseDevice();
        QVERIFY(!sup->isOpen());
        QVERIFY(t->wait(10000));
        delete t;
        QCOMPARE(result.load(), 3);
    }

    // The open device is told apart from a newcomer at the same bus address.
    void identifiedByDeviceNotAddress()
    {
        auto* first = plugRunning();
        openAndCheck();
        const int addr = first->address();
        first->unplug();
        EmuAnalyzer::Options o;
        o.port = 2;
        o.address = addr; // the new device gets the freed address
        plugRunning(o);
        int r = 0;
        QTRY_VERIFY(r == -1 || (r = sup->devRetrieve()) == -1);
        QVERIFY(!sup->isOpen());
        QCOMPARE(sup->devRetrieve(), 1); // and now the newcomer opens
        QCOMPARE(sup->openedAddress(), addr);
    }

    // Hot-plug: every change of the device list reaches the registered
    // callback on this thread.
    void hotPlugNotifies()
    {
        notifications.store(0);
        QVERIFY(sup->registerNotification(countNotification));
        auto* emu = plug(EmuAnalyzer::Options());
        QTRY_COMPARE(notifications.load(), 1);
        emu->unplug();
        QTRY_COMPARE(notifications.load(), 2);
        EmuAnalyzer::Options o;
        o.port = 3;
        o.address = 7;
        plug(o);
        QTRY_COMPARE(notifications.load(), 3);
    }
};

QTEST_GUILESS_MAIN(TestUsbTransport)
#include "test_usb_transport.moc"
