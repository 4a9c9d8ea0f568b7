#include "osc/OscPanels.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cmath>

#include "config/Config.h"
#include "config/Lang.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "widgets/MyDial.h"
#include "widgets/MySwitch.h"

// ---------------------------------------------------------------- scales

namespace OscScale {

Scaled volts(long long mV)
{
    Scaled s;
    s.number = mV;
    s.unit = "mV";
    if (mV > 999) {
        s.number = mV / 1000;
        s.unit = "V";
    }
    return s;
}

Scaled time(long long ns)
{
    static const char* const units[] = {"ns", "us", "ms", "s"};
    int k = 0;
    while (ns > 999 && k < 3) {
        ns /= 1000;
        ++k;
    }
    return {ns, units[k]};
}

int decimals(long long number)
{
    return number <= 9 ? 2 : number <= 99 ? 1 : 0;
}

double fieldNumber(const QString& text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}

int offsetFor(double v, double scale)
{
    if (!(scale > 0) || !std::isfinite(v))
        return 0;
    const double t = std::fabs(v) / (10 * scale) * 1000;
    const int r = 2 * t >= 1000 ? 500 : int(std::trunc(t + 0.5));
    return v < 0 ? -r : r;
}

} // namespace OscScale

namespace {

QPushButton* resetButton(QWidget* parent, const QString& tip)
{
    QPushButton* b = new QPushButton(parent);
    b->setObjectName("btnReset");
    b->setToolTip(Lang::tr(tip));
    const int s = Config::pixel(16);
    b->setIcon(QIcon(":/res/reset"));
    b->setIconSize(QSize(s, s));
    b->setFixedSize(s + 2 * Config::pixel(1), s + 2 * Config::pixel(1));
    return b;
}

QRadioButton* radio(const QString& text, QButtonGroup* group, int id, QWidget* parent)
{
    QRadioButton* r = new QRadioButton(text, parent);
    r->setFixedHeight(Config::pixel(16));
    r->setAttribute(Qt::WA_LayoutUsesWidgetRect);
    group->addButton(r, id);
    return r;
}

void checkButton(QButtonGroup* g, int id)
{
    if (QAbstractButton* b = g->button(id))
        b->setChecked(true);
}

} // namespace

// ---------------------------------------------------------------- title row

TitleBarOsc::TitleBarOsc(int kind, const QString& title, bool state, QWidget* parent)
    : QWidget(parent), expanded(state)
{
    const int p = Config::pixel(1);
    const int s = Config::pixel(16);
    setAttribute(Qt::WA_StyledBackground);
    setFixedHeight(Config::pixel(24) - Config::pixel(2));

    btnExpand = new QPushButton(this);
    btnExpand->setObjectName("btnExpand");
    btnExpand->setFixedSize(s, s);
    btnExpand->setIconSize(QSize(s, s));
    labTitle = new QLabel(title, this);
    labTitle->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);

    QHBoxLayout* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2 * p);
    row->addWidget(btnExpand);
    row->addWidget(labTitle, 1);
    if (kind == KindSwitch) {
        sw = new MySwitch(this);
        sw->setFixedSize(Config::pixel(30), Config::pixel(18));
        sw->setContentsMargins(2 * p, 2 * p, 2 * p, 2 * p);
        sw->on = true;
        row->addWidget(sw);
        connect(sw, &QPushButton::clicked, this, &TitleBarOsc::slotSwitchClicked);
    } else if (kind == KindTime) {
        edit = new QLineEdit(this);
        edit->setToolTip(Lang::tr("Horizontal trigger time"));
        edit->setFixedWidth(Config::pixel(80));
        edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        unit = new QLabel(this);
        btnReset = resetButton(this, "Reset to zero");
        row->addWidget(edit);
        row->addWidget(unit);
        row->addWidget(btnReset);
        row->setContentsMargins(0, 0, 4 * p, 0);
        connect(edit, &QLineEdit::editingFinished, this, &TitleBarOsc::slotEditFinished);
        connect(btnReset, &QPushButton::clicked, this, &TitleBarOsc::btnClicked);
    }
    connect(btnExpand, &QPushButton::clicked, this, &TitleBarOsc::slotBtnExpandClicked);
    slotBtnExpandClicked();
}

