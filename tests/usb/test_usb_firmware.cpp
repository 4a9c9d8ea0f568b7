// Firmware and bitstream loading: the pure loaders with a recording port,
// and the same loaders through the transport into the emulated analyzer.
#include <QtTest>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <memory>
#include <vector>

#include "EmuAnalyzer.h"
#include "device/DevGlobals.h"
#include "device/DevInit.h"
#include "device/DevSupport.h"
#include "device/FirmwareLoader.h"

namespace {

// Records what a loader sends.
struct FakePort {
    QList<QPair<unsigned, QByteArray>> ram;
    int bulkWrites = 0;
    QByteArray bulk;
    int bulkLimit = 4096;    // bytes the device takes per write
    int result = 0;
    Fw::Port port()
    {
        Fw::Port p;
        p.writeRam = [this](unsigned a, const unsigned char* d, int n) {
            ram.append({a, QByteArray(reinterpret_cast<const char*>(d), n)});
            return 0;
        };
        p.ctrlRead = [this](unsigned char, unsigned short, unsigned char* d, int n) {
            if (n > 0)
                d[0] = uchar(result);
            return 0;
        };
        p.ctrlWrite = [](unsigned char, unsigned short, unsigned char*, int) { return 0; };
        p.bulkWrite = [this](unsigned char* d, int n, int* t) {
            ++bulkWrites;
            *t = qMin(n, bulkLimit);
            bulk.append(reinterpret_cast<const char*>(d), *t);
            return 0;
        };
        return p;
    }
};

QByteArray hexRecord(unsigned addr, int type, const QByteArray& data, bool lower = false)
{
    QByteArray b;
    b += char(data.size());
    b += char(addr >> 8);
    b += char(addr);
    b += char(type);
    b += data;
    int sum = 0;
    for (char c : b)
        sum += uchar(c);
    b += char(-sum);
    const QByteArray hex = lower ? b.toHex() : b.toHex().toUpper();
    return ":" + hex + "\r\n";
}

// A random image of data records with gaps, in random order.
QByteArray randomHex(quint32 seed, bool lower)
{
    QRandomGenerator rng(seed);
    QByteArray text;
    unsigned addr = 0x0000 + rng.bounded(64);
    QList<QByteArray> recs;
    for (int i = 0; i < 40; ++i) {
        const int n = 1 + int(rng.bounded(32));
        QByteArray d(n, '\0');
        for (char& c : d)
            c = char(rng.bounded(256));
        recs.append(hexRecord(addr, 0, d, lower));
        addr += unsigned(n) + (rng.bounded(4) == 0 ? rng.bounded(100) : 0);
    }
    std::shuffle(recs.begin(), recs.end(), std::mt19937(seed));
    for (const QByteArray& r : recs)
        text += r;
    text += hexRecord(0, 1, QByteArray(), lower);
    return text;
}

} // namespace

class TestUsbFirmware : public QObject
{
    Q_OBJECT

    std::unique_ptr<EmuBus> bus;
    std::vector<std::unique_ptr<EmuAnalyzer>> emus;

    EmuAnalyzer* openEmulated(EmuAnalyzer::Options o)
    {
        emus.push_back(std::make_unique<EmuAnalyzer>(bus.get(), o));
        emus.back()->plug();
        bool opened = false;
        for (int i = 0; i < 500 && !opened; ++i) {
            opened = devSupport->devRetrieve() == 1;
            if (!opened)
                QTest::qWait(10);
        }
        return opened ? emus.back().get() : nullptr;
    }

    static Fw::Port transport()
    {
        Fw::Port p;
        p.writeRam = [](unsigned a, const unsigned char* d, int n) { return devSupport->ctrlWriteRAM(a, d, n); };
        p.ctrlRead = [](unsigned char r, unsigned short v, unsigned char* d, int n) { return devSupport->ctrlRead(r, v, d, n); };
        p.ctrlWrite = [](unsigned char r, unsigned short v, unsigned char* d, int n) { return devSupport->ctrlWrite(r, v, d, n); };
        p.bulkWrite = [](unsigned char* d, int n, int* t) { return devSupport->manuBulkWrite(d, n, t); };
        return p;
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
        devSupport = new DevSupport;
    }
    void cleanup()
    {
        delete devSupport;
        devSupport = nullptr;
        emus.clear();
        bus.reset();
    }

