#include "osc/OscMeasure.h"

#include <QAction>
#include <QCursor>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

#include "config/Config.h"
#include "config/Lang.h"
#include "data/SmpDataOsc.h"
#include "decode/ProtoModal.h"
#include "decode/RightBoxView.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "osc/WaveDataGenOsc.h"
#include "widgets/MyMenu.h"

namespace {

const QString unknown = QStringLiteral("###");

QString measName(int i)
{
    return Lang::tr(Config::measTabACH.value(i));
}

// The whole-number part of v, when it has one that fits 64 bits.
bool wholePart(double v, long long* out)
{
    if (!std::isfinite(v) || std::fabs(v) >= 9.2e18)
        return false;
    *out = (long long)v;
    return true;
}

QString listFlags(const QVector<bool>& flags)
{
    QStringList l;
    for (bool f : flags)
        l << (f ? "1" : "0");
    return l.join(",");
}

} // namespace

// ---------------------------------------------------------------- number texts

QString OscMeasurePair::voltToStr(double mV)
{
    // The whole millivolts decide: 99.95 mV still reads in mV.
    long long whole = 0;
    if (!wholePart(std::fabs(mV), &whole))
        return unknown;
    if (whole > 99)
        return QString::number(mV / 1000, 'g', 4) + "V";
    return QString::number(mV, 'g', 3) + "mV";
}

QString OscMeasurePair::timeToStr(long long ps)
{
    static const char* const units[] = {"ps", "ns", "us", "ms", "s"};
    if (ps == 0)
        return "0s";
    double d = double(ps);
    long long n = ps;
    int k = 0;
    while (n > 999 && k < 4) {
        d /= 1000;
        n /= 1000;
        ++k;
    }
    return QString::number(d, 'g', 5) + units[k];
}

QString OscMeasurePair::freqToStr(double hz)
{
    static const char* const units[] = {"Hz", "KHz", "MHz", "GHz"};
    long long n = 0;
    if (!wholePart(hz, &n))
        return unknown;
    int k = 0;
    while (n > 999 && k < 3) {
        hz /= 1000;
        n /= 1000;
        ++k;
    }
    return QString::number(hz, 'g', 5) + units[k];
}

QStringList OscMeasurePair::parameterToStrOsc(int chn, const bool* valid, const double* values, int count)
{
    const DevBase* dev = devUsing;
    if (!dev || !dev->aChnEna.value(chn))
        return QVector<QString>(qMax(0, count), unknown).toList();
    const double probe = dev->aProbeRate.value(chn, 1);
    QStringList r;
    for (int i = 0; i < MeasCount; ++i) {
        if (i >= count || !valid || !values || !valid[i]) {
            r << unknown;
            continue;
        }
        const double v = values[i];
        long long whole = 0;
        if (i <= MeasVrms)
            r << voltToStr(probe * v);
        else if (i == MeasFrequency)
            r << freqToStr(v);
        else if (i == MeasDutyCycle)
            r << (wholePart(v, &whole) ? QString::number(v, 'f', 2) + "%" : unknown);
        else
            r << (wholePart(v, &whole) ? timeToStr(whole) : unknown);
    }
    return r;
}

// ---------------------------------------------------------------- block

