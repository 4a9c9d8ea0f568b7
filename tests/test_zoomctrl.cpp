#include <QtTest>

#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QValidator>

#include <memory>

#include "config/Config.h"
#include "config/Lang.h"
#include "support/TestEnv.h"
#include "toolbar/ZoomCtrl.h"
#include "view/WaveDataGen.h"

class TestZoomCtrl : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        Config::init();
        Lang::setDocument(QDomDocument());
        Config::dpi = 96;
    }

    void construction();
    void buttons_data();
    void buttons();
    void scaleText_data();
    void scaleText();
    void dropDownShowsScale();
    void editTexts_data();
    void editTexts();
    void returnClosesMenu();
};

void TestZoomCtrl::construction()
{
    ZoomCtrl z(nullptr);
    const int h = Config::pixel(28);
    QCOMPARE(z.objectName(), QString("ZoomCtrl"));
    QCOMPARE(z.height(), h);
    QCOMPARE(z.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    struct Expect {
        QPushButton* b;
        const char* name;
        const char* tip;
    } expect[] = {{z.btnTrg, "btnZoomLeft", "Trigger position centered"},
                  {z.btnAll, "btnZoomCenter", "Zoom to full screen"},
                  {z.btnOut, "btnZoomCenter", "Zoom out"},
                  {z.btnIn, "btnZoomRight", "Zoom in"}};
    for (const Expect& e : expect) {
        QCOMPARE(e.b->objectName(), QString(e.name));
        QCOMPARE(e.b->toolTip(), QString(e.tip));
        QCOMPARE(e.b->size(), QSize(h, h));
        QCOMPARE(e.b->iconSize(), QSize(h, h));
        QVERIFY(!e.b->icon().isNull());
    }
    QCOMPARE(z.btnDropDown->objectName(), QString("btnZoomRight"));
    QCOMPARE(z.btnDropDown->size(), QSize(h / 2, h));
    QVERIFY(!z.btnDropDown->icon().isNull());
    // Built hidden, and showing the control does not bring it back.
    z.show();
    QVERIFY(!z.btnDropDown->isVisible());
    QVERIFY(z.btnIn->isVisible());
    QVERIFY(z.menu == nullptr);
}

void TestZoomCtrl::buttons_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("command");
    QTest::newRow("trigger") << 0 << "Trg";
    QTest::newRow("all") << 1 << "All";
    QTest::newRow("out") << 2 << "Out";
    QTest::newRow("in") << 3 << "In";
}

void TestZoomCtrl::buttons()
{
    QFETCH(int, button);
    ZoomCtrl z(nullptr);
    QSignalSpy spy(&z, &ZoomCtrl::zoomChanged);
    QPushButton* b[] = {z.btnTrg, z.btnAll, z.btnOut, z.btnIn};
    b[button]->click();
    QCOMPARE(spy.count(), 1);
    QTEST(spy.at(0).at(0).toString(), "command");
}

void TestZoomCtrl::scaleText_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<QString>("text");
    QTest::newRow("2") << 2.0 << "2";
    QTest::newRow("0.5") << 0.5 << "0.5";
    QTest::newRow("0.01") << 0.01 << "0.01";
    QTest::newRow("fraction") << 1234.5678 << "1234.57";
    QTest::newRow("one million") << 1e6 << "1000000";
    QTest::newRow("large") << 123456789.75 << "123456790";
    QTest::newRow("no capture") << 0.0 << "0";
}

void TestZoomCtrl::scaleText()
{
    QFETCH(double, scale);
    QTEST(ZoomCtrl::scaleText(scale), "text");
}

void TestZoomCtrl::dropDownShowsScale()
{
    WaveDataGen gen;
    gen.scale = 2;
    ZoomCtrl z;
    z.viewScale = [&gen] { return gen.scale; };
    QSignalSpy spy(&z, &ZoomCtrl::zoomChanged);
    z.slotDropDwon();
    QVERIFY(z.menu && z.edit);
    QCOMPARE(z.edit->text(), QString("2"));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QString("2"));
    QCOMPARE(z.edit->width(), Config::pixel(66));
    QVERIFY(z.menu->isVisible());
    z.menu->close();

    // Opening again at the same scale sends nothing new.
    z.slotDropDwon();
    QCOMPARE(spy.count(), 1);
    z.menu->close();
    gen.scale = 0.5;
    z.slotDropDwon();
    QCOMPARE(z.edit->text(), QString("0.5"));
    QCOMPARE(spy.count(), 2);
    z.menu->close();
}

void TestZoomCtrl::editTexts_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("commands");
    QTest::newRow("number") << "12.5" << "12.5" << 1;
    QTest::newRow("empty") << "" << "3" << 0;
    QTest::newRow("lone point") << "." << "3" << 0;
    QTest::newRow("bar") << "1|2" << "3" << 0;
    QTest::newRow("two points") << "1.2.3" << "3" << 0;
}

void TestZoomCtrl::editTexts()
{
    QFETCH(QString, typed);
    WaveDataGen gen;
    gen.scale = 3;
    ZoomCtrl z;
    z.viewScale = [&gen] { return gen.scale; };
    z.slotDropDwon();
    z.menu->close();
    QSignalSpy spy(&z, &ZoomCtrl::zoomChanged);
    // The validator lets digits, points and bars through.
    int pos = 0;
    QString probe = typed;
    QVERIFY(typed.isEmpty() || z.edit->validator()->validate(probe, pos) == QValidator::Acceptable);
    z.edit->setText(typed);
    QTEST(z.edit->text(), "shown");
    QTEST(int(spy.count()), "commands");
    if (spy.count())
        QCOMPARE(spy.at(0).at(0).toString(), typed);
    QString letters = "1a";
    QCOMPARE(z.edit->validator()->validate(letters, pos), QValidator::Invalid);
}

void TestZoomCtrl::returnClosesMenu()
{
    WaveDataGen gen;
    gen.scale = 4;
    ZoomCtrl z;
    z.viewScale = [&gen] { return gen.scale; };
    z.show();
    z.slotDropDwon();
    QTRY_VERIFY(z.edit->hasFocus());
    QSignalSpy spy(&z, &ZoomCtrl::zoomChanged);
    QTest::keyClick(z.edit, Qt::Key_Backspace);
    QTest::keyClicks(z.edit, "8");
    // The emptied edit is refused and put back silently; then "48".
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QString("48"));
    QTest::keyClick(z.edit, Qt::Key_Return);
    QVERIFY(!z.edit->hasFocus());
    QTRY_VERIFY(!z.menu->isVisible());
}

QTEST_MAIN(TestZoomCtrl)
#include "test_zoomctrl.moc"
