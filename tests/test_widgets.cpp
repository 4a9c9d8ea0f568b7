#include <QtTest>

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/Config.h"
#include "support/TestEnv.h"
#include "widgets/MyDial.h"
#include "widgets/MyMenu.h"
#include "widgets/MyScrollbar.h"
#include "widgets/MySpinBox.h"
#include "widgets/MySwitch.h"

namespace {

constexpr qint64 T40 = qint64(1) << 40;

void sendMove(QWidget* w, const QPointF& pos, Qt::MouseButtons buttons)
{
    QMouseEvent e(QEvent::MouseMove, pos, w->mapToGlobal(pos.toPoint()), Qt::NoButton,
                  buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

} // namespace

class TestWidgets : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void scrollThumb_data();
    void scrollThumb();
    void scrollDrag_data();
    void scrollDrag();
    void scrollbarValueAndRange();
    void scrollbarDragOverHugeRange();

    void dialLayout_data();
    void dialLayout();
    void dialPointerAngle_data();
    void dialPointerAngle();
    void dialAngleRoundTrip_data();
    void dialAngleRoundTrip();
    void dialUnits_data();
    void dialUnits();
    void dialLabels();
    void dialButtonsAndIndex();
    void dialDragAndPaint();

    void switchKnob_data();
    void switchKnob();
    void switchClickAndPaint();

    void menuStaysOpen_data();
    void menuStaysOpen();

    void spinBoxReturn_data();
    void spinBoxReturn();
};

void TestWidgets::initTestCase()
{
    TestEnv::isolateUserData();
    TestEnv::defaultGrayColors();
}

// ---- scroll bar maths ----

void TestWidgets::scrollThumb_data()
{
    QTest::addColumn<qint64>("min");
    QTest::addColumn<qint64>("max");
    QTest::addColumn<qint64>("page");
    QTest::addColumn<qint64>("value");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("y");
    QTest::addColumn<double>("length");
    QTest::addColumn<double>("handle");

    QTest::newRow("small top") << qint64(0) << qint64(100) << qint64(100) << qint64(0) << 200 << 0 << 100.0 << 100.0;
    QTest::newRow("small middle") << qint64(0) << qint64(100) << qint64(100) << qint64(50) << 200 << 50 << 100.0 << 100.0;
    QTest::newRow("small bottom") << qint64(0) << qint64(100) << qint64(100) << qint64(100) << 200 << 100 << 100.0 << 100.0;
    QTest::newRow("offset range bottom") << qint64(100) << qint64(200) << qint64(100) << qint64(200) << 200 << 100 << 100.0 << 100.0;
    QTest::newRow("value below min") << qint64(100) << qint64(200) << qint64(100) << qint64(0) << 200 << 0 << 100.0 << 100.0;
    // Proportional thumb under 12 px: drawn at 12, position rescaled.
    QTest::newRow("short thumb") << qint64(0) << qint64(1000) << qint64(10) << qint64(1000) << 500 << 487 << 12.0 << 500.0 * 10 / 1010;
    QTest::newRow("2^40 middle") << qint64(0) << T40 << qint64(1000) << T40 / 2 << 500 << 243 << 12.0 << 1000.0 / (1000.0 + double(T40)) * 500;
    QTest::newRow("2^40 bottom") << qint64(0) << T40 << qint64(1000) << T40 << 500 << 487 << 12.0 << 1000.0 / (1000.0 + double(T40)) * 500;
    QTest::newRow("2^40 no page") << qint64(0) << T40 << qint64(0) << T40 / 4 << 500 << 122 << 12.0 << 0.0;
    // Ranges that leave nothing to scroll fill the bar (no division by zero).
    QTest::newRow("empty range") << qint64(5) << qint64(5) << qint64(10) << qint64(5) << 300 << 0 << 300.0 << 300.0;
    QTest::newRow("negative range") << qint64(10) << qint64(0) << qint64(10) << qint64(0) << 300 << 0 << 300.0 << 300.0;
    QTest::newRow("zero page, zero range") << qint64(0) << qint64(0) << qint64(0) << qint64(0) << 300 << 0 << 300.0 << 300.0;
    QTest::newRow("negative page") << qint64(0) << qint64(100) << qint64(-50) << qint64(100) << 200 << 188 << 12.0 << 0.0;
    QTest::newRow("bar shorter than thumb") << qint64(0) << T40 << qint64(1) << T40 << 8 << 0 << 12.0 << 8.0 / double(T40 + 1);
    QTest::newRow("zero height") << qint64(0) << qint64(100) << qint64(10) << qint64(50) << 0 << 0 << 12.0 << 0.0;
}

void TestWidgets::scrollThumb()
{
    QFETCH(qint64, min);
    QFETCH(qint64, max);
    QFETCH(qint64, page);
    QFETCH(qint64, value);
    QFETCH(int, h);
    QFETCH(int, y);
    QFETCH(double, length);
    QFETCH(double, handle);
    const ScrollbarMath::Thumb t = ScrollbarMath::thumb(min, max, page, value, h, 12);
    QCOMPARE(t.y, y);
    QCOMPARE(t.length, length);
    QVERIFY(qAbs(t.handleLength - handle) <= 1e-9 * qMax(1.0, handle));
    QVERIFY(t.y >= 0);
}

void TestWidgets::scrollDrag_data()
{
    QTest::addColumn<int>("dy");
    QTest::addColumn<qint64>("press");
    QTest::addColumn<qint64>("min");
    QTest::addColumn<qint64>("max");
    QTest::addColumn<double>("handle");
    QTest::addColumn<int>("h");
    QTest::addColumn<qint64>("expected");

    QTest::newRow("small down") << 50 << qint64(0) << qint64(0) << qint64(100) << 100.0 << 200 << qint64(50);
    QTest::newRow("small up") << -30 << qint64(50) << qint64(0) << qint64(100) << 100.0 << 200 << qint64(20);
    QTest::newRow("past the end") << 500 << qint64(50) << qint64(0) << qint64(100) << 100.0 << 200 << qint64(100);
    QTest::newRow("past the start") << -500 << qint64(50) << qint64(0) << qint64(100) << 100.0 << 200 << qint64(0);
    QTest::newRow("2^40 half") << 250 << qint64(0) << qint64(0) << T40 << 0.0 << 500 << T40 / 2;
    QTest::newRow("2^40 one pixel") << 1 << T40 / 2 << qint64(0) << T40 << 0.0 << 500 << T40 / 2 + T40 / 500;
    QTest::newRow("2^40 full") << 500 << qint64(0) << qint64(0) << T40 << 1e-6 << 500 << T40;
    // The thumb fills the bar: no travel, the value stays.
    QTest::newRow("no travel") << 40 << qint64(7) << qint64(0) << qint64(100) << 200.0 << 200 << qint64(7);
    // Nearly no travel over a huge range: clamped, never an overflowing cast.
    QTest::newRow("tiny travel") << 3 << qint64(0) << qint64(0) << (qint64(1) << 62) << 500.0 - 1e-12 << 500 << (qint64(1) << 62);
    QTest::newRow("tiny travel up") << -3 << qint64(5) << qint64(0) << (qint64(1) << 62) << 500.0 - 1e-12 << 500 << qint64(0);
}

void TestWidgets::scrollDrag()
{
    QFETCH(int, dy);
    QFETCH(qint64, press);
    QFETCH(qint64, min);
    QFETCH(qint64, max);
    QFETCH(double, handle);
    QFETCH(int, h);
    QFETCH(qint64, expected);
    QCOMPARE(ScrollbarMath::dragValue(dy, press, min, max, handle, h), expected);
}

void TestWidgets::scrollbarValueAndRange()
{
    MyScrollbar bar;
    QVERIFY(bar.isHidden());
    QSignalSpy values(&bar, &MyScrollbar::valueChanged);
    QSignalSpy ranges(&bar, &MyScrollbar::rangChanged);

    bar.setValue(5);   // ignored while max < 1
    QCOMPARE(bar.value(), qint64(0));
    QCOMPARE(values.count(), 0);

    bar.setRange(0, 100);
    QVERIFY(!bar.isHidden());
    QCOMPARE(ranges.count(), 1);
    QCOMPARE(ranges.takeFirst(), QVariantList({qint64(0), qint64(100)}));

    bar.setValue(500);
    QCOMPARE(bar.value(), qint64(100));
    bar.setValue(100);   // same value: no second signal
    QCOMPARE(values.count(), 1);
    bar.setValue(-5);
    QCOMPARE(bar.value(), qint64(0));
    QCOMPARE(values.count(), 2);

    // Shrinking below the value moves the value, and only valueChanged goes out.
    bar.setValue(80);
    values.clear();
    bar.setRange(0, 60);
    QCOMPARE(bar.maximum(), qint64(60));
    QCOMPARE(bar.value(), qint64(60));
    QCOMPARE(values.count(), 1);
    QCOMPARE(ranges.count(), 0);

    // An empty range hides the bar; a later non-empty one shows it again.
    bar.setRange(0, 0);
    QVERIFY(bar.isHidden());
    QCOMPARE(ranges.count(), 1);
    ranges.clear();
    bar.setRange(0, 100);
    QVERIFY(!bar.isHidden());
    QCOMPARE(ranges.count(), 1);
    QCOMPARE(ranges.takeFirst(), QVariantList({qint64(0), qint64(100)}));

    // From an empty bar to a negative maximum nothing is announced.
    bar.setRange(0, 0);
    ranges.clear();
    bar.setRange(-10, -5);
    QCOMPARE(ranges.count(), 0);
    QCOMPARE(bar.minimum(), qint64(-10));
    QVERIFY(bar.isHidden());

    // Setting the same range again repaints only.
    bar.setRange(0, 100);
    ranges.clear();
    bar.setRange(0, 100);
    QCOMPARE(ranges.count(), 0);
}

void TestWidgets::scrollbarDragOverHugeRange()
{
    QWidget host;
    host.resize(40, 500);
    auto* bar = new MyScrollbar(&host);
    bar->setGeometry(30, 0, 10, 500);
    bar->setRange(0, T40);
    bar->setPageStep(1000);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QVERIFY(!bar->grab().isNull());   // the paint path at this range

    QSignalSpy values(bar, &MyScrollbar::valueChanged);
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(5, 2));
    sendMove(bar, QPointF(5, 252), Qt::LeftButton);
    const double expected = 250.0 * double(T40) / (500.0 - 1000.0 / (1000.0 + double(T40)) * 500);
    QVERIFY(qAbs(double(bar->value()) - expected) < 2);
    sendMove(bar, QPointF(5, 600), Qt::LeftButton);
    QCOMPARE(bar->value(), T40);
    sendMove(bar, QPointF(5, -600), Qt::LeftButton);
    QCOMPARE(bar->value(), qint64(0));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(5, 0));
    QCOMPARE(values.count(), 3);

    // Moves without the button do nothing.
    sendMove(bar, QPointF(5, 300), Qt::NoButton);
    QCOMPARE(bar->value(), qint64(0));
}

