// Oscilloscope scene items painted into images, and the analog display
// generator's windows over a capture of the mixed-signal model.
#include <QtTest>

#include <QGraphicsScene>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <memory>

#include "config/Config.h"
#include "data/SmpDataOsc.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "osc/DevMS.h"
#include "osc/OscItems.h"
#include "osc/WaveDataGenOsc.h"
#include "support/TestEnv.h"

namespace {

QImage blank(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::black);
    return img;
}

void paintItem(QGraphicsItem* item, QImage& img)
{
    QPainter p(&img);
    item->paint(&p, nullptr, nullptr);
}

bool isBlack(const QImage& img, int x, int y)
{
    return img.pixel(x, y) == qRgb(0, 0, 0);
}

int colouredInColumn(const QImage& img, int x)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        n += isBlack(img, x, y) ? 0 : 1;
    return n;
}

// Fills the shown analog store of dev: channel 0 a ramp over `count`
// samples at `rate`, trigger at `trg`.
void fillShown(DevBase* dev, int count, long long rate, int trg)
{
    SmpDataOsc* s = dev->shownDataOsc();
    const int g[2] = {1000, 1000}, sc[2] = {480, 480}, off[2] = {0, 0};
    const bool ena[2] = {true, true};
    QVERIFY(s->dataConvertStart(0, rate, g, sc, off, ena));
    for (int c = 0; c < 2; ++c) {
        AnalogChnData* d = s->record(c);
        for (int i = 0; i < count; ++i)
            d->samples[i] = int16_t((i % 400) - 200);
        d->count = count;
        d->trgIndex = trg;
    }
}

} // namespace

class TestOscItems : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        Config::init();
        Config::dpi = 96;
        Config::initColors();
    }
    void init()
    {
        Config::setDefaultDocument();
        devUsing = new DevPoplar;
    }
    void cleanup()
    {
        delete devUsing;
        devUsing = nullptr;
    }

    void grid();
    void traceClamping();
    void traceColumns();
    void traceItem();
    void markers();
    void cursors();
    void indicator();
    void generatorWindows();
    void generatorLimits();
    void mathTrace();
};

void TestOscItems::grid()
{
    WaveBackgroundOsc g;
    // Height 0 paints nothing.
    g.setSize(303, 0);
    QImage none = blank(303, 203);
    paintItem(&g, none);
    QCOMPARE(none, blank(303, 203));

    g.setSize(303, 203);
    QCOMPARE(g.boundingRect(), QRectF(0, 0, 303, 203));
    QImage img = blank(303, 203);
    paintItem(&g, img);
    const QRgb line = Config::grayColor[2].rgb();
    // The frame, and nine lines each way at (k x 300 / 10 + 1): x = 31,
    // 61, ..., the centre at 151 dashed, the others dotted.
    QCOMPARE(img.pixel(0, 100), line);
    QCOMPARE(img.pixel(100, 0), line);
    for (int k = 1; k <= 9; ++k) {
        const int x = 30 * k + 1;
        QVERIFY2(colouredInColumn(img, x) > 30, qPrintable(QString::number(x)));
        QVERIFY2(colouredInColumn(img, x) < 190, qPrintable(QString::number(x)));   // dotted or dashed
        QVERIFY(isBlack(img, x + 10, 15 + 20 * (k - 1)));
    }
    // Rows: (k x 200 / 10 + 1).
    int onRow = 0;
    for (int x = 0; x < 303; ++x)
        onRow += img.pixel(x, 101) == line ? 1 : 0;
    QVERIFY(onRow > 50);
    QVERIFY(isBlack(img, 15, 10));
}

