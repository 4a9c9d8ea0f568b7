#include "toolbar/VthSetting.h"

#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QWidgetAction>

#include <algorithm>

#include "config/Config.h"
#include "config/Lang.h"
#include "device/DevBase.h"
#include "device/DevBaseUtil.h"
#include "device/DevGlobals.h"
#include "toolbar/PanelSupport.h"
#include "widgets/MyButton.h"

namespace {

constexpr int groupLow = 1;    // CH0-15
constexpr int groupHigh = 2;   // CH16-31

// A checkable, mutually exclusive entry of one of the two menus.
template <class Button>
Button* addMenuButton(QMenu* menu, const QString& text)
{
    Button* b = new Button(text, menu);
    b->setCheckable(true);
    b->setAutoExclusive(true);
    b->setFixedHeight(Config::pixel(18));
    QWidgetAction* a = new QWidgetAction(menu);
    a->setDefaultWidget(b);
    menu->addAction(a);
    return b;
}

// The threshold edit: never narrower than the longest value it shows
// ("-4.00", with the font's widest digits) at the font and style it has, so
// that no sign is scrolled out of view; otherwise the designed width.
class VthEdit : public QLineEdit
{
public:
    using QLineEdit::QLineEdit;

    QSize sizeHint() const override
    {
        QSize s = QLineEdit::sizeHint();
        s.setWidth(std::max(Config::pixel(30), longestValueWidth()));
        return s;
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

private:
    // The text, the caret's pixel after it and QLineEdit's 2-pixel margins,
    // in the frame the style draws around them.
    int longestValueWidth() const
    {
        const QFontMetrics fm = fontMetrics();
        QChar digit('0');
        for (char d = '1'; d <= '9'; ++d)
            if (fm.horizontalAdvance(QChar(d)) > fm.horizontalAdvance(digit))
                digit = QChar(d);
        const QString text = QString("-%1.%1%1").arg(digit);
        const QMargins tm = textMargins(), cm = contentsMargins();
        const int w = fm.horizontalAdvance(text) + 1 + 2 * 2 + tm.left() + tm.right() + cm.left() + cm.right();
        QStyleOptionFrame opt;
        initStyleOption(&opt);
        return style()->sizeFromContents(QStyle::CT_LineEdit, &opt, QSize(w, fm.height()), this).width();
    }
};

} // namespace

VthSetting::VthSetting(QWidget* parent) : QWidget(parent)
{
    setObjectName("VthSetting");
    setAttribute(Qt::WA_StyledBackground);
    setFixedSize(Config::pixel(194), Config::pixel(36));

    presets = {{"5.0V TTL", 1.58},  {"5.0V CMOS", 2.5},  {"3.3V CMOS", 1.65}, {"3.0V CMOS", 1.5},
               {"2.5V CMOS", 1.25}, {"1.8V CMOS", 0.9},  {"1.5V CMOS", 0.75}, {"1.2V CMOS", 0.6},
               {"0.9V CMOS", 0.45}, {Lang::tr("Custom I/O"), 0}};

    lblTitle = new QLabel(Lang::tr("I/O Standard"), this);
    lblTitle->setObjectName("VthTitle");
    lblTitle->setAlignment(Qt::AlignCenter);
    lblTitle->setFixedHeight(Config::pixel(16));

    auto dropButton = [this](const char* name, const QString& text) {
        QPushButton* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setIcon(QIcon(":/res/btnExpand"));
        b->setIconSize(QSize(Config::pixel(12), Config::pixel(12)));
        b->setLayoutDirection(Qt::LeftToRight);
        b->setAttribute(Qt::WA_LayoutUsesWidgetRect);
        return b;
    };
    btnChn = dropButton("btnChn", "CH0-15");
    btnVth = dropButton("btnVth", presets.first().name);

    lblArrow = new QLabel(" -> ", this);
    lblVth = new QLabel("Vth:", this);
    edit = new VthEdit(this);
    // The narrow face, as numbers in other tight places: the row leaves
    // little room beside the preset's name.
    edit->setFont(Config::fontNarrow);
    edit->setSizePolicy(QSizePolicy::Fixed, edit->sizePolicy().verticalPolicy());
    edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    edit->setEnabled(false);
    lblUnit = new QLabel("V", this);
    lblNotice = new QLabel(Lang::tr("2.5~5V CMOS Compatible"), this);
    lblNotice->setAlignment(Qt::AlignCenter);
    lblFill = new QLabel(this);
    lblFill->setMinimumWidth(1);

    chnMenu = new QMenu(this);
    for (const char* name : {"CH0-15", "CH16-31"}) {
        QPushButton* b = addMenuButton<QPushButton>(chnMenu, name);
        connect(b, &QPushButton::clicked, this, &VthSetting::slotBtnActChnClicked);
        chnButtons.append(b);
    }
    vthMenu = new QMenu(this);
    for (int i = 0; i < presets.size(); ++i) {
        MyButton* b = addMenuButton<MyButton>(vthMenu, presets[i].name);
        b->index = i;
        connect(b, &MyButton::clicked, this, &VthSetting::slotBtnActVthClicked);
        vthButtons.append(b);
    }

    const int p1 = Config::pixel(1);
    layout = new QGridLayout(this);
    layout->setContentsMargins(Config::pixel(8), 2 * p1, Config::pixel(8), p1);
    layout->setHorizontalSpacing(0);
    layout->setVerticalSpacing(p1);
    layout->addWidget(lblTitle, 0, 0, 1, 3);
    layout->addWidget(btnChn, 0, 3, 1, 4);
    layout->addWidget(btnVth, 1, 1);
    layout->addWidget(lblArrow, 1, 2);
    layout->addWidget(lblVth, 1, 3);
    layout->addWidget(edit, 1, 4);
    layout->addWidget(lblUnit, 1, 5);
    layout->addWidget(lblFill, 1, 6);
    layout->addWidget(lblNotice, 1, 0, 1, 7);

    connect(btnChn, &QPushButton::clicked, this, &VthSetting::slotBtnChnChanged);
    connect(btnVth, &QPushButton::clicked, this, &VthSetting::slotBtnVthChanged);
    connect(edit, &QLineEdit::editingFinished, this, &VthSetting::slotVthEditFinish);
}

QString VthSetting::keyName(const char* key, int group)
{
    return group == groupHigh ? QString(key) + "2" : QString(key);
}

double VthSetting::storedVth(int group)
{
    // The configuration may come from anywhere (a merged settings file, a
    // hand edit): read it exactly as the device does when it restores it.
    const QString text = devUsing ? Config::readDeviceParam(devUsing->devName, keyName("chnVth", group)) : QString();
    return DevBaseUtil::storedVth(text);
}

QString VthSetting::vthText(double volts)
{
    return QString::number(volts, 'f', 2);
}

int VthSetting::group() const
{
    return chnButtons[0]->isChecked() ? groupLow : groupHigh;
}

int VthSetting::rowOf(const QString& name) const
{
    for (int i = 0; i < presets.size(); ++i)
        if (presets[i].name == name)
            return i;
    return fallbackRow;
}

void VthSetting::devModelChanged()
{
    DevBase* dev = devUsing;
    // Menus open for the previous device object choose nothing for this one.
    chnMenu->close();
    vthMenu->close();

    const bool adjustable = dev && dev->queryDevFunction(DevFuncVth);
    for (QWidget* w : std::initializer_list<QWidget*>{btnVth, lblArrow, lblVth, edit, lblUnit})
        w->setVisible(adjustable);
    lblNotice->setVisible(!adjustable);

    const bool twoGroups = adjustable && dev->chnNum() >= 32;
    btnChn->setVisible(twoGroups);
    layout->removeWidget(lblTitle);
    layout->addWidget(lblTitle, 0, 0, 1, twoGroups ? 3 : 7);

    chnButtons[0]->setChecked(true);
    btnChn->setText(chnButtons[0]->text());

    const int row = rowOf(dev ? Config::readDeviceParam(dev->devName, keyName("chnLevel", groupLow)) : QString());
    vthButtons[row]->setChecked(true);
    btnVth->setText(presets[row].name);

    // Shown, not chosen: the edit losing its focus here is no entry.
    const QSignalBlocker block(edit);
    edit->clearFocus();
    const bool custom = row == customRow();
    edit->setEnabled(custom);
    edit->setText(vthText(custom ? storedVth(groupLow) : presets[row].vth));
}

void VthSetting::popUp(QMenu* menu, QPushButton* under)
{
    menu->setFixedWidth(under->width());
    menu->exec(under->mapToGlobal(QPoint(0, under->height())));
}

void VthSetting::slotBtnChnChanged()
{
    popUp(chnMenu, btnChn);
}

void VthSetting::slotBtnVthChanged()
{
    popUp(vthMenu, btnVth);
}

void VthSetting::slotBtnActChnClicked()
{
    QPushButton* b = qobject_cast<QPushButton*>(sender());
    if (!b)
        return;
    chnMenu->close();
    b->setChecked(true);
    if (b->text() == btnChn->text())
        return;
    btnChn->setText(b->text());

    const int g = group();
    const int row = rowOf(devUsing ? Config::readDeviceParam(devUsing->devName, keyName("chnLevel", g)) : QString());
    if (presets[row].name != btnVth->text()) {
        choosePreset(vthButtons[row]);
        return;
    }
    // The same preset in both groups: nothing to write, but a custom value
    // is the new group's own.
    if (row == customRow()) {
        const QSignalBlocker block(edit);
        edit->setText(vthText(storedVth(g)));
    }
}

void VthSetting::slotBtnActVthClicked()
{
    if (MyButton* b = qobject_cast<MyButton*>(sender()))
        choosePreset(b);
}

void VthSetting::choosePreset(MyButton* b)
{
    vthMenu->close();
    b->setChecked(true);
    if (b->text() == btnVth->text())
        return;
    btnVth->setText(b->text());
    const int g = group();
    const int row = qBound(0, b->index, customRow());

    double volts;
    if (row == customRow()) {
        edit->setEnabled(true);
        edit->setFocus();
        volts = storedVth(g);
    } else {
        edit->setEnabled(false);   // also takes its focus
        edit->clearFocus();
        volts = presets[row].vth;
    }
    const QString text = vthText(volts);
    edit->setText(text);
    DevBase* dev = devUsing;
    if (!dev)
        return;
    dev->setVthValue(volts, g);
    Config::saveDeviceParam(dev->devName, keyName("chnLevel", g), btnVth->text());
    Config::saveDeviceParam(dev->devName, keyName("chnVth", g), text);
}

void VthSetting::slotVthEditFinish()
{
    // Disabling the edit or the refusal box taking the focus ends no entry.
    if (warning || !edit->isEnabled())
        return;
    if (edit->hasFocus()) {
        // Return: losing the focus ends the entry once more.
        edit->clearFocus();
        return;
    }
    DevBase* dev = devUsing;
    const int g = group();
    bool ok = false;
    const double typed = edit->text().trimmed().toDouble(&ok);
    // Written as the comparisons stand, "nan" fails them.
    if (ok && typed >= -DevBaseUtil::kVthLimit && typed <= DevBaseUtil::kVthLimit) {
        const QString text = vthText(typed);
        edit->setText(text);
        if (dev) {
            // What is shown and stored is what the device gets.
            dev->setVthValue(text.toDouble(), g);
            Config::saveDeviceParam(dev->devName, keyName("chnVth", g), text);
        }
        return;
    }
    warning = true;
    PanelSupport::warnInvalid(this, Lang::tr("The effective range of threshold voltage is ") + "-4.0 ~ 4.0V");
    warning = false;
    edit->setText(vthText(storedVth(g)));
    edit->setFocus();
}