// ---- dial maths ----

void TestWidgets::dialLayout_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("step");
    QTest::addColumn<double>("start");
    QTest::newRow("one entry") << 1 << 0 << 90.0;
    QTest::newRow("two") << 2 << 250 << -35.0;
    QTest::newRow("three") << 3 << 125 << -35.0;
    QTest::newRow("four") << 4 << 83 << -34.5;
    QTest::newRow("twelve") << 12 << 22 << -31.0;
    QTest::newRow("many") << 300 << 0 << 90.0;
}

void TestWidgets::dialLayout()
{
    QFETCH(int, n);
    QFETCH(int, step);
    QFETCH(double, start);
    QCOMPARE(DialMath::stepAngle(n), step);
    QCOMPARE(DialMath::startAngle(n, step), start);
    const QVector<double> b = DialMath::boundaries(n, start, step);
    QCOMPARE(b.size(), n);
    QCOMPARE(b.first(), start + 0.5 * step);
    // Symmetric round the top (90): the span's middle points straight up.
    QCOMPARE(start + (n - 1) * step / 2.0, 90.0);
}

void TestWidgets::dialPointerAngle_data()
{
    QTest::addColumn<double>("dx");
    QTest::addColumn<double>("dy");
    QTest::addColumn<double>("current");
    QTest::addColumn<double>("angle");
    QTest::newRow("left") << -10.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("up-left") << -10.0 << -10.0 << 0.0 << 45.0;
    QTest::newRow("up") << 0.0 << -10.0 << 0.0 << 90.0;
    QTest::newRow("up, pointer right") << 0.0 << -10.0 << 150.0 << 90.0;
    QTest::newRow("up-right") << 10.0 << -10.0 << 0.0 << 135.0;
    QTest::newRow("right") << 10.0 << 0.0 << 0.0 << 180.0;
    QTest::newRow("down-right") << 10.0 << 10.0 << 0.0 << 225.0;
    QTest::newRow("down, pointer left") << 0.0 << 10.0 << 10.0 << -90.0;
    QTest::newRow("down, pointer right") << 0.0 << 10.0 << 150.0 << 270.0;
    QTest::newRow("down-left") << -10.0 << 10.0 << 0.0 << -45.0;
    QTest::newRow("centre") << 0.0 << 0.0 << 0.0 << -90.0;
}

