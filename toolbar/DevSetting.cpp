#include "toolbar/DevSetting.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>
#include <QWidgetAction>

#include "config/Config.h"
#include "config/Lang.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "toolbar/PWMSetting.h"
#include "toolbar/PanelSupport.h"
#include "widgets/ChnEnaGroupBox.h"
#include "widgets/ChnQuickGroupBox.h"
#include "widgets/ColorLump.h"

namespace {

QString groupTitle(const char* text)
{
    return "  " + Lang::tr(text) + "  ";
}

// The (rate, count) columns of a channel table.
void splitTable(const QVector<ChnNumSmpFrequ>& table, QVector<qint64>* rates, QVector<int>* counts)
{
    for (const ChnNumSmpFrequ& e : table) {
        rates->append(e.smpFrequ);
        counts->append(e.chnNum);
    }
}

QLabel* modeDescription(const char* first, const char* second, QWidget* parent)
{
    QLabel* l = new QLabel(Lang::tr(first) + "\r\n" + Lang::tr(second), parent);
    l->setMinimumWidth(Config::pixel(306));
    l->setContentsMargins(Config::pixel(19), 0, 0, Config::pixel(4));
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    return l;
}

QDialogButtonBox* okCancel(QWidget* parent)
{
    QDialogButtonBox* b = new QDialogButtonBox(parent);
    b->addButton(Lang::tr("OK"), QDialogButtonBox::AcceptRole);
    b->addButton(Lang::tr("Cancel"), QDialogButtonBox::RejectRole);
    return b;
}

} // namespace

// ---------------------------------------------------------------------------
// The tool-bar group

DevSetting::DevSetting(QWidget* parent) : QWidget(parent)
{
    setObjectName("DevSetting");
    setAttribute(Qt::WA_StyledBackground);

    lblModelCaption = new QLabel(Lang::tr("Model"), this);
    lblModelCaption->setObjectName("DevIcon");
    lblModel = new QLabel(this);
    lblModel->setObjectName("DevMode");
    lblSmpModeCaption = new QLabel(Lang::tr("Sample Mode"), this);
    lblSmpModeCaption->setObjectName("DevSmpModeName");
    lblSmpMode = new QLabel(this);
    lblSmpMode->setObjectName("DevSmpMode");

    const int p1 = Config::pixel(1);
    const int p16 = Config::pixel(16);
    btnSet = new QPushButton(this);
    btnSet->setObjectName("DevBtnSet");
    btnSet->setToolTip(Lang::tr("Device Options"));
    btnSet->setIcon(QIcon(":/res/btnSetting"));
    btnSet->setIconSize(QSize(p16, p16));
    btnSet->setFixedSize(p16 + 4 * p1, p16 + 2 * p1);
    btnSet->setAttribute(Qt::WA_LayoutUsesWidgetRect);

    const int p3 = Config::pixel(3);
    layout = new QGridLayout(this);
    layout->setContentsMargins(2 * p3, p3, 2 * p3, p3);
    layout->setHorizontalSpacing(Config::pixel(4));
    layout->setVerticalSpacing(0);
    layout->addWidget(lblModelCaption, 0, 0);
    layout->addWidget(lblModel, 0, 1);
    layout->addWidget(lblSmpModeCaption, 0, 2);
    layout->addWidget(lblSmpMode, 0, 3);
    layout->addWidget(btnSet, 0, 4);

    connect(btnSet, &QPushButton::clicked, this, &DevSetting::slotChnSettingClicked);
}

void DevSetting::init()
{
    // The name is also the configuration key; only its shown form is
    // translated (the demonstration device's).
    lblModel->setText(devUsing ? Lang::tr(devUsing->devName) : QString());
    devSmpModeChanged();
}

void DevSetting::devSmpModeChanged()
{
    const DevBase* dev = devUsing;
    if (!dev || !dev->supportDualMode())
        lblSmpMode->setText(Lang::tr("Logic Analyzer"));
    else if (dev->smpMode == SmpModeStream)
        lblSmpMode->setText(Lang::tr("Stream Mode"));
    else
        lblSmpMode->setText(Lang::tr("Normal Mode"));
}

void DevSetting::slotChnSettingClicked()
{
    QPointer<DevSettingMenu> menu = new DevSettingMenu(this);
    const QPoint at = btnSet->mapToGlobal(QPoint(0, btnSet->height() + Config::pixel(1)));
    do {
        menu->reopen = false;
        menu->exec(at);
    } while (menu && menu->reopen);
    delete menu;
}

