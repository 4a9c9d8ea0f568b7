// Decoded-data export from an analyzer row: the export entry by the number
// of options, the selection dialog, the save dialog's type, the wait for a
// running decode, Stop, and every way an export can fail; the real RC6
// capture exported as CSV and read back with Python's csv module.
#include <QtTest>

#include <QAction>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

#include <memory>

#include "Analyzer.h"
#include "AnalyzerResults.h"
#include "CaptureTables.h"
#include "RefuseThreads.h"
#include "VcdReader.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "config/Types.h"
#include "decode/AnalyzerManager.h"
#include "decode/ProtoEdit.h"
#include "decode/ProtoExport.h"
#include "decode/ProtoItem.h"
#include "decode/ProtoManager.h"
#include "device/DevGlobals.h"
#include "support/ProtoKit.h"
#include "support/TestEnv.h"
#include "widgets/MyProgressDlg.h"

namespace {

QStringList texts(const QList<QAction*>& actions)
{
    QStringList t;
    for (QAction* a : actions)
        t << a->text();
    return t;
}

QString readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

class TestProtoExport : public QObject
{
    Q_OBJECT

    ProtoKit kit;
    QVector<bool> enables;
    std::unique_ptr<AnalyzerManager> mgr;
    std::unique_ptr<ProtoManager> panel;
    std::unique_ptr<CaptureTables> capture;
    std::unique_ptr<QTemporaryDir> tmp;
    QString chosen;                         // what the save dialog answers
    QList<Config::FileDialogRequest> asked; // what it was asked

