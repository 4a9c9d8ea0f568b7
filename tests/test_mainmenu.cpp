// The main menu's file commands in the main window: enabling (menu,
// shortcuts, drops), the load sequence for every kind of file and path
// (menu, drop, command line) with the settings put back after a capture
// that cannot be loaded, save and export with failures that keep the old
// file, the threaded job with its cancel and a device change under it; and
// the export, Options, language and About dialogs.
#include <QtTest>

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSemaphore>
#include <QValidator>

#include "app/AboutZEL.h"
#include "app/MainMenu.h"
#include "app/Options.h"
#include "app/mainwindow.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "data/DataFile.h"
#include "data/ExportDataSet.h"
#include "data/SmpData.h"
#include "decode/AnalyzerManager.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "support/FileSizeLimit.h"
#include "support/TestEnv.h"
#include "toolbar/StatusBar.h"
#include "view/MainView.h"
#include "widgets/ChnEnaGroupBox.h"
#include "widgets/MyProgressDlg.h"

namespace {

// Fills the shown store of the current device: channel chn changes every
// `gap` samples, channel chn + 1 once, in a capture of depth samples.
void fillShown(int chn, long long gap, long long depth, long long rate = 1000000, long long trg = 0)
{
    SmpData* s = devUsing->shownData();
    QVector<bool> ena(s->chnNum, false);
    ena[chn] = ena[chn + 1] = true;
    QVERIFY(s->dataConvertStart(0, rate, ena));
    s->setInitLevel(chn + 1, 1);
    for (long long p = gap; p < depth; p += gap)
        QVERIFY(s->appendEdge(chn, p));
    QVERIFY(s->appendEdge(chn + 1, depth / 2));
    s->smpDepth = depth;
    s->trgPosition = trg;
    QVERIFY(s->dataConvertComplete(depth));
}



} // namespace

class TestMainMenu : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;
    QStringList boxes;                 // texts of the critical boxes
    QStringList dialogs;               // class names of the dialogs run
    std::function<int(QDialog*)> onDialog;
    QStringList nextPaths;             // answers of the file dialog
    int fileDialogs = 0;

    QString path(const QString& name) const { return tmp.filePath(name); }

    // Accepts the export dialog with every channel; other dialogs as given.
    static int acceptAll(QDialog* d)
    {
        if (auto* e = qobject_cast<ExportDataSet*>(d)) {
            e->digitalBox->slotChnEnaSelect(0, e->digitalBox->chnBoxes().size() - 1);
            e->accept();
            return e->result();
        }
        return QDialog::Rejected;
    }

    void saveThroughMenu(MainWindow& w, const QString& file)
    {
        onDialog = acceptAll;
        nextPaths = QStringList{file};
        w.mainMenu->slotActSaveDataClicked();
    }

    QAction* exportAction(MainWindow& w, int type)
    {
        if (!w.mainMenu->menu)
            w.mainMenu->slotBtnMainClicked();
        for (QAction* a : w.mainMenu->menuExport->actions())
            if (a->data().toInt() == type)
                return a;
        return nullptr;
    }

