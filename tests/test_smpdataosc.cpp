// The analog sample store: measurements against the parameters the test
// signals were made with, pixel columns and the math trace at both sides of
// one sample per pixel, the crossing walk, the capture-file part (and what
// a damaged one is refused for), the converter read-out and the
// demonstration signal.
#include <QtTest>

#include <QBuffer>
#include <QRandomGenerator>

#include <climits>
#include <cmath>
#include <functional>
#include <memory>

#include "data/SmpDataOsc.h"

namespace {

// A store whose channel 0 holds `codes`: scale 480 and gain 960 make a code
// worth exactly 10 mV (offset 0).
struct Store {
    std::unique_ptr<SmpDataOsc> s;
    Store(const QVector<int>& codes, long long rate = 1000000, int gain = 960, int scale = 480, int offset = 0)
    {
        s.reset(new SmpDataOsc(2, 16));
        const int g[2] = {gain, gain}, sc[2] = {scale, scale}, off[2] = {offset, offset};
        const bool ena[2] = {true, false};
        s->dataConvertStart(0, rate, g, sc, off, ena);
        AnalogChnData* d = s->record(0);
        for (int i = 0; i < codes.size(); ++i)
            d->samples[i] = int16_t(codes[i]);
        d->count = codes.size();
    }
};

QVector<int> makeCodes(int n, const std::function<int(int)>& f)
{
    QVector<int> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = f(i);
    return v;
}

// 10 periods of 1000 samples from 0 to 330 codes (3300 mV), high 30 %.
QVector<int> square()
{
    return makeCodes(10000, [](int i) { return (i + 650) % 1000 < 300 ? 330 : 0; });
}

// Periods of 1000 samples: low 400, a linear rise over 100 samples, high
// 400, a linear fall over 100 samples.
QVector<int> trapezoid()
{
    return makeCodes(10000, [](int i) {
        const int t = i % 1000;
        if (t < 400)
            return 0;
        if (t < 500)
            return int(std::lround(330.0 * (t - 400) / 100));
        if (t < 900)
            return 330;
        return int(std::lround(330.0 * (1000 - t) / 100));
    });
}

struct Meas {
    double v[MeasCount];
    bool ok[MeasCount];
};

Meas measure(SmpDataOsc* s, double start, double length, int chn = 0)
{
    Meas m;
    s->getAParameterValues(chn, start, length, m.v, m.ok);
    return m;
}

// The written analog part of two channels of 10 samples each; empty when
// it could not be written.
QByteArray writtenPart()
{
    SmpDataOsc a(2, 16);
    const int g[2] = {500, 500}, sc[2] = {480, 480}, off[2] = {0, 0};
    const bool ena[2] = {true, true};
    if (!a.dataConvertStart(0, 1000000, g, sc, off, ena))
        return QByteArray();
    for (int c = 0; c < 2; ++c)
        a.record(c)->count = 10;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    return a.writeFile(out) ? out.data() : QByteArray();
}

} // namespace

class TestSmpDataOsc : public QObject
{
    Q_OBJECT
private slots:
    void measurements_data();
    void measurements();
    void windowClipping();
    void noMeasurement();
    void crossings();
    void demonstrationSineFrequency();
    void randomInputs();
    void waveLines();
    void waveLineLimits();
    void mathTrace();
    void mathOneChannel();
    void fileRoundTrip();
    void fileTriggerRecordWithinSamples();
    void fileRefused_data();
    void fileRefused();
    void fileFieldsBounded_data();
    void fileFieldsBounded();
    void converterWords();
    void demonstrationSignal();
};