    void make(const QString& which)
    {
        panel.reset();
        mgr.reset();
        AnalyzerManager::setAnalyzerDir(ProtoKit::pluginDir(which));
        mgr.reset(new AnalyzerManager);
        panel.reset(new ProtoManager(mgr.get()));
    }
    ProtoItem* row(int i) const { return panel->items().value(i); }
    // A Host Test analyzer whose decode has made its three frames.
    void decodedHostTest(int mode = 2)
    {
        make("main");
        capture = ProtoKit::fillCapture(*mgr);
        QVERIFY(ProtoKit::add(*mgr, "Host Test", {{"Input", 0}, {"Mode", mode}}, true));
        if (mode == 2)
            QTRY_VERIFY(!mgr->anlyThreadIsRuning(0));
        AnalyzerResults* r = nullptr;
        QTRY_VERIFY(mgr->getUsingAnalyzer(0)->GetAnalyzerResults(&r) && r->GetNumFrames() == 3);
    }
    // Answers the selection dialog with the option's first file type and
    // runs the progress dialog, calling during() from inside its loop.
    void answer(int option, std::function<void(MyProgressDlg*)> during = nullptr)
    {
        kit.onDialog = [option, during](QDialog* d) {
            if (auto* p = qobject_cast<MyProgressDlg*>(d)) {
                if (during)
                    QTimer::singleShot(30, p, [p, during] { during(p); });
                return p->exec();
            }
            auto* row = qobject_cast<ProtoItem*>(d->parent());
            if (!row || row->exportRadios().size() <= option)
                return int(QDialog::Rejected);
            row->exportRadios()[option]->setChecked(true);
            row->slotExportSavedClicked();
            return d->result();
        };
    }
    QStringList leftovers() const
    {
        return QDir(tmp->path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

private slots:
    void initTestCase()
    {
        ProtoKit::initConfig(&enables);
        Config::fileDialog = [this](const Config::FileDialogRequest& r) {
            asked.append(r);
            return chosen;
        };
    }
    void cleanupTestCase()
    {
        Config::fileDialog = nullptr;
        AnalyzerManager::setAnalyzerDir(QString());
    }
    void init()
    {
        kit.reset();
        asked.clear();
        enables = QVector<bool>(4, true);
        Config::clearAnalyzerParam();
        tmp.reset(new QTemporaryDir);
        chosen = tmp->filePath("out.txt");
    }
    void cleanup()
    {
        refuseThreads(0);
        panel.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        mgr.reset();
        capture.reset();
    }

    void exportEntry_data()
    {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("plugin");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QStringList>("subMenu");
        QTest::newRow("no option") << "main" << "HostPlain" << "Export Data" << false << QStringList();
        QTest::newRow("one option, two file types")
            << "bin" << "IR-RC6" << "Export Data" << true << QStringList{"Text file (*.txt)", "CSV file (*.csv)"};
        QTest::newRow("two options") << "main" << "Host Test" << "Export Data..." << true << QStringList();
    }
    void exportEntry()
    {
        QFETCH(QString, dir);
        QFETCH(QString, plugin);
        QFETCH(QString, entry);
        QFETCH(bool, enabled);
        QFETCH(QStringList, subMenu);
        make(dir);
        QVERIFY(ProtoKit::add(*mgr, plugin, {{"Input", 0}}));
        row(0)->createMenuSet();
        QAction* a = row(0)->rowMenu()->actions().value(2);
        QVERIFY(a);
        QCOMPARE(a->text(), entry);
        QCOMPARE(a->isEnabled(), enabled);
        QCOMPARE(a->menu() ? texts(a->menu()->actions()) : QStringList(), subMenu);
        if (a->menu()) {
            const ProtoItem::User u = a->menu()->actions()[1]->data().value<ProtoItem::User>();
            QCOMPARE(u.option, quint32(0));
            QCOMPARE(u.extension, QString("csv"));
        }
    }

    void selectionDialog()
    {
        make("main");
        QVERIFY(ProtoKit::add(*mgr, "Host Test", {{"Input", 0}}));
        ProtoItem* r = row(0);
        QList<bool> firstChecked;
        kit.onDialog = [r, &firstChecked](QDialog*) {
            firstChecked << r->exportRadios().value(0)->isChecked();
            r->exportRadios().value(1)->setChecked(true);
            return int(QDialog::Rejected);
        };
        r->slotMenuExport2Clicked();
        r->slotMenuExport2Clicked();
        QCOMPARE(firstChecked, (QList<bool>{true, true}));
        QDialog* d = r->exportDialog();
        QCOMPARE(d->windowTitle(), QString("Export File Select"));
        QStringList boxes;
        for (QGroupBox* g : d->findChildren<QGroupBox*>())
            boxes << g->title();
        QCOMPARE(boxes, (QStringList{"  Export as text file  ", "  Endless export  "}));
        QCOMPARE(r->exportRadios().size(), 2);
        QCOMPARE(r->exportRadios()[1]->text(), QString("Text file (*.txt)"));
        QCOMPARE(r->exportRadios()[1]->parent(), d->findChildren<QGroupBox*>()[1]);
        // Cancelled: nothing asked, nothing written.
        QVERIFY(asked.isEmpty());
    }

    void fileType_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("type");
        QTest::newRow("txt") << "txt" << int(FileTypeText);
        QTest::newRow("csv") << "csv" << int(FileTypeCsv);
        QTest::newRow("TXT is not text") << "TXT" << int(FileTypeCustom);
        QTest::newRow("other") << "json" << int(FileTypeCustom);
    }
    void fileType()
    {
        QFETCH(QString, extension);
        QFETCH(int, type);
        QCOMPARE(ProtoItem::fileTypeFor(extension), type);
    }

    void noFrames()
    {
        make("main");
        QVERIFY(ProtoKit::add(*mgr, "Host Test", {{"Input", 0}}));
        answer(0);
        row(0)->slotMenuExport2Clicked();
        QCOMPARE(kit.boxes.size(), 1);
        QCOMPARE(kit.boxes[0].icon, QMessageBox::Warning);
        QCOMPARE(kit.boxes[0].title, QString("Warning"));
        QCOMPARE(kit.boxes[0].text, QString("Sorry, there is no data that can be exported."));
        QVERIFY(asked.isEmpty());
        QCOMPARE(AnalyzerManager::getExportFileProgress(), 100);
    }

    // The user's walk on a real recording: add IR-RC6, switch to Dec,
    // export CSV; Python's csv module reads every message's address and
    // command back.
    void realCaptureAsCsv()
    {
        const QString python = QStandardPaths::findExecutable("python3");
        if (python.isEmpty())
            QFAIL("python3 is needed: tools/deps.sh test installs it");
        VcdSignal sig;
        std::string err;
        QVERIFY2(readVcdSignal(TestEnv::recordingPath("ir-rc6/philips_rc2143604_numbers.vcd").toStdString(), "IR",
                               1000000, &sig, &err),
                 err.c_str());
        make("bin");
        enables = {true};
        capture.reset(new CaptureTables(1, 1000000));
        QVERIFY(capture->setChannel(0, sig.initLevel, sig.edges, sig.depth));
        mgr->setDataForAnly(*capture->data());

        {
            ProtoEdit add(false, mgr.get(), mgr->getAllAnalyzerName().indexOf("IR-RC6"), panel.get());
            add.saveClicked();
            QVERIFY(add.added());
        }
        QTRY_VERIFY_WITH_TIMEOUT(!mgr->anlyThreadIsRuning(0), 10000);
        row(0)->slotBtnSetClicked();
        row(0)->rowMenu()->hide();
        row(0)->rowMenu()->actions()[1]->menu()->actions()[1]->trigger(); // Dec
        QCOMPARE(mgr->getUsingDisplayFormat(0), int(Decimal));
        QTRY_VERIFY_WITH_TIMEOUT(!mgr->anlyThreadIsRuning(0), 10000);

        chosen = tmp->filePath("philips.csv");
        answer(0);
        row(0)->createMenuSet();
        QAction* csv = row(0)->rowMenu()->actions()[2]->menu()->actions()[1];
        QCOMPARE(csv->text(), QString("CSV file (*.csv)"));
        csv->trigger();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].defaultSuffix, QString("csv"));
        QVERIFY(kit.boxes.isEmpty());
        QCOMPARE(leftovers(), QStringList{"philips.csv"});

