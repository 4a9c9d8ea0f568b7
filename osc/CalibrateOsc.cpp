#include "osc/CalibrateOsc.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTextEdit>
#include <QTimerEvent>

#include <cmath>

#include "config/Config.h"
#include "config/Lang.h"
#include "data/SmpDataOsc.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "widgets/ColorLump.h"
#include "widgets/MySpinBox.h"

namespace {

constexpr int kChannels = 2;
constexpr int kSlopeTarget = 384;   // code the slope step brings the mean to

QGridLayout* stepGrid(const QString& digit, bool topAligned)
{
    QGridLayout* g = new QGridLayout;
    g->setContentsMargins(Config::pixel(10), 0, Config::pixel(10), 0);
    g->setVerticalSpacing(Config::pixel(8));
    g->setHorizontalSpacing(Config::pixel(26));
    g->addWidget(new QLabel(Lang::tr("Step") + digit), 0, 0, topAligned ? Qt::AlignTop : Qt::Alignment());
    return g;
}

QGridLayout* channelGrid()
{
    QGridLayout* g = new QGridLayout;
    g->setContentsMargins(0, 0, 0, 0);
    g->setHorizontalSpacing(Config::pixel(4));
    g->setVerticalSpacing(Config::pixel(6));
    return g;
}

QLabel* header(int c)
{
    QLabel* l = new QLabel("CH" + QString::number(c + 1));
    l->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    return l;
}

// "c" or "c,i" from a spin box's object name; false when it is not one.
bool position(const QObject* o, int* c, int* i)
{
    if (!o)
        return false;
    const QStringList parts = o->objectName().split(',');
    bool ok = !parts.isEmpty() && parts.size() <= 2;
    *c = ok ? parts[0].toInt(&ok) : -1;
    if (ok && i && parts.size() == 2)
        *i = parts[1].toInt(&ok);
    return ok;
}

} // namespace

CalibrateOsc::CalibrateOsc(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_StyledBackground);
    setWindowTitle(Lang::tr("Calibrate"));
    setWindowFlags(Qt::WindowCloseButtonHint);
    const DevBase* dev = devUsing;
    zeroRows = dev ? dev->aChnZeroTable.value(0).size() : 0;
    const QStringList groups = {"20mV", "50mV", "1V"};

    QGridLayout* s1 = stepGrid("1", true);
    spinZero.resize(kChannels);
    for (int c = 0; c < kChannels; ++c) {
        QGridLayout* g = channelGrid();
        g->addWidget(header(c), 0, 2, Qt::AlignHCenter);
        for (int r = 0; r < zeroRows; ++r) {
            MySpinBox* sb = addSpin(-128, 127, QString("%1,%2").arg(c).arg(r), &CalibrateOsc::slotSpinZeroChanged);
            sb->setFixedHeight(Config::pixel(26));
            g->addWidget(new QLabel(groups.value(r)), r + 1, 0);
            g->addWidget(sb, r + 1, 2);
            spinZero[c] << sb;
        }
        s1->addLayout(g, 0, c + 1);
    }

    QGridLayout* s2 = stepGrid("2", false);
    for (int c = 0; c < kChannels; ++c) {
        MySpinBox* sb = addSpin(0, 2000, QString::number(c), &CalibrateOsc::slotSpinSlopeChanged);
        sb->setFixedHeight(Config::pixel(26));
        s2->addWidget(header(c), 0, c + 1, Qt::AlignHCenter);
        s2->addWidget(sb, 1, c + 1);
        spinSlope << sb;
    }

    QGridLayout* s3 = stepGrid("3", false);
    btnAuto = new QPushButton(Lang::tr("Calibrate"));
    btnAuto->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    editLog = new QTextEdit;
    editLog->setReadOnly(true);
    editLog->setFixedHeight(Config::pixel(60));
    s3->addWidget(new QLabel(Lang::tr("ADC auto-Calibrate")), 0, 1);
    s3->addWidget(btnAuto, 0, 2);
    s3->addWidget(editLog, 1, 1, 1, 2);

    QGridLayout* s4 = stepGrid("4", true);
    spinGain.resize(kChannels);
    for (int c = 0; c < kChannels; ++c) {
        QGridLayout* g = channelGrid();
        g->addWidget(header(c), 0, 1, Qt::AlignHCenter);
        const QStringList rows = dev ? dev->getVoltDivStringList(c) : QStringList();
        for (int i = 0; i < rows.size(); ++i) {
            MySpinBox* sb = addSpin(-2000, 2000, QString("%1,%2").arg(c).arg(i), &CalibrateOsc::slotSpinGainChanged);
            sb->setFixedSize(Config::pixel(90), Config::pixel(26));
            g->addWidget(new QLabel(rows[i]), i + 1, 0);
            g->addWidget(sb, i + 1, 1);
            spinGain[c] << sb;
        }
        s4->addLayout(g, 0, c + 1);
    }

    QGridLayout* s5 = stepGrid("5", false);
    btnSave = new QPushButton(Lang::tr("Save"));
    btnSave->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    s5->addWidget(btnSave, 0, 1, Qt::AlignRight);

    QGridLayout* grid = new QGridLayout(this);
    grid->setContentsMargins(Config::pixel(30), Config::pixel(10), Config::pixel(30), Config::pixel(10));
    grid->setVerticalSpacing(Config::pixel(8));
    grid->setHorizontalSpacing(0);
    const QVector<QGridLayout*> steps = {s1, s2, s3, s4, s5};
    for (int k = 0; k < steps.size(); ++k) {
        grid->addLayout(steps[k], 2 * k, 0);
        if (k + 1 < steps.size())
            grid->addWidget(ColorLump::separator(this, 2), 2 * k + 1, 0);
    }

    connect(btnAuto, &QPushButton::clicked, this, &CalibrateOsc::slotBtnAutoClicked);
    connect(btnSave, &QPushButton::clicked, this, &CalibrateOsc::slotBtnSaveClicked);
}

