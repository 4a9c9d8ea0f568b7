#include <QtTest>

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <memory>

#include "Analyzer.h"
#include "AnalyzerResults.h"
#include "config/Config.h"
#include "data/SmpData.h"
#include "device/DevGlobals.h"
#include "device/DevNone.h"
#include "support/TestEnv.h"
#include "view/ItemWaveLine.h"
#include "view/RowPaint.h"
#include "view/WaveDataGen.h"

namespace {

// Frames sorted by start, answered like the analyzer library does, with a
// record of the lowest sample any query asked for.
class VecFrames : public RowPaint::FrameSource
{
public:
    QVector<QPair<qint64, qint64>> frames;
    mutable qint64 lowestQuery = LLONG_MAX;
    mutable int queries = 0;

    bool framesInRange(int64_t a, int64_t b, uint64_t* first, uint64_t* last) const override
    {
        ++queries;
        lowestQuery = std::min<qint64>(lowestQuery, a);
        bool any = false;
        for (int i = 0; i < frames.size(); ++i) {
            if (frames[i].first <= b && frames[i].second >= a) {
                if (!any)
                    *first = uint64_t(i);
                *last = uint64_t(i);
                any = true;
            }
        }
        return any;
    }
    void frame(uint64_t i, int64_t* s, int64_t* e) const override
    {
        *s = frames[int(i)].first;
        *e = frames[int(i)].second;
    }
};

class VecMarkers : public RowPaint::MarkerSource
{
public:
    QVector<qint64> samples;
    mutable qint64 lowestQuery = LLONG_MAX;

    bool markersInRange(int64_t a, int64_t b, uint64_t* first, uint64_t* last) const override
    {
        lowestQuery = std::min<qint64>(lowestQuery, a);
        bool any = false;
        for (int i = 0; i < samples.size(); ++i) {
            if (samples[i] >= a && samples[i] <= b) {
                if (!any)
                    *first = uint64_t(i);
                *last = uint64_t(i);
                any = true;
            }
        }
        return any;
    }
    uint64_t count() const override { return uint64_t(samples.size()); }
    bool marker(uint64_t i, int* type, int64_t* sample) const override
    {
        if (i >= uint64_t(samples.size()))
            return false;
        *type = int(i % 12);
        *sample = samples[int(i)];
        return true;
    }
};

typedef QVector<QPair<qint64, qint64>> FrameList;
typedef QVector<qint64> SampleList;

// Bubbles show the shortest text that fits of "7", "0x07", "Data 0x07".
class TextResults : public AnalyzerResults
{
public:
    void GenerateBubbleText(U64, Channel&, DisplayBase) override
    {
        ClearResultStrings();
        AddResultString("7");
        AddResultString("0x07");
        AddResultString("Data 0x07");
    }
    void GenerateExportFile(const char*, DisplayBase, U32) override {}
    void GenerateFrameTabularText(U64, DisplayBase) override {}
    void GeneratePacketTabularText(U64, DisplayBase) override {}
    void GenerateTransactionTabularText(U64, DisplayBase) override {}
};

class StubAnalyzer : public Analyzer
{
public:
    explicit StubAnalyzer(AnalyzerResults* r) { SetAnalyzerResults(r); }
    ~StubAnalyzer() override { KillThread(); }
    void WorkerThread() override {}
    U32 GenerateSimulationData(U64, U32, SimulationChannelDescriptor**) override { return 0; }
    U32 GetMinimumSampleRateHz() override { return 1; }
    const char* GetAnalyzerName() const override { return "Stub"; }
};

Frame makeFrame(S64 a, S64 b)
{
    Frame f;
    f.mStartingSampleInclusive = a;
    f.mEndingSampleInclusive = b;
    return f;
}

QImage blank(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    return img;
}

int paintedPixels(const QImage& img)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qAlpha(img.pixel(x, y)) != 0)
                ++n;
    return n;
}

} // namespace