        QProcess py;
        py.start(python, {"-c",
                          "import csv, sys\n"
                          "with open(sys.argv[1], newline='') as f:\n"
                          "    for row in csv.DictReader(f):\n"
                          "        print(row['ADDR'], row['CMD'])\n",
                          chosen});
        QVERIFY(py.waitForFinished(30000));
        QCOMPARE(py.exitCode(), 0);
        const QStringList got = QString::fromUtf8(py.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QStringList expected;
        for (const QString& line : readAll(TestEnv::recordingPath("ir-rc6/philips_rc2143604_numbers.expected"))
                                       .split('\n', Qt::SkipEmptyParts)) {
            const QStringList f = line.simplified().split(' ');
            QCOMPARE(f.size(), 4);
            expected << QString::number(f[2].toUInt(nullptr, 16)) + " " + QString::number(f[3].toUInt(nullptr, 16));
        }
        QCOMPARE(expected.size(), 23);
        QCOMPARE(got, expected);
    }

    // Stop on the option that never ends: the dialog closes, no box, and
    // nothing is left where the file would have gone.
    void stopEndless()
    {
        decodedHostTest();
        answer(1, [](MyProgressDlg* p) { p->button->click(); });
        row(0)->slotMenuExport2Clicked();
        QCOMPARE(kit.dialogs, (QStringList{"Export File Select", "Save file"}));
        QVERIFY(kit.boxes.isEmpty());
        QVERIFY(!row(0)->progressDialog()->isVisible());
        QTRY_COMPARE(AnalyzerManager::getExportFileProgress(), 100);
        QTRY_VERIFY(leftovers().isEmpty());
    }

