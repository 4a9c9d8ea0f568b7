#include "device/DevSimulate.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <cmath>
#include <cstdlib>

#include "device/DevBase.h"

namespace {
SimuSourceFactory& sourceFactory()
{
    static SimuSourceFactory f;
    return f;
}
} // namespace

SmpSimulate::SmpSimulate(DevBase* dev) : dev(dev) {}

void SmpSimulate::setSourceFactory(SimuSourceFactory f)
{
    sourceFactory() = std::move(f);
}

int SmpSimulate::getBlockTime(long long depth, long long rate)
{
    if (rate <= 0 || depth <= 0)
        return 100;
    const double total = 1000.0 * double(depth) / double(rate);
    int n = 100;
    double t = qMax(1.0, total / n);
    while (t > 100) {
        n += 100;
        if (n >= 2000)
            return 2000;
        t = total / n;
    }
    if (n < 500 && double(depth) / t < 20000) {
        while (n < 500) {
            n += 100;
            if (double(depth) / (total / n) >= 20000)
                break;
        }
    }
    return n;
}

int SmpSimulate::getPeriodPoints(long long depth, long long blockSmp)
{
    int p = 20;
    if (depth / 200 >= 1000) {
        p = 200;
    } else {
        for (int c = 180; c >= 20; c -= 20) {
            if (depth / c >= 1000) {
                p = c;
                break;
            }
        }
    }
    while (depth / p > 1000000 && p < 2000)
        p += 100;
    while (p < 2000 && blockSmp / p > 50000)
        p += 100;
    return p;
}

int SmpSimulate::genSimuData(int** out, long long blockSmp, int period)
{
    *out = nullptr;
    for (int i = 0; i < periodStep; ++i)
        period += period / 4;
    periodStep = (periodStep + 1) % 6;
    if (period < 4 || blockSmp <= 0)
        return 0;
    const long long n = (blockSmp + period - 1) / period;
    if (2 * n > 0x7FFFFFFF)
        return 0;
    int* runs = static_cast<int*>(std::malloc(size_t(2 * n) * sizeof(int)));
    if (!runs)
        return 0;
    for (long long k = 0; k < n; ++k) {
        const int r = int(rng.bounded(1024u));
        const int high = qBound(2, int(double(r) / 1024 * period), period - 2);
        runs[2 * k] = high;
        runs[2 * k + 1] = period - high;
    }
    *out = runs;
    return int(2 * n);
}

void SmpSimulate::pause(int ms)
{
    dev->pauseUnlessStopped(ms, 10);
}

void SmpSimulate::run()
{
    dev->smpErr = 0;
    rng.seed(quint32(QDateTime::currentMSecsSinceEpoch()));
    if (dev->workMode == WorkModeOsc)
        threadOsc();
    else
        threadLA();
    dev->smpRunning = false;
}

namespace {
// Demonstration waveforms of the analog channels, in steps of 4 codes: a
// sine on even channels (channel 0 makes its own) and a square on odd ones.
struct OscTables {
    int sine[128];
    int square[64];
    OscTables()
    {
        for (int i = 0; i < 128; ++i)
            sine[i] = int(std::lround(48 * std::sin(2 * M_PI * i / 128)));
        for (int i = 0; i < 64; ++i)
            square[i] = i < 32 ? 0 : 60;
    }
};
const OscTables& oscTables()
{
    static const OscTables t;
    return t;
}
} // namespace

void SmpSimulate::threadOsc()
{
    emit dev->sigSmpSta(SmpStaStart, 0, 0);
    const DevBase::OscCaptureSet& cap = dev->oscCapture;
    const int chnNum = cap.ena.size();
    const int count = chnNum > 0 ? qMin(dev->memSize / chnNum, OSC_MAX_SAMPLES) : 0;
    const OscTables& tab = oscTables();
    if (!dev->fillDataOsc() || count <= 0) {
        // A device without analog channels has nothing to capture.
        dev->smpErr = 1;
        emit dev->sigSmpSta(SmpStaStopped, 0, 0);
        emit dev->sigSmpDataReady(1);
        return;
    }
    for (;;) {
        // The spare store may still wait to be swapped in by the GUI thread.
        if (!dev->waitStoresSwapped())
            break;
        if (!dev->dataConvertStart(0)) {
            dev->smpErr = 4;
            dev->dataConvertComplete(false);
            emit dev->sigSmpSta(SmpStaSampling, 4, 0);
            break;
        }
        for (int c = 0; c < chnNum; ++c) {
            if (!cap.ena[c])
                continue;
            if (c % 2 == 0)
                dev->dataConvertSimuOsc(tab.sine, 128, c, count, &rng);
            else
                dev->dataConvertSimuOsc(tab.square, 64, c, count, &rng);
        }
        emit dev->sigSmpSta(SmpStaSampling, 0, 100);
        dev->dataConvertComplete(true);
        emit dev->sigSmpDataReady(0);
        if (dev->smpStopReq || dev->smpStartMode == SmpStartSingle)
            break;
        pause(50);
        if (dev->smpStopReq)
            break;
    }
    emit dev->sigSmpSta(SmpStaStopped, 0, 0);
    emit dev->sigSmpDataReady(1);
}

