// Where the system refuses new threads: the block pool gives idle memory
// back on the releasing thread, and the file jobs (save, load, CSV and
// binary export) run on fewer threads with the same bytes, or fail like
// any failed job when their own thread is refused, through the window's
// commands as through the remote ones.
#include <QtTest>

#include <QAction>
#include <QMenu>

#include "RefuseThreads.h"
#include "app/MainMenu.h"
#include "app/SocketAPI.h"
#include "app/mainwindow.h"
#include "config/Config.h"
#include "config/PartFile.h"
#include "data/DataFile.h"
#include "data/ExportDataSet.h"
#include "data/SmpAlloc.h"
#include "data/SmpData.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "support/TestEnv.h"
#include "widgets/ChnEnaGroupBox.h"

namespace {

// Above every threshold of the threaded jobs: the binary export's samples,
// and channel 0's 10^7 edges for the capture file's records and the size
// of the file a load reads.
constexpr long long kDepth = DataFile::ThreadBinSamples + 100;
// The CSV export's range: 200,000 changes and more.
constexpr long long kCsvEnd = 399999;

// The capture of these tests: channel 0 changes every second sample,
// channel 3 starts high and changes every 100,003 samples, channel 9 once.
void fillLarge(SmpData& s)
{
    QVector<bool> ena(s.chnNum, false);
    ena[0] = ena[3] = ena[9] = true;
    QVERIFY(s.dataConvertStart(0, 100000000, ena));
    s.setInitLevel(3, 1);
    for (long long p = 2; p < kDepth; p += 2)
        QVERIFY(s.appendEdge(0, p));
    for (long long p = 100003; p < kDepth; p += 100003)
        QVERIFY(s.appendEdge(3, p));
    QVERIFY(s.appendEdge(9, 12345));
    s.smpDepth = kDepth;
    s.trgPosition = 1000;
    QVERIFY(s.dataConvertComplete(kDepth));
}

enum Kind { Save, Load, Csv, Bin };
// How threads are refused: all of them to a direct job; a threaded job its
// own thread; a threaded job, once its thread has started, its helpers.
enum Refusal { Direct, JobThread, Helpers };

} // namespace

class TestDataFileThreads : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;
    const QVector<bool> all = QVector<bool>(16, true);
    QStringList names;
    QByteArray refSave, refCsv, refBin;   // the outputs without a refusal

    // The main window's seams.
    QStringList boxes;
    QStringList dialogs;
    QStringList nextPaths;

    QString path(const QString& name) const { return tmp.filePath(name); }
    static SmpData& shown() { return *devUsing->shownData(); }

    // A job on `target` as the window runs it: a capture file's data part
    // into the caller's part file, the exports through their own; a load
    // from the start of target.
    bool run(DataFile& job, Kind kind, const QString& target, bool direct)
    {
        switch (kind) {
        case Save: {
            PartFile part(target);
            return part.isValid() && job.saveData(part.path(), all, 0, kDepth - 1, direct) && part.commit();
        }
        case Load:
            return job.loadData(target, 0, direct);
        case Csv:
            return job.exportCSV(target, all, names, 0, kCsvEnd, direct);
        case Bin:
            return job.exportBin(target, all, 0, kDepth - 1, direct);
        }
        return false;
    }

    QByteArray reference(Kind kind) const
    {
        return kind == Csv ? refCsv : kind == Bin ? refBin : refSave;
    }

