#include <QtTest>

#include <QRandomGenerator>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "AnalyzerResults.h"
#include "RefuseThreads.h"
#include "decode/AnalyzerDataGen.h"
#include "decode/AnalyzerManager.h"

namespace {

// Rows read "<name><start sample>"; every frame is 5 samples long.
class NamedResults : public AnalyzerResults {
public:
    explicit NamedResults(const std::string& n) : name(n) {}
    void GenerateBubbleText(U64, Channel&, DisplayBase) override {}
    void GenerateExportFile(const char*, DisplayBase, U32) override {}
    void GenerateFrameTabularText(U64 frame_index, DisplayBase) override
    {
        ClearTabularText();
        std::string v = std::to_string(GetFrame(frame_index).mStartingSampleInclusive);
        AddTabularText(name.c_str(), v.c_str());
    }
    void GeneratePacketTabularText(U64, DisplayBase) override {}
    void GenerateTransactionTabularText(U64, DisplayBase) override {}

    void add(S64 start, bool commit = true, S64 end = -1)
    {
        Frame f;
        f.mStartingSampleInclusive = start;
        f.mEndingSampleInclusive = end < 0 ? start + 5 : end;
        AddFrame(f);
        if (commit)
            CommitResults();
    }

    std::string name;
};

// The host as the generator sees it: a modification flag and the shown
// analyzers.
struct Host {
    std::atomic<bool> modify{false};
    std::vector<std::unique_ptr<NamedResults>> results;

    NamedResults* add(const QString& spec) // "A:10,20,30"
    {
        const QStringList parts = spec.split(':');
        auto r = std::make_unique<NamedResults>(parts.at(0).toStdString());
        if (parts.size() > 1 && !parts.at(1).isEmpty())
            for (const QString& s : parts.at(1).split(','))
                {
            const QStringList se = s.split('-'); // "start" or "start-end"
            r->add(se.at(0).toLongLong(), true, se.size() > 1 ? se.at(1).toLongLong() : -1);
        }
        results.push_back(std::move(r));
        return results.back().get();
    }
    std::function<void()> ack()
    {
        return [this]() { modify.store(false); };
    }
    AnalyzerDataGen::ShownSource source()
    {
        return [this]() {
            QVector<AnalyzerDataGen::Shown> v;
            for (auto& r : results)
                v.append({r.get(), 2});
            return v;
        };
    }
};

struct Page {
    QStringList rows;
    qint64 first = -1;
    qint64 total = -1;
    bool selected = false;
    int selRow = -1;
};

// Serves one request and returns the page it rests on. The generator's
// signals are received queued, on this thread, as the panel receives them.
class Driver {
public:
    explicit Driver(AnalyzerDataGen* g)
    {
        QObject::connect(g, &AnalyzerDataGen::listChanged, &ctx,
                         [this](bool isDone, QStringList list, bool isSelected, int sel) {
                             cur.rows = list;
                             cur.selected = isSelected;
                             cur.selRow = sel;
                             if (isDone) {
                                 last = cur;
                                 ++dones;
                             }
                         }, Qt::QueuedConnection);
        QObject::connect(g, &AnalyzerDataGen::listTotalChanged, &ctx,
                         [this](qint64 first, qint64 total, int) {
                             cur.first = first;
                             cur.total = total;
                         }, Qt::QueuedConnection);
    }

    template <typename F>
    bool serve(F request, Page* page)
    {
        const int before = dones;
        request();
        QElapsedTimer t;
        t.start();
        while (dones == before && t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        *page = last;
        return dones != before;
    }
    QStringList lastRows() const { return last.rows; }

private:
    QObject ctx;
    Page cur;
    Page last;
    int dones = 0;
};

struct Key {
    S64 start;
    int src;
    U64 idx;
    QString text;
};

} // namespace

class TestAnalyzerDataGen : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { refuseThreads(0); }
    void paging_data();
    void paging();
    void pagesAgainstOracle_data();
    void pagesAgainstOracle();
    void pointsAndSelection();
    void onlyCommittedFrames();
    void readWhileDecoderAppends();
    void handshakeDropsEarlierRequests();
    void shorterPageIsMadeAgain();
    void refusedThread();
};

