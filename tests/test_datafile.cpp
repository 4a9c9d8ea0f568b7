// The capture file's data part, CSV/text and binary export and the time
// text: golden bytes, round trips, refusals of damaged files, a brute-force
// oracle for the exports, an independent Python reader, failed writes that
// keep the old file, and the threaded job with its cancel.
#include <QtTest>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <random>

#include "config/Config.h"
#include "data/DataFile.h"
#include "data/SmpData.h"
#include "data/SmpTimeExport.h"
#include "support/CaptureKit.h"
#include "support/FileSizeLimit.h"
#include "support/TestEnv.h"

namespace {

int levelAt(const Chn& c, long long t)
{
    int l = c.level;
    for (long long e : c.edges)
        if (e <= t)
            l ^= 1;
    return l;
}

// Random channels of a capture of depth samples.
QVector<Chn> randomChannels(std::mt19937_64& rng, int chnNum, long long depth, int maxEdges)
{
    QVector<Chn> out;
    for (int c = 0; c < chnNum; ++c) {
        if (rng() % 4 == 0)
            continue;   // disabled
        Chn ch{c, int(rng() % 2), {}};
        const int n = int(rng() % (maxEdges + 1));
        QSet<long long> set;
        for (int i = 0; i < n; ++i)
            set.insert(1 + (long long)(rng() % (depth - 1)));
        ch.edges = set.values().toVector();
        std::sort(ch.edges.begin(), ch.edges.end());
        out << ch;
    }
    return out;
}



QByteArray num5(long long v)
{
    QByteArray b(5, 0);
    DataFile::int64ToByte5(v, reinterpret_cast<unsigned char*>(b.data()));
    return b;
}

// Data part pieces, for files the writer would never produce.
QByteArray head(long long count, long long rate, long long trg, int chnCount, const char* magic = "cvdat")
{
    QByteArray b(40, 0);
    memcpy(b.data(), magic, 5);
    b.replace(8, 5, num5(count));
    b.replace(16, 5, num5(rate));
    b.replace(24, 5, num5(trg));
    b[32] = char(chnCount);
    return b;
}

QByteArray table(int chn, int level, const QVector<long long>& entries, long long n = -1, const char* magic = "##D")
{
    QByteArray b(16, 0);
    memcpy(b.data(), magic, 3);
    b[4] = char(chn);
    b[5] = char(level);
    b.replace(8, 5, num5(n < 0 ? entries.size() : n));
    for (long long e : entries)
        b += num5(e);
    return b;
}

// The entries of a channel of a completed store, closing entry included.
QVector<long long> entriesOf(const SmpData& s, int chn)
{
    QVector<long long> out;
    if (!s.hasValidData(chn))
        return out;
    DigitalDataSubs subs{0, 0, 0};
    for (;;) {
        const long long p = s.getCurRecordPoint(chn, &subs);
        out << p;
        if (p >= s.smpDepth)
            break;
        const long long flat = (long long)subs.group * SMP_GROUP_ENTRIES + (long long)subs.block * SMP_BLOCK_ENTRIES
                               + subs.index + 1;
        subs.group = int(flat / SMP_GROUP_ENTRIES);
        subs.block = int(flat % SMP_GROUP_ENTRIES / SMP_BLOCK_ENTRIES);
        subs.index = int(flat % SMP_BLOCK_ENTRIES);
    }
    return out;
}

// What the data part must hold for a channel and range [a, b].
QVector<long long> expectedEntries(const Chn& c, long long a, long long b)
{
    QVector<long long> out;
    for (long long e : c.edges)
        if (e > a && e <= b)
            out << e - a;
    out << b - a + 1;
    return out;
}

} // namespace