void SmpSimulate::threadLA()
{
    emit dev->sigSmpSta(SmpStaStart, 0, 0);
    const long long rate = dev->getSmpFrequ();
    const long long depth = dev->getExpectDepth();
    if (rate <= 0 || depth <= 0) {
        dev->smpErr = 1;
        emit dev->sigSmpSta(SmpStaStopped, 0, 0);
        emit dev->sigSmpDataReady(1);
        return;
    }
    const int blockTime = getBlockTime(depth, rate);
    const long long blockSmp = (long long)(blockTime / 1000.0 * double(rate));
    const int period = getPeriodPoints(depth, blockSmp);
    const int pauseMs = int(qMin<long long>(depth * 1000 / rate, blockTime));
    const QVector<bool>& ena = dev->smpChnEna;
    const int chnNum = ena.size();

    std::vector<int*> rnd(chnNum, nullptr);
    std::vector<int> rndCount(chnNum, 0);
    std::vector<long long> pos(chnNum, 0);
    std::vector<int> lastLevel(chnNum, 0);
    std::vector<SimuChannelData*> descs;

    for (;;) {
        // The spare store may still wait to be swapped in by the GUI thread.
        if (!dev->waitStoresSwapped())
            break;
        bool failed = !dev->dataConvertStart(0);
        for (int c = 0; c < chnNum; ++c) {
            pos[c] = 0;
            lastLevel[c] = 0;
            if (!ena[c])
                continue;
            rndCount[c] = genSimuData(&rnd[c], blockSmp, period);
            if (rndCount[c] == 0)
                failed = true;
            dev->dataSetInitLevel(c, c % 2);
        }
        std::unique_ptr<SimuSource> source;
        if (!failed && sourceFactory())
            source = sourceFactory()(rate);

        long long done = 0;
        long long blocks = 0;
        long long percent = 0;
        while (!failed) {
            if (dev->smpStopReq)
                break;
            QElapsedTimer timer;
            timer.start();
            descs.clear();
            if (source)
                source->generate(done + blockSmp, rate, descs);
            if (blocks == 0) {
                for (SimuChannelData* d : descs) {
                    if (d->chn >= 0 && d->chn < chnNum) {
                        dev->dataSetInitLevel(d->chn, d->initialLevel);
                        lastLevel[d->chn] = d->initialLevel ? 0 : 1;
                    }
                }
            }
            for (int c = 0; c < chnNum && !failed; ++c) {
                if (!ena[c])
                    continue;
                SimuChannelData* d = nullptr;
                for (SimuChannelData* x : descs) {
                    if (x->chn == c) {
                        d = x;
                        break;
                    }
                }
                if (d) {
                    const int n = int(d->runs.size());
                    if (n == 0)
                        continue;
                    const int s = d->currentLevel ? 1 : 0;
                    const int begin = (n % 2 == 0) ? s : 1 - s;
                    // The block starts in the level the channel already has:
                    // its first run continues the last stored one.
                    const bool extend = lastLevel[c] != begin && pos[c] > 0;
                    if (!dev->dataConvertSimu(c, d->runs.data(), n, &pos[c], extend))
                        failed = true;
                    lastLevel[c] = s;
                } else if (!dev->dataConvertSimu(c, rnd[c], rndCount[c], &pos[c], false)) {
                    failed = true;
                }
            }
            for (SimuChannelData* d : descs)
                d->runs.clear();
            if (failed)
                break;
            done += blockSmp;
            ++blocks;
            percent = blocks * blockSmp * 100 / depth;
            emit dev->sigSmpSta(SmpStaSampling, 0, int(qMin<long long>(percent, 100)));
            int ms = int(pauseMs - timer.elapsed() - 2);
            if (ms < 1 || ms > pauseMs)
                ms = 1;
            pause(ms);
            if (percent > 99)
                break;
        }

        // Clean-up runs on every path: the analyzers go back to their plug-ins.
        source.reset();
        descs.clear();
        for (int c = 0; c < chnNum; ++c) {
            std::free(rnd[c]);
            rnd[c] = nullptr;
            rndCount[c] = 0;
        }

        if (failed) {
            dev->smpErr = 4;
            dev->dataConvertComplete(false);
            emit dev->sigSmpSta(SmpStaSampling, 4, 0);
            break;
        }
        dev->dataSetSmpDepth(qMin(done, depth));
        const bool keep = dev->smpStopReq ? (dev->smpStartMode == SmpStartSingle) : true;
        dev->dataConvertComplete(keep);
        emit dev->sigSmpDataReady(0);
        if (dev->smpStopReq || dev->smpStartMode == SmpStartSingle)
            break;
    }
    emit dev->sigSmpSta(SmpStaStopped, 0, 0);
    emit dev->sigSmpDataReady(1);
}
