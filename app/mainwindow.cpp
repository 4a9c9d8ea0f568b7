#include "app/mainwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QTimerEvent>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>
#include <utility>

#include "app/CheckUpdate.h"
#include "app/SocketAPI.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "data/DataFile.h"
#include "data/SmpData.h"
#include "decode/AnalyzerManager.h"
#include "decode/ProtoManager.h"
#include "decode/ProtoResult.h"
#include "decode/SimuAnalyzerSource.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "device/DevInit.h"
#include "device/DevSimulate.h"
#include "device/DevSupport.h"
#include "osc/CalibrateOsc.h"
#include "osc/OscCursor.h"
#include "osc/OscMeasure.h"
#include "osc/WaveDataGenOsc.h"
#include "rightbox/MouseMeasure.h"
#include "rightbox/PulseMeasure.h"
#include "rightbox/TimingMarker.h"
#include "toolbar/DevSetting.h"
#include "toolbar/PWMSetting.h"
#include "toolbar/SmpCtrl.h"
#include "toolbar/SmpSetting.h"
#include "toolbar/StatusBar.h"
#include "toolbar/VthSetting.h"
#include "toolbar/ZoomCtrl.h"
#include "view/ItemWaveLine.h"
#include "view/MainView.h"
#include "view/MyMainView.h"
#include "view/PosiView.h"
#include "view/TimeView.h"
#include "view/WaveDataGen.h"
#include "widgets/ColorLump.h"
#include "widgets/MyProgressDlg.h"

std::function<void(QWidget*, const QString&, const QString&)> MainWindow::criticalBox;

MainWindow::MainWindow(QWidget* parent) : QWidget(parent)
{
    setupWindow();
    buildModels();
    buildTopBox();
    buildRightBox();
    progressDlg = new MyProgressDlg(Lang::tr("Device connect"), Lang::tr("Close"), this);
    buildGrid();
    connectPanels();

    // Shortcuts work whatever panel inside the window has focus.
    connect(addShortcut(QKeySequence(Qt::CTRL + Qt::Key_O)), &QShortcut::activated, mainMenu,
            &MainMenu::slotActOpenFileClicked);
    connect(addShortcut(QKeySequence(Qt::CTRL + Qt::Key_S)), &QShortcut::activated, mainMenu,
            &MainMenu::slotActSaveDataClicked);
    connect(addShortcut(QKeySequence(Qt::Key_F5)), &QShortcut::activated, smpCtrl, &SmpCtrl::slotBtnSingleClicked);
    connect(addShortcut(QKeySequence(Qt::Key_F6)), &QShortcut::activated, smpCtrl, &SmpCtrl::slotBtnRepeatClicked);
    connect(addShortcut(QKeySequence(Qt::Key_F7)), &QShortcut::activated, smpCtrl, &SmpCtrl::slotBtnStopClicked);
    // The calibration window is a service tool: only with the service code.
    if (Config::readGlobalParam("extparam") == "52m61q70w83")
        connect(addShortcut(QKeySequence(Qt::CTRL + Qt::Key_J)), &QShortcut::activated, this,
                &MainWindow::slotOpenCalibrate);

    if (devInit) {
        connect(devInit, &DevInit::sigInitSta, this, &MainWindow::slotDevInitStaShow);
        // The detector thread waits until the device object is replaced.
        connect(devInit, &DevInit::sigDevPreConnect, this, &MainWindow::slotDevPreConnect,
                Qt::BlockingQueuedConnection);
    }

    devModelChanged();

    if (devSupport)
        devSupport->registerNotification(&MainWindow::libusbHotplugCallback);
    checkUpdate = new CheckUpdate(this);

    // The deferred start: the window is up before a file loads or a search begins.
    startTimerId = startTimer(200, Qt::CoarseTimer);
}

MainWindow::~MainWindow()
{
    // The calibration window has no parent: it goes with this one.
    delete calibrate;
    calibrate = nullptr;
    // Children go after this body: nothing may still fill, draw or decode
    // the shown capture by then.
    if (devUsing)
        devUsing->smpStopAndWait();
    quiesceReaders();
    // The hooks reach into this window: the device outlives it.
    DevBase::shownStoreGate = nullptr;
    MainView::restartDecode = nullptr;
}

