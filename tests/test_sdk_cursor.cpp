// Analyzer library: the channel cursor's inline steps against the edge list
// they walk, at every kind of place where a step leaves its block: the last
// edge of a block or group, empty blocks, the closing entry alone in a block
// or group, and the end of the data. Also when a stop request is seen.

#include <QtTest>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "Analyzer.h"

namespace {

// Entries per block, one list per group: the layout of a table.
typedef std::vector<std::vector<int>> Layout;

// A channel table of the given layout holding the edges and then the
// closing entry (the layout's entry count is edges + 1). Blocks of any size
// up to the full one, empty ones included.
struct LaidTable {
    DigitalChnData* chn;
    LaidTable(const Layout& layout, const std::vector<int64_t>& edges, int64_t end, int initLevel)
        : chn(static_cast<DigitalChnData*>(std::calloc(1, sizeof(DigitalChnData))))
    {
        std::vector<int64_t> all = edges;
        all.push_back(end);
        size_t k = 0;
        chn->initLevel = initLevel;
        chn->groupNum = int32_t(layout.size());
        for (size_t g = 0; g < layout.size(); ++g) {
            auto* grp = static_cast<DigitalDataGroup*>(std::calloc(1, sizeof(DigitalDataGroup)));
            chn->group[g] = grp;
            grp->blockNum = int32_t(layout[g].size());
            for (size_t b = 0; b < layout[g].size(); ++b) {
                auto* blk = static_cast<DigitalDataBlock*>(std::calloc(1, sizeof(DigitalDataBlock)));
                grp->block[b] = blk;
                for (int i = 0; i < layout[g][b]; ++i, ++k) {
                    blk->posLow[i] = uint32_t(all[k]);
                    blk->posHigh[i] = uint8_t(all[k] >> 32);
                    grp->blockLastPos[b] = all[k];
                    chn->groupLastPos[g] = all[k];
                }
                blk->posNum = layout[g][b];
            }
        }
    }
    ~LaidTable()
    {
        for (int g = 0; g < chn->groupNum; ++g) {
            for (int b = 0; b < chn->group[g]->blockNum; ++b)
                std::free(chn->group[g]->block[b]);
            std::free(chn->group[g]);
        }
        std::free(chn);
    }
};

int entries(const Layout& layout)
{
    int n = 0;
    for (const auto& g : layout)
        for (int b : g)
            n += b;
    return n;
}

class FnAnalyzer : public Analyzer {
public:
    ~FnAnalyzer() override { KillThread(); }
    void WorkerThread() override { work(*this); }
    U32 GenerateSimulationData(U64, U32, SimulationChannelDescriptor**) override { return 0; }
    U32 GetMinimumSampleRateHz() override { return 1; }
    const char* GetAnalyzerName() const override { return "Test"; }
    std::function<void(FnAnalyzer&)> work;
};

// How a walk moves from one edge to the next.
enum Step { NextEdge, AbsOntoEdge, AdvanceByGap, ShortThenOnto };

} // namespace

Q_DECLARE_METATYPE(Layout)

class TestSdkCursor : public QObject {
    Q_OBJECT
private slots:
    void walksMatchEdgeList_data();
    void walksMatchEdgeList();
    void stopFromAnotherThreadEndsWithinBlock();
    void stopOnDecodeThreadEndsNextStep();
};