bool TitleBarOsc::switchOn() const
{
    return sw && sw->on;
}

void TitleBarOsc::setSwitch(bool on)
{
    if (!sw || sw->on == on)
        return;
    sw->on = on;
    sw->update();
}

void TitleBarOsc::slotBtnExpandClicked()
{
    expanded = !expanded;
    btnExpand->setIcon(QIcon(expanded ? ":/res/btnExpand" : ":/res/btnCollapse"));
    emit expandClicked();
}

void TitleBarOsc::slotSwitchClicked()
{
    sw->on = !sw->on;
    sw->update();
    emit switchClicked();
}

void TitleBarOsc::slotEditFinished()
{
    // Return while typing: give up the focus; the edit finishes with it.
    if (edit->hasFocus()) {
        edit->clearFocus();
        return;
    }
    emit editFinished();
}

// ---------------------------------------------------------------- panel frame

OscPanel::OscPanel(int kind, const QString& title, int expandedHeight, QWidget* parent)
    : QFrame(parent), heightExpanded(expandedHeight)
{
    setAttribute(Qt::WA_StyledBackground);
    setFixedWidth(Config::pixel(271));
    titleBar = new TitleBarOsc(kind, title, false, this);
    content = new QWidget(this);
    QVBoxLayout* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    lay->addWidget(titleBar);
    lay->addWidget(content, 1);
    connect(titleBar, &TitleBarOsc::expandClicked, this, &OscPanel::slotExpandClicked);
    slotExpandClicked();
}

void OscPanel::slotExpandClicked()
{
    const bool on = titleBar->getState();
    content->setVisible(on);
    setFixedHeight(on ? heightExpanded : Config::pixel(24));
    emit stateChanged();
}

// ---------------------------------------------------------------- channel

ChnSetOsc::ChnSetOsc(int chn, QWidget* parent)
    : OscPanel(TitleBarOsc::KindSwitch, Lang::tr("Channel") + " " + QString::number(chn + 1), Config::pixel(156),
               parent),
      chn(chn)
{
    dial = new MyDial(content);
    dial->setFixedWidth(Config::pixel(162));
    QLabel* line = new QLabel(content);
    line->setObjectName("LineLabel");
    line->setFixedWidth(Config::pixel(1));

    coupling = new QButtonGroup(this);
    probe = new QButtonGroup(this);
    QWidget* right = new QWidget(content);
    QGridLayout* g = new QGridLayout(right);
    g->setContentsMargins(Config::pixel(4), Config::pixel(2), Config::pixel(4), Config::pixel(2));
    g->setHorizontalSpacing(Config::pixel(2));
    g->setVerticalSpacing(0);
    g->addWidget(new QLabel(Lang::tr("Coupling:"), right), 0, 0, 1, 3);
    g->addWidget(radio("DC", coupling, 0, right), 1, 0);
    g->addWidget(radio("AC", coupling, 1, right), 1, 1, 1, 2);
    g->addWidget(new QLabel(Lang::tr("ProbeRate:"), right), 2, 0, 1, 3);
    g->addWidget(radio("1X", probe, 0, right), 3, 0);
    g->addWidget(radio("10X", probe, 1, right), 3, 1, 1, 2);
    g->addWidget(new QLabel(Lang::tr("Offset:"), right), 4, 0, 1, 3);
    editOffset = new QLineEdit(right);
    editOffset->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    labUnit = new QLabel(right);
    btnReset = resetButton(right, "Reset to Zero");
    g->addWidget(editOffset, 5, 0);
    g->addWidget(labUnit, 5, 1);
    g->addWidget(btnReset, 5, 2);
    g->setRowStretch(6, 1);

    QHBoxLayout* lay = new QHBoxLayout(content);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    lay->addWidget(dial);
    lay->addWidget(line);
    lay->addWidget(right, 1);

    connect(titleBar, &TitleBarOsc::switchClicked, this, &ChnSetOsc::slotSwitchClicked);
    connect(coupling, &QButtonGroup::idClicked, this, &ChnSetOsc::slotCouplingClicked);
    connect(probe, &QButtonGroup::idClicked, this, &ChnSetOsc::slotProbeClicked);
    connect(dial, &MyDial::btnClicked, this, &ChnSetOsc::slotDialClicked);
    connect(editOffset, &QLineEdit::editingFinished, this, &ChnSetOsc::slotChnOffsetChanged);
    connect(btnReset, &QPushButton::clicked, this, &ChnSetOsc::slotOffsetReset);
}