class TestRowPainter : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void levelLines_data();
    void levelLines();
    void bubbleTextX_data();
    void bubbleTextX();
    void fitBubbleText();
    void textWidthsFollowTheFont();
    void walkFrames_data();
    void walkFrames();
    void walkFramesNeverBelowZero();
    void walkMarkers_data();
    void walkMarkers();
    void markerShapes();
    void background_data();
    void background();
    void recordsDrawn();
    void recordsAsDrawnLineByLine_data();
    void recordsAsDrawnLineByLine();
    void emptyCaptureDrawsNothing();
    void bubbleOfOnePixel();
    void overlayWithoutScale();
    void paintFromGenerator();

private:
    std::unique_ptr<TextResults> results;
    std::unique_ptr<StubAnalyzer> analyzer;
};

void TestRowPainter::initTestCase()
{
    TestEnv::isolateUserData();
    Config::initColors();
    Config::fontNarrow = QFont();
    Config::fontNarrow.setPixelSize(12);
}

void TestRowPainter::init()
{
    Config::dpi = 96;
    Config::colorWaveLine = false;
}

void TestRowPainter::cleanup()
{
    ItemWaveLine::usingChnAnalyzers = nullptr;
    ItemWaveLine::analyzerDisplayFormat = nullptr;
    analyzer.reset();
    results.reset();
}

void TestRowPainter::levelLines_data()
{
    QTest::addColumn<int>("dpi");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("low");
    QTest::newRow("30 high") << 96 << 30 << 7 << 25;
    QTest::newRow("400 high") << 96 << 400 << 24 << 379;
    QTest::newRow("100 high") << 96 << 100 << 14 << 88;
    QTest::newRow("200 high: both clamped") << 96 << 200 << 24 << 179;
    QTest::newRow("60 high at 192 dpi") << 192 << 60 << 15 << 53;
    QTest::newRow("800 high at 192 dpi") << 192 << 800 << 48 << 759;
}

void TestRowPainter::levelLines()
{
    QFETCH(int, dpi);
    QFETCH(int, height);
    Config::dpi = dpi;
    const RowPaint::LevelLines l = RowPaint::levelLines(height);
    QTEST(l.high, "high");
    QTEST(l.low, "low");
}

void TestRowPainter::bubbleTextX_data()
{
    QTest::addColumn<qint64>("x1");
    QTest::addColumn<qint64>("x2");
    QTest::addColumn<int>("tw");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("tx");
    QTest::newRow("no text") << qint64(10) << qint64(110) << 0 << 500 << 0;
    QTest::newRow("centred") << qint64(10) << qint64(110) << 20 << 500 << 50;
    QTest::newRow("left of view, fits before end") << qint64(-100) << qint64(50) << 20 << 500 << 0;
    QTest::newRow("left of view, too short") << qint64(-100) << qint64(10) << 20 << 500 << -11;
    QTest::newRow("past right edge") << qint64(450) << qint64(600) << 40 << 500 << 459;
    QTest::newRow("past right edge, too short") << qint64(480) << qint64(600) << 40 << 500 << 481;
}

void TestRowPainter::bubbleTextX()
{
    QFETCH(qint64, x1);
    QFETCH(qint64, x2);
    QFETCH(int, tw);
    QFETCH(int, width);
    QTEST(RowPaint::bubbleTextX(x1, x2, tw, width), "tx");
}

void TestRowPainter::fitBubbleText()
{
    const QFontMetrics fm(Config::fontNarrow);
    const QStringList texts{"7", "0x07", "Data 0x07"};
    const int wide = fm.horizontalAdvance("Data 0x07");
    const int mid = fm.horizontalAdvance("0x07");
    const int one = fm.horizontalAdvance("7");

    RowPaint::BubbleText t = RowPaint::fitBubbleText(texts, wide, fm);
    QCOMPARE(t.text, QString("Data 0x07"));
    QCOMPARE(t.width, wide);
    t = RowPaint::fitBubbleText(texts, wide - 1, fm);
    QCOMPARE(t.text, QString("0x07"));
    QCOMPARE(t.width, mid);
    t = RowPaint::fitBubbleText(texts, one, fm);
    QCOMPARE(t.text, QString("7"));

    // Nothing fits: "..." in a bubble wider than 11 pixels, no text otherwise.
    const QStringList longOnly{"A very long bubble text"};
    t = RowPaint::fitBubbleText(longOnly, 12, fm);
    QCOMPARE(t.text, QString("..."));
    QCOMPARE(t.width, Config::pixel(10));
    t = RowPaint::fitBubbleText(longOnly, 11, fm);
    QVERIFY(t.text.isEmpty());
    QCOMPARE(t.width, 0);
}

