#include "data/SmpDataOsc.h"

#include <QIODevice>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

int16_t saturate16(double v)
{
    return int16_t(std::max(-32768.0, std::min(32767.0, v)));
}

// Pixel columns of the values val(i), i in [0, count), for a view whose
// pixel 0 lies at sample `start` and whose pixels are spp samples wide; each
// value is shown as k x val + b. At most one sample per pixel: one
// single-valued column per sample; otherwise one column per pixel with the
// largest and smallest value of its samples.
template <typename Val>
int columns(Val val, long long count, double start, double spp, int width, double k, double b, WaveLineA* out)
{
    if (!out || width <= 0 || count <= 0 || !(spp > 0) || !std::isfinite(spp) || !std::isfinite(start))
        return 0;
    long long i0;
    double shift;
    if (start < 0) {
        i0 = 0;
        shift = -start / spp;
    } else {
        if (start >= double(count))
            return 0;
        i0 = (long long)start;
        shift = (double(i0) - start) / spp;
    }
    // A record that starts this far right is out of the view; x stays
    // within an int however far the view is zoomed in.
    const double xLimit = std::min(double(width) + 1.0 / spp + 1.0, 1e9);
    int n = 0;
    if (spp <= 1) {
        for (long long i = i0; i < count && n < width; ++i) {
            const double xd = double(i - i0) / spp + shift;
            if (xd >= xLimit)
                break;
            const double v = k * val(i) + b;
            const int x = int(std::max(xd, -1e9));
            out[n++] = {x, v, v, 1};
            if (x >= width - 1)
                break;
        }
        return n;
    }
    const double base = double(i0);
    long long idx = i0;
    for (long long px = 0; n < width; ++px) {
        const double xd = double(px) + shift;
        if (xd >= xLimit)
            break;
        const double bd = std::floor(double(px + 1) * spp + base);
        const long long end = bd >= double(count) ? count : (long long)bd;
        const int x = int(xd);
        if (end > idx) {
            double hi = val(idx), lo = hi;
            for (long long i = idx + 1; i < end; ++i) {
                const double v = val(i);
                hi = v > hi ? v : hi;
                lo = v < lo ? v : lo;
            }
            if (k < 0)
                std::swap(hi, lo);
            out[n++] = {x, k * hi + b, k * lo + b, 0};
            idx = end;
        }
        if (end >= count || x >= width - 1)
            break;
    }
    return n;
}

void put16(unsigned char* p, int v)
{
    const uint16_t u = uint16_t(int16_t(std::max(-32768, std::min(32767, v))));
    p[0] = uchar(u);
    p[1] = uchar(u >> 8);
}

void put32(unsigned char* p, long long v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uchar(uint64_t(v) >> (8 * i));
}

void put40(unsigned char* p, long long v)
{
    for (int i = 0; i < 5; ++i)
        p[i] = uchar(uint64_t(v) >> (8 * i));
}

int get16(const unsigned char* p)
{
    return int16_t(uint16_t(p[0] | p[1] << 8));
}

