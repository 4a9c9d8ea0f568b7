// The main window wired end to end: a demonstration capture decoded by an
// RC6 analyzer restored from the configuration and walked in the Decoded
// Results list; the window's status, error and zoom tables; device changes
// and settings merges that must not leave a reader on a deleted capture.
#include <QtTest>

#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QShortcut>
#include <QStringListModel>


#include "Analyzer.h"
#include "AnalyzerResults.h"
#include "AnalyzerSettingInterface.h"
#include "app/mainwindow.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "data/SmpData.h"
#include "decode/AnalyzerManager.h"
#include "decode/ProtoResult.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "support/CaptureSignals.h"
#include "support/TestEnv.h"
#include "toolbar/SmpCtrl.h"
#include "toolbar/StatusBar.h"
#include "view/ItemWaveLine.h"
#include "view/MainView.h"
#include "view/WaveDataGen.h"
#include "widgets/MyProgressDlg.h"

namespace {

struct Box {
    QString title;
    QString text;
};

// The RC6 analyzer of the prepared configuration listens on channel 2.
constexpr int RcChn = 2;

// Fills the shown store of dev with `edges` edges on channel chn, `gap`
// samples apart, in a capture of depth samples at 50 kHz.
void fillShown(DevBase* dev, int chn, long long edges, long long gap, long long depth)
{
    SmpData* s = dev->shownData();
    QVector<bool> ena(s->chnNum, false);
    ena[chn] = true;
    QVERIFY(s->dataConvertStart(0, 50000, ena));
    for (long long i = 1; i <= edges; ++i)
        QVERIFY(s->appendEdge(chn, i * gap));
    s->smpDepth = depth;
    QVERIFY(s->dataConvertComplete(depth));
}

AnalyzerResults* resultsOf(Analyzer* a)
{
    AnalyzerResults* r = nullptr;
    return a && a->GetAnalyzerResults(&r) ? r : nullptr;
}

// Sets an integer or channel setting of an analyzer by its title, as the
// settings dialog does.
void setSetting(Analyzer* a, const char* title, int value)
{
    AnalyzerSettings* s = a->GetAnalyzerSettings();
    for (U32 i = 0; i < s->GetSettingsInterfacesCount(); ++i) {
        AnalyzerSettingInterface* itf = s->GetSettingsInterface(i);
        if (QByteArray(itf->GetTitle()) != title)
            continue;
        if (itf->GetType() == INTERFACE_CHANNEL)
            static_cast<AnalyzerSettingInterfaceChannel*>(itf)->SetChannel(Channel(0, U32(value)));
        else
            static_cast<AnalyzerSettingInterfaceInteger*>(itf)->SetInteger(value);
    }
    s->SetSettingsFromInterfaces();
}

} // namespace

