#include "osc/WaveDataGenOsc.h"

#include <cmath>

#include "device/DevBase.h"
#include "device/DevGlobals.h"

namespace {

// A time base slower than this never shows a period: the auto scale stops
// widening there.
constexpr long long kWidestSearch = 99999999;

SmpDataOsc* shownStore()
{
    DevBase* dev = devUsing;
    return dev && dev->workMode == WorkModeOsc ? dev->shownDataOsc() : nullptr;
}

long long timeDivAt(const DevBase* dev, int index)
{
    return index >= 0 && index < dev->aTimeDivList.size() ? dev->aTimeDivList[index] : 0;
}

} // namespace

WaveDataGenOsc::WaveDataGenOsc(QObject* parent) : QObject(parent)
{
    devModelChanged();
}

double WaveDataGenOsc::rateOf(int c)
{
    const SmpDataOsc* s = shownStore();
    const AnalogChnData* d = s ? s->record(c) : nullptr;
    return d ? double(d->smpFrequ) : 0;
}

double WaveDataGenOsc::pixelScale(double rate) const
{
    const DevBase* dev = devUsing;
    if (!dev || width <= 0 || !(rate > 0))
        return 0;
    // Ten divisions fill the width.
    const long long t = dev->aTimeDiv();
    return double((long long)(double(t) * rate) / width) * 1e-8;
}

void WaveDataGenOsc::devModelChanged()
{
    const int n = devUsing ? devUsing->aChnNum() : 0;
    chn.assign(size_t(n), Chn());
    for (Chn& c : chn)
        c.lines.resize(size_t(width));
    start.fill(0, n);
    scale.fill(0, n);
    mathLines.assign(size_t(width), WaveLineA());
    mathCount = 0;
    autoState = AutoIdle;
    chosen = -1;
}

void WaveDataGenOsc::setViewWidth(int w)
{
    width = qMax(0, w);
    for (Chn& c : chn) {
        c.lines.assign(size_t(width), WaveLineA());
        c.count = 0;
    }
    mathLines.assign(size_t(width), WaveLineA());
    mathCount = 0;
    for (int c = 0; c < scale.size(); ++c)
        scale[c] = pixelScale(rateOf(c));
    genData();
}

void WaveDataGenOsc::genData()
{
    const DevBase* dev = devUsing;
    const bool step = stepping && dev && dev->workMode == WorkModeOsc && dev->smpStartMode == SmpStartAuto
                      && autoState >= AutoStarted && autoState <= AutoTimeDiv;
    stepped = step && autoScaleStep();
    if (!step)
        makeDisplayData();
    emit sigViewRefreshOsc(true, true);
}

void WaveDataGenOsc::makeDisplayData()
{
    for (Chn& c : chn) {
        c.count = 0;
        std::fill(c.valid, c.valid + MeasCount, false);
    }
    mathCount = 0;
    SmpDataOsc* s = shownStore();
    if (!s || width <= 0)
        return;
    if (devUsing->aMathEna)
        genMathData();
    const int n = qMin(int(chn.size()), s->chnNum);
    for (int c = 0; c < n; ++c) {
        Chn& h = chn[size_t(c)];
        h.count = s->getAWaveLineData(c, start[c], scale[c], width, h.lines.data());
        s->getAParameterValues(c, start[c], width * scale[c], h.values, h.valid);
    }
}

int WaveDataGenOsc::getData(int c, WaveLineA** records)
{
    if (c < 0 || c >= int(chn.size())) {
        if (records)
            *records = nullptr;
        return -1;
    }
    if (records)
        *records = chn[size_t(c)].lines.data();
    return chn[size_t(c)].count;
}

void WaveDataGenOsc::genMathData()
{
    mathCount = 0;
    SmpDataOsc* s = shownStore();
    if (!s || chn.size() < 2 || width <= 0)
        return;
    // 0: CH1 + CH2, 1: CH1 - CH2, 2: CH2 - CH1.
    const int m = devUsing->aMathOperator;
    const int pair[2] = {m == 2 ? 1 : 0, m == 2 ? 0 : 1};
    const int op = m == 0 ? 0 : 1;
    int w = pair[0];
    if (!s->record(w) || rateOf(w) <= 0)
        w = pair[1];
    mathCount = s->getAMathWaveLineData(op, pair, start[w], scale[w], width, mathLines.data());
}