    // The HEX loader puts exactly objcopy's image into the controller RAM,
    // between holding and releasing the CPU; the device then comes back.
    void hexLoaderMatchesObjcopy_data()
    {
        QTest::addColumn<QByteArray>("text");
        QFile f(":/fwusb/fw8102");
        QVERIFY(f.open(QIODevice::ReadOnly));
        QTest::newRow("stand-in controller image") << f.readAll();
        QTest::newRow("random, upper case") << randomHex(1, false);
        QTest::newRow("random, lower case") << randomHex(2, true);
    }
    void hexLoaderMatchesObjcopy()
    {
        QFETCH(QByteArray, text);
        QTemporaryDir dir;
        QFile hex(dir.filePath("fw.hex"));
        QVERIFY(hex.open(QIODevice::WriteOnly));
        hex.write(text);
        hex.close();
        const QString objcopy = qEnvironmentVariable("CORVENA_OBJCOPY", "objcopy");
        QCOMPARE(QProcess::execute(objcopy, {"-I", "ihex", "-O", "binary", hex.fileName(),
                                             dir.filePath("fw.bin")}), 0);
        QFile bin(dir.filePath("fw.bin"));
        QVERIFY(bin.open(QIODevice::ReadOnly));
        const QByteArray image = bin.readAll();
        QList<Fw::HexRecord> recs;
        QVERIFY(Fw::parseIntelHex(text, &recs));
        unsigned low = 0xFFFF;
        for (const auto& r : recs)
            low = qMin(low, r.address);

        EmuAnalyzer* emu = openEmulated(EmuAnalyzer::Options());
        QVERIFY(emu);
        QVERIFY(!devSupport->devReady);
        QCOMPARE(Fw::load68013fw(text, transport()), 0);
        QCOMPARE(emu->ram().mid(int(low), image.size()), image);
        const auto writes = emu->ramWrites();
        QCOMPARE(writes.first().address, 0xE600u);
        QCOMPARE(writes.first().data, QByteArray(1, 1));
        QCOMPARE(writes.last().address, 0xE600u);
        QCOMPARE(writes.last().data, QByteArray(1, 0));
        QTRY_COMPARE(emu->renumerations(), 1);
    }

