// Where the system refuses new threads: what the starters tell their
// callers, and the work that runs on fewer threads.
#include <QtTest>

#include <atomic>
#include <thread>

#include "RefuseThreads.h"
#include "data/Threads.h"

class TestThreadRefusal : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { refuseThreads(0); }

    void startersSayRefused()
    {
        refuseThreads(1);
        std::thread t;
        std::atomic<bool> ran{false};
        QVERIFY(!Threads::start(t, [&] { ran = true; }));
        QVERIFY(!t.joinable());
        QThread* q = QThread::create([&] { ran = true; });
        QVERIFY(!Threads::start(q));
        QVERIFY(q->wait(0));
        delete q;
        QVERIFY(!ran);
        QVERIFY(refusedThreads() >= 2);

        refuseThreads(0);
        QVERIFY(Threads::start(t, [&] { ran = true; }));
        t.join();
        QVERIFY(ran);
        ran = false;
        q = QThread::create([&] { ran = true; });
        QVERIFY(Threads::start(q));
        QVERIFY(q->wait(10000));
        delete q;
        QVERIFY(ran);
    }

    // Every share runs, on the calling thread when no helper starts.
    void parallelWorkRunsOnFewerThreads()
    {
        for (int refuse = 0; refuse < 2; ++refuse) {
            refuseThreads(refuse);
            QVector<int> done(100, 0);
            Threads::runParallel(done.size(), 8, [&](int i) { done[i] += 1; });
            QCOMPARE(done, QVector<int>(100, 1));
        }
    }

    // A kept helper the system refused is not waited for; once threads are
    // free again the next job starts it.
    void poolRunsOnFewerThreads()
    {
        Threads::Pool pool(4);
        const struct {
            int refuse;
            int helpers;
        } steps[] = {{1, 0}, {0, 4}, {1, 4}};
        for (const auto& step : steps) {
            refuseThreads(step.refuse);
            QVector<int> done(1000, 0);
            std::atomic<int> next{0};
            pool.run(4, [&] {
                for (int i = next++; i < done.size(); i = next++)
                    done[i] += 1;
            });
            QCOMPARE(done, QVector<int>(1000, 1));
            QCOMPARE(pool.helperCount(), step.helpers);
        }
    }
};

QTEST_GUILESS_MAIN(TestThreadRefusal)
#include "test_thread_refusal.moc"