int WaveDataGenOsc::getMathData(WaveLineA** records)
{
    if (records)
        *records = mathLines.data();
    return mathCount;
}

int WaveDataGenOsc::getParameterValuesA(int c, double** values, bool** valid)
{
    if (c < 0 || c >= int(chn.size()))
        return 0;
    *values = chn[size_t(c)].values;
    *valid = chn[size_t(c)].valid;
    return MeasCount;
}

// ---------------------------------------------------------------------------
// Window changes

void WaveDataGenOsc::zoomFirst()
{
    const DevBase* dev = devUsing;
    const SmpDataOsc* s = shownStore();
    if (dev) {
        const double t = double(dev->aTimeDiv());
        const double p = dev->aTrgPercent;
        for (int c = 0; c < start.size(); ++c) {
            const AnalogChnData* d = s ? s->record(c) : nullptr;
            const double r = d ? double(d->smpFrequ) : 0;
            const double trg = d ? d->trgIndex : 0;
            // The trigger sits p thousandths of the width from the left.
            scale[c] = width > 0 ? t * 1e-8 * r / width : 0;
            start[c] = trg - r * t * 1e-8 * p / 1000;
        }
    }
    stepping = true;
    genData();
    stepping = false;
}

void WaveDataGenOsc::zoom(int x)
{
    for (int c = 0; c < scale.size(); ++c) {
        const double s = pixelScale(rateOf(c));
        start[c] += x * scale[c] - x * s;
        scale[c] = s;
    }
    genData();
}

void WaveDataGenOsc::zoomChangedByTimediv()
{
    zoom(width / 2);
}

void WaveDataGenOsc::moveOffset(int dx)
{
    for (int c = 0; c < start.size(); ++c)
        start[c] -= dx * scale[c];
    genData();
}

void WaveDataGenOsc::moveTo(int c, double sample)
{
    const SmpDataOsc* s = shownStore();
    if (c >= 0 && c < start.size() && std::isfinite(sample)) {
        const AnalogChnData* d = s ? s->record(c) : nullptr;
        start[c] = sample;
        // The other channels show the same time.
        for (int o = 0; d && d->smpFrequ > 0 && o < start.size(); ++o) {
            const AnalogChnData* e = s->record(o);
            if (o != c && e && e->smpFrequ > 0)
                start[o] = e->trgIndex + (sample - d->trgIndex) * double(e->smpFrequ) / double(d->smpFrequ);
        }
    }
    genData();
}

// ---------------------------------------------------------------------------
// Automatic scaling

void WaveDataGenOsc::setAutoScaleStart()
{
    autoState = AutoStarted;
    chosen = -1;
    const DevBase* dev = devUsing;
    int enabled = 0;
    for (int c = 0; c < int(chn.size()); ++c) {
        const bool on = dev && dev->aChnEna.value(c);
        chn[size_t(c)].autoResult = on ? 0 : -1;
        chn[size_t(c)].target = 0;
        enabled += on ? 1 : 0;
    }
    if (enabled == 0) {
        autoState = AutoGivenUp;
        return;
    }
    // Two traces get a half of the screen each.
    divisions = enabled == 1 ? 10 : 5;
    if (enabled >= 2) {
        int k = 0;
        for (Chn& h : chn)
            if (h.autoResult == 0)
                h.target = k++ == 0 ? 250 : -250;
    }
}

void WaveDataGenOsc::cancelAutoScale()
{
    if (autoState == AutoIdle)
        return;
    autoState = AutoIdle;
    genData();
}

void WaveDataGenOsc::measure(int c)
{
    SmpDataOsc* s = shownStore();
    Chn& h = chn[size_t(c)];
    if (s)
        s->getAParameterValues(c, start[c], width * scale[c], h.values, h.valid);
}

