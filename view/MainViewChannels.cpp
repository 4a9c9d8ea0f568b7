// The channel menu of the logic view: channel enables, the glitch filter,
// the real-time levels and coloured waveforms, row heights and the reset of
// every row; and the reordering of rows by drag.
#include "view/MainView.h"

#include <QActionGroup>
#include <QCoreApplication>
#include <QCursor>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include "config/Config.h"
#include "config/Lang.h"
#include "data/SmpData.h"
#include "data/Threads.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "view/DlgFilter.h"
#include "view/ItemChnSidebar.h"
#include "view/ItemWaveLine.h"
#include "view/MyMainView.h"
#include "view/WaveDataGen.h"
#include "widgets/ChnEnaGroupBox.h"
#include "widgets/ChnQuickGroupBox.h"
#include "widgets/MyProgressDlg.h"

namespace {

int runModal(QDialog* d)
{
    return MainView::runDialog ? MainView::runDialog(d) : d->exec();
}

} // namespace

// ---------------------------------------------------------------- channel menu

void MainView::buildChnMenu()
{
    chnMenu = new QMenu(this);
    chnMenu->addAction(Lang::tr("Channel Enable Settings") + "...", this, &MainView::slotChnEnaClicked);
    chnMenu->addAction(Lang::tr("Glitch Filter Settings") + "...", this, &MainView::slotFilterClicked);
    chnMenu->addSeparator();
    actLogicProbe = chnMenu->addAction(Lang::tr("Show Real Time Status"));
    actLogicProbe->setCheckable(true);
    actLogicProbe->setChecked(Config::enaLogicProbe);
    connect(actLogicProbe, &QAction::triggered, this, &MainView::slotLogicProbeClicked);
    chnMenu->addSeparator();
    actColorWave = chnMenu->addAction(Lang::tr("Use Color for Waveform"));
    actColorWave->setCheckable(true);
    actColorWave->setChecked(Config::colorWaveLine);
    connect(actColorWave, &QAction::triggered, this, &MainView::slotColorEnaClicked);
    chnMenu->addSeparator();
    // Exclusive, but a row of another height (a stored 3) checks none.
    auto* heights = new QActionGroup(chnMenu);
    heights->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (int m : {1, 2, 4, 8}) {
        QAction* a = chnMenu->addAction(Lang::tr("Channel Height") + " x" + QString::number(m));
        a->setCheckable(true);
        a->setData(m);
        heights->addAction(a);
        connect(a, &QAction::triggered, this, &MainView::slotChnHeightClicked);
        heightActions.append(a);
    }
    chnMenu->addSeparator();
    chnMenu->addAction(Lang::tr("Reset All Channels"), this, &MainView::slotChnResetClick);
}

void MainView::slotChnSetMenu()
{
    if (devUsing && devUsing->workMode == WorkModeOsc)
        return;
    const QPoint p = sidebarFrame->mapFromGlobal(QCursor::pos());
    int row = -1;
    for (int i = 0; i < chnSidebars.size() && row < 0; ++i) {
        const QRect g = chnSidebars[i]->geometry();
        if (chnSidebars[i]->isVisible() && g.top() < p.y() && p.y() < g.top() + g.height())
            row = i;
    }
    if (row < 0)
        return;
    if (!chnMenu)
        buildChnMenu();
    chnMenu->setObjectName(QString::number(row));
    actLogicProbe->setChecked(Config::enaLogicProbe);
    actColorWave->setChecked(Config::colorWaveLine);
    for (QAction* a : heightActions)
        a->setChecked(a->data().toInt() == chnSidebars[row]->showMultip);
    chnMenu->popup(QCursor::pos());
}

void MainView::slotChnHeightClicked()
{
    const QAction* a = qobject_cast<const QAction*>(sender());
    bool ok = false;
    const int row = chnMenu ? chnMenu->objectName().toInt(&ok) : -1;
    if (!a || !ok || row < 0 || row >= chnSidebars.size())
        return;
    chnSidebars[row]->setShowMultip(a->data().toInt());
    saveChnShowMultip();
    resizeEvent(nullptr);
}

void MainView::slotChnResetClick()
{
    DevBase::changeWithRestart(devUsing, [this] {
        for (ItemChnSidebar* s : chnSidebars)
            s->resetAll();
    });
    saveChnShowMultip();
    saveChnShowIndex();
    resizeEvent(nullptr);
}

void MainView::saveChnShowMultip()
{
    QVector<int> m;
    for (const ItemChnSidebar* s : chnSidebars)
        m.append(s->showMultip);
    Config::saveGlobalParam("chnShowMultip", Config::IntArrayToString(m.data(), m.size()));
}

void MainView::saveChnShowIndex()
{
    QVector<int> v;
    for (const ItemChnSidebar* s : chnSidebars)
        v.append(s->showIndex);
    Config::saveGlobalParam("chnShowIndex", Config::IntArrayToString(v.data(), v.size()));
}

