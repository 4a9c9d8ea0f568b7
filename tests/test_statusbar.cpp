#include <QtTest>

#include <QImage>
#include <QPainter>

#include "config/Config.h"
#include "config/Lang.h"
#include "support/TestEnv.h"
#include "toolbar/StatusBar.h"

namespace {

const QColor green(0, 192, 0);
const QColor blue(0, 160, 192);

QImage renderBox(StatusBar& box)
{
    QImage img(box.size(), QImage::Format_ARGB32);
    img.fill(Qt::black);
    box.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
    return img;
}

// Counts paint events, to see that a change asks for a repaint.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

Q_DECLARE_METATYPE(DevSmpSta)

class TestStatusBar : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void construction();
    void smpProgressTable_data();
    void smpProgressTable();
    void connectStaResets();
    void dataReview_data();
    void dataReview();
    void fillWidth_data();
    void fillWidth();
    void paintFills_data();
    void paintFills();
    void paintWithoutGreyTable();
    void textsTranslated();
};

void TestStatusBar::initTestCase()
{
    TestEnv::isolateUserData();
    Config::dpi = 96;
    Lang::setDocument(QDomDocument());
    TestEnv::defaultGrayColors();
}

void TestStatusBar::construction()
{
    StatusBar box;
    QCOMPARE(box.size(), QSize(Config::pixel(194), Config::pixel(20)));
    QCOMPARE(box.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(box.sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    QVERIFY(box.testAttribute(Qt::WA_StyledBackground));
    QVERIFY(!box.isConnected());
    QCOMPARE(box.phaseProgress(), 0);
    QCOMPARE(box.readingProgress(), 0);
    QVERIFY(box.text().isEmpty());
}

void TestStatusBar::smpProgressTable_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("phase");
    QTest::addColumn<int>("reading");

    QTest::newRow("start") << true << 0 << 40 << " " << 0 << 0;
    QTest::newRow("pre") << true << 1 << 30 << "Pre-sampling..." << 30 << 0;
    QTest::newRow("wait") << true << 2 << 0 << "Waiting for trigger..." << 0 << 0;
    QTest::newRow("sampling") << true << 3 << 57 << "Sampling..." << 57 << 0;
    QTest::newRow("sampling over 100") << true << 3 << 150 << "Sampling..." << 100 << 0;
    QTest::newRow("sampling negative") << true << 3 << -5 << "Sampling..." << 0 << 0;
    QTest::newRow("reading") << true << 4 << 50 << "Data reading..." << 100 << 50;
    QTest::newRow("reading over 100") << true << 4 << 1000 << "Data reading..." << 100 << 100;
    QTest::newRow("reading negative") << true << 4 << -1 << "Data reading..." << 100 << 0;
    QTest::newRow("stopped connected") << true << 5 << 80 << "Device Connected" << 0 << 0;
    QTest::newRow("stopped disconnected") << false << 5 << 80 << "Device Disconnected" << 0 << 0;
    QTest::newRow("unknown -1") << true << -1 << 80 << "Device Connected" << 0 << 0;
    QTest::newRow("unknown 6") << false << 6 << 80 << "Device Disconnected" << 0 << 0;
}

void TestStatusBar::smpProgressTable()
{
    QFETCH(bool, connected);
    QFETCH(int, state);
    QFETCH(int, n);
    QFETCH(QString, text);
    QFETCH(int, phase);
    QFETCH(int, reading);

    StatusBar box;
    box.setConnectSta(connected);
    // Leave stale values from an earlier phase to see them replaced.
    box.setSmpProgress(SmpStaReading, 70);
    box.setSmpProgress(static_cast<DevSmpSta>(state), n);
    QCOMPARE(box.text(), text);
    QCOMPARE(box.phaseProgress(), phase);
    QCOMPARE(box.readingProgress(), reading);
    QCOMPARE(box.isConnected(), connected);
}

void TestStatusBar::connectStaResets()
{
    StatusBar box;
    box.setSmpProgress(SmpStaReading, 30);
    box.setConnectSta(true);
    QVERIFY(box.isConnected());
    QCOMPARE(box.text(), QString("Device Connected"));
    QCOMPARE(box.phaseProgress(), 0);
    QCOMPARE(box.readingProgress(), 0);
    box.setConnectSta(false);
    QVERIFY(!box.isConnected());
    QCOMPARE(box.text(), QString("Device Disconnected"));
}

void TestStatusBar::dataReview_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("text");
    QTest::newRow("device present") << true << "Device Connected";
    QTest::newRow("no device") << false << "Data Review";
}