// Expected values from the signals' own parameters; -1 for "not valid",
// NAN for "valid, not checked".
void TestSmpDataOsc::measurements_data()
{
    QTest::addColumn<QVector<int>>("codes");
    QTest::addColumn<QVector<double>>("expect");   // 13 values
    QTest::addColumn<double>("tolerance");         // relative
    const double nc = NAN;
    // 1 MHz: 1000 samples = 1 ms = 1e9 ps.
    QTest::newRow("square 0-3300 mV, 10 periods, duty 30 %")
        << square()
        << QVector<double>{3300, 0, 3300, 3300, 990, 3300 * std::sqrt(0.3), 1e9, 1000, 0, 0, 3e8, 7e8, 30}
        << 0.002;
    QTest::newRow("trapezoid, 20-80 % in 60 samples")
        << trapezoid()
        << QVector<double>{3300, 0, 3300, 3300, nc, nc, 1e9, 1000, 6e7, 6e7, 5e8, 5e8, 50} << 0.02;
    // 10 periods of a sine of 300 codes (3000 mV): Vrms = 3000 / sqrt 2.
    QTest::newRow("sine")
        << makeCodes(10000, [](int i) { return int(std::lround(300 * std::sin(2 * M_PI * i / 1000.0))); })
        << QVector<double>{nc, nc, nc, nc, 0, 3000 / std::sqrt(2.0), 1e9, 1000, nc, nc, 5e8, 5e8, 50} << 0.01;
    QTest::newRow("constant")
        << makeCodes(5000, [](int) { return 100; })
        << QVector<double>{1000, 1000, 0, 0, 1000, -1, -1, -1, -1, -1, -1, -1, -1} << 1e-9;
    // Codes 107 and 108 lie in neighbouring bins: the two levels are found,
    // but no crossing can be told between them.
    QTest::newRow("two levels one code apart")
        << makeCodes(5000, [](int i) { return (i / 50) % 2 ? 108 : 107; })
        << QVector<double>{1080, 1070, 10, 10, 1075, -1, -1, -1, -1, -1, -1, -1, -1} << 1e-9;
}

void TestSmpDataOsc::measurements()
{
    QFETCH(QVector<int>, codes);
    QFETCH(QVector<double>, expect);
    QFETCH(double, tolerance);
    Store st(codes);
    const Meas m = measure(st.s.get(), 0, codes.size());
    for (int i = 0; i < MeasCount; ++i) {
        const double e = expect[i];
        if (e == -1) {
            QVERIFY2(!m.ok[i], qPrintable(QString("value %1 should not be valid").arg(i)));
            continue;
        }
        QVERIFY2(m.ok[i], qPrintable(QString("value %1 is not valid").arg(i)));
        if (std::isnan(e))
            continue;
        const double tol = std::max(std::fabs(e) * tolerance, e == 0 ? 15.0 : 1e-6);
        QVERIFY2(std::fabs(m.v[i] - e) <= tol, qPrintable(QString("value %1: %2, expected %3").arg(i).arg(m.v[i]).arg(e)));
    }
    // The levels the auto scale reads.
    QCOMPARE(st.s->maxLevel[0] >= st.s->minLevel[0], true);
}

void TestSmpDataOsc::windowClipping()
{
    Store st(square());
    // Before 0: clipped to [0, 1500) and shortened by as much.
    const Meas a = measure(st.s.get(), -500, 2000);
    const Meas b = measure(st.s.get(), 0, 1500);
    for (int i = 0; i < MeasCount; ++i) {
        QCOMPARE(a.ok[i], b.ok[i]);
        QCOMPARE(a.v[i], b.v[i]);
    }
    // Past the end: only what the capture holds.
    const Meas c = measure(st.s.get(), 9000, 5000);
    const Meas d = measure(st.s.get(), 9000, 1000);
    for (int i = 0; i < MeasCount; ++i)
        QCOMPARE(c.v[i], d.v[i]);
    QVERIFY(c.ok[MeasVtop]);
}

void TestSmpDataOsc::noMeasurement()
{
    Store st(square());
    for (const auto& w : QVector<QPair<double, double>>{{0, 19}, {10000, 100}, {-100, 101}, {NAN, 100}, {0, INFINITY}}) {
        const Meas m = measure(st.s.get(), w.first, w.second);
        for (bool ok : m.ok)
            QVERIFY(!ok);
    }
    // A channel without a record, and one out of range.
    for (int chn : {1, 2, -1}) {
        const Meas m = measure(st.s.get(), 0, 1000, chn);
        for (bool ok : m.ok)
            QVERIFY(!ok);
    }
}

