// Captures end to end against the emulated analyzer: the device object's
// acquisition threads over the real transport, from the start command to the
// shown store; faults in the read-out, and unplugging mid-capture.
#include <QtTest>
#include <QThread>
#include <memory>
#include <random>
#include <vector>

#include "EmuAnalyzer.h"
#include "RefuseThreads.h"
#include "config/Config.h"
#include "data/SmpData.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "device/DevSupport.h"
#include "support/CaptureSignals.h"
#include "support/TestEnv.h"

namespace {

using Records = QVector<QPair<quint32, quint8>>;

Records randomRecords(std::mt19937& rng, int n)
{
    Records r;
    quint32 level = rng() & 0xFFFF;
    for (int i = 0; i < n; ++i) {
        level ^= 1u << (rng() % 16);
        if (rng() % 4 == 0)
            level ^= 1u << (rng() % 16);
        r << qMakePair(level, quint8(1 + rng() % 255));
    }
    return r;
}

long long runSum(const Records& r, int n)
{
    long long s = 0;
    for (int i = 0; i < n && i < r.size(); ++i)
        s += r[i].second;
    return s;
}

// Compares a shown capture with the first `n` records, sample by sample at
// every record boundary and inside the runs.
bool matchesRecords(const SmpData* s, const Records& r, int n, QString* why)
{
    long long t = 0;
    for (int i = 0; i < n; ++i) {
        const int run = r[i].second;
        for (long long k : {0LL, (long long)run - 1}) {
            const long long p = t + k;
            if (p >= s->smpDepth)
                continue;
            for (int c = 0; c < 16; ++c) {
                const int want = int(r[i].first >> c & 1);
                if (s->getPointLevel(c, p) != want) {
                    *why = QString("channel %1 sample %2 (record %3)").arg(c).arg(p).arg(i);
                    return false;
                }
            }
        }
        t += run;
    }
    return true;
}

// Word-format stream of channels 0..n-1 from per-channel levels.
QByteArray wordStream(const std::vector<std::vector<uint8_t>>& lv, int n, long long rows)
{
    QByteArray out;
    for (long long r = 0; r < rows; ++r)
        for (int c = 0; c < n; ++c) {
            uint16_t w = 0;
            for (int i = 0; i < 16; ++i)
                w |= uint16_t(lv[size_t(c)][size_t(r * 16 + i)] << i);
            out.append(char(w & 0xFF));
            out.append(char(w >> 8));
        }
    return out;
}

QVector<int> states(const QSignalSpy& spy)
{
    QVector<int> out;
    for (const auto& a : spy)
        if (out.isEmpty() || out.last() != a[0].toInt())
            out << a[0].toInt();
    return out;
}

QVector<int> errors(const QSignalSpy& spy)
{
    QVector<int> out;
    for (const auto& a : spy)
        if (a[1].toInt() != 0)
            out << a[1].toInt();
    return out;
}

} // namespace

class TestUsbCapture : public QObject, public EmuRig
{
    Q_OBJECT

    std::unique_ptr<DevBase> dev;
    static constexpr int memBytes = 1 << 20;

    // A connected Spruce (16 channels) on a running emulator.
    void connectDevice(int smpMode)
    {
        EmuAnalyzer::Options o;
        o.memorySize = memBytes;
        QVERIFY(plugRunning(o));
        dev.reset(DevBase::createDevice(DevModelSpruce));
        dev->setSmpMode(smpMode);
        QCOMPARE(dev->devConnect(nullptr), 0);
        dev->memSize = memBytes;   // the emulator's memory
        sup->bulkSize.store(2048);
    }

    // Waits for the end of the capture; the swap of the stores was queued
    // to this thread before it, so it has been applied as well.
    void waitEnd(CaptureSignals& sig, int timeout = 15000)
    {
        QTRY_VERIFY_WITH_TIMEOUT(sig.ended(), timeout);
        dev->smpStopAndWait();
        QVERIFY(!dev->smpRunning);
    }