void MainWindow::setupWindow()
{
    QApplication::setFont(Config::fontNormal);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    setAttribute(Qt::WA_StyledBackground);
    setAcceptDrops(true);
    setGeometry(QRect(QPoint(Config::windowPosition[0], Config::windowPosition[1]),
                      QPoint(Config::windowPosition[2], Config::windowPosition[3])));
    setWindowIcon(QIcon(":/res/Logo"));
    setMinimumSize(Config::pixel(800), Config::pixel(320));
    if (Config::readGlobalParam("windowMaximized").toInt() != 0)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void MainWindow::buildModels()
{
    analyzerManager = new AnalyzerManager(this);
    waveDataGen = new WaveDataGen(this);
    waveDataGenOsc = new WaveDataGenOsc(this);
    socketApi = new SocketAPI(this);
    socketApi->windowBusy = [this] {
        return (mainMenu && mainMenu->fileJobRunning()) || (mainView && mainView->filterRunning());
    };
    installHooks();
}

void MainWindow::installHooks()
{
    // The host and the views reach each other through these hooks only.
    SmpCtrl::stopAllAnalyzer = [] { AnalyzerManager::stopAllAnalyzer(); };
    SmpCtrl::clearAnalyzerResult = [] { AnalyzerManager::clearAnalyzerResult(); };
    ItemWaveLine::usingChnAnalyzers = &AnalyzerManager::getUsingChnAnalyzers;
    ItemWaveLine::analyzerDisplayFormat = &AnalyzerManager::getAnalyzerDisplayFormat;
    MainView::chnAliasSource = [](int except) {
        return AnalyzerManager::me ? AnalyzerManager::me->getAllUsingChnAlias(except) : QStringList();
    };
    AnalyzerManager::deviceModel = [] { return devUsing ? int(devUsing->devModel) : int(DevModelDemo); };
    AnalyzerManager::deviceChnEnables = [] { return devUsing ? devUsing->chnEna : QVector<bool>(); };
    // The demonstration device simulates the traffic of the analyzers in use.
    SmpSimulate::setSourceFactory(makeAnalyzerSimuSource);

    // The generator installs a gate that rests it before the shown store is
    // cleared or swapped; the decoders read that store too, so they rest
    // first. (Runs on the GUI thread, like every caller of the gate.)
    // File jobs and a glitch filter running on its worker read or write
    // the stores: they end first.
    WaveDataGen* gen = waveDataGen;
    DevBase::shownStoreGate = [this, gen] {
        DataFile::abortRunning();
        if (mainView)
            mainView->finishFilter();
        AnalyzerManager::stopAllAnalyzer();
        gen->quiesce();
    };
    DataFile::progressView = &MainMenu::showJobProgress;
    MainMenu::timeMarkersList = &MainView::timeMarkersList;
    // After a glitch filter change of the shown capture.
    MainView::restartDecode = [this] {
        AnalyzerManager::stopAllAnalyzer();
        AnalyzerManager::clearAnalyzerResult();
        DataForAnly data{};
        if (devUsing)
            devUsing->genDataForAnly(&data);
        analyzerManager->startDecode(data);
    };
}

void MainWindow::quiesceReaders()
{
    DataFile::abortRunning();
    if (mainView)
        mainView->finishFilter();
    if (waveDataGen)
        waveDataGen->quiesce();
    AnalyzerManager::stopAllAnalyzer();
}

void MainWindow::showPanel(QWidget* w, bool on)
{
    if (w)
        w->setVisible(on);
}

void MainWindow::buildTopBox()
{
    devSetting = new DevSetting;
    smpSetting = new SmpSetting;
    pwmSetting = new PWMSetting;
    smpCtrl = new SmpCtrl;
    smpCtrl->startAutoScale = [gen = waveDataGenOsc] { gen->setAutoScaleStart(); };
    smpCtrl->cancelAutoScale = [gen = waveDataGenOsc] { gen->cancelAutoScale(); };
    zoomCtrl = new ZoomCtrl;
    zoomCtrl->viewScale = [gen = waveDataGen] { return gen->scale; };

    QHBoxLayout* box = new QHBoxLayout;
    box->setAlignment(Qt::AlignLeft);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(3 * Config::pixel(6));
    box->addWidget(devSetting);
    box->addWidget(smpSetting);
    box->addWidget(pwmSetting);

    QWidget* boxWidget = new QWidget;
    boxWidget->setObjectName("TopBoxWidget");
    boxWidget->setFixedHeight(Config::pixel(36));
    const int m = Config::pixel(6);
    boxWidget->setContentsMargins(m, m, m, m);
    boxWidget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    boxWidget->setLayout(box);

    QScrollArea* area = new QScrollArea(this);
    area->setObjectName("TopBoxArea");
    area->setWidgetResizable(true);
    area->setFixedHeight(Config::pixel(36));
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidget(boxWidget);
    topBoxArea = area;
}

void MainWindow::buildRightBox()
{
    oscMeasure = new OscMeasure(waveDataGenOsc);
    oscCursor = new OscCursor;
    mouseMeasure = new MouseMeasure;
    pulseMeasure = new PulseMeasure;
    timingMarker = new TimingMarker;
    protoManager = new ProtoManager(analyzerManager);
    protoResult = new ProtoResult(analyzerManager, waveDataGen);
    filler = new QLabel;

    QVBoxLayout* box = new QVBoxLayout;
    const int m = Config::pixel(4);
    box->setContentsMargins(m, m, m, m);
    box->setSpacing(Config::pixel(6));
    box->addWidget(oscMeasure);
    box->addWidget(oscCursor);
    QVBoxLayout* ctrl = new QVBoxLayout;
    ctrl->setContentsMargins(0, 0, 0, 0);
    ctrl->setSpacing(0);
    ctrl->addWidget(smpCtrl, 0, Qt::AlignHCenter);
    ctrl->addWidget(zoomCtrl, 0, Qt::AlignHCenter);
    box->addLayout(ctrl);
    box->addWidget(mouseMeasure);
    box->addWidget(pulseMeasure);
    box->addWidget(timingMarker);
    box->addWidget(protoManager);
    box->addWidget(protoResult, 32);
    box->addWidget(filler);

    // One 1-pixel separator after each item but the last two (none between
    // the result list and the filler).
    const int n = box->count();
    for (int i = 0; i < n - 2; ++i) {
        ColorLump* sep = new ColorLump(2);
        sep->setFixedHeight(Config::pixel(1));
        sep->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        separators.append(sep);
        box->insertWidget(2 * i + 1, sep);
    }

    QWidget* boxWidget = new QWidget(this);
    boxWidget->setObjectName("RightBoxWidget");
    boxWidget->setLayout(box);

    QScrollArea* area = new QScrollArea(this);
    area->setObjectName("RightBoxArea");
    area->setWidgetResizable(true);
    area->setFixedWidth(Config::pixel(232));
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidget(boxWidget);
    rightBoxArea = area;
}

void MainWindow::buildGrid()
{
    vthSetting = new VthSetting;
    timeView = new TimeView;
    posiView = new PosiView(this);
    statusBar = new StatusBar;
    statusBar->setObjectName("StatusBar");
    mainView = new MainView(waveDataGen, waveDataGenOsc, analyzerManager);
    mainMenu = new MainMenu(this);

    QGridLayout* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(0);
    grid->setVerticalSpacing(0);
    grid->addWidget(topBoxArea, 0, 0, 1, 3);
    grid->addWidget(mainMenu, 0, 3, 1, 1);
    grid->addWidget(vthSetting, 1, 0, 1, 1);
    grid->addWidget(timeView, 1, 1, 1, 1);
    grid->addWidget(mainView, 2, 0, 1, 2);
    grid->addWidget(statusBar, 3, 0, 1, 1);
    grid->addWidget(posiView, 3, 1, 1, 1);
    grid->addWidget(rightBoxArea, 1, 2, 3, 2);
    const int rowStretch[] = {0, 0, 1, 0};
    const int colStretch[] = {0, 1, 0, 0};
    for (int i = 0; i < 4; ++i) {
        grid->setRowStretch(i, rowStretch[i]);
        grid->setColumnStretch(i, colStretch[i]);
    }
}

void MainWindow::connectPanels()
{
    connect(mainMenu, &MainMenu::sigOpenSettingFile, this, &MainWindow::slotReplaceConfig);
    connect(mainMenu, &MainMenu::sigSmpProgPositionChanged, this, &MainWindow::slotSmpProgPositionChanged);
    // (Row 5, a model chosen in a simulated-model menu, has no such menu to
    // come from.)
    connect(timeView, &TimeView::timeMarkerChanged, mainView, &MainView::slotCursorBodyChanged);
    connect(mainView, &MainView::timeMarkBodyChanged, timeView, &TimeView::slotCursorHandleChanged);
    connect(zoomCtrl, &ZoomCtrl::zoomChanged, this, &MainWindow::slotZoomCtrlChanged);
    connect(posiView, &PosiView::sigPosiChanged, this, &MainWindow::slotWaveDateMoved);
    connect(timingMarker, &TimingMarker::timingMarkerClicked, mainView, &MainView::slotTimingMarkerClicked);
    connect(pulseMeasure, &PulseMeasure::setChanged, mainView, &MainView::slotPulseMeasureInfoChanged);
    connect(protoResult, &ProtoResult::sigKeyUpAndDownClicked, mainView, &MainView::slotKeyUpAndDownClicked);
    connect(mainView, &MainView::smpStaChanged, smpCtrl, &SmpCtrl::devSmpStaChanged);
    connect(mainView, &MainView::mouseMeasureChanged, mouseMeasure,
            &MouseMeasure::slotValueChanged);
    connect(mainView, &MainView::timMarkPairChanged, timingMarker, &TimingMarker::slotTimingMarkerPairChanged);
    connect(mainView, &MainView::pulseMeasureChangedbySmpDone, pulseMeasure, &PulseMeasure::slotValueChanged);
    connect(mainView, &MainView::pulseMeasureChangedbyTimeMarker, pulseMeasure,
            &PulseMeasure::slotValueChangedbyTimeMarker);
    connect(analyzerManager, &AnalyzerManager::analyzerItemAliasChanged, mainView, &MainView::slotAnalyzerItemChanged);
    connect(analyzerManager, &AnalyzerManager::analyzerItemChanged, mainView, &MainView::slotUpdateAnalyzerDecoded);
    connect(analyzerManager, &AnalyzerManager::analyzerDecodedChanged, mainView, &MainView::slotUpdateAnalyzerDecoded);
    connect(waveDataGen, &WaveDataGen::sigViewRefresh, this, &MainWindow::slotWaveViewRefresh);
    connect(waveDataGenOsc, &WaveDataGenOsc::sigViewRefreshOsc, this, &MainWindow::slotWaveViewRefresh);
    // The oscilloscope's cursor and measurement panels.
    connect(oscCursor, &OscCursor::oscCursorClicked, mainView, &MainView::slotOscCursorClicked);
    connect(mainView, &MainView::oscMeasureChanged, oscMeasure,
            &OscMeasure::slotOscMeasureValue);
    connect(mainView, &MainView::oscCursorValueChanged, oscCursor, &OscCursor::slotOscCursorValue);
    connect(mainView, &MainView::oscCursorAddClicked, oscCursor, &OscCursor::slotOscCursorAddClicked);
    connect(socketApi, &SocketAPI::sigUpdateGUI, this, &MainWindow::slotUpdateFromSocket);
}

void MainWindow::connectDevice()
{
    DevBase* dev = devUsing;
    if (!dev)
        return;
    // Unique: a device object is wired once however often it is rebuilt for.
    const auto u = Qt::UniqueConnection;
    connect(dev, &DevBase::sigSmpSta, this, &MainWindow::slotDevSmpStaShow, u);
    connect(dev, &DevBase::sigSmpDataReady, this, &MainWindow::slotSmpDataReady, u);
    connect(dev, &DevBase::sigSmpModeChanged, this, &MainWindow::slotSmpModeChanged, u);
    connect(dev, &DevBase::sigChnEnaChanged, this, &MainWindow::slotPosiViewUpdate, u);
    connect(dev, &DevBase::sigAChnEnaChanged, this, &MainWindow::slotPosiViewUpdate, u);
    connect(dev, &DevBase::sigChnEnaChanged, mainView, &MainView::slotChnEnaChanged, u);
    connect(dev, &DevBase::sigToolbarPWMEna, pwmSetting, &PWMSetting::slotEnaChanged, u);
}

QShortcut* MainWindow::addShortcut(const QKeySequence& keys)
{
    QShortcut* s = new QShortcut(keys, this);
    s->setContext(Qt::WindowShortcut);
    s->setAutoRepeat(false);
    shortcuts.append(s);
    return s;
}

QString MainWindow::errorCode(int sta, int err)
{
    return QString::number(qlonglong(sta) * 256 + err, 16);
}

void MainWindow::setDeviceTitle(bool connected)
{
    const QString name = devUsing ? Lang::tr(devUsing->devName) : QString();
    setWindowTitle(name + " " + (connected ? Lang::tr("Connected") : Lang::tr("Disconnected")) + " - Corvena");
}

void MainWindow::setFileTitle()
{
    setWindowTitle(Config::dataFile + " - Corvena");
}

// ---------------------------------------------------------------------------
// Start, close and window events

int MainWindow::libusbHotplugCallback()
{
    if (devInit)
        devInit->init();
    return 0;
}

void MainWindow::showCritical(const QString& title, const QString& text)
{
    critical(this, title, text);
}

void MainWindow::critical(QWidget* parent, const QString& title, const QString& text)
{
    if (criticalBox) {
        criticalBox(parent, title, text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Close, parent, Qt::WindowCloseButtonHint);
    box.button(QMessageBox::Close)->setText(Lang::tr("Close"));
    box.exec();
}

void MainWindow::loadFile(const QString& path)
{
    mainMenu->loadFile(path);
}

void MainWindow::timerEvent(QTimerEvent* e)
{
    if (e->timerId() != startTimerId) {
        QWidget::timerEvent(e);
        return;
    }
    killTimer(startTimerId);
    startTimerId = 0;
    started = true;
    startNotices();
    if (!Config::dataFile.isEmpty()) {
        // The capture named on the command line: its header is merged
        // already, the data part goes to the hidden store.
        const QString path = Config::dataFile;
        QByteArray header;
        if (Config::extractConfig(path, header) && mainMenu->loadCaptureData(path, header.size())) {
            Config::cfgDocBeforeDataFile.clear();
            return;
        }
        // It cannot be shown: the settings go back to what they were before
        // its header was merged, and the window to the device.
        if (!Config::cfgDocBeforeDataFile.isNull()) {
            Config::cfgDoc = Config::cfgDocBeforeDataFile;
            Config::initShadowConfig();
            Config::cfgDocBeforeDataFile.clear();
        }
        Config::dataFile.clear();
        slotReplaceConfig();
        showCritical(Lang::tr("An error occurred"), Lang::tr("File open failed.") + "\r\n" + path);
    }
    if (devInit)
        devInit->init();
}

void MainWindow::startNotices()
{
    // Said once, when the window stands: what start-up could not read.
    if (!Config::cfgFileRefused.isEmpty()) {
        QString text = Lang::tr("The settings file could not be read; the default settings are used.") + "\r\n";
        if (Config::cfgFileHeld)
            text += Lang::tr("It is left in place and the settings of this run are not saved:");
        else
            text += Lang::tr("The old file was kept as:");
        text += "\r\n" + Config::cfgFileRefused;
        Config::cfgFileRefused.clear();
        showCritical(Lang::tr("An error occurred"), text);
    }
    if (!Config::dataFileRefused.isEmpty()) {
        const QString path = Config::dataFileRefused;
        Config::dataFileRefused.clear();
        showCritical(Lang::tr("An error occurred"), Lang::tr("File open failed.") + "\r\n" + path);
    }
    // The command-line settings file would turn the server on or move it:
    // the server has kept its old settings until now.
    if (!Config::heldServerKeys.isEmpty()) {
        const Config::ServerKeys asked = Config::heldServerKeys;
        Config::heldServerKeys = Config::ServerKeys();
        if (mainMenu->settleServerKeys(asked))
            socketApi->followConfig();
    }
}

void MainWindow::slotEndRequested()
{
    if (closing)
        return;
    // A file job behind its progress dialog has been told by the signal's
    // handler; its thread ends here, and its part file goes as its dialog
    // unwinds. A decoded-data export ends now, since its part file is
    // removed from the event loop, which is about to stop.
    DataFile::interruptAll();
    DataFile::abortRunning();
    AnalyzerManager::endExport();
    // Every loop ends, nested ones too, and a dialog opened while they
    // unwind (a failure box) returns at once.
    QCoreApplication::exit(0);
}

void MainWindow::closeEvent(QCloseEvent* e)
{
    closing = true;
    delete calibrate;
    calibrate = nullptr;
    if (devUsing) {
        devUsing->smpStopAndWait();
        devUsing->devStandby();
    }

    QRect r = geometry();
    if (isMaximized()) {
        r = keptRect();
        // Never moved or resized before maximizing: Qt still knows the
        // restored geometry.
        if (r.width() < 1 || r.height() < 1)
            r = normalGeometry();
    }
    const int pos[4] = {r.x(), r.y(), r.width(), r.height()};
    Config::saveGlobalParam("windowPosition", Config::IntArrayToString(pos, 4));
    Config::saveGlobalParam("windowMaximized", isMaximized() ? "1" : "0");
    lostSettings = !Config::close();
    e->accept();
}

void MainWindow::moveEvent(QMoveEvent* e)
{
    // The move Qt sends when the window is first shown carries no earlier
    // position (old equals new); it must not replace the kept corner.
    if (e->oldPos() != e->pos()) {
        const int w = kept[2] - kept[0], h = kept[3] - kept[1];
        kept[0] = e->oldPos().x();
        kept[1] = e->oldPos().y();
        kept[2] = kept[0] + w;
        kept[3] = kept[1] + h;
    }
    QWidget::moveEvent(e);
}

void MainWindow::resizeEvent(QResizeEvent* e)
{
    // The first resize carries an invalid old size (-1 x -1).
    const QSize old = e->oldSize();
    if (old.width() >= 1 && old.height() >= 1 && old != e->size()) {
        kept[2] = kept[0] + old.width() - 1;
        kept[3] = kept[1] + old.height() - 1;
    }
    QWidget::resizeEvent(e);
}

void MainWindow::keyPressEvent(QKeyEvent* e)
{
    QWidget::keyPressEvent(e);
    if (e->key() == Qt::Key_Shift)
        shiftDown = true;   // read by the main view's mouse handling
}

void MainWindow::keyReleaseEvent(QKeyEvent* e)
{
    QWidget::keyReleaseEvent(e);
    if (e->key() == Qt::Key_Shift)
        shiftDown = false;
}

void MainWindow::dragEnterEvent(QDragEnterEvent* e)
{
    if (e->mimeData()->hasUrls())
        e->acceptProposedAction();
    else
        e->ignore();
}

void MainWindow::dropEvent(QDropEvent* e)
{
    if (!e->mimeData()->hasUrls())
        return;
    const QList<QUrl> urls = e->mimeData()->urls();
    const QString path = urls.isEmpty() ? QString() : urls.first().toLocalFile();
    if (!path.isEmpty())
        loadFile(path);
}

bool MainWindow::nativeEvent(const QByteArray& eventType, void* message, long* result)
{
    if (devSupport && devSupport->isDevChangeNotification(message) && devInit)
        devInit->init();
    return QWidget::nativeEvent(eventType, message, result);
}
