// The analyzers panel in the main window: in its place in the right-hand
// column, set up for every device, and a device change while one of its
// dialogs runs; a channel renamed on its label, as the analyzer dialog and
// the files show it.
#include <QtTest>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>

#include "app/MainMenu.h"
#include "app/mainwindow.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "data/ExportDataSet.h"
#include "data/SmpData.h"
#include "decode/AnalyzerManager.h"
#include "decode/DlgMoreProto.h"
#include "decode/ProtoEdit.h"
#include "decode/ProtoItem.h"
#include "decode/ProtoManager.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "support/ProtoKit.h"
#include "support/TestEnv.h"
#include "view/ItemChnSidebar.h"
#include "view/MainView.h"
#include "widgets/ChnEnaGroupBox.h"
#include "widgets/MyLineEdit.h"

class TestMainWindowAnalyzers : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;
    ProtoKit kit;
    QStringList boxes;

private slots:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        // The demonstration device with one RC6 analyzer on channel 2.
        TestEnv::startProgram("road/cv.config", tmp.filePath("cv.config"));
        AnalyzerManager::setAnalyzerDir(ProtoKit::pluginDir("bin"));
        devUsing = DevBase::createDevice(Config::getDevModel());
        MainWindow::criticalBox = [this](QWidget*, const QString& title, const QString&) { boxes << title; };
    }
    void cleanupTestCase()
    {
        MainWindow::criticalBox = nullptr;
        delete devUsing;
        devUsing = nullptr;
        AnalyzerManager::setAnalyzerDir(QString());
    }
    void cleanup()
    {
        kit.reset();
        if (devUsing && devUsing->devModel != DevModelDemo) {
            delete devUsing;
            devUsing = DevBase::createDevice(DevModelDemo);
        }
    }

    void panelInPlace()
    {
        MainWindow w;
        auto* panel = qobject_cast<ProtoManager*>(w.protoManager);
        QVERIFY(panel);
        w.resize(1400, 900);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(panel->isVisible());
        // The separator below the panel shows with it.
        QVERIFY(w.separatorList().value(6)->isVisible());
        QCOMPARE(panel->items().size(), 1);
        QCOMPARE(panel->items()[0]->nameField()->text(), QString("IR-RC6"));
        QVERIFY(!panel->moreDialog()->list()->findItems("IR-RC6", Qt::MatchExactly).isEmpty());
        QCOMPARE(panel->protocolMenu()->actions().value(0)->text(), QString("IR-RC6"));
        QVERIFY(Config::readGlobalParam("recentAnalyzers").endsWith("libIR-RC6.so"));
    }

    // The device detector replaces the device, and with it the analyzers in
    // use, while the row's settings dialog runs its own event loop.
    void deviceChangeDuringEdit()
    {
        MainWindow w;
        auto* panel = qobject_cast<ProtoManager*>(w.protoManager);
        QPointer<ProtoItem> row = panel->items().value(0);
        QVERIFY(row);
        const QString stored = Config::readAnalyzerParam();
        kit.onDialog = [&w](QDialog* d) {
            QTimer::singleShot(0, &w, [&w] {
                w.slotDevPreConnect(DevModelRowan);
                QTest::qWait(10);
            });
            return d->exec();
        };
        row->slotMenuEditClicked();
        QCOMPARE(devUsing->devModel, int(DevModelRowan));
        QCOMPARE(Config::readAnalyzerParam(), stored);
        QCOMPARE(panel->items().size(), 1);
        QVERIFY(panel->items()[0] != row);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!row);
        QVERIFY(boxes.isEmpty());
    }

    // A name typed on channel 2's label reaches the settings, the analyzer
    // dialog's channel list, the CSV header and a saved capture's header.
    void renamedChannel()
    {
        MainWindow w;
        w.resize(1400, 900);
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTRY_VERIFY(w.mainView->chnSidebars.size() > 3);
        ItemChnSidebar* label = w.mainView->chnSidebars[2];
        QTRY_VERIFY(label->nameLabel->isVisible());
        QTest::mouseDClick(label->nameLabel, Qt::LeftButton);
        QVERIFY(label->nameEdit->hasFocus());
        QTest::keyClicks(label->nameEdit, "IR in");
        QTest::keyClick(label->nameEdit, Qt::Key_Return);
        QCOMPARE(Config::readGlobalParam("chnShowName2"), QString("IR in"));
        QCOMPARE(label->nameLabel->text(), QString("IR in"));

        QStringList choices;
        kit.onDialog = [&choices](QDialog* d) {
            if (auto* e = qobject_cast<ProtoEdit*>(d))
                for (int i = 0; !e->channelEditors().isEmpty() && i < e->channelEditors()[0]->count(); ++i)
                    choices << e->channelEditors()[0]->itemText(i);
            return int(QDialog::Rejected);
        };
        qobject_cast<ProtoManager*>(w.protoManager)->items().value(0)->slotMenuEditClicked();
        QVERIFY2(choices.contains("2 - 'IR in'"), qPrintable(choices.join('|')));

        // Channels 0 to 3 of a short capture, every channel exported.
        SmpData* s = devUsing->shownData();
        QVector<bool> ena(s->chnNum, false);
        ena[0] = ena[1] = ena[2] = ena[3] = true;
        QVERIFY(s->dataConvertStart(0, 1000000, ena));
        QVERIFY(s->appendEdge(2, 50));
        s->smpDepth = 100;
        QVERIFY(s->dataConvertComplete(100));
        QStringList paths{tmp.filePath("named.csv"), tmp.filePath("named.cvdat")};
        MainMenu::execDialog = [](QDialog* d) {
            auto* e = qobject_cast<ExportDataSet*>(d);
            if (!e)
                return int(QDialog::Rejected);
            e->digitalBox->slotChnEnaSelect(0, 3);
            e->accept();
            return e->result();
        };
        Config::fileDialog = [&paths](const Config::FileDialogRequest&) {
            return paths.isEmpty() ? QString() : paths.takeFirst();
        };
        MainMenu::execMenu = [](QMenu*, const QPoint&) {};
        w.mainMenu->slotBtnMainClicked();
        QAction* csv = nullptr;
        for (QAction* a : w.mainMenu->menuExport->actions())
            if (a->data().toInt() == FileTypeCsv)
                csv = a;
        w.mainMenu->slotMenuExportClicked(csv);
        w.mainMenu->slotActSaveDataClicked();
        MainMenu::execDialog = nullptr;
        MainMenu::execMenu = nullptr;
        Config::fileDialog = nullptr;
        Config::saveGlobalParam("chnShowName2", "");

        const QByteArray header = TestEnv::readFile(tmp.filePath("named.csv")).split('\n').value(0);
        QCOMPARE(header, QByteArray("Time[s], Channel 0, Channel 1, IR in, Channel 3"));
        QVERIFY(TestEnv::readFile(tmp.filePath("named.cvdat")).contains("<chnShowName2>IR in</chnShowName2>"));
        QVERIFY(boxes.isEmpty());
    }
};

QTEST_MAIN(TestMainWindowAnalyzers)
#include "test_mainwindow_analyzers.moc"