void TestStatusBar::dataReview()
{
    QFETCH(bool, connected);
    QFETCH(QString, text);

    StatusBar box;
    box.setConnectSta(!connected);
    box.setSmpProgress(SmpStaReading, 40);
    PaintCounter counter;
    box.installEventFilter(&counter);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTRY_VERIFY(counter.paints > 0);
    const int before = counter.paints;

    box.setDataReview(connected);
    QCOMPARE(box.isConnected(), connected);
    QCOMPARE(box.text(), text);
    // The progress fills are left as they were.
    QCOMPARE(box.phaseProgress(), 100);
    QCOMPARE(box.readingProgress(), 40);
    // The new text reaches the screen without waiting for another change.
    QTRY_VERIFY(counter.paints > before);
}

void TestStatusBar::fillWidth_data()
{
    QTest::addColumn<int>("inner");
    QTest::addColumn<int>("p");
    QTest::addColumn<int>("width");
    QTest::newRow("zero") << 190 << 0 << 0;
    QTest::newRow("one") << 190 << 1 << 1;
    QTest::newRow("half") << 190 << 50 << 95;
    QTest::newRow("99 truncated") << 190 << 99 << 188;
    QTest::newRow("full") << 190 << 100 << 190;
    QTest::newRow("over") << 190 << 101 << 190;
    QTest::newRow("no room") << -4 << 50 << 0;
}

void TestStatusBar::fillWidth()
{
    QFETCH(int, inner);
    QFETCH(int, p);
    QFETCH(int, width);
    QCOMPARE(StatusBar::fillWidth(inner, p), width);
}

void TestStatusBar::paintFills_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("greenEnd");   // first column past the green fill
    QTest::addColumn<int>("blueEnd");    // first column past the blue fill (2: none)

    // At 96 dpi: m = 1, inner width 194 - 4 = 190, fills start at x = 2.
    QTest::newRow("no bar") << 3 << -5 << 2 << 2;
    QTest::newRow("sampling 99") << 3 << 99 << 2 + 188 << 2;
    QTest::newRow("sampling 100") << 3 << 100 << 2 + 190 << 2;
    QTest::newRow("sampling 150") << 3 << 150 << 2 + 190 << 2;
    QTest::newRow("reading half") << 4 << 50 << 2 + 190 << 2 + 95;
    QTest::newRow("stopped") << 5 << 50 << 2 << 2;
}

void TestStatusBar::paintFills()
{
    QFETCH(int, state);
    QFETCH(int, n);
    QFETCH(int, greenEnd);
    QFETCH(int, blueEnd);

    StatusBar box;
    box.setConnectSta(true);
    box.setSmpProgress(static_cast<DevSmpSta>(state), n);
    const QImage img = renderBox(box);

    // Sample away from the centred text: the first fill row, and the left
    // and right ends of the box.
    const int y = 2;
    const int bottom = box.height() - 3;
    for (int x : {2, 10, 20, 96, 97, 180, 187, 188, 189, 190, 191}) {
        QColor expect;
        if (x < blueEnd)
            expect = blue;
        else if (x < greenEnd)
            expect = green;
        const QColor got = img.pixelColor(x, y);
        if (expect.isValid()) {
            QVERIFY2(got == expect, qPrintable(QString("x=%1 got %2").arg(x).arg(got.name())));
            QCOMPARE(img.pixelColor(x, bottom), expect);
        } else {
            QVERIFY2(got != green && got != blue,
                     qPrintable(QString("x=%1 unexpected fill %2").arg(x).arg(got.name())));
        }
    }
    // The 2-pixel frame around the fills stays clear.
    for (const QPoint& pt : {QPoint(1, 5), QPoint(5, 1), QPoint(box.width() - 2, 5),
                             QPoint(5, box.height() - 2)}) {
        const QColor got = img.pixelColor(pt);
        QVERIFY(got != green && got != blue);
    }
}

void TestStatusBar::paintWithoutGreyTable()
{
    // Rendering before the colour tables are filled must not read past them.
    const QVector<QColor> saved = Config::grayColor;
    Config::grayColor.clear();
    StatusBar box;
    box.setSmpProgress(SmpStaSampling, 50);
    const QImage img = renderBox(box);
    QCOMPARE(img.pixelColor(2, 2), green);
    Config::grayColor = saved;
}

void TestStatusBar::textsTranslated()
{
    QDomDocument d;
    QVERIFY(d.setContent(QStringLiteral(
        "<language><head><code>xx</code></head><texts>"
        "<t src=\"Sampling\">Capturing</t><t src=\"Data Review\">Reviewing</t>"
        "<t src=\"Device Disconnected\">No device</t>"
        "</texts><analyzers/></language>")));
    Lang::setDocument(d);
    StatusBar box;
    box.setSmpProgress(SmpStaSampling, 10);
    QCOMPARE(box.text(), QString("Capturing..."));
    box.setDataReview(false);
    QCOMPARE(box.text(), QString("Reviewing"));
    box.setSmpProgress(SmpStaStopped, 0);
    QCOMPARE(box.text(), QString("No device"));
    Lang::setDocument(QDomDocument());
}

QTEST_MAIN(TestStatusBar)
#include "test_statusbar.moc"