    void hexLoaderRejectsBrokenImages_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("truncated record") << QByteArray(":10000000AABB");
        QTest::newRow("count beyond text") << QByteArray(":FF00000000\n:00000001FF\n");
        QTest::newRow("non-hex digit") << QByteArray(":0200000012G4E8\n");
        QTest::newRow("second record cut") << (hexRecord(0, 0, "abc") + ":0300");
    }
    void hexLoaderRejectsBrokenImages()
    {
        QFETCH(QByteArray, text);
        FakePort fp;
        QCOMPARE(Fw::load68013fw(text, fp.port()), Fw::ErrBadImage);
        QVERIFY(fp.ram.isEmpty()); // the CPU was not even put into reset
    }

    void emptyHexOnlyPulsesReset()
    {
        FakePort fp;
        QCOMPARE(Fw::load68013fw(QByteArray(), fp.port()), 0);
        QCOMPARE(fp.ram.size(), 2);
        QCOMPARE(fp.ram[0].second, QByteArray(1, 1));
        QCOMPARE(fp.ram[1].second, QByteArray(1, 0));
    }

    void binaryLoader()
    {
        // Header word, a 600-word section at 0x1000, a 2-word one at 0x8000,
        // then 12 trailing bytes with the entry point 8 bytes before the end.
        QByteArray img(4, '\0');
        auto section = [&img](quint32 addr, int words, char fill) {
            QByteArray h(8, '\0');
            qToLittleEndian<quint32>(quint32(words), h.data());
            qToLittleEndian<quint32>(addr, h.data() + 4);
            img += h + QByteArray(words * 4, fill);
        };
        section(0x1000, 600, 'a');
        section(0x8000, 2, 'b');
        QByteArray tail(12, '\0');
        qToLittleEndian<quint32>(0x1234, tail.data() + 4);
        img += tail;
        FakePort fp;
        QCOMPARE(Fw::load3014fw(img, fp.port()), 0);
        QCOMPARE(fp.ram.size(), 5);
        QCOMPARE(fp.ram[0].first, 0x1000u);
        QCOMPARE(fp.ram[0].second.size(), 1024);
        QCOMPARE(fp.ram[1].first, 0x1400u);
        QCOMPARE(fp.ram[2].first, 0x1800u);
        QCOMPARE(fp.ram[2].second.size(), 2400 - 2048);
        QCOMPARE(fp.ram[3].first, 0x8000u);
        QCOMPARE(fp.ram[3].second, QByteArray(8, 'b'));
        QCOMPARE(fp.ram[4].first, 0x1234u);
        QVERIFY(fp.ram[4].second.isEmpty());

        // A word count running past the image is refused before any write.
        QByteArray bad = img;
        qToLittleEndian<quint32>(0x40000000, bad.data() + 4);
        FakePort fp2;
        QCOMPARE(Fw::load3014fw(bad, fp2.port()), Fw::ErrBadImage);
        QVERIFY(fp2.ram.isEmpty());
        QCOMPARE(Fw::load3014fw(QByteArray(10, '\0'), fp2.port()), Fw::ErrBadImage);
    }

    void eepromModel_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("model");
        QTest::newRow("first copy") << QByteArray::fromHex("6699000000000000") << 102;
        QTest::newRow("second copy") << QByteArray::fromHex("0000000067980000") << 103;
        QTest::newRow("first copy wins") << QByteArray::fromHex("659A000068970000") << 101;
        QTest::newRow("no complement") << QByteArray::fromHex("6666000067670000") << -1;
        QTest::newRow("erased") << QByteArray::fromHex("FFFFFFFFFFFFFFFF") << -1;
    }
    void eepromModel()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, model);
        QCOMPARE(Fw::decodeModelCode(bytes), model);
    }

    void eepromBatch_data()
    {
        QTest::addColumn<QByteArray>("identity");
        QTest::addColumn<QByteArray>("batch");
        const QByteArray other = QByteArray::fromHex("123456789ABCDEF00112233445566778");
        QTest::newRow("complementary pair") << QByteArray::fromHex("1234EDCB000000000000000000000000")
                                            << QByteArray::fromHex("3412");
        QTest::newRow("any other pattern") << other << other;
    }
    void eepromBatch()
    {
        QFETCH(QByteArray, identity);
        QFETCH(QByteArray, batch);
        QCOMPARE(Fw::decodeBatch(identity), batch);
    }

    // The bitstream goes out zero-padded in 4 KiB writes, then the device's
    // result byte is read.
    void bitstreamFraming_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("sent");
        QTest::addColumn<int>("writes");
        QTest::newRow("356,884 bytes") << 356884 << 360448 << 88;
        QTest::newRow("4096 bytes") << 4096 << 8192 << 2;
        QTest::newRow("2048 bytes") << 2048 << 4096 << 1;
        QTest::newRow("2049 bytes") << 2049 << 8192 << 2;
        QTest::newRow("1 byte") << 1 << 4096 << 1;
    }
    void bitstreamFraming()
    {
        QFETCH(int, size);
        QFETCH(int, sent);
        QFETCH(int, writes);
        QCOMPARE(Fw::bitstreamTransferLength(size), qint64(sent));
        EmuAnalyzer::Options o;
        o.firmwareRunning = true;
        EmuAnalyzer* emu = openEmulated(o);
        QVERIFY(emu);
        QVERIFY(devSupport->devReady);
        QByteArray bits(size, '\0');
        for (int i = 0; i < size; ++i)
            bits[i] = char(i * 13 + 1);
        QList<int> progress;
        QCOMPARE(Fw::uploadBitstream(bits, transport(), [&](int p) { progress.append(p); }), 0);
        QCOMPARE(emu->bitstreamLength(), qint64(size));
        QCOMPARE(emu->bitstreamBytes(), qint64(sent));
        QCOMPARE(emu->bitstreamWrites(), writes);
        const QByteArray got = emu->bitstreamData();
        QCOMPARE(got.left(size), bits);
        QCOMPARE(got.mid(size), QByteArray(sent - size, '\0'));
        for (int i = 1; i < progress.size(); ++i)
            QVERIFY(progress[i] >= progress[i - 1] + 10);
        if (writes >= 10)
            QCOMPARE(progress.last(), 100);
    }

    void bitstreamResultAndWriteFailures()
    {
        FakePort fp;
        fp.result = 0x21;
        QCOMPARE(Fw::uploadBitstream(QByteArray(5000, 'x'), fp.port(), nullptr), 0x21);
        // Partial writes advance by what was taken.
        FakePort partial;
        partial.bulkLimit = 1000;
        QCOMPARE(Fw::uploadBitstream(QByteArray(5000, 'x'), partial.port(), nullptr), 0);
        QCOMPARE(partial.bulk.size(), 8192);
        QCOMPARE(partial.bulkWrites, 9);
        // A write that moves nothing is an error, not an endless loop.
        FakePort stuck;
        stuck.bulkLimit = 0;
        QCOMPARE(Fw::uploadBitstream(QByteArray(5000, 'x'), stuck.port(), nullptr), 2);
        QCOMPARE(stuck.bulkWrites, 1);
        QCOMPARE(Fw::uploadBitstream(QByteArray(), fp.port(), nullptr), Fw::ErrBadImage);
    }

    void resourcesPresent()
    {
        for (const QString& name : {DevInit::firmwareResource(0x8102),
                                    ThrRenumDone::fpgaResource(101, 3), ThrRenumDone::fpgaResource(102, 3),
                                    ThrRenumDone::fpgaResource(103, 3), ThrRenumDone::fpgaResource(104, 3)}) {
            QVERIFY2(QFile::exists(name), qPrintable(name));
        }
        QCOMPARE(ThrRenumDone::fpgaResource(101, 3), QString(":/fwfpga/Osier3"));
        QCOMPARE(ThrRenumDone::fpgaResource(104, 3), QString(":/fwfpga/Cedar3"));
        QVERIFY(ThrRenumDone::fpgaResource(5, 3).isEmpty());
        QVERIFY(DevInit::firmwareResource(0x8104).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestUsbFirmware)
#include "test_usb_firmware.moc"
