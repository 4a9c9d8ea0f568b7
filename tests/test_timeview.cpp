#include <QtTest>

#include <QImage>

#include "config/Config.h"
#include "support/TestEnv.h"
#include "view/PosiView.h"
#include "view/TimeView.h"

namespace {

// "x:label" of every tick, joined by blanks.
QString tickText(const QVector<TimeView::Tick>& ticks)
{
    QStringList parts;
    for (const TimeView::Tick& t : ticks)
        parts << QString("%1:%2%3").arg(t.x).arg(t.major ? "*" : "").arg(t.label);
    return parts.join(' ');
}

QImage renderOnBlack(QWidget& w)
{
    QImage img(w.size(), QImage::Format_ARGB32);
    img.fill(Qt::black);
    w.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
    return img;
}

bool allBlack(const QImage& img)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != qRgb(0, 0, 0))
                return false;
    return true;
}

QList<int> ids(const TimeView& v)
{
    QList<int> out;
    for (CursorHandle* h : v.handles)
        out << h->id;
    return out;
}

QList<int> states(const TimeView& v)
{
    QList<int> out;
    for (CursorHandle* h : v.handles)
        out << h->state;
    return out;
}

void click(QWidget* w, Qt::MouseButton b, QPoint at)
{
    QTest::mousePress(w, b, {}, at);
    QTest::mouseRelease(w, b, {}, at);
}

void moveTo(QWidget* w, QPoint at, Qt::MouseButtons held = Qt::NoButton)
{
    QMouseEvent e(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

} // namespace

class TestTimeView : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        Config::initColors();
        Config::fontNarrow = QFont();
        Config::fontNarrow.setPixelSize(12);
    }
    void init() { Config::dpi = 96; }

    void tickExponent_data();
    void tickExponent();
    void rulerTicks_data();
    void rulerTicks();
    void labelLeft_data();
    void labelLeft();
    void rulerPaint();
    void handleCreation();
    void handleMoveAndRemove();
    void hoverMovesBetweenHandles();
    void handleEnterLeave();
    void rulerClicks();
    void init_clearsRuler();

    void strip_data();
    void strip();
    void stripPress_data();
    void stripPress();
    void stripDrag();
    void stripPaint();
};

void TestTimeView::tickExponent_data()
{
    QTest::addColumn<double>("ps");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("e");
    QTest::newRow("10 us over 1000 px") << 10000.0 << 1000 << 6;
    QTest::newRow("ticks too close: next decade") << 10000.0 << 100 << 6;
    QTest::newRow("30 ms over 1000 px") << 30000.0 << 1000 << 6;
    QTest::newRow("below 10 ps") << 0.001 << 1000 << 0;
    QTest::newRow("no data") << 0.0 << 1000 << -1;
    QTest::newRow("negative") << -5.0 << 1000 << -1;
    QTest::newRow("infinite") << qInf() << 1000 << -1;
    QTest::newRow("not a number") << qQNaN() << 1000 << -1;
    QTest::newRow("no width") << 10000.0 << 0 << -1;
}

void TestTimeView::tickExponent()
{
    QFETCH(double, ps);
    QFETCH(int, width);
    QTEST(TimeView::tickExponent(ps, width), "e");
}