CalibrateOsc::~CalibrateOsc() = default;

MySpinBox* CalibrateOsc::addSpin(int lo, int hi, const QString& name, void (CalibrateOsc::*slot)(int))
{
    MySpinBox* sb = new MySpinBox;
    sb->setRange(lo, hi);
    sb->setSingleStep(1);
    sb->setObjectName(name);
    sb->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    sb->setProperty("Changed", false);
    connect(sb, QOverload<int>::of(&QSpinBox::valueChanged), this, slot);
    return sb;
}

void CalibrateOsc::setChanged(MySpinBox* s, bool on)
{
    s->setProperty("Changed", on);
    // The style sheet's rule on the mark applies only after a new polish.
    s->style()->unpolish(s);
    s->style()->polish(s);
}

DevBase* CalibrateOsc::analogDevice() const
{
    DevBase* dev = devUsing;
    if (!dev || dev->aChnNum() < kChannels || dev->aVoltDivList.size() < 2 || dev->aChnOffset.size() < kChannels
        || dev->aChnOffsetK.size() < kChannels || dev->adcZeroDual.size() < kChannels
        || dev->adcZeroSingle.size() < kChannels || dev->adcSlope.size() < kChannels)
        return nullptr;
    return dev;
}

void CalibrateOsc::log(const QString& line)
{
    editLog->append(line);
}

// ---------------------------------------------------------------- loading

void CalibrateOsc::init()
{
    editLog->clear();
    const DevBase* dev = devUsing;
    if (dev) {
        for (int c = 0; c < kChannels; ++c) {
            // A value outside a box's range shows clamped; loading marks
            // nothing and writes nothing.
            const QVector<int> zero = dev->aChnZeroTable.value(c);
            for (int g = 0; g < spinZero[c].size() && g < zero.size(); ++g) {
                const QSignalBlocker b(spinZero[c][g]);
                spinZero[c][g]->setValue(zero[g]);
            }
            if (c < dev->aChnOffsetK.size()) {
                const QSignalBlocker b(spinSlope[c]);
                spinSlope[c]->setValue(int(qBound(-1e9, dev->aChnOffsetK[c], 1e9)));
            }
            const QVector<int> gain = dev->aChnGainTable.value(c);
            for (int i = 0; i < spinGain[c].size() && i < gain.size(); ++i) {
                const QSignalBlocker b(spinGain[c][i]);
                spinGain[c][i]->setValue(gain[i]);
            }
        }
    }
    setEna();
}

void CalibrateOsc::setEna()
{
    const DevBase* dev = analogDevice();
    if (runActive && (!runDev || runDev != devUsing || !runDev->connected))
        endRun(Lang::tr("The calibration stopped: the device is not connected."));
    btnAuto->setEnabled(dev && dev->connected && !runActive);
    // A disabled button says why.
    if (runActive)
        btnAuto->setToolTip(Lang::tr("The calibration is running."));
    else if (!btnAuto->isEnabled())
        btnAuto->setToolTip(Lang::tr("Needs a connected analyzer with two analog channels."));
    else
        btnAuto->setToolTip(QString());
    editLog->setEnabled(true);
    btnSave->setEnabled(true);
    // A run's captures depend on the settings the boxes would change.
    for (int c = 0; c < kChannels; ++c) {
        for (MySpinBox* s : spinZero[c])
            s->setEnabled(!runActive);
        for (MySpinBox* s : spinGain[c])
            s->setEnabled(!runActive);
        spinSlope[c]->setEnabled(dev && !runActive);
    }
}