void TestWidgets::dialPointerAngle()
{
    QFETCH(double, dx);
    QFETCH(double, dy);
    QFETCH(double, current);
    QFETCH(double, angle);
    QVERIFY2(qAbs(DialMath::pointerAngle(dx, dy, current) - angle) < 1e-4,
             qPrintable(QString::number(DialMath::pointerAngle(dx, dy, current))));
    // The paint places that angle on the same side of the centre.
    if (dx != 0 || dy != 0) {
        const QPointF p = DialMath::pointAt(QPointF(0, 0), angle, 10);
        QVERIFY(qAbs(p.x() - dx / qSqrt((dx * dx + dy * dy) / 100)) < 1e-3);
        QVERIFY(qAbs(p.y() - dy / qSqrt((dx * dx + dy * dy) / 100)) < 1e-3);
    }
}

void TestWidgets::dialAngleRoundTrip_data()
{
    QTest::addColumn<int>("n");
    for (int n : {1, 2, 3, 5, 12, 20})
        QTest::newRow(qPrintable(QString::number(n))) << n;
}

void TestWidgets::dialAngleRoundTrip()
{
    // Pointing at where the paint draws entry i selects entry i, in every
    // quadrant the entries reach, from any current position.
    QFETCH(int, n);
    const int step = DialMath::stepAngle(n);
    const double start = DialMath::startAngle(n, step);
    const QVector<double> b = DialMath::boundaries(n, start, step);
    const QPointF c(100, 100);
    for (int i = 0; i < n; ++i) {
        const QPointF p = DialMath::pointAt(c, start + i * step, 60);
        for (int cur : {0, n - 1}) {
            const double a = DialMath::pointerAngle(p.x() - c.x(), p.y() - c.y(), start + cur * step);
            QCOMPARE(DialMath::indexForAngle(b, a), i);
        }
    }
    // The gap at the bottom goes to the nearer end.
    const QPointF downLeft = DialMath::pointAt(c, -60, 60);
    const QPointF downRight = DialMath::pointAt(c, 240, 60);
    QCOMPARE(DialMath::indexForAngle(b, DialMath::pointerAngle(downLeft.x() - c.x(), downLeft.y() - c.y(), 90)), 0);
    QCOMPARE(DialMath::indexForAngle(b, DialMath::pointerAngle(downRight.x() - c.x(), downRight.y() - c.y(), 90)), n - 1);
    QCOMPARE(DialMath::indexForAngle({}, 10), -1);
}