// Frames per analyzer, rows per page, search text, range start, then the
// scroll requests made one after the other; the page the last one rests on.
void TestAnalyzerDataGen::paging_data()
{
    QTest::addColumn<QStringList>("analyzers");
    QTest::addColumn<int>("rpp");
    QTest::addColumn<QString>("search");
    QTest::addColumn<double>("rangeStart");
    QTest::addColumn<QList<qint64>>("scrolls");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("total");

    const QStringList tied{"A:10,20,30", "B:10,20,30"};
    QTest::newRow("tied starts, forward")
        << tied << 3 << "" << 0.0 << QList<qint64>{} << QStringList{"A10", "B10", "A20"} << qint64(0) << qint64(6);
    QTest::newRow("tied starts, scrolled forward")
        << tied << 3 << "" << 0.0 << QList<qint64>{1} << QStringList{"B10", "A20", "B20"} << qint64(1) << qint64(6);
    QTest::newRow("tied starts, reached backward")
        << tied << 3 << "" << 26.0 << QList<qint64>{1} << QStringList{"B10", "A20", "B20"} << qint64(1) << qint64(6);
    QTest::newRow("tied starts, backward to the top")
        << tied << 3 << "" << 26.0 << QList<qint64>{3, 0} << QStringList{"A10", "B10", "A20"} << qint64(0) << qint64(6);
    QTest::newRow("range in the middle")
        << tied << 3 << "" << 26.0 << QList<qint64>{} << QStringList{"A30", "B30"} << qint64(4) << qint64(6);
    QTest::newRow("short backward scroll repeats nothing")
        << tied << 3 << "" << 26.0 << QList<qint64>{3} << QStringList{"B20", "A30", "B30"} << qint64(3) << qint64(6);
    QTest::newRow("short page, one row back")
        << tied << 4 << "" << 26.0 << QList<qint64>{3} << QStringList{"B20", "A30", "B30"} << qint64(3) << qint64(6);
    QTest::newRow("scroll to row k")
        << QStringList{"A:1,2,3,4,5,6,7,8,9", "B:5"} << 3 << "" << 0.0 << QList<qint64>{5}
        << QStringList{"B5", "A6", "A7"} << qint64(5) << qint64(10);
    QTest::newRow("scroll to the end")
        << QStringList{"A:1,2,3,4,5,6,7,8,9", "B:5"} << 3 << "" << 0.0 << QList<qint64>{10}
        << QStringList{} << qint64(10) << qint64(10);
    QTest::newRow("scroll past the total is ignored")
        << QStringList{"A:1,2,3"} << 2 << "" << 0.0 << QList<qint64>{4} << QStringList{"A1", "A2"} << qint64(0) << qint64(3);
    QTest::newRow("range after every frame of an analyzer")
        << QStringList{"A:10,20,30", "B:100,110,120"} << 3 << "" << 50.0 << QList<qint64>{}
        << QStringList{"B100", "B110", "B120"} << qint64(3) << qint64(6);
    QTest::newRow("long frame overlapping the range start leads")
        << QStringList{"A:2-20", "B:5,8"} << 3 << "" << 15.0 << QList<qint64>{}
        << QStringList{"A2", "B5", "B8"} << qint64(0) << qint64(3);
    QTest::newRow("tied starts, search, stepped backward")
        << tied << 3 << "0" << 0.0 << QList<qint64>{4, 1} << QStringList{"B10", "A20", "B20"} << qint64(1) << qint64(6);
    QTest::newRow("search counts each match once")
        << QStringList{"A:1,2,3,4,5,6", "b:1,2,3,4,5,6"} << 2 << "B" << 0.0 << QList<qint64>{}
        << QStringList{"b1", "b2"} << qint64(0) << qint64(6);
    QTest::newRow("search count after scrolling down and up")
        << QStringList{"A:1,2,3,4,5,6", "b:1,2,3,4,5,6"} << 2 << "b" << 0.0 << QList<qint64>{3, 1}
        << QStringList{"b2", "b3"} << qint64(1) << qint64(6);
    QTest::newRow("search, scroll to row k")
        << QStringList{"A:1,2,3,4,5,6", "b:1,2,3,4,5,6"} << 2 << "b" << 0.0 << QList<qint64>{4}
        << QStringList{"b5", "b6"} << qint64(4) << qint64(6);
    QTest::newRow("search matching nothing")
        << tied << 3 << "zzz" << 0.0 << QList<qint64>{} << QStringList{} << qint64(0) << qint64(0);
    QTest::newRow("range end 0") << tied << 3 << "" << -1.0 << QList<qint64>{} << QStringList{} << qint64(0) << qint64(0);
    QTest::newRow("analyzer without frames") << QStringList{"A:", "B:7"} << 3 << "" << 0.0 << QList<qint64>{}
                                             << QStringList{"B7"} << qint64(0) << qint64(1);
}