void TestTimeView::rulerTicks_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("ps");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("ticks");

    // 10 us across 1000 logical pixels: a tick every 1 us, 100 pixels apart,
    // each labelled.
    QTest::newRow("10 us view after 5 us")
        << 5e6 << 10000.0 << 1000
        << "0:+5us 100:+6us 200:+7us 300:+8us 400:+9us 500:*10us 600:+1us 700:+2us 800:+3us 900:+4us";
    QTest::newRow("10 us view around the trigger")
        << -5e6 << 10000.0 << 1000
        << "0:+5us 100:+6us 200:+7us 300:+8us 400:+9us 500:*0 600:+1us 700:+2us 800:+3us 900:+4us";
    QTest::newRow("left of -10us")
        << -15e6 << 10000.0 << 1000
        << "0:+5us 100:+6us 200:+7us 300:+8us 400:+9us 500:*-10us 600:+1us 700:+2us 800:+3us 900:+4us";
    QTest::newRow("off the tick grid")
        << 250000.0 << 10000.0 << 300 << "75:+1us 175:+2us 275:+3us";
    // Every second minor tick labelled when the labels would crowd.
    QTest::newRow("every second label")
        << 0.0 << 3.0 << 700
        << "0:*0 66:+200ps 133:+400ps 200:+600ps 266:+800ps 333:*1ns 400:+200ps 466:+400ps 533:+600ps "
           "600:+800ps 666:*2ns";
    // Seconds and beyond: the unit stays "s".
    QTest::newRow("1 s steps") << 5e12 << 1e10 << 1000
                               << "0:+5s 100:+6s 200:+7s 300:+8s 400:+9s 500:*10s 600:+1s 700:+2s 800:+3s 900:+4s";
    QTest::newRow("100 s steps") << 8e14 << 1e12 << 300 << "0:+800s 100:+900s 200:*1000s";
    QTest::newRow("1000 s steps") << 9e15 << 1e13 << 300 << "0:+9000s 100:*10000s 200:+1000s";
    QTest::newRow("no data") << 0.0 << 0.0 << 1000 << "";
}

void TestTimeView::rulerTicks()
{
    QFETCH(double, start);
    QFETCH(double, ps);
    QFETCH(int, width);
    QTEST(tickText(TimeView::rulerTicks(start, ps, width)), "ticks");
}

void TestTimeView::labelLeft_data()
{
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("textWidth");
    QTest::addColumn<int>("rulerWidth");
    QTest::addColumn<int>("left");
    QTest::newRow("inside") << 100 << 30 << 400 << 100;
    QTest::newRow("left end (the tick at x 0)") << -3 << 6 << 400 << 0;
    QTest::newRow("right end") << 396 << 30 << 400 << 370;
    QTest::newRow("just fits on the right") << 370 << 30 << 400 << 370;
    QTest::newRow("wider than the ruler") << -4 << 50 << 40 << 0;
}

void TestTimeView::labelLeft()
{
    QFETCH(int, anchor);
    QFETCH(int, textWidth);
    QFETCH(int, rulerWidth);
    QTEST(TimeView::labelLeft(anchor, textWidth, rulerWidth), "left");
}

void TestTimeView::rulerPaint()
{
    TimeView ruler;
    ruler.resize(400, ruler.height());
    QCOMPARE(ruler.height(), Config::pixel(36) + 1);
    QVERIFY(ruler.hasMouseTracking());
    QCOMPARE(ruler.units, QStringList({"ps", "ns", "us", "ms", "s"}));
    QVERIFY(allBlack(renderOnBlack(ruler)));

    ruler.setTimesValues(0, 10000);
    const QImage img = renderOnBlack(ruler);
    QVERIFY(!allBlack(img));
    // The major tick line at the trigger runs from y 21 to the bottom.
    QCOMPARE(img.pixel(0, 25), qRgb(255, 255, 255));
    QCOMPARE(img.pixel(0, ruler.height() - 2), qRgb(255, 255, 255));
    QCOMPARE(img.pixel(100, 30), qRgb(0, 0, 0));   // minor line starts lower
    QCOMPARE(img.pixel(100, 33), qRgb(255, 255, 255));
}

