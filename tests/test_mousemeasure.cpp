// The mouse measurement panel: the rows the "lgcMeasure" key shows, the key
// its menu writes, the menu staying open between clicks, and the texts.
#include <QtTest>

#include <QAction>
#include <QDomDocument>
#include <QLabel>

#include "config/Config.h"
#include "config/Lang.h"
#include "decode/RightBoxView.h"
#include "rightbox/MouseMeasure.h"
#include "support/TestEnv.h"
#include "widgets/MyMenu.h"

namespace {

QVector<bool> shownRows(const MouseMeasure& panel)
{
    QVector<bool> on;
    for (int i = 0; i < MouseMeasure::RowCount; ++i) {
        const bool name = panel.nameLabel(i)->isVisibleTo(panel.body);
        if (name != panel.valueLabel(i)->isVisibleTo(panel.body))
            return {};   // name and value apart
        if (name != panel.rowMenu()->actions()[i]->isChecked())
            return {};   // menu and rows apart
        on << name;
    }
    return on;
}

QStringList valueTexts(const MouseMeasure& panel)
{
    QStringList t;
    for (int i = 0; i < MouseMeasure::RowCount; ++i)
        t << panel.valueLabel(i)->text();
    return t;
}

} // namespace

class TestMouseMeasure : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        Config::init();
        Config::dpi = 96;
        Lang::setDocument(QDomDocument());
    }

    void makeUp()
    {
        Config::saveGlobalParam("lgcMeasure", "");
        MouseMeasure panel;
        QCOMPARE(panel.objectName(), QString("MouseMeasure"));
        const QStringList names{"Width:", "Period:", "DutyCycle:", "Frequency:"};
        for (int i = 0; i < MouseMeasure::RowCount; ++i) {
            QCOMPARE(panel.nameLabel(i)->text(), names[i]);
            QCOMPARE(panel.nameLabel(i)->objectName(), QString("Label"));
            QCOMPARE(panel.valueLabel(i)->text(), QString("###"));
            QCOMPARE(panel.rowMenu()->actions()[i]->text(), names[i].chopped(1));
            QCOMPARE(panel.rowMenu()->actions()[i]->data().toInt(), i);
            QVERIFY(panel.rowMenu()->actions()[i]->property("canHideMenu").isNull());
        }
        QVERIFY(!panel.body->isHidden());
        panel.titleBar->setState(false);
        QVERIFY(panel.body->isHidden());
    }

    // ------------------------------------------------------------------ the key
    void restore_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVector<bool>>("shown");
        QTest::newRow("empty: all") << "" << QVector<bool>{true, true, true, true};
        QTest::newRow("0,1") << "0,1" << QVector<bool>{false, true, true, true};
        QTest::newRow("five fields") << "1,0,0,0,1" << QVector<bool>{true, false, false, false};
        QTest::newRow("x reads as 0") << "x,1,1,1" << QVector<bool>{false, true, true, true};
        QTest::newRow("empty field") << "1,,1,1" << QVector<bool>{true, false, true, true};
        QTest::newRow("1,1,0,1") << "1,1,0,1" << QVector<bool>{true, true, false, true};
    }
    void restore()
    {
        QFETCH(QString, key);
        QFETCH(QVector<bool>, shown);
        Config::saveGlobalParam("lgcMeasure", key);
        MouseMeasure panel;
        QCOMPARE(shownRows(panel), shown);
        // Read again after a settings merge.
        Config::saveGlobalParam("lgcMeasure", "1,1,1,1");
        panel.initMenuTriggered();
        QCOMPARE(shownRows(panel), (QVector<bool>{true, true, true, true}));
        Config::saveGlobalParam("lgcMeasure", key);
        panel.initMenuTriggered();
        QCOMPARE(shownRows(panel), shown);
    }

    void toggles()
    {
        Config::saveGlobalParam("lgcMeasure", "");
        MouseMeasure panel;
        panel.rowMenu()->actions()[1]->trigger();
        QCOMPARE(Config::readGlobalParam("lgcMeasure"), QString("1,0,1,1"));
        panel.rowMenu()->actions()[3]->trigger();
        QCOMPARE(Config::readGlobalParam("lgcMeasure"), QString("1,0,1,0"));
        QCOMPARE(shownRows(panel), (QVector<bool>{true, false, true, false}));
        panel.rowMenu()->actions()[1]->trigger();
        QCOMPARE(Config::readGlobalParam("lgcMeasure"), QString("1,1,1,0"));
        // A fresh panel (the next start) reads the choice.
        MouseMeasure next;
        QCOMPARE(shownRows(next), (QVector<bool>{true, true, true, false}));
    }

    void menuStaysOpen()
    {
        Config::saveGlobalParam("lgcMeasure", "");
        MouseMeasure panel;
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        MyMenu* menu = panel.rowMenu();
        panel.slotBtnSetClicked();
        QTRY_VERIFY(menu->isVisible());
        for (int i : {2, 0}) {
            const QRect r = menu->actionGeometry(menu->actions()[i]);
            QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, r.center());
            QVERIFY(menu->isVisible());
        }
        QCOMPARE(Config::readGlobalParam("lgcMeasure"), QString("0,1,0,1"));
        QCOMPARE(shownRows(panel), (QVector<bool>{false, true, false, true}));
        menu->close();
    }

    // ------------------------------------------------------------------ texts
    void values()
    {
        MouseMeasure panel;
        const QStringList four{"2.1us", "3.19us", "34.169279%", "313.479624KHz"};
        panel.slotValueChanged(four);
        QCOMPARE(valueTexts(panel), four);
        panel.slotValueChanged({"1", "2", "3", "4", "5"});   // more than the rows: ignored
        QCOMPARE(valueTexts(panel), four);
        panel.slotValueChanged({});
        QCOMPARE(valueTexts(panel), four);
        panel.slotValueChanged({"###", "5ms"});
        QCOMPARE(valueTexts(panel), (QStringList{"###", "5ms", "34.169279%", "313.479624KHz"}));
        // Texts pass through the translation.
        QDomDocument doc;
        QVERIFY(doc.setContent(QStringLiteral("<language><head/><zel><text src=\"###\">--</text></zel></language>")));
        Lang::setDocument(doc);
        panel.slotValueChanged({"###"});
        Lang::setDocument(QDomDocument());
        QCOMPARE(panel.valueLabel(0)->text(), QString("--"));
    }
};

QTEST_MAIN(TestMouseMeasure)
#include "test_mousemeasure.moc"
