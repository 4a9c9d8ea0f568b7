// The analyzers panel: its rows, the protocol menu's recent list, the alias
// field, the row menu, the catalogue dialog, and rows rebuilt while one of
// their own slots or dialogs runs.
#include <QtTest>

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

#include "AnalyzerResults.h"
#include "CaptureTables.h"
#include "RefuseThreads.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "decode/AnalyzerManager.h"
#include "decode/DlgMoreProto.h"
#include "decode/ProtoEdit.h"
#include "decode/ProtoItem.h"
#include "decode/ProtoManager.h"
#include "decode/RightBoxView.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "support/ProtoKit.h"
#include "support/TestEnv.h"
#include "widgets/MyLineEdit.h"

namespace {

// The recent entries of the protocol menu (what stands before its separator).
QStringList recentEntries(QMenu* menu)
{
    QStringList texts;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator())
            break;
        texts << a->text();
    }
    return texts;
}

QAction* entry(QMenu* menu, const QString& text)
{
    for (QAction* a : menu->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestProtoManager : public QObject
{
    Q_OBJECT

    ProtoKit kit;
    QVector<bool> enables;
    std::unique_ptr<AnalyzerManager> mgr;
    std::unique_ptr<QWidget> window;
    ProtoManager* panel = nullptr;
    QLineEdit* elsewhere = nullptr;

    // A host over one of the plug-in directories and a panel in a window.
    void make(const QString& dir)
    {
        drop();
        AnalyzerManager::setAnalyzerDir(ProtoKit::pluginDir(dir));
        mgr.reset(new AnalyzerManager);
        window.reset(new QWidget);
        auto* lay = new QVBoxLayout(window.get());
        panel = new ProtoManager(mgr.get(), window.get());
        elsewhere = new QLineEdit(window.get());
        lay->addWidget(panel);
        lay->addWidget(elsewhere);
        window->resize(232, 400);
    }
    void drop()
    {
        window.reset();
        flushDeletes();
        mgr.reset();
        panel = nullptr;
    }
    bool showWindow()
    {
        window->show();
        QApplication::setActiveWindow(window.get());
        return QTest::qWaitForWindowActive(window.get());
    }
    ProtoItem* row(int i) const { return panel->items().value(i); }

private slots:
    void initTestCase() { ProtoKit::initConfig(&enables); }
    void cleanupTestCase()
    {
        drop();
        AnalyzerManager::setAnalyzerDir(QString());
    }
    void init()
    {
        kit.reset();
        enables = QVector<bool>(4, true);
        Config::clearAnalyzerParam();
        Config::saveGlobalParam("analyzerAlias", "");
        Config::saveGlobalParam("recentAnalyzers", "");
    }
    void cleanup()
    {
        refuseThreads(0);
        drop();
    }

    void panelShape()
    {
        make("main");
        QCOMPARE(panel->objectName(), QString("ProtoManager"));
        // Until the first rebuild the menu holds one inert "None".
        QCOMPARE(recentEntries(panel->protocolMenu()), QStringList{"None"});
        QCOMPARE(panel->moreDialog()->size(), QSize(Config::pixel(300), Config::pixel(480)));
        QVERIFY(panel->titleBar()->getState());
        QVERIFY(!panel->content()->isHidden());
        panel->titleBar()->setState(false);
        QVERIFY(panel->content()->isHidden());
        panel->titleBar()->setState(true);

        ProtoKit::add(*mgr, "Host Test", {{"Input", 0}});
        ProtoKit::add(*mgr, "HostPlain", {{"Input", 1}});
        QCOMPARE(panel->items().size(), 2);
        QCOMPARE(row(0)->objectName(), QString("libHostTest.so"));
        QCOMPARE(row(1)->objectName(), QString("libHostPlain.so"));
        QCOMPARE(row(1)->index(), 1);
        QCOMPARE(row(0)->nameField()->text(), QString("Host Test"));
        // The menu ends with the catalogue entry, which runs the catalogue.
        const QList<QAction*> acts = panel->protocolMenu()->actions();
        QVERIFY(acts[acts.size() - 2]->isSeparator());
        QCOMPARE(acts.last()->text(), QString("More Analyzers..."));
        acts.last()->trigger();
        QCOMPARE(kit.dialogs, QStringList{"All Protocol Analyzers"});
    }

    // (stored "recentAnalyzers", plug-ins in use, what happens) -> (recent
    // entries of the menu, stored text).
    void recentList_data()
    {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("inUse");
        QTest::addColumn<QString>("actions");
        QTest::addColumn<QStringList>("menu");
        QTest::addColumn<QString>("storedAfter");

        QTest::newRow("first start, no default loaded") << "main" << "" << "" << "" << QStringList() << "";
        QTest::newRow("first start, two defaults loaded")
            << "recent" << "" << "" << "" << QStringList{"UART", "CAN"} << "libCAN.so,libUART.so";
        QTest::newRow("restored analyzers are the newest")
            << "recent" << "libCAN.so,libUART.so" << "libCAN.so" << "" << QStringList{"CAN", "UART"}
            << "libUART.so,libCAN.so";
        QTest::newRow("a listed plug-in moves to the top")
            << "recent" << "libCAN.so,libUART.so" << "" << "add:libCAN.so" << QStringList{"CAN", "UART"}
            << "libUART.so,libCAN.so";
        QStringList ten;
        for (int i = 1; i <= 10; ++i)
            ten << QString("libP%1.so").arg(i);
        QStringList pushed = ten.mid(1);
        pushed << "libUART.so";
        QTest::newRow("the eleventh pushes the oldest out")
            << "recent" << ten.join(',') << "" << "add:libUART.so"
            << QStringList{"UART", "P10", "P9", "P8", "P7", "P6", "P5", "P4", "P3", "P2"} << pushed.join(',');
        QTest::newRow("a removal keeps the order")
            << "recent" << "libUART.so,libCAN.so,libP1.so" << "libP1.so,libCAN.so" << "remove:0"
            << QStringList{"CAN", "P1", "UART"} << "libUART.so,libP1.so,libCAN.so";
        QTest::newRow("an edit moves every row to the newest end")
            << "recent" << "libCAN.so,libP1.so,libUART.so" << "libCAN.so,libP1.so" << "add:libUART.so;remove:2;edit:0"
            << QStringList{"P1", "CAN", "UART"} << "libUART.so,libCAN.so,libP1.so";
        QTest::newRow("names not loaded and empty parts drop out")
            << "recent" << "libGone.so,,libCAN.so" << "" << "" << QStringList{"CAN"} << "libCAN.so";
        QTest::newRow("a plug-in in use twice counts once")
            << "recent" << "" << "libP1.so,libP2.so,libP1.so" << "" << QStringList{"P1", "P2", "UART", "CAN"}
            << "libCAN.so,libUART.so,libP2.so,libP1.so";
    }
    void recentList()
    {
        QFETCH(QString, dir);
        QFETCH(QString, stored);
        QFETCH(QString, inUse);
        QFETCH(QString, actions);
        QFETCH(QStringList, menu);
        QFETCH(QString, storedAfter);

        Config::saveGlobalParam("recentAnalyzers", stored);
        int item = 0;
        for (const QString& file : inUse.split(',', Qt::SkipEmptyParts))
            Config::saveAnalyzerParam(item++, {file, "", "2"});
        make(dir);
        mgr->restoreUsing();
        QCOMPARE(mgr->getUsingCount(), item);
        for (const QString& action : actions.split(';', Qt::SkipEmptyParts)) {
            const QString verb = action.section(':', 0, 0), arg = action.section(':', 1);
            if (verb == "add")
                QVERIFY(ProtoKit::add(*mgr, mgr->getSpecAnalyzerName(arg), {}));
            else if (verb == "remove")
                mgr->removeUsing(arg.toInt());
            else
                mgr->saveEditMessage(arg.toInt(), false);
        }
        QCOMPARE(recentEntries(panel->protocolMenu()), menu);
        QCOMPARE(Config::readGlobalParam("recentAnalyzers"), storedAfter);
        // Each entry names its plug-in by its place in the catalogue.
        const QStringList all = mgr->getAllAnalyzerName();
        for (QAction* a : panel->protocolMenu()->actions())
            if (!a->isSeparator() && a != panel->protocolMenu()->actions().last())
                QCOMPARE(all.value(a->data().toInt()), a->text());
    }

    // An entry of the menu sets up a new analyzer of its plug-in.
    void recentEntryAdds()
    {
        make("recent");
        mgr->restoreUsing();
        kit.onDialog = [](QDialog* d) {
            auto* edit = qobject_cast<ProtoEdit*>(d);
            if (edit)
                edit->saveClicked();
            return d->result();
        };
        entry(panel->protocolMenu(), "CAN")->trigger();
        QCOMPARE(kit.dialogs, QStringList{"Analyzer - CAN"});
        QCOMPARE(mgr->getUsingCount(), 1);
        QCOMPARE(mgr->getUsingSpecFileName(0), QString("libCAN.so"));
        QCOMPARE(recentEntries(panel->protocolMenu()).first(), QString("CAN"));
    }

    void alias()
    {
        make("main");
        ProtoKit::add(*mgr, "Host Test", {{"Input", 0}});
        ProtoKit::add(*mgr, "Host Test B (Not Supported)", {{"Input", 1}});
        QVERIFY(showWindow());
        MyLineEdit* field = row(0)->nameField();

        // Pressed, the field shows the alias (the plug-in's name) to edit.
        QTest::mouseClick(field, Qt::LeftButton);
        QVERIFY(row(0)->aliasEditing());
        QCOMPARE(field->text(), QString("Host Test"));
        QTRY_VERIFY(field->hasFocus());
        field->selectAll();
        QTest::keyClicks(field, "Door;Bell");
        QCOMPARE(field->text(), QString("DoorBell"));
        QCOMPARE(field->cursorPosition(), 8);
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(!field->hasFocus());
        QVERIFY(!row(0)->aliasEditing());
        QCOMPARE(mgr->getUsingAlias(0), QString("DoorBell"));
        QCOMPARE(Config::readGlobalParam("analyzerAlias"), QString("DoorBell;;"));
        QCOMPARE(field->text(), QString("DoorBell"));

        // Tab in and out of a field that was never pressed stores nothing:
        // the shown name with its suffix is no alias.
        MyLineEdit* other = row(1)->nameField();
        QCOMPARE(other->text(), QString("Host Test B (Not Supported)"));
        other->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(other->hasFocus());
        elsewhere->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(elsewhere->hasFocus());
        QCOMPARE(mgr->getUsingAlias(1), QString("Host Test B"));
        QCOMPARE(Config::readGlobalParam("analyzerAlias"), QString("DoorBell;;"));
        QCOMPARE(other->text(), QString("Host Test B (Not Supported)"));

        // A pasted ";" vanishes too; the other characters stay.
        QTest::mouseClick(other, Qt::LeftButton);
        QCOMPARE(other->text(), QString("Host Test B"));
        other->selectAll();
        QGuiApplication::clipboard()->setText("Le;ft;");
        if (QGuiApplication::clipboard()->text() == "Le;ft;")
            other->paste();
        else
            other->insert("Le;ft;"); // the same path when the platform has no clipboard
        QCOMPARE(other->text(), QString("Left"));
        elsewhere->setFocus(Qt::MouseFocusReason);
        QTRY_COMPARE(mgr->getUsingAlias(1), QString("Left"));
        QCOMPARE(Config::readGlobalParam("analyzerAlias"), QString("DoorBell;Left;"));

        // The plug-in's own name stores no alias.
        QTest::mouseClick(field, Qt::LeftButton);
        QCOMPARE(field->text(), QString("DoorBell"));
        field->selectAll();
        QTest::keyClicks(field, "Host Test");
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(Config::readGlobalParam("analyzerAlias"), QString(";Left;"));
        QCOMPARE(mgr->getUsingAlias(0), QString("Host Test"));
    }

    void rowMenu()
    {
        Config::saveAnalyzerParam(0, {"libHostTest.so", "", "7"});
        make("main");
        mgr->restoreUsing();
        row(0)->slotBtnSetClicked();
        QMenu* menu = row(0)->rowMenu();
        QVERIFY(menu);
        menu->hide();
        const QList<QAction*> acts = menu->actions();
        QCOMPARE(acts.size(), 3);
        QCOMPARE(acts[0]->text(), QString("Edit"));
        QCOMPARE(acts[1]->text(), QString("Display Format"));
        QMenu* formats = acts[1]->menu();
        QStringList texts;
        for (QAction* a : formats->actions())
            texts << a->text() + (a->isChecked() ? "*" : "");
        // A stored format out of range reads as Hex.
        QCOMPARE(texts, (QStringList{"Bin", "Dec", "Hex*", "ASCII", "ASCII && Hex"}));

        // Choosing Dec stores it and rebuilds the rows from inside the row's
        // own slot: the old row goes only after the slot has returned.
        QPointer<ProtoItem> old = row(0);
        formats->actions()[1]->trigger();
        QCOMPARE(mgr->getUsingDisplayFormat(0), 1);
        QVERIFY(old);
        QVERIFY(old->isRetired());
        QVERIFY(row(0) != old);
        flushDeletes();
        QVERIFY(!old);
        row(0)->slotBtnSetClicked();
        row(0)->rowMenu()->hide();
        QVERIFY(row(0)->rowMenu()->actions()[1]->menu()->actions()[1]->isChecked());
    }

    void remove_data()
    {
        QTest::addColumn<bool>("device");
        QTest::addColumn<bool>("connected");
        QTest::newRow("no device") << false << false;
        QTest::newRow("demonstration device, not connected") << true << false;
        QTest::newRow("connected device") << true << true;
    }
    void remove()
    {
        QFETCH(bool, device);
        QFETCH(bool, connected);
        std::unique_ptr<DevBase> dev(device ? DevBase::createDevice(DevModelDemo) : nullptr);
        if (dev)
            dev->connected = connected;
        devUsing = dev.get();
        make("main");
        ProtoKit::add(*mgr, "Host Test", {{"Input", 0}});
        ProtoKit::add(*mgr, "HostPlain", {{"Input", 1}});
        const QString recent = Config::readGlobalParam("recentAnalyzers");
        QPointer<ProtoItem> first = row(0);
        first->slotBtnRemoveClicked();
        QCOMPARE(mgr->getUsingCount(), 1);
        QCOMPARE(panel->items().size(), 1);
        QCOMPARE(row(0)->objectName(), QString("libHostPlain.so"));
        QCOMPARE(Config::readGlobalParam("recentAnalyzers"), recent);
        flushDeletes();
        QVERIFY(!first);
        if (dev)
            QVERIFY(!dev->smpRunning);
        devUsing = nullptr;
    }

    void catalogue()
    {
        make("main");
        DlgMoreProto* dlg = panel->moreDialog();
        QCOMPARE(dlg->windowTitle(), QString("All Protocol Analyzers"));
        auto texts = [dlg] {
            QStringList t;
            for (int i = 0; i < dlg->list()->count(); ++i)
                t << dlg->list()->item(i)->text();
            t.sort();
            return t;
        };
        const QStringList all{"Host Test", "Host Test B (Not Supported)", "HostPlain"};
        QCOMPARE(texts(), all);
        QVERIFY(!dlg->okButton()->isEnabled());

        // Case-insensitive search; an empty text shows everything again.
        dlg->searchEdit()->setText("TEST B");
        QCOMPARE(texts(), QStringList{"Host Test B (Not Supported)"});
        dlg->searchEdit()->setText("plain");
        QCOMPARE(texts(), QStringList{"HostPlain"});
        dlg->searchEdit()->setText("");
        QCOMPARE(texts(), all);

        // Without a selection OK does nothing.
        dlg->slotBtnBoxOKClicked();
        QVERIFY(kit.dialogs.isEmpty());

        // A double click closes the catalogue (clearing its search) and sets
        // up a new analyzer of that plug-in.
        kit.onDialog = [dlg](QDialog* d) {
            if (d == dlg) {
                dlg->searchEdit()->setText("b");
                QListWidgetItem* it = dlg->list()->findItems("Host Test B (Not Supported)", Qt::MatchExactly).value(0);
                dlg->list()->setCurrentItem(it);
                const QModelIndex index = dlg->list()->model()->index(dlg->list()->row(it), 0);
                emit dlg->list()->clicked(index);
                emit dlg->list()->doubleClicked(index);
            } else if (auto* edit = qobject_cast<ProtoEdit*>(d)) {
                edit->saveClicked();
            }
            return d->result();
        };
        panel->slotMenuMoreClicked();
        QCOMPARE(kit.dialogs, (QStringList{"All Protocol Analyzers", "Analyzer - Host Test B"}));
        QCOMPARE(mgr->getUsingCount(), 1);
        QCOMPARE(mgr->getUsingSpecFileName(0), QString("libHostTestB.so"));
        QCOMPARE(dlg->searchEdit()->text(), QString());
        QCOMPARE(texts(), all);
        // OK stays enabled for the next opening.
        QVERIFY(dlg->okButton()->isEnabled());
        dlg->list()->clearSelection();
        kit.dialogs.clear();
        dlg->slotBtnBoxOKClicked();
        QVERIFY(kit.dialogs.isEmpty());
    }

    // A device change restores the analyzers in use while the row's settings
    // dialog runs its own event loop: the dialog closes without writing, and
    // neither it nor the row goes before the row's slot has returned.
    void deviceChangeDuringEdit()
    {
        make("main");
        ProtoKit::add(*mgr, "Host Test", {{"Input", 0}, {"Mode", 2}});
        const QString stored = Config::readAnalyzerParam();
        QPointer<ProtoItem> old = row(0);
        QPointer<ProtoEdit> seen;
        bool closedItself = true;
        kit.onDialog = [this, &seen, &closedItself](QDialog* d) {
            seen = qobject_cast<ProtoEdit*>(d);
            auto* chn = seen->channelEditors().value(0);
            chn->setCurrentIndex(3);
            // Further events are handled before the dialog's loop unwinds.
            QTimer::singleShot(0, mgr.get(), [this] {
                mgr->restoreUsing();
                QTest::qWait(10);
            });
            QTimer::singleShot(5000, d, [d, &closedItself] {
                closedItself = false;
                d->reject();
            });
            return d->exec();
        };
        old->slotMenuEditClicked();
        QCOMPARE(kit.dialogs.size(), 1);
        QVERIFY(closedItself);
        QVERIFY(!seen); // destroyed with the slot's end
        QVERIFY(old);
        QVERIFY(old->isRetired());
        QCOMPARE(Config::readAnalyzerParam(), stored);
        QCOMPARE(mgr->getUsingChnAlias(0).value(0), QString("0"));
        flushDeletes();
        QVERIFY(!old);
        QCOMPARE(panel->items().size(), 1);

        // The same change while a box of the dialog's own "OK" is up.
        bool letGo = false;
        kit.onDialog = [&letGo](QDialog* d) {
            auto* edit = qobject_cast<ProtoEdit*>(d);
            edit->integerEditors().value(0)->setText("x");
            edit->channelEditors().value(0)->setCurrentIndex(2);
            edit->saveClicked();
            letGo = !edit->analyzer();
            return d->result();
        };
        kit.onBox = [this](const ProtoKit::Box&) { mgr->restoreUsing(); };
        row(0)->slotMenuEditClicked();
        QCOMPARE(kit.boxes.size(), 1);
        QVERIFY(letGo);
        QCOMPARE(Config::readAnalyzerParam(), stored);
        QCOMPARE(mgr->getUsingChnAlias(0).value(0), QString("0"));
        flushDeletes();
        QCOMPARE(panel->items().size(), 1);
    }

    // The system refuses an analyzer's decode thread: its row says it did
    // not decode, no run waits for the thread, removing or deleting the
    // analyzer does not wait either, and the next decode with threads free
    // decodes it.
    void refusedDecode()
    {
        make("main");
        std::unique_ptr<CaptureTables> capture = ProtoKit::fillCapture(*mgr);
        QSignalSpy decoded(mgr.get(), &AnalyzerManager::analyzerDecodedChanged);
        refuseThreads(1);
        Analyzer* a = ProtoKit::add(*mgr, "Host Test", {{"Input", 0}, {"Mode", 2}}, true);
        QVERIFY(a);
        QVERIFY(mgr->decodeRefused(0));
        QVERIFY(!a->IsRunActive());
        QCOMPARE(a->GetRunEnd(), RunFailed);
        QVERIFY(!mgr->anlyThreadIsRuning(0));
        // Announced after the change, not from inside it.
        QCOMPARE(decoded.count(), 0);
        QTRY_COMPARE(decoded.count(), 1);
        QLabel* label = row(0)->notDecodedLabel();
        QVERIFY(!label->isHidden());
        QCOMPARE(label->text(), QString("Not decoded"));
        QCOMPARE(label->toolTip(),
                 QString("The system could not start a thread for this analyzer. It decodes again at the next capture."));
        // A row built again shows it as well.
        mgr->saveEditMessage(0, false);
        QVERIFY(!row(0)->notDecodedLabel()->isHidden());

        // Still refused: the next decode tries again and ends the same way.
        mgr->startDecode(*capture->data());
        QVERIFY(mgr->decodeRefused(0));
        QVERIFY(!a->IsRunActive());

        // Threads free: the next capture decodes it.
        refuseThreads(0);
        mgr->startDecode(*capture->data());
        QVERIFY(!mgr->decodeRefused(0));
        AnalyzerResults* r = nullptr;
        QTRY_VERIFY(a->GetAnalyzerResults(&r) && r->GetNumFrames() == 3);
        QTRY_VERIFY(row(0)->notDecodedLabel()->isHidden());
        QTRY_VERIFY(!mgr->anlyThreadIsRuning(0));

        // Refused again, for this one and a second one: the first is
        // removed, the second goes with the host.
        refuseThreads(1);
        QVERIFY(ProtoKit::add(*mgr, "HostPlain", {{"Input", 1}}));
        mgr->startDecode(*capture->data());
        QVERIFY(mgr->decodeRefused(0));
        QVERIFY(mgr->decodeRefused(1));
        mgr->removeUsing(0);
        QCOMPARE(mgr->getUsingCount(), 1);
        QVERIFY(mgr->decodeRefused(0));
        QVERIFY(!row(0)->notDecodedLabel()->isHidden());
        drop();
    }

    // The re-run a plug-in asks for when its run ends is refused its thread.
    void refusedRerun()
    {
        make("main");
        std::unique_ptr<CaptureTables> capture = ProtoKit::fillCapture(*mgr);
        Analyzer* a = ProtoKit::add(*mgr, "Host Test", {{"Input", 0}, {"Mode", 2}, {"Rerun", 1}}, true);
        QVERIFY(a);
        QVERIFY(!mgr->decodeRefused(0));
        // The first run ends on its thread; its notice waits in the queue.
        QElapsedTimer t;
        t.start();
        while (a->IsRunActive() && t.elapsed() < 10000)
            QThread::msleep(1);
        QVERIFY(!a->IsRunActive());
        refuseThreads(1);
        QTRY_VERIFY(mgr->decodeRefused(0));
        QVERIFY(!a->IsRunActive());
        QTRY_VERIFY(!row(0)->notDecodedLabel()->isHidden());

        refuseThreads(0);
        mgr->startDecode(*capture->data());
        AnalyzerResults* r = nullptr;
        QTRY_VERIFY(a->GetAnalyzerResults(&r) && r->GetNumFrames() == 3);
        QTRY_VERIFY(row(0)->notDecodedLabel()->isHidden());
        QVERIFY(!mgr->decodeRefused(0));
    }
};

QTEST_MAIN(TestProtoManager)
#include "test_protomanager.moc"