// ---------------------------------------------------------------- manual edits

DevBase* CalibrateOsc::editTarget()
{
    MySpinBox* s = qobject_cast<MySpinBox*>(sender());
    if (s)
        setChanged(s, true);
    DevBase* dev = devUsing;
    if (!s || !dev || !dev->connected)
        return nullptr;
    if (dev->aChnEna.contains(false))
        dev->setAChnEna(QVector<bool>(dev->aChnNum(), true));
    return dev;
}

void CalibrateOsc::slotSpinZeroChanged(int value)
{
    const QObject* s = sender();
    DevBase* dev = editTarget();
    int c = -1, g = -1;
    if (!dev || !position(s, &c, &g) || c < 0 || c >= dev->aChnZeroTable.size() || g < 0
        || g >= dev->aChnZeroTable[c].size())
        return;
    dev->aChnZeroTable[c][g] = value;
    // The zero reaches the device with the offset of its range.
    dev->setAChnOffset(c, 0);
    const int last = dev->aVoltDivList.size() - 2;
    dev->setAVoltDivIndex(c, g == zeroRows - 1 ? last : g);
}

void CalibrateOsc::slotSpinSlopeChanged(int value)
{
    const QObject* s = sender();
    DevBase* dev = editTarget();
    int c = -1;
    if (!dev || !position(s, &c, nullptr) || c < 0 || c >= dev->aChnOffsetK.size() || c >= dev->aChnNum())
        return;
    dev->aChnOffsetK[c] = value;
    dev->setAChnOffset(c, 400);
    dev->setAVoltDivIndex(c, dev->aVoltDivList.size() - 2);
}

void CalibrateOsc::slotSpinGainChanged(int value)
{
    const QObject* s = sender();
    DevBase* dev = editTarget();
    int c = -1, i = -1;
    if (!dev || !position(s, &c, &i) || c < 0 || c >= dev->aChnGainTable.size() || i < 0
        || i >= dev->aChnGainTable[c].size())
        return;
    dev->aChnGainTable[c][i] = value;
    dev->setAVoltDivIndex(c, i);
    dev->setAChnGain();
    emit calibSettingChanged(3, c);
}

void CalibrateOsc::slotBtnSaveClicked()
{
    DevBase* dev = devUsing;
    if (!dev || !dev->connected) {
        log(Lang::tr("Not saved: the device is not connected."));
        return;
    }
    if (!dev->saveCalibParam()) {
        log(Lang::tr("Saving the calibration into the device failed."));
        return;
    }
    for (int c = 0; c < kChannels; ++c) {
        setChanged(spinSlope[c], false);
        for (MySpinBox* s : spinZero[c])
            setChanged(s, false);
        for (MySpinBox* s : spinGain[c])
            setChanged(s, false);
    }
    log(Lang::tr("Saved."));
}

// ---------------------------------------------------------------- automatic calibration

void CalibrateOsc::converterMeans(const SmpDataOsc* s, double mean[2])
{
    mean[0] = mean[1] = 0;
    const AnalogChnData* a = s ? s->record(0) : nullptr;
    const AnalogChnData* b = s ? s->record(1) : nullptr;
    if (!a || a->count <= 0)
        return;
    long long sum[2] = {0, 0};
    if (b) {
        // Each channel over its own samples.
        for (int i = 0; i < a->count; ++i)
            sum[0] += a->samples[i];
        for (int i = 0; i < b->count; ++i)
            sum[1] += b->samples[i];
        mean[0] = double(sum[0]) / a->count;
        mean[1] = b->count > 0 ? double(sum[1]) / b->count : 0;
        return;
    }
    // One channel: the converters' samples alternate.
    const int n = a->count / 2;
    if (n <= 0)
        return;
    for (int i = 0; i < n; ++i) {
        sum[0] += a->samples[2 * i];
        sum[1] += a->samples[2 * i + 1];
    }
    mean[0] = double(sum[0]) / n;
    mean[1] = double(sum[1]) / n;
}

int CalibrateOsc::zeroFor(double mean, int stored, double* d)
{
    *d = mean - stored;
    const double v = -std::trunc(*d + 0.5);
    return int(qBound(-128.0, v, 127.0));
}

bool CalibrateOsc::slopeFor(double mean, int zero, int slope, double* m, int* result)
{
    *m = (mean - zero) / (slope / 1000.0);
    if (!std::isfinite(*m) || *m == 0)
        return false;
    const double v = std::trunc(double(1000 * (kSlopeTarget - zero)) / *m + 0.5);
    if (!(v >= -32768 && v <= 32767))
        return false;
    *result = int(v);
    return true;
}