void TestSmpDataOsc::crossings()
{
    const QVector<short> sq = {0, 0, 10, 10, 10, 0, 0, 10, 10, 0, 0};
    // Rising through 2 and 8, falling through 8 and 2, per period; the
    // second period is complete, the window ends before a third.
    QCOMPARE(SmpDataOsc::getPeriodSubA(sq.constData(), sq.size(), 8, 2),
             QVector<long long>({2, 2, 5, 5, 7, 7, 9, 9}));
    // Starting high: the walk begins at the first code at or below low.
    const QVector<short> hi = {10, 10, 0, 10, 0};
    QCOMPARE(SmpDataOsc::getPeriodSubA(hi.constData(), hi.size(), 8, 2), QVector<long long>({3, 3, 4, 4}));
    // A window ending mid-edge appends nothing for the end.
    const QVector<short> cut = {0, 5, 5};
    QCOMPARE(SmpDataOsc::getPeriodSubA(cut.constData(), cut.size(), 8, 2), QVector<long long>({1}));
    // A code on a level crosses it once: falling to exactly low and rising
    // again is one high pulse, not a second crossing at the same place.
    const QVector<short> on = {0, 5, 10, 5, 2, 5, 10, 5, 0};
    QCOMPARE(SmpDataOsc::getPeriodSubA(on.constData(), on.size(), 8, 2), QVector<long long>({1, 2, 7, 8}));
    // Noise on a slow edge wanders back across the level just crossed: no
    // edge until the signal has gone through the other level as well.
    const QVector<short> noisy = {0, 3, 1, 3, 9, 7, 9, 7, 1, 3, 1, 9, 0};
    QCOMPARE(SmpDataOsc::getPeriodSubA(noisy.constData(), noisy.size(), 8, 2),
             QVector<long long>({3, 4, 7, 8, 11, 11, 12, 12}));
    // Equal levels: no crossings (and no walk that never ends).
    const QVector<short> flat(100, 7);
    QVERIFY(SmpDataOsc::getPeriodSubA(flat.constData(), flat.size(), 7, 7).isEmpty());
}

// The demonstration sine, with its spikes on the amplitude, whatever its
// start phase: 5.8 periods over the capture, measured over any window of
// about three periods.
void TestSmpDataOsc::demonstrationSineFrequency()
{
    for (int seed = 0; seed < 60; ++seed) {
        SmpDataOsc s(2, 16);
        const int g[2] = {1000, 1000}, sc[2] = {480, 480}, off[2] = {0, 0};
        const bool ena[2] = {true, false};
        QVERIFY(s.dataConvertStart(0, 100000000, g, sc, off, ena));
        QRandomGenerator rng{quint32(seed)};
        s.dataConvertSimu(nullptr, 0, 0, 500, 20480, &rng);
        double v[MeasCount];
        bool ok[MeasCount];
        s.getAParameterValues(0, 5240, 10000, v, ok);
        const double expect = 100000000 * 5.8 / 20480;
        QVERIFY2(ok[MeasFrequency] && std::fabs(v[MeasFrequency] - expect) <= 0.01 * expect,
                 qPrintable(QString("seed %1: %2 Hz").arg(seed).arg(v[MeasFrequency])));
    }
}

// Noise, steps and odd windows: every read stays inside the record (the
// sanitizers watch) and every walk ends.
void TestSmpDataOsc::randomInputs()
{
    QRandomGenerator rng(11);
    WaveLineA out[300];
    for (int round = 0; round < 300; ++round) {
        const int n = 1 + int(rng.bounded(3000));
        const int span = 1 + int(rng.bounded(2000));
        Store st(makeCodes(n, [&](int) { return int(rng.bounded(2 * span)) - span; }), 1 + rng.bounded(1000000));
        const double start = rng.bounded(2.0 * n) - n / 2.0;
        const double length = rng.bounded(2.0 * n);
        const Meas m = measure(st.s.get(), start, length);
        for (int i = 0; i < MeasCount; ++i)
            QVERIFY(!m.ok[i] || std::isfinite(m.v[i]));
        const double spp = rng.bounded(8.0);
        const int cols = st.s->getAWaveLineData(0, start, spp, 300, out);
        QVERIFY(cols >= 0 && cols <= 300);
    }
}