void TestRowPainter::textWidthsFollowTheFont()
{
    QFont small;
    small.setPixelSize(10);
    QFont large;
    large.setPixelSize(30);
    const QFontMetrics fs(small), fl(large);
    RowPaint::TextWidths cache;
    const QStringList texts{"7", "0x07", "Data 0x07", ""};
    for (int round = 0; round < 2; ++round) {
        cache.useFont(small);
        for (const QString& t : texts)
            QCOMPARE(cache.width(t, fs), fs.horizontalAdvance(t));
        // Another font forgets the widths taken in the first.
        cache.useFont(large);
        for (const QString& t : texts)
            QCOMPARE(cache.width(t, fl), fl.horizontalAdvance(t));
    }
    // The cached fit is the measured one.
    cache.useFont(small);
    for (int room : {0, 5, 20, 40, 80}) {
        const RowPaint::BubbleText a = RowPaint::fitBubbleText(texts.mid(0, 3), room, fs);
        const RowPaint::BubbleText b = RowPaint::fitBubbleText(texts.mid(0, 3), room, fs, &cache);
        QCOMPARE(b.text, a.text);
        QCOMPARE(b.width, a.width);
    }
}

void TestRowPainter::walkFrames_data()
{
    QTest::addColumn<FrameList>("frames");
    QTest::addColumn<double>("s0");
    QTest::addColumn<double>("e");
    QTest::addColumn<double>("k");
    QTest::addColumn<QVector<quint64>>("bubbles");

    QTest::newRow("one pixel wide gets a bubble, a narrower one not")
        << FrameList{{10, 11}, {20, 20}} << 0.0 << 1000.0 << 1.0 << QVector<quint64>{0};
    QTest::newRow("two samples per pixel")
        << FrameList{{100, 102}, {200, 201}} << 0.0 << 1000.0 << 2.0 << QVector<quint64>{0};
    // A frame ending where the next chunk starts is still visited once.
    QTest::newRow("single long frame once") << FrameList{{0, 100}} << 0.0 << 1000.0 << 1.0 << QVector<quint64>{0};
    QTest::newRow("adjacent frames") << FrameList{{0, 100}, {101, 300}, {301, 301}} << 0.0 << 1000.0 << 1.0
                                     << QVector<quint64>{0, 1};
    QTest::newRow("nested frame hidden under its parent")
        << FrameList{{0, 100}, {10, 20}, {50, 300}} << 0.0 << 400.0 << 1.0 << QVector<quint64>{0, 2};
    QTest::newRow("frame left of the view start")
        << FrameList{{0, 500}, {600, 700}} << 250.0 << 1000.0 << 1.0 << QVector<quint64>{0, 1};
    QTest::newRow("past the range end") << FrameList{{10, 20}, {2000, 2100}} << 0.0 << 1000.0 << 1.0
                                        << QVector<quint64>{0};
    QTest::newRow("crowded frames, last per pixel")
        << FrameList{{0, 0}, {3, 3}, {6, 6}, {9, 9}} << 0.0 << 100.0 << 10.0 << QVector<quint64>{};
    QTest::newRow("scale 0 does nothing") << FrameList{{10, 20}} << 0.0 << 1000.0 << 0.0 << QVector<quint64>{};
    QTest::newRow("view wholly before the data") << FrameList{{10, 20}} << -500.0 << -10.0 << 1.0
                                                 << QVector<quint64>{};
    // A plug-in may leave a frame open to the end of time (or from its start).
    QTest::newRow("frame ending at the largest sample")
        << FrameList{{10, LLONG_MAX}} << 0.0 << 1000.0 << 1.0 << QVector<quint64>{0};
    QTest::newRow("frame starting at the smallest sample")
        << FrameList{{LLONG_MIN, 20}, {100, 200}} << 0.0 << 1000.0 << 1.0 << QVector<quint64>{0, 1};
}

