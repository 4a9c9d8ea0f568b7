#include <QtTest>

#include <algorithm>
#include <random>

#include "config/Config.h"
#include "data/SmpData.h"
#include "support/SmpKit.h"
#include "support/TestEnv.h"

namespace {

// Per-sample definition of the glitch filter: a run (between two entries,
// or from sample 0 to the first) no longer than the width takes the level of
// the last longer run before it; runs before the first longer run take that
// run's level; without any longer run the channel keeps its start level.
QVector<int> filterBySamples(const Entries& entries, int init, long long width)
{
    const long long depth = entries.last();
    QVector<int> runLevel, runLong;
    QVector<long long> runEnd;
    long long prev = 0;
    for (int j = 0; j < entries.size(); ++j) {
        runLevel.append((init + j) & 1);
        runLong.append(entries[j] - prev > width);
        runEnd.append(entries[j]);
        prev = entries[j];
    }
    int firstLong = -1;
    for (int j = 0; j < runLong.size() && firstLong < 0; ++j)
        if (runLong[j])
            firstLong = j;
    QVector<int> out(static_cast<int>(depth));
    int cur = firstLong < 0 ? init : runLevel[firstLong];
    long long t = 0;
    for (int j = 0; j < entries.size(); ++j) {
        if (runLong[j])
            cur = runLevel[j];
        for (; t < runEnd[j]; ++t)
            out[int(t)] = cur;
    }
    return out;
}

// The filter rule entry by entry, as a plain list walk (the reference for
// tables too long to check sample by sample). Returns the entries and sets
// *init to the start level.
Entries filterByEntries(const Entries& src, int* init, long long width)
{
    Entries out;
    long long prev = 0, k = 0;
    for (long long pos : src) {
        if (pos - prev <= width) {
            ++k;
        } else {
            if (k == 0) {
                out.append(pos);
            } else if (out.isEmpty()) {
                *init ^= int(k & 1);
                out.append(pos);
            } else if (k & 1) {
                out.last() = pos;
            } else {
                out.last() = prev;
                out.append(pos);
            }
            k = 0;
        }
        prev = pos;
    }
    if (k > 0) {
        if (out.isEmpty())
            out.append(prev);
        else
            out.last() = prev;
    }
    return out;
}

QVector<int> samplesOf(const DigitalChnData* d)
{
    const Entries e = entriesOf(d);
    QVector<int> out(static_cast<int>(e.last()));
    int level = d->initLevel;
    long long t = 0;
    for (int j = 0; j < e.size(); ++j) {
        for (; t < e[j]; ++t)
            out[int(t)] = level;
        level ^= 1;
    }
    return out;
}

} // namespace