OscMeasurePair::OscMeasurePair(int chn, WaveDataGenOsc* gen, QWidget* parent) : QWidget(parent), chn(chn), gen(gen)
{
    setAttribute(Qt::WA_StyledBackground);
    const QString title = "CH" + QString::number(chn + 1);
    const QString key = "oscMeasureChn" + QString::number(chn);
    const QString stored = Config::readGlobalParam(key);
    bool flags[MeasCount] = {};
    if (stored.isEmpty())
        flags[MeasVamp] = flags[MeasVavg] = flags[MeasFrequency] = true;
    else
        Config::StringToBoolArray(stored, flags, MeasCount);

    menu = new MyMenu(this);
    for (int i = 0; i < MeasCount; ++i) {
        QAction* a = menu->addAction(measName(i));
        a->setData(i);
        a->setCheckable(true);
        a->setChecked(flags[i]);
        connect(a, &QAction::triggered, this, &OscMeasurePair::slotMenuActionClicked);
        if (i == MeasVrms)
            menu->addSeparator();
    }
    menu->addSeparator();
    QAction* snap = menu->addAction(Lang::tr("Snapshot"));
    // The menu closes before the dialog opens.
    snap->setProperty("canHideMenu", "true");
    connect(snap, &QAction::triggered, this, &OscMeasurePair::slotBtnSnapshotClicked);

    titleBar = new TitleBar(0, title, false, this);
    connect(titleBar, &TitleBar::expandClicked, this, &OscMeasurePair::slotBtnExpandClicked);
    connect(titleBar, &TitleBar::setClicked, this, &OscMeasurePair::slotBtnSetClicked);

    body = new QWidget(this);
    QGridLayout* g = new QGridLayout(body);
    g->setContentsMargins(Config::pixel(16), 0, 0, 0);
    g->setVerticalSpacing(0);
    g->setHorizontalSpacing(Config::pixel(3));
    for (int i = 0; i < MeasCount; ++i) {
        QLabel* n = new QLabel(measName(i) + ":", body);
        n->setFixedHeight(Config::pixel(18));
        n->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        QLabel* v = new QLabel(unknown, body);
        v->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        v->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        g->addWidget(n, i, 0);
        g->addWidget(v, i, 1);
        n->setVisible(flags[i]);
        v->setVisible(flags[i]);
        names << n;
        values << v;
    }
    g->setColumnStretch(0, 2);
    g->setColumnStretch(1, 3);

    QVBoxLayout* lay = new QVBoxLayout(this);
    lay->setContentsMargins(Config::pixel(3), Config::pixel(3), Config::pixel(4), Config::pixel(3));
    lay->setSpacing(Config::pixel(3));
    lay->addWidget(titleBar);
    lay->addWidget(body);
    slotBtnExpandClicked();
}

void OscMeasurePair::setValue()
{
    double* v = nullptr;
    bool* ok = nullptr;
    const int n = gen ? gen->getParameterValuesA(chn, &v, &ok) : 0;
    const QStringList texts = parameterToStrOsc(chn, ok, v, n);
    for (int i = 0; i < values.size(); ++i)
        values[i]->setText(texts.value(i, unknown));
}

void OscMeasurePair::setState(bool on)
{
    if (on)
        titleBar->setState(true);
    setVisible(on);
}

void OscMeasurePair::slotMenuActionClicked()
{
    const QAction* a = qobject_cast<QAction*>(sender());
    const int i = a ? a->data().toInt() : -1;
    if (i < 0 || i >= names.size())
        return;
    names[i]->setVisible(a->isChecked());
    values[i]->setVisible(a->isChecked());
    QVector<bool> shown;
    for (const QLabel* n : names)
        shown << !n->isHidden();
    Config::saveGlobalParam("oscMeasureChn" + QString::number(chn), listFlags(shown));
}

void OscMeasurePair::slotBtnSetClicked()
{
    menu->popup(QCursor::pos());
}

void OscMeasurePair::slotBtnExpandClicked()
{
    body->setVisible(titleBar->getState());
}

void OscMeasurePair::buildSnapshot()
{
    snapshot = new QDialog(this, Qt::Dialog | Qt::WindowCloseButtonHint);
    snapshot->setWindowTitle("CH" + QString::number(chn + 1) + " " + Lang::tr("Snapshot"));
    snapshot->setFixedSize(Config::pixel(350), Config::pixel(320));
    QVBoxLayout* lay = new QVBoxLayout(snapshot);
    lay->setContentsMargins(Config::pixel(10), Config::pixel(5), Config::pixel(10), Config::pixel(5));
    snapValues.fill(nullptr, MeasCount);
    auto group = [&](const QString& title, int first, int last) {
        QGroupBox* box = new QGroupBox("  " + Lang::tr(title) + "  ", snapshot);
        QGridLayout* g = new QGridLayout(box);
        g->setContentsMargins(Config::pixel(16), Config::pixel(5), Config::pixel(16), Config::pixel(5));
        g->setHorizontalSpacing(Config::pixel(4));
        g->addWidget(new QLabel(box), 0, 3);
        for (int i = first; i <= last; ++i) {
            const int row = (i - first) / 2;
            const int col = i % 2 == 0 ? 0 : 4;
            snapValues[i] = new QLabel(box);
            g->addWidget(new QLabel(measName(i), box), row, col);
            g->addWidget(new QLabel(":", box), row, col + 1);
            g->addWidget(snapValues[i], row, col + 2);
        }
        lay->addWidget(box);
    };
    group("Voltage", MeasVtop, MeasVrms);
    group("Time", MeasPeriod, MeasDutyCycle);
    QDialogButtonBox* buttons = new QDialogButtonBox(snapshot);
    buttons->addButton(Lang::tr("OK"), QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::accepted, snapshot, &QDialog::accept);
    lay->addWidget(buttons);
}