void TestRowPainter::walkFrames()
{
    QFETCH(FrameList, frames);
    QFETCH(double, s0);
    QFETCH(double, e);
    QFETCH(double, k);
    QFETCH(QVector<quint64>, bubbles);
    VecFrames src;
    src.frames = frames;
    const QVector<uint64_t> got = RowPaint::walkFrames(src, s0, e, k);
    QVector<quint64> g;
    for (uint64_t i : got)
        g.append(i);
    QCOMPARE(g, bubbles);
    // Bounded by the width in pixels, never by a stuck position.
    QVERIFY(src.queries <= int(std::max(0.0, e - s0)) + 2);
}

void TestRowPainter::walkFramesNeverBelowZero()
{
    VecFrames frames;
    frames.frames = {{0, 40}, {50, 90}};
    QCOMPARE(RowPaint::walkFrames(frames, -300.5, 200, 1).size(), 2);
    QCOMPARE(frames.lowestQuery, qint64(0));

    VecMarkers markers;
    markers.samples = {5, 100};
    QCOMPARE(RowPaint::walkMarkers(markers, -300.5, 200, 1).size(), 2);
    QCOMPARE(markers.lowestQuery, qint64(0));
}

void TestRowPainter::walkMarkers_data()
{
    QTest::addColumn<SampleList>("samples");
    QTest::addColumn<double>("k");
    QTest::addColumn<SampleList>("drawn");

    QTest::newRow("three markers 2 pixels apart") << SampleList{100, 102, 104} << 1.0 << SampleList{};
    QTest::newRow("8 pixels from each neighbour") << SampleList{100, 108, 116} << 1.0 << SampleList{100, 108, 116};
    QTest::newRow("7 pixels is too close") << SampleList{100, 107} << 1.0 << SampleList{};
    QTest::newRow("close pair then a lone one") << SampleList{100, 102, 200} << 1.0 << SampleList{200};
    QTest::newRow("single marker") << SampleList{500} << 1.0 << SampleList{500};
    QTest::newRow("several in one pixel") << SampleList{100, 101, 300} << 1.0 << SampleList{300};
    QTest::newRow("10 samples per pixel, 8 pixels") << SampleList{1000, 1080} << 10.0 << SampleList{1000, 1080};
    QTest::newRow("10 samples per pixel, 7 pixels") << SampleList{1000, 1070} << 10.0 << SampleList{};
    QTest::newRow("beyond the range end") << SampleList{100, 5000} << 1.0 << SampleList{100};
}

void TestRowPainter::walkMarkers()
{
    QFETCH(SampleList, samples);
    QFETCH(double, k);
    QFETCH(SampleList, drawn);
    VecMarkers src;
    src.samples = samples;
    SampleList got;
    for (const RowPaint::MarkerHit& h : RowPaint::walkMarkers(src, 0, 2000 * k, k))
        got.append(h.sample);
    QCOMPARE(got, drawn);
}

void TestRowPainter::markerShapes()
{
    // Each of the twelve shapes leaves a mark around its centre; others none.
    for (int type = -1; type <= 12; ++type) {
        QImage img = blank(40, 40);
        QPainter p(&img);
        RowPaint::drawMarker(&p, type, 20, 20, Qt::yellow);
        p.end();
        const int n = paintedPixels(img);
        if (type < 0 || type > 11)
            QVERIFY2(n == 0, qPrintable(QString("type %1 drew %2 pixels").arg(type).arg(n)));
        else
            QVERIFY2(n > 0, qPrintable(QString("type %1 drew nothing").arg(type)));
    }
}

void TestRowPainter::background_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("height");
    QTest::addColumn<QString>("color");
    QTest::newRow("even") << 0 << 20 << "#3f3f3f";
    QTest::newRow("odd") << 3 << 20 << "#1f1f23";
    QTest::newRow("empty row") << 1 << 0 << "";
}

void TestRowPainter::background()
{
    QFETCH(int, index);
    QFETCH(int, height);
    QFETCH(QString, color);
    ItemWaveBackground bg(index);
    bg.setSize(30, height);
    QCOMPARE(bg.boundingRect(), QRectF(0, 0, 30, height));
    QImage img = blank(30, 20);
    QPainter p(&img);
    bg.paint(&p, nullptr, nullptr);
    p.end();
    if (color.isEmpty())
        QCOMPARE(paintedPixels(img), 0);
    else
        QCOMPARE(QColor(img.pixel(15, 10)), QColor(color));
}