class TestSmpDataFilter : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        Config::init();
    }

    void filterMatchesSampleDefinition()
    {
        std::mt19937_64 rng(7);
        for (int round = 0; round < 400; ++round) {
            const unsigned width = 1 + unsigned(rng() % 12);
            const int count = int(rng() % 60);
            Entries edges;
            long long pos = rng() % (width + 2);   // often within the width of sample 0
            for (int i = 0; i < count; ++i) {
                edges.append(pos);
                pos += 1 + (long long)(rng() % (3 * width));
            }
            const long long depth = pos + (long long)(rng() % (width + 2));
            const int init = int(rng() & 1);
            SmpData s(1);
            fillChannel(s, 0, edges, depth, init);
            DigitalChnData* out = SmpData::newChnData();
            QVERIFY(SmpData::dataFilter(s.chnData[0], out, width));
            const Entries src = entriesOf(s.chnData[0]);
            const QVector<int> expect = filterBySamples(src, init, width);
            const QVector<int> got = samplesOf(out);
            const Entries outEntries = entriesOf(out);
            const QString ctx = QString("round %1 width %2").arg(round).arg(width);
            QVERIFY2(got == expect, qPrintable(ctx));
            QVERIFY2(outEntries.last() == depth, qPrintable(ctx));
            // Entries are exactly the level changes: no vanishing pulses left.
            for (int j = 0; j + 1 < outEntries.size(); ++j) {
                QVERIFY2(outEntries[j] > 0 && outEntries[j] < depth, qPrintable(ctx));
                QVERIFY2(expect[int(outEntries[j])] != expect[int(outEntries[j] - 1)], qPrintable(ctx));
            }
            SmpData::clearOneChn(out);
        }
    }

    void filterCases_data()
    {
        QTest::addColumn<Entries>("edges");
        QTest::addColumn<int>("init");
        QTest::addColumn<int>("width");
        QTest::addColumn<Entries>("expect");
        QTest::addColumn<int>("expectInit");
        QTest::newRow("pulse of w removed") << Entries{50, 55} << 0 << 5 << Entries{100} << 0;
        QTest::newRow("pulse of w+1 kept") << Entries{50, 56} << 0 << 5 << Entries{50, 56, 100} << 0;
        QTest::newRow("burst of three pulses") << Entries{50, 52, 54, 56, 58, 60} << 0 << 3
                                               << Entries{100} << 0;
        QTest::newRow("odd burst moves edge") << Entries{50, 52, 54} << 0 << 3 << Entries{54, 100} << 0;
        QTest::newRow("edge near the end") << Entries{50, 98} << 1 << 5 << Entries{50, 100} << 1;
        QTest::newRow("edge near sample 0") << Entries{2, 50} << 0 << 5 << Entries{50, 100} << 1;
        QTest::newRow("two edges near sample 0") << Entries{1, 3, 50} << 0 << 5 << Entries{50, 100} << 0;
        QTest::newRow("edge at sample 0") << Entries{0, 40, 80} << 1 << 5 << Entries{40, 80, 100} << 0;
    }
    void filterCases()
    {
        QFETCH(Entries, edges);
        QFETCH(int, init);
        QFETCH(int, width);
        QFETCH(Entries, expect);
        QFETCH(int, expectInit);
        SmpData s(1);
        fillChannel(s, 0, edges, 100, init);
        const unsigned widths[1] = {unsigned(width)};
        QVERIFY(s.modifyFilter(widths));
        QCOMPARE(entriesOf(s.chnData[0]), expect);
        QCOMPARE(s.chnData[0]->initLevel, expectInit);
        QVERIFY(s.checkData());
    }

    void filterLifecycle()
    {
        SmpData s(2);
        QVERIFY(s.dataConvertStart(0, 1000, {true, true}));
        for (long long e : {10, 12, 30, 31, 60})
            s.appendEdge(0, e);
        s.appendEdge(1, 44);
        s.smpDepth = 80;
        QVERIFY(s.dataConvertComplete(80));
        DigitalChnData* orig = s.chnData[0];
        const Entries origEntries = entriesOf(orig);

        // Same widths: nothing changes.
        unsigned widths[2] = {0, 0};
        QVERIFY(s.modifyFilter(widths));
        QCOMPARE(s.chnData[0], orig);
        QVERIFY(!s.chnDataRaw[0]);

        s.filterWidth[0] = 3;
        s.updateFilter();
        DigitalChnData* filtered = s.chnData[0];
        QCOMPARE(s.chnDataRaw[0], orig);
        QCOMPARE(entriesOf(filtered), Entries({60, 80}));
        // Announced again (a stopped repeat capture): neither filtered twice
        // nor the unfiltered copy lost.
        s.updateFilter();
        QCOMPARE(s.chnData[0], filtered);
        QCOMPARE(s.chnDataRaw[0], orig);
        QCOMPARE(entriesOf(s.chnDataRaw[0]), origEntries);
        QVERIFY(!s.chnDataRaw[1]);   // width 0: untouched

        // New width filters the original, not the filtered table.
        widths[0] = 1;
        QVERIFY(s.modifyFilter(widths));
        QCOMPARE(s.chnDataRaw[0], orig);
        QCOMPARE(entriesOf(s.chnData[0]), Entries({10, 12, 60, 80}));
        // Width 0 restores the exact unfiltered table.
        widths[0] = 0;
        QVERIFY(s.modifyFilter(widths));
        QCOMPARE(s.chnData[0], orig);
        QVERIFY(!s.chnDataRaw[0]);
        QCOMPARE(entriesOf(s.chnData[0]), origEntries);
        QCOMPARE(s.filterWidth[0], 0u);

        // The width taken but the channel left unfiltered (a run that ran out
        // of memory): the same width again filters it.
        s.filterWidth[0] = 1;
        widths[0] = 1;
        QVERIFY(s.modifyFilter(widths));
        QCOMPARE(s.chnDataRaw[0], orig);
        QCOMPARE(entriesOf(s.chnData[0]), Entries({10, 12, 60, 80}));

        // A channel without data only takes the width.
        SmpData e(2);
        widths[0] = 4;
        QVERIFY(e.modifyFilter(widths));
        QCOMPARE(e.filterWidth[0], 4u);
        e.updateFilter();
        QVERIFY(!e.chnData[0]);
    }

    void filterOverBlocks()
    {
        std::mt19937_64 rng(11);
        long long depth;
        const Entries edges = randomEdges(rng, 3 * SMP_BLOCK_ENTRIES, 6, &depth);
        SmpData s(1);
        fillChannel(s, 0, edges, depth, 0);
        const unsigned widths[1] = {3};
        QVERIFY(s.modifyFilter(widths));
        QVERIFY(s.checkData());
        QCOMPARE(samplesOf(s.chnData[0]), filterBySamples(entriesOf(s.chnDataRaw[0]), 0, 3));
    }

    // Long tables: bursts across block borders and across the 2^32 border of
    // the high byte, and several channels filtered at once, against the
    // plain list walk.
    void filterLongTables_data()
    {
        QTest::addColumn<long long>("first");
        QTest::addColumn<int>("chns");
        QTest::addColumn<int>("edges");
        QTest::addColumn<unsigned>("width");
        QTest::newRow("over blocks") << 5LL << 1 << 3 * SMP_BLOCK_ENTRIES << 4u;
        QTest::newRow("over the high byte") << (1LL << 32) - 200000 << 1 << 2 * SMP_BLOCK_ENTRIES << 7u;
        QTest::newRow("channels at once") << 0LL << 4 << 700000 << 2u;
        // Long enough to be filtered in pieces on several threads.
        QTest::newRow("one channel in pieces") << 7LL << 1 << 2200000 << 3u;
        QTest::newRow("pieces over the high byte") << (1LL << 32) - 9000000 << 1 << 2200000 << 2u;
        QTest::newRow("pieces, everything suppressed") << 0LL << 1 << 2200000 << 64u;
    }
    void filterLongTables()
    {
        QFETCH(long long, first);
        QFETCH(int, chns);
        QFETCH(int, edges);
        QFETCH(unsigned, width);
        std::mt19937_64 rng(first + chns);
        SmpData s(chns);
        QVERIFY(s.dataConvertStart(0, 1000000, QVector<bool>(chns, true)));
        long long depth = 0;
        QVector<Entries> src(chns);
        for (int c = 0; c < chns; ++c) {
            long long pos = first;
            for (int i = 0; i < edges; ++i) {
                src[c].append(pos);
                // Mostly short gaps: bursts of every length, odd and even
                // (and none longer than a width of 64).
                const long long most = std::min<long long>(2 * width, 16);
                pos += 1 + (long long)(rng() % (rng() % 4 == 0 ? 4 * most : most));
            }
            depth = std::max(depth, pos);
            s.setInitLevel(c, c & 1);
            for (long long e : src[c])
                QVERIFY(s.appendEdge(c, e));
        }
        s.smpDepth = depth;
        QVERIFY(s.dataConvertComplete(depth));
        QVector<unsigned> widths(chns, width);
        QVERIFY(s.modifyFilter(widths.data()));
        QVERIFY(s.checkData());
        for (int c = 0; c < chns; ++c) {
            int init = c & 1;
            const Entries expect = filterByEntries(src[c] + Entries{depth}, &init, width);
            QCOMPARE(entriesOf(s.chnData[c]), expect);
            QCOMPARE(s.chnData[c]->initLevel, init);
            QVERIFY(s.indexMatchesTable(c));
        }
        // Pieces side by side or one thread: the same table.
        DigitalChnData* one = SmpData::newChnData();
        QVERIFY(SmpData::dataFilter(s.chnDataRaw[0], one, width, 1));
        DigitalChnData* many = SmpData::newChnData();
        QVERIFY(SmpData::dataFilter(s.chnDataRaw[0], many, width, 3));
        QCOMPARE(entriesOf(many), entriesOf(one));
        QCOMPARE(many->initLevel, one->initLevel);
        SmpData::clearOneChn(one);
        SmpData::clearOneChn(many);
    }

    void filterSettingsKeys_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QVector<unsigned>>("expect");
        QTest::newRow("mode 0") << "0" << "1,5,1,6," << QVector<unsigned>{0, 0, 0, 0};
        QTest::newRow("mode 1") << "1" << "1,5,0,20,1,999," << QVector<unsigned>{5, 0, 999, 0};
        QTest::newRow("odd tail") << "1" << "1,5,1" << QVector<unsigned>{5, 0, 0, 0};
        QTest::newRow("more pairs than channels") << "1" << "1,1,1,2,1,3,1,4,1,5,1,6"
                                                   << QVector<unsigned>{1, 2, 3, 4};
        QTest::newRow("garbage") << "x" << "1,5" << QVector<unsigned>{0, 0, 0, 0};
    }
    void filterSettingsKeys()
    {
        QFETCH(QString, mode);
        QFETCH(QString, settings);
        QFETCH(QVector<unsigned>, expect);
        Config::saveGlobalParam("glitchFilterMode", mode);
        Config::saveGlobalParam("glitchFilterSettings", settings);
        SmpData s(4);
        for (int c = 0; c < 4; ++c)
            QCOMPARE(s.filterWidth[c], expect[c]);
        Config::saveGlobalParam("glitchFilterMode", "0");
    }
};


QTEST_MAIN(TestSmpDataFilter)
#include "test_smpdata_filter.moc"