void TestSmpDataOsc::waveLines()
{
    // Codes 0..99, 10 mV each.
    Store st(makeCodes(100, [](int i) { return i; }));
    WaveLineA out[16];
    // Two samples per pixel: each column their largest and smallest value.
    int n = st.s->getAWaveLineData(0, 10, 2, 10, out);
    QCOMPARE(n, 10);
    for (int k = 0; k < n; ++k) {
        QCOMPARE(out[k].x, k);
        QCOMPARE(out[k].single, 0);
        QCOMPARE(out[k].min, 10.0 * (10 + 2 * k));
        QCOMPARE(out[k].max, 10.0 * (11 + 2 * k));
    }
    // Half a sample per pixel: one value every second pixel; the first
    // column at or past the right edge ends the list.
    n = st.s->getAWaveLineData(0, 10, 0.5, 10, out);
    QCOMPARE(n, 6);
    for (int k = 0; k < n; ++k) {
        QCOMPARE(out[k].x, 2 * k);
        QCOMPARE(out[k].single, 1);
        QCOMPARE(out[k].min, 10.0 * (10 + k));
    }
    // A start before sample 0 moves the first sample right.
    n = st.s->getAWaveLineData(0, -4, 2, 10, out);
    QCOMPARE(out[0].x, 2);
    QCOMPARE(out[0].min, 0.0);
    QCOMPARE(out[0].max, 10.0);
    QCOMPARE(n, 8);
    // The last column ends at the last sample.
    n = st.s->getAWaveLineData(0, 95, 2, 10, out);
    QCOMPARE(n, 3);
    QCOMPARE(out[2].min, 990.0);
    QCOMPARE(out[2].max, 990.0);
}

void TestSmpDataOsc::waveLineLimits()
{
    Store st(makeCodes(100, [](int i) { return i; }));
    WaveLineA out[1000];
    // A start at or past the count, a width or scale of nothing, numbers
    // that are not finite, a channel without samples: no columns.
    QCOMPARE(st.s->getAWaveLineData(0, 100, 2, 10, out), 0);
    QCOMPARE(st.s->getAWaveLineData(0, 1e300, 0.5, 10, out), 0);
    QCOMPARE(st.s->getAWaveLineData(0, 0, 2, 0, out), 0);
    QCOMPARE(st.s->getAWaveLineData(0, 0, 2, -5, out), 0);
    QCOMPARE(st.s->getAWaveLineData(0, 0, 0, 10, out), 0);
    QCOMPARE(st.s->getAWaveLineData(0, NAN, 2, 10, out), 0);
    QCOMPARE(st.s->getAWaveLineData(0, 0, INFINITY, 10, out), 0);
    QCOMPARE(st.s->getAWaveLineData(1, 0, 2, 10, out), 0);
    QCOMPARE(st.s->getAWaveLineData(-1, 0, 2, 10, out), 0);
    // Far before the data: the data starts right of the view.
    QCOMPARE(st.s->getAWaveLineData(0, -1e12, 0.5, 10, out), 0);
    // Wider than one sample per pixel and far more pixels than samples:
    // never more columns than samples.
    QCOMPARE(st.s->getAWaveLineData(0, 0, 1.5, 1000, out), 67);
}

void TestSmpDataOsc::mathTrace()
{
    // Channel 0: 10 mV a code; channel 1 at half the V/div and offset 100:
    // (c x 0.5 / 480 - 0.1) x 480 x 10 = 5c - 480 mV. Channel 1 is shorter.
    SmpDataOsc s(2, 16);
    const int g[2] = {960, 480}, sc[2] = {480, 480}, off[2] = {0, 100};
    const bool ena[2] = {true, true};
    QVERIFY(s.dataConvertStart(0, 1000000, g, sc, off, ena));
    for (int i = 0; i < 100; ++i)
        s.record(0)->samples[i] = int16_t(i);
    for (int i = 0; i < 60; ++i)
        s.record(1)->samples[i] = int16_t(2 * i);
    s.record(0)->count = 100;
    s.record(1)->count = 60;
    const int pair[2] = {0, 1};
    WaveLineA out[200];
    // Sum and difference are millivolts of A and B, single values.
    int n = s.getAMathWaveLineData(0, pair, 0, 0.5, 200, out);
    QCOMPARE(n, 60);   // never past channel 1's samples
    for (int k = 0; k < n; ++k)
        QVERIFY(std::fabs(out[k].min - (10.0 * k + (10.0 * k - 480))) < 1e-9);
    n = s.getAMathWaveLineData(1, pair, 0, 0.5, 200, out);
    for (int k = 0; k < n; ++k)
        QVERIFY(std::fabs(out[k].min - 480) < 1e-9);
    // Two samples per pixel: min and max of the sums.
    n = s.getAMathWaveLineData(0, pair, 0, 2, 200, out);
    QCOMPARE(n, 30);
    QVERIFY(std::fabs(out[3].min - (20.0 * 6 - 480)) < 1e-9);
    QVERIFY(std::fabs(out[3].max - (20.0 * 7 - 480)) < 1e-9);
    // The quotient is 0 where the divisor is.
    n = s.getAMathWaveLineData(3, pair, 0, 0.5, 200, out);
    QVERIFY(n > 0);
    for (int k = 0; k < n; ++k)
        QVERIFY(std::isfinite(out[k].min));
}