void TestRowPainter::recordsDrawn()
{
    ItemWaveLine line(0, nullptr);
    line.setSize(100, 30); // levels at y 7 and 25
    const WaveLine recs[] = {{0, 10, 1}, {10, 1, 2}, {10, 20, 0}, {40, 5, 7}};
    RowView v;
    v.lines = recs;
    v.lineCount = 4;
    v.scale = 1;
    v.smpCount = 1000;
    QImage img = blank(100, 30);
    QPainter p(&img);
    line.paintView(&p, v);
    p.end();
    const QColor grey = Config::grayColor.at(0);
    QCOMPARE(QColor(img.pixel(5, 7)), grey);
    QCOMPARE(QColor(img.pixel(10, 16)), grey);
    QCOMPARE(QColor(img.pixel(20, 25)), grey);
    QCOMPARE(qAlpha(img.pixel(5, 25)), 0);
    QCOMPARE(qAlpha(img.pixel(42, 7)), 0); // unknown level draws nothing
    QCOMPARE(qAlpha(img.pixel(42, 25)), 0);

    // Coloured waveforms use the channel colour made lighter.
    Config::colorWaveLine = true;
    QImage col = blank(100, 30);
    QPainter pc(&col);
    line.paintView(&pc, v);
    pc.end();
    QCOMPARE(QColor(col.pixel(5, 7)).rgb(), Config::chnColor.at(0).lighter(120).rgb());
}

namespace {

// Records as the generator lays them out (runs between edge columns, long
// series of neighbouring edge columns, a zero-width last run) followed by
// arbitrary ones: out-of-order, overlapping, reaching past the row, unknown
// levels.
QVector<WaveLine> mixedRecords(int width, uint32_t seed)
{
    QVector<WaveLine> r;
    uint32_t s = seed;
    auto rnd = [&s](int n) {
        s = s * 1664525u + 1013904223u;
        return int((s >> 8) % uint32_t(n));
    };
    int x = 0;
    int level = rnd(2);
    while (x < width) {
        if (rnd(3) == 0) {
            const int n = 1 + rnd(40);
            for (int i = 0; i < n && x < width; ++i)
                r.append({x++, 1, 2});
        } else {
            const int w = std::min(width - 1 - x, 1 + rnd(12));
            r.append({x, w, level});
            x += std::max(w, 1);
            if (x < width)
                r.append({x++, 1, 2});
        }
        level = rnd(2);
    }
    r.append({width - 1, 0, level});
    for (int i = 0; i < 30; ++i)
        r.append({rnd(width + 20) - 10, rnd(30), rnd(4)});
    return r;
}

// The row as drawn one record at a time with the row's pen.
QImage linesOneByOne(const QVector<WaveLine>& recs, const QSize& size, int h, const QColor& c,
                     const QTransform& t)
{
    const int px = Config::pixel(1);
    const RowPaint::LevelLines lv = RowPaint::levelLines(h);
    QImage img = blank(size.width(), size.height());
    QPainter p(&img);
    p.setTransform(t);
    QPen pen(c);
    pen.setWidth(px);
    pen.setCapStyle(Qt::SquareCap);
    pen.setJoinStyle(Qt::BevelJoin);
    p.setPen(pen);
    p.setRenderHint(QPainter::Antialiasing, false);
    for (const WaveLine& r : recs) {
        const int x = r.x * px + px / 2;
        if (r.level == 1)
            p.drawLine(x, lv.high, x + r.width * px, lv.high);
        else if (r.level == 0)
            p.drawLine(x, lv.low, x + r.width * px, lv.low);
        else if (r.level == 2)
            p.drawLine(x, lv.high, x, lv.low);
    }
    return img;
}

} // namespace