void TestTimeView::handleCreation()
{
    TimeView ruler;
    ruler.slotCursorHandleChanged(26, 5, 8);
    QCOMPARE(ids(ruler), QList<int>({4, 5}));
    QCOMPARE(states(ruler), QList<int>({5, 8}));
    QCOMPARE(ruler.handles[0]->text, QString("C1"));
    QCOMPARE(ruler.handles[1]->text, QString("C2"));
    QVERIFY(ruler.handles[0]->isHidden());

    ruler.setCursorHandleStateType(0, 6);
    ruler.setCursorHandleStateType(51, 8);
    ruler.setCursorHandleStateType(12, 8);
    QCOMPARE(ids(ruler), QList<int>({0, 1, 4, 5, 12, 13, 50, 51}));
    QCOMPARE(ruler.handles[7]->text, QString("Z2"));
    QCOMPARE(ruler.getCursorHandleIndex(6), 0);
    QCOMPARE(ruler.getCursorHandleIndex(8), 3);
    QCOMPARE(ruler.getCursorHandleIndex(7), -1);

    // An existing handle only changes state; ids outside 0-51 are refused.
    ruler.setCursorHandleStateType(4, 7);
    ruler.setCursorHandleStateType(52, 8);
    ruler.setCursorHandleStateType(-1, 8);
    ruler.slotCursorHandleChanged(29, 20, 8);
    QCOMPARE(ids(ruler), QList<int>({0, 1, 4, 5, 12, 13, 50, 51}));
    QCOMPARE(ruler.handles[2]->state, 7);

    const int px = Config::pixel(1);
    const CursorHandle* h = ruler.handles[0];
    QCOMPARE(h->size(), QSize(int(px + h->shapeWidth), int(h->shapeWidth / 2 + h->shapeHeight + px)));
}

void TestTimeView::handleMoveAndRemove()
{
    TimeView ruler;
    ruler.resize(500, ruler.height());
    ruler.setCursorHandleStateType(0, 8);
    ruler.setCursorHandleStateType(2, 8);
    CursorHandle* h = ruler.handles[1];
    ruler.slotCursorHandleChanged(27, 1, 200);
    QCOMPARE(h->pos(), QPoint(200 - h->width() / 2, ruler.height() - h->height()));
    ruler.slotCursorHandleChanged(27, 9, 100); // no such handle
    ruler.slotCursorHandleChanged(27, -1, 100);

    QPointer<CursorHandle> a(ruler.handles[0]), b(ruler.handles[1]);
    ruler.slotCursorHandleChanged(28, 7, -1); // out of range: nothing
    ruler.slotCursorHandleChanged(28, -2, -1);
    QCOMPARE(ruler.handles.size(), 4);
    ruler.slotCursorHandleChanged(28, 0, -1);
    QCOMPARE(ids(ruler), QList<int>({2, 3}));
    QTRY_VERIFY(a.isNull() && b.isNull());
}

void TestTimeView::hoverMovesBetweenHandles()
{
    TimeView ruler;
    ruler.setCursorHandleStateType(0, 8);
    ruler.setCursorHandleStateType(1, 8);
    ruler.setCursorHandleStateType(2, 8);
    ruler.setCursorHandleStateType(3, 5);

    ruler.slotMouseEnter(1);
    QCOMPARE(states(ruler), QList<int>({8, 7, 8, 5}));
    // Entering another handle before leaving the first: still one hovered.
    ruler.slotMouseEnter(2);
    QCOMPARE(states(ruler), QList<int>({8, 8, 7, 5}));
    ruler.slotMouseLeave(1); // not the hovered one
    QCOMPARE(states(ruler), QList<int>({8, 8, 7, 5}));
    ruler.slotMouseLeave(2);
    QCOMPARE(states(ruler), QList<int>({8, 8, 8, 5}));

    // No hovering while a handle follows the mouse.
    ruler.setCursorHandleStateType(3, 6);
    ruler.slotMouseEnter(0);
    QCOMPARE(states(ruler), QList<int>({8, 8, 8, 6}));
}

void TestTimeView::handleEnterLeave()
{
    TimeView ruler;
    ruler.setCursorHandleStateType(0, 8);
    CursorHandle* h = ruler.handles[0];
    QSignalSpy enter(h, &CursorHandle::mouseEnter);
    QSignalSpy leave(h, &CursorHandle::mouseLeave);
    QEvent in(QEvent::Enter), out(QEvent::Leave);

    QApplication::sendEvent(h, &in); // placed: hovered through the ruler
    QCOMPARE(enter.count(), 1);
    QCOMPARE(h->state, 7);
    QApplication::sendEvent(h, &out);
    QCOMPARE(leave.count(), 1);
    QCOMPARE(h->state, 8);

    h->setState(6); // following: neither signal
    QApplication::sendEvent(h, &in);
    QApplication::sendEvent(h, &out);
    QCOMPARE(enter.count(), 1);
    QCOMPARE(leave.count(), 1);
}