void TestOscItems::traceClamping()
{
    // A value far outside the screen lands on the top or bottom row.
    QImage img = blank(20, 50);
    const WaveLineA cols[] = {{5, 1e12, -1e12, 0}};
    {
        QPainter p(&img);
        p.setPen(Qt::white);
        WaveLineOsc::paintTrace(&p, cols, 1, 25, 0.1, 50, 1);
    }
    QCOMPARE(img.pixel(5, 0), qRgb(255, 255, 255));
    QCOMPARE(img.pixel(5, 49), qRgb(255, 255, 255));
    // One column in min/max form draws only its stroke.
    QCOMPARE(colouredInColumn(img, 5), 50);
    for (int x : {4, 6})
        QCOMPARE(colouredInColumn(img, x), 0);
    // Values that are not finite draw nothing; nor do a height or count of 0.
    QImage nothing = blank(20, 50);
    const WaveLineA bad[] = {{3, NAN, 0, 0}, {4, INFINITY, -INFINITY, 0}};
    const WaveLineA single[] = {{3, NAN, NAN, 1}};
    {
        QPainter p(&nothing);
        p.setPen(Qt::white);
        WaveLineOsc::paintTrace(&p, bad, 2, 25, 0.1, 50, 1);
        WaveLineOsc::paintTrace(&p, single, 1, 25, 0.1, 50, 1);
        WaveLineOsc::paintTrace(&p, cols, 1, 25, 0.1, 0, 1);
        WaveLineOsc::paintTrace(&p, cols, 0, 25, 0.1, 50, 1);
        WaveLineOsc::paintTrace(&p, cols, 1, 25, NAN, 50, 1);
    }
    QCOMPARE(nothing, blank(20, 50));
}

void TestOscItems::traceColumns()
{
    // Columns that do not overlap are joined: a step down from column 2 to 3.
    QImage img = blank(10, 100);
    const WaveLineA cols[] = {{2, 100, 90, 0}, {3, -100, -110, 0}};
    {
        QPainter p(&img);
        p.setPen(Qt::white);
        WaveLineOsc::paintTrace(&p, cols, 2, 50, 0.1, 100, 1);   // y = 50 - v / 10
    }
    // Column 2 from y 40 to 41, column 3 from 60 to 61, the join between.
    QCOMPARE(img.pixel(2, 40), qRgb(255, 255, 255));
    QCOMPARE(img.pixel(3, 61), qRgb(255, 255, 255));
    QVERIFY(colouredInColumn(img, 2) + colouredInColumn(img, 3) > 15);
    // Single values: a polyline through them.
    QImage poly = blank(10, 100);
    const WaveLineA pts[] = {{0, 0, 0, 1}, {8, 0, 0, 1}};
    {
        QPainter p(&poly);
        p.setPen(Qt::white);
        WaveLineOsc::paintTrace(&p, pts, 2, 50, 0.1, 100, 1);
    }
    for (int x = 0; x <= 8; ++x)
        QCOMPARE(poly.pixel(x, 50), qRgb(255, 255, 255));
}

void TestOscItems::traceItem()
{
    fillShown(devUsing, 4000, 1000000, 2000);
    devUsing->aChnEna = {true, false};
    WaveDataGenOsc gen;
    gen.setViewWidth(200);
    gen.zoomFirst();
    WaveLineOsc w(&gen);
    w.setSize(201, 101);
    QImage img = blank(201, 101);
    paintItem(&w, img);
    // Channel 0's line in its colour (yellow: no blue); channel 1 is off.
    int hits = 0;
    for (int y = 0; y < 101; ++y) {
        for (int x = 0; x < 201; ++x) {
            const QRgb c = img.pixel(x, y);
            QVERIFY(qBlue(c) <= qRed(c));
            hits += isBlack(img, x, y) ? 0 : 1;
        }
    }
    QVERIFY(hits > 150);
    // Height 0, or a V/div of nothing: nothing.
    w.setSize(201, 0);
    QImage none = blank(201, 101);
    paintItem(&w, none);
    QCOMPARE(none, blank(201, 101));
}