void ChnSetOsc::init()
{
    const DevBase* dev = devUsing;
    if (!dev)
        return;
    checkButton(coupling, dev->aCoupling.value(chn) != 0 ? 1 : 0);
    checkButton(probe, dev->aProbeRate.value(chn, 1) / 10 != 0 ? 1 : 0);
    dial->setTextList(dev->getVoltDivStringList(chn));
    dial->setCurrentIndex(dev->aVoltDivIndex.value(chn));
    setChnVolt();
    const bool on = dev->aChnEna.value(chn);
    titleBar->setSwitch(on);
    content->setEnabled(on);
}

QString ChnSetOsc::setChnVolt()
{
    const DevBase* dev = devUsing;
    const long long mV = dev ? (long long)dev->aProbeRate.value(chn, 1) * dev->aVoltDiv(chn) : 0;
    const OscScale::Scaled s = OscScale::volts(mV);
    scale = s.number;
    unit = s.unit;
    dec = OscScale::decimals(scale);
    labUnit->setText(unit);
    showOffset();
    return editOffset->text() + unit;
}

void ChnSetOsc::showOffset()
{
    const int off = devUsing ? devUsing->aChnOffset.value(chn) : 0;
    editOffset->setText(QString::number(off / 1000.0 * scale * 10, 'f', dec));
}

void ChnSetOsc::slotSwitchClicked()
{
    DevBase* dev = devUsing;
    const bool on = titleBar->switchOn();
    content->setEnabled(on);
    if (!dev || chn >= dev->aChnNum())
        return;
    QVector<bool> ena = dev->aChnEna;
    ena[chn] = on;
    DevBase::changeWithRestart(dev, [&] {
        dev->setAChnEna(ena);
        emit chnSetChanged(9, chn);
    });
}

void ChnSetOsc::slotCouplingClicked(int index)
{
    DevBase* dev = devUsing;
    if (!dev)
        return;
    DevBase::changeWithRestart(dev, [&] {
        dev->setACoupling(chn, index);
        emit chnSetChanged(10, chn);
    });
}

void ChnSetOsc::slotProbeClicked(int index)
{
    DevBase* dev = devUsing;
    if (!dev)
        return;
    DevBase::changeWithRestart(dev, [&] {
        dev->setAProbeRate(chn, index == 1 ? 10 : 1);
        const int i = dial->currentIndex();
        dial->setTextList(dev->getVoltDivStringList(chn));
        dial->setCurrentIndex(i);
        setChnVolt();
        emit chnSetChanged(11, chn);
    });
}

void ChnSetOsc::slotDialClicked(int index)
{
    DevBase* dev = devUsing;
    if (!dev)
        return;
    DevBase::changeWithRestart(dev, [&] {
        dev->setAVoltDivIndex(chn, index);
        setChnVolt();
        emit chnSetChanged(12, chn);
    });
}

void ChnSetOsc::slotChnOffsetChanged()
{
    if (editOffset->hasFocus()) {
        editOffset->clearFocus();
        return;
    }
    DevBase* dev = devUsing;
    if (!dev)
        return;
    const int off = OscScale::offsetFor(OscScale::fieldNumber(editOffset->text()), double(scale));
    DevBase::changeWithRestart(dev, [&] {
        dev->setAChnOffset(chn, off);
        showOffset();
        emit chnSetChanged(13, chn);
    });
}

void ChnSetOsc::slotOffsetReset()
{
    DevBase* dev = devUsing;
    if (!dev)
        return;
    DevBase::changeWithRestart(dev, [&] {
        dev->setAChnOffset(chn, 0);
        showOffset();
        emit chnSetChanged(14, chn);
    });
}