void CalibrateOsc::slotBtnAutoClicked()
{
    DevBase* dev = analogDevice();
    // One run at a time: its captures must not overlap another's.
    if (runActive || !dev || !dev->connected)
        return;
    editLog->clear();
    autoStep = 0;
    runActive = true;
    runDev = dev;
    setEna();
    const int vdiv = dev->aVoltDivList.size() - 2;
    for (int c = 0; c < kChannels; ++c) {
        dev->setAChnOffset(c, 0);
        dev->setAVoltDivIndex(c, vdiv);
    }
    dev->setATimeDivValue(5000);
    startCapture();
}

void CalibrateOsc::startCapture()
{
    DevBase* dev = runDev;
    if (!dev)
        return;
    // smpStart announces its own empty stores at once: not the capture.
    starting = true;
    dev->smpStart(SmpStartSingle, false);
    starting = false;
    runGeneration = dev->captureGeneration();
    consumed = false;
}

void CalibrateOsc::endRun(const QString& why)
{
    if (!runActive)
        return;
    runActive = false;
    if (timerId != 0) {
        killTimer(timerId);
        timerId = 0;
    }
    if (!why.isEmpty())
        log(why);
    setEna();
}

void CalibrateOsc::timerEvent(QTimerEvent* e)
{
    if (e->timerId() != timerId) {
        QWidget::timerEvent(e);
        return;
    }
    killTimer(timerId);
    timerId = 0;
    if (!runDev || runDev != devUsing || !runDev->connected) {
        endRun(Lang::tr("The calibration stopped: the device is not connected."));
        return;
    }
    startCapture();
}

void CalibrateOsc::captureEnded()
{
    if (!runActive || starting || consumed || timerId != 0)
        return;
    const DevBase* dev = devUsing;
    if (dev && dev == runDev && dev->captureGeneration() == runGeneration)
        endRun(Lang::tr("The calibration stopped: its capture ended without samples."));
}

void CalibrateOsc::smpDataReady()
{
    if (!runActive || starting)
        return;
    DevBase* dev = devUsing;
    if (!dev || dev != runDev || !dev->connected) {
        endRun(Lang::tr("The calibration stopped: the device is not connected."));
        return;
    }
    if (dev->captureGeneration() != runGeneration) {
        // Another capture replaced the run's: its settings are not the run's.
        endRun(Lang::tr("The calibration stopped: another capture was started."));
        return;
    }
    if (consumed || !dev->hasValidData())
        return;
    consumed = true;
    if (autoStep >= 4 || autoStep < 0) {
        // The capture after the last step shows the result; the run is over.
        endRun(QString());
        return;
    }
    double mean[2];
    converterMeans(dev->shownDataOsc(), mean);
    auto line = [](const QString& label, double a, double b, int decimals, int v0, int v1) {
        return label + "\t" + QString::number(a, 'f', decimals) + "\t" + QString::number(b, 'f', decimals) + "\t"
               + QString::number(v0) + "\t" + QString::number(v1);
    };
    QVector<bool> ena(kChannels, true);
    int offset = 0;
    if (autoStep == 1 || autoStep == 2) {
        QVector<int>& zero = autoStep == 1 ? dev->adcZeroDual : dev->adcZeroSingle;
        double d[2];
        for (int k = 0; k < kChannels; ++k)
            zero[k] = zeroFor(mean[k], zero[k], &d[k]);
        log(line(autoStep == 1 ? "zero-dual:" : "zero-single:", d[0], d[1], 2, zero[0], zero[1]));
        if (autoStep == 1)
            ena[1] = false;
        else
            offset = 400;
    } else if (autoStep == 3) {
        double m[2];
        QStringList failed;
        for (int k = 0; k < kChannels; ++k) {
            int v = 0;
            if (slopeFor(mean[k], dev->adcZeroDual[k], dev->adcSlope[k], &m[k], &v))
                dev->adcSlope[k] = v;
            else
                failed << QString::number(k + 1);
        }
        log(line("slope:\t", m[0], m[1], 1, dev->adcSlope[0], dev->adcSlope[1]));
        for (const QString& k : failed)
            log(Lang::tr("Converter %1: no usable slope from this capture; the old one stays.").arg(k));
    }
    if (autoStep != 3)
        dev->setAChnEna(ena);
    for (int c = 0; c < kChannels; ++c)
        dev->setAChnOffset(c, offset);
    ++autoStep;
    timerId = startTimer(250);
    emit calibSettingChanged(2, -1);
}
