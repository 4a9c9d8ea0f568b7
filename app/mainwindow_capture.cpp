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
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QTimerEvent>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>
#include <utility>

#include "app/SocketAPI.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "data/SmpData.h"
#include "decode/AnalyzerManager.h"
#include "decode/ProtoResult.h"
#include "decode/SimuAnalyzerSource.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "device/DevInit.h"
#include "device/DevSimulate.h"
#include "device/DevSupport.h"
#include "osc/CalibrateOsc.h"
#include "osc/OscMeasure.h"
#include "osc/WaveDataGenOsc.h"
#include "toolbar/DevSetting.h"
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
// Acquisition

void MainWindow::slotDevSmpStaShow(int sta, int err, int n)
{
    DevBase* dev = devUsing;
    if (!dev)
        return;
    if (err == 0) {
        if (sta == SmpStaStart) {
            protoResult->clearFindText();
            if (!Config::dataFile.isEmpty()) {
                Config::dataFile.clear();
                setDeviceTitle(dev->connected);
            }
            smpCtrl->devSmpStaChanged(dev->smpStartMode);
            socketApi->sampleStarted();
        } else if (sta == SmpStaStopped) {
            // Whoever ended the capture, a start of the remote client that
            // waits for it is answered.
            socketApi->ackSampleComplete(dev->smpErr == 0);
            smpCtrl->devSmpStaChanged(-1);
        }
        // The oscilloscope screen keeps its traces clear of the ring.
        if (Config::smpProgPosition || dev->workMode == WorkModeOsc)
            statusBar->setSmpProgress(DevSmpSta(sta), n);
        else
            mainView->updateDevSmpSta(DevSmpSta(sta), n);
        return;
    }
    if (err == 32) {
        // Zero-length run records are counted for service, not an abort.
        Config::saveGlobalParam("zeroSmpCnt", QString::number(n) + "," + QString::number(dev->fpgaVersion) + ","
                                                  + QString::fromLatin1(DevBase::devBatch.toHex()));
        return;
    }
    if (dev->smpBySocket)
        return;   // the remote client learns the outcome from its acknowledgement
    QString text;
    if (dev->smpMode == SmpModeStream && (err == 3 || err == 14))
        text = Lang::tr("Cannot keep up with this sample rate.") + "\r\n" + Lang::tr("Please try to reduce the sample rate.");
    else if (err == 4)
        text = Lang::tr("Out of memory, Sample abort.");
    else if (err == DevSupport::ErrNoThread)
        text = Lang::tr("The system cannot start another thread, Sample abort.");
    else
        text = Lang::tr("An error occurred") + ": S-" + errorCode(sta, err);
    showCritical(Lang::tr("An error occurred"), text);
}

void MainWindow::slotSmpDataReady(int decode)
{
    if (closing)
        return;
    DevBase* dev = devUsing;
    if (!dev)
        return;
    if (dev->workMode != WorkModeLA) {
        smpDataReadyOsc(decode);
        return;
    }
    if (decode != 0) {
        DataForAnly data{};
        dev->genDataForAnly(&data);
        analyzerManager->startDecode(data);
        return;
    }
    // Captures and loads arrive filtered; this catches any other way in
    // (and costs nothing when the store is filtered already).
    if (dev->hasValidData())
        dev->shownData()->updateFilter();
    mainView->setSmpDataReady();
    waveDataGen->zoomFirst();
}

void MainWindow::slotSmpModeChanged()
{
    DevBase* dev = devUsing;
    if (!dev)
        return;
    devSetting->devSmpModeChanged();
    smpSetting->devSmpModeChanged();
    // The decoders read the stores and their results describe them: both
    // go before the stores are cleared.
    dev->smpStopAndWait();
    quiesceReaders();
    AnalyzerManager::clearAnalyzerResult();
    dev->clearSmpData();
    slotSmpDataReady(0);
    slotSmpDataReady(1);
    protoResult->updateDecodeProtocols(false);
}

// ---------------------------------------------------------------------------
// Display

void MainWindow::slotWaveViewRefresh(bool decRefresh, bool isZoom)
{
    DevBase* dev = devUsing;
    if (dev && dev->workMode != WorkModeLA) {
        oscMeasure->slotOscMeasureValue(-1);
        mainView->updateViewDisplay();
        slotPosiViewUpdate();
        return;
    }
    const SmpData* s = dev ? dev->shownData() : nullptr;
    if (!s || s->smpFrequ == 0 || s->smpDepth == 0) {
        timeView->setTimesValues(0, 0);
    } else {
        const double k = 1e12 / double(s->smpFrequ);   // picoseconds per sample
        timeView->setTimesValues((waveDataGen->start - double(s->trgPosition)) * k, waveDataGen->scale * k);
    }
    if (decRefresh)
        protoResult->updateDecodeProtocols(isZoom);
    waveDataGen->frameConsumed = true;
    mainView->updateViewDisplay();
    slotPosiViewUpdate();
}