void TestAnalyzerDataGen::paging()
{
    QFETCH(QStringList, analyzers);
    QFETCH(int, rpp);
    QFETCH(QString, search);
    QFETCH(double, rangeStart);
    QFETCH(QList<qint64>, scrolls);

    Host host;
    for (const QString& a : analyzers)
        host.add(a);
    AnalyzerDataGen gen(host.ack(), host.source());
    Driver drv(&gen);
    gen.slotRowNumChanged(rpp);
    const double end = rangeStart < 0 ? 0.0 : 1000.0;
    Page page;
    QVERIFY(drv.serve([&] { gen.reStart(search, qMax(0.0, rangeStart), end); }, &page));
    for (qint64 k : scrolls) {
        if (k > page.total) { // ignored: no wake-up follows
            gen.begFrameChanged(k);
            continue;
        }
        QVERIFY(drv.serve([&] { gen.begFrameChanged(k); }, &page));
    }
    QTEST(page.rows, "rows");
    QTEST(page.first, "first");
    QTEST(page.total, "total");
}

// Random analyzers with many tied starts: every page, reached by restart,
// by forward or backward scrolls, with and without a search text, is the
// slice of the brute-force merged (and filtered) sequence.
void TestAnalyzerDataGen::pagesAgainstOracle_data()
{
    QTest::addColumn<QString>("search");
    QTest::newRow("all rows") << QString();
    QTest::newRow("search") << QString("3");
}

void TestAnalyzerDataGen::pagesAgainstOracle()
{
    QFETCH(QString, search);
    QRandomGenerator rng(1234);
    Host host;
    std::vector<Key> keys;
    const char* names[] = {"P", "Q", "R"};
    for (int s = 0; s < 3; ++s) {
        NamedResults* r = host.add(QString(names[s]) + ":");
        S64 at = rng.bounded(20);
        int n = 30 + rng.bounded(40);
        for (int i = 0; i < n; ++i) {
            at += rng.bounded(4); // many equal starts within and across analyzers
            r->add(at);
            keys.push_back({at, s, U64(i), QString(names[s]) + QString::number(at)});
        }
    }
    std::stable_sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        return a.start != b.start ? a.start < b.start : a.src < b.src;
    });
    QStringList all;
    for (const Key& k : keys)
        if (search.isEmpty() || k.text.contains(search, Qt::CaseInsensitive))
            all << k.text;

    AnalyzerDataGen gen(host.ack(), host.source());
    Driver drv(&gen);
    const int rpp = 7;
    gen.slotRowNumChanged(rpp);
    Page page;
    QVERIFY(drv.serve([&] { gen.reStart(search, 0, 1000); }, &page));
    QCOMPARE(page.total, qint64(all.size()));
    QCOMPARE(page.rows, all.mid(0, rpp));

    for (int i = 0; i < 40; ++i) {
        qint64 k = rng.bounded(all.size() + 1);
        QVERIFY(drv.serve([&] { gen.begFrameChanged(k); }, &page));
        QCOMPARE(page.first, k);
        QCOMPARE(page.total, qint64(all.size()));
        QCOMPARE(page.rows, all.mid(int(k), rpp));
    }
    if (search.isEmpty()) {
        // A restart in the middle: the page starts at the first frame that
        // overlaps the range, and its number fits the merged sequence.
        for (int i = 0; i < 10; ++i) {
            double at = rng.bounded(int(keys.back().start) + 1);
            QVERIFY(drv.serve([&] { gen.reStart(QString(), at, 1000); }, &page));
            QVERIFY(page.first >= 0 && page.first <= all.size());
            QCOMPARE(page.rows, all.mid(int(page.first), rpp));
            qint64 k = qMax<qint64>(0, page.first - 1 - rng.bounded(5));
            QVERIFY(drv.serve([&] { gen.begFrameChanged(k); }, &page));
            QCOMPARE(page.rows, all.mid(int(k), rpp));
        }
    }
}