// ---------------------------------------------------------------- time base

TimeSetOsc::TimeSetOsc(QWidget* parent)
    : OscPanel(TitleBarOsc::KindTime, Lang::tr("Timebase"), Config::pixel(174), parent)
{
    dial = new MyDial(content);
    dial->setFixedWidth(Config::pixel(180));
    QHBoxLayout* lay = new QHBoxLayout(content);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(dial, 0, Qt::AlignHCenter);
    connect(dial, &MyDial::btnClicked, this, &TimeSetOsc::slotDialClicked);
    connect(titleBar, &TitleBarOsc::editFinished, this, &TimeSetOsc::slotTrgTimeChanged);
    connect(titleBar, &TitleBarOsc::btnClicked, this, &TimeSetOsc::slotTrgTimeReset);
}

void TimeSetOsc::init()
{
    const DevBase* dev = devUsing;
    if (!dev)
        return;
    QStringList texts;
    for (long long ns : dev->aTimeDivList) {
        const OscScale::Scaled s = OscScale::time(ns);
        texts << QString::number(s.number) + s.unit;
    }
    dial->setTextList(texts);
    dial->setCurrentIndex(dev->aTimeDivIndex);
    setTrgTime();
}

QString TimeSetOsc::setTrgTime()
{
    const DevBase* dev = devUsing;
    const OscScale::Scaled s = OscScale::time(dev ? dev->aTimeDiv() : 0);
    timeDiv = s.number;
    unit = s.unit;
    dec = OscScale::decimals(timeDiv);
    const int pos = dev ? dev->aTrgPercent : 500;
    titleBar->edit->setText(QString::number((pos / 1000.0 - 0.5) * double(timeDiv) * 10, 'f', dec));
    titleBar->unit->setText(unit + "  ");
    return titleBar->edit->text() + unit;
}

bool TimeSetOsc::setTimeDiv(int delta)
{
    DevBase* dev = devUsing;
    if (!dev)
        return false;
    const int i = dev->aTimeDivIndex + (delta < 0 ? 1 : -1);
    if (i < 0 || i >= dev->aTimeDivList.size())
        return false;
    dial->setCurrentIndex(i);
    dev->setATimeDivIndex(i);
    setTrgTime();
    return true;
}

void TimeSetOsc::slotDialClicked(int index)
{
    DevBase* dev = devUsing;
    if (!dev)
        return;
    DevBase::changeWithRestart(dev, [&] {
        dev->setATimeDivIndex(index);
        setTrgTime();
        emit timeSetChanged(15);
    });
}

void TimeSetOsc::changePosition(int position)
{
    DevBase* dev = devUsing;
    if (!dev || position == dev->aTrgPercent)
        return;
    DevBase::changeWithRestart(dev, [&] {
        dev->setATrgPercent(position);
        emit timeSetChanged(16);
    });
}

void TimeSetOsc::slotTrgTimeChanged()
{
    if (timeDiv <= 0)
        return;
    const double v = OscScale::fieldNumber(titleBar->edit->text());
    // Clamped as a double: a huge entry cannot wrap through an int.
    const double p = (v / (10.0 * double(timeDiv)) + 0.5) * 1000 + 0.5;
    const int position = p < 0 ? 0 : p >= 1001 ? 1000 : int(p);
    titleBar->edit->setText(QString::number((position / 1000.0 - 0.5) * 10 * double(timeDiv), 'f', dec));
    changePosition(position);
}

void TimeSetOsc::slotTrgTimeReset()
{
    titleBar->edit->setText(QString::number(0.0, 'f', dec));
    changePosition(500);
}

// ---------------------------------------------------------------- trigger