void MainWindow::slotPosiViewUpdate()
{
    DevBase* dev = devUsing;
    const double span = waveDataGen->width * waveDataGen->scale;
    if (dev && dev->workMode != WorkModeLA) {
        posiViewUpdateOsc();
        return;
    }
    if (!dev) {
        posiView->slotSetPosition(-1, 0, 0, waveDataGen->start, span);
        return;
    }
    const SmpData* s = dev->shownData();
    for (int i = 0; s && i < dev->chnEna.size() && i < s->chnNum; ++i) {
        if (dev->chnEna[i] && s->chnData[i]) {
            posiView->slotSetPosition(i, s->trgPosition, s->smpDepth, waveDataGen->start, span);
            return;
        }
    }
    posiView->slotSetPosition(-1, 0, 0, waveDataGen->start, span);
}

void MainWindow::slotZoomCtrlChanged(const QString& text)
{
    DevBase* dev = devUsing;
    if (!dev || dev->workMode != WorkModeLA || !dev->shownData() || dev->shownData()->smpDepth < 1)
        return;
    if (text == "All") {
        waveDataGen->zoomAll();
    } else if (text == "Trg") {
        waveDataGen->zoomTrg();
    } else if (text == "Out") {
        waveDataGen->zoomOutFine();
    } else if (text == "In") {
        waveDataGen->zoomInFine();
    } else {
        // Samples per pixel; anything that is not a finite positive number
        // (a typo, "nan", "inf", a negative value) shows the whole capture.
        bool ok = false;
        const double v = text.toDouble(&ok);
        if (ok && std::isfinite(v) && v > 0)
            waveDataGen->zoomFixed(v);
        else
            waveDataGen->zoomAll();
    }
}

void MainWindow::slotWaveDateMoved(int chn, double begSmp)
{
    if (!devUsing)
        return;
    if (devUsing->workMode == WorkModeLA)
        waveDataGen->moveTo(begSmp);
    else
        waveDataGenOsc->moveTo(chn, begSmp);
}

// ---------------------------------------------------------------------------
// Oscilloscope halves

void MainWindow::smpDataReadyOsc(int decode)
{
    // Analog captures are not decoded; the calibration window measures
    // each shown capture and learns when one has ended.
    if (decode != 0) {
        if (calibrate)
            calibrate->captureEnded();
        return;
    }
    waveDataGenOsc->zoomFirst();
    if (calibrate)
        calibrate->smpDataReady();
}

void MainWindow::posiViewUpdateOsc()
{
    // The strip follows the first enabled channel that holds a capture.
    const DevBase* dev = devUsing;
    const SmpDataOsc* s = dev->shownDataOsc();
    const WaveDataGenOsc* g = waveDataGenOsc;
    for (int c = 0; s && c < dev->aChnNum() && c < g->start.size(); ++c) {
        const AnalogChnData* d = s->record(c);
        if (dev->aChnEna[c] && d && d->count > 0) {
            posiView->slotSetPosition(c, d->trgIndex, d->count, g->start[c], g->width * g->scale[c]);
            return;
        }
    }
    posiView->slotSetPosition(-1, 0, 0, 0, 0);
}

void MainWindow::slotSmpProgPositionChanged()
{
    if (Config::smpProgPosition)
        mainView->progressBar->hide();
    else
        statusBar->setConnectSta(devUsing && devUsing->connected);
}

void MainWindow::slotUpdateFromSocket(int ui)
{
    if (ui == 1)
        mainView->updateTrgStatus();
    else if (ui == 2)
        smpSetting->devSmpModeChanged();   // rate, depth and time as the device holds them
    else if (ui == 3)
        vthSetting->devModelChanged();     // the thresholds as stored
}

void MainWindow::slotOpenCalibrate()
{
    if (!calibrate) {
        calibrate = new CalibrateOsc;
        connect(calibrate, &CalibrateOsc::calibSettingChanged, mainView, &MainView::slotCalibSettingChanged);
    }
    calibrate->init();
    if (!calibrate->isVisible()) {
        // A window of its own, not a dialog: placed as the dialogs place
        // themselves, centred on the main window and kept on its screen.
        calibrate->adjustSize();
        QRect r(QPoint(), calibrate->size());
        r.moveCenter(frameGeometry().center());
        const QRect avail = screen()->availableGeometry();
        r.moveLeft(qMax(avail.left(), qMin(r.left(), avail.right() + 1 - r.width())));
        r.moveTop(qMax(avail.top(), qMin(r.top(), avail.bottom() + 1 - r.height())));
        calibrate->move(r.topLeft());
    }
    calibrate->show();
    calibrate->raise();
}