    // Loads a buffered capture into the emulator's memory, wrapping around
    // its end; returns the records.
    Records loadMemory(int seed, int records, int trgRecord)
    {
        std::mt19937 rng(seed);
        const Records r = randomRecords(rng, records);
        const QByteArray frames = EmuAnalyzer::runLengthFrames(16, r);
        const int end = 3200;   // the last frames lie at the start of memory
        emu->setMemory(end - frames.size() + memBytes, frames);
        emu->setCaptureResult(quint32(records), quint32(trgRecord), quint32(end));
        return r;
    }

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        Config::init();
    }
    void init()
    {
        QVERIFY2(startRig(), "must run under umockdev-wrapper, with libusb");
    }
    void cleanup()
    {
        if (dev)
            dev->smpStopAndWait();
        dev.reset();
        stopRig();
    }

    void bufferedCapture()
    {
        connectDevice(SmpModeBuffer);
        const int n = 2000, trgRecord = 777;
        const Records r = loadMemory(1, n, trgRecord);
        emu->setStatusScript({0x85C1, 0x85C9, 0x85C6});
        emu->setStatusAfterStart(0x85C5);   // done
        emu->clearRegWrites();
        CaptureSignals sig(dev.get());
        const QSignalSpy& sta = sig.sta;
        dev->smpStart(SmpStartSingle, false);
        waitEnd(sig);

        QCOMPARE(errors(sta), QVector<int>());
        QCOMPARE(states(sta), QVector<int>({SmpStaStart, SmpStaPre, SmpStaWaitTrg, SmpStaSampling,
                                            SmpStaReading, SmpStaStopped}));
        QCOMPARE(sig.ready.size(), 3);   // empty view, new capture, finished
        // The window wraps from the end of memory to its start.
        const int len = n / 5 * 16;
        QByteArray win(8, '\0');
        qToLittleEndian(quint32(3200 - len + memBytes), win.data());
        qToLittleEndian(quint32(len), win.data() + 4);
        bool windowSet = false;
        for (const auto& w : emu->regWrites())
            windowSet |= w.reg == 8 && w.data == win;
        QVERIFY(windowSet);

        const SmpData* s = dev->shownData();
        QCOMPARE(s->smpDepth, runSum(r, n));
        QCOMPARE(s->trgPosition, runSum(r, trgRecord));
        QVERIFY(s->checkData());
        QString why;
        QVERIFY2(matchesRecords(s, r, n, &why), qPrintable(why));
    }

    // Fewer records than one frame: no data, and no read that could only
    // end by timing out.
    void bufferedWithoutData()
    {
        connectDevice(SmpModeBuffer);
        emu->setCaptureResult(3, 0, 100);
        emu->setStatusAfterStart(0x85C5);
        const int submitted = emu->bulkInSubmitted();
        CaptureSignals sig(dev.get());
        const QSignalSpy& sta = sig.sta;
        dev->smpStart(SmpStartSingle, false);
        waitEnd(sig);
        QCOMPARE(errors(sta), QVector<int>());
        QCOMPARE(emu->bulkInSubmitted(), submitted);
        QCOMPARE(dev->shownData()->smpDepth, 0LL);
    }

    // A record count the memory cannot hold is refused before any read.
    void bufferedBadCount()
    {
        connectDevice(SmpModeBuffer);
        emu->setCaptureResult(0xFFFFFFF0u, 0, 100);
        emu->setStatusAfterStart(0x85C5);
        const int submitted = emu->bulkInSubmitted();
        CaptureSignals sig(dev.get());
        const QSignalSpy& sta = sig.sta;
        dev->smpStart(SmpStartSingle, false);
        waitEnd(sig);
        QCOMPARE(errors(sta), QVector<int>({3}));
        QCOMPARE(emu->bulkInSubmitted(), submitted);
    }

    void readFaults_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("keptBytes");   // converted before the fault
        QTest::newRow("short read") << int(EmuAnalyzer::ShortRead) << 14 << 2048 + 1024;
        QTest::newRow("zero-length transfer") << int(EmuAnalyzer::ZeroLength) << 3 << 2048;
        QTest::newRow("timeout") << int(EmuAnalyzer::Timeout) << 3 << 2048;
        QTest::newRow("unplug") << int(EmuAnalyzer::Unplug) << 3 << 2048;
    }
    void readFaults()
    {
        QFETCH(int, fault);
        QFETCH(int, error);
        QFETCH(int, keptBytes);
        connectDevice(SmpModeBuffer);
        const int n = 2000;
        const Records r = loadMemory(2, n, 10);
        emu->setStatusAfterStart(0x85C5);
        emu->injectBulkFault(EmuAnalyzer::Fault(fault), 2);
        CaptureSignals sig(dev.get());
        const QSignalSpy& sta = sig.sta;
        dev->smpStart(SmpStartSingle, false);
        waitEnd(sig);
        QVERIFY2(errors(sta).contains(error), qPrintable(QString::number(errors(sta).value(0))));
        QCOMPARE(states(sta).last(), int(SmpStaStopped));
        // What was read before the fault is shown.
        const int kept = keptBytes / 16 * 5;
        const SmpData* s = dev->shownData();
        QCOMPARE(s->smpDepth, runSum(r, kept));
        QVERIFY(s->checkData());
        QString why;
        QVERIFY2(matchesRecords(s, r, kept, &why), qPrintable(why));
    }

    // Repeat mode: the first capture is shown; unplugging during the second
    // ends sampling with an error and leaves the first capture in place.
    void bufferedUnplugKeepsShown()
    {
        connectDevice(SmpModeBuffer);
        const int n = 1000;
        const Records r = loadMemory(3, n, 5);
        emu->setStatusScript({0x85C5});
        emu->setStatusAfterStart(0x85C1);   // the second cycle never ends
        CaptureSignals sig(dev.get());
        const QSignalSpy& sta = sig.sta;
        dev->smpStart(SmpStartRepeatWait, false);
        // Empty view, then the first capture once it has been swapped in.
        QTRY_COMPARE_WITH_TIMEOUT(dev->shownData()->smpDepth, runSum(r, n), 10000);
        emu->unplug();
        waitEnd(sig);
        QVERIFY(!errors(sta).isEmpty());
        const SmpData* s = dev->shownData();
        QCOMPARE(s->smpDepth, runSum(r, n));
        QString why;
        QVERIFY2(matchesRecords(s, r, n, &why), qPrintable(why));
        QCOMPARE(sup->devRetrieve(), -1);   // the transport lets go of it
    }

    // A capture whose thread the system refuses ends at once with the
    // thread error, and nothing waits for it; the next capture runs.
    void threadRefused_data()
    {
        QTest::addColumn<int>("smpMode");
        QTest::addColumn<int>("refuse");   // see refuseThreads
        QTest::newRow("buffered, its thread") << int(SmpModeBuffer) << 1;
        QTest::newRow("stream, its thread") << int(SmpModeStream) << 1;
        QTest::newRow("stream, its converter") << int(SmpModeStream) << 2;
    }
    void threadRefused()
    {
        QFETCH(int, smpMode);
        QFETCH(int, refuse);
        connectDevice(smpMode);
        dev->curDepth = 20000;
        CaptureSignals sig(dev.get());
        refuseThreads(refuse);
        dev->smpStart(SmpStartSingle, false);
        QTRY_VERIFY_WITH_TIMEOUT(sig.ended(), 15000);
        refuseThreads(0);
        dev->smpStopAndWait();
        QVERIFY(!dev->smpRunning);
        QCOMPARE(errors(sig.sta), QVector<int>({DevSupport::ErrNoThread}));
        QVERIFY(states(sig.sta).contains(SmpStaStopped));
        QCOMPARE(dev->smpErr, int(DevSupport::ErrNoThread));
    }

    // Stream mode: three channels, a rising edge on channel 1, 10 % before
    // the trigger. Data flows once the device has been told to start.
    void streamCapture_data()
    {
        QTest::addColumn<bool>("unplug");
        QTest::newRow("whole capture") << false;
        QTest::newRow("unplugged mid-capture") << true;
    }
    void streamCapture()
    {
        QFETCH(bool, unplug);
        connectDevice(SmpModeStream);
        QVector<bool> ena(16, false);
        ena[0] = ena[1] = ena[2] = true;
        dev->setDChnEna(ena);
        QVERIFY(dev->setDChnTrg(1, TrgRising));
        QVERIFY(dev->setTrgPosition(10));
        dev->curDepth = 20000;
        const long long preTrg = 2000, trgAt = 9005;
        std::mt19937 rng(5);
        const long long rows = (trgAt + 20000) / 16 + 300 + 7;
        std::vector<std::vector<uint8_t>> lv(3, std::vector<uint8_t>(size_t(rows * 16), 0));
        for (long long t = 0; t < rows * 16; ++t) {
            lv[0][size_t(t)] = uint8_t(t / 23 % 2);
            lv[1][size_t(t)] = t >= trgAt ? uint8_t((t - trgAt) / 100 % 2 == 0) : 0;
            lv[2][size_t(t)] = uint8_t(rng() % 7 == 0);
        }
        const QByteArray data = wordStream(lv, 3, rows);
        emu->clearRegWrites();
        // Shorter than the pre-trigger depth, and not a multiple of the 6-byte row.
        sup->bulkSize.store(602);

        CaptureSignals sig(dev.get());
        const QSignalSpy& sta = sig.sta;
        dev->smpStart(SmpStartSingle, false);
        // The device streams once the start command is in.
        QTRY_VERIFY([&] {
            for (const auto& w : emu->regWrites())
                if (w.reg == 0 && w.data == QByteArray(1, '\3'))
                    return true;
            return false;
        }());
        const long long part = unplug ? (trgAt + 8000) / 16 * 6 : data.size();
        emu->appendStream(data.left(int(part)), false);
        if (unplug) {
            // Wait until sampling runs past the trigger, then pull the plug.
            QTRY_VERIFY([&] {
                for (const auto& a : sta)
                    if (a[0].toInt() == SmpStaSampling && a[2].toInt() >= 30)
                        return true;
                return false;
            }());
            emu->unplug();
        }
        waitEnd(sig);

        const QVector<int> st = states(sta);
        QCOMPARE(st.first(), int(SmpStaStart));
        QVERIFY(st.contains(SmpStaPre) && st.contains(SmpStaWaitTrg) && st.contains(SmpStaSampling));
        QCOMPARE(st.last(), int(SmpStaStopped));
        if (unplug)
            QCOMPARE(errors(sta), QVector<int>({3}));
        else
            QCOMPARE(errors(sta), QVector<int>());

        const SmpData* s = dev->shownData();
        QVERIFY(s->checkData());
        if (unplug)
            QVERIFY(s->smpDepth > 6000 && s->smpDepth < 20000);
        else
            QCOMPARE(s->smpDepth, 20000LL);
        const long long tp = s->trgPosition;
        QVERIFY2(tp >= preTrg && tp < preTrg + 16, qPrintable(QString::number(tp)));
        const long long shift = trgAt - tp;
        QCOMPARE(shift % 16, 0LL);
        for (int c = 0; c < 3; ++c)
            for (long long t = 0; t < s->smpDepth; t += 3)
                QCOMPARE(s->getPointLevel(c, t), int(lv[size_t(c)][size_t(t + shift)]));
        QCOMPARE(s->getPointLevel(1, tp), 1);
        QCOMPARE(s->getPointLevel(1, tp - 1), 0);
        QVERIFY(!s->chnData[3]);
    }
};

QTEST_GUILESS_MAIN(TestUsbCapture)
#include "test_usb_capture.moc"