// ---------------------------------------------------------------------------
// The channel panel

DevSettingMenu::DevSettingMenu(QWidget* parent) : MyMenu(parent), dev(devUsing)
{
    setMinimumWidth(Config::pixel(340));
    container = new QWidget(this);
    box = new QVBoxLayout(container);
    box->setContentsMargins(Config::pixel(8), Config::pixel(10), Config::pixel(8), Config::pixel(6));

    const bool stream = dev && dev->smpMode != SmpModeBuffer;
    if (dev && dev->supportDualMode()) {
        QGroupBox* modes = new QGroupBox(groupTitle("Sample Mode Select"), container);
        QVBoxLayout* l = new QVBoxLayout(modes);
        l->setContentsMargins(Config::pixel(6), Config::pixel(4), Config::pixel(6), Config::pixel(4));
        l->setSpacing(0);
        radioNormal = new QRadioButton(Lang::tr("Normal Mode"), modes);
        radioNormal->setChecked(!stream);
        radioStream = new QRadioButton(Lang::tr("Stream Mode"), modes);
        radioStream->setChecked(stream);
        QButtonGroup* group = new QButtonGroup(modes);
        group->addButton(radioNormal);
        group->addButton(radioStream);
        l->addWidget(radioNormal);
        l->addWidget(modeDescription("This mode can provide higher sample rate.",
                                     "Use the device's memory as the sample buffer, the data is uploaded to computer after sampled.",
                                     modes));
        l->addWidget(radioStream);
        l->addWidget(modeDescription("This mode can provide larger sample depth.",
                                     "Only use the computer's memory to store the sampled data, the data is uploaded in real time.",
                                     modes));
        box->addWidget(modes);
        connect(radioNormal, &QRadioButton::toggled, this, &DevSettingMenu::slotSmpModeChanged);
    }

    QVector<qint64> rates;
    QVector<int> counts;
    if (dev)
        splitTable(stream ? dev->streamChnFrequ : dev->bufChnFrequ, &rates, &counts);
    quick = new ChnQuickGroupBox(rates, counts, container);
    box->addWidget(quick);
    chnEna = new ChnEnaGroupBox(dev ? dev->chnEna : QVector<bool>(), container);
    box->addWidget(chnEna);
    wireChannelBoxes();

    QHBoxLayout* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    btnMore = new QPushButton("  " + Lang::tr("More Settings") + "...  ", container);
    row->addWidget(btnMore);
    QDialogButtonBox* buttons = okCancel(container);
    row->addWidget(buttons);
    box->addLayout(row);
    connect(btnMore, &QPushButton::clicked, this, &DevSettingMenu::slotMorSettingsClicked);
    connect(buttons, &QDialogButtonBox::accepted, this, &DevSettingMenu::slotBtnSaveClicked);
    connect(buttons, &QDialogButtonBox::rejected, this, &QMenu::close);

    QWidgetAction* action = new QWidgetAction(this);
    action->setDefaultWidget(container);
    addAction(action);

    PanelSupport::closeWithDevice(this, dev);
}

void DevSettingMenu::wireChannelBoxes()
{
    connect(quick, &ChnQuickGroupBox::chnSelect, chnEna, &ChnEnaGroupBox::slotChnEnaSelect);
    connect(chnEna, &ChnEnaGroupBox::chnEnaChanged, quick, &ChnQuickGroupBox::chnSelectChanged);
}

void DevSettingMenu::slotSmpModeChanged()
{
    if (!dev || !radioNormal)
        return;
    QVector<qint64> rates;
    QVector<int> counts;
    splitTable(radioNormal->isChecked() ? dev->bufChnFrequ : dev->streamChnFrequ, &rates, &counts);
    if (quick->setNumFrequ(rates, counts))
        return;
    // The other mode's table has another length: the selector keeps its
    // buttons for life, so a new one takes its place.
    ChnQuickGroupBox* fresh = new ChnQuickGroupBox(rates, counts, container);
    delete box->replaceWidget(quick, fresh);
    delete quick;
    quick = fresh;
    wireChannelBoxes();
}