void TestRowPainter::recordsAsDrawnLineByLine_data()
{
    QTest::addColumn<int>("dpi");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("margin");   // logical pixels of image around the row
    QTest::addColumn<QTransform>("transform");
    for (int dpi : {96, 144, 192, 288, 384, 480})
        for (int h : {4, 5, 12, 30, 61, 200}) {
            const QByteArray name = QByteArray::number(dpi) + " dpi, " + QByteArray::number(h) + " high";
            QTest::newRow(name.constData()) << dpi << h << 50 << QTransform();
            QTest::newRow((name + ", moved").constData()) << dpi << h << 50 << QTransform::fromTranslate(-7, 3);
            // Lines cut by the image edge: Qt rounds wide lines cut there
            // inconsistently when they are 3 or more pixels wide (a long
            // line loses a column that a short one keeps), so those are
            // compared uncut only.
            if (dpi / 96 < 3) {
                QTest::newRow((name + ", cut").constData()) << dpi << h << 0 << QTransform();
                QTest::newRow((name + ", cut and moved").constData()) << dpi << h << 0 << QTransform::fromTranslate(-7, 3);
            }
        }
    // Painters that do not map onto whole pixels draw the lines themselves.
    QTest::newRow("moved by half a pixel") << 96 << 30 << 50 << QTransform::fromTranslate(0.5, 0.5);
    QTest::newRow("scaled") << 96 << 30 << 50 << QTransform::fromScale(1.5, 1.5);
    QTest::newRow("scaled at 192 dpi") << 192 << 60 << 50 << QTransform::fromScale(0.75, 1.25);
}

void TestRowPainter::recordsAsDrawnLineByLine()
{
    // However the records are batched, the row shows exactly the pixels of
    // drawing each record as its own line.
    QFETCH(int, dpi);
    QFETCH(int, height);
    QFETCH(int, margin);
    QFETCH(QTransform, transform);
    Config::dpi = dpi;
    const int px = Config::pixel(1);
    const int w = 400 * px;
    const int m = margin * px;
    const QSize size(w + 2 * m, height + 2 * m);
    const QTransform t = transform * QTransform::fromTranslate(m, m);
    for (bool coloured : {false, true}) {
        Config::colorWaveLine = coloured;
        ItemWaveLine line(3, nullptr);
        line.setSize(w, height);
        for (uint32_t seed = 1; seed <= 4; ++seed) {
            const QVector<WaveLine> recs = mixedRecords(w / px + 2, seed);
            RowView v;
            v.lines = recs.constData();
            v.lineCount = recs.size();
            v.scale = 1;
            v.smpCount = 1000;
            QImage img = blank(size.width(), size.height());
            QPainter p(&img);
            p.setTransform(t);
            line.paintView(&p, v);
            p.end();
            const QColor c = coloured ? line.color : Config::grayColor.at(0);
            const QImage ref = linesOneByOne(recs, size, height, c, t);
            QVERIFY2(img == ref, qPrintable(QString("seed %1, coloured %2").arg(seed).arg(coloured)));
        }
    }
}

void TestRowPainter::emptyCaptureDrawsNothing()
{
    ItemWaveLine line(1, nullptr);
    const WaveLine recs[] = {{0, 50, 1}};
    RowView v;
    v.lines = recs;
    v.lineCount = 1;
    v.scale = 1;
    line.setSize(100, 30);
    QImage img = blank(100, 30);
    QPainter p(&img);
    line.paintView(&p, v); // no samples
    line.setSize(100, 0);
    v.smpCount = 100;
    line.paintView(&p, v); // no height
    // The generator-driven paint without a generator or device: nothing.
    line.setSize(100, 30);
    line.paint(&p, nullptr, nullptr);
    p.end();
    QCOMPARE(paintedPixels(img), 0);
}