    void writes()
    {
        decodedHostTest();
        // A file that stood there is replaced whole.
        QFile old(chosen);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old\n");
        old.close();
        answer(0);
        row(0)->slotMenuExport2Clicked();
        QVERIFY(kit.boxes.isEmpty());
        QCOMPARE(readAll(chosen), QString("0,5\n10,15\n20,25\n"));
        QCOMPARE(leftovers(), QStringList{"out.txt"});
    }

    // A name as long as the file system allows is written like any other.
    void writesLongestName()
    {
        decodedHostTest();
        const QString name = TestEnv::longestName("txt");
        chosen = tmp->filePath(name);
        answer(0);
        row(0)->slotMenuExport2Clicked();
        QVERIFY(kit.boxes.isEmpty());
        QCOMPARE(readAll(chosen), QString("0,5\n10,15\n20,25\n"));
        QCOMPARE(leftovers(), QStringList{name});
    }

    // The plug-in writes into a file made for it beside the target: one that
    // never opens it has failed and the target stays; one that opens it and
    // writes nothing has written an empty file.
    void pluginWritesNothing_data()
    {
        QTest::addColumn<unsigned int>("option");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("content");
        QTest::newRow("never opens the file") << 2u << int(ProtoExport::Failed) << "old\n";
        QTest::newRow("opens it, writes nothing") << 3u << int(ProtoExport::Written) << "";
    }
    void pluginWritesNothing()
    {
        QFETCH(unsigned int, option);
        QFETCH(int, outcome);
        decodedHostTest();
        QVERIFY(TestEnv::writeFile(chosen, "old\n"));
        AnalyzerResults* r = nullptr;
        QVERIFY(mgr->getUsingAnalyzer(0)->GetAnalyzerResults(&r));
        ProtoExport* job = ProtoExport::start(mgr.get(), r, chosen, Hexadecimal, option);
        QVERIFY(job);
        int ended = -1;
        connect(job, &ProtoExport::finished, this, [&ended](int o) { ended = o; });
        QTRY_VERIFY(ended >= 0);
        QCOMPARE(ended, outcome);
        QTEST(readAll(chosen), "content");
        QTRY_COMPARE(AnalyzerManager::getExportFileProgress(), 100);
        QCOMPARE(leftovers(), QStringList{"out.txt"});
    }

    // Whatever ends an export short of its file, except the user's Stop,
    // shows the failure box, and the target stays as it was.
    void failures_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("unwritable path") << "unwritable";
        QTest::newRow("a new decode cuts it short") << "decode";
        QTest::newRow("a device change cuts it short") << "restore";
        // A signal: the export ends at once, without the event loop.
        QTest::newRow("the program's end cuts it short") << "end";
    }
    void failures()
    {
        QFETCH(QString, how);
        decodedHostTest();
        QFile old(chosen);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old\n");
        old.close();
        if (how == "unwritable") {
            chosen = tmp->filePath("missing/dir/out.txt");
            answer(0);
        } else {
            answer(1, [this, how](MyProgressDlg*) {
                if (how == "decode") {
                    mgr->startDecode();
                } else if (how == "restore") {
                    mgr->restoreUsing();
                } else {
                    AnalyzerManager::endExport();
                    QCOMPARE(AnalyzerManager::getExportFileProgress(), 100);
                    QCOMPARE(leftovers(), QStringList{"out.txt"});
                }
            });
        }
        QPointer<ProtoItem> r = row(0);
        r->slotMenuExport2Clicked();
        QCOMPARE(kit.boxes.size(), 1);
        QCOMPARE(kit.boxes[0].icon, QMessageBox::Critical);
        QCOMPARE(kit.boxes[0].title, QString("An error occurred"));
        QCOMPARE(kit.boxes[0].text, "File save failed.\r\n" + chosen);
        QCOMPARE(readAll(tmp->filePath("out.txt")), QString("old\n"));
        QTRY_COMPARE(AnalyzerManager::getExportFileProgress(), 100);
        QCOMPARE(leftovers(), QStringList{"out.txt"});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(bool(r), how != "restore");
    }