bool DevSettingMenu::saveChnEna()
{
    if (!dev)
        return false;
    QVector<bool> ena(dev->chnNum(), false);
    if (!chnEna->getChnEna(ena))
        return false;
    dev->setDChnEna(ena);
    return true;
}

void DevSettingMenu::saveSmpMode()
{
    if (!dev || !dev->supportDualMode() || !radioNormal)
        return;
    dev->setSmpMode(radioNormal->isChecked() ? SmpModeBuffer : SmpModeStream);
}

void DevSettingMenu::slotMorSettingsClicked()
{
    DevMoreSetting dlg(this);
    dlg.exec();
    // Qt closes the pop-up for the modal dialog: it comes back with the
    // choices not applied yet, unless the device was replaced meanwhile.
    reopen = !isVisible() && dev && dev == devUsing;
}

void DevSettingMenu::slotBtnSaveClicked()
{
    DevBase* d = dev;
    // Built for an object that has been replaced since: nothing to apply.
    if (!d || d != devUsing) {
        close();
        return;
    }
    // Refuse before anything changes: no mode applied, no capture stopped.
    QVector<bool> ena(d->chnNum(), false);
    if (!chnEna->getChnEna(ena)) {
        PanelSupport::warnInvalid(parentWidget(), Lang::tr("Please select at least one channel."));
        return;
    }
    DevBase::changeWithRestart(d, [&] {
        // Leaving stream mode first lifts its channel limits; entering it
        // last lets the device lower the rate for the channels just set.
        if (d->smpMode != SmpModeBuffer) {
            saveSmpMode();
            saveChnEna();
        } else {
            saveChnEna();
            saveSmpMode();
        }
    });
    close();
}

// ---------------------------------------------------------------------------
// The options dialog

DevMoreSetting::DevMoreSetting(QWidget* parent) : QDialog(parent), dev(devUsing)
{
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
    setWindowTitle(Lang::tr("Device Options"));
    setMinimumWidth(Config::pixel(260));
    QVBoxLayout* layout = new QVBoxLayout(this);

    if (dev && dev->queryDevFunction(DevFuncPWM)) {
        QGroupBox* group = new QGroupBox(groupTitle("PWM Settings"), this);
        QVBoxLayout* l = new QVBoxLayout(group);
        for (int i = 0; i < 2; ++i) {
            pwm[i] = new PWMOutputBlock(i, group);
            pwm[i]->fill(dev);
            l->addWidget(pwm[i]);
            if (i == 0)
                l->addWidget(ColorLump::separator(group));
        }
        layout->addWidget(group);
    }

    if (dev && dev->aChnEna.isEmpty()) {
        QGroupBox* group = new QGroupBox(groupTitle("Trigger Position"), this);
        QHBoxLayout* l = new QHBoxLayout(group);
        lblTrg = new QLabel("0%", group);
        lblTrg->setFixedWidth(Config::pixel(36));
        slider = new QSlider(Qt::Horizontal, group);
        slider->setFocusPolicy(Qt::StrongFocus);
        slider->setTickPosition(QSlider::TicksAbove);
        slider->setTickInterval(20);
        slider->setSingleStep(1);
        slider->setRange(0, 99);
        l->addWidget(lblTrg);
        l->addWidget(slider);
        connect(slider, &QSlider::valueChanged, this, &DevMoreSetting::slotTrgValueChanged);
        slider->setValue(dev->getTrgPosition());
        layout->addWidget(group);
    }

    QDialogButtonBox* buttons = okCancel(this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &DevMoreSetting::slotBtnSaveClicked);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    PanelSupport::closeWithDevice(this, dev);
}

void DevMoreSetting::slotTrgValueChanged(int value)
{
    if (lblTrg)
        lblTrg->setText(QString::number(value) + "%");
}

void DevMoreSetting::slotBtnSaveClicked()
{
    DevBase* d = dev;
    if (!d || d != devUsing) {
        reject();
        return;
    }
    if (pwm[0]) {
        if (!PWMOutputBlock::apply(pwm, this))
            return;
        // The dialog offers no tool-bar choice: saving it takes the PWM
        // switches off the tool bar.
        d->saveToolbarPWMSet(false);
    }
    if (slider && slider->value() != d->getTrgPosition()) {
        const int value = slider->value();
        DevBase::changeWithRestart(d, [d, value] { d->setTrgPosition(value); });
    }
    accept();
}