void TestTimeView::rulerClicks()
{
    TimeView ruler;
    ruler.resize(500, ruler.height());
    ruler.setCursorHandleStateType(0, 8);
    ruler.setCursorHandleStateType(1, 8);
    ruler.setCursorHandleStateType(2, 7);
    QSignalSpy spy(&ruler, &TimeView::timeMarkerChanged);

    click(&ruler, Qt::LeftButton, QPoint(50, 5)); // picks the hovered handle up
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.takeFirst(), QVariantList({24, 2, 6, 0}));
    click(&ruler, Qt::RightButton, QPoint(50, 5)); // nothing follows
    QCOMPARE(spy.count(), 0);

    ruler.slotCursorHandleChanged(26, 2, 6); // the main view's answer
    moveTo(&ruler, QPoint(123, 5));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.takeFirst(), QVariantList({25, 2, 6, 123}));

    click(&ruler, Qt::LeftButton, QPoint(123, 5)); // drops it
    QCOMPARE(spy.takeFirst(), QVariantList({24, 2, 8, 0}));
    click(&ruler, Qt::RightButton, QPoint(123, 5)); // cancels it
    QCOMPARE(spy.takeFirst(), QVariantList({24, 2, 5, 0}));

    // A press, a move and a release are no click.
    QTest::mousePress(&ruler, Qt::LeftButton, {}, QPoint(10, 5));
    moveTo(&ruler, QPoint(20, 5), Qt::LeftButton);
    spy.clear();
    QTest::mouseRelease(&ruler, Qt::LeftButton, {}, QPoint(20, 5));
    QCOMPARE(spy.count(), 0);
}

void TestTimeView::init_clearsRuler()
{
    TimeView ruler;
    ruler.setTimesValues(100, 10);
    ruler.setCursorHandleStateType(7, 8);
    QPointer<CursorHandle> h(ruler.handles[0]);
    ruler.init();
    QVERIFY(h.isNull());
    QVERIFY(ruler.handles.isEmpty());
    QCOMPARE(ruler.psPerPixel, 0.0);
    QCOMPARE(ruler.startTime, 0.0);
}

// ---------------------------------------------------------------------------
// Position strip

void TestTimeView::strip_data()
{
    QTest::addColumn<int>("w");
    QTest::addColumn<qlonglong>("count");
    QTest::addColumn<qlonglong>("trg");
    QTest::addColumn<double>("beg");
    QTest::addColumn<double>("span");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QRect>("bar");
    QTest::addColumn<int>("winLeft");
    QTest::addColumn<int>("winRight");
    QTest::addColumn<QRect>("window");
    QTest::addColumn<int>("trgX");

    // 204 inner pixels over 1000 samples: 0.204 pixels per sample.
    QTest::newRow("window at the start") << 206 << 1000LL << 500LL << 0.0 << 100.0 << true << QRect(1, 3, 204, 14)
                                         << 1 << 21 << QRect(1, 1, 20, 18) << 103;
    QTest::newRow("window before the data") << 206 << 1000LL << 0LL << -500.0 << 1000.0 << true
                                            << QRect(69, 3, 136, 14) << 1 << 137 << QRect(1, 1, 136, 18) << 69;
    // A capture shorter than the view still shows a bar 6 pixels wide.
    QTest::newRow("short capture") << 206 << 10LL << 0LL << 0.0 << 1000.0 << true << QRect(-1, 3, 6, 14) << 1
                                   << 205 << QRect(1, 1, 204, 18) << 1;
    QTest::newRow("narrow window widened") << 206 << 1000000LL << 0LL << 500000.0 << 1.0 << true
                                           << QRect(1, 3, 204, 14) << 100 << 105 << QRect(100, 1, 5, 18) << 1;
    QTest::newRow("no capture") << 206 << 0LL << 0LL << 0.0 << 0.0 << false << QRect() << 0 << 0 << QRect() << 0;
    QTest::newRow("no width") << 2 << 1000LL << 0LL << 0.0 << 100.0 << false << QRect() << 0 << 0 << QRect() << 0;
}