void MainView::slotChnMove(int phase, int row, int dy)
{
    // One drag runs from its press to its release.
    static int exShowIndex = 0;
    static int beginChnY = 0;
    const int n = chnSidebars.size();
    if (row < 0 || row >= n || rowTops.size() != n)
        return;
    ItemChnSidebar* dragged = chnSidebars[row];
    auto labelInSlot = [this](int slot) {
        for (int i = 0; i < chnSidebars.size(); ++i)
            if (chnSidebars[i]->showIndex == slot)
                return i;
        return -1;
    };
    auto moveRow = [this](int i, int y) {
        chnSidebars[i]->move(0, y);
        waveBackgrounds[i]->setPos(0, y);
        waveLines[i]->setPos(0, y);
    };

    if (phase == 1) {
        exShowIndex = dragged->showIndex;
        beginChnY = dragged->y();
    } else if (phase == 3) {
        // The neighbour below moves up once the dragged row's bottom passes its middle.
        const int below = exShowIndex < n - 1 ? labelInSlot(exShowIndex + 1) : -1;
        if (below >= 0) {
            const ItemChnSidebar* o = chnSidebars[below];
            if (dragged->y() + dragged->height() > o->y() + o->height() * 0.5) {
                moveRow(below, rowTops[exShowIndex]);
                chnSidebars[below]->showIndex = exShowIndex;
                dragged->showIndex = exShowIndex + 1;
                rowTops[exShowIndex + 1] = rowTops[exShowIndex] + o->height();
                ++exShowIndex;
            }
        }
        // The neighbour above moves down once its middle lies below the dragged row's top.
        const int above = exShowIndex > 0 ? labelInSlot(exShowIndex - 1) : -1;
        if (above >= 0) {
            const ItemChnSidebar* o = chnSidebars[above];
            if (o->y() + o->height() * 0.5 > dragged->y()) {
                rowTops[exShowIndex] = rowTops[exShowIndex - 1] + dragged->height();
                moveRow(above, rowTops[exShowIndex]);
                chnSidebars[above]->showIndex = exShowIndex;
                dragged->showIndex = exShowIndex - 1;
                --exShowIndex;
            }
        }
        const int y = beginChnY + dy;
        if (y < rowOrigin) {
            moveRow(row, rowOrigin);
        } else if (y > rowTops[n - 1]) {
            moveRow(row, rowTops[n - 1]);
        } else {
            dragged->raise();
            waveBackgrounds[row]->setZValue(5);
            waveLines[row]->setZValue(6);
            moveRow(row, y);
        }
    } else if (phase == 2) {
        const int top = rowTops[exShowIndex];
        dragged->setGeometry(0, top, Config::pixel(194), dragged->height());
        waveBackgrounds[row]->setZValue(0);
        waveLines[row]->setZValue(1);
        waveBackgrounds[row]->setSize(waveView->width(), dragged->height());
        waveLines[row]->setSize(waveView->width(), dragged->height());
        waveBackgrounds[row]->setPos(0, top);
        waveLines[row]->setPos(0, top);
        exShowIndex = 0;
        saveChnShowIndex();
    }
}

// ---------------------------------------------------------------- channel enables