void TestSmpDataOsc::mathOneChannel()
{
    SmpDataOsc s(2, 16);
    const int g[2] = {960, 960}, sc[2] = {480, 480}, off[2] = {0, 0};
    const bool ena[2] = {false, true};
    QVERIFY(s.dataConvertStart(0, 1000000, g, sc, off, ena));
    for (int i = 0; i < 10; ++i)
        s.record(1)->samples[i] = int16_t(i);
    s.record(1)->count = 10;
    WaveLineA out[20];
    const int pair[2] = {0, 1};
    // Alone, B is the sum and its negation the difference; products are 0.
    QCOMPARE(s.getAMathWaveLineData(0, pair, 0, 1, 20, out), 10);
    QCOMPARE(out[4].min, 40.0);
    QCOMPARE(s.getAMathWaveLineData(1, pair, 0, 1, 20, out), 10);
    QCOMPARE(out[4].min, -40.0);
    QCOMPARE(s.getAMathWaveLineData(2, pair, 0, 1, 20, out), 10);
    QCOMPARE(out[4].min, 0.0);
    // Neither channel holds samples.
    const int none[2] = {0, 0};
    QCOMPARE(s.getAMathWaveLineData(0, none, 0, 1, 20, out), 0);
    QCOMPARE(s.getAMathWaveLineData(0, nullptr, 0, 1, 20, out), 0);
}

void TestSmpDataOsc::fileRoundTrip()
{
    SmpDataOsc a(2, 16);
    const int g[2] = {500, 1000}, sc[2] = {480, 320}, off[2] = {-330, 85};
    const bool ena[2] = {true, true};
    QVERIFY(a.dataConvertStart(7, 2000000, g, sc, off, ena));
    for (int c = 0; c < 2; ++c) {
        AnalogChnData* d = a.record(c);
        d->count = 1000 + c;
        d->trgIndex = 400 + c;
        for (int i = 0; i < d->count; ++i)
            d->samples[i] = int16_t(i * (c ? -33 : 31));
    }
    QBuffer buf;
    buf.open(QIODevice::ReadWrite);
    QVERIFY(a.writeFile(buf));
    QCOMPARE(buf.size(), 40 + 2 * 32 + 2 * (1000 + 1001));
    const QByteArray bytes = buf.data();
    QCOMPARE(bytes.left(6), QByteArray("bzdms\0", 6));
    QCOMPARE(bytes.mid(40, 4), QByteArray("#MA\0", 4));
    QCOMPARE(qFromLittleEndian<qint16>(bytes.constData() + 40 + 10), qint16(480));
    QCOMPARE(qFromLittleEndian<qint16>(bytes.constData() + 40 + 12), qint16(-330));
    QCOMPARE(qFromLittleEndian<qint16>(bytes.constData() + 40 + 14), qint16(500));
    buf.seek(0);
    SmpDataOsc b(2, 16);
    QVERIFY(b.readFile(buf));
    QCOMPARE(b.smpFrequ, 2000000LL);
    QCOMPARE(qFromLittleEndian<qint32>(bytes.constData() + 24), 7);
    QCOMPARE(bytes.at(28), char(0));
    QCOMPARE(b.trgRecord, 7);
    for (int c = 0; c < 2; ++c) {
        const AnalogChnData* x = a.record(c);
        const AnalogChnData* y = b.record(c);
        QVERIFY(y);
        QCOMPARE(y->count, x->count);
        QCOMPARE(y->trgIndex, x->trgIndex);
        QCOMPARE(y->scale, x->scale);
        QCOMPARE(y->offset, x->offset);
        QCOMPARE(y->gain, x->gain);
        QCOMPARE(y->smpFrequ, x->smpFrequ);
        QVERIFY(std::equal(x->samples, x->samples + x->count, y->samples));
    }
}