private slots:
    void initTestCase()
    {
        TestEnv::startProgram();
        QVERIFY(tmp.isValid());
        devUsing = DevBase::createDevice(DevModelDemo);
        fillLarge(shown());
        for (int c = 0; c < 16; ++c)
            names << QString("c%1").arg(c);
        for (Kind k : {Save, Csv, Bin}) {
            const QString f = path("reference");
            DataFile job(&shown());
            QVERIFY(run(job, k, f, true));
            (k == Save ? refSave : k == Csv ? refCsv : refBin) = TestEnv::readFile(f);
            QVERIFY(QFile::remove(f));
        }
        QVERIFY(refSave.size() >= DataFile::ThreadLoadBytes);
        QCOMPARE(refBin.size(), int(2 * kDepth));
        QVERIFY(refCsv.count('\n') > DataFile::ThreadCsvRecords);

        MainWindow::criticalBox = [this](QWidget*, const QString&, const QString& text) { boxes << text; };
        MainMenu::execDialog = [this](QDialog* d) {
            dialogs << d->metaObject()->className();
            if (auto* e = qobject_cast<ExportDataSet*>(d)) {
                e->digitalBox->slotChnEnaSelect(0, e->digitalBox->chnBoxes().size() - 1);
                e->accept();
                return e->result();
            }
            return int(QDialog::Rejected);   // a progress dialog: the user gives up at once
        };
        MainMenu::execMenu = [](QMenu*, const QPoint&) {};
        Config::fileDialog = [this](const Config::FileDialogRequest&) {
            return nextPaths.isEmpty() ? QString() : nextPaths.takeFirst();
        };
    }

    void cleanupTestCase()
    {
        MainWindow::criticalBox = nullptr;
        MainMenu::execDialog = nullptr;
        MainMenu::execMenu = nullptr;
        Config::fileDialog = nullptr;
        delete devUsing;
        devUsing = nullptr;
    }

    void cleanup()
    {
        refuseThreads(0);
        DataFile::progressView = nullptr;
    }

    // ---- the block pool ----

    // An idle region beyond the bound that no trimmer would come back for
    // goes at once, on the releasing thread; the next release starts the
    // trimmer after all, which keeps its region for the grace.
    void poolTrimsWithoutItsTrimmer()
    {
        SmpBlockPool pool(0, 600000);
        refuseThreads(1);
        void* a = pool.allocate(sizeof(DigitalDataBlock));
        QVERIFY(a);
        pool.release(a);
        QCOMPARE(pool.stats().regions, size_t(0));
        QCOMPARE(pool.stats().retainedBytes, size_t(0));
        refuseThreads(0);
        a = pool.allocate(sizeof(DigitalDataBlock));
        QVERIFY(a);
        pool.release(a);
        QCOMPARE(pool.stats().regions, size_t(1));
        QCOMPARE(pool.stats().retainedBytes, SmpBlockPool::kSlotBytes);
    }

    // Pages that no helper populates count only once handed out, and the
    // helpers are asked for again further on.
    void poolPrefaultsWithoutHelpers()
    {
        SmpBlockPool pool(SmpBlockPool::kRegionBytes, 600000);
        pool.setPrefaultBytes(size_t(4) << 20);
        std::vector<void*> v;
        refuseThreads(1);
        for (int i = 0; i < 8; ++i)
            v.push_back(pool.allocate(sizeof(DigitalDataBlock)));
        refuseThreads(0);
        for (void* p : v)
            pool.release(p);
        QCOMPARE(pool.stats().retainedBytes, 8 * SmpBlockPool::kSlotBytes);
        v.clear();
        for (int i = 0; i < 64; ++i)
            v.push_back(pool.allocate(sizeof(DigitalDataBlock)));
        for (void* p : v)
            pool.release(p);
        QVERIFY(pool.stats().retainedBytes > 64 * SmpBlockPool::kSlotBytes);
        pool.trim();
        QCOMPARE(pool.stats().regions, size_t(0));
    }

    // ---- file jobs ----

    void jobs_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("refusal");
        const char* kinds[] = {"save", "load", "CSV", "binary"};
        const char* refusals[] = {"direct", "threaded, its thread refused", "threaded, helpers refused"};
        for (int k : {Save, Load, Csv, Bin})
            for (int r : {Direct, JobThread, Helpers})
                QTest::newRow(qPrintable(QString("%1, %2").arg(kinds[k], refusals[r]))) << k << r;
    }
    void jobs()
    {
        QFETCH(int, kind);
        QFETCH(int, refusal);
        const QString target = path("target");
        const QByteArray before = kind == Load ? refSave : QByteArray("before");
        QVERIFY(TestEnv::writeFile(target, before));
        // What a load replaces, or leaves empty when it fails.
        SmpData back(16);
        QVector<bool> ena(16, false);
        ena[2] = true;
        QVERIFY(back.dataConvertStart(0, 1000, ena));
        QVERIFY(back.appendEdge(2, 50));
        back.smpDepth = 100;
        QVERIFY(back.dataConvertComplete(100));
        QVERIFY(back.hasValidData(2));

        DataFile job(kind == Load ? &back : &shown());
        int lastPercent = -1;
        bool between = false;
        connect(&job, &DataFile::sigReportProgress, this, [&](int p) {
            lastPercent = p;
            between = between || (p > 0 && p < 100);
        });
        if (refusal == Helpers)
            connect(&job, &QThread::started, &job, [] { refuseThreads(1); }, Qt::DirectConnection);
        bool viewed = false;
        DataFile::progressView = [&](DataFile* j) {
            viewed = true;
            if (j->isThreaded() && refusal != JobThread)
                QTRY_VERIFY_WITH_TIMEOUT(j->isJobDone() && lastPercent == 100, 300000);
        };
        const long refusedBefore = refusedThreads();
        if (refusal != Helpers)
            refuseThreads(1);
        const bool ok = run(job, Kind(kind), target, refusal == Direct);
        refuseThreads(0);

        // A direct export or load on one or two processors asks for no helper.
        if (kind == Save || refusal != Direct || QThread::idealThreadCount() > 2)
            QVERIFY(refusedThreads() > refusedBefore);
        QVERIFY(!DataFile::jobRunning());
        QCOMPARE(TestEnv::partFiles(tmp.path()), QStringList());
        if (refusal == JobThread) {
            QVERIFY(!ok);
            QVERIFY(!viewed);
            QVERIFY(TestEnv::readFile(target) == before);
            if (kind == Load) {
                QCOMPARE(back.smpDepth, 0LL);
                for (int c = 0; c < back.chnNum; ++c)
                    QVERIFY(!back.hasValidData(c));
            }
            return;
        }
        QVERIFY(ok);
        QCOMPARE(viewed, refusal == Helpers);
        if (refusal == Helpers)
            QVERIFY(between);   // the job's thread reports the progress of the work it took over
        if (kind == Load) {
            QCOMPARE(back.smpDepth, kDepth);
            QVERIFY(DataFile(&back).saveData(path("again"), all, 0, kDepth - 1, true));
            QVERIFY(TestEnv::readFile(path("again")) == refSave);
            QVERIFY(QFile::remove(path("again")));
        } else {
            const QByteArray out = TestEnv::readFile(target);
            QCOMPARE(out.size(), reference(Kind(kind)).size());
            QVERIFY(out == reference(Kind(kind)));
        }
    }

    // The window's commands whose job cannot have its thread: the usual
    // failure box and no progress dialog; the file that stood there stays,
    // and no part file.
    void windowJobRefused_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("save") << int(FileTypeData);
        QTest::newRow("CSV export") << int(FileTypeCsv);
        QTest::newRow("binary export") << int(FileTypeBinary);
        QTest::newRow("open") << -1;
    }
    void windowJobRefused()
    {
        QFETCH(int, type);
        MainWindow w;
        if (!devUsing->hasValidData())
            fillLarge(shown());
        boxes.clear();
        dialogs.clear();
        const QString target = path(type == FileTypeData ? "old.cvdat" : type == FileTypeCsv ? "old.csv"
                                    : type == FileTypeBinary ? "old.bin" : "capture.cvdat");
        QByteArray before = "old";
        if (type < 0) {
            // Nothing on screen: the replaced settings redraw no waveforms,
            // whose generator has helper threads of its own.
            devUsing->clearSmpData();
            before = QString("<settings><global><devModel>%1</devModel></global></settings>\n")
                         .arg(int(DevModelDemo))
                         .toUtf8()
                     + refSave;
        }
        QVERIFY(TestEnv::writeFile(target, before));
        nextPaths = QStringList{target};

        refuseThreads(1);
        if (type == FileTypeData) {
            w.mainMenu->slotActSaveDataClicked();
        } else if (type >= 0) {
            w.mainMenu->slotBtnMainClicked();
            QAction* action = nullptr;
            for (QAction* a : w.mainMenu->menuExport->actions())
                if (a->data().toInt() == type)
                    action = a;
            QVERIFY(action);
            w.mainMenu->slotMenuExportClicked(action);
        } else {
            w.loadFile(target);
        }
        refuseThreads(0);

        const QString word = type < 0 ? "File open failed." : "File save failed.";
        QCOMPARE(boxes, QStringList{word + "\r\n" + target});
        QCOMPARE(dialogs, type < 0 ? QStringList() : QStringList{"ExportDataSet"});
        QVERIFY(!w.fileJobRunning());
        QVERIFY(TestEnv::readFile(target) == before);
        QCOMPARE(TestEnv::partFiles(tmp.path()), QStringList());
        QVERIFY(QFile::remove(target));
    }

    // The remote commands work directly: on the threads there are, the
    // same files and the usual answer.
    void remoteJobsOnFewerThreads_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("capture file") << "save-data %1.cvdat";
        QTest::newRow("CSV") << "export-data %1.csv --time-span 0 0.004";
        QTest::newRow("binary") << "export-data %1.bin --time-span 0 0.004";
    }
    void remoteJobsOnFewerThreads()
    {
        QFETCH(QString, command);
        if (!devUsing->hasValidData())
            fillLarge(shown());
        const QString free = path("free"), refused = path("refused");
        SocketAPI api;
        QCOMPARE(api.execute(command.arg(free).toLatin1()), QString("ACK"));
        refuseThreads(1);
        const long refusedBefore = refusedThreads();
        const QString reply = api.execute(command.arg(refused).toLatin1());
        refuseThreads(0);
        if (command.startsWith("save-data") || QThread::idealThreadCount() > 2)
            QVERIFY(refusedThreads() > refusedBefore);
        QCOMPARE(reply, QString("ACK"));
        const QString suffix = command.section(' ', 1, 1).section('.', -1);
        const QByteArray a = TestEnv::readFile(free + '.' + suffix);
        const QByteArray b = TestEnv::readFile(refused + '.' + suffix);
        QVERIFY(a.size() > 100000);
        QVERIFY(a == b);
        QFile::remove(free + '.' + suffix);
        QFile::remove(refused + '.' + suffix);
    }
};

QTEST_MAIN(TestDataFileThreads)
#include "test_datafile_threads.moc"