class TestDataFile : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;

    QString path(const QString& name) const { return tmp.filePath(name); }

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        QVERIFY(tmp.isValid());
        Config::init();
    }

    void cleanup()
    {
        DataFile::progressView = nullptr;
        DataFile::freeSpace = nullptr;
    }

    // ---- file format ----

    void goldenSubRange()
    {
        SmpData s(16);
        fillReference(s);
        QVector<bool> sel(16, false);
        sel[1] = sel[2] = sel[3] = true;   // channel 2 has no data: no table
        const QString f = path("golden.part");
        QVERIFY(TestEnv::writeFile(f, QByteArray()));
        DataFile df(&s);
        QVERIFY(df.saveData(f, sel, 29, 10, true));   // the writer orders the points
        const QByteArray expect = QByteArray::fromHex(
            "637664617400" "0000" "1400000000" "000000" "e803000000" "000000" "0500000000" "000000" "10" "00000000000000"
            "23234400" "01" "01" "0000" "0400000000" "000000"
            "0200000000" "0a00000000" "1300000000" "1400000000"
            "23234400" "03" "00" "0000" "0100000000" "000000"
            "1400000000");
        QCOMPARE(TestEnv::readFile(f).toHex(), expect.toHex());
    }

    void oneSampleRange()
    {
        SmpData s(16);
        fillReference(s);
        QVector<bool> sel(16, true);
        const QString f = path("one.part");
        QVERIFY(TestEnv::writeFile(f, QByteArray()));
        QVERIFY(DataFile(&s).saveData(f, sel, 12, 12, true));
        SmpData back(16);
        QVERIFY(DataFile(&back).loadData(f, 0, true));
        QCOMPARE(back.smpDepth, 1LL);
        for (int c : {1, 3, 6})
            QCOMPARE(entriesOf(back, c), QVector<long long>{1});
        QCOMPARE(back.getPointLevel(1, 0), 0);   // the edge at 12 counts at 12
        QCOMPARE(back.getPointLevel(3, 0), 0);
        QCOMPARE(back.getPointLevel(6, 0), 1);
    }

    void triggerOffset_data()
    {
        QTest::addColumn<long long>("start");
        QTest::addColumn<long long>("offset");
        QTest::newRow("before the range") << 20LL << 0LL;
        QTest::newRow("inside") << 10LL << 5LL;
        QTest::newRow("at the start") << 15LL << 0LL;
    }
    void triggerOffset()
    {
        QFETCH(long long, start);
        QFETCH(long long, offset);
        SmpData s(16);
        fillReference(s);
        const QString f = path("trg.part");
        QVERIFY(TestEnv::writeFile(f, QByteArray()));
        QVERIFY(DataFile(&s).saveData(f, QVector<bool>(16, true), start, 40, true));
        QCOMPARE(DataFile::byte5toInt64(reinterpret_cast<const unsigned char*>(TestEnv::readFile(f).constData()) + 24), offset);
    }

    void roundTrip_data()
    {
        QTest::addColumn<int>("seed");
        QTest::addColumn<int>("edges");   // 0: random
        for (int seed = 1; seed <= 6; ++seed)
            QTest::addRow("random %d", seed) << seed << 0;
        // Entry counts at the block (20480) and read-chunk (40960) borders.
        for (int n : {20479, 20480, 40959, 40960})
            QTest::addRow("%d entries", n + 1) << 7 << n;
    }
    void roundTrip()
    {
        QFETCH(int, seed);
        QFETCH(int, edges);
        std::mt19937_64 rng(seed);
        const int chnNum = seed % 2 ? 16 : 32;
        const long long depth = edges ? 4 * edges : 1000 + (long long)(rng() % 200000);
        QVector<Chn> chns = randomChannels(rng, chnNum, depth, 3000);
        if (edges) {
            Chn c{5, 1, {}};
            for (int i = 1; i <= edges; ++i)
                c.edges << 4LL * i - 1;
            chns = {c};
        }
        SmpData s(chnNum);
        fill(s, depth, 1 + (long long)(rng() % 1000000000), (long long)(rng() % depth), chns);
        long long a = edges ? 0 : (long long)(rng() % depth), b = edges ? depth - 1 : (long long)(rng() % depth);
        QVector<bool> sel(chnNum, true);
        if (!edges)
            for (int c = 0; c < chnNum; ++c)
                sel[c] = rng() % 3 != 0;

        const QString f = path("round.cvdat");
        QVERIFY(TestEnv::writeFile(f, "<settings/>\n"));
        QVERIFY(DataFile(&s).saveData(f, sel, a, b, true));
        SmpData back(chnNum);
        QVERIFY(DataFile(&back).loadData(f, 12, true));
        if (a > b)
            std::swap(a, b);
        QCOMPARE(back.smpDepth, b - a + 1);
        QCOMPARE(back.smpFrequ, s.smpFrequ);
        QCOMPARE(back.trgPosition, std::max(0LL, s.trgPosition - a));
        for (int c = 0; c < chnNum; ++c) {
            const Chn* src = nullptr;
            for (const Chn& x : chns)
                if (x.chn == c)
                    src = &x;
            if (!src || !sel[c]) {
                QVERIFY(!back.hasValidData(c));
                continue;
            }
            QCOMPARE(entriesOf(back, c), expectedEntries(*src, a, b));
            QCOMPARE(back.getPointLevel(c, 0), levelAt(*src, a));
        }
    }

    // ---- load refusals ----

    void loadRefused_data()
    {
        QTest::addColumn<QByteArray>("part");
        QTest::addColumn<int>("offset");
        const QByteArray h = head(100, 1000, 10, 16);
        const QByteArray t0 = table(0, 1, {10, 20, 100});
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("bad magic") << head(100, 1000, 10, 16, "cvdaX") + t0 << 0;
        QTest::newRow("channel count") << head(100, 1000, 10, 32) + t0 << 0;
        QTest::newRow("channel number") << h + table(16, 0, {100}) << 0;
        QTest::newRow("duplicate head") << h + t0 + t0 << 0;
        QTest::newRow("bad channel head") << h + table(0, 0, {100}, -1, "##X") << 0;
        QTest::newRow("head with no entries") << h + table(0, 0, {}) + table(1, 0, {100}) << 0;
        QTest::newRow("cut short") << (h + t0).left(40 + 16 + 12) << 0;
        QTest::newRow("head cut short") << h + t0 + table(1, 0, {100}).left(9) << 0;
        QTest::newRow("more entries than the file") << h + table(0, 0, {100}, 1LL << 38) << 0;
        QTest::newRow("descending") << h + table(0, 0, {30, 20, 100}) << 0;
        QTest::newRow("entry past the count") << h + table(0, 0, {20, 150, 100}) << 0;
        QTest::newRow("no closing entry") << h + table(0, 0, {20, 30}) << 0;
        QTest::newRow("closing entry past the count") << h + table(0, 0, {20, 101}) << 0;
        QTest::newRow("rate 0") << head(100, 0, 10, 16) + t0 << 0;
        QTest::newRow("rate above 1 THz") << head(100, 1000000000001LL, 10, 16) + t0 << 0;
        QTest::newRow("count 0") << head(0, 1000, 0, 16) + table(0, 0, {0}) << 0;
        QTest::newRow("offset past the end") << h + t0 << 500;
        QTest::newRow("offset into the head") << h + t0 << 3;
    }
    void loadRefused()
    {
        QFETCH(QByteArray, part);
        QFETCH(int, offset);
        const QString f = path("bad.cvdat");
        QVERIFY(TestEnv::writeFile(f, part));
        SmpData s(16);
        fillReference(s);   // whatever it held goes
        QVERIFY(!DataFile(&s).loadData(f, offset, true));
        QCOMPARE(s.smpDepth, 0LL);
        for (int c = 0; c < 16; ++c)
            QVERIFY(!s.chnData[c]);
    }

    void loadAccepts_data()
    {
        QTest::addColumn<QByteArray>("part");
        QTest::addColumn<long long>("trigger");
        // A saved sub-range may end before the trigger.
        QTest::newRow("trigger beyond the count")
            << head(100, 1000, 5000, 16) + table(2, 1, {10, 100}) << 5000LL;
        QTest::newRow("no channel") << head(100, 1000, 10, 16) << 10LL;
        QTest::newRow("rate 1 THz") << head(100, 1000000000000LL, 0, 16) + table(0, 0, {100}) << 0LL;
    }
    void loadAccepts()
    {
        QFETCH(QByteArray, part);
        QFETCH(long long, trigger);
        const QString f = path("good.cvdat");
        QVERIFY(TestEnv::writeFile(f, part));
        SmpData s(16);
        QVERIFY(DataFile(&s).loadData(f, 0, true));
        QCOMPARE(s.smpDepth, 100LL);
        QCOMPARE(s.trgPosition, trigger);
    }

    // The load filters on its own thread: the window gets the store ready.
    void loadedCaptureIsFiltered()
    {
        const QString f = path("filtered.cvdat");
        QVERIFY(TestEnv::writeFile(f, head(100, 1000, 0, 16) + table(2, 1, {10, 12, 100})));
        SmpData s(16);
        s.filterWidth[2] = 3;
        QVERIFY(DataFile(&s).loadData(f, 0, true));
        QVERIFY(s.chnDataRaw[2]);
        QCOMPARE(entriesOf(s, 2), QVector<long long>{100});
    }

    // ---- time text ----

    void timeTextCases_data()
    {
        QTest::addColumn<long long>("rate");
        QTest::addColumn<long long>("trigger");
        QTest::addColumn<long long>("t");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("digits");
        QTest::newRow("1 Hz") << 1LL << 10LL << 13LL << "3." << 0;
        QTest::newRow("1 Hz before") << 1LL << 10LL << 8LL << "-2." << 0;
        QTest::newRow("1 MHz") << 1000000LL << 0LL << 1234567LL << "1.234567" << 6;
        QTest::newRow("1 MHz before the trigger") << 1000000LL << 10LL << 5LL << "-0.000005" << 6;
        QTest::newRow("1 MHz at the trigger") << 1000000LL << 10LL << 10LL << "0.000000" << 6;
        QTest::newRow("200 MHz") << 200000000LL << 0LL << 1LL << "0.000000005" << 9;
        QTest::newRow("12.5 MHz") << 12500000LL << 0LL << 1LL << "0.00000008" << 8;
        QTest::newRow("32 MHz") << 32000000LL << 0LL << 1LL << "0.00000003125" << 11;
        QTest::newRow("3 MHz") << 3000000LL << 0LL << 1LL << "0.000000333333" << 12;
        QTest::newRow("3 MHz whole") << 3000000LL << 0LL << 3000000LL << "1.000000000000" << 12;
        QTest::newRow("7 Hz, 1e10 samples") << 7LL << 0LL << 10000000000LL << "1428571428.571428571428" << 12;
        QTest::newRow("odd rate past 64 bits") << 987654321LL << 0LL << 987654320LL << "0.999999998987" << 12;
        QTest::newRow("last 40-bit sample at 1 Hz") << 1LL << 0LL << SMP_POS_MAX << "1099511627775." << 0;
        QTest::newRow("1 THz") << 1000000000000LL << 0LL << 1LL << "0.000000000001" << 12;
    }
    void timeTextCases()
    {
        QFETCH(long long, rate);
        QFETCH(long long, trigger);
        QFETCH(long long, t);
        QFETCH(QString, text);
        QFETCH(int, digits);
        QCOMPARE(timeText(rate, trigger, t), text);
        QCOMPARE(SmpTimeExport(rate, trigger).fractionDigits(), digits);
    }

    // An export asks for ascending samples and reuses the previous answer:
    // it must say what a fresh object says, across the trigger and whole
    // seconds, and also when the order is broken.
    void timeTextSequence()
    {
        std::mt19937_64 rng(5);
        for (long long rate : {7LL, 1000LL, 3000000LL, 987654321LL}) {
            const long long origin = 2 * rate + 3;
            SmpTimeExport reused(rate, origin);
            long long t = 0;
            for (int i = 0; i < 3000; ++i) {
                t += (long long)(rng() % (i % 100 == 99 ? 5 * rate : 1 + rate / 3));
                if (i % 500 == 499)
                    t = (long long)(rng() % (4 * rate));   // out of order
                char buf[SmpTimeExport::MaxChars];
                const QString got = QString::fromLatin1(buf, reused.toString(t, buf));
                QCOMPARE(got, timeText(rate, origin, t));
            }
        }
    }

    // ---- export against a brute-force oracle ----

    void exportsMatchOracle_data()
    {
        QTest::addColumn<int>("seed");
        QTest::addColumn<int>("chnNum");
        for (int seed = 1; seed <= 4; ++seed)
            QTest::addRow("16 channels %d", seed) << seed << 16;
        QTest::newRow("9 channels") << 5 << 9;
        QTest::newRow("32 channels") << 6 << 32;
        QTest::newRow("3 channels") << 7 << 3;
        QTest::newRow("20 channels: 3 bytes a sample") << 8 << 20;
        QTest::newRow("64 channels") << 9 << 64;
    }
    void exportsMatchOracle()
    {
        QFETCH(int, seed);
        QFETCH(int, chnNum);
        std::mt19937_64 rng(seed);
        const long long depth = 200 + (long long)(rng() % 3000);
        const QVector<Chn> chns = randomChannels(rng, chnNum, depth, 60);
        SmpData s(chnNum);
        const long long rate = QVector<long long>{1000000, 200000000, 3000000, 7}[int(rng() % 4)];
        fill(s, depth, rate, (long long)(rng() % depth), chns);
        long long a = (long long)(rng() % depth), b = (long long)(rng() % depth);
        if (a > b)
            std::swap(a, b);
        QVector<bool> sel(chnNum);
        QStringList names;
        for (int c = 0; c < chnNum; ++c) {
            sel[c] = rng() % 3 != 0;
            names << QString("ch %1").arg(c);
        }
        auto level = [&](int c, long long t) {
            for (const Chn& x : chns)
                if (x.chn == c)
                    return levelAt(x, t);
            return 0;   // no data
        };

        QVERIFY(DataFile(&s).exportCSV(path("o.csv"), sel, names, a, b, true));
        QStringList expect;
        QString hdr = "Time[s]";
        for (int c = 0; c < chnNum; ++c)
            if (sel[c])
                hdr += ", " + names[c];
        expect << hdr;
        for (long long t = a; t <= b; ++t) {
            bool change = t == a;
            for (int c = 0; c < chnNum && !change; ++c)
                change = sel[c] && level(c, t) != level(c, t - 1);
            if (!change)
                continue;
            QString line = timeText(rate, s.trgPosition, t);
            for (int c = 0; c < chnNum; ++c)
                if (sel[c])
                    line += ", " + QString::number(level(c, t));
            expect << line;
        }
        QCOMPARE(QString::fromUtf8(TestEnv::readFile(path("o.csv"))), expect.join('\n') + '\n');

        QVERIFY(DataFile(&s).exportBin(path("o.bin"), sel, a, b, true));
        const int width = (chnNum + 7) / 8;
        QByteArray bin;
        for (long long t = a; t <= b; ++t) {
            unsigned long long w = 0;
            for (int c = 0; c < chnNum; ++c)
                if (sel[c])
                    w |= (unsigned long long)level(c, t) << c;
            for (int k = 0; k < width; ++k)
                bin += char(w >> (8 * k));
        }
        QCOMPARE(TestEnv::readFile(path("o.bin")).toHex(), bin.toHex());
        QCOMPARE(TestEnv::partFiles(tmp.path()), QStringList());
    }

    // Exports are made in segments on several threads (binary: 2^16
    // samples; CSV: cut at every few thousandth edge of each channel):
    // changes on and around the segment borders, a range that starts inside
    // a segment, every byte width.
    void exportsAcrossSegments_data()
    {
        QTest::addColumn<int>("chnNum");
        QTest::newRow("8 channels") << 8;
        QTest::newRow("16 channels") << 16;
        QTest::newRow("20 channels") << 20;
    }
    void exportsAcrossSegments()
    {
        QFETCH(int, chnNum);
        const long long depth = (1LL << 20) + (1LL << 17) + 17;
        QVector<Chn> chns;
        std::mt19937_64 rng(chnNum);
        for (int c : {0, 3, chnNum - 1}) {
            Chn ch{c, c % 2, {}};
            QSet<long long> set;
            for (long long k = 1; k <= 9; ++k)
                for (long long d : {-1LL, 0LL, 1LL})
                    set.insert((1LL << 17) * k + d + c % 2);
            for (int i = 0; i < 1000; ++i)
                set.insert(1 + (long long)(rng() % (depth - 1)));
            ch.edges = set.values().toVector();
            std::sort(ch.edges.begin(), ch.edges.end());
            chns << ch;
        }
        SmpData s(chnNum);
        fill(s, depth, 1000000, 12345, chns);
        const long long a = (1LL << 17) - 3, b = depth - 2;
        QVector<bool> sel(chnNum, true);
        QVERIFY(DataFile(&s).exportCSV(path("seg.csv"), sel, QVector<QString>(chnNum, "c").toList(), a, b, true));
        QVERIFY(DataFile(&s).exportBin(path("seg.bin"), sel, a, b, true));

        // The oracle walks the edges once.
        std::vector<std::vector<long long>> edges;
        for (const Chn& c : chns)
            edges.emplace_back(c.edges.begin(), c.edges.end());
        std::vector<size_t> next(chns.size(), 0);
        unsigned long long levels = 0;
        auto advance = [&](long long t) {
            for (size_t i = 0; i < edges.size(); ++i)
                while (next[i] < edges[i].size() && edges[i][next[i]] <= t) {
                    levels ^= 1ULL << chns[int(i)].chn;
                    ++next[i];
                }
        };
        for (const Chn& c : chns)
            levels |= (unsigned long long)c.level << c.chn;
        advance(a);
        const QByteArray binBytes = TestEnv::readFile(path("seg.bin"));
        const unsigned char* bin = reinterpret_cast<const unsigned char*>(binBytes.constData());
        const int width = (chnNum + 7) / 8;
        QCOMPARE(binBytes.size(), int((b - a + 1) * width));
        const QList<QByteArray> lines = TestEnv::readFile(path("seg.csv")).split('\n');
        int line = 1;
        unsigned long long before = ~0ULL;
        for (long long t = a; t <= b; ++t) {
            advance(t);
            unsigned long long got = 0;
            for (int k = 0; k < width; ++k)
                got |= (unsigned long long)bin[(t - a) * width + k] << (8 * k);
            if (got != levels)
                QFAIL(qPrintable(QString("bin sample %1: %2, expected %3").arg(t).arg(got, 0, 16).arg(levels, 0, 16)));
            if (levels != before) {
                QString expect = timeText(1000000, 12345, t);
                for (int c = 0; c < chnNum; ++c)
                    expect += ", " + QString::number((levels >> c) & 1);
                if (QString::fromLatin1(lines.value(line)) != expect)
                    QFAIL(qPrintable(QString("csv line %1: %2, expected %3").arg(line).arg(QString(lines.value(line))).arg(expect)));
                ++line;
                before = levels;
            }
        }
        QCOMPARE(line, lines.size() - 1);   // the text ends with a line break
    }

    void csvNamesQuoted()
    {
        SmpData s(16);
        fillReference(s);
        QVector<bool> sel(16, false);
        sel[1] = sel[3] = sel[6] = true;
        QStringList names;
        for (int c = 0; c < 16; ++c)
            names << QString("n%1").arg(c);
        names[1] = "a,b";
        names[3] = "say \"hi\"";
        names[6] = "two\nlines";
        QVERIFY(DataFile(&s).exportCSV(path("q.csv"), sel, names, 0, 49, true));
        const QByteArray csv = TestEnv::readFile(path("q.csv"));
        QVERIFY(csv.startsWith("Time[s], \"a,b\", \"say \"\"hi\"\"\", \"two\nlines\"\n"));
    }

    // One selected channel: how its name heads its column. A reader that
    // skips the blank after each ", " (or trims fields) gets every name back.
    void csvNameField_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("field");
        QTest::newRow("plain") << "CLK" << QByteArray("CLK");
        QTest::newRow("inner blank") << "Channel 0" << QByteArray("Channel 0");
        QTest::newRow("empty") << "" << QByteArray("");
        QTest::newRow("comma") << "a,b" << QByteArray("\"a,b\"");
        QTest::newRow("quote") << "say \"hi\"" << QByteArray("\"say \"\"hi\"\"\"");
        QTest::newRow("line feed") << "two\nlines" << QByteArray("\"two\nlines\"");
        QTest::newRow("carriage return") << "a\rb" << QByteArray("\"a\rb\"");
        QTest::newRow("leading blank") << " a" << QByteArray("\" a\"");
        QTest::newRow("trailing blank") << "a " << QByteArray("\"a \"");
        QTest::newRow("blanks only") << "  " << QByteArray("\"  \"");
        QTest::newRow("leading tab") << "\tCLK" << QByteArray("\"\tCLK\"");
        QTest::newRow("trailing tab") << "CLK\t" << QByteArray("\"CLK\t\"");
        QTest::newRow("not ASCII") << QString::fromUtf8("时钟 1") << QByteArray("时钟 1");
        QTest::newRow("not ASCII, trailing blank") << QString::fromUtf8("时钟 ") << QByteArray("\"时钟 \"");
    }
    void csvNameField()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, field);
        SmpData s(16);
        fillReference(s);
        QVector<bool> sel(16, false);
        sel[4] = true;
        QStringList names;
        for (int c = 0; c < 16; ++c)
            names << QString("n%1").arg(c);
        names[4] = name;
        QVERIFY(DataFile(&s).exportCSV(path("f.csv"), sel, names, 0, 49, true));
        const QByteArray csv = TestEnv::readFile(path("f.csv"));
        const QByteArray header = "Time[s], " + field + '\n';
        QCOMPARE(csv.left(header.size()), header);
    }

    void emptyStoreRefused()
    {
        SmpData s(16);
        const QVector<bool> sel(16, true);
        QVERIFY(TestEnv::writeFile(path("e.part"), QByteArray()));
        QVERIFY(!DataFile(&s).saveData(path("e.part"), sel, 0, 10, true));
        QVERIFY(!DataFile(&s).exportCSV(path("e.csv"), sel, QStringList(), 0, 10, true));
        QVERIFY(!DataFile(&s).exportBin(path("e.bin"), sel, 0, 10, true));
        QVERIFY(!QFile::exists(path("e.csv")) && !QFile::exists(path("e.bin")));
    }

    // ---- an independent reader ----

    void pythonReader()
    {
        const QString script = TestEnv::dataPath("../tools/cvdat_check.py");
        QVERIFY(QFile::exists(script));
        std::mt19937_64 rng(11);
        const long long depth = 4000;
        const QVector<Chn> chns = randomChannels(rng, 16, depth, 80);
        SmpData s(16);
        fill(s, depth, 12500000, 1500, chns);
        QVector<bool> sel(16, true);
        sel[2] = sel[9] = false;
        QStringList names, selected;
        for (int c = 0; c < 16; ++c)
            names << QString("Channel %1").arg(c);
        // Names a plain split at ", " or a trimming reader would change.
        names[0] = " lead";
        names[1] = "trail ";
        names[3] = "a, b";
        names[4] = "say \"hi\", then";
        names[5] = "two\nlines";
        QJsonArray selectedNames;
        for (int c = 0; c < 16; ++c) {
            if (sel[c]) {
                selected << QString::number(c);
                selectedNames << names[c];
            }
        }
        const long long a = 1000, b = 3499;
        QVERIFY(TestEnv::writeFile(path("py.cvdat"), "<?xml version=\"1.0\"?>\n<settings><global/></settings>\r\n\n"));
        QVERIFY(DataFile(&s).saveData(path("py.cvdat"), sel, a, b, true));
        QVERIFY(DataFile(&s).exportCSV(path("py.csv"), sel, names, a, b, true));
        QVERIFY(DataFile(&s).exportBin(path("py.bin"), sel, a, b, true));

        QProcess p;
        p.start("python3", {script, path("py.cvdat"), "--csv", path("py.csv"), "--bin", path("py.bin"),
                            "--selected", selected.join(',')});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
        QCOMPARE(o["count"].toDouble(), double(b - a + 1));
        QCOMPARE(o["rate"].toDouble(), 12500000.0);
        QCOMPARE(o["trigger"].toDouble(), 500.0);
        QCOMPARE(o["chnCount"].toInt(), 16);
        QCOMPARE(o["csv"].toString(), QString("ok"));
        QCOMPARE(o["csvNames"].toArray(), selectedNames);
        QCOMPARE(o["bin"].toString(), QString("ok"));
        const QJsonObject tables = o["channels"].toObject();
        for (const Chn& c : chns) {
            const QJsonObject t = tables[QString::number(c.chn)].toObject();
            QCOMPARE(t.isEmpty(), !sel[c.chn]);
            if (!sel[c.chn])
                continue;
            QCOMPARE(t["level"].toInt(), levelAt(c, a));
            QVector<long long> entries;
            for (const QJsonValue& v : t["entries"].toArray())
                entries << (long long)v.toDouble();
            QCOMPARE(entries, expectedEntries(c, a, b));
        }
    }

    // ---- failed writes ----

    void failedWritesKeepTheOldFile()
    {
        std::mt19937_64 rng(3);
        SmpData s(16);
        fill(s, 200000, 1000000, 0, randomChannels(rng, 16, 200000, 20000));
        const QVector<bool> sel(16, true);
        const QStringList names = QVector<QString>(16, "x").toList();
        for (const char* name : {"old.csv", "old.bin"})
            QVERIFY(TestEnv::writeFile(path(name), "the file that was there"));
        {
            FileSizeLimit limit(100000);
            QVERIFY(!DataFile(&s).exportCSV(path("old.csv"), sel, names, 0, 199999, true));
            QVERIFY(!DataFile(&s).exportBin(path("old.bin"), sel, 0, 199999, true));
            QVERIFY(TestEnv::writeFile(path("short.cvdat"), "<settings/>\n"));
            QVERIFY(!DataFile(&s).saveData(path("short.cvdat"), sel, 0, 199999, true));
        }
        QCOMPARE(TestEnv::readFile(path("old.csv")), QByteArray("the file that was there"));
        QCOMPARE(TestEnv::readFile(path("old.bin")), QByteArray("the file that was there"));
        QCOMPARE(TestEnv::partFiles(tmp.path()), QStringList());
        // Nowhere to write: refused before any work.
        QVERIFY(!DataFile(&s).exportCSV(tmp.filePath("no/such/dir/x.csv"), sel, names, 0, 10, true));
    }


    // ---- threaded jobs ----

    void threadedExport_data()
    {
        QTest::addColumn<int>("mode");   // 0 waits, 1 the user cancels, 2 a store change aborts it
        QTest::newRow("runs to the end") << 0;
        QTest::newRow("cancelled") << 1;
        QTest::newRow("aborted") << 2;
    }
    void threadedExport()
    {
        QFETCH(int, mode);
        // Above the CSV threshold: every sample of channel 0 changes.
        SmpData s(16);
        Chn c{0, 0, {}};
        for (long long i = 1; i < 250000; ++i)
            c.edges << i;
        fill(s, 250000, 1000000, 0, {c});
        QVector<bool> sel(16, false);
        sel[0] = true;
        QVERIFY(TestEnv::writeFile(path("t.csv"), "before"));

        int lastPercent = -1;
        bool sawThreaded = false;
        bool runningSeen = false;
        DataFile::progressView = [&](DataFile* job) {
            sawThreaded = job->isThreaded();
            runningSeen = DataFile::jobRunning();
            QObject ctx;
            connect(job, &DataFile::sigReportProgress, &ctx, [&](int p) { lastPercent = p; });
            if (mode == 1)
                return;   // the user gave up at once
            if (mode == 2) {
                DataFile::abortRunning();
                QVERIFY(job->isJobDone());
                return;
            }
            QTRY_VERIFY_WITH_TIMEOUT(job->isJobDone() && lastPercent == 100, 60000);
        };
        DataFile job(&s);
        const bool ok = job.exportCSV(path("t.csv"), sel, QVector<QString>(16, "c").toList(), 0, 249999, false);
        QVERIFY(sawThreaded);
        QVERIFY(runningSeen);
        QVERIFY(!DataFile::jobRunning());
        QCOMPARE(ok, mode == 0);
        const QByteArray out = TestEnv::readFile(path("t.csv"));
        if (mode == 0)
            QCOMPARE(out.count('\n'), 250001);
        else
            QCOMPARE(out, QByteArray("before"));
        QCOMPARE(TestEnv::partFiles(tmp.path()), QStringList());
    }

    void threadedLoad_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("loads") << false;
        QTest::newRow("cancelled") << true;
    }
    void threadedLoad()
    {
        QFETCH(bool, cancel);
        // A file above the load threshold: one channel of 10^7 entries.
        const long long n = 10000000;
        QByteArray part = head(n, 100000000, 0, 16) + table(4, 1, {}, n);
        part.reserve(part.size() + int(n * 5));
        unsigned char e[8];
        for (long long i = 1; i <= n; ++i) {
            DataFile::int64ToByte5(i, e);
            part.append(reinterpret_cast<const char*>(e), 5);
        }
        const QString f = path("big.cvdat");
        QVERIFY(TestEnv::writeFile(f, part));
        part.clear();
        DataFile::progressView = [cancel](DataFile* job) {
            if (!cancel)
                QTRY_VERIFY_WITH_TIMEOUT(job->isJobDone(), 120000);
        };
        SmpData s(16);
        QCOMPARE(DataFile(&s).loadData(f, 0), !cancel);
        QCOMPARE(s.smpDepth, cancel ? 0LL : n);
        if (!cancel) {
            QCOMPARE(s.getPointLevel(4, 0), 1);
            QCOMPARE(s.getPointLevel(4, n - 1), int((1 + (n - 1)) % 2));   // n - 1 edges passed
        } else {
            QVERIFY(!s.chnData[4]);
        }
    }
};

QTEST_MAIN(TestDataFile)
#include "test_datafile.moc"