void TestWidgets::dialUnits_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("number");
    QTest::newRow("mV") << "500mV" << "mV" << "500";
    QTest::newRow("V") << "2V" << "V" << "2";
    QTest::newRow("ms") << "1ms" << "ms" << "1";
    QTest::newRow("s") << "10s" << "s" << "10";
    QTest::newRow("us") << "20us" << "us" << "20";
    QTest::newRow("bare unit") << "V" << "V" << "";
    QTest::newRow("empty") << "" << "" << "";
}

void TestWidgets::dialUnits()
{
    QFETCH(QString, text);
    QFETCH(QString, unit);
    QFETCH(QString, number);
    QCOMPARE(DialMath::unitOf(text), unit);
    QCOMPARE(DialMath::numberOf(text), number);
}

void TestWidgets::dialLabels()
{
    QStringList units;
    QVector<double> pairs;
    // 6 entries: step 50, start -35; arcs pulled to stand 10 degrees apart.
    DialMath::buildLabels({"1ms", "2ms", "5ms", "10ms", "1s", "2s"}, -35, 50, units, pairs);
    QCOMPARE(units, QStringList({"ms", "s"}));
    QCOMPARE(pairs, QVector<double>({-35, 135, 145, 215}));

    // Small steps are left as they are.
    DialMath::buildLabels({"1mV", "2mV", "1V"}, 0, 10, units, pairs);
    QCOMPARE(units, QStringList({"mV", "V"}));
    QCOMPARE(pairs, QVector<double>({0, 10, 20, 20}));

    DialMath::buildLabels({"5V"}, 90, 0, units, pairs);
    QCOMPARE(units, QStringList({"V"}));
    QCOMPARE(pairs, QVector<double>({90, 90}));
}