    // The system refuses the export's thread: the export fails as any other
    // does, with the failure box, and nothing waits for the thread. With
    // threads free again the same export writes.
    void refusedThread()
    {
        decodedHostTest();
        refuseThreads(1);
        answer(0);
        row(0)->slotMenuExport2Clicked();
        refuseThreads(0);
        QCOMPARE(kit.dialogs, (QStringList{"Export File Select", "Save file"}));
        QCOMPARE(kit.boxes.size(), 1);
        QCOMPARE(kit.boxes[0].icon, QMessageBox::Critical);
        QCOMPARE(kit.boxes[0].text, "File save failed.\r\n" + chosen);
        QVERIFY(AnalyzerManager::lastExportFailed());
        QTRY_COMPARE(AnalyzerManager::getExportFileProgress(), 100);
        QVERIFY(leftovers().isEmpty());

        answer(0);
        row(0)->slotMenuExport2Clicked();
        QCOMPARE(kit.boxes.size(), 1);
        QCOMPARE(readAll(chosen), QString("0,5\n10,15\n20,25\n"));
        QCOMPARE(leftovers(), QStringList{"out.txt"});
    }

    // An export asked for while the analyzer still decodes, or while an
    // earlier export still holds the one export slot, starts when that has
    // ended; Stop ends the wait silently.
    void waits()
    {
        decodedHostTest(4);
        QVERIFY(mgr->anlyThreadIsRuning(0));
        bool startedEarly = true;
        answer(0, [this, &startedEarly](MyProgressDlg*) {
            startedEarly = AnalyzerManager::getExportFileProgress() != 100 || QFile::exists(chosen);
            mgr->stopAnlyThread(0);
        });
        row(0)->slotMenuExport2Clicked();
        QVERIFY(!startedEarly);
        QVERIFY(kit.boxes.isEmpty());
        QCOMPARE(readAll(chosen), QString("0,5\n10,15\n20,25\n"));

        // An export the row does not know of (a remote client's, say).
        QFile::remove(chosen);
        AnalyzerResults* r = nullptr;
        QVERIFY(mgr->getUsingAnalyzer(0)->GetAnalyzerResults(&r));
        const QString other = tmp->filePath("other.txt");
        QVERIFY(AnalyzerManager::exportAnlyDataFile(r, other, Hexadecimal, 1));
        answer(0, [this, &startedEarly](MyProgressDlg*) {
            startedEarly = QFile::exists(chosen);
            AnalyzerManager::cancelExport();
        });
        row(0)->slotMenuExport2Clicked();
        QVERIFY(!startedEarly);
        QVERIFY(kit.boxes.isEmpty());
        QCOMPARE(readAll(chosen), QString("0,5\n10,15\n20,25\n"));
        QFile::remove(chosen);
        QFile::remove(other);

        mgr->startDecode();
        QTRY_VERIFY(mgr->getUsingAnalyzer(0)->GetAnalyzerResults(&r) && r->GetNumFrames() == 3);
        QVERIFY(mgr->anlyThreadIsRuning(0));
        answer(0, [](MyProgressDlg* p) { p->button->click(); });
        row(0)->slotMenuExport2Clicked();
        QVERIFY(kit.boxes.isEmpty());
        QCOMPARE(AnalyzerManager::getExportFileProgress(), 100);
        QVERIFY(leftovers().isEmpty());
    }

    // A device change while the selection dialog runs: nothing is exported
    // from the replaced analyzer.
    void deviceChangeDuringSelection()
    {
        decodedHostTest();
        QPointer<ProtoItem> r = row(0);
        kit.onDialog = [this](QDialog*) {
            mgr->restoreUsing();
            return int(QDialog::Accepted);
        };
        r->slotMenuExport2Clicked();
        QVERIFY(asked.isEmpty());
        QVERIFY(kit.boxes.isEmpty());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!r);
    }
};

QTEST_MAIN(TestProtoExport)
#include "test_protoexport.moc"