void TestTimeView::strip()
{
    QFETCH(int, w);
    QFETCH(qlonglong, count);
    QFETCH(qlonglong, trg);
    QFETCH(double, beg);
    QFETCH(double, span);
    const PosiView::Geometry g = PosiView::geometry(w, 20, count, trg, beg, span);
    QTEST(g.valid, "valid");
    if (!g.valid)
        return;
    QTEST(g.dataBar, "bar");
    QTEST(g.winLeft, "winLeft");
    QTEST(g.winRight, "winRight");
    QTEST(g.window, "window");
    QTEST(g.trgX, "trgX");
    QVERIFY(g.dataBar.width() >= Config::pixel(6));
}

void TestTimeView::stripPress_data()
{
    QTest::addColumn<double>("beg");
    QTest::addColumn<double>("span");
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("x");
    QTest::addColumn<double>("moved"); // -1: no signal

    QTest::newRow("right of the window near the end") << 0.0 << 100.0 << int(Qt::LeftButton) << 200 << 900.0;
    QTest::newRow("left of the window near the start") << 500.0 << 100.0 << int(Qt::LeftButton) << 10 << 0.0;
    QTest::newRow("centred on the click") << 0.0 << 100.0 << int(Qt::LeftButton) << 102 << 450.0;
    QTest::newRow("inside the window: drag starts") << 0.0 << 100.0 << int(Qt::LeftButton) << 10 << -1.0;
    QTest::newRow("right button") << 0.0 << 100.0 << int(Qt::RightButton) << 200 << -1.0;
    QTest::newRow("whole capture shown") << 0.0 << 1000.0 << int(Qt::LeftButton) << 100 << -1.0;
}

void TestTimeView::stripPress()
{
    QFETCH(double, beg);
    QFETCH(double, span);
    QFETCH(int, button);
    QFETCH(int, x);
    QFETCH(double, moved);
    PosiView strip;
    strip.resize(206, strip.height());
    QCOMPARE(strip.height(), Config::pixel(20));
    strip.slotSetPosition(3, 500, 1000, beg, span);
    QSignalSpy spy(&strip, &PosiView::sigPosiChanged);
    QTest::mousePress(&strip, Qt::MouseButton(button), {}, QPoint(x, 10));
    if (moved < 0) {
        QCOMPARE(spy.count(), 0);
        return;
    }
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), 3);
    QCOMPARE(spy.at(0).at(1).toDouble(), moved);
}

void TestTimeView::stripDrag()
{
    PosiView strip;
    strip.resize(206, strip.height());
    strip.slotSetPosition(0, 0, 1000, 0, 100);
    QSignalSpy spy(&strip, &PosiView::sigPosiChanged);
    QTest::mousePress(&strip, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(strip.dragging);
    moveTo(&strip, QPoint(61, 10), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(1).toDouble(), 51 * 1000.0 / 204);
    QTest::mouseRelease(&strip, Qt::LeftButton, {}, QPoint(61, 10));
    QVERIFY(!strip.dragging);
    moveTo(&strip, QPoint(90, 10), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);

    // Without a capture nothing reacts.
    strip.slotSetPosition(-1, 5, 1000, 10, 100);
    QCOMPARE(strip.smpCount, 0LL);
    QCOMPARE(strip.spanSmp, 0.0);
    QTest::mousePress(&strip, Qt::LeftButton, {}, QPoint(150, 10));
    QVERIFY(!strip.dragging);
    QCOMPARE(spy.count(), 1);
}

void TestTimeView::stripPaint()
{
    PosiView strip;
    strip.resize(206, strip.height());
    QVERIFY(allBlack(renderOnBlack(strip)));
    strip.slotSetPosition(0, 500, 1000, 0, 100);
    const QImage img = renderOnBlack(strip);
    QCOMPARE(img.pixel(103, 10), qRgb(0, 220, 0));
    QCOMPARE(img.pixel(150, 10), QColor("#361E1E").rgb());
    QCOMPARE(img.pixel(10, 10), QColor("#563232").rgb());
}

QTEST_MAIN(TestTimeView)
#include "test_timeview.moc"
