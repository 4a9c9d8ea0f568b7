// The USB transport over real libusb against the emulated analyzer.
#include <QtTest>
#include <QThread>
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
        auto emu = plugRunning();
        openAndCheck();
        QVERIFY(sup->devReady);
        QCOMPARE(sup->vendorId, quint16(0x6B87));
        QCOMPARE(sup->productId, quint16(0x8102));
        QCOMPARE(sup->bulkSize.load(), 1048576);
        QCOMPARE(sup->openedBus(), 1);
        QCOMPARE(sup->openedAddress(), emu->address());
        unsigned char st[2] = {0xAA, 0xAA};
        QCOMPARE(sup->ctrlRead(0x20, 0, st, 2), 0);
        QCOMPARE(st[0] | st[1] << 8, 0); // FPGA not started yet
        QCOMPARE(sup->devRetrieve(), 0); // nothing changed
    }
};

QTEST_GUILESS_MAIN(TestUsbTransport)
#include "test_usb_transport.moc"