void TestOscItems::markers()
{
    OscChnTag tag(0);
    QCOMPARE(tag.boundingRect(), QRectF(0, 0, 11, 11));
    QCOMPARE(tag.text, QString("1"));
    QVERIFY(tag.showText);
    QCOMPARE(tag.color, Config::chnColorOsc[0].lighter(120));
    QVERIFY(tag.acceptHoverEvents());
    QVERIFY(tag.flags() & QGraphicsItem::ItemIsSelectable);
    // The math tag: id = the analog channel count; white, no number.
    OscChnTag math(2);
    QCOMPARE(math.color, QColor(Qt::white));
    QVERIFY(!math.showText);
    OscChnInfor box(-3);
    QCOMPARE(box.id, 0);
    QVERIFY(!box.isVisible());
    QVERIFY(!box.acceptHoverEvents());
    OscTriggerTime t(1, false);
    QImage img = blank(11, 11);
    paintItem(&t, img);
    // The second trigger-time marker is filled black inside a green outline.
    QCOMPARE(img.pixel(5, 3), qRgb(0, 0, 0));
    QVERIFY(qGreen(img.pixel(0, 0)) > 200);
    OscTriggerTime main(0, true);
    QImage img2 = blank(11, 11);
    paintItem(&main, img2);
    QVERIFY(qGreen(img2.pixel(5, 3)) > 200);
    // A trigger-level box: its dashed line lies along the bottom edge.
    OscTriggerVoltInfor lvl(1);
    lvl.length = 200;
    lvl.text = "1.65V";
    QImage img3 = blank(200, 20);
    paintItem(&lvl, img3);
    int dashed = 0;
    for (int x = 0; x < 100; ++x)
        dashed += isBlack(img3, x, 18) ? 0 : 1;
    QVERIFY(dashed > 20 && dashed < 100);
}

void TestOscItems::cursors()
{
    QGraphicsScene scene;
    auto* x1 = new OscCursorBody(1, 1);
    auto* y0 = new OscCursorBody(0, 0);
    auto* label = new OscCursorName("x1");
    scene.addItem(x1);
    scene.addItem(y0);
    scene.addItem(label);
    QCOMPARE(x1->name, QString("X1"));
    QCOMPARE(y0->name, QString("Y0"));
    QCOMPARE(x1->state, int(OscCursorHidden));
    QVERIFY(!x1->isVisible() && !label->isVisible());
    x1->setLen(300);
    y0->setLen(400);
    QCOMPARE(x1->boundingRect(), QRectF(0, 0, 3, 300));
    QCOMPARE(y0->boundingRect(), QRectF(0, 0, 400, 3));
    x1->setState(OscCursorPlaced);
    QVERIFY(x1->isVisible());
    QCOMPARE(x1->cursor().shape(), Qt::CrossCursor);
    x1->setState(OscCursorHover);
    QCOMPARE(x1->cursor().shape(), Qt::SizeHorCursor);
    // The same state again changes nothing (the item is not shown again).
    x1->hide();
    x1->setState(OscCursorHover);
    QVERIFY(!x1->isVisible());
    label->setState(OscCursorFollow);
    QVERIFY(label->isVisible());
    label->hide();
    label->setState(OscCursorFollow);
    QVERIFY(!label->isVisible());
    // Bright while taken up, darker when placed.
    QImage img = blank(3, 300);
    x1->setState(OscCursorPlaced);
    paintItem(x1, img);
    QCOMPARE(img.pixel(1, 100), qRgb(31, 191, 31));
}