private slots:
    void initTestCase()
    {
        TestEnv::startProgram();
        QVERIFY(tmp.isValid());
        devUsing = DevBase::createDevice(DevModelDemo);
        MainWindow::criticalBox = [this](QWidget*, const QString&, const QString& text) { boxes << text; };
        MainMenu::execDialog = [this](QDialog* d) {
            dialogs << d->metaObject()->className();
            return onDialog ? onDialog(d) : int(QDialog::Rejected);
        };
        MainMenu::execMenu = [](QMenu*, const QPoint&) {};
        Config::fileDialog = [this](const Config::FileDialogRequest&) {
            ++fileDialogs;
            return nextPaths.isEmpty() ? QString() : nextPaths.takeFirst();
        };
    }

    void cleanupTestCase()
    {
        MainWindow::criticalBox = nullptr;
        MainMenu::execDialog = nullptr;
        MainMenu::execMenu = nullptr;
        MainMenu::restartProgram = nullptr;
        MainMenu::openUrl = nullptr;
        MainMenu::timeMarkersList = nullptr;
        Config::fileDialog = nullptr;
        delete devUsing;
        devUsing = nullptr;
    }

    void init()
    {
        boxes.clear();
        dialogs.clear();
        onDialog = nullptr;
        nextPaths.clear();
        fileDialogs = 0;
        Config::dataFile.clear();
        Config::saveGlobalParam("chnShowName0", "Mine");
        if (devUsing->devModel != DevModelDemo) {
            delete devUsing;
            devUsing = DevBase::createDevice(DevModelDemo);
        }
        devUsing->smpRunning = false;
        devUsing->clearSmpData();
        DataFile::freeSpace = nullptr;
    }

    // ---- enabling ----

    void menuEntriesAndEnabling()
    {
        MainWindow w;
        MainMenu* m = w.mainMenu;
        QCOMPARE(m->button->objectName(), QString("btnMain"));
        QVERIFY(m->button->text().isEmpty());
        QVERIFY(!m->menu);   // built on the first click
        m->button->click();
        QVERIFY(m->menu);
        auto shown = [m] {
            QStringList texts;
            for (QAction* a : m->menu->actions())
                if (a->isVisible())
                    texts << (a->isSeparator() ? QString("-") : a->text());
            return texts;
        };
        const QStringList entries{"Open...", "Save Settings...", "Save Data...", "-", "Export Data", "-",
                                  "Language", "-", "Options...", "-"};
        QCOMPARE(shown(), entries + QStringList{"About Corvena..."});
        // The update entries only where an update service is configured.
        Config::saveGlobalParam("updateServer", "http://127.0.0.1:9/");
        m->button->click();
        QCOMPARE(shown(), entries + (QStringList{"Check for updates...", "Update Logs...", "About Corvena..."}));
        Config::saveGlobalParam("updateServer", "file:///tmp");
        m->button->click();
        QCOMPARE(shown(), entries + QStringList{"About Corvena..."});
        Config::saveGlobalParam("updateServer", "");
        QCOMPARE(m->actOpen->shortcut(), QKeySequence("Ctrl+O"));
        QCOMPARE(m->actSaveData->shortcut(), QKeySequence("Ctrl+S"));
        QStringList exports;
        for (QAction* a : m->menuExport->actions())
            exports << a->text() + "=" + a->data().toString();
        QCOMPARE(exports, (QStringList{"Text file (*.txt)=2", "CSV file (*.csv)=3", "Binary file (*.bin)=4"}));
        QVERIFY(m->langGroup->isExclusive());
        QCOMPARE(m->menuLang->actions().first()->text(), QString("English"));
        QVERIFY(m->menuLang->actions().first()->isChecked());

        auto state = [&] {
            m->button->click();
            return QVector<bool>{m->actOpen->isEnabled(), m->actSaveSettings->isEnabled(),
                                 m->actSaveData->isEnabled(), m->menuExport->menuAction()->isEnabled()};
        };
        QCOMPARE(state(), (QVector<bool>{true, true, false, false}));   // no data
        fillShown(0, 10, 1000);
        QCOMPARE(state(), (QVector<bool>{true, true, true, true}));
        devUsing->smpRunning = true;
        QCOMPARE(state(), (QVector<bool>{false, false, false, false}));
    }

    // Ctrl+O, Ctrl+S and drops obey the menu's enabling.
    void shortcutsAndDropsObeyEnabling()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));

        QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);   // no data: nothing
        QVERIFY(dialogs.isEmpty());
        fillShown(0, 10, 1000);
        devUsing->smpRunning = true;
        QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
        QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path("none.cvdat"))});
        auto drop = [&] {
            QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(&w, &enter);
            QDropEvent e(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(&w, &e);
        };
        drop();
        QVERIFY(dialogs.isEmpty());
        QCOMPARE(fileDialogs, 0);
        QVERIFY(boxes.isEmpty());

        devUsing->smpRunning = false;
        QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(dialogs, QStringList{"ExportDataSet"});
        QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(fileDialogs, 1);
        drop();
        QCOMPARE(boxes, QStringList{"File open failed.\r\n" + path("none.cvdat")});
    }

    // ---- open ----

    void loadFileKinds()
    {
        MainWindow w;
        fillShown(0, 10, 1000);

        QVERIFY(TestEnv::writeFile(path("x.txt"), "<settings/>"));
        w.loadFile(path("x.txt"));
        QCOMPARE(boxes, QStringList{"File open failed.\r\n" + path("x.txt")});
        QCOMPARE(Config::getChnName(0), QString("Mine"));

        boxes.clear();
        QVERIFY(TestEnv::writeFile(path("s.cvset"), "<settings><global><devModel>0</devModel>"
                                                    "<chnShowName0>Set</chnShowName0></global><devices/>"
                                                    "<analyzers/></settings>\n"));
        w.loadFile(path("s.cvset"));
        QVERIFY(boxes.isEmpty());
        QCOMPARE(Config::getChnName(0), QString("Set"));
        QVERIFY(devUsing->hasValidData());   // the shown capture stays
        QVERIFY(Config::dataFile.isEmpty());
        QCOMPARE(w.windowTitle(), QString("Demo Disconnected - Corvena"));
    }

    void saveAndOpenCapture()
    {
        MainWindow w;
        fillShown(2, 7, 5000, 1000000, 1200);
        saveThroughMenu(w, path("cap.cvdat"));
        QVERIFY(boxes.isEmpty());
        QCOMPARE(dialogs, QStringList{"ExportDataSet"});
        QByteArray header;
        QVERIFY(Config::extractConfig(path("cap.cvdat"), header));
        QCOMPARE(TestEnv::partFiles(tmp.path()), QStringList());

        devUsing->clearSmpData();
        Config::saveGlobalParam("chnShowName0", "Changed");
        w.loadFile(path("cap.cvdat"));
        QVERIFY(boxes.isEmpty());
        QCOMPARE(Config::getChnName(0), QString("Mine"));   // the file's names
        const SmpData* s = devUsing->shownData();
        QCOMPARE(s->smpDepth, 5000LL);
        QCOMPARE(s->trgPosition, 1200LL);
        QCOMPARE(s->getNextEdgePoint(2, 0), 7LL);
        QCOMPARE(s->getPointLevel(3, 0), 1);
        QCOMPARE(w.windowTitle(), path("cap.cvdat") + " - Corvena");
        QCOMPARE(w.statusBar->text(), QString("Data Review"));
        // Announced for decoding too.
        QCOMPARE(w.analyzerManager->dataForAnly().smpDepth, 5000LL);
        QVERIFY(!devUsing->fillData()->chnData[2]);
    }

    void damagedCaptureLeavesSettings_data()
    {
        QTest::addColumn<int>("model");
        QTest::newRow("same model") << int(DevModelDemo);
        QTest::newRow("another model") << int(DevModelRowan);
    }
    void damagedCaptureLeavesSettings()
    {
        QFETCH(int, model);
        MainWindow w;
        fillShown(0, 10, 1000);
        const QString analyzers = Config::readAnalyzerParam();
        const QString file = path("damaged.cvdat");
        const QByteArray header = QString("<settings><global><devModel>%1</devModel><chnShowName0>Damaged"
                                          "</chnShowName0></global><devices/><analyzers><item0><fileName>x"
                                          "</fileName></item0></analyzers></settings>\n")
                                      .arg(model)
                                      .toUtf8();
        QVERIFY(TestEnv::writeFile(file, header + QByteArray("cvdat\0\0\0", 8)));
        w.loadFile(file);
        QCOMPARE(boxes, QStringList{"File open failed.\r\n" + file});
        QCOMPARE(Config::getChnName(0), QString("Mine"));
        QCOMPARE(Config::readAnalyzerParam(), analyzers);
        QCOMPARE(devUsing->devModel, int(DevModelDemo));
        QVERIFY(Config::dataFile.isEmpty());
        QCOMPARE(w.windowTitle(), QString("Demo Disconnected - Corvena"));
        QVERIFY(!devUsing->fillData()->chnData[0]);
        // Same model: the user's capture stays on screen.
        QCOMPARE(devUsing->hasValidData(), model == DevModelDemo);
    }

    // An analyzer plugged in while a capture loads stays the device when the
    // load fails and the user's settings are put back.
    void pluggedDuringLoadStays()
    {
        MainWindow w;
        const QString file = path("big.cvdat");
        QByteArray bytes = QString("<settings><global><devModel>%1</devModel><chnShowName0>Big</chnShowName0>"
                                   "</global></settings>\n")
                               .arg(int(DevModelDemo))
                               .toUtf8();
        bytes += QByteArray("cvdat\0\0\0", 8) + QByteArray(int(DataFile::ThreadLoadBytes), '\0');
        QVERIFY(TestEnv::writeFile(file, bytes));
        // The damaged capture is refused as soon as its header is read: the
        // load's thread waits until its progress dialog is there, or a quick
        // one would be done before it opens, and none would open.
        QSemaphore dialogUp;
        DataFile::jobThreadStart = [&](DataFile*) { dialogUp.tryAcquire(1, 30000); };
        bool plugged = false;
        onDialog = [&](QDialog* d) {
            if (!qobject_cast<MyProgressDlg*>(d))
                return acceptAll(d);
            dialogUp.release();
            w.slotDevPreConnect(DevModelRowan);   // cancels the load and waits first
            plugged = true;
            return int(QDialog::Accepted);
        };
        w.loadFile(file);
        DataFile::jobThreadStart = nullptr;
        QVERIFY(plugged);
        QCOMPARE(boxes, QStringList{"File open failed.\r\n" + file});
        QCOMPARE(Config::getChnName(0), QString("Mine"));
        QCOMPARE(devUsing->devModel, int(DevModelRowan));
        QCOMPARE(Config::getDevModel(), int(DevModelRowan));
    }

    void commandLineCapture_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::newRow("shown") << false;
        QTest::newRow("damaged") << true;
    }
    void commandLineCapture()
    {
        QFETCH(bool, damaged);
        {
            MainWindow w;
            fillShown(4, 3, 3000);
            saveThroughMenu(w, path("cmd.cvdat"));
            QVERIFY(boxes.isEmpty());
        }
        QByteArray bytes = TestEnv::readFile(path("cmd.cvdat"));
        bytes.replace("<chnShowName0>Mine</chnShowName0>", "<chnShowName0>File</chnShowName0>");
        if (damaged)
            bytes.chop(3);
        QVERIFY(TestEnv::writeFile(path("cmd.cvdat"), bytes));
        devUsing->clearSmpData();

        Config::takeCommandLineFile({path("cmd.cvdat")});
        QCOMPARE(Config::getChnName(0), QString("File"));   // merged at start-up
        MainWindow w;
        w.show();
        QTRY_VERIFY(w.startDone());
        if (!damaged) {
            QVERIFY(boxes.isEmpty());
            QCOMPARE(devUsing->shownData()->smpDepth, 3000LL);
            QCOMPARE(w.windowTitle(), path("cmd.cvdat") + " - Corvena");
            QCOMPARE(Config::getChnName(0), QString("File"));
        } else {
            QCOMPARE(boxes, QStringList{"File open failed.\r\n" + path("cmd.cvdat")});
            QVERIFY(!devUsing->hasValidData());
            QCOMPARE(Config::getChnName(0), QString("Mine"));
            QVERIFY(Config::dataFile.isEmpty());
            QCOMPARE(w.windowTitle(), QString("Demo Disconnected - Corvena"));
        }
    }

    // ---- save and export ----

    void textEqualsCsv()
    {
        MainWindow w;
        fillShown(0, 5, 2000);
        Config::saveGlobalParam("chnShowName1", "b, \"c\"");
        onDialog = acceptAll;
        nextPaths = QStringList{path("e.txt"), path("e.csv"), path("e.bin")};
        for (int type : {FileTypeText, FileTypeCsv, FileTypeBinary})
            w.mainMenu->slotMenuExportClicked(exportAction(w, type));
        QVERIFY(boxes.isEmpty());
        const QByteArray csv = TestEnv::readFile(path("e.csv"));
        QCOMPARE(TestEnv::readFile(path("e.txt")), csv);
        QVERIFY(csv.startsWith("Time[s], Mine, \"b, \"\"c\"\"\", Channel 2,"));
        QCOMPARE(TestEnv::readFile(path("e.bin")).size(), 2 * 2000);
        Config::saveGlobalParam("chnShowName1", "");
    }

    void failedWrites()
    {
        MainWindow w;
        fillShown(0, 1, 100000);
        QVERIFY(TestEnv::writeFile(path("keep.cvdat"), "old capture"));
        QVERIFY(TestEnv::writeFile(path("keep.cvset"), "old settings"));
        {
            FileSizeLimit limit(200);   // less than any header
            saveThroughMenu(w, path("keep.cvdat"));
            nextPaths = QStringList{path("keep.cvset")};
            w.mainMenu->slotActSaveSettingsClicked();
        }
        QCOMPARE(boxes, (QStringList{"File save failed.\r\n" + path("keep.cvdat"),
                                     "File save failed.\r\n" + path("keep.cvset")}));
        QCOMPARE(TestEnv::readFile(path("keep.cvdat")), QByteArray("old capture"));
        QCOMPARE(TestEnv::readFile(path("keep.cvset")), QByteArray("old settings"));
        QCOMPARE(TestEnv::partFiles(tmp.path()), QStringList());

        boxes.clear();
        {
            FileSizeLimit limit(100000);   // the header fits, the data part does not
            saveThroughMenu(w, path("keep.cvdat"));
        }
        QCOMPARE(boxes, QStringList{"File save failed.\r\n" + path("keep.cvdat")});
        QCOMPARE(TestEnv::readFile(path("keep.cvdat")), QByteArray("old capture"));
        QCOMPARE(TestEnv::partFiles(tmp.path()), QStringList());

        boxes.clear();
        nextPaths = QStringList{path("keep.cvset")};
        w.mainMenu->slotActSaveSettingsClicked();
        QVERIFY(boxes.isEmpty());
        QVERIFY(TestEnv::readFile(path("keep.cvset")).contains("<settings>"));
    }

    // A disk too small for the job: the capture file, the CSV and the binary
    // export are refused with the save-failure box before anything is
    // written, and the files that stood there stay.
    void refusedWhenFull()
    {
        MainWindow w;
        fillShown(0, 1, 100000);
        QStringList asked;
        DataFile::freeSpace = [&](const QString& folder) {
            asked << folder;
            return qint64(1000);   // the settings header fits, the data does not
        };
        const QStringList names{"full.cvdat", "full.csv", "full.bin"};
        for (const QString& n : names)
            QVERIFY(TestEnv::writeFile(path(n), "old"));
        saveThroughMenu(w, path("full.cvdat"));
        nextPaths = QStringList{path("full.csv"), path("full.bin")};
        for (int type : {FileTypeCsv, FileTypeBinary})
            w.mainMenu->slotMenuExportClicked(exportAction(w, type));
        QCOMPARE(boxes, (QStringList{"File save failed.\r\n" + path("full.cvdat"),
                                     "File save failed.\r\n" + path("full.csv"),
                                     "File save failed.\r\n" + path("full.bin")}));
        QCOMPARE(asked, QVector<QString>(3, QDir(tmp.path()).absolutePath()).toList());
        for (const QString& n : names)
            QCOMPARE(TestEnv::readFile(path(n)), QByteArray("old"));
        QCOMPARE(TestEnv::partFiles(tmp.path()), QStringList());
        QVERIFY(!w.fileJobRunning());
    }

    // The work of a binary export is the samples it covers: a long capture
    // with two edges still goes to the thread behind the progress dialog.
    void longBinaryExportThreaded()
    {
        MainWindow w;
        fillShown(0, 15000000, DataFile::ThreadBinSamples);
        bool runningInside = false;
        onDialog = [&](QDialog* d) {
            auto* p = qobject_cast<MyProgressDlg*>(d);
            if (!p)
                return acceptAll(d);
            runningInside = w.fileJobRunning();
            return p->exec();   // closes when the job ends
        };
        nextPaths = QStringList{path("long.bin")};
        w.mainMenu->slotMenuExportClicked(exportAction(w, FileTypeBinary));
        QVERIFY(runningInside);
        QCOMPARE(dialogs, (QStringList{"ExportDataSet", "MyProgressDlg"}));
        QVERIFY(boxes.isEmpty());
        QCOMPARE(QFileInfo(path("long.bin")).size(), 2 * DataFile::ThreadBinSamples);
        QFile::remove(path("long.bin"));
    }

    void threadedJob_data()
    {
        QTest::addColumn<int>("mode");   // 0 runs, 1 the user cancels, 2 a device change
        QTest::newRow("runs") << 0;
        QTest::newRow("cancelled") << 1;
        QTest::newRow("device replaced") << 2;
    }
    void threadedJob()
    {
        QFETCH(int, mode);
        MainWindow w;
        fillShown(0, 1, 300000);   // above the CSV export threshold
        QVERIFY(TestEnv::writeFile(path("big.csv"), "before"));
        bool runningInside = false;
        onDialog = [&](QDialog* d) {
            auto* p = qobject_cast<MyProgressDlg*>(d);
            if (!p)
                return acceptAll(d);
            runningInside = w.fileJobRunning();
            if (mode == 1) {
                p->button->click();
                return p->result();
            }
            if (mode == 2) {
                w.slotDevPreConnect(DevModelRowan);   // cancels the job and waits first
                return int(QDialog::Accepted);
            }
            return p->exec();   // closes when the job ends
        };
        nextPaths = QStringList{path("big.csv")};
        w.mainMenu->slotMenuExportClicked(exportAction(w, FileTypeCsv));
        QVERIFY(runningInside);
        QVERIFY(!w.fileJobRunning());
        QCOMPARE(dialogs, (QStringList{"ExportDataSet", "MyProgressDlg"}));
        if (mode == 0) {
            QVERIFY(boxes.isEmpty());
            QCOMPARE(TestEnv::readFile(path("big.csv")).count('\n'), 300001);
        } else {
            QCOMPARE(boxes, QStringList{"File save failed.\r\n" + path("big.csv")});
            QCOMPARE(TestEnv::readFile(path("big.csv")), QByteArray("before"));
        }
        QCOMPARE(TestEnv::partFiles(tmp.path()), QStringList());
        if (mode == 2)
            QCOMPARE(devUsing->devModel, int(DevModelRowan));
    }

    // ---- dialogs ----

    void exportDialogDefaults()
    {
        SmpData s(16);
        s.smpDepth = 1000;
        s.smpFrequ = 3000000;
        s.trgPosition = 2;
        ExportDataSet d(nullptr, s, QVector<bool>(16, true), {}, {}, {});
        QVERIFY(!d.btnMarkers->isEnabled());
        QVERIFY(!d.pairBox);
        QVERIFY(!d.analogBox);
        QVERIFY(!d.startEdit->isEnabled());
        // -6.6666e-7 and 3.32666e-4, each rounded to 6 digits inwards.
        QCOMPARE(d.startEdit->text(), QString("-6.66666e-07"));
        QCOMPARE(d.endEdit->text(), QString("0.000332666"));
        d.btnInterval->click();
        QVERIFY(d.startEdit->isEnabled());
        QVector<bool> analog, digital(16);
        long long a = -1, b = -1;
        d.getSetParameters(analog, digital, &a, &b);
        QCOMPARE(a, 0LL);   // unedited: the whole capture exactly
        QCOMPARE(b, 1000LL);
        d.endEdit->setText("0.0001");   // 300 samples after the trigger
        d.getSetParameters(analog, digital, &a, &b);
        QCOMPARE(a, 0LL);
        QCOMPARE(b, 302LL);
        d.startEdit->setText("1e30");   // limited before it becomes samples
        d.endEdit->setText("-1e30");
        d.getSetParameters(analog, digital, &a, &b);
        QCOMPARE(a, 0LL);
        QCOMPARE(b, 1000LL);
    }

    void exportDialogPairsAndRefusals()
    {
        SmpData s(16);
        s.smpDepth = 1000;
        s.smpFrequ = 1000000;
        ExportDataSet d(nullptr, s, QVector<bool>(16, false), {true, false},
                        {"A1 - A2", "B1 - B2"}, {100, 50, 700, 200});
        QVERIFY(d.btnMarkers->isEnabled());
        QVERIFY(d.pairBox && !d.pairBox->isEnabled());
        QVERIFY(d.analogBox);
        d.btnMarkers->click();
        QVERIFY(d.pairBox->isEnabled());
        d.pairBox->setCurrentIndex(1);
        QVector<bool> analog(2), digital(16);
        long long a = 0, b = 0;
        d.getSetParameters(analog, digital, &a, &b);
        QCOMPARE(a, 200LL);   // a reversed pair
        QCOMPARE(b, 700LL);
        QCOMPARE(analog, (QVector<bool>{true, false}));

        const QValidator* v = d.startEdit->validator();
        int pos = 0;
        for (QString ok : {"1e-05", "-0.25", "3", ".5", "2E+3"})
            QCOMPARE(v->validate(ok, pos), QValidator::Acceptable);
        for (QString bad : {"|", "a", "1|2", "1,5", "--1"})
            QCOMPARE(v->validate(bad, pos), QValidator::Invalid);

        // No digital channel, then a text that is no number: refused.
        d.accept();
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(d.errorLabel->text(), QString("Please select at least one channel."));
        d.digitalBox->slotChnEnaSelect(0, 0);
        d.btnInterval->click();
        d.startEdit->setText("-");
        d.accept();
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(d.errorLabel->text(), QString("Please enter a valid time."));
        d.startEdit->setText("1e-05");
        d.accept();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        d.getSetParameters(analog, digital, &a, &b);
        QCOMPARE(a, 10LL);
        QCOMPARE(b, 1000LL);
    }

    void markerPairsReachTheDialog()
    {
        MainWindow w;
        // The window hands the main view's pairs to the menu.
        using List = void (*)(QStringList*, QVector<long long>*);
        QVERIFY(MainMenu::timeMarkersList.target<List>());
        QVERIFY(*MainMenu::timeMarkersList.target<List>() == List(&MainView::timeMarkersList));
        fillShown(0, 10, 1000);
        MainMenu::timeMarkersList = [](QStringList* names, QVector<long long>* pos) {
            *names = QStringList{"A1 - A2"};
            *pos = {600, 100};
        };
        onDialog = [](QDialog* d) {
            auto* e = qobject_cast<ExportDataSet*>(d);
            if (!e)
                return int(QDialog::Rejected);
            e->btnMarkers->click();
            e->digitalBox->slotChnEnaSelect(0, 1);
            e->accept();
            return e->result();
        };
        nextPaths = QStringList{path("pair.cvdat")};
        w.mainMenu->slotActSaveDataClicked();
        MainMenu::timeMarkersList = nullptr;
        QVERIFY(boxes.isEmpty());
        QByteArray header;
        QVERIFY(Config::extractConfig(path("pair.cvdat"), header));
        SmpData back(16);
        QVERIFY(DataFile(&back).loadData(path("pair.cvdat"), header.size(), true));
        QCOMPARE(back.smpDepth, 501LL);
    }

    void optionsWriteBackAndCancel()
    {
        Config::saveProgressSample(false);
        Config::saveViewState(7);   // a value that means nothing
        Config::saveDisAnimate(false);
        Config::saveAutoWaitTrigEna(false);
        Config::saveGlobalParam("disAutoUpdate", "");
        {
            Options o;
            QVERIFY(o.progInView->isChecked());
            QVERIFY(!o.viewAll->isChecked() && !o.viewTrigger->isChecked() && !o.viewKeep->isChecked());
            QVERIFY(o.updateEnable->isChecked());
            QCOMPARE(o.tabs->count(), 2);
            o.progInStatusBar->setChecked(true);
            o.animDisable->setChecked(true);
            o.reject();
        }
        QVERIFY(!Config::smpProgPosition && !Config::disAnimate);
        QCOMPARE(Config::readGlobalParam("viewState"), QString("7"));
        {
            Options o;
            o.progInStatusBar->setChecked(true);
            o.restartOnTrigger->setChecked(true);
            o.slotSaveClicked();
            QCOMPARE(o.result(), int(QDialog::Accepted));
        }
        QVERIFY(Config::smpProgPosition && Config::autoWaitTrig && !Config::disAnimate);
        QCOMPARE(Config::readGlobalParam("viewState"), QString("1"));
        QCOMPARE(Config::readGlobalParam("disAutoUpdate"), QString("0"));
        QCOMPARE(Config::readGlobalParam("smpProgPosition"), QString("1"));

        // Through the menu: one signal when the place of the progress changed.
        MainWindow w;
        QSignalSpy moved(w.mainMenu, &MainMenu::sigSmpProgPositionChanged);
        onDialog = [](QDialog* d) {
            auto* o = qobject_cast<Options*>(d);
            o->progInView->setChecked(true);
            o->progInStatusBar->setChecked(true);
            o->progInView->setChecked(true);
            o->reject();
            return o->result();
        };
        w.mainMenu->slotActOptionsClicked();
        QCOMPARE(moved.count(), 0);
        onDialog = [](QDialog* d) {
            auto* o = qobject_cast<Options*>(d);
            o->progInView->setChecked(true);
            o->slotSaveClicked();
            return o->result();
        };
        w.mainMenu->slotActOptionsClicked();
        QCOMPARE(moved.count(), 1);
        QVERIFY(!Config::smpProgPosition);
        Config::saveAutoWaitTrigEna(false);
        Config::saveViewState(0);
    }

    void languageChoice()
    {
        MainWindow w;
        MainMenu* m = w.mainMenu;
        m->slotBtnMainClicked();
        int restarts = 0;
        MainMenu::restartProgram = [&] { ++restarts; };
        QAction* english = m->menuLang->actions().value(0);
        QVERIFY(english);
        m->slotMenuLangClicked(english);   // the language in use: no box
        QVERIFY(dialogs.isEmpty());

        // Another language (a made-up record): stored, box, restart on OK.
        m->langList.append({"xx-XX", "Test", "Restart please"});
        QAction other;
        other.setData(m->langList.size() - 1);
        int answer = QMessageBox::Cancel;
        QString shownText;
        onDialog = [&](QDialog* d) {
            shownText = static_cast<QMessageBox*>(d)->text();
            return answer;
        };
        m->slotMenuLangClicked(&other);
        QCOMPARE(dialogs, QStringList{"QMessageBox"});
        QCOMPARE(shownText, QString("Restart please"));
        QCOMPARE(Config::readGlobalParam("userLang"), QString("xx-XX"));   // kept after Cancel
        QCOMPARE(restarts, 0);
        Config::saveGlobalParam("userLang", "en-US");
        answer = QMessageBox::Ok;
        m->slotMenuLangClicked(&other);
        QCOMPARE(restarts, 1);
        Config::saveGlobalParam("userLang", "en-US");
        MainMenu::restartProgram = nullptr;
    }

    void aboutAt144Dpi()
    {
        Config::dpi = 144;
        DevBase::devBatch.clear();
        QStringList lines = AboutZEL::systemInfo().split("\r\n");
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[0], QString("System Information"));
        QVERIFY(lines[1].startsWith("OS: "));
        QCOMPARE(lines[2], QString("Display Scale: 150%"));
        QCOMPARE(lines[3], QString("Device Level: 0"));
        QCOMPARE(lines[4], QString("Device ID: "));
        {
            AboutZEL a;
            QCOMPARE(a.sysInfo->textFormat(), Qt::PlainText);
            QCOMPARE(a.logo->size(), QSize(144, 120));
            QCOMPARE(a.name->font().pixelSize(), 39);
            QCOMPARE(a.version->text(), "Version: " + Config::curVersion.ToString() + " (64-bit)");
            QCOMPARE(a.windowTitle(), QString("About Corvena"));
        }
        Config::dpi = 96;
        QCOMPARE(AboutZEL::deviceId(QByteArray("\x01\xab", 2)), QString("01ab"));
        QCOMPARE(AboutZEL::deviceId(QByteArray("CV-2024-0042\0\0\0\0", 16)), QString("CV-2024-0042"));
        QCOMPARE(AboutZEL::deviceId(QByteArray("abc")), QString());

        MainWindow w;
        QString name;
        onDialog = [&](QDialog* d) {
            name = d->objectName();
            return int(QDialog::Rejected);
        };
        w.mainMenu->slotActAboutZelClicked();
        QCOMPARE(name, QString("AboutZEL"));
    }

    void userGuide()
    {
        MainWindow w;
        QUrl asked;
        MainMenu::openUrl = [&](const QUrl& u) {
            asked = u;
            return false;
        };
        w.mainMenu->slotActUserGuideClicked();
        MainMenu::openUrl = nullptr;
        QCOMPARE(asked, QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + "/Resource/ug-en.pdf"));
        QCOMPARE(boxes, QStringList{"File open failed.\r\nYou may need to install a PDF reader to open the user guide."});
    }
};

QTEST_MAIN(TestMainMenu)
#include "test_mainmenu.moc"