class TestMainWindowRoad : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;
    QList<Box> boxes;

    static QStringList rows(MainWindow& w)
    {
        return static_cast<QStringListModel*>(w.protoResult->resultList()->model())->stringList();
    }

    // A capture heavy enough that its decode is still running when the
    // test acts, and the display generator in the middle of a zoom.
    void busyReaders(MainWindow& w)
    {
        fillShown(devUsing, RcChn, 3000000, 3, 3000000 * 3 + 10);
        w.slotSmpDataReady(0);
        w.slotSmpDataReady(1);
        QVERIFY(w.analyzerManager->anlyThreadIsRuning(0));
        Config::disAnimate = false;
        w.waveDataGen->zoomIn(100);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        // The prepared configuration: demonstration device at 50 kHz and
        // 20 k samples, one RC6 analyzer on channel 2 in decimal.
        TestEnv::startProgram("road/cv.config", tmp.filePath("cv.config"));
        const QString bin = QString::fromLocal8Bit(qgetenv("CORVENA_BIN"));
        QVERIFY(!bin.isEmpty());
        AnalyzerManager::setAnalyzerDir(bin + "/Analyzer/");
        devUsing = DevBase::createDevice(Config::getDevModel());
        MainWindow::criticalBox = [this](QWidget*, const QString& title, const QString& text) {
            boxes.append({title, text});
        };
    }

    void cleanupTestCase()
    {
        MainWindow::criticalBox = nullptr;
        delete devUsing;
        devUsing = nullptr;
        AnalyzerManager::setAnalyzerDir(QString());
    }

    void init()
    {
        boxes.clear();
        Config::dataFile.clear();
        Config::smpProgPosition = false;
        Config::disAnimate = true;
    }

    void cleanup()
    {
        // Every test leaves the demonstration device in place.
        if (devUsing && devUsing->devModel != DevModelDemo) {
            delete devUsing;
            devUsing = DevBase::createDevice(DevModelDemo);
        }
    }

    // Single (F5) on the demonstration device: the RC6 traffic it simulates
    // is decoded, listed in order, and a chosen message is brought into view.
    void road()
    {
        MainWindow w;
        w.resize(1400, 900);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));

        QCOMPARE(w.windowTitle(), QString("Demo Disconnected - Corvena"));
        QCOMPARE(devUsing->getSmpFrequ(), 50000LL);
        QCOMPARE(devUsing->curDepth, 20000LL);
        QCOMPARE(w.analyzerManager->getUsingCount(), 1);
        QCOMPARE(ItemWaveLine::usingChnAnalyzers(RcChn).size(), 1);   // bubbles on its row
        QCOMPARE(MainView::chnAliasSource(-1).mid(2 * RcChn, 2), (QStringList{"2", "IR-RC6 - Input"}));

        QSignalSpy decoded(w.analyzerManager, &AnalyzerManager::analyzerDecodedChanged);
        QTest::keyClick(&w, Qt::Key_F5);
        QVERIFY(decoded.wait(30000));
        QVERIFY(devUsing->hasValidData());
        QCOMPARE(devUsing->shownData()->smpDepth, 20000LL);

        // The messages as the simulation sends them: address 37, commands
        // counting up from 48, the toggle bit alternating.
        QStringList expect;
        for (int m = 0; m < 4; ++m)
            expect << "LS" << "Start: 1" << "Mode: 0" << QString("TR: %1").arg(m % 2) << "ADDR: 37"
                   << QString("CMD: %1").arg(48 + m);
        QTRY_VERIFY_WITH_TIMEOUT(rows(w).size() >= expect.size(), 10000);
        QCOMPARE(rows(w).mid(0, expect.size()), expect);
        QCOMPARE(w.statusBar->text(), QString("Device Disconnected"));

        // A click on the third message's command brings it into view.
        AnalyzerResults* res = resultsOf(w.analyzerManager->getUsingAnalyzer(0));
        QVERIFY(res);
        QVERIFY(res->GetNumFrames() >= U64(expect.size()));
        const int row = 17;
        QCOMPARE(rows(w)[row], QString("CMD: 50"));
        w.waveDataGen->zoomFixed(1);
        w.waveDataGen->moveTo(0);
        QTRY_VERIFY(w.waveDataGen->isIdle());
        ResultList* list = w.protoResult->resultList();
        auto inView = [&w](const Frame& f) {
            const double beg = w.waveDataGen->start;
            const double end = beg + w.waveDataGen->width * w.waveDataGen->scale;
            return double(f.mStartingSampleInclusive) >= beg && double(f.mEndingSampleInclusive) <= end;
        };
        // The list follows the view on its own thread; a click that lands
        // while it rebuilds its page is taken by the new page, so click
        // again until the page has settled on the first message.
        bool shown = false;
        for (int attempt = 0; attempt < 10 && !shown; ++attempt) {
            QTRY_COMPARE(rows(w).value(row), QString("CMD: 50"));
            const QRect r = list->visualRect(list->model()->index(row, 0));
            QVERIFY(r.isValid());
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
            shown = QTest::qWaitFor([&] { return w.waveDataGen->isIdle() && inView(res->GetFrame(U64(row))); }, 3000);
        }
        QVERIFY(shown);
        QTRY_COMPARE(list->currentIndex().row(), row);

        // Down steps to the next message's leader, and the view follows.
        QTest::keyClick(list, Qt::Key_Down);
        QTRY_COMPARE(list->currentIndex().data().toString(), QString("LS"));
        QTRY_VERIFY(w.waveDataGen->isIdle() && inView(res->GetFrame(U64(row + 1))));
        QVERIFY(boxes.isEmpty());
    }

    // Acquisition errors: which box, if any, and the silent service count.
    void smpErrors_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("sta");
        QTest::addColumn<int>("err");
        QTest::addColumn<bool>("bySocket");
        QTest::addColumn<QString>("text");
        const QString rate = "Cannot keep up with this sample rate.\r\nPlease try to reduce the sample rate.";
        QTest::newRow("buffer read failed") << 0 << 4 << 3 << false << "An error occurred: S-403";
        QTest::newRow("stream read failed") << 1 << 4 << 3 << false << rate;
        QTest::newRow("stream short read") << 1 << 3 << 14 << false << rate;
        QTest::newRow("buffer short read") << 0 << 4 << 14 << false << "An error occurred: S-40e";
        QTest::newRow("out of memory") << 1 << 3 << 4 << false << "Out of memory, Sample abort.";
        QTest::newRow("start failed") << 0 << 0 << 2 << false << "An error occurred: S-2";
        QTest::newRow("remote client") << 0 << 4 << 3 << true << QString();
        QTest::newRow("zero-length runs") << 0 << 4 << 32 << false << QString();
    }

    void smpErrors()
    {
        QFETCH(int, mode);
        QFETCH(int, sta);
        QFETCH(int, err);
        QFETCH(bool, bySocket);
        QFETCH(QString, text);
        MainWindow w;
        devUsing->smpMode = mode;
        devUsing->smpBySocket = bySocket;
        devUsing->fpgaVersion = 3;
        DevBase::devBatch = QByteArray("\xAB\x01\x2F", 3);
        Config::saveGlobalParam("zeroSmpCnt", "");
        w.statusBar->setSmpProgress(SmpStaSampling, 40);
        Config::smpProgPosition = true;

        w.slotDevSmpStaShow(sta, err, 17);
        if (text.isEmpty()) {
            QVERIFY(boxes.isEmpty());
        } else {
            QCOMPARE(boxes.size(), 1);
            QCOMPARE(boxes[0].title, QString("An error occurred"));
            QCOMPARE(boxes[0].text, text);
        }
        QCOMPARE(Config::readGlobalParam("zeroSmpCnt"), err == 32 ? QString("17,3,ab012f") : QString());
        QCOMPARE(w.statusBar->text(), QString("Sampling..."));   // errors forward no progress
        devUsing->smpMode = SmpModeBuffer;
        devUsing->smpBySocket = false;
        DevBase::devBatch.clear();
    }

    // Capture phases reach the status box or the progress ring; a start
    // ends the review of a capture file.
    void smpPhases()
    {
        MainWindow w;
        Config::smpProgPosition = true;
        w.slotDevSmpStaShow(SmpStaSampling, 0, 40);
        QCOMPARE(w.statusBar->text(), QString("Sampling..."));
        QCOMPARE(w.statusBar->phaseProgress(), 40);
        w.slotDevSmpStaShow(SmpStaReading, 0, 60);
        QCOMPARE(w.statusBar->text(), QString("Data reading..."));
        QCOMPARE(w.statusBar->readingProgress(), 60);

        Config::dataFile = tmp.filePath("shown.cvdat");
        w.devModelChanged();
        QCOMPARE(w.windowTitle(), Config::dataFile + " - Corvena");
        QCOMPARE(w.statusBar->text(), QString("Data Review"));
        w.slotDevSmpStaShow(SmpStaStart, 0, 0);
        QVERIFY(Config::dataFile.isEmpty());
        QCOMPARE(w.windowTitle(), QString("Demo Disconnected - Corvena"));
        w.slotDevSmpStaShow(SmpStaStopped, 0, 0);
        QCOMPARE(w.statusBar->text(), QString("Device Disconnected"));

        // Moved back to the view: the status box shows the connection again.
        w.statusBar->setSmpProgress(SmpStaSampling, 40);
        Config::smpProgPosition = false;
        w.slotSmpProgPositionChanged();
        QCOMPARE(w.statusBar->text(), QString("Device Disconnected"));
    }

    // Detection progress in the "Device connect" dialog.
    void initStates_data()
    {
        QTest::addColumn<int>("sta");
        QTest::addColumn<int>("err");
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("button");
        QTest::addColumn<bool>("shown");
        const QString wait = "Device connecting, please wait...";
        QTest::newRow("search starts") << 0 << 0 << 0 << 10 << wait << false << true;
        QTest::newRow("firmware wait") << 1 << 0 << 1200 << 30 << wait << false << true;
        QTest::newRow("firmware wait, capped") << 1 << 0 << 6000 << 70 << wait << false << true;
        QTest::newRow("re-enumerated") << 2 << 0 << 0 << 70 << wait << false << true;
        QTest::newRow("EEPROM read") << 3 << 0 << 0 << 10 << wait << false << true;
        QTest::newRow("bitstream half") << 4 << 0 << 50 << 80 << wait << false << true;
        QTest::newRow("bitstream, capped") << 4 << 0 << 200 << 90 << wait << false << true;
        QTest::newRow("connecting") << 5 << 0 << 0 << 90 << wait << false << true;
        QTest::newRow("FPGA error") << 4 << 7 << 0 << 10 << "An error occurred: I-407" << true << true;
        QTest::newRow("no return") << 1 << 5 << 0 << 10 << "An error occurred: I-105" << true << true;
        QTest::newRow("no permission")
            << 0 << 6 << 0 << 0
            << "An error occurred: I-6\nNo permission to open the analyzer. Install the udev rule 60-corvena.rules "
               "in /etc/udev/rules.d and plug the analyzer in again."
            << true << true;
        QTest::newRow("connected") << 6 << 0 << 0 << 10 << wait << false << false;
        QTest::newRow("unknown state") << 9 << 0 << 0 << 10 << wait << false << true;
    }

    void initStates()
    {
        QFETCH(int, sta);
        QFETCH(int, err);
        QFETCH(int, n);
        QFETCH(int, value);
        QFETCH(QString, text);
        QFETCH(bool, button);
        QFETCH(bool, shown);
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.slotDevInitStaShow(0, 0, 0);
        w.slotDevInitStaShow(sta, err, n);
        QCOMPARE(w.progressDlg->windowTitle(), QString("Device connect"));
        QCOMPARE(w.progressDlg->value(), value);
        QCOMPARE(w.progressDlg->label->text(), text);
        QCOMPARE(w.progressDlg->button->isVisible(), button);
        QCOMPARE(w.progressDlg->isVisible(), shown);
        const bool connected = sta == 6 && err == 0;
        QCOMPARE(w.windowTitle(), QString("Demo %1 - Corvena").arg(connected ? "Connected" : "Disconnected"));
        QCOMPARE(w.statusBar->isConnected(), connected);
        w.progressDlg->close();
    }

    void disconnectedState()
    {
        MainWindow w;
        w.slotDevInitStaShow(6, 0, 0);
        QCOMPARE(w.statusBar->text(), QString("Device Connected"));
        w.slotDevInitStaShow(7, 0, 0);
        QCOMPARE(w.windowTitle(), QString("Demo Disconnected - Corvena"));
        QCOMPARE(w.statusBar->text(), QString("Device Disconnected"));
    }

    // Zoom texts: keywords case-sensitively, else a finite positive number
    // of samples per pixel, anything else the whole capture.
    void zoomText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("scale");   // 0: the whole capture
        QTest::newRow("All") << "All" << 0.0;
        QTest::newRow("in, lower case") << "in" << 0.0;
        QTest::newRow("letters") << "abc" << 0.0;
        QTest::newRow("nan") << "nan" << 0.0;
        QTest::newRow("negative") << "-5" << 0.0;
        QTest::newRow("zero") << "0" << 0.0;
        QTest::newRow("inf") << "inf" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("number") << "2.5" << 2.5;
    }

    void zoomText()
    {
        QFETCH(QString, text);
        QFETCH(double, scale);
        MainWindow w;
        w.resize(1400, 900);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        fillShown(devUsing, 0, 100, 150, 20000);
        w.slotSmpDataReady(0);
        w.waveDataGen->zoomAll();
        QTRY_VERIFY(w.waveDataGen->isIdle());
        const double all = w.waveDataGen->scale;
        QVERIFY(all > 0);
        w.waveDataGen->zoomFixed(1);
        QTRY_VERIFY(w.waveDataGen->isIdle());
        w.slotZoomCtrlChanged(text);
        QTRY_VERIFY(w.waveDataGen->isIdle());
        QCOMPARE(w.waveDataGen->scale, scale > 0 ? scale : all);
        devUsing->clearSmpData();
    }

    void zoomWithoutCapture()
    {
        MainWindow w;
        const double before = w.waveDataGen->scale;
        w.slotZoomCtrlChanged("2.5");
        w.slotZoomCtrlChanged("All");
        QCOMPARE(w.waveDataGen->scale, before);
    }

    // A detection of the model in use keeps the device object.
    void sameModelKeepsDevice()
    {
        MainWindow w;
        DevBase* before = devUsing;
        w.slotDevPreConnect(DevModelDemo);
        QCOMPARE(devUsing, before);
    }

    // Whatever replaces or clears the capture, the display generator and
    // every decode rest before the stores go.
    void readersRestFirst_data()
    {
        QTest::addColumn<int>("action");
        QTest::newRow("device change") << 0;
        QTest::newRow("settings merge, same model") << 1;
        QTest::newRow("settings merge, other model") << 2;
        QTest::newRow("sample-mode change") << 3;
    }

    void readersRestFirst()
    {
        QFETCH(int, action);
        MainWindow w;
        w.resize(1400, 900);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        busyReaders(w);

        int checks = 0;
        bool atRest = true;
        auto check = [&] {
            ++checks;
            atRest = atRest && w.waveDataGen->isIdle() && !w.analyzerManager->anlyThreadIsRuning(0);
        };
        // The old object's stores are freed before its destroyed() signal.
        QObject scope;
        connect(devUsing, &QObject::destroyed, &scope, check, Qt::DirectConnection);
        auto gate = DevBase::shownStoreGate;
        DevBase::shownStoreGate = [&] {
            check();
            gate();
        };
        switch (action) {
        case 0:
            w.slotDevPreConnect(DevModelRowan);
            QCOMPARE(devUsing->devModel, int(DevModelRowan));
            QCOMPARE(w.windowTitle(), devUsing->devName + " Disconnected - Corvena");
            break;
        case 1:
            w.slotReplaceConfig();
            break;
        case 2:
            Config::saveGlobalParam("devModel", QString::number(DevModelTeak));
            w.slotReplaceConfig();
            QCOMPARE(devUsing->devModel, int(DevModelTeak));
            break;
        default:
            emit devUsing->sigSmpModeChanged();
            QVERIFY(!devUsing->hasValidData());
            break;
        }
        QVERIFY(checks >= 1);
        QVERIFY(atRest);
        DevBase::shownStoreGate = gate;
        // The restored analyzer is there for the new object, wired again.
        QCOMPARE(w.analyzerManager->getUsingCount(), 1);
        QSignalSpy ready(devUsing, &DevBase::sigSmpDataReady);
        QSignalSpy decoded(w.analyzerManager, &AnalyzerManager::analyzerDecodedChanged);
        emit devUsing->sigSmpDataReady(1);
        QVERIFY(decoded.count() > 0 || decoded.wait(20000));
        w.analyzerManager->stopAllAnalyzer();
        devUsing->clearSmpData();
    }

    // Merging a settings file recreates the device object; the capture
    // survives when the model stays, and a kept connection is re-made.
    void settingsMerge_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<int>("to");
        QTest::addColumn<bool>("keeps");
        QTest::addColumn<bool>("connectedAfter");
        QTest::newRow("demo, same model") << 0 << false << 0 << true << false;
        QTest::newRow("demo to Rowan") << 0 << false << 101 << false << false;
        QTest::newRow("Willow reconnects") << 104 << true << 104 << true << true;
        QTest::newRow("Rowan reconnect fails") << 101 << true << 101 << true << false;
        QTest::newRow("Willow to Teak") << 104 << true << 103 << false << false;
    }

    void settingsMerge()
    {
        QFETCH(int, from);
        QFETCH(bool, connected);
        QFETCH(int, to);
        QFETCH(bool, keeps);
        QFETCH(bool, connectedAfter);
        MainWindow w;
        w.resize(1400, 900);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.slotDevPreConnect(from);
        devUsing->connected = connected;
        devUsing->fpgaVersion = 5;
        if (connected)
            w.slotDevInitStaShow(6, 0, 0);
        fillShown(devUsing, 0, 100, 150, 20000);
        w.slotSmpDataReady(0);
        const long long edge = devUsing->shownData()->getNextEdgePoint(0, 1000);
        QVERIFY(edge > 1000);

        Config::saveGlobalParam("devModel", QString::number(to));
        DevBase* old = devUsing;
        QSignalSpy gone(old, &QObject::destroyed);
        w.slotReplaceConfig();
        QCOMPARE(gone.count(), 1);   // a new object in every case
        QCOMPARE(devUsing->devModel, to);
        QCOMPARE(devUsing->hasValidData(), keeps);
        if (keeps) {
            QCOMPARE(devUsing->shownData()->smpDepth, 20000LL);
            QCOMPARE(devUsing->shownData()->getNextEdgePoint(0, 1000), edge);
            QTRY_VERIFY(w.waveDataGen->isIdle() && w.waveDataGen->scale > 0);   // shown again
        }
        QCOMPARE(devUsing->connected, connectedAfter);
        if (connectedAfter)
            QCOMPARE(devUsing->fpgaVersion, 5);
        QCOMPARE(w.statusBar->isConnected(), connectedAfter);
        QCOMPARE(w.windowTitle(),
                 devUsing->devName + (connectedAfter ? " Connected" : " Disconnected") + " - Corvena");
        w.analyzerManager->stopAllAnalyzer();
        devUsing->connected = false;
        devUsing->clearSmpData();
    }

    // F5 to F7 start and stop through the sampling bar; a start first stops
    // and clears the decoders.
    void shortcuts()
    {
        MainWindow w;
        QCOMPARE(w.shortcutList().size(), 5);   // Ctrl+O, Ctrl+S, F5, F6, F7
        for (QShortcut* s : w.shortcutList()) {
            QCOMPARE(s->context(), Qt::WindowShortcut);
            QVERIFY(!s->autoRepeat());
        }
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        devUsing->setSmpFrequ(devUsing->smpFrequList.indexOf(50000));
        devUsing->setSmpDepth(0);
        CaptureSignals sig(devUsing);
        Config::saveGlobalParam("autoWaitTrig", "0");
        QTest::keyClick(&w, Qt::Key_F6);
        QTRY_VERIFY(sig.sta.count() > 0);
        QCOMPARE(devUsing->smpStartMode.load(), int(SmpStartRepeat));
        QTRY_VERIFY(devUsing->smpRunning);
        QTest::keyClick(&w, Qt::Key_F7);
        QTRY_VERIFY(!devUsing->smpRunning);
        devUsing->smpStopAndWait();
        QTRY_COMPARE(sig.sta.last().at(0).toInt(), int(SmpStaStopped));
    }

    // A decoder that keeps asking for channel 31 of a Rowan capture while
    // the capture is announced again, then a change to a model of 16
    // channels and its capture: the record the decoders read changes only
    // once they have ended, and the restored decoder finds no channel 31.
    void decodeRecordFollowsModel()
    {
        AnalyzerManager::setAnalyzerDir(QStringLiteral(HOST_PLUGIN_DIR));
        {
            MainWindow w;
            AnalyzerManager* m = w.analyzerManager;
            w.slotDevPreConnect(DevModelRowan);
            QCOMPARE(devUsing->chnNum(), 32);
            const int plugin = m->getAllAnalyzerName().indexOf("Host Test");
            QVERIFY(plugin >= 0);
            Analyzer* a = m->getNewAnalyzer(plugin);
            setSetting(a, "Input", 31);
            setSetting(a, "Mode", 3);   // asks for its channel until stopped
            m->addUsing(a, false);
            fillShown(devUsing, 31, 100, 150, 20000);
            w.slotSmpDataReady(0);
            w.slotSmpDataReady(1);
            QVERIFY(m->anlyThreadIsRuning(0));
            emit devUsing->sigSmpDataReady(1);
            QVERIFY(m->anlyThreadIsRuning(0));
            QCOMPARE(m->dataForAnly().chnNum, 32);

            w.slotDevPreConnect(DevModelSpruce);
            QCOMPARE(devUsing->chnNum(), 16);
            QCOMPARE(m->getUsingCount(), 1);   // restored for the new model
            fillShown(devUsing, 3, 100, 150, 20000);
            w.slotSmpDataReady(0);
            QSignalSpy decoded(m, &AnalyzerManager::analyzerDecodedChanged);
            emit devUsing->sigSmpDataReady(1);
            QCOMPARE(m->dataForAnly().chnNum, 16);
            QCOMPARE(m->dataForAnly().chnData, devUsing->shownData()->chnData);
            QVERIFY(decoded.wait(10000));   // no channel 31: the run ends by itself
            QTRY_VERIFY(!m->anlyThreadIsRuning(0));
            devUsing->clearSmpData();
        }
        // Back to the prepared configuration and the program's plug-ins.
        AnalyzerManager::setAnalyzerDir(QString::fromLocal8Bit(qgetenv("CORVENA_BIN")) + "/Analyzer/");
        Config::loadConfig(TestEnv::dataPath("road/cv.config"));
        Config::cfgFile = tmp.filePath("cv.config");
    }
};

QTEST_MAIN(TestMainWindowRoad)
#include "test_mainwindow_road.moc"