void TestOscItems::indicator()
{
    OscAutoScale a;
    QVERIFY(!a.isVisible());
    a.setSize(40, 40);
    QImage img(40, 40, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    paintItem(&a, img);
    const QColor c = img.pixelColor(20, 20);
    QVERIFY(qAbs(c.alpha() - 50) <= 1);
    QVERIFY(qAbs(c.green() - 180) <= 4);
    QCOMPARE(img.pixelColor(1, 1).alpha(), 0);
}

void TestOscItems::generatorWindows()
{
    // 1 ms per division over 1000 pixels at 1 MHz: 10 samples a pixel; the
    // trigger (sample 10240) at 500 thousandths of the width.
    fillShown(devUsing, 20480, 1000000, 10240);
    QVERIFY(devUsing->setATimeDivValue(1000000));
    QVERIFY(devUsing->setATrgPercent(500));
    WaveDataGenOsc gen;
    int refreshes = 0;
    connect(&gen, &WaveDataGenOsc::sigViewRefreshOsc, &gen, [&] { ++refreshes; });
    gen.setViewWidth(1000);
    gen.zoomFirst();
    QCOMPARE(refreshes, 2);
    QCOMPARE(gen.scale[0], 10.0);
    QCOMPARE(gen.start[0], 10240.0 - 5000);
    WaveLineA* cols = nullptr;
    QCOMPARE(gen.getData(0, &cols), 1000);
    QCOMPARE(gen.getData(2, &cols), -1);
    QVERIFY(!cols);
    // The measurements cover the visible window.
    double* v = nullptr;
    bool* ok = nullptr;
    QCOMPARE(gen.getParameterValuesA(0, &v, &ok), 13);
    QVERIFY(ok[MeasPeriod]);
    QCOMPARE(v[MeasPeriod], 400.0 * 1e6);   // 400 samples at 1 MHz
    // A new time base keeps the sample under the pixel.
    QVERIFY(devUsing->setATimeDivValue(500000));
    const double under = gen.start[0] + 100 * gen.scale[0];
    gen.zoom(100);
    QCOMPARE(gen.scale[0], 5.0);
    QCOMPARE(gen.start[0] + 100 * gen.scale[0], under);
    const double mid = gen.start[0] + 500 * gen.scale[0];
    QVERIFY(devUsing->setATimeDivValue(200000));
    gen.zoomChangedByTimediv();
    QCOMPARE(gen.start[0] + 500 * gen.scale[0], mid);
    // A drag moves every channel by its own samples per pixel.
    const double s0 = gen.start[0];
    gen.moveOffset(30);
    QCOMPARE(gen.start[0], s0 - 30 * gen.scale[0]);
    // The strip moves one channel; the other shows the same time.
    gen.moveTo(0, 777);
    QCOMPARE(gen.start[0], 777.0);
    QCOMPARE(gen.start[1], 777.0);
}

void TestOscItems::generatorLimits()
{
    fillShown(devUsing, 20480, 1000000, 10240);
    WaveDataGenOsc gen;
    // A width of nothing computes nothing.
    gen.setViewWidth(0);
    gen.zoomFirst();
    WaveLineA* cols = nullptr;
    QCOMPARE(gen.getData(0, &cols), 0);
    gen.setViewWidth(-20);
    QCOMPARE(gen.width, 0);
    gen.moveTo(5, 10);   // no such channel
    gen.moveTo(0, NAN);
    // Not the oscilloscope: nothing to show.
    devUsing->workMode = WorkModeLA;
    gen.setViewWidth(100);
    gen.zoomFirst();
    QCOMPARE(gen.getData(0, &cols), 0);
    devUsing->workMode = WorkModeOsc;
    // A device without analog channels.
    std::unique_ptr<DevBase> demo(DevBase::createDevice(DevModelDemo));
    DevBase* keep = devUsing;
    devUsing = demo.get();
    gen.devModelChanged();
    gen.setViewWidth(100);
    gen.zoomFirst();
    QCOMPARE(gen.getData(0, &cols), -1);
    devUsing = keep;
}

void TestOscItems::mathTrace()
{
    fillShown(devUsing, 4000, 1000000, 2000);
    devUsing->aMathEna = 1;
    WaveDataGenOsc gen;
    gen.setViewWidth(200);
    gen.zoomFirst();
    WaveLineA* m = nullptr;
    const int n = gen.getMathData(&m);
    QVERIFY(n > 0);
    // CH1 - CH2 of two equal channels is 0 everywhere.
    devUsing->aMathOperator = 1;
    gen.genMathData();
    QCOMPARE(gen.getMathData(&m), n);
    for (int k = 0; k < n; ++k)
        QVERIFY(std::fabs(m[k].max) < 1e-9 && std::fabs(m[k].min) < 1e-9);
    devUsing->aMathEna = 0;
    gen.genData();
    QCOMPARE(gen.getMathData(&m), 0);
}

QTEST_MAIN(TestOscItems)
#include "test_oscitems.moc"