void TestSdkCursor::walksMatchEdgeList_data()
{
    QTest::addColumn<Layout>("layout");
    QTest::addColumn<int>("step");
    const QList<QPair<const char*, Layout>> layouts = {
        {"one block", {{6}}},
        {"closing entry alone in the last block", {{3, 3, 1}}},
        {"closing entry alone in the last group", {{2, 2}, {1}}},
        {"last edge ends a group", {{2, 3}, {2}}},
        {"one entry per block and group", {{1}, {1}, {1}, {1}}},
        {"empty blocks between and at the end", {{2, 0, 0, 3}, {0, 2, 0}, {1, 2}}},
        {"empty group", {{3}, {}, {2}}},
        {"no edge", {{1}}},
        {"full block then a short one", {{SMP_BLOCK_ENTRIES, 5}}},
    };
    const QList<QPair<const char*, Step>> steps = {
        {"AdvanceToNextEdge", NextEdge},
        {"AdvanceToAbsPosition onto the edge", AbsOntoEdge},
        {"Advance by the gap", AdvanceByGap},
        {"short of the edge, then onto it", ShortThenOnto},
    };
    for (const auto& l : layouts)
        for (const auto& s : steps)
            QTest::newRow(qPrintable(QString("%1, %2").arg(l.first, s.first))) << l.second << int(s.second);
}

void TestSdkCursor::walksMatchEdgeList()
{
    QFETCH(Layout, layout);
    QFETCH(int, step);
    // Gaps of 1 to 3 samples, so that a step of one sample may already
    // reach the next edge.
    std::vector<int64_t> edges;
    for (int i = 0, n = entries(layout) - 1; i < n; ++i)
        edges.push_back((edges.empty() ? 0 : edges.back()) + 1 + i % 3);
    const int64_t end = (edges.empty() ? 0 : edges.back()) + 2;
    LaidTable table(layout, edges, end, 1);
    DigitalChnData* tables[1] = {table.chn};
    DataForAnly data{tables, end, 1000000, 0, 1};

    FnAnalyzer a;
    std::vector<int64_t> seen;
    QString failure;
    a.work = [&](FnAnalyzer& self) {
        AnalyzerChannelData* c = self.GetAnalyzerChannelData(Channel(0, 0));
        for (size_t k = 0;; ++k) {
            const int64_t here = int64_t(c->GetSampleNumber());
            const bool more = k < edges.size();
            if (c->GetBitState() != BitState((1 + k) & 1) || c->DoMoreTransitionsExistInCurrentData() != more) {
                failure = QString("level or more-edges before edge %1").arg(k);
                return;
            }
            if (more) {
                const int64_t gap = edges[k] - here;
                if (int64_t(c->GetSampleOfNextEdge()) != edges[k] || c->WouldAdvancingCauseTransition(U32(gap - 1))
                    || !c->WouldAdvancingCauseTransition(U32(gap))
                    || c->WouldAdvancingToAbsPositionCauseTransition(U64(edges[k] - 1))
                    || !c->WouldAdvancingToAbsPositionCauseTransition(U64(edges[k]))) {
                    failure = QString("queries before edge %1").arg(k);
                    return;
                }
            } else if (c->WouldAdvancingCauseTransition(1000)) {
                failure = "an edge past the last one";
                return;
            }
            switch (Step(step)) {
            case NextEdge:
                c->AdvanceToNextEdge();
                break;
            case AbsOntoEdge:
                if (c->AdvanceToAbsPosition(c->GetSampleOfNextEdge()) != 1)
                    failure = QString("crossed count onto edge %1").arg(k);
                break;
            case AdvanceByGap: {
                const U32 gap = U32(c->GetSampleOfNextEdge() - c->GetSampleNumber());
                if (c->Advance(gap) != 1)
                    failure = QString("crossed count by gap to edge %1").arg(k);
                break;
            }
            case ShortThenOnto: {
                const U64 next = c->GetSampleOfNextEdge();
                if (c->AdvanceToAbsPosition(next - 1) != 0 || int64_t(c->GetSampleNumber()) != std::max(here, int64_t(next) - 1)
                    || c->AdvanceToAbsPosition(next) != 1)
                    failure = QString("short step before edge %1").arg(k);
                break;
            }
            }
            if (!failure.isEmpty())
                return;
            seen.push_back(int64_t(c->GetSampleNumber()));
        }
    };
    a.Init(&data, nullptr, nullptr);
    QVERIFY(a.StartProcessing());
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(a.GetRunEnd(), RunEndOfData);
    QCOMPARE(seen, edges);
}

