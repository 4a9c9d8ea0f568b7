#include <QtTest>

#include "data/SmpData.h"

// Edges at every even sample: entry k (flat index) lies at 2k, so every
// answer has a closed form.
class TestSmpDataGroup : public QObject
{
    Q_OBJECT
private slots:
    void acrossGroupBorder()
    {
        const long long edges = SMP_GROUP_ENTRIES;   // + the closing entry opens group 2
        const long long depth = 2 * edges;
        SmpData s(1);
        QVERIFY(s.dataConvertStart(0, 1000000, {true}));
        for (long long k = 0; k < edges; ++k)
            if (!s.appendEdge(0, 2 * k))
                QFAIL("append failed");
        s.smpDepth = depth;
        QVERIFY(s.dataConvertComplete(depth));
        const DigitalChnData* d = s.chnData[0];
        QCOMPARE(d->groupNum, 2);
        QCOMPARE(d->group[0]->blockNum, int(SMP_GROUP_BLOCKS));
        QCOMPARE(d->group[1]->blockNum, 1);
        QCOMPARE(d->group[1]->block[0]->posNum, 1);
        QCOMPARE(SmpData::entryCount(d), edges + 1);
        QVERIFY(s.checkData());

        // Entry k at 2k: the first entry above p is k = p/2 + 1 (p even) or (p+1)/2.
        auto located = [&](long long p) { return p == depth ? edges : p / 2 + 1; };
        for (long long p : {0LL, 1LL, depth - 3, depth - 2, depth - 1, depth, 2LL * SMP_BLOCK_ENTRIES - 1,
                            2 * (SMP_GROUP_ENTRIES - SMP_BLOCK_ENTRIES)}) {
            QCOMPARE(s.getPointLevel(0, p), int(located(p) & 1));
            QCOMPARE(s.getNextEdgePoint(0, p), located(p) == edges ? depth : 2 * located(p));
            QCOMPARE(s.getPreEdgePoint(0, p), 2 * (located(p) - 1));
        }
        QCOMPARE(s.getTwoPointEdgeNum(0, 0, depth), edges - 1);
        QCOMPARE(s.getNextEdgeType(0, depth - 1), -1);

        // A cursor walk across the border.
        DigitalDataSubs c;
        QCOMPARE(s.locateSmpPoint(0, depth - 5, &c), int(located(depth - 5) & 1));
        QCOMPARE(s.getCurRecordPoint(0, &c), depth - 4);
        QCOMPARE(s.getNextRecordPoint(0, &c), depth - 2);
        QCOMPARE(s.locateNextSmpPoint(0, depth, &c), int(edges & 1));
        QCOMPARE(c.group, 1);
        QCOMPARE(c.index, 0);
        QCOMPARE(s.getPreRecordPoint(0, &c), depth - 2);

        // Display rows over the border at a few zooms.
        QVector<WaveLine> w(1920);
        for (double scale : {0.5, 3.0, 1000.0, 1e6}) {
            const int n = s.getWaveLineData(0, depth - 900.5 * scale, scale, 1920, w.data());
            QVERIFY(n > 0 && n <= 1920);
            for (int i = 1; i < n; ++i)
                QVERIFY(w[i].x >= w[i - 1].x + w[i - 1].width);
        }

        // Filtering keeps the table well formed over the border.
        const unsigned width[1] = {1};
        QVERIFY(s.modifyFilter(width));
        QVERIFY(s.checkData());
    }
};

QTEST_MAIN(TestSmpDataGroup)
#include "test_smpdata_group.moc"
