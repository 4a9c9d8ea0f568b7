// The analyzer settings dialog: its rows per setting kind, the channel
// choices and their starting items, the integer check, a new analyzer's
// fate, and "OK" on an analyzer in use while it decodes.
#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLibrary>
#include <QLineEdit>

#include <map>
#include <memory>

#include "Analyzer.h"
#include "CaptureTables.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "decode/AnalyzerManager.h"
#include "decode/ProtoEdit.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "support/ProtoKit.h"
#include "support/TestEnv.h"

namespace {

int hostTestDestroyed()
{
    QLibrary lib(ProtoKit::pluginDir("main") + "/libHostTest.so");
    auto f = reinterpret_cast<int (*)()>(lib.resolve("HostTestDestroyed"));
    return f ? f() : -1;
}

// The dialog's grid, one text per row: labels by their text, an empty label
// as "gap<height>", editors by class, the buttons as "buttons".
QStringList gridRows(ProtoEdit& d)
{
    std::map<int, QStringList> rows;
    QGridLayout* g = d.grid();
    for (int i = 0; i < g->count(); ++i) {
        int r, c, rs, cs;
        g->getItemPosition(i, &r, &c, &rs, &cs);
        QWidget* w = g->itemAt(i)->widget();
        QString what;
        if (w == d.buttonBox())
            what = "buttons";
        else if (auto* l = qobject_cast<QLabel*>(w))
            what = l->text().isEmpty() ? QString("gap%1").arg(l->height() == Config::pixel(4) ? 4 : 2) : l->text();
        else
            what = w->metaObject()->className();
        rows[r] << QString("%1:%2").arg(c).arg(what);
    }
    QStringList out;
    for (const auto& r : rows)
        out << QString::number(r.first) + " " + r.second.join(' ');
    return out;
}

QStringList items(QComboBox* box)
{
    QStringList t;
    for (int i = 0; i < box->count(); ++i)
        t << box->itemText(i);
    return t;
}

QByteArray settingsText(Analyzer* a)
{
    return QByteArray(a->GetAnalyzerSettings()->SaveSettings());
}

} // namespace

class TestProtoEdit : public QObject
{
    Q_OBJECT

    ProtoKit kit;
    QVector<bool> enables;
    std::unique_ptr<AnalyzerManager> mgr;
    std::unique_ptr<CaptureTables> capture;

    void make(const QString& which)
    {
        mgr.reset();
        AnalyzerManager::setAnalyzerDir(ProtoKit::pluginDir(which));
        mgr.reset(new AnalyzerManager);
    }
    int plugin(const QString& name) const { return mgr->getAllAnalyzerName().indexOf(name); }

private slots:
    void initTestCase() { ProtoKit::initConfig(&enables); }
    void cleanupTestCase()
    {
        mgr.reset();
        AnalyzerManager::setAnalyzerDir(QString());
    }
    void init()
    {
        kit.reset();
        enables = QVector<bool>(4, true);
        Config::clearAnalyzerParam();
        Config::saveGlobalParam("analyzerAlias", "");
    }
    void cleanup()
    {
        mgr.reset();
        capture.reset();
    }

    // (n settings, c channel settings) -> the rows of editors, gaps, buttons.
    void layout_data()
    {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("(4, 2): channels, integer, bool")
            << "main" << "Host Test"
            << QStringList{"0 0:Input 1:QComboBox", "1 0:Aux 1:QComboBox", "2 0:gap4", "3 0:Mode 1:QLineEdit",
                           "4 0:Rerun 1:QCheckBox", "5 0:gap2", "6 1:buttons"};
        QTest::newRow("c = n: channels only")
            << "main" << "HostPlain" << QStringList{"0 0:Input 1:QComboBox", "1 0:Aux 1:QComboBox", "2 0:gap4", "3 1:buttons"};
        QTest::newRow("(2, 1): channel, number list")
            << "bin" << "IR-RC6"
            << QStringList{"0 0:Input 1:QComboBox", "1 0:gap4", "2 0:Logic 1:QComboBox", "3 0:gap2", "4 1:buttons"};
    }
    void layout()
    {
        QFETCH(QString, dir);
        QFETCH(QString, name);
        QFETCH(QStringList, rows);
        make(dir);
        QVERIFY(plugin(name) >= 0);
        ProtoEdit d(false, mgr.get(), plugin(name), nullptr);
        QCOMPARE(d.windowTitle(), "Analyzer - " + name);
        d.grid()->activate();
        QCOMPARE(gridRows(d), rows);
        QCOMPARE(d.buttonBox()->buttons().size(), 2);
        for (QComboBox* b : d.channelEditors())
            QCOMPARE(b->height(), Config::pixel(22));
        if (name == "IR-RC6") {
            // The list starts on the entry whose number is the setting's.
            QComboBox* logic = d.numberEditors().value(0);
            QCOMPARE(items(logic), (QStringList{"Logic '1' on Falling Edge", "Logic '1' on Rising Edge (Default)"}));
            QCOMPARE(logic->currentIndex(), 1);
            QCOMPARE(logic->itemData(1, Qt::ToolTipRole).toString(), QString("Read Samples on Rising Edge"));
            QCOMPARE(d.channelEditors()[0]->toolTip(), QString("Standard InfraRed"));
        }
    }