// A trigger record the device put past the samples is kept within them, so
// that the file written from it opens again.
void TestSmpDataOsc::fileTriggerRecordWithinSamples()
{
    SmpDataOsc a(2, 16);
    const int g[2] = {500, 500}, sc[2] = {480, 480}, off[2] = {0, 0};
    const bool ena[2] = {true, true};
    QVERIFY(a.dataConvertStart(20000, 1000000, g, sc, off, ena));
    a.record(0)->count = 10;
    a.record(1)->count = 12;
    // As the device layer sets them.
    a.record(0)->trgIndex = a.record(1)->trgIndex = 20000;
    QBuffer buf;
    buf.open(QIODevice::ReadWrite);
    QVERIFY(a.writeFile(buf));   // not completed: the writer bounds it
    QCOMPARE(qFromLittleEndian<qint32>(buf.data().constData() + 24), 12);
    buf.seek(0);
    SmpDataOsc b(2, 16);
    QVERIFY(b.readFile(buf));
    QCOMPARE(b.trgRecord, 12);
    a.dataConvertComplete();
    QCOMPARE(a.trgRecord, 12);
    QCOMPARE(a.record(0)->trgIndex, 10);
    QCOMPARE(a.record(1)->trgIndex, 12);
}

void TestSmpDataOsc::fileRefused_data()
{
    QTest::addColumn<int>("at");         // byte offset to change, -1: cut the data
    QTest::addColumn<QByteArray>("put");
    const int ch = 40;                   // first channel head
    auto le16 = [](int v) {
        QByteArray b(2, 0);
        qToLittleEndian<qint16>(qint16(v), b.data());
        return b;
    };
    auto le32 = [](int v) {
        QByteArray b(4, 0);
        qToLittleEndian<qint32>(v, b.data());
        return b;
    };
    QTest::newRow("magic") << 0 << QByteArray("bzdmx");
    QTest::newRow("channel count") << 32 << QByteArray(1, 3);
    QTest::newRow("head rate 0") << 16 << QByteArray(5, 0);
    QTest::newRow("channel magic") << ch << QByteArray("#MB");
    QTest::newRow("channel out of range") << ch + 4 << QByteArray(1, 2);
    QTest::newRow("channel repeated") << ch + 32 + 2 * 10 + 4 << QByteArray(1, 0);
    QTest::newRow("scale 0") << ch + 10 << le16(0);
    QTest::newRow("scale negative") << ch + 10 << le16(-480);
    QTest::newRow("gain 0") << ch + 14 << le16(0);
    QTest::newRow("channel rate 0") << ch + 16 << QByteArray(5, 0);
    QTest::newRow("count above a record") << ch + 28 << le32(51201);
    QTest::newRow("count negative") << ch + 28 << le32(-1);
    QTest::newRow("count beyond the data") << ch + 32 + 2 * 10 + 28 << le32(11);
    QTest::newRow("short data") << -1 << QByteArray();
}

void TestSmpDataOsc::fileRefused()
{
    QFETCH(int, at);
    QFETCH(QByteArray, put);
    QByteArray bytes = writtenPart();
    QVERIFY(!bytes.isEmpty());
    if (at < 0)
        bytes.chop(3);
    else
        bytes.replace(at, put.size(), put);
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    SmpDataOsc b(2, 16);
    QVERIFY(!b.readFile(in));
    QVERIFY(!b.record(0) && !b.record(1));
    QCOMPARE(b.smpFrequ, 0LL);
}

