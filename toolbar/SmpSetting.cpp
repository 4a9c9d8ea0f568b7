#include "toolbar/SmpSetting.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QListView>
#include <QSignalBlocker>

#include "config/Config.h"
#include "config/Lang.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"

namespace {

QStringList comboItems(const QComboBox* c)
{
    QStringList l;
    for (int i = 0; i < c->count(); ++i)
        l << c->itemText(i);
    return l;
}

// Shows `items` with `index` selected, without a change signal reaching the
// device: a refill is not the user's choice.
void refill(QComboBox* c, const QStringList& items, int index)
{
    const QSignalBlocker block(c);
    if (comboItems(c) != items) {
        c->clear();
        c->addItems(items);
    }
    c->setCurrentIndex(index);
}

} // namespace

SmpSetting::SmpSetting(QWidget* parent) : QWidget(parent)
{
    setObjectName("SmpSetting");
    setAttribute(Qt::WA_StyledBackground);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);

    QFont listFont = Config::fontLarge;
    listFont.setPixelSize(Config::pixel(13));

    lblDepth = new QLabel(Lang::tr("Sample Depth"), this);
    lblDepth->setObjectName("SmpDepth");
    lvDepth = new QListView(this);
    lvDepth->setFont(listFont);
    cbxDepth = new QComboBox(this);
    cbxDepth->setObjectName("cbxSmpDepth");
    cbxDepth->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    cbxDepth->setMaxVisibleItems(20);
    cbxDepth->setToolTip(Lang::tr("Sample Depth (samples per acquisition)"));
    cbxDepth->setView(lvDepth);

    lblTime = new QLabel(getSmpTime(), this);
    lblTime->setObjectName("SmpTime");
    lvFrequ = new QListView(this);
    lvFrequ->setFont(listFont);
    cbxFrequ = new QComboBox(this);
    cbxFrequ->setObjectName("cbxSmpFrequ");
    cbxFrequ->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    cbxFrequ->setMaxVisibleItems(20);
    cbxFrequ->setToolTip(Lang::tr("Sample Rate (samples per second)"));
    cbxFrequ->setView(lvFrequ);

    for (QLabel* l : {lblDepth, lblTime}) {
        l->setAlignment(Qt::AlignCenter);
        l->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    }

    const int p3 = Config::pixel(3);
    layout = new QGridLayout(this);
    layout->setContentsMargins(2 * p3, p3, 2 * p3, p3);
    layout->setHorizontalSpacing(Config::pixel(4));
    layout->setVerticalSpacing(0);
    layout->addWidget(lblDepth, 0, 1);
    layout->addWidget(cbxDepth, 0, 2);
    layout->addWidget(lblTime, 0, 3);
    layout->addWidget(cbxFrequ, 0, 4);

    connect(cbxFrequ, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &SmpSetting::slotSmpFrequClicked);
    connect(cbxDepth, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &SmpSetting::slotSmpDepthClicked);
}

QString SmpSetting::getSmpTime() const
{
    return Lang::tr("Sample Rate");
}

void SmpSetting::init()
{
    // One connection, to the current device object only.
    disconnect(frequToLowerConn);
    if (devUsing)
        frequToLowerConn = connect(devUsing, &DevBase::sigSmpFrequToLower, this,
                                   &SmpSetting::slotFreqIndexChanged);
    devSmpModeChanged();
}

void SmpSetting::devSmpModeChanged()
{
    DevBase* dev = devUsing;
    if (dev) {
        refill(cbxFrequ, dev->getSmpFrequStringList(), dev->smpFrequIndex);
        refill(cbxDepth, dev->getSmpDepthStringList(), dev->smpDepthIndex);
    }
    lblTime->setText(getSmpTime());
}

void SmpSetting::changeWithRestart(const std::function<void(DevBase*)>& change)
{
    DevBase* dev = devUsing;
    DevBase::changeWithRestart(dev, [&] { change(dev); });
    lblTime->setText(getSmpTime());
}

void SmpSetting::slotSmpFrequClicked(int index)
{
    // An emptied list reports -1: no choice, so the capture is left alone.
    if (!devUsing || index < 0 || index >= devUsing->smpFrequList.size())
        return;
    changeWithRestart([index](DevBase* dev) { dev->setSmpFrequ(index); });
}

void SmpSetting::slotSmpDepthClicked(int index)
{
    if (!devUsing || index < 0 || index >= devUsing->smpDepthList.size())
        return;
    changeWithRestart([index](DevBase* dev) { dev->setSmpDepth(index); });
}

void SmpSetting::slotFreqIndexChanged()
{
    // The device has already moved and saved its rate; only show it. Going
    // through the choice slot here would stop nothing (the caller has stopped
    // the capture) but would reset the caller's restart flag, so the capture
    // would never come back.
    DevBase* dev = devUsing;
    if (!dev)
        return;
    refill(cbxFrequ, dev->getSmpFrequStringList(), dev->smpFrequIndex);
    lblTime->setText(getSmpTime());
}