    void channelChoices()
    {
        make("main");
        QVERIFY(ProtoKit::add(*mgr, "Host Test", {{"Input", 0}}));
        {
            // A new analyzer starts on the free channels, one after another;
            // a taken channel names who takes it.
            ProtoEdit d(false, mgr.get(), plugin("Host Test"), nullptr);
            QComboBox* input = d.channelEditors()[0];
            QComboBox* aux = d.channelEditors()[1];
            QCOMPARE(items(input), (QStringList{"0 - 'Channel 0'    (Host Test - Input)", "1 - 'Channel 1'",
                                                "2 - 'Channel 2'", "3 - 'Channel 3'"}));
            QCOMPARE(items(aux).last(), QString("None"));
            QCOMPARE(aux->count(), 5);
            QCOMPARE(input->currentIndex(), 1);
            QCOMPARE(aux->currentIndex(), 2);
        }
        {
            // In use: its own channel, "None" for an unset one.
            ProtoEdit d(true, mgr.get(), 0, nullptr);
            QCOMPARE(d.channelEditors()[0]->currentIndex(), 0);
            QCOMPARE(d.channelEditors()[0]->itemText(0), QString("0 - 'Channel 0'"));
            QCOMPARE(d.channelEditors()[1]->currentText(), QString("None"));
        }
        // A disabled channel is not offered; one in use that is now disabled
        // opens on the first item.
        QVERIFY(ProtoKit::add(*mgr, "Host Test", {{"Input", 1}}));
        enables = {true, false, true, true};
        ProtoEdit d(true, mgr.get(), 1, nullptr);
        QCOMPARE(items(d.channelEditors()[0]),
                 (QStringList{"0 - 'Channel 0'    (Host Test - Input)", "2 - 'Channel 2'", "3 - 'Channel 3'"}));
        QCOMPARE(d.channelEditors()[0]->currentIndex(), 0);
        // With every channel taken, a new one starts where the free ones end.
        enables = {true, true};
        ProtoEdit full(false, mgr.get(), plugin("HostPlain"), nullptr);
        QCOMPARE(full.channelEditors()[0]->currentIndex(), 0);
        QCOMPARE(full.channelEditors()[1]->currentIndex(), 0);
    }

