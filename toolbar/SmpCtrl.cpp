#include "toolbar/SmpCtrl.h"

#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>

#include "config/Config.h"
#include "config/Lang.h"
#include "config/Types.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"

std::function<void()> SmpCtrl::stopAllAnalyzer;
std::function<void()> SmpCtrl::clearAnalyzerResult;

SmpCtrl::SmpCtrl(QWidget* parent) : QWidget(parent)
{
    setObjectName("SmpCtrl");
    setAttribute(Qt::WA_StyledBackground);

    for (int i = 0; i < 4; ++i) {
        QGraphicsDropShadowEffect* g = new QGraphicsDropShadowEffect;
        g->setBlurRadius(Config::pixel(20));
        g->setColor(QColor(24, 160, 255, 255));
        g->setOffset(0, 0);
        g->setEnabled(false);
        glows.append(g);
    }

    auto makeButton = [this](const char* name, int index) {
        QPushButton* b = new QPushButton(this);
        b->setObjectName(name);
        b->setFixedSize(Config::pixel(36), Config::pixel(36));
        b->setIconSize(QSize(Config::pixel(36), Config::pixel(36)));
        b->setCheckable(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setAttribute(Qt::WA_LayoutUsesWidgetRect);
        b->setGraphicsEffect(glows[index]);   // the button owns its glow
        return b;
    };

    btnAuto = makeButton("btnSmpAutoScale", BtnAuto);
    // Named like an oscilloscope's front-panel key, in every language.
    btnAuto->setText("Auto");
    btnAuto->setToolTip("Auto");

    btnSingle = makeButton("btnSmpSingle", BtnSingle);
    btnSingle->setToolTip(Lang::tr("Start single sampling") + " (F5)");
    btnSingle->setIcon(QIcon(":/res/btnSmpSingle"));

    btnRepeat = makeButton("btnSmpRepeat", BtnRepeat);
    btnRepeat->setToolTip(Lang::tr("Auto restart sampling") + " (F6)");
    btnRepeat->setIcon(QIcon(":/res/btnSmpAuto"));

    btnStop = makeButton("btnSmpStop", BtnStop);
    btnStop->setToolTip(Lang::tr("Stop sampling") + " (F7)");
    btnStop->setIcon(QIcon(":/res/btnSmpStop"));

    connect(btnAuto, &QPushButton::clicked, this, &SmpCtrl::slotBtnAutoScaleClicked);
    connect(btnSingle, &QPushButton::clicked, this, &SmpCtrl::slotBtnSingleClicked);
    connect(btnRepeat, &QPushButton::clicked, this, &SmpCtrl::slotBtnRepeatClicked);
    connect(btnStop, &QPushButton::clicked, this, &SmpCtrl::slotBtnStopClicked);

    const int m = Config::pixel(8);
    layout = new QHBoxLayout(this);
    layout->setContentsMargins(m, m, m, m);
    layout->setSpacing(Config::pixel(20));
    layout->addWidget(btnAuto);
    layout->addWidget(btnSingle);
    layout->addWidget(btnRepeat);
    layout->addWidget(btnStop);
}

void SmpCtrl::init()
{
    DevBase* dev = devUsing;
    btnAuto->setVisible(dev && dev->workMode == WorkModeOsc);
    btnRepeat->setVisible(!dev || dev->devModel != DevModelAlder);
    devSmpStaChanged(-1);
}

void SmpCtrl::devSmpStaChanged(int mode)
{
    const bool checked[4] = {mode == SmpStartAuto, mode == SmpStartSingle,
                             mode == SmpStartRepeatWait || mode == SmpStartRepeat, mode < 0};
    QPushButton* const buttons[4] = {btnAuto, btnSingle, btnRepeat, btnStop};
    for (int i = 0; i < 4; ++i) {
        buttons[i]->setChecked(checked[i]);
        glows[i]->setEnabled(checked[i]);
    }
}

void SmpCtrl::devConnectChanged(bool connected)
{
    btnSingle->setIcon(QIcon(connected ? ":/res/btnSmpSingle2" : ":/res/btnSmpSingle"));
    btnRepeat->setIcon(QIcon(connected ? ":/res/btnSmpAuto2" : ":/res/btnSmpAuto"));
}

void SmpCtrl::stopForStart(DevBase* dev)
{
    dev->smpStopAndWait();
    if (stopAllAnalyzer)
        stopAllAnalyzer();
    if (clearAnalyzerResult)
        clearAnalyzerResult();
}

void SmpCtrl::startCapture(int mode)
{
    DevBase* dev = devUsing;
    if (!dev)
        return;
    stopForStart(dev);
    // A capture in another mode ends an automatic scaling: its refreshes
    // must not restart auto-scale captures.
    if (cancelAutoScale && mode != SmpStartAuto)
        cancelAutoScale();
    dev->smpStart(mode, false);
}

void SmpCtrl::slotBtnSingleClicked()
{
    startCapture(SmpStartSingle);
}

void SmpCtrl::slotBtnRepeatClicked()
{
    // Any non-zero number waits for the trigger; empty or not a number reads 0.
    const int wait = Config::readGlobalParam("autoWaitTrig").toInt();
    startCapture(wait != 0 ? SmpStartRepeatWait : SmpStartRepeat);
}

void SmpCtrl::slotBtnStopClicked()
{
    btnStop->setChecked(true);
    if (cancelAutoScale)
        cancelAutoScale();
    if (devUsing)
        devUsing->smpStop();
}

void SmpCtrl::slotBtnAutoScaleClicked()
{
    DevBase* dev = devUsing;
    if (!dev)
        return;
    if (!dev->connected) {
        slotBtnRepeatClicked();
        return;
    }
    stopForStart(dev);
    // What the scaling changes, so that giving up can restore it.
    dev->saveSmpCtrlSet();
    bool any = false;
    for (int c = 0; c < dev->aChnNum(); ++c) {
        if (!dev->aChnEna[c])
            continue;
        // The second-largest scale: a first look at any signal.
        const int n = dev->getVoltDivStringList(c).size();
        if (n >= 2)
            dev->setAVoltDivIndex(c, n - 2);
        dev->setAChnOffset(c, 0);
        any = true;
    }
    if (any) {
        dev->setATimeDivIndex(9);
        dev->setATrgPercent(500);
    }
    if (startAutoScale)
        startAutoScale();
    dev->smpStart(SmpStartAuto, false);
}
