#include "toolbar/PWMSetting.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "config/Config.h"
#include "config/Lang.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "toolbar/PanelSupport.h"
#include "widgets/ColorLump.h"
#include "widgets/MySwitch.h"

namespace {

constexpr double minHz = 0.1;
constexpr double maxHz = 20000000.0;

// Unit index u stands for 10^(3 * (2 - u)) Hz.
const double unitFactor[3] = {1e6, 1e3, 1.0};

} // namespace

// ---------------------------------------------------------------------------
// One output's controls

PWMOutputBlock::PWMOutputBlock(int output, QWidget* parent) : QWidget(parent), output(output)
{
    check = new QCheckBox(output == 0 ? "PWM1" : "PWM2", this);
    lblFrequ = new QLabel(Lang::tr("Frequency"), this);
    frequ = new QLineEdit(this);
    frequ->setFixedWidth(Config::pixel(53));
    // Digits with at most one decimal point.
    frequ->setValidator(new QRegularExpressionValidator(QRegularExpression("^[0-9]*\\.?[0-9]*$"), frequ));
    unit = new QComboBox(this);
    unit->addItems({"MHz", "KHz", "Hz"});
    unit->setMinimumContentsLength(5);
    lblDuty = new QLabel(Lang::tr("DutyCycle"), this);
    duty = new QLineEdit(this);
    duty->setFixedWidth(Config::pixel(53));
    duty->setValidator(new QIntValidator(0, 100, duty));
    lblPercent = new QLabel("%", this);

    QGridLayout* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(check, 0, 0, 1, 6);
    grid->addWidget(lblFrequ, 1, 0);
    grid->addWidget(frequ, 1, 1);
    grid->addWidget(unit, 1, 2);
    grid->addWidget(lblDuty, 1, 3);
    grid->addWidget(duty, 1, 4);
    grid->addWidget(lblPercent, 1, 5);

    connect(check, &QCheckBox::toggled, this, &PWMOutputBlock::followCheck);
}

void PWMOutputBlock::fill(const DevBase* dev)
{
    double hz = 0, pct = 0;
    if (dev) {
        check->setChecked(dev->getPWMEnable(output));
        dev->getPWMValue(output, &hz, &pct);
    }
    int u = 2;
    while (hz >= 1000 && u > 0) {
        hz /= 1000;
        --u;
    }
    frequ->setText(QString::number(hz, 'g', 6));
    duty->setText(QString::number(pct, 'g', 6));
    unit->setCurrentIndex(u);
    followCheck();
}

void PWMOutputBlock::followCheck()
{
    const bool on = check->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{lblFrequ, frequ, unit, lblDuty, duty, lblPercent})
        w->setEnabled(on);
}

bool PWMOutputBlock::ticked() const
{
    return check->isChecked();
}

bool PWMOutputBlock::read(double* hz, double* pct) const
{
    *hz = frequ->text().toDouble() * unitFactor[qBound(0, unit->currentIndex(), 2)];
    *pct = duty->text().toDouble();
    if (!ticked())
        return true;
    // Written so that a value that is no number fails too.
    return *hz >= minHz && *hz <= maxHz && *pct >= 0 && *pct <= 100;
}

bool PWMOutputBlock::apply(PWMOutputBlock* const blocks[2], QWidget* warningParent)
{
    double hz[2] = {0, 0}, pct[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        if (!blocks[i]->read(&hz[i], &pct[i])) {
            PanelSupport::warnInvalid(warningParent,
                                      Lang::tr("The effective range of PWM:[0.1Hz,20MHz], duty cycle:[0,100]%."));
            return false;
        }
    }
    DevBase* dev = devUsing;
    if (!dev)
        return true;
    dev->setPWMEnable(false, false);
    for (int i = 0; i < 2; ++i)
        if (blocks[i]->ticked())
            dev->setPWMValue(i, hz[i], pct[i]);
    dev->setPWMEnable(blocks[0]->ticked(), blocks[1]->ticked());
    return true;
}

// ---------------------------------------------------------------------------
// The dialog