void TestAnalyzerDataGen::pointsAndSelection()
{
    Host host;
    host.add("A:10,20,30,40,50");
    AnalyzerDataGen gen(host.ack(), host.source());
    Driver drv(&gen);
    gen.slotRowNumChanged(2);
    Page page;
    QVERIFY(drv.serve([&] { gen.reStart(QString(), 0, 1000); }, &page));
    QCOMPARE(gen.getSmpPoint(1).start, qint64(20));
    QCOMPARE(gen.getSmpPoint(1).end, qint64(25));
    QCOMPARE(gen.getSmpPoint(2).start, qint64(0)); // past the rows
    QCOMPARE(gen.getSmpPoint(-1).end, qint64(0));
    QVERIFY(!page.selected);

    gen.setSelected(1); // absolute row 1
    QVERIFY(drv.serve([&] { gen.begFrameChanged(1); }, &page));
    QVERIFY(page.selected);
    QCOMPARE(page.selRow, 0);
    QCOMPARE(gen.getSmpPoint(0).start, qint64(20));

    // updateTable keeps the selection, reStart drops it.
    QVERIFY(drv.serve([&] { gen.updateTable(QString(), 0, 1000); }, &page));
    QVERIFY(page.selected);
    QCOMPARE(page.selRow, 1);
    QVERIFY(drv.serve([&] { gen.reStart(QString(), 0, 1000); }, &page));
    QVERIFY(!page.selected);
}

void TestAnalyzerDataGen::onlyCommittedFrames()
{
    Host host;
    NamedResults* r = host.add("A:1,2,3");
    r->add(4, false);
    r->add(5, false); // added, not committed
    AnalyzerDataGen gen(host.ack(), host.source());
    Driver drv(&gen);
    gen.slotRowNumChanged(10);
    Page page;
    QVERIFY(drv.serve([&] { gen.reStart(QString(), 0, 1000); }, &page));
    QCOMPARE(page.rows, (QStringList{"A1", "A2", "A3"}));
    QCOMPARE(page.total, qint64(3));
    r->CommitResults();
    QVERIFY(drv.serve([&] { gen.updateTable(QString(), 0, 1000); }, &page));
    QCOMPARE(page.total, qint64(5));
    QCOMPARE(page.rows.size(), 5);
}

// A decoder thread appends and commits while pages are requested: every
// page is an unbroken run of committed frames and the total never runs
// ahead of what was committed.
void TestAnalyzerDataGen::readWhileDecoderAppends()
{
    Host host;
    NamedResults* r = host.add("A:");
    std::atomic<bool> stop{false};
    std::atomic<U64> committed{0};
    std::thread decoder([&] {
        for (S64 i = 0; i < 200000 && !stop.load(); ++i) {
            r->add(i, false);
            if (i % 97 == 0) {
                r->CommitResults();
                committed.store(U64(i + 1));
            }
        }
        r->CommitResults();
    });
    AnalyzerDataGen gen(host.ack(), host.source());
    Driver drv(&gen);
    gen.slotRowNumChanged(16);
    Page page;
    for (int i = 0; i < 30; ++i) {
        const U64 before = committed.load();
        const bool searching = i % 3 == 2;
        QVERIFY(drv.serve([&] { gen.reStart(searching ? QString("a") : QString(), 0, 1e9); }, &page));
        QVERIFY(page.total >= qint64(before));
        QVERIFY(page.total <= qint64(r->GetNumFrames()));
        for (int k = 0; k < page.rows.size(); ++k)
            QCOMPARE(page.rows.at(k), QString("A%1").arg(page.first + k));
        if (page.total > 40)
            QVERIFY(drv.serve([&] { gen.begFrameChanged(page.total - 20); }, &page));
        for (int k = 0; k < page.rows.size(); ++k)
            QCOMPARE(page.rows.at(k), QString("A%1").arg(page.first + k));
    }
    stop.store(true);
    decoder.join();
}