TriggerSetOsc::TriggerSetOsc(QWidget* parent)
    : OscPanel(TitleBarOsc::KindPlain, Lang::tr("Trigger"), Config::pixel(55), parent)
{
    const int p = Config::pixel(1);
    const int s18 = Config::pixel(18);
    source = new QButtonGroup(this);
    edge = new QButtonGroup(this);
    QHBoxLayout* lay = new QHBoxLayout(content);
    lay->setContentsMargins(Config::pixel(6), 0, Config::pixel(6), 0);
    lay->setSpacing(Config::pixel(8));
    const int n = devUsing ? devUsing->aChnNum() : 0;
    for (int c = 0; c < n; ++c)
        lay->addWidget(radio("CH" + QString::number(c + 1), source, c, content));
    lay->addStretch(1);

    QFrame* frame = new QFrame(content);
    frame->setObjectName("trgFrame");
    frame->setFixedSize((p + 2 * s18) * 2, Config::pixel(20) + 2 * p);
    QHBoxLayout* fl = new QHBoxLayout(frame);
    fl->setContentsMargins(p, p, p, p);
    fl->setSpacing(0);
    const char* const icons[] = {":/res/trgRising", ":/res/trgFalling"};
    for (int i = 0; i < 2; ++i) {
        QPushButton* b = new QPushButton(frame);
        b->setObjectName("btnTrg" + QString::number(i));
        b->setCheckable(true);
        b->setIcon(QIcon(icons[i]));
        b->setIconSize(QSize(Config::pixel(16), Config::pixel(16)));
        b->setToolTip(Lang::tr(i == 0 ? "Rising edge" : "Falling edge"));
        edge->addButton(b, i);
        fl->addWidget(b);
    }
    lay->addWidget(frame);
    connect(source, &QButtonGroup::idClicked, this, &TriggerSetOsc::slotSourceClicked);
    connect(edge, &QButtonGroup::idClicked, this, &TriggerSetOsc::slotEdgeClicked);
}

void TriggerSetOsc::setTrgStatus()
{
    if (!devUsing)
        return;
    const int t = devUsing->aTrgType;
    if (t == TrgRising || t == TrgFalling)
        checkButton(edge, t == TrgRising ? 0 : 1);
}

void TriggerSetOsc::init()
{
    setTrgStatus();
    if (!devUsing)
        return;
    const int c = devUsing->aTrgChn;
    if (!source->button(c))
        return;
    checkButton(source, c);
    emit trgSetChanged(c);
}

void TriggerSetOsc::slotSourceClicked(int index)
{
    emit trgSetChanged(index);
}

void TriggerSetOsc::slotEdgeClicked(int index)
{
    DevBase* dev = devUsing;
    const int type = index == 0 ? TrgRising : TrgFalling;
    if (!dev || type == dev->aTrgType)
        return;
    DevBase::changeWithRestart(dev, [&] { dev->setATrgType(type); });
}

// ---------------------------------------------------------------- math

MathChnOsc::MathChnOsc(QWidget* parent)
    : OscPanel(TitleBarOsc::KindSwitch, Lang::tr("Math"), Config::pixel(75), parent)
{
    cbxOperator = new QComboBox(content);
    cbxOperator->addItems({"CH1 + CH2", "CH1 - CH2", "CH2 - CH1"});
    cbxScale = new QComboBox(content);
    cbxScale->addItems({"10mV", "20mV", "50mV", "100mV", "200mV", "500mV", "1V", "2V", "5V", "10V", "20V", "50V"});
    editOffset = new QLineEdit("1.000V", content);
    editOffset->setFixedWidth(Config::pixel(68));
    editOffset->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    QGridLayout* g = new QGridLayout(content);
    g->setContentsMargins(Config::pixel(6), 0, Config::pixel(6), 0);
    g->setHorizontalSpacing(Config::pixel(4));
    g->setVerticalSpacing(Config::pixel(2));
    g->addWidget(new QLabel(Lang::tr("Operator"), content), 0, 0);
    g->addWidget(cbxOperator, 0, 1);
    g->addWidget(new QLabel(Lang::tr("Scale"), content), 0, 2);
    g->addWidget(cbxScale, 0, 3);
    g->addWidget(new QLabel(Lang::tr("Offset"), content), 1, 0);
    g->addWidget(editOffset, 1, 1);
    g->setColumnStretch(1, 1);

    connect(titleBar, &TitleBarOsc::switchClicked, this, &MathChnOsc::slotSwitchClicked);
    connect(cbxOperator, QOverload<int>::of(&QComboBox::activated), this, &MathChnOsc::slotOperatorChanged);
    connect(cbxScale, QOverload<int>::of(&QComboBox::activated), this, &MathChnOsc::slotScaleChanged);
    connect(editOffset, &QLineEdit::editingFinished, this, &MathChnOsc::slotOffsetChanged);

    if (devUsing)
        devUsing->aMathEna = 1;
    devModelChanged();
}