PWMSettingDialog::PWMSettingDialog(QWidget* parent) : QDialog(parent), dev(devUsing)
{
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
    setWindowTitle(Lang::tr("PWM Settings"));
    PanelSupport::closeWithDevice(this, dev);

    QVBoxLayout* box = new QVBoxLayout(this);
    for (int i = 0; i < 2; ++i) {
        blocks[i] = new PWMOutputBlock(i, this);
        blocks[i]->fill(dev);
        box->addWidget(blocks[i]);
        box->addWidget(ColorLump::separator(this));
    }
    QDialogButtonBox* buttons = new QDialogButtonBox(this);
    buttons->addButton(Lang::tr("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(Lang::tr("Cancel"), QDialogButtonBox::RejectRole);
    box->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &PWMSettingDialog::slotBtnSaveClicked);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void PWMSettingDialog::slotBtnSaveClicked()
{
    // Filled from an object that has been replaced since: nothing to apply.
    if (!dev || dev != devUsing) {
        reject();
        return;
    }
    if (!PWMOutputBlock::apply(blocks, this))
        return;
    emit sigPWMSetSaved();
    accept();
}

// ---------------------------------------------------------------------------
// The tool-bar group

PWMSetting::PWMSetting(QWidget* parent) : QWidget(parent)
{
    setObjectName("PWMSetting");
    setAttribute(Qt::WA_StyledBackground);
    // One row: the top box leaves its groups pixel(24) of height, too
    // little for a switch above the other.
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    const int p1 = Config::pixel(1);

    auto makeSwitch = [&] {
        MySwitch* s = new MySwitch(this);
        s->setFixedSize(Config::pixel(27), Config::pixel(14));
        return s;
    };
    switch1 = makeSwitch();
    switch2 = makeSwitch();
    lblPWM1 = new QLabel("PWM1", this);
    lblPWM1->setObjectName("PWM1");
    lblPWM2 = new QLabel("PWM2", this);
    lblPWM2->setObjectName("PWM2");
    btnSetting = new QPushButton(this);
    btnSetting->setObjectName("btnPWMSetting");
    btnSetting->setToolTip(Lang::tr("PWM Settings"));
    btnSetting->setFixedWidth(Config::pixel(21));
    btnSetting->setIcon(QIcon(":/res/btnSetting"));
    btnSetting->setAttribute(Qt::WA_LayoutUsesWidgetRect);

    layout = new QHBoxLayout(this);
    layout->setContentsMargins(3 * p1, p1, 2 * p1, p1);
    layout->setSpacing(Config::pixel(4));
    layout->addWidget(switch1);
    layout->addWidget(lblPWM1);
    layout->addSpacing(Config::pixel(4));
    layout->addWidget(switch2);
    layout->addWidget(lblPWM2);
    layout->addWidget(btnSetting);

    connect(switch1, &MySwitch::clicked, this, &PWMSetting::slotBtnPWM1Clicked);
    connect(switch2, &MySwitch::clicked, this, &PWMSetting::slotBtnPWM2Clicked);
    connect(btnSetting, &QPushButton::clicked, this, &PWMSetting::slotBtnSettingClicked);
    readSwitches();
}

void PWMSetting::readSwitches()
{
    DevBase* dev = devUsing;
    switch1->on = dev && dev->getPWMEnable(0);
    switch2->on = dev && dev->getPWMEnable(1);
    switch1->update();
    switch2->update();
}

void PWMSetting::devConnectChanged(bool connected)
{
    if (connected)
        readSwitches();
}

void PWMSetting::slotEnaChanged()
{
    readSwitches();
    setVisible(Config::readGlobalParam("toolbarPWM").toInt() != 0);
}

void PWMSetting::slotBtnPWM1Clicked()
{
    switch1->on = !switch1->on;
    switch1->update();
    if (devUsing)
        devUsing->setPWMEnable(switch1->on, devUsing->getPWMEnable(1));
}

void PWMSetting::slotBtnPWM2Clicked()
{
    switch2->on = !switch2->on;
    switch2->update();
    if (devUsing)
        devUsing->setPWMEnable(devUsing->getPWMEnable(0), switch2->on);
}

void PWMSetting::slotBtnSettingClicked()
{
    {
        PWMSettingDialog dlg(this);
        dlg.exec();
    }
    slotEnaChanged();
}