void TestRowPainter::bubbleOfOnePixel()
{
    results.reset(new TextResults);
    const Channel chn(0, 2);
    results->AddChannelBubblesWillAppearOn(chn);
    results->AddFrame(makeFrame(50, 51));   // exactly one pixel: bubble
    results->AddFrame(makeFrame(100, 100)); // narrower: none
    results->AddFrame(makeFrame(150, 180)); // wide: bubble with text
    results->CommitResults();
    analyzer.reset(new StubAnalyzer(results.get()));
    StubAnalyzer* a = analyzer.get();
    QVector<int> asked;
    ItemWaveLine::usingChnAnalyzers = [a, &asked](int c) {
        asked.append(c);
        return QVector<Analyzer*>{a};
    };
    ItemWaveLine::analyzerDisplayFormat = [](Analyzer*) { return int(Hexadecimal); };

    ItemWaveLine line(2, nullptr);
    line.setSize(300, 40);
    RowView v;
    v.scale = 1;
    v.smpCount = 1000;
    QImage img = blank(300, 40);
    QPainter p(&img);
    line.paintView(&p, v);
    p.end();
    QCOMPARE(asked, QVector<int>{2});

    const QColor outline = Config::chnColor.at(2); // grey waveforms: channel colour
    QCOMPARE(QColor(img.pixel(50, 7)), outline);
    QCOMPARE(qAlpha(img.pixel(100, 7)), 0);
    // (text may touch the edges between its ascent and baseline)
    QCOMPARE(QColor(img.pixel(150, 13)), outline);
    QCOMPARE(QColor(img.pixel(180, 13)), outline);
    QCOMPARE(QColor(img.pixel(165, 0)), outline);
    QCOMPARE(QColor(img.pixel(165, 14)), outline);
    QCOMPARE(qAlpha(img.pixel(165, 20)), 0);
    // The bubble is filled, and its light text sits inside it.
    QCOMPARE(img.pixel(165, 13), qRgba(31, 31, 35, 207));
    bool text = false;
    for (int x = 151; x < 180; ++x)
        for (int y = 1; y < 14; ++y)
            if (qRed(img.pixel(x, y)) > 150 && qAlpha(img.pixel(x, y)) == 255)
                text = true;
    QVERIFY(text);
}

void TestRowPainter::overlayWithoutScale()
{
    results.reset(new TextResults);
    const Channel chn(0, 0);
    results->AddChannelBubblesWillAppearOn(chn);
    results->AddFrame(makeFrame(0, 500));
    results->AddMarker(10, AnalyzerResults::Start, chn);
    results->CommitResults();
    analyzer.reset(new StubAnalyzer(results.get()));
    StubAnalyzer* a = analyzer.get();
    ItemWaveLine::usingChnAnalyzers = [a](int) { return QVector<Analyzer*>{a}; };

    // Before the first capture is placed the scale is 0: the overlay is
    // skipped instead of dividing by it.
    ItemWaveLine line(0, nullptr);
    line.setSize(200, 40);
    RowView v;
    v.smpCount = 1000;
    QImage img = blank(200, 40);
    QPainter p(&img);
    line.paintView(&p, v);
    // At zero width there is nothing to place either.
    line.setSize(0, 40);
    v.scale = 1;
    line.paintView(&p, v);
    p.end();
    QCOMPARE(paintedPixels(img), 0);
}

void TestRowPainter::paintFromGenerator()
{
    // Channel 1 of a 100000-sample capture rises at 10000 and falls at
    // 60000; the whole capture across 100 logical pixels.
    DevNone dev;
    devUsing = &dev;
    SmpData* s = dev.shownData();
    QVector<bool> ena(s->chnNum, false);
    ena[1] = true;
    QVERIFY(s->dataConvertStart(0, 1000000, ena));
    QVERIFY(s->appendEdge(1, 10000));
    QVERIFY(s->appendEdge(1, 60000));
    s->smpDepth = 100000;
    QVERIFY(s->dataConvertComplete(100000));
    {
        WaveDataGen gen;
        gen.devModelChanged();
        gen.setViewWidth(100);
        gen.zoomAll();
        QCOMPARE(gen.scale, 1000.0);

        ItemWaveLine line(1, &gen);
        line.setSize(100, 30); // levels at y 7 and 25
        QImage img = blank(100, 30);
        QPainter p(&img);
        line.paint(&p, nullptr, nullptr);
        p.end();
        auto on = [&](int x, int y) { return qAlpha(img.pixel(x, y)) != 0; };
        QVERIFY(on(5, 25) && !on(5, 7));    // low before the rise
        QVERIFY(on(10, 16));                // the rising edge
        QVERIFY(on(30, 7) && !on(30, 25));  // high
        QVERIFY(on(60, 16));                // the falling edge
        QVERIFY(on(80, 25) && !on(80, 7));  // low again
        gen.quiesce();
    }
    devUsing = nullptr;
}

QTEST_MAIN(TestRowPainter)
#include "test_rowpainter.moc"