// The values of a written part, changed one at a time in the last channel's
// head (or in the part's head): refused outside their bounds, accepted at
// them. A changed count takes as many samples.
void TestSmpDataOsc::fileFieldsBounded_data()
{
    QTest::addColumn<int>("at");     // offset in the last channel head; -k: offset k of the part's head
    QTest::addColumn<int>("size");   // bytes of the value
    QTest::addColumn<long long>("value");
    QTest::addColumn<bool>("accepted");
    const long long thz = 1000000000000LL;
    QTest::newRow("count 0") << 28 << 4 << 0LL << false;
    QTest::newRow("count 1") << 28 << 4 << 1LL << false;
    QTest::newRow("count 2") << 28 << 4 << 2LL << true;
    QTest::newRow("channel rate 1 Hz") << 16 << 5 << 1LL << true;
    QTest::newRow("channel rate 1 THz") << 16 << 5 << thz << true;
    QTest::newRow("channel rate above 1 THz") << 16 << 5 << thz + 1 << false;
    QTest::newRow("channel rate 2^40 - 1") << 16 << 5 << (1LL << 40) - 1 << false;
    QTest::newRow("head rate 1 THz") << -16 << 5 << thz << true;
    QTest::newRow("head rate 2^40 - 1") << -16 << 5 << (1LL << 40) - 1 << false;
    QTest::newRow("head trigger at the count") << -24 << 5 << 10LL << true;
    QTest::newRow("head trigger past the count") << -24 << 5 << 11LL << false;
    QTest::newRow("head trigger 2^31") << -24 << 5 << (1LL << 31) << false;
    QTest::newRow("head trigger 2^40 - 1") << -24 << 5 << (1LL << 40) - 1 << false;
    QTest::newRow("trigger at the last sample") << 24 << 4 << 9LL << true;
    QTest::newRow("trigger at the count (right edge)") << 24 << 4 << 10LL << true;
    QTest::newRow("trigger past the count") << 24 << 4 << 11LL << false;
    QTest::newRow("trigger -5") << 24 << 4 << -5LL << false;
    QTest::newRow("trigger INT_MAX") << 24 << 4 << (long long)INT_MAX << false;
    QTest::newRow("offset 500") << 12 << 2 << 500LL << true;
    QTest::newRow("offset -500") << 12 << 2 << -500LL << true;
    QTest::newRow("offset 501") << 12 << 2 << 501LL << false;
    QTest::newRow("offset -32768") << 12 << 2 << -32768LL << false;
}

void TestSmpDataOsc::fileFieldsBounded()
{
    QFETCH(int, at);
    QFETCH(int, size);
    QFETCH(long long, value);
    QFETCH(bool, accepted);
    QByteArray bytes = writtenPart();
    QVERIFY(!bytes.isEmpty());
    const int last = 40 + 32 + 2 * 10;   // the second channel's head
    QCOMPARE(bytes.size(), last + 32 + 2 * 10);
    const int pos = at < 0 ? -at : last + at;
    for (int i = 0; i < size; ++i)
        bytes[pos + i] = char((unsigned long long)value >> (8 * i));
    if (at == 28)
        bytes.resize(last + 32 + 2 * int(value));
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    SmpDataOsc b(2, 16);
    QCOMPARE(b.readFile(in), accepted);
    QCOMPARE(b.record(1) != nullptr, accepted);
}

