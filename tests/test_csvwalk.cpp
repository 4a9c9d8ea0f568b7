// The CSV walk of sparse and dense captures against the edges themselves,
// and the free-space check every writer makes before it writes.
#include <QtTest>

#include <map>
#include <random>

#include "data/DataFile.h"
#include "data/SmpData.h"
#include "support/CaptureKit.h"
#include "support/FileSizeLimit.h"
#include "support/TestEnv.h"

class TestCsvWalk : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;

    QString path(const QString& name) const { return tmp.filePath(name); }

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        QVERIFY(tmp.isValid());
    }

    void cleanup()
    {
        DataFile::freeSpace = nullptr;
    }

    // The CSV walk merges the channels' edges where they are sparse and
    // scans spans of samples where they are dense, and cuts its segments at
    // edges: long quiet runs, bursts, edges that cancel at one sample and
    // channels with enough edges for many segments, against the edges
    // themselves.
    void csvSparseAndDense_data()
    {
        QTest::addColumn<int>("chnNum");
        QTest::addColumn<int>("layout");
        QTest::addColumn<long long>("depth");
        QTest::newRow("bursts between quiet runs") << 16 << 0 << 1000000000LL;
        QTest::newRow("bursts, 64 channels") << 64 << 0 << 300000000LL;
        QTest::newRow("edges that cancel") << 8 << 1 << 5000000LL;
        QTest::newRow("dense then sparse, several segments") << 32 << 2 << 5000000LL;
        QTest::newRow("one edge in 10^11 samples") << 16 << 3 << 100000000000LL;
    }
    void csvSparseAndDense()
    {
        QFETCH(int, chnNum);
        QFETCH(int, layout);
        QFETCH(long long, depth);
        std::mt19937_64 rng(layout * 100 + chnNum);
        QVector<Chn> chns;
        for (int c : {0, 1, chnNum / 2, chnNum - 1}) {
            Chn ch{c, c % 2, {}};
            if (layout == 0) {
                // Bursts of a few thousand samples, a change every few samples.
                for (long long at = 1000 + c; at + 5000 < depth; at += depth / 7) {
                    for (long long p = at; p < at + 1500; p += 1 + (long long)(rng() % 5))
                        ch.edges << p;
                    ch.edges << at + 1500 + depth / 50;   // and one alone
                }
            } else if (layout == 1) {
                // Pairs at one sample (no change) among single edges.
                for (long long p = 7 + c; p < depth - 1; p += 1 + (long long)(rng() % 40000)) {
                    ch.edges << p;
                    if (rng() % 3 == 0)
                        ch.edges << p;
                }
            } else if (layout == 2) {
                for (long long p = 1 + c; p < 40000; p += 2 + (long long)(rng() % 3))
                    ch.edges << p;
                for (long long p = 100000 + c; p < depth - 1; p += 1000 + (long long)(rng() % 1000))
                    ch.edges << p;
            } else if (c == chnNum / 2) {
                ch.edges << depth - 12345;
            }
            chns << ch;
        }
        SmpData s(chnNum);
        fill(s, depth, 200000000, depth / 3, chns);
        QVector<bool> sel(chnNum, true);
        sel[1] = false;
        const long long a = layout == 3 ? 0 : 3001, b = depth - 2;
        QVERIFY(DataFile(&s).exportCSV(path("sd.csv"), sel, QVector<QString>(chnNum, "c").toList(), a, b, true));

        // Each entry flips its channel; lines where the selection changes.
        std::map<long long, unsigned long long> flips;
        unsigned long long levels = 0;
        for (const Chn& c : chns) {
            levels |= (unsigned long long)c.level << c.chn;
            for (long long e : c.edges)
                (e <= a ? levels : flips[e]) ^= 1ULL << c.chn;
        }
        unsigned long long mask = 0;
        for (int c = 0; c < chnNum; ++c)
            mask |= (unsigned long long)sel[c] << c;
        QStringList expect{QString("Time[s]") + QString(", c").repeated(chnNum - 1)};
        auto line = [&](long long t) {
            QString l = timeText(200000000, depth / 3, t);
            for (int c = 0; c < chnNum; ++c)
                if (sel[c])
                    l += ", " + QString::number((levels >> c) & 1);
            expect << l;
        };
        line(a);
        for (const auto& f : flips) {
            if (f.first > b)
                break;
            levels ^= f.second;
            if (f.second & mask)
                line(f.first);
        }
        const QList<QByteArray> got = TestEnv::readFile(path("sd.csv")).split('\n');
        QCOMPARE(got.size(), expect.size() + 1);   // the text ends with a line break
        for (int i = 0; i < expect.size(); ++i)
            if (QString::fromLatin1(got[i]) != expect[i])
                QFAIL(qPrintable(QString("csv line %1: %2, expected %3").arg(i).arg(QString(got[i])).arg(expect[i])));
    }

    // Before writing, a job compares its size (exact for the data part and
    // the binary export, a bound for CSV) with the free space of the
    // target's file system, and refuses what does not fit without writing.
    void refusedWhenFull_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<long long>("slack");   // free space = the bytes written + slack
        QTest::addColumn<bool>("accepted");
        QTest::newRow("data part, exact room") << "x.cvdat" << 0LL << true;
        QTest::newRow("data part, a byte short") << "x.cvdat" << -1LL << false;
        QTest::newRow("binary, exact room") << "x.bin" << 0LL << true;
        QTest::newRow("binary, a byte short") << "x.bin" << -1LL << false;
        QTest::newRow("csv, room for the bound") << "x.csv" << 10000LL << true;
        QTest::newRow("csv, a byte short") << "x.csv" << -1LL << false;
    }
    void refusedWhenFull()
    {
        QFETCH(QString, name);
        QFETCH(long long, slack);
        QFETCH(bool, accepted);
        SmpData s(16);
        fillReference(s);
        const QVector<bool> sel(16, true);
        const QStringList names = QVector<QString>(16, "c").toList();
        QTemporaryDir dir;
        const QString file = dir.filePath(name);
        auto run = [&] {
            DataFile job(&s);
            if (name.endsWith(".cvdat"))
                return job.saveData(file, sel, 3, 44, true);
            if (name.endsWith(".csv"))
                return job.exportCSV(file, sel, names, 3, 44, true);
            return job.exportBin(file, sel, 3, 44, true);
        };
        QVERIFY(TestEnv::writeFile(file, "old"));
        QVERIFY(run());
        const qint64 need = QFileInfo(file).size() - (name.endsWith(".cvdat") ? 3 : 0);
        QVERIFY(TestEnv::writeFile(file, "old"));
        QString asked;
        DataFile::freeSpace = [&](const QString& folder) {
            asked = folder;
            return need + slack;
        };
        QCOMPARE(run(), accepted);
        DataFile::freeSpace = nullptr;
        QCOMPARE(asked, QDir(dir.path()).absolutePath());
        if (!accepted)
            QCOMPARE(TestEnv::readFile(file), QByteArray("old"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
    }

    // A capture that claims 2^40 samples: its binary export (5.5 TB over 32
    // channels) is refused at once with a few gigabytes free.
    void hugeBinaryRefused()
    {
        SmpData s(32);
        fill(s, SMP_POS_MAX, 1000000, 0, {{0, 0, {5, 1000}}});
        DataFile::freeSpace = [](const QString&) { return qint64(10) << 30; };
        FileSizeLimit limit(1 << 20);   // should the check fail, the write stops here
        QVERIFY(!DataFile(&s).exportBin(path("huge.bin"), QVector<bool>(32, true), 0, SMP_POS_MAX - 1, true));
        DataFile::freeSpace = nullptr;
        QVERIFY(!QFile::exists(path("huge.bin")));
        QCOMPARE(TestEnv::partFiles(tmp.path()), QStringList());
    }
};

QTEST_MAIN(TestCsvWalk)
#include "test_csvwalk.moc"