// A request made right before the handshake names results the host is about
// to free: once the generator has acknowledged, it must not touch them.
void TestAnalyzerDataGen::handshakeDropsEarlierRequests()
{
    for (int round = 0; round < 50; ++round) {
        Host host;
        for (int s = 0; s < 3; ++s) {
            NamedResults* r = host.add(QString("X%1:").arg(s));
            for (int i = 0; i < 2000; ++i)
                r->add(i);
        }
        AnalyzerDataGen gen(host.ack(), host.source());
        gen.slotRowNumChanged(20);
        gen.reStart(round % 2 ? QString("x1") : QString(), 0, 1e6);
        if (round % 3 == 0)
            gen.begFrameChanged(0);
        // The host's handshake: raise, announce, wait for the acknowledgement.
        host.modify.store(true);
        gen.slotModifyPrepare();
        QElapsedTimer t;
        t.start();
        while (host.modify.load() && t.elapsed() < 10000)
            QThread::yieldCurrentThread();
        QVERIFY(!host.modify.load());
        host.results.clear(); // freed; any later read is caught by ASan

        host.add("N:1,2");
        Driver drv(&gen);
        gen.reStart(QString(), 0, 1000);
        QTRY_COMPARE(drv.lastRows(), (QStringList{"N1", "N2"}));
    }
}

void TestAnalyzerDataGen::shorterPageIsMadeAgain()
{
    Host host;
    host.add("A:1,2,3,4,5,6");
    AnalyzerDataGen gen(host.ack(), host.source());
    Driver drv(&gen);
    gen.slotRowNumChanged(4);
    Page page;
    QVERIFY(drv.serve([&] { gen.reStart(QString(), 0, 1000); }, &page));
    QCOMPARE(page.rows.size(), 4);
    gen.slotRowNumChanged(2);
    QVERIFY(drv.serve([&] { gen.begFrameChanged(1); }, &page));
    QCOMPARE(page.rows, (QStringList{"A2", "A3"}));
    gen.slotRowNumChanged(5);
    QVERIFY(drv.serve([&] { gen.begFrameChanged(1); }, &page));
    QCOMPARE(page.rows, (QStringList{"A2", "A3", "A4", "A5", "A6"}));
}

// Where the system refuses the generator's thread, the host's handshake is
// answered at once on the host's own thread, and a request made once threads
// are free again starts the thread, which fills the list.
void TestAnalyzerDataGen::refusedThread()
{
    refuseThreads(1);
    {
        // The host's change scopes wait for no thread.
        AnalyzerManager m;
        AnalyzerDataGen gen(&m);
        QVERIFY(!gen.isRunning());
        m.startDecode();
        QVERIFY(!m.isModifyAnly());
        AnalyzerManager::clearAnalyzerResult();
        QVERIFY(!m.isModifyAnly());
    }

    Host host;
    host.add("A:1,2,3");
    AnalyzerDataGen gen(host.ack(), host.source());
    Driver drv(&gen);
    gen.slotRowNumChanged(5);
    QVERIFY(!gen.isRunning());
    // A request tries the thread again: still refused.
    gen.reStart(QString(), 0, 1000);
    gen.begFrameChanged(0);
    QVERIFY(!gen.isRunning());
    host.modify.store(true);
    gen.slotModifyPrepare();
    QVERIFY(!host.modify.load());

    // Threads are free: the next request starts the thread and is served.
    refuseThreads(0);
    gen.begFrameChanged(0);
    QVERIFY(gen.isRunning());
    gen.reStart(QString(), 0, 1000);
    QTRY_COMPARE(drv.lastRows(), (QStringList{"A1", "A2", "A3"}));
    // The handshake is the thread's again.
    host.modify.store(true);
    gen.slotModifyPrepare();
    QTRY_VERIFY(!host.modify.load());
    host.add("B:2");
    gen.reStart(QString(), 0, 1000);
    QTRY_COMPARE(drv.lastRows(), (QStringList{"A1", "A2", "B2", "A3"}));
}

QTEST_GUILESS_MAIN(TestAnalyzerDataGen)
#include "test_analyzerdatagen.moc"