long long get32(const unsigned char* p)
{
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

long long get40(const unsigned char* p)
{
    long long v = 0;
    for (int i = 4; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

const char kHeadMagic[6] = {'b', 'z', 'd', 'm', 's', '\0'};
const char kChnMagic[4] = {'#', 'M', 'A', '\0'};
constexpr int kHeadSize = 40;
constexpr int kChnHeadSize = 32;
constexpr long long kMaxRate = 1000000000000LL;   // 1 THz
constexpr int kMaxOffset = 500;   // thousandths of the screen height, either way

} // namespace

SmpDataOsc::SmpDataOsc(int chnNum, int lgcChnNum)
    : chnNum(chnNum < 0 ? 0 : chnNum), lgcChnNum(lgcChnNum), maxLevel(this->chnNum, 0.0),
      minLevel(this->chnNum, 0.0), data(size_t(this->chnNum), nullptr), math(size_t(this->chnNum), nullptr)
{
}

SmpDataOsc::~SmpDataOsc()
{
    clearData();
}

void SmpDataOsc::clearData()
{
    for (AnalogChnData*& d : data) {
        delete d;
        d = nullptr;
    }
    for (MathCache*& m : math) {
        if (m)
            delete[] m->values;
        delete m;
        m = nullptr;
    }
}

int SmpDataOsc::dataConvertStart(int trg, long long rate, const int* gain, const int* scale, const int* offset,
                                 const bool* enabled)
{
    clearData();
    trgRecord = trg;
    smpFrequ = rate;
    for (int c = 0; c < chnNum; ++c) {
        if (!enabled || !enabled[c] || !scale || scale[c] <= 0)
            continue;
        AnalogChnData* d = new (std::nothrow) AnalogChnData;
        if (!d) {
            clearData();
            return 0;
        }
        d->count = 0;
        d->trgIndex = 0;
        d->scale = scale[c];
        d->offset = offset ? offset[c] : 0;
        d->gain = gain ? gain[c] : 0;
        d->smpFrequ = rate;
        data[size_t(c)] = d;
    }
    return 1;
}

void SmpDataOsc::dataConvertComplete()
{
    for (AnalogChnData* d : data)
        if (d)
            d->trgIndex = std::max(0, std::min(d->trgIndex, d->count));
    trgRecord = std::max(0, std::min(trgRecord, longestCount()));
}

int SmpDataOsc::longestCount() const
{
    int n = 0;
    for (const AnalogChnData* d : data)
        if (d)
            n = std::max(n, d->count);
    return n;
}

AnalogChnData* SmpDataOsc::record(int chn) const
{
    return chn >= 0 && chn < chnNum ? data[size_t(chn)] : nullptr;
}

int SmpDataOsc::getAnalogData(int chn, short** samples) const
{
    AnalogChnData* d = record(chn);
    if (samples)
        *samples = d ? d->samples : nullptr;
    return d ? d->count : 0;
}

bool SmpDataOsc::hasValidDataA(int chn) const
{
    const AnalogChnData* d = record(chn);
    return d && d->count > 0;
}

int SmpDataOsc::dataConvertSimu(const int* table, int tableLength, int chn, int triggerPermille, int count,
                                QRandomGenerator* rng)
{
    AnalogChnData* d = record(chn);
    if (!d)
        return 1;
    QRandomGenerator* r = rng ? rng : QRandomGenerator::global();
    count = std::max(0, std::min(count, OSC_MAX_SAMPLES));
    triggerPermille = std::max(0, std::min(triggerPermille, 1000));
    d->trgIndex = int((long long)triggerPermille * count / 1000);
    const int dc = int((long long)d->offset * d->scale / 500);
    // Now and then a small spike on top of the signal.
    auto noise = [r] {
        const int v = int(r->generate() % 128);
        return v < 7 ? v - 3 : 0;
    };
    if (count == 0) {
        d->count = 0;
        return 1;
    }
    if (chn == 0 || !table || tableLength <= 0) {
        if (chn != 0) {
            d->count = 0;
            return 1;
        }
        // Keep the sine on the screen when the zero line moves off centre.
        const double dist = std::fabs(0.5 - d->offset / 1000.0);
        const double a = (dist == 0 || dist >= 1) ? 0.2 : dist > 0.5 ? 0.4 * (1 - dist) : 0.4 * dist;
        const double amp = 2 * a * d->scale;
        const double phase = double(r->bounded(90)) * M_PI / 180.0;
        const double step = 36.44247416 / count;   // 5.8 periods
        for (int i = 0; i < count; ++i)
            d->samples[i] = saturate16(std::trunc(std::sin(phase + i * step) * (amp + noise()) + dc));
    } else {
        const double step = tableLength * 5.2 / count;
        for (int i = 0; i < count; ++i) {
            const double pos = i * step;
            const long long j = (long long)pos;
            const double frac = pos - double(j);
            const int nz = noise();
            const double a = dc + 4.0 * table[j % tableLength] + nz;
            const double b = dc + 4.0 * table[(j + 1) % tableLength] + nz;
            d->samples[i] = saturate16(std::trunc(frac * (b - a)) + 0.8 * a);
        }
    }
    d->count = count;
    return 1;
}

int SmpDataOsc::getAWaveLineData(int chn, double start, double spp, int width, WaveLineA* out) const
{
    const AnalogChnData* d = record(chn);
    if (!d || d->count <= 0)
        return 0;
    const double k = 5.0 * d->gain / d->scale;
    const double b = -d->offset / 1000.0 * 10.0 * d->gain;
    const int16_t* s = d->samples;
    return columns([s](long long i) { return double(s[i]); }, d->count, start, spp, width, k, b, out);
}

void SmpDataOsc::fillMathCache(int chn, int commonGain)
{
    const AnalogChnData* d = record(chn);
    MathCache*& m = math[size_t(chn)];
    if (!m) {
        m = new (std::nothrow) MathCache;
        if (!m)
            return;
        m->values = new (std::nothrow) double[OSC_MAX_SAMPLES];
        if (!m->values) {
            delete m;
            m = nullptr;
            return;
        }
    }
    // Both channels in units of the common gain: the sum of two traces of
    // unequal V/div is the sum of their millivolts.
    const double z = d->offset * 2.0 * d->scale / 1000.0;
    const double r = double(commonGain) / d->gain;
    const double f = 1000.0 / d->scale / r;
    for (int i = 0; i < d->count; ++i)
        m->values[i] = (d->samples[i] - z) * f;
    m->gain = commonGain;
}

int SmpDataOsc::getAMathWaveLineData(int op, const int* pair, double start, double spp, int width, WaveLineA* out)
{
    if (!pair)
        return 0;
    const int a = pair[0], b = pair[1];
    const AnalogChnData* da = hasValidDataA(a) ? record(a) : nullptr;
    const AnalogChnData* db = hasValidDataA(b) ? record(b) : nullptr;
    if (!da && !db)
        return 0;
    // A gain of 0 cannot be normalised; such a capture has no math trace.
    if ((da && da->gain <= 0) || (db && db->gain <= 0))
        return 0;
    const int g = std::max(da ? da->gain : 0, db ? db->gain : 0);
    for (int c : {a, b}) {
        if (!hasValidDataA(c))
            continue;
        if (!math[size_t(c)] || math[size_t(c)]->gain != g)
            fillMathCache(c, g);
        if (!math[size_t(c)])
            return 0;
    }
    const double* na = da ? math[size_t(a)]->values : nullptr;
    const double* nb = db ? math[size_t(b)]->values : nullptr;
    // Never past either channel's own samples.
    const long long count = da && db ? std::min(da->count, db->count) : (da ? da->count : db->count);
    const double k = g * 0.005;
    auto run = [&](auto val) { return columns(val, count, start, spp, width, k, 0.0, out); };
    if (na && nb) {
        switch (op) {
        case 0: return run([na, nb](long long i) { return na[i] + nb[i]; });
        case 1: return run([na, nb](long long i) { return na[i] - nb[i]; });
        case 2: return run([na, nb](long long i) { return na[i] * nb[i]; });
        case 3: return run([na, nb](long long i) { return nb[i] == 0 ? 0.0 : na[i] / nb[i]; });
        default: return 0;
        }
    }
    // One channel alone: the sum is that channel, the difference it or
    // its negation; a product or quotient with nothing is 0.
    const double* v = na ? na : nb;
    const double sign = (op == 1 && !na) ? -1.0 : 1.0;
    if (op == 0 || op == 1)
        return run([v, sign](long long i) { return sign * v[i]; });
    if (op == 2 || op == 3)
        return run([](long long) { return 0.0; });
    return 0;
}

// ---------------------------------------------------------------------------
// Measurements

QVector<long long> SmpDataOsc::getPeriodSubA(const short* s, long long n, int high, int low)
{
    QVector<long long> c;
    if (!s || n <= 0 || high <= low)
        return c;
    // A level is crossed upwards by the first code at or above it and
    // downwards by the first code below it: a code that sits on a level
    // is crossed once, not once each way.
    long long p = 0;
    while (p < n && s[p] >= low)
        ++p;
    // An edge counts only once the signal has gone through both levels: a
    // signal that wanders back across the level it just crossed (noise on
    // a slow edge) has not begun the next edge. `edge` walks to the next
    // edge away from the side `near` holds and returns where it left that
    // side, -1 past the end; p stops on the first sample beyond the other
    // level. Only positions found are appended: the end of the window is
    // no crossing.
    auto edge = [s, n, &p](auto near, auto beyond) -> long long {
        long long q = p;
        for (;;) {
            while (q < n && near(s[q]))
                ++q;
            if (q >= n) {
                p = q;
                return -1;
            }
            const long long a = q;
            while (q < n && !near(s[q]) && !beyond(s[q]))
                ++q;
            if (q >= n || beyond(s[q])) {
                p = q;
                return a;
            }
        }
    };
    auto belowLow = [low](short v) { return v < low; };
    auto atOrAboveHigh = [high](short v) { return v >= high; };
    for (bool rising = true; p < n; rising = !rising) {
        const long long at = rising ? edge(belowLow, atOrAboveHigh) : edge(atOrAboveHigh, belowLow);
        if (at < 0)
            break;
        c.append(at);
        if (p >= n)
            break;
        c.append(p);
    }
    return c;
}

namespace {

// The histogram bin of every code: code / 12 + 50 (the division truncating
// toward zero), within 0..99; indexed by the code + 32768.
const uint8_t* codeBins()
{
    static const struct Table {
        uint8_t bin[65536];
        Table()
        {
            for (int u = 0; u < 65536; ++u)
                bin[u] = uint8_t(std::max(0, std::min(99, (u - 32768) / 12 + 50)));
        }
    } t;
    return t.bin;
}

// The level bin of a two-level signal: starting at `from` and walking
// towards `middle` over the non-empty bins, the last bin whose count jumps to
// at least three times its predecessor's (the plateau behind a few outliers);
// `from` itself when there is no jump.
int levelBin(const long long* cnt, int from, int dir, int middle)
{
    int best = from;
    int prev = -1;
    for (int b = from; dir < 0 ? b > middle : b < middle; b += dir) {
        if (!cnt[b])
            continue;
        if (prev >= 0 && cnt[b] >= 3 * cnt[prev])
            best = b;
        else if (prev < 0)
            best = b;
        prev = b;
    }
    return best;
}

} // namespace

void SmpDataOsc::getAParameterValues(int chn, double start, double length, double* values, bool* valid)
{
    if (!values || !valid)
        return;
    for (int i = 0; i < MeasCount; ++i) {
        values[i] = 0;
        valid[i] = false;
    }
    const AnalogChnData* d = record(chn);
    if (!d || d->count <= 0 || !std::isfinite(start) || !std::isfinite(length) || !(length >= 20))
        return;
    double fs = std::trunc(start), fn = std::trunc(length);
    if (fs < 0) {
        fn += fs;
        fs = 0;
    }
    if (fs >= d->count)
        return;
    fn = std::min(fn, double(d->count) - fs);
    if (fn < 2)
        return;
    const long long n = (long long)fn;
    const int16_t* w = d->samples + (long long)fs;

    // Histogram of 100 bins of 12 codes around 0, with the codes' sums:
    // one addition per sample carries both, the count above bit 40 and the
    // code (made positive) below it, which 51200 samples cannot overflow.
    // Neighbouring samples mostly fall into one bin: interleaved tables
    // keep the additions from waiting on each other.
    constexpr int kCountShift = 40;
    constexpr int kTables = 8;
    const uint8_t* binOf = codeBins();
    uint64_t acc[kTables][100] = {};
    for (long long i = 0; i < n; ++i) {
        const uint16_t u = uint16_t(w[i] + 32768);
        acc[i % kTables][binOf[u]] += (uint64_t(1) << kCountShift) + u;
    }
    long long cnt[100], bsum[100];
    long long sum = 0;
    for (int b = 0; b < 100; ++b) {
        uint64_t t = 0;
        for (const auto& a : acc)
            t += a[b];
        cnt[b] = (long long)(t >> kCountShift);
        bsum[b] = (long long)(t & ((uint64_t(1) << kCountShift) - 1)) - cnt[b] * 32768;
        sum += bsum[b];
    }
    const double sc = d->scale, g = d->gain;
    const double offMv = d->offset / 1000.0 * 10.0 * g;
    auto mv = [&](double code) { return code * 5.0 * g / sc - offMv; };
    values[MeasVavg] = (double(sum) / double(n) / sc * 5.0 - d->offset / 1000.0 * 10.0) * g;
    valid[MeasVavg] = true;

    int hiBin = 99, loBin = 0;
    while (hiBin > 0 && !cnt[hiBin])
        --hiBin;
    while (loBin < 99 && !cnt[loBin])
        ++loBin;
    const int middle = (hiBin + loBin) / 2;
    const int topBin = levelBin(cnt, hiBin, -1, middle);
    const int baseBin = levelBin(cnt, loBin, +1, middle);
    auto mean = [&](int b) { return double(bsum[b]) / double(cnt[b]); };
    const double maxC = mean(hiBin), minC = mean(loBin), top = mean(topBin), base = mean(baseBin);
    values[MeasVtop] = mv(top);
    values[MeasVbase] = mv(base);
    values[MeasVamp] = values[MeasVtop] - values[MeasVbase];
    values[MeasVpp] = (maxC - minC) * 5.0 * g / sc;
    valid[MeasVtop] = valid[MeasVbase] = valid[MeasVamp] = valid[MeasVpp] = true;
    maxLevel[chn] = mv(maxC);
    minLevel[chn] = mv(minC);

    const int high = int(std::trunc(0.2 * base + 0.8 * top));
    const int low = int(std::trunc(0.2 * top + 0.8 * base));
    const QVector<long long> c = getPeriodSubA(w, n, high, low);
    const int e = c.size();
    if (e <= 5)
        return;

    const int k = (e - 2) / 4;
    const long long first = c[0];
    const long long span = c[4 * k] - first + 1;
    // Sums of codes and of their squares (exact in integers); the mean
    // square of the millivolts follows from both.
    long long spanSum = 0, spanSq = 0;
    for (long long i = first; i < first + span; ++i) {
        const long long c = w[i];
        spanSum += c;
        spanSq += c * c;
    }
    const double kmv = 5.0 * g / sc;
    const double meanC = double(spanSum) / double(span), meanSq = double(spanSq) / double(span);
    values[MeasVavg] = meanC * kmv - offMv;
    values[MeasVrms] = std::sqrt(std::max(0.0, kmv * kmv * meanSq - 2 * kmv * offMv * meanC + offMv * offMv));
    valid[MeasVrms] = true;

    // Times need a rate; a period needs at least one sample.
    const double rate = double(d->smpFrequ);
    const long long per = span / k;
    if (!(rate > 0) || per < 1)
        return;
    values[MeasPeriod] = double(per) * 1e12 / rate;
    values[MeasFrequency] = rate / double(per);
    valid[MeasPeriod] = valid[MeasFrequency] = true;

    // A period in the middle of the window.
    const int m = ((e - 2) / 8) * 4 - (k % 2 == 0 ? 2 : 0);
    if (m < 0 || m + 5 >= e)
        return;
    const double ps = 1e12 / rate;
    const double t1 = double(c[m + 1] - c[m]) * ps;
    const double t2 = double(c[m + 3] - c[m + 2]) * ps;
    // The walk's order tells the edge: entries 4j and 4j + 1 cross rising.
    // (Comparing the codes at the two crossings cannot: a step that passes
    // both levels in one sample crosses them at the same code.)
    const bool rising = m % 4 == 0;
    values[MeasRiseTime] = rising ? t1 : t2;
    values[MeasFallTime] = rising ? t2 : t1;
    valid[MeasRiseTime] = valid[MeasFallTime] = true;

    // Pulse widths between the crossings of the middle level.
    const int mid = (high + low) / 2;
    long long q[3];
    for (int j = 0; j < 3; ++j) {
        const long long from = c[m + 2 * j];
        const bool up = rising == (j % 2 == 0);
        long long p = from;
        while (p < n && (up ? w[p] < mid : w[p] > mid))
            ++p;
        if (p >= n)
            return;
        q[j] = p;
    }
    const double w1 = double(q[1] - q[0]) * ps, w2 = double(q[2] - q[1]) * ps;
    const double pos = rising ? w1 : w2, neg = rising ? w2 : w1;
    values[MeasPosWidth] = pos;
    values[MeasNegWidth] = neg;
    valid[MeasPosWidth] = pos > 0;
    valid[MeasNegWidth] = neg > 0;
    if (pos > 0 && neg > 0) {
        values[MeasDutyCycle] = 100.0 * pos / (pos + neg);
        valid[MeasDutyCycle] = true;
    }
}

// ---------------------------------------------------------------------------
// Capture file part

bool SmpDataOsc::writeFile(QIODevice& out) const
{
    unsigned char head[kHeadSize] = {};
    std::memcpy(head, kHeadMagic, sizeof kHeadMagic);
    put40(head + 16, std::max(0LL, smpFrequ));
    // Trigger fields within the samples, as a reader demands (a store that
    // was not completed may hold the device's word unchecked).
    put40(head + 24, std::max(0, std::min(trgRecord, longestCount())));
    head[32] = uchar(chnNum);
    head[33] = uchar(lgcChnNum);
    if (out.write(reinterpret_cast<const char*>(head), kHeadSize) != kHeadSize)
        return false;
    QByteArray words;
    for (int c = 0; c < chnNum; ++c) {
        const AnalogChnData* d = record(c);
        if (!d || d->count <= 0)
            continue;
        unsigned char h[kChnHeadSize] = {};
        std::memcpy(h, kChnMagic, sizeof kChnMagic);
        h[4] = uchar(c);
        put16(h + 10, d->scale);
        put16(h + 12, d->offset);
        put16(h + 14, d->gain);
        put40(h + 16, std::max<long long>(0, d->smpFrequ));
        put32(h + 24, std::max(0, std::min(d->trgIndex, d->count)));
        put32(h + 28, d->count);
        words.resize(2 * d->count);
        for (int i = 0; i < d->count; ++i)
            put16(reinterpret_cast<unsigned char*>(words.data()) + 2 * i, d->samples[i]);
        if (out.write(reinterpret_cast<const char*>(h), kChnHeadSize) != kChnHeadSize
            || out.write(words) != words.size())
            return false;
    }
    return true;
}

bool SmpDataOsc::readFile(QIODevice& in)
{
    clearData();
    auto fail = [this] {
        clearData();
        smpFrequ = 0;
        trgRecord = 0;
        return false;
    };
    const QByteArray head = in.read(kHeadSize);
    if (head.size() != kHeadSize || std::memcmp(head.constData(), kHeadMagic, sizeof kHeadMagic) != 0)
        return fail();
    const auto* hp = reinterpret_cast<const unsigned char*>(head.constData());
    if (hp[32] != chnNum)
        return fail();
    const long long rate = get40(hp + 16);
    if (rate < 1 || rate > kMaxRate)
        return fail();
    smpFrequ = rate;
    const long long trgHead = get40(hp + 24);
    std::vector<bool> seen(size_t(chnNum), false);
    while (!in.atEnd()) {
        const QByteArray h = in.read(kChnHeadSize);
        if (h.size() != kChnHeadSize || std::memcmp(h.constData(), kChnMagic, sizeof kChnMagic) != 0)
            return fail();
        const auto* p = reinterpret_cast<const unsigned char*>(h.constData());
        const int c = p[4];
        if (c >= chnNum || seen[size_t(c)])
            return fail();
        seen[size_t(c)] = true;
        const int scale = get16(p + 10), offset = get16(p + 12), gain = get16(p + 14);
        const long long crate = get40(p + 16);
        const long long trg = get32(p + 24), count = get32(p + 28);
        // Bounded like the logic part: a rate of 1 Hz to 1 THz, at least two
        // samples to measure, the trigger within them (at the count when it
        // stands at the right edge of the screen, as a capture may leave it)
        // and the offset where the device keeps it.
        if (scale <= 0 || gain <= 0 || crate < 1 || crate > kMaxRate || count < 2 || count > OSC_MAX_SAMPLES
            || trg < 0 || trg > count || offset < -kMaxOffset || offset > kMaxOffset)
            return fail();
        const QByteArray words = in.read(2 * count);
        if (words.size() != 2 * count)
            return fail();
        AnalogChnData* d = new (std::nothrow) AnalogChnData;
        if (!d)
            return fail();
        data[size_t(c)] = d;
        const auto* wp = reinterpret_cast<const unsigned char*>(words.constData());
        for (long long i = 0; i < count; ++i)
            d->samples[i] = int16_t(get16(wp + 2 * i));
        d->count = int(count);
        d->trgIndex = int(trg);
        d->scale = scale;
        d->offset = offset;
        d->gain = gain;
        d->smpFrequ = crate;
    }
    // The trigger record counts samples of a channel, as the channel heads'
    // trigger index does: within the longest channel.
    if (trgHead > longestCount())
        return fail();
    trgRecord = int(trgHead);
    return true;
}

// ---------------------------------------------------------------------------
// Converter read-out

int smpDataOscConvertWords(SmpDataOsc* s, OscWordState* st, const unsigned char* buf, int len)
{
    if (!s || !st || st->nEna < 1 || st->nEna > 2 || !buf || len <= 0)
        return 0;
    const bool single = st->nEna == 1;
    auto put = [s, st, single](int raw) {
        const long long w = st->words++;
        // One channel: the two converters take turns on it.
        const int slot = single ? 0 : int(w & 1);
        const int conv = int(w & 1);
        const long long sample = single ? w : w >> 1;
        AnalogChnData* d = s->record(st->chn[slot]);
        if (!d || sample >= OSC_MAX_SAMPLES)
            return;
        const double v = std::round(raw * st->slope[conv] / 1000.0) + st->zero[conv];
        d->samples[sample] = saturate16(v);
        if (sample >= d->count)
            d->count = int(sample + 1);
    };
    int i = 0;
    if (st->haveOdd) {
        put(int16_t(uint16_t(st->oddByte | buf[0] << 8)));
        st->haveOdd = false;
        i = 1;
    }
    for (; i + 1 < len; i += 2)
        put(int16_t(uint16_t(buf[i] | buf[i + 1] << 8)));
    if (i < len) {
        st->haveOdd = true;
        st->oddByte = buf[i];
    }
    return len;
}