bool WaveDataGenOsc::autoScaleStep()
{
    DevBase* dev = devUsing;
    const SmpDataOsc* s = shownStore();
    if (!dev || !s)
        return false;
    const int n = int(chn.size());
    if (autoState == AutoStarted || autoState == AutoVoltDiv) {
        autoState = AutoVoltDiv;
        stepTimeDiv = dev->aTimeDivIndex;
        // A notice without a capture (a start empties the stores) is no step.
        for (int c = 0; c < n; ++c)
            if (chn[size_t(c)].autoResult >= 0 && !s->hasValidDataA(c))
                return false;
        for (int c = 0; c < n; ++c) {
            if (chn[size_t(c)].autoResult == 0 && s->hasValidDataA(c)) {
                measure(c);
                chn[size_t(c)].autoResult = setAutoScaleVoltDiv(c);
            }
        }
        for (const Chn& h : chn)
            if (h.autoResult == 0)
                return true;
        chosen = -1;
        for (int c = 0; c < n && chosen < 0; ++c)
            if (chn[size_t(c)].autoResult == 1)
                chosen = c;
        if (chosen >= 0) {
            autoState = AutoTimeDiv;
            dev->setATimeDivIndex(9);
        } else {
            autoState = AutoGivenUp;
            dev->resetAutoScaleSet();
        }
        return true;
    }
    if (autoState == AutoTimeDiv && chosen >= 0 && chosen < n && s->hasValidDataA(chosen)) {
        stepTimeDiv = dev->aTimeDivIndex;
        measure(chosen);
        autoState = setAutoScaleTimeDiv(chosen);
        return true;
    }
    return false;
}

int WaveDataGenOsc::setAutoScaleVoltDiv(int c)
{
    DevBase* dev = devUsing;
    const SmpDataOsc* s = shownStore();
    if (!dev || !s || c < 0 || c >= int(chn.size()) || dev->aVoltDivList.isEmpty())
        return 2;
    const Chn& h = chn[size_t(c)];
    const int last = dev->aTimeDivList.size() - 1;
    // The time base of the capture measured: every channel of one step
    // widens from there, so two channels widen it once, not twice.
    if (!h.valid[MeasPeriod] && timeDivAt(dev, stepTimeDiv) <= kWidestSearch) {
        dev->setATimeDivIndex(qMin(stepTimeDiv + 6, last));
        return 0;
    }
    const double hi = qMax(s->maxLevel.value(c), 0.0);
    const double lo = qMin(s->minLevel.value(c), 0.0);
    const double perDiv = std::trunc((hi - lo) / 0.8 / divisions);
    const QVector<int>& list = dev->aVoltDivList;
    int idx = list.size() - 1;
    for (int i = 0; i + 1 < list.size(); ++i) {
        if (list[i] >= perDiv) {
            idx = i;
            break;
        }
    }
    int result;
    if (!h.valid[MeasPeriod]) {
        idx = qMax(idx, list.size() - 2);
        dev->setAVoltDivIndex(c, idx);
        result = 2;
    } else {
        dev->setAVoltDivIndex(c, idx);
        dev->setATrgVolt(c, (h.values[MeasVtop] + h.values[MeasVbase]) / 2);
        result = 1;
    }
    // The middle of the signal at the trace's target height.
    if (list[idx] > 0) {
        const double off = h.target - (hi + lo) / 2 * 1000 / (list[idx] * 10.0);
        dev->setAChnOffset(c, int(std::trunc(qBound(-1000.0, off, 1000.0))));
    }
    return result;
}

int WaveDataGenOsc::setAutoScaleTimeDiv(int c)
{
    DevBase* dev = devUsing;
    if (!dev || c < 0 || c >= int(chn.size()) || dev->aTimeDivList.isEmpty())
        return AutoGivenUp;
    const Chn& h = chn[size_t(c)];
    const QVector<long long>& list = dev->aTimeDivList;
    if (!h.valid[MeasPeriod]) {
        if (timeDivAt(dev, stepTimeDiv) > kWidestSearch) {
            dev->resetAutoScaleSet();
            return AutoGivenUp;
        }
        dev->setATimeDivIndex(qMin(stepTimeDiv + 3, list.size() - 1));
        return AutoTimeDiv;
    }
    // 2.1 periods across the ten divisions.
    const double target = 2.1 * h.values[MeasPeriod] / 10000;
    int idx = list.size() - 1;
    for (int i = 0; i + 1 < list.size(); ++i) {
        if (double(list[i]) > target) {
            idx = i;
            break;
        }
    }
    dev->setATimeDivIndex(idx);
    dev->setATrgChn(c);
    dev->setATrgVolt(c, (h.values[MeasVtop] + h.values[MeasVbase]) / 2);
    return AutoDone;
}