void TestSmpDataOsc::converterWords()
{
    // Two channels: words alternate between them, each through its own
    // converter's slope and dual zero.
    SmpDataOsc s(2, 16);
    const int g[2] = {500, 500}, sc[2] = {480, 480}, off[2] = {0, 0};
    const bool both[2] = {true, true};
    QVERIFY(s.dataConvertStart(0, 1000000, g, sc, off, both));
    OscWordState st;
    st.nEna = 2;
    st.chn[0] = 0;
    st.chn[1] = 1;
    st.slope[0] = 1100;
    st.slope[1] = 900;
    st.zero[0] = -3;
    st.zero[1] = 5;
    // raw 100, -200, 101, 32767 (saturates), split in the middle of a word
    const unsigned char part1[] = {100, 0, 0x38, 0xFF, 101};
    const unsigned char part2[] = {0, 0xFF, 0x7F};
    QCOMPARE(smpDataOscConvertWords(&s, &st, part1, sizeof part1), int(sizeof part1));
    QCOMPARE(smpDataOscConvertWords(&s, &st, part2, sizeof part2), int(sizeof part2));
    QCOMPARE(s.record(0)->count, 2);
    QCOMPARE(s.record(1)->count, 2);
    QCOMPARE(int(s.record(0)->samples[0]), 110 - 3);
    QCOMPARE(int(s.record(1)->samples[0]), -180 + 5);
    QCOMPARE(int(s.record(0)->samples[1]), 111 - 3);   // 111.1
    QCOMPARE(int(s.record(1)->samples[1]), 29490 + 5); // 32767 x 0.9 = 29490.3

    // One channel (here channel 1): the converters take turns on it, with
    // their single zeros.
    const bool one[2] = {false, true};
    QVERIFY(s.dataConvertStart(0, 1000000, g, sc, off, one));
    OscWordState st1;
    st1.nEna = 1;
    st1.chn[0] = 1;
    st1.zero[0] = 1;
    st1.zero[1] = -1;
    QByteArray words;
    for (int i = 0; i < OSC_MAX_SAMPLES + 10; ++i) {
        words.append(char(10));
        words.append(char(0));
    }
    smpDataOscConvertWords(&s, &st1, reinterpret_cast<const unsigned char*>(words.constData()), words.size());
    QVERIFY(!s.record(0));
    QCOMPARE(s.record(1)->count, OSC_MAX_SAMPLES);   // what a record holds
    QCOMPARE(int(s.record(1)->samples[0]), 11);
    QCOMPARE(int(s.record(1)->samples[1]), 9);
    QCOMPARE(int(s.record(1)->samples[2]), 11);
    // A trigger index past the samples is moved to their end.
    s.record(1)->trgIndex = 99999999;
    s.dataConvertComplete();
    QCOMPARE(s.record(1)->trgIndex, OSC_MAX_SAMPLES);
}

void TestSmpDataOsc::demonstrationSignal()
{
    SmpDataOsc s(2, 16);
    const int g[2] = {1000, 1000}, sc[2] = {480, 480}, off[2] = {0, 250};
    const bool ena[2] = {true, true};
    QVERIFY(s.dataConvertStart(0, 1000000, g, sc, off, ena));
    QRandomGenerator rng(7);
    int table[64];
    for (int i = 0; i < 64; ++i)
        table[i] = i < 32 ? 0 : 60;
    QCOMPARE(s.dataConvertSimu(nullptr, 0, 0, 500, 20480, &rng), 1);
    QCOMPARE(s.dataConvertSimu(table, 64, 1, 250, 20480, &rng), 1);
    QCOMPARE(s.dataConvertSimu(table, 64, 5, 250, 20480, &rng), 1);   // no such channel
    const AnalogChnData* a = s.record(0);
    const AnalogChnData* b = s.record(1);
    QCOMPARE(a->count, 20480);
    QCOMPARE(a->trgIndex, 10240);
    QCOMPARE(b->trgIndex, 5120);
    // Channel 0: a sine of 0.4 x scale = 192 codes around its zero line
    // (offset 0), noise of at most 3 codes on the amplitude.
    int lo = 0, hi = 0;
    for (int i = 0; i < a->count; ++i) {
        lo = std::min<int>(lo, a->samples[i]);
        hi = std::max<int>(hi, a->samples[i]);
    }
    QVERIFY(hi >= 185 && hi <= 195);
    QVERIFY(lo <= -185 && lo >= -195);
    // 5.8 periods: the measured frequency is the rate x 5.8 / count.
    double v[MeasCount];
    bool ok[MeasCount];
    s.getAParameterValues(0, 0, a->count, v, ok);
    QVERIFY(ok[MeasFrequency]);
    QVERIFY(std::fabs(v[MeasFrequency] - 1e6 * 5.8 / 20480) < 0.01 * 1e6 * 5.8 / 20480);
    // Channel 1: the square table around its zero line (offset 250 is
    // 250 x 480 / 500 = 240 codes): levels 0.8 x 240 and 0.8 x 480.
    s.getAParameterValues(1, 0, b->count, v, ok);
    QVERIFY(ok[MeasVbase] && ok[MeasVtop]);
    const double mvPerCode = 5.0 * 1000 / 480;
    QVERIFY(std::fabs(v[MeasVbase] - (192 * mvPerCode - 2500)) < 5 * mvPerCode);
    QVERIFY(std::fabs(v[MeasVtop] - (384 * mvPerCode - 2500)) < 5 * mvPerCode);
}

QTEST_GUILESS_MAIN(TestSmpDataOsc)
#include "test_smpdataosc.moc"