void TestWidgets::dialButtonsAndIndex()
{
    MyDial dial;
    QCOMPARE(dial.objectName(), QString("MyDial"));
    auto* minus = dial.findChild<QPushButton*>("0");
    auto* plus = dial.findChild<QPushButton*>("1");
    auto* info = dial.findChild<QLabel*>("InforLabel");
    QVERIFY(minus && plus && info);
    QSignalSpy spy(&dial, &MyDial::btnClicked);

    // Without entries nothing moves and nothing crashes.
    dial.setCurrentIndex(3);
    plus->click();
    QCOMPARE(dial.currentIndex(), 0);
    QCOMPARE(spy.count(), 0);
    dial.setTextList({});
    QVERIFY(dial.textList().isEmpty());

    dial.setTextList({"1V", "2V", "5V"});
    QCOMPARE(info->text(), QString("1V"));
    minus->click();   // already at the first entry
    QCOMPARE(spy.count(), 0);
    plus->click();
    QCOMPARE(dial.currentIndex(), 1);
    QCOMPARE(spy.takeFirst().at(0).toInt(), 1);
    plus->click();
    plus->click();    // already at the last entry
    QCOMPARE(dial.currentIndex(), 2);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(info->text(), QString("5V"));

    // Programmatic selection clamps and sends nothing.
    spy.clear();
    dial.setCurrentIndex(-4);
    QCOMPARE(dial.currentIndex(), 0);
    dial.setCurrentIndex(99);
    QCOMPARE(dial.currentIndex(), 2);
    QCOMPARE(spy.count(), 0);

    // A shorter list clamps the index; one entry gives no division by zero.
    dial.setTextList({"10mV"});
    QCOMPARE(dial.currentIndex(), 0);
    QCOMPARE(dial.stepAngleValue(), 0);
    QCOMPARE(dial.entryAngle(0), 90.0);
    QCOMPARE(info->text(), QString("10mV"));
}

void TestWidgets::dialDragAndPaint()
{
    MyDial dial;
    dial.resize(180, 200);
    const QStringList texts = {"1ns", "2ns", "5ns", "10ns", "20ns", "50ns", "100ns", "200ns",
                               "500ns", "1us", "2us", "5us", "10us", "20us", "50us", "1ms"};
    dial.setTextList(texts);
    QSignalSpy spy(&dial, &MyDial::btnClicked);
    const QPointF c = dial.dialCentre();

    // Drag to each quadrant the entries reach.
    for (int i : {0, 3, 7, 8, 12, 15}) {
        const QPointF p = DialMath::pointAt(c, dial.entryAngle(i), 30);
        sendMove(&dial, p, Qt::LeftButton);
        QCOMPARE(dial.currentIndex(), i);
    }
    QCOMPARE(spy.count(), 5);   // entry 0 was current already
    // Moves without a button do not turn the dial.
    sendMove(&dial, DialMath::pointAt(c, dial.entryAngle(4), 30), Qt::NoButton);
    QCOMPARE(dial.currentIndex(), 15);

    // Paint at normal size, with one entry, disabled and too narrow to draw.
    QVERIFY(!dial.grab().isNull());
    dial.setEnabled(false);
    QVERIFY(!dial.grab().isNull());
    dial.setTextList({"1V"});
    QVERIFY(!dial.grab().isNull());
    dial.resize(10, 10);
    QVERIFY(!dial.grab().isNull());
}

// ---- switch ----

void TestWidgets::switchKnob_data()
{
    QTest::addColumn<QRect>("area");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QRectF>("knob");
    QTest::newRow("off") << QRect(0, 0, 30, 18) << false << QRectF(2, 2, 14, 14);
    QTest::newRow("on") << QRect(0, 0, 30, 18) << true << QRectF(13, 2, 14, 14);
    QTest::newRow("with margins on") << QRect(2, 2, 30, 18) << true << QRectF(15, 4, 14, 14);
    QTest::newRow("flat") << QRect(0, 0, 30, 2) << false << QRectF(2, 2, 0, 0);
}

