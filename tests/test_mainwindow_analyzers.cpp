// The analyzers panel in the main window: in its place in the right-hand
// column, set up for every device, and a device change while one of its
// dialogs runs.
#include <QtTest>

#include <QListWidget>
#include <QMenu>
#include <QPointer>

#include "app/mainwindow.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "decode/AnalyzerManager.h"
#include "decode/DlgMoreProto.h"
#include "decode/ProtoItem.h"
#include "decode/ProtoManager.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "support/ProtoKit.h"
#include "support/TestEnv.h"
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
};

QTEST_MAIN(TestMainWindowAnalyzers)
#include "test_mainwindow_analyzers.moc"