void TestSdkCursor::stopFromAnotherThreadEndsWithinBlock()
{
    // Three blocks of 100 edges; the stop arrives from another thread while
    // the cursor is inside the first block.
    std::vector<int64_t> edges;
    for (int i = 1; i <= 300; ++i)
        edges.push_back(2 * i);
    LaidTable table({{100, 100, 101}}, edges, 602, 0);
    DigitalChnData* tables[1] = {table.chn};
    DataForAnly data{tables, 602, 1000000, 0, 1};

    FnAnalyzer a;
    int stepsAfterStop = -1;
    bool idleMoveReturned = false;
    a.work = [&](FnAnalyzer& self) {
        AnalyzerChannelData* c = self.GetAnalyzerChannelData(Channel(0, 0));
        for (int i = 0; i < 10; ++i)
            c->AdvanceToNextEdge();
        std::thread([&self] { self.StopWorkerThread(); }).join();
        stepsAfterStop = 0;
        for (;;) {
            c->AdvanceToNextEdge();
            ++stepsAfterStop;
        }
    };
    a.Init(&data, nullptr, nullptr);
    a.StartProcessing();
    QCOMPARE(a.GetRunEnd(), RunStopped);
    // Seen where the step leaves the block, not at the end of the data.
    QCOMPARE(stepsAfterStop, 89);

    // A move that passes no edge looks at the request at once.
    a.work = [&](FnAnalyzer& self) {
        AnalyzerChannelData* c = self.GetAnalyzerChannelData(Channel(0, 0));
        std::thread([&self] { self.StopWorkerThread(); }).join();
        c->Advance(1);
        idleMoveReturned = true;
    };
    a.InitialWorkerThread();
    a.StartProcessing();
    QCOMPARE(a.GetRunEnd(), RunStopped);
    QVERIFY(!idleMoveReturned);
}

void TestSdkCursor::stopOnDecodeThreadEndsNextStep()
{
    // In the middle of a block, with the entry after the next edge in the
    // same block: the steps that would stay on the inline path.
    std::vector<int64_t> edges = {3, 6, 9, 12, 15, 18};
    LaidTable table({{7}}, edges, 20, 0);
    DigitalChnData* tables[1] = {table.chn};
    DataForAnly data{tables, 20, 1000000, 0, 1};
    const QList<std::function<void(AnalyzerChannelData*)>> steps = {
        [](AnalyzerChannelData* c) { c->AdvanceToNextEdge(); },
        [](AnalyzerChannelData* c) { c->AdvanceToAbsPosition(c->GetSampleOfNextEdge()); },
        [](AnalyzerChannelData* c) { c->Advance(1); },
    };
    for (int i = 0; i < steps.size(); ++i) {
        FnAnalyzer a;
        bool returned = false;
        a.work = [&](FnAnalyzer& self) {
            AnalyzerChannelData* c = self.GetAnalyzerChannelData(Channel(0, 0));
            c->AdvanceToNextEdge();
            self.StopWorkerThread();
            steps[i](c);
            returned = true;
        };
        a.Init(&data, nullptr, nullptr);
        a.StartProcessing();
        QCOMPARE(a.GetRunEnd(), RunStopped);
        QVERIFY2(!returned, qPrintable(QString("step %1").arg(i)));

        // The next run starts without the request and steps inline again.
        a.work = [&](FnAnalyzer& self) {
            AnalyzerChannelData* c = self.GetAnalyzerChannelData(Channel(0, 0));
            for (;;)
                c->AdvanceToNextEdge();
        };
        a.InitialWorkerThread();
        a.StartProcessing();
        QCOMPARE(a.GetRunEnd(), RunEndOfData);
    }
}

QTEST_GUILESS_MAIN(TestSdkCursor)
#include "test_sdk_cursor.moc"