void TestWidgets::switchKnob()
{
    QFETCH(QRect, area);
    QFETCH(bool, on);
    QFETCH(QRectF, knob);
    QCOMPARE(SwitchGeom::knobRect(area, on, 2), knob);
}

void TestWidgets::switchClickAndPaint()
{
    MySwitch sw;
    sw.resize(30, 18);
    QVERIFY(sw.testAttribute(Qt::WA_LayoutUsesWidgetRect));
    QVERIFY(!sw.on);
    // The switch reports the click; the owner flips the state.
    connect(&sw, &MySwitch::clicked, &sw, [&sw]() { sw.on = !sw.on; sw.update(); });
    QSignalSpy spy(&sw, &MySwitch::clicked);
    QTest::mouseClick(&sw, Qt::LeftButton, {}, QPoint(15, 9));
    QCOMPARE(spy.count(), 1);
    QVERIFY(sw.on);

    QImage img = sw.grab().toImage();
    QCOMPARE(img.pixelColor(20, 9).rgb(), Config::grayColor[0].rgb());   // knob at the right
    QCOMPARE(img.pixelColor(6, 9).rgb(), QColor(0, 180, 0).rgb());       // green track
    QTest::mouseClick(&sw, Qt::LeftButton, {}, QPoint(15, 9));
    QVERIFY(!sw.on);
    img = sw.grab().toImage();
    QCOMPARE(img.pixelColor(9, 9).rgb(), Config::grayColor[0].rgb());    // knob at the left
    QCOMPARE(img.pixelColor(24, 9).rgb(), Config::grayColor[5].rgb());
}

// ---- menu ----

void TestWidgets::menuStaysOpen_data()
{
    QTest::addColumn<QVariant>("property");
    QTest::addColumn<bool>("staysOpen");
    QTest::newRow("no property") << QVariant() << true;
    QTest::newRow("True") << QVariant("True") << true;
    QTest::newRow("false") << QVariant("false") << true;
    QTest::newRow("true") << QVariant("true") << false;
    QTest::newRow("bool true") << QVariant(true) << false;
}

void TestWidgets::menuStaysOpen()
{
    QFETCH(QVariant, property);
    QFETCH(bool, staysOpen);
    MyMenu menu;
    menu.addAction("first");
    QAction* a = menu.addAction("toggle");
    a->setCheckable(true);
    if (property.isValid())
        a->setProperty("canHideMenu", property);
    QSignalSpy triggered(a, &QAction::triggered);
    menu.popup(QPoint(10, 10));
    QVERIFY(QTest::qWaitForWindowExposed(&menu));

    QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(a).center());
    QCOMPARE(triggered.count(), 1);
    QVERIFY(a->isChecked());
    QCOMPARE(menu.isVisible(), staysOpen);
    if (staysOpen) {
        QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(a).center());
        QVERIFY(!a->isChecked());
        QVERIFY(menu.isVisible());
    }
}

// ---- spin box ----

void TestWidgets::spinBoxReturn_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("keepsFocus");
    QTest::addColumn<int>("value");
    QTest::newRow("Return") << int(Qt::Key_Return) << false << 5;
    QTest::newRow("Enter") << int(Qt::Key_Enter) << true << 5;
    QTest::newRow("Up") << int(Qt::Key_Up) << true << 6;
}

void TestWidgets::spinBoxReturn()
{
    QFETCH(int, key);
    QFETCH(bool, keepsFocus);
    QFETCH(int, value);
    QWidget w;
    auto* lay = new QVBoxLayout(&w);
    auto* other = new QPushButton("other", &w);
    auto* sb = new MySpinBox(&w);
    lay->addWidget(other);
    lay->addWidget(sb);
    sb->setValue(5);
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    sb->setFocus();
    QTRY_VERIFY(sb->hasFocus());
    QTest::keyClick(sb, Qt::Key(key));
    QCOMPARE(sb->hasFocus(), keepsFocus);
    QCOMPARE(sb->value(), value);
}

QTEST_MAIN(TestWidgets)
#include "test_widgets.moc"