void OscMeasurePair::slotBtnSnapshotClicked()
{
    if (!snapshot)
        buildSnapshot();
    // The last entry is "Snapshot" itself: no measurement loses its mark.
    const QList<QAction*> acts = menu->actions();
    if (!acts.isEmpty())
        acts.last()->setChecked(false);
    for (int i = 0; i < MeasCount; ++i)
        snapValues[i]->setText(values[i]->text());
    ProtoModal::exec(snapshot);
}

// ---------------------------------------------------------------- panel

OscMeasure::OscMeasure(WaveDataGenOsc* gen, QWidget* parent) : QWidget(parent), gen(gen)
{
    setObjectName("OscMeasure");
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    titleBar = new TitleBar(0, "Measurements", false, this);
    body = new QWidget(this);
    QVBoxLayout* bl = new QVBoxLayout(body);
    bl->setContentsMargins(0, 0, 0, 0);
    bl->setSpacing(Config::pixel(4));
    QVBoxLayout* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(Config::pixel(4));
    lay->addWidget(titleBar);
    lay->addWidget(body);
    menuChn = new MyMenu(this);
    connect(titleBar, &TitleBar::expandClicked, this, &OscMeasure::slotBtnExpandClicked);
    connect(titleBar, &TitleBar::setClicked, this, &OscMeasure::slotBtnSetClicked);
    connect(menuChn, &QMenu::triggered, this, &OscMeasure::slotMenuClicked);
    slotBtnExpandClicked();
}

void OscMeasure::init()
{
    const int n = devUsing ? devUsing->aChnNum() : 0;
    QList<QAction*> acts = menuChn->actions();
    while (acts.size() > n)
        delete acts.takeLast();
    for (int i = acts.size(); i < n; ++i) {
        QAction* a = menuChn->addAction("CH" + QString::number(i + 1));
        a->setCheckable(true);
        a->setData(i);
        acts << a;
    }
    QVector<bool> flags(n, true);
    if (n > 0)
        Config::StringToBoolArray(Config::readGlobalParam("oscMeasureEna"), flags.data(), n);
    for (int i = 0; i < n; ++i)
        acts[i]->setChecked(flags[i]);
    qDeleteAll(blocks);
    blocks.clear();
    for (int i = 0; i < n; ++i) {
        OscMeasurePair* b = new OscMeasurePair(i, gen, body);
        blocks << b;
        b->setState(flags[i]);
        body->layout()->addWidget(b);
    }
}

void OscMeasure::slotOscMeasureValue(int chn)
{
    const int n = devUsing ? devUsing->aChnNum() : 0;
    for (OscMeasurePair* b : blocks)
        if (b->chn < n && (chn < 0 || chn >= n || b->chn == chn))
            b->setValue();
}

void OscMeasure::slotMenuClicked(QAction* a)
{
    const int i = a ? a->data().toInt() : -1;
    if (i < 0 || i >= blocks.size())
        return;
    blocks[i]->setState(a->isChecked());
    QVector<bool> flags;
    for (const QAction* e : menuChn->actions())
        flags << e->isChecked();
    Config::saveGlobalParam("oscMeasureEna", listFlags(flags));
}

void OscMeasure::slotBtnSetClicked()
{
    menuChn->popup(QCursor::pos());
}

void OscMeasure::slotBtnExpandClicked()
{
    body->setVisible(titleBar->getState());
}