void MathChnOsc::devModelChanged()
{
    const DevBase* dev = devUsing;
    if (!dev)
        return;
    cbxOperator->setCurrentIndex(qBound(0, dev->aMathOperator, cbxOperator->count() - 1));
    showScale();
    showOffset();
    titleBar->setSwitch(dev->aMathEna != 0);
    content->setEnabled(dev->aMathEna != 0);
}

void MathChnOsc::showScale()
{
    const DevBase* dev = devUsing;
    const OscScale::Scaled s = OscScale::volts(dev ? dev->aMathScale.value(dev->aMathOperator) : 0);
    // A stored scale that is no entry of the box selects none.
    cbxScale->setCurrentIndex(cbxScale->findText(QString::number(s.number) + s.unit));
}

QString MathChnOsc::offsetText() const
{
    const DevBase* dev = devUsing;
    if (!dev)
        return QString();
    const int op = dev->aMathOperator;
    const OscScale::Scaled s = OscScale::volts(dev->aMathScale.value(op));
    const double v = dev->aMathOffset.value(op) / 1000.0 * double(s.number) * 10;
    return QString::number(v, 'f', OscScale::decimals(s.number)) + s.unit;
}

void MathChnOsc::showOffset()
{
    editOffset->setText(offsetText());
}

void MathChnOsc::slotSwitchClicked()
{
    const bool on = titleBar->switchOn();
    content->setEnabled(on);
    if (devUsing)
        devUsing->aMathEna = on ? 1 : 0;
    emit mathSetChanged(on);
}

void MathChnOsc::slotOperatorChanged(int index)
{
    DevBase* dev = devUsing;
    if (!dev || index < 0 || index > 2)
        return;
    dev->aMathOperator = index;
    dev->saveAMathSet();
    showScale();
    showOffset();
    emit mathSetChanged(true);
}

void MathChnOsc::slotScaleChanged(int index)
{
    DevBase* dev = devUsing;
    const int op = dev ? dev->aMathOperator : -1;
    if (!dev || op < 0 || op >= dev->aMathScale.size() || index < 0)
        return;
    // "500mV" or "2V": the number in mV.
    QString t = cbxScale->itemText(index);
    t.chop(1);
    int factor = 1000;
    if (t.endsWith('m')) {
        t.chop(1);
        factor = 1;
    }
    dev->aMathScale[op] = factor * t.toInt();
    dev->saveAMathSet();
    showOffset();
    emit mathSetChanged(false);
}

void MathChnOsc::slotOffsetChanged()
{
    if (editOffset->hasFocus()) {
        editOffset->clearFocus();
        return;
    }
    DevBase* dev = devUsing;
    const int op = dev ? dev->aMathOperator : -1;
    if (!dev || op < 0 || op >= dev->aMathOffset.size())
        return;
    const OscScale::Scaled s = OscScale::volts(dev->aMathScale.value(op));
    // A unit typed at the end, in any case: "m" or "mV" millivolts, "V" volts.
    QString t = editOffset->text().trimmed();
    const QString u = t.toUpper();
    int typed = 0;   // 0 the scale's unit, 1 mV, 2 V
    if (u.endsWith("MV")) {
        typed = 1;
        t.chop(2);
    } else if (u.endsWith("M")) {
        typed = 1;
        t.chop(1);
    } else if (u.endsWith("V")) {
        typed = 2;
        t.chop(1);
    }
    double v = OscScale::fieldNumber(t);
    const bool scaleInV = s.unit == "V";
    if (typed == 1 && scaleInV)
        v /= 1000;
    else if (typed == 2 && !scaleInV)
        v *= 1000;
    dev->aMathOffset[op] = OscScale::offsetFor(v, double(s.number));
    dev->saveAMathSet();
    showOffset();
    emit mathSetChanged(false);
}