    // Integer text -> boxes, added.
    void integers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("empty") << "" << false;
        QTest::newRow("trailing letter") << "1x" << false;
        QTest::newRow("minimum") << "0" << true;
        QTest::newRow("maximum") << "4" << true;
        QTest::newRow("maximum + 1") << "5" << false;
        QTest::newRow("below the minimum") << "-1" << false;
    }
    void integers()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        make("main");
        ProtoEdit d(false, mgr.get(), plugin("Host Test"), nullptr);
        d.integerEditors()[0]->setText(text);
        d.saveClicked();
        QCOMPARE(d.added(), valid);
        QCOMPARE(d.result(), valid ? int(QDialog::Accepted) : 0);
        QCOMPARE(mgr->getUsingCount(), valid ? 1 : 0);
        QCOMPARE(kit.boxes.size(), valid ? 0 : 1);
        if (!valid) {
            QCOMPARE(kit.boxes[0].icon, QMessageBox::Warning);
            QCOMPARE(kit.boxes[0].title, QString("A Setting is Invalid"));
            QCOMPARE(kit.boxes[0].text, QString("Please enter an integer in the range [0, 4]"));
            // Nothing was written while a value was refused.
            QCOMPARE(d.channelEditors()[0]->currentIndex(), 0);
        }
    }

    // A new analyzer: "OK" adds it as it stands; any other end hands it back
    // to its own plug-in.
    void newAnalyzer()
    {
        make("main");
        const int before = hostTestDestroyed();
        {
            ProtoEdit d(false, mgr.get(), plugin("Host Test"), nullptr);
            d.saveClicked();
            QVERIFY(d.added());
        }
        QCOMPARE(mgr->getUsingCount(), 1);
        QCOMPARE(hostTestDestroyed(), before);
        QCOMPARE(mgr->getUsingChnAlias(0), (QStringList{"0", "Host Test - Input", "1", "Host Test - Aux"}));
        {
            ProtoEdit d(false, mgr.get(), plugin("Host Test"), nullptr);
            d.buttonBox()->buttons()[1]->click(); // Cancel
            QCOMPARE(d.result(), int(QDialog::Rejected));
        }
        QCOMPARE(hostTestDestroyed(), before + 1);
        {
            ProtoEdit d(false, mgr.get(), plugin("Host Test"), nullptr);
            d.show();
            d.close(); // the window's close button
        }
        QCOMPARE(hostTestDestroyed(), before + 2);
        {
            // Refused settings keep the dialog open; its end returns it.
            ProtoEdit d(false, mgr.get(), plugin("Host Test"), nullptr);
            d.channelEditors()[1]->setCurrentIndex(d.channelEditors()[0]->currentIndex());
            d.saveClicked();
            QCOMPARE(kit.boxes.size(), 1);
            QCOMPARE(kit.boxes[0].text, QString("Input and Aux must differ"));
            QVERIFY(!d.added());
        }
        QCOMPARE(hostTestDestroyed(), before + 3);
        QCOMPARE(mgr->getUsingCount(), 1);
    }

    // "OK" on an analyzer in use stops its decode; settings that prove the
    // same, or that are refused, leave it decoded again.
    void editWhileDecoding()
    {
        make("main");
        capture = ProtoKit::fillCapture(*mgr);
        Analyzer* a = ProtoKit::add(*mgr, "Host Test", {{"Input", 0}, {"Mode", 4}});
        QVERIFY(a);
        mgr->startDecode();
        QVERIFY(mgr->anlyThreadIsRuning(0));
        const QString stored = Config::readAnalyzerParam();
        const QByteArray text = settingsText(a);

        U64 run = a->GetRunId();
        {
            ProtoEdit d(true, mgr.get(), 0, nullptr);
            d.saveClicked();
            QCOMPARE(d.result(), int(QDialog::Accepted));
        }
        QVERIFY(a->GetRunId() > run);
        QVERIFY(mgr->anlyThreadIsRuning(0));
        QCOMPARE(Config::readAnalyzerParam(), stored);

        run = a->GetRunId();
        {
            ProtoEdit d(true, mgr.get(), 0, nullptr);
            d.channelEditors()[1]->setCurrentIndex(0); // Aux on Input's channel
            d.saveClicked();
            QCOMPARE(kit.boxes.size(), 1);
            QCOMPARE(d.result(), 0);
        }
        QVERIFY(a->GetRunId() > run);
        QVERIFY(mgr->anlyThreadIsRuning(0));
        QCOMPARE(settingsText(a), text);
        // The interfaces describe the settings in force again.
        QCOMPARE(mgr->getUsingChnAlias(0).value(2), QString("4294967295"));
        QCOMPARE(Config::readAnalyzerParam(), stored);

        // Changed settings are stored and decoded at once.
        {
            ProtoEdit d(true, mgr.get(), 0, nullptr);
            d.integerEditors()[0]->setText("2");
            d.saveClicked();
        }
        QVERIFY(Config::readAnalyzerParam() != stored);
        QTRY_VERIFY(!mgr->anlyThreadIsRuning(0));
        AnalyzerResults* r = nullptr;
        QVERIFY(a->GetAnalyzerResults(&r));
        QCOMPARE(r->GetNumFrames(), U64(3));
    }

    // While a capture runs, changed settings are stored without a decode.
    void editWhileSampling()
    {
        std::unique_ptr<DevBase> dev(DevBase::createDevice(DevModelDemo));
        devUsing = dev.get();
        make("main");
        capture = ProtoKit::fillCapture(*mgr);
        Analyzer* a = ProtoKit::add(*mgr, "Host Test", {{"Input", 0}, {"Mode", 4}});
        mgr->startDecode();
        dev->smpRunning = true;
        const U64 run = a->GetRunId();
        {
            ProtoEdit d(true, mgr.get(), 0, nullptr);
            d.integerEditors()[0]->setText("1");
            d.saveClicked();
            QCOMPARE(d.result(), int(QDialog::Accepted));
        }
        QCOMPARE(a->GetRunId(), run);
        QVERIFY(!mgr->anlyThreadIsRuning(0));
        QVERIFY(Config::readAnalyzerParam().contains(QString::fromLatin1(settingsText(a))));
        {
            // A new analyzer is added undecoded as well.
            ProtoEdit d(false, mgr.get(), plugin("HostPlain"), nullptr);
            d.saveClicked();
        }
        QCOMPARE(mgr->getUsingCount(), 2);
        QCOMPARE(mgr->getUsingAnalyzer(1)->GetRunId(), U64(0));
        dev->smpRunning = false;
        devUsing = nullptr;
    }
};

QTEST_MAIN(TestProtoEdit)
#include "test_protoedit.moc"
