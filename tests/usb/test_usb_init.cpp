// Device detection against the emulated analyzer: firmware load, return of
// the device, EEPROM, bitstream, FPGA start and connect, with every status
// code the start-up reports.
#include <QtTest>
#include <memory>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "EmuAnalyzer.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "device/DevInit.h"
#include "device/DevNone.h"
#include "device/DevSupport.h"
#include "device/FirmwareLoader.h"

namespace {

int onDevListChanged()
{
    if (devInit)
        devInit->init();
    return 0;
}

struct Sta {
    int sta, err, n;
};

// Lets a thread without root's file-system rights reach the test bed's ioctl
// sockets, but not open the device nodes themselves (umockdev connects to a
// node's socket even when the open of the node failed, and gives up the
// process when it cannot).
void openTestbedSocketsOnly(const QString& root)
{
    chmod(QFile::encodeName(root).constData(), 0711);
    chmod(QFile::encodeName(root + "/ioctl").constData(), 0711);
    QDirIterator it(root + "/ioctl", QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        chmod(QFile::encodeName(path).constData(), it.fileInfo().isDir() ? 0711 : 0666);
    }
}

QByteArray modelCode(int model)
{
    QByteArray b(8, '\0');
    b[0] = char(model);
    b[1] = char(~model);
    return b;
}

} // namespace

class TestUsbInit : public QObject
{
    Q_OBJECT

    std::unique_ptr<EmuBus> bus;
    std::vector<std::unique_ptr<EmuAnalyzer>> emus;
    QList<Sta> stas;
    QList<int> preConnect;
    QList<bool> preConnectOnMain;

