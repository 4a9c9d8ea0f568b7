#include "app/mainwindow.h"
#include "app/SocketAPI.h"
#include "app/Startup.h"

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

#include "config/Config.h"
#include "config/Lang.h"
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

// ---------------------------------------------------------------------------
// Device replacement and re-building

void MainWindow::slotDevPreConnect(int model)
{
    if (devUsing && devUsing->devModel == model)
        return;
    // Nothing may read the old device's stores once it is gone.
    if (devUsing)
        devUsing->smpStopAndWait();
    quiesceReaders();
    delete devUsing;
    devUsing = DevBase::createDevice(model);
    devModelChanged();
}

void MainWindow::devModelChanged()
{
    DevBase* dev = devUsing;
    const bool connected = dev && dev->connected;
    if (!Config::dataFile.isEmpty()) {
        setFileTitle();
        statusBar->setDataReview(connected);
    } else {
        setDeviceTitle(false);
        statusBar->setConnectSta(false);
    }

    waveDataGen->devModelChanged();
    waveDataGenOsc->devModelChanged();

    const bool logic = !dev || dev->workMode == WorkModeLA;
    initTopBox(logic);
    initRightBox(logic);

    vthSetting->devModelChanged();
    timeView->init();
    mainView->init();
    protoResult->clearFindText();

    DataForAnly data{};
    if (dev)
        dev->genDataForAnly(&data);
    analyzerManager->setDataForAnly(data);
    analyzerManager->restoreUsing();

    slotPosiViewUpdate();
    statusBar->setFixedWidth(Config::pixel(logic ? 194 : 271));
    timeView->setVisible(logic);
    showPanel(vthSetting, logic);

    connectDevice();
}

void MainWindow::initTopBox(bool logic)
{
    devSetting->init();
    smpSetting->init();
    smpCtrl->init();
    pwmSetting->slotEnaChanged();   // shows the group as "toolbarPWM" says
    showPanel(devSetting, true);
    showPanel(smpSetting, logic);
    showPanel(zoomCtrl, logic);
}

void MainWindow::initRightBox(bool logic)
{
    showPanel(oscMeasure, !logic);
    showPanel(oscCursor, !logic);
    showPanel(filler, !logic);
    for (QWidget* w : std::initializer_list<QWidget*>{mouseMeasure, pulseMeasure, timingMarker, protoManager})
        showPanel(w, logic);
    showPanel(protoResult, logic);
    // The sampling controls serve both modes; the zoom only logic captures.
    showPanel(smpCtrl, true);
    showPanel(zoomCtrl, logic);
    // A separator follows its item: hidden with it.
    for (int i = 0; i < separators.size(); ++i)
        separators[i]->setVisible(i < 2 ? !logic : logic);
    // The measurement and marker panels of each mode initialise with it.
    // Emptying the marker panel goes with the view's rebuild, which removes
    // the markers.
    if (logic) {
        protoManager->init();
        pulseMeasure->init();
        timingMarker->init();
    } else {
        oscMeasure->init();
        oscCursor->init();
    }
    rightBoxArea->verticalScrollBar()->setValue(0);
}

void MainWindow::slotReplaceConfig()
{
    // A settings file the user let turn the server on or move it.
    socketApi->followConfig();
    DevBase* old = devUsing;
    bool connected = old && old->connected;
    const int fpgaVersion = old ? old->fpgaVersion : 1;
    if (old)
        old->smpStopAndWait();
    quiesceReaders();
    // The demonstration switch keeps its device whatever the file names.
    DevBase* dev = createStartDevice(Config::getDevModel());
    const bool sameModel = old && old->devModel == dev->devModel;
    if (!sameModel)
        connected = false;
    if (sameModel) {
        // The user's capture belongs to the window, not to the settings:
        // the new object takes over the stores of the old one.
        std::swap(dev->smpData[0], old->smpData[0]);
        std::swap(dev->smpData[1], old->smpData[1]);
        const int sel = old->smpDataSel;
        old->smpDataSel = dev->smpDataSel.load();
        dev->smpDataSel = sel;
        std::swap(dev->smpDataOsc[0], old->smpDataOsc[0]);
        std::swap(dev->smpDataOsc[1], old->smpDataOsc[1]);
        const int oscSel = old->smpDataOscSel;
        old->smpDataOscSel = dev->smpDataOscSel.load();
        dev->smpDataOscSel = oscSel;
    }
    delete old;
    devUsing = dev;

    if (connected) {
        dev->fpgaVersion = fpgaVersion;
        // The detector hands the models no further connection data.
        connected = dev->devConnect(nullptr) == 0 && dev->connected;
        if (connected) {
            dev->restoreVthValue();
            dev->restorePWMValue();
        }
    }
    if (!connected)
        smpCtrl->devConnectChanged(false);

    devModelChanged();
    // devModelChanged shows the device as disconnected; a reconnected one
    // is connected again.
    if (connected) {
        if (Config::dataFile.isEmpty()) {
            setDeviceTitle(true);
            statusBar->setConnectSta(true);
        } else {
            statusBar->setDataReview(true);
        }
        smpCtrl->devConnectChanged(true);
    }
    mouseMeasure->initMenuTriggered();

    // The kept capture is shown and decoded with the merged analyzers.
    if (dev->hasValidData()) {
        slotSmpDataReady(0);
        slotSmpDataReady(1);
    }
}

// ---------------------------------------------------------------------------
// Detection progress

void MainWindow::slotDevInitStaShow(int sta, int err, int n)
{
    if (err != 0) {
        progressDlg->button->show();
        QString text = Lang::tr("An error occurred") + ": " + "I-" + errorCode(sta, err);
        if (err == DevSupport::ErrNoAccess) {
            // Found before any other step: the dialog is not up yet.
            text += "\n" + Lang::tr("No permission to open the analyzer. Install the udev rule "
                                     "60-corvena.rules in /etc/udev/rules.d and plug the analyzer in again.");
            progressDlg->setValue(0);
            progressDlg->show();
        } else if (err == DevSupport::ErrNoThread) {
            text += "\n" + Lang::tr("The system cannot start another thread. Close other programs, "
                                     "then plug the analyzer in again.");
        }
        progressDlg->label->setText(text);
        return;
    }
    const QString connecting = Lang::tr("Device connecting, please wait") + "...";
    switch (sta) {
    case 0:
        progressDlg->button->hide();
        progressDlg->setValue(10);
        progressDlg->label->setText(connecting);
        progressDlg->show();
        break;
    case 1:
        progressDlg->setValue(qMin(10 + n / 60, 70));
        break;
    case 2:
        progressDlg->button->hide();
        progressDlg->setValue(70);
        progressDlg->label->setText(connecting);
        if (progressDlg->isHidden())
            progressDlg->show();
        break;
    case 4:
        progressDlg->setValue(qMin(70 + n / 5, 90));
        break;
    case 5:
        progressDlg->setValue(90);
        break;
    case 6:
        if (devUsing) {
            devUsing->restoreVthValue();
            devUsing->restorePWMValue();
        }
        setDeviceTitle(true);
        statusBar->setConnectSta(true);
        smpCtrl->devConnectChanged(true);
        pwmSetting->devConnectChanged(true);
        if (calibrate)
            calibrate->init();
        progressDlg->close();
        break;
    case 7:
        setDeviceTitle(false);
        statusBar->setConnectSta(false);
        smpCtrl->devConnectChanged(false);
        // The outputs keep their stored state: the switches show it.
        pwmSetting->devConnectChanged(true);
        // A calibration run ends with its device.
        if (calibrate)
            calibrate->setEna();
        break;
    default:
        break;
    }
}
