// Screen scaling, start rectangle, fonts, colour tables and the style sheet.
#include <QtTest>

#include <QApplication>
#include <QRegularExpression>
#include <QScreen>

#include "app/Startup.h"
#include "config/Config.h"
#include "support/TestEnv.h"

namespace {

QString readTheme()
{
    QFile f(":/qss/theme");
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
}

} // namespace

class TestConfigScreen : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        Config::init();
    }

    void cleanup() { Config::dpi = 96; }

    void pixel_data()
    {
        QTest::addColumn<int>("dpi");
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("result");
        QTest::newRow("96 identity") << 96 << 12 << 12;
        QTest::newRow("96 zero") << 96 << 0 << 0;
        QTest::newRow("120") << 120 << 12 << 15;
        QTest::newRow("144 one") << 144 << 1 << 1;
        QTest::newRow("144 twelve") << 144 << 12 << 18;
        QTest::newRow("150 one") << 150 << 1 << 1;
        QTest::newRow("192 one") << 192 << 1 << 2;
        QTest::newRow("negative truncates toward zero") << 120 << -3 << -3;
    }
    void pixel()
    {
        QFETCH(int, dpi);
        QFETCH(int, n);
        QFETCH(int, result);
        Config::dpi = dpi;
        QCOMPARE(Config::pixel(n), result);
    }

    void getQss_data()
    {
        QTest::addColumn<int>("dpi");
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("border") << 192 << "border:1px solid" << "border:2px solid";
        QTest::newRow("two lengths") << 192 << "margin:2px 3px;" << "margin:4px 6px;";
        QTest::newRow("end of line stays") << 192 << "border-radius:5px\n" << "border-radius:5px\n";
        QTest::newRow("before brace stays") << 192 << "a{width:5px}" << "a{width:5px}";
        QTest::newRow("zero stays") << 192 << "border:0px;" << "border:0px;";
        QTest::newRow("other units stay") << 192 << "font-size:9pt; width:4em;" << "font-size:9pt; width:4em;";
        QTest::newRow("after blank") << 192 << "border: 1px solid #fff;" << "border: 2px solid #fff;";
        QTest::newRow("several rules") << 288 << "a { left:2px; top:-1px; }" << "a { left:6px; top:-3px; }";
        QTest::newRow("not an integer") << 192 << "width:1.5px;" << "width:1.5px;";
        QTest::newRow("too short") << 192 << "1px" << "1px";
        QTest::newRow("factor 1 at 150 dpi") << 150 << "border:1px solid" << "border:1px solid";
        QTest::newRow("overflow stays") << 192 << "width:2000000000px;" << "width:2000000000px;";
        QTest::newRow("px at the very end") << 192 << "width:3px" << "width:3px";
    }
    void getQss()
    {
        QFETCH(int, dpi);
        QFETCH(QString, in);
        QFETCH(QString, out);
        Config::dpi = dpi;
        Config::getQss(in);
        QCOMPARE(in, out);
    }

    void themeIsFullyScalable()
    {
        const QString qss = readTheme();
        QVERIFY(qss.size() > 1000);
        // Every px length of our sheet is one getQss rescales.
        const QRegularExpression unscalable("\\d+px(?![; ])");
        QVERIFY2(!unscalable.match(qss).hasMatch(), qPrintable(unscalable.match(qss).captured()));
        for (const char* name : {"TopBoxArea", "TopBoxWidget", "RightBoxArea", "RightBoxWidget", "StatusBar",
                                 "PosiView", "ColorLump2", "btnMain", "AboutZEL", "VthSetting", "SmpCtrl",
                                 "PWMSetting", "ItemChnSidebar", "Move7", "MyScrollbar", "SearchEdit"})
            QVERIFY2(qss.contains(name), name);

        Config::dpi = 192;
        QString scaled = qss;
        Config::getQss(scaled);
        QVERIFY(scaled.contains("border: 2px solid #7f7f7f;"));
        QVERIFY(scaled.contains("border-radius: 36px;"));
        QVERIFY(!scaled.contains("border-radius: 18px;"));
    }

    void styleSheetInstalled()
    {
        qApp->setStyleSheet(QString());
        installStyleSheet(*qApp);
        QVERIFY(qApp->styleSheet().contains("#1f1f23"));
    }

    void windowScreen_data()
    {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<int>("screen");
        QTest::newRow("inside first") << QRect(100, 100, 800, 600) << 0;
        QTest::newRow("on second") << QRect(2000, 50, 800, 600) << 1;
        QTest::newRow("top above every area") << QRect(100, -5, 800, 900) << -1;
        QTest::newRow("top on last row") << QRect(100, 1039, 800, 600) << -1;
        QTest::newRow("left of every area") << QRect(-900, 10, 900, 600) << -1;
        QTest::newRow("mostly off to the right") << QRect(3100, 10, 800, 600) << 1;
        QTest::newRow("empty") << QRect(100, 100, 0, 600) << -1;
    }
    void windowScreen()
    {
        QFETCH(QRect, window);
        QFETCH(int, screen);
        const QVector<QRect> areas{QRect(0, 0, 1920, 1040), QRect(1920, 0, 1280, 1024)};
        QCOMPARE(Config::findWindowScreen(window, areas), screen);
    }

    void defaultRectAndDpi()
    {
        QCOMPARE(Config::defaultWindowRect(QSize(1920, 1040)), QRect(192, 104, 1536, 832));
        QCOMPARE(Config::defaultWindowRect(QSize(1001, 799)), QRect(100, 79, 800, 639));
        QCOMPARE(Config::dpiFromLogical(72.0), 96);
        QCOMPARE(Config::dpiFromLogical(120.7), 120);
    }

    void initWindowConfig()
    {
        const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
        Config::saveGlobalParam("windowPosition", "");
        Config::initWindowConfig();
        const QRect def = Config::defaultWindowRect(avail.size());
        QCOMPARE(Config::windowPosition[0], def.left());
        QCOMPARE(Config::windowPosition[3], def.bottom());
        QVERIFY(Config::dpi >= 96);

        Config::saveGlobalParam("windowPosition", "10,20,300,200");
        Config::initWindowConfig();
        QCOMPARE(QVector<int>(Config::windowPosition, Config::windowPosition + 4), (QVector<int>{10, 20, 309, 219}));

        Config::saveGlobalParam("windowPosition", "10,-20,300,200");
        Config::initWindowConfig();
        QCOMPARE(Config::windowPosition[0], def.left());
    }

    void fonts()
    {
        Config::dpi = 120;
        Config::createFont();
        QCOMPARE(Config::fontNormal.pixelSize(), 15);
        QCOMPARE(Config::fontNarrow.pixelSize(), 15);
        QCOMPARE(Config::fontLarge.pixelSize(), 18);
        QCOMPARE(Config::fontNarrow.family(), QString("DejaVu Sans"));
        QVERIFY(QFontInfo(Config::fontNarrow).styleName().contains("Condensed"));
        QVERIFY(!QFontInfo(Config::fontLarge).styleName().contains("Condensed"));
        QCOMPARE(Config::fontLarge.family(), QString("DejaVu Sans"));
    }

    void colourTables()
    {
        QCOMPARE(Config::chnColor.size(), 8);
        QCOMPARE(Config::chnColor[0], QColor(164, 18, 164));
        QCOMPARE(Config::chnColor[7], QColor(120, 120, 120));
        QCOMPARE(Config::grayColor.size(), 10);
        QCOMPARE(Config::grayColor[0], QColor("#f7f7f7"));
        QCOMPARE(Config::grayColor[8], QColor("#1f1f23"));
        QCOMPARE(Config::timingColor.size(), 10);
        QCOMPARE(Config::timingColor[9], QColor("#6495ed"));
        QCOMPARE(Config::chnColorOsc.size(), 4);
        QCOMPARE(Config::chnColorOsc[3], QColor(31, 207, 31));
        QCOMPARE(Config::measTabACH.size(), 13);
        QCOMPARE(Config::measTabACH.first(), QString("Vtop"));
        QCOMPARE(Config::measTabACH.last(), QString("DutyCycle"));
    }
};

QTEST_MAIN(TestConfigScreen)
#include "test_config_screen.moc"