void MainView::slotChnEnaClicked()
{
    QPointer<DevBase> dev = devUsing;
    if (!dev)
        return;
    QDialog dlg(this);
    dlg.setMinimumWidth(Config::pixel(310));
    dlg.setWindowTitle(Lang::tr("Channel Enable Settings"));
    dlg.setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
    auto* lay = new QVBoxLayout(&dlg);
    lay->setContentsMargins(Config::pixel(12), Config::pixel(8), Config::pixel(12), Config::pixel(8));
    lay->setSpacing(Config::pixel(6));
    const QVector<ChnNumSmpFrequ>& table = dev->smpMode == SmpModeBuffer ? dev->bufChnFrequ : dev->streamChnFrequ;
    QVector<qint64> rates;
    QVector<int> counts;
    for (const ChnNumSmpFrequ& t : table) {
        rates.append(t.smpFrequ);
        counts.append(t.chnNum);
    }
    auto* quick = new ChnQuickGroupBox(rates, counts, &dlg);
    auto* ena = new ChnEnaGroupBox(dev->chnEna, &dlg);
    auto* buttons = new QDialogButtonBox(&dlg);
    buttons->addButton(Lang::tr("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(Lang::tr("Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    connect(quick, &ChnQuickGroupBox::chnSelect, ena, &ChnEnaGroupBox::slotChnEnaSelect);
    connect(ena, &ChnEnaGroupBox::chnEnaChanged, quick, &ChnQuickGroupBox::chnSelectChanged);
    lay->addWidget(quick);
    lay->addWidget(ena);
    lay->addWidget(buttons);

    for (;;) {
        // A device replaced while the dialog ran has other channels.
        if (runModal(&dlg) != QDialog::Accepted || !dev || dev != devUsing)
            return;
        QVector<bool> chosen(dev->chnNum());
        if (ena->getChnEna(chosen)) {
            DevBase::changeWithRestart(devUsing, [&] { dev->setDChnEna(chosen); });
            return;
        }
        QMessageBox box(QMessageBox::Warning, Lang::tr("A Setting is Invalid"),
                        Lang::tr("Please select at least one channel.") + "\r\n", QMessageBox::Close, this,
                        Qt::WindowCloseButtonHint);
        box.button(QMessageBox::Close)->setText(Lang::tr("Close"));
        runModal(&box);
    }
}

// ---------------------------------------------------------------- glitch filter

void MainView::slotFilterClicked()
{
    QPointer<DevBase> dev = devUsing;
    const SmpData* s = dev ? dev->shownData() : nullptr;
    const int n = chnCount();
    if (!s || n <= 0 || filtering)
        return;
    QVector<unsigned int> current(n, 0);
    for (int i = 0; i < n && i < s->chnNum; ++i)
        current[i] = s->filterWidth[i];
    if (dlgFilter)
        dlgFilter->setSetting(current.data());
    else
        dlgFilter = new DlgFilter(current.data(), n, this);
    QPointer<DlgFilter> dlg = dlgFilter;
    const int result = runModal(dlg);
    // A rebuild while the dialog ran (a device change) rejects and drops it.
    if (!dlg || result != QDialog::Accepted || !dev || dev != devUsing)
        return;
    QVector<unsigned int> widths(n, 0);
    dlg->getSetting(widths.data(), n);
    applyFilter(widths);
}

void MainView::applyFilter(const QVector<unsigned int>& widths)
{
    DevBase* const dev = devUsing;
    if (!dev || filtering || !dev->shownData() || !dev->fillData()
        || dev->shownData()->chnNum != dev->fillData()->chnNum)
        return;
    // Events run below (and a device change with them): dev is used only
    // while this still holds it.
    QPointer<DevBase> alive = dev;
    const bool wasRunning = dev->smpStopForRestart();
    // What the stopped capture still had on its way (its store swap, its
    // data-ready) lands before the stores are touched.
    QCoreApplication::sendPostedEvents();
    if (!alive)
        return;
    // Decoders may still read the shown store (a previous repeat capture),
    // and the display generator may be in an animation.
    if (DevBase::shownStoreGate)
        DevBase::shownStoreGate();
    SmpData* const stores[2] = {dev->shownData(), dev->fillData()};
    // One width per channel of the stores; channels the caller left out keep theirs.
    QVector<unsigned int> w(stores[0]->chnNum, 0);
    for (int c = 0; c < w.size(); ++c)
        w[c] = c < widths.size() ? widths[c] : stores[0]->filterWidth[c];
    runFilter(stores, w);
    if (!alive)
        return;   // replaced while the filter ran: the new device shows its own data
    if (wasRunning) {
        dev->smpRestart = !dev->smpRunning;
        dev->smpRestartIfNeed();   // the new capture brings fresh counts and decoding
        return;
    }
    slotPulseMeasureInfoChanged();
    if (hasData() && waveDataGen)
        waveDataGen->zoomFixed(waveDataGen->scale);
    if (restartDecode)
        restartDecode();
}

void MainView::runFilter(SmpData* const stores[2], const QVector<unsigned int>& widths)
{
    long long entries = 0;
    for (int k = 0; k < 2; ++k) {
        const SmpData* s = stores[k];
        for (int c = 0; s && c < s->chnNum && c < widths.size(); ++c)
            if (widths[c] != 0 && (widths[c] != s->filterWidth[c] || !s->chnDataRaw[c]))
                entries += SmpData::entryCount(s->chnDataRaw[c] ? s->chnDataRaw[c] : s->chnData[c]);
    }
    SmpData* const shown = stores[0];
    SmpData* const spare = stores[1];
    const QVector<unsigned int> w = widths;
    auto work = [shown, spare, w] {
        for (SmpData* s : {shown, spare})
            if (s)
                s->modifyFilter(w.data());
    };
    if (entries < filterThreadEntries) {
        work();
        return;
    }
    // Off the GUI thread: the window stays alive behind an application-modal
    // progress dialog, and nothing here reads the stores until it is done.
    filterThread = QThread::create(work);
    if (!Threads::start(filterThread)) {
        // The system refused the thread: filter here, the window waiting.
        delete filterThread;
        filterThread = nullptr;
        work();
        return;
    }
    filtering = true;
    MyProgressDlg dlg(Lang::tr("Glitch Filter Settings"), Lang::tr("Close"), this);
    dlg.button->hide();
    dlg.label->setText(Lang::tr("Filtering, please wait"));
    dlg.setBusy(true);
    dlg.show();
    // Polled: a device change meanwhile may wait for the thread and end it
    // (finishFilter) before this loop hears of it.
    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [this, &loop] {
        if (!filterThread || filterThread->isFinished())
            loop.quit();
    });
    poll.start(20);
    loop.exec();
    finishFilter();
    dlg.hide();
}

void MainView::finishFilter()
{
    if (!filterThread)
        return;
    filterThread->wait();
    delete filterThread;
    filterThread = nullptr;
    filtering = false;
}