    EmuAnalyzer* plug(EmuAnalyzer::Options o, int model = 102)
    {
        emus.push_back(std::make_unique<EmuAnalyzer>(bus.get(), o));
        EmuAnalyzer* emu = emus.back().get();
        emu->setEeprom(0x08, modelCode(model));
        emu->setEeprom(0x20, QByteArray::fromHex("1234EDCB"));
        emu->plug();
        return emu;
    }
    bool has(int sta, int err)
    {
        for (const Sta& s : stas)
            if (s.sta == sta && s.err == err)
                return true;
        return false;
    }
    // The codes in order, without repeats of progress steps.
    QList<QPair<int, int>> codes() const
    {
        QList<QPair<int, int>> c;
        for (const Sta& s : stas)
            if (c.isEmpty() || c.last() != qMakePair(s.sta, s.err))
                c.append({s.sta, s.err});
        return c;
    }

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(resCV);
    }
    void init()
    {
        bus = std::make_unique<EmuBus>();
        QVERIFY2(bus->inMockEnvironment(), "must run under umockdev-wrapper");
        stas.clear();
        preConnect.clear();
        preConnectOnMain.clear();
        devSupport = new DevSupport;
        devUsing = DevBase::createDevice(0);
        devInit = new DevInit;
        connect(devInit, &DevInit::sigInitSta, this,
                [this](int s, int e, int n) { stas.append({s, e, n}); }, Qt::QueuedConnection);
        connect(devInit, &DevInit::sigDevPreConnect, this,
                [this](int m) {
                    preConnect.append(m);
                    // As the main window does: the detected model replaces the device object.
                    if (devUsing->devModel != m) {
                        delete devUsing;
                        devUsing = DevBase::createDevice(m);
                    }
                    preConnectOnMain.append(QThread::currentThread() == thread());
                },
                Qt::BlockingQueuedConnection);
        devSupport->registerNotification(onDevListChanged);
    }
    void cleanup()
    {
        delete devInit;
        devInit = nullptr;
        delete devUsing;
        devUsing = nullptr;
        delete devSupport;
        devSupport = nullptr;
        emus.clear();
        bus.reset();
    }

    // Plugged in fresh: firmware, re-enumeration, EEPROM, bitstream, FPGA
    // start, connect.
    void fullStartUp()
    {
        EmuAnalyzer* emu = plug(EmuAnalyzer::Options(), 102);
        QTRY_VERIFY_WITH_TIMEOUT(has(6, 0), 15000);
        QCOMPARE(emu->renumerations(), 1);
        const auto c = codes();
        QCOMPARE(c.first(), qMakePair(0, 0));
        QCOMPARE(c.at(1), qMakePair(1, 0));
        QVERIFY(c.contains(qMakePair(2, 0)));
        QVERIFY(c.indexOf(qMakePair(4, 0)) > c.indexOf(qMakePair(2, 0)));
        QCOMPARE(c.mid(c.size() - 2), (QList<QPair<int, int>>{{5, 0}, {6, 0}}));
        QCOMPARE(preConnect, QList<int>{102});
        QCOMPARE(preConnectOnMain, QList<bool>{true});
        QVERIFY(devUsing->connected);
        QVERIFY(emu->fpgaStarted());
        QFile bits(ThrRenumDone::fpgaResource(102, 3));
        QVERIFY(bits.open(QIODevice::ReadOnly));
        QCOMPARE(emu->bitstreamLength(), bits.size());
        QCOMPARE(emu->bitstreamBytes(), Fw::bitstreamTransferLength(bits.size()));
        QCOMPARE(devInit->devBatch(), QByteArray::fromHex("3412"));
        // The last firmware write released the CPU.
        QCOMPARE(emu->ramWrites().last().data, QByteArray(1, 0));

        // Unplugging a connected device disconnects it.
        emu->unplug();
        QTRY_VERIFY(has(7, 0));
        QVERIFY(!devUsing->connected);
    }

    // A device that already runs its firmware goes straight to the FPGA, and
    // each failure reports its phase and code.
    void startUpCodes_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("sta");
        QTest::addColumn<int>("err");
        QTest::newRow("connected") << "" << 6 << 0;
        QTest::newRow("model not supported") << "model5" << 3 << 1;
        QTest::newRow("model code unreadable") << "eepromModelFails" << 3 << 2;
        QTest::newRow("bitstream refused") << "bitResult" << 4 << 0x21;
        QTest::newRow("bitstream request fails") << "bitRequestFails" << 4 << 2;
        QTest::newRow("FPGA start fails") << "startFails" << 4 << 2;
        QTest::newRow("status 0xFFFF") << "statusFFFF" << 4 << 7;
        QTest::newRow("status 0") << "status0" << 4 << 8;
        QTest::newRow("status 0x00C3") << "statusC3" << 4 << 9;
        QTest::newRow("connect fails") << "connectFails" << 5 << 3;
    }
    void startUpCodes()
    {
        QFETCH(QString, setup);
        QFETCH(int, sta);
        QFETCH(int, err);
        EmuAnalyzer::Options o;
        o.firmwareRunning = true;
        if (setup == "connectFails")
            devInit->connectDevice = [](int) { return 3; };
        emus.push_back(std::make_unique<EmuAnalyzer>(bus.get(), o));
        EmuAnalyzer* emu = emus.back().get();
        emu->setEeprom(0x08, setup == "model5" ? modelCode(5) : modelCode(104));
        if (setup == "bitResult")
            emu->setBitstreamResult(0x21);
        if (setup == "bitRequestFails")
            emu->failControl(0x50);
        if (setup == "startFails")
            emu->failControl(0x10);
        if (setup == "statusFFFF")
            emu->setStatusAfterStart(0xFFFF);
        if (setup == "status0")
            emu->setStatusAfterStart(0);
        if (setup == "statusC3")
            emu->setStatusAfterStart(0x00C3);
        if (setup == "eepromModelFails")
            emu->failControl(0xA2, false, 0x08);
        emu->plug();
        QTRY_VERIFY(has(2, 0));
        QTRY_VERIFY_WITH_TIMEOUT(has(sta, err), 10000);
        QTRY_VERIFY(!devInit->thrRenumDone()->isRunning());
        QCOMPARE(devUsing->connected, sta == 6);
        QVERIFY(!has(0, 0)); // no firmware load
        if (sta == 6)
            QCOMPARE(preConnect, QList<int>{104});
    }

    // The identity bytes are optional: a failed read is reported, start-up
    // goes on.
    void identityReadFailureContinues()
    {
        EmuAnalyzer::Options o;
        o.firmwareRunning = true;
        emus.push_back(std::make_unique<EmuAnalyzer>(bus.get(), o));
        EmuAnalyzer* emu = emus.back().get();
        emu->setEeprom(0x08, modelCode(101));
        emu->failControl(0xA2);
        emu->plug();
        QTRY_VERIFY(has(6, 0));
        QVERIFY(has(3, 2));
        QVERIFY(devInit->devBatch().isEmpty());
    }

    void firmwareMissingForProduct()
    {
        EmuAnalyzer::Options o;
        o.productId = 0x8104; // accepted, but no controller image for it
        plug(o);
        QTRY_VERIFY(has(0, 1));
        QVERIFY(!has(1, 0));
    }

    // The device does not come back within 10 s after its firmware.
    void deviceDoesNotReturn()
    {
        EmuAnalyzer::Options o;
        o.renumerate = false;
        plug(o);
        QTRY_VERIFY_WITH_TIMEOUT(has(1, 5), 15000);
        const auto c = codes();
        QCOMPARE(c.first(), qMakePair(0, 0));
        QVERIFY(stas.size() >= 50); // a waiting step every 200 ms
        QCOMPARE(stas.at(stas.size() - 2).n, 9800);
    }

    // Destroying the detector while it waits for the device ends the thread.
    void destroyWhileWaiting()
    {
        EmuAnalyzer::Options o;
        o.renumerate = false;
        plug(o);
        QTRY_VERIFY(has(1, 0));
        QVERIFY(devInit->thrDevAttach()->isRunning());
        delete devInit;
        devInit = nullptr;
    }

    // A device of the vendor with a product id we do not drive is not kept
    // open: a later analyzer is found.
    void foreignProductClosedAgain()
    {
        EmuAnalyzer::Options foreign;
        foreign.productId = 0x1234;
        foreign.firmwareRunning = true;
        // Without the transport's filter the foreign device is opened, and
        // init closes it again.
        const auto accepted = devSupport->acceptedProducts;
        devSupport->acceptedProducts.clear();
        plug(foreign);
        QTRY_VERIFY((devInit->init(), devSupport->productId == 0x1234));
        QVERIFY(!devSupport->isOpen());
        QVERIFY(stas.isEmpty());

        // With the filter, the foreign device is passed over.
        devSupport->acceptedProducts = accepted;
        EmuAnalyzer::Options ours;
        ours.port = 2;
        ours.address = 5;
        ours.firmwareRunning = true;
        plug(ours, 103);
        QTRY_VERIFY(has(6, 0));
        QCOMPARE(devSupport->productId, quint16(0x8102));
    }

    // An analyzer the user may not open (no udev rule for its node) is
    // reported, once while it stays; once it may be opened, start-up runs.
    void noPermissionIsReported()
    {
        // Taking the file-system rights away from this thread alone needs
        // root; everything else in the process keeps them.
        if (geteuid() != 0)
            QSKIP("needs root");
        struct FsUid {
            explicit FsUid(uid_t u) { setfsuid(u); }
            ~FsUid() { setfsuid(0); }
        };
        auto denials = [this] {
            return int(std::count_if(stas.begin(), stas.end(),
                                     [](const Sta& s) { return s.sta == 0 && s.err == DevSupport::ErrNoAccess; }));
        };
        EmuAnalyzer::Options o;
        o.firmwareRunning = true;
        plug(o, 102);
        openTestbedSocketsOnly(bus->rootDir());
        {
            // The hot-plug search runs on this thread. (umockdev keeps a socket
            // for every failed open and gives up after about 50: no search
            // here may run more often than needed.)
            const FsUid nobody(65534);
            QTRY_VERIFY_WITH_TIMEOUT(denials() > 0, 10000);
            QVERIFY(devSupport->accessDenied());
            QVERIFY(!devSupport->isOpen());
            devInit->init();
            QCoreApplication::sendPostedEvents();
            QCOMPARE(denials(), 1);
        }
        devInit->init();
        QVERIFY(!devSupport->accessDenied());
        QTRY_VERIFY_WITH_TIMEOUT(has(6, 0), 10000);
        QCOMPARE(denials(), 1);
    }

    void unplugWhileNotConnectedIsSilent()
    {
        EmuAnalyzer::Options o;
        o.firmwareRunning = true;
        o.renumerate = false;
        EmuAnalyzer* emu = plug(o, 5); // model refused: stays unconnected
        QTRY_VERIFY(has(3, 1));
        const int before = stas.size();
        emu->unplug();
        QTRY_VERIFY(!devSupport->isOpen());
        QCOMPARE(stas.size(), before);
    }
};

QTEST_GUILESS_MAIN(TestUsbInit)
#include "test_usb_init.moc"
