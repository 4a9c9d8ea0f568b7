// The oscilloscope's side panels on the mixed-signal model: what their
// fields show for a scale, what an entry (numbers, limits, text that is no
// number) sets on the device, the math panel's units, and that building and
// loading a panel changes no setting.
#include <QtTest>

#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <memory>

#include "config/Config.h"
#include "config/Lang.h"
#include "device/DevGlobals.h"
#include "osc/DevMS.h"
#include "osc/OscPanels.h"
#include "support/TestEnv.h"
#include "widgets/MyDial.h"
#include "widgets/MySwitch.h"

class TestOscPanels : public QObject
{
    Q_OBJECT
    std::unique_ptr<DevPoplar> dev;

    // Types a text into a field and finishes the edit (the field has no
    // focus, as after Return).
    static void enter(QLineEdit* e, const QString& text)
    {
        e->setText(text);
        emit e->editingFinished();
    }

private slots:
    void initTestCase()
    {
        TestEnv::startProgram();
    }
    void init()
    {
        Config::setDefaultDocument();
        dev = std::make_unique<DevPoplar>();
        devUsing = dev.get();
    }
    void cleanup()
    {
        devUsing = nullptr;
        dev.reset();
    }

    void scales_data()
    {
        QTest::addColumn<qlonglong>("mV");
        QTest::addColumn<qlonglong>("number");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<int>("decimals");
        QTest::newRow("20 mV") << 20LL << 20LL << "mV" << 1;
        QTest::newRow("500 mV") << 500LL << 500LL << "mV" << 0;
        QTest::newRow("999 mV") << 999LL << 999LL << "mV" << 0;
        QTest::newRow("1 V") << 1000LL << 1LL << "V" << 2;
        QTest::newRow("5 V (probe 10)") << 5000LL << 5LL << "V" << 2;
        QTest::newRow("20 V") << 20000LL << 20LL << "V" << 1;
    }
    void scales()
    {
        QFETCH(qlonglong, mV);
        QFETCH(qlonglong, number);
        QFETCH(QString, unit);
        QFETCH(int, decimals);
        const OscScale::Scaled s = OscScale::volts(mV);
        QCOMPARE(s.number, number);
        QCOMPARE(s.unit, unit);
        QCOMPARE(OscScale::decimals(s.number), decimals);
    }

    void timeScales()
    {
        QCOMPARE(OscScale::time(10).unit, QString("ns"));
        QCOMPARE(OscScale::time(5000).number, 5LL);
        QCOMPARE(OscScale::time(5000).unit, QString("us"));
        QCOMPARE(OscScale::time(2000000).unit, QString("ms"));
        QCOMPARE(OscScale::time(5000000000LL).number, 5LL);
        QCOMPARE(OscScale::time(5000000000LL).unit, QString("s"));
    }

    // Offset entries on a channel of 500 mV per division with a 10X probe:
    // a screen of 10 x 5 V.
    void channelOffset_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QString>("shown");
        QTest::newRow("12.5 V") << "12.5" << 250 << "12.50";
        QTest::newRow("negative") << "-5" << -100 << "-5.00";
        QTest::newRow("rounded") << "0.026" << 1 << "0.05";
        QTest::newRow("past the top") << "30" << 500 << "25.00";
        QTest::newRow("past the bottom") << "-30" << -500 << "-25.00";
        QTest::newRow("huge") << "1e30" << 500 << "25.00";
        QTest::newRow("not a number") << "nan" << 0 << "0.00";
        QTest::newRow("text") << "abc" << 0 << "0.00";
        QTest::newRow("infinite") << "-inf" << 0 << "0.00";
    }
    void channelOffset()
    {
        QFETCH(QString, text);
        QFETCH(int, offset);
        QFETCH(QString, shown);
        dev->setAVoltDivIndex(0, 4);
        dev->setAProbeRate(0, 10);
        dev->setAChnOffset(0, 77);
        ChnSetOsc p(0);
        p.init();
        QCOMPARE(p.labUnit->text(), QString("V"));
        QSignalSpy codes(&p, &ChnSetOsc::chnSetChanged);
        enter(p.editOffset, text);
        QCOMPARE(dev->aChnOffset[0], offset);
        QCOMPARE(p.editOffset->text(), shown);
        QCOMPARE(codes.size(), 1);
        QCOMPARE(codes[0], (QVariantList{13, 0}));
    }

    void channelPanel()
    {
        dev->setAVoltDivIndex(1, 5);   // 1 V
        dev->setAProbeRate(1, 10);     // 10 V a division
        dev->setAChnOffset(1, 250);
        ChnSetOsc p(1);
        p.init();
        QCOMPARE(p.setChnVolt(), QString("25.0V"));
        QCOMPARE(p.dial->textList().at(5), QString("10V"));
        QCOMPARE(p.dial->currentIndex(), 5);
        QVERIFY(p.probe->button(1)->isChecked());
        QSignalSpy codes(&p, &ChnSetOsc::chnSetChanged);
        // 100 V on a 10 V scale: 2t = 2000 >= 1000, the top of the screen.
        enter(p.editOffset, "100");
        QCOMPARE(dev->aChnOffset[1], 500);
        // Reset, coupling, probe and V/div each say what changed.
        p.btnReset->click();
        QCOMPARE(dev->aChnOffset[1], 0);
        QCOMPARE(p.editOffset->text(), QString("0.0"));
        p.coupling->button(1)->click();
        QCOMPARE(dev->aCoupling[1], 1);
        p.probe->button(0)->click();
        QCOMPARE(dev->aProbeRate[1], 1);
        QCOMPARE(p.dial->textList().at(5), QString("1V"));
        QCOMPARE(p.dial->currentIndex(), 5);
        QCOMPARE(p.labUnit->text(), QString("V"));
        p.dial->findChild<QPushButton*>("0")->click();
        QCOMPARE(dev->aVoltDivIndex[1], 4);
        QCOMPARE(p.labUnit->text(), QString("mV"));
        QList<int> seen;
        for (const QVariantList& c : codes)
            seen << c[0].toInt();
        QCOMPARE(seen, (QList<int>{13, 14, 10, 11, 12}));
    }

    // Building and loading a panel changes nothing on the device; the
    // switch then turns the channel on and off.
    void channelSwitch()
    {
        dev->setAChnEna(QVector<bool>({false, true}));
        Config::saveDeviceParam(dev->devName, "AChnEnable", "marker");
        ChnSetOsc p(0);
        QSignalSpy codes(&p, &ChnSetOsc::chnSetChanged);
        p.init();
        QCOMPARE(dev->aChnEna, QVector<bool>({false, true}));
        QCOMPARE(Config::readDeviceParam(dev->devName, "AChnEnable"), QString("marker"));
        QVERIFY(codes.isEmpty());
        QVERIFY(!p.titleBar->switchOn());
        QVERIFY(!p.content->isEnabled());
        p.titleBar->sw->click();
        QCOMPARE(dev->aChnEna, QVector<bool>({true, true}));
        QVERIFY(p.content->isEnabled());
        QCOMPARE(codes.size(), 1);
        QCOMPARE(codes[0], (QVariantList{9, 0}));
    }

    void expandCollapse()
    {
        ChnSetOsc c(0);
        TimeSetOsc t;
        TriggerSetOsc g;
        MathChnOsc m;
        QCOMPARE(c.height(), 156);
        QCOMPARE(t.height(), 174);
        QCOMPARE(g.height(), 55);
        QCOMPARE(m.height(), 75);
        QSignalSpy state(&t, &OscPanel::stateChanged);
        t.titleBar->findChild<QPushButton*>("btnExpand")->click();
        QCOMPARE(t.height(), 24);
        QVERIFY(t.content->isHidden());
        t.titleBar->findChild<QPushButton*>("btnExpand")->click();
        QCOMPARE(t.height(), 174);
        QCOMPARE(state.size(), 2);
    }

    // Trigger-time entries at 5 us a division (screen 50 us wide).
    void triggerTime_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("shown");
        QTest::newRow("5 us right") << "5" << 600 << "5.00";
        QTest::newRow("before the screen") << "-30" << 0 << "-25.00";
        QTest::newRow("after the screen") << "30" << 1000 << "25.00";
        QTest::newRow("huge") << "1e30" << 1000 << "25.00";
        QTest::newRow("not a number") << "nan" << 500 << "0.00";
        QTest::newRow("text") << "12us" << 500 << "0.00";
    }
    void triggerTime()
    {
        QFETCH(QString, text);
        QFETCH(int, position);
        QFETCH(QString, shown);
        QVERIFY(dev->setATimeDivValue(5000));
        QVERIFY(dev->setATrgPercent(300));
        TimeSetOsc p;
        p.init();
        QCOMPARE(p.titleBar->unit->text(), QString("us  "));
        QCOMPARE(p.titleBar->edit->text(), QString("-10.00"));
        QSignalSpy codes(&p, &TimeSetOsc::timeSetChanged);
        enter(p.titleBar->edit, text);
        QCOMPARE(dev->aTrgPercent, position);
        QCOMPARE(p.titleBar->edit->text(), shown);
        QCOMPARE(codes.size(), 1);
        QCOMPARE(codes[0].at(0).toInt(), 16);
    }

    void timeBase()
    {
        QVERIFY(dev->setATimeDivValue(5000));
        QVERIFY(dev->setATrgPercent(600));
        TimeSetOsc p;
        p.init();
        QCOMPARE(p.setTrgTime(), QString("5.00us"));
        QCOMPARE(p.dial->textList().first(), QString("10ns"));
        QCOMPARE(p.dial->textList().at(6), QString("1us"));
        QCOMPARE(p.dial->textList().last(), QString("5s"));
        QSignalSpy codes(&p, &TimeSetOsc::timeSetChanged);
        // Reset while the field reads 0 (position 500): nothing to tell.
        dev->setATrgPercent(500);
        p.setTrgTime();
        p.titleBar->btnReset->click();
        QVERIFY(codes.isEmpty());
        dev->setATrgPercent(700);
        p.setTrgTime();
        p.titleBar->btnReset->click();
        QCOMPARE(dev->aTrgPercent, 500);
        QCOMPARE(codes.size(), 1);
        // The wheel's steps stop at both ends of the table.
        dev->setATimeDivIndex(0);
        QVERIFY(!p.setTimeDiv(120));
        QVERIFY(p.setTimeDiv(-120));
        QCOMPARE(dev->aTimeDivIndex, 1);
        QCOMPARE(p.dial->currentIndex(), 1);
        dev->setATimeDivIndex(dev->aTimeDivList.size() - 1);
        QVERIFY(!p.setTimeDiv(-120));
        QCOMPARE(dev->aTimeDivIndex, dev->aTimeDivList.size() - 1);
        // The dial chooses a time base.
        p.init();
        p.dial->findChild<QPushButton*>("0")->click();
        QCOMPARE(dev->aTimeDivIndex, dev->aTimeDivList.size() - 2);
        QCOMPARE(codes.last().at(0).toInt(), 15);
    }

    void triggerPanel()
    {
        dev->setATrgChn(1);
        dev->setATrgType(TrgFalling);
        TriggerSetOsc p;
        QSignalSpy chn(&p, &TriggerSetOsc::trgSetChanged);
        p.init();
        QVERIFY(p.source->button(1)->isChecked());
        QVERIFY(p.edge->button(1)->isChecked());
        QCOMPARE(chn.size(), 1);
        QCOMPARE(chn[0].at(0).toInt(), 1);
        p.source->button(0)->click();
        QCOMPARE(chn.last().at(0).toInt(), 0);
        p.edge->button(0)->click();
        QCOMPARE(dev->aTrgType, int(TrgRising));
    }

    // Math offsets on a 500 mV scale: a unit typed in any case.
    void mathOffset_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("offset");
        QTest::newRow("200m") << "200m" << 40;
        QTest::newRow("200mv") << "200mv" << 40;
        QTest::newRow("200 mV") << "200 mV" << 40;
        QTest::newRow("0.2V") << "0.2V" << 40;
        QTest::newRow("200, no unit") << "200" << 40;
        QTest::newRow("past the top") << "3v" << 500;
        QTest::newRow("negative") << "-1000" << -200;
        QTest::newRow("huge") << "1e30" << 500;
        QTest::newRow("not a number") << "nanV" << 0;
    }
    void mathOffset()
    {
        QFETCH(QString, text);
        QFETCH(int, offset);
        dev->aMathOperator = 1;
        dev->aMathScale[1] = 500;
        MathChnOsc p;
        QCOMPARE(p.cbxOperator->currentIndex(), 1);
        QCOMPARE(p.cbxScale->currentText(), QString("500mV"));
        QSignalSpy changes(&p, &MathChnOsc::mathSetChanged);
        enter(p.editOffset, text);
        QCOMPARE(dev->aMathOffset[1], offset);
        QCOMPARE(p.editOffset->text(), QString::number(offset / 1000.0 * 5000, 'f', 0) + "mV");
        QCOMPARE(changes.size(), 1);
        QCOMPARE(changes[0].at(0).toBool(), false);
    }

    void mathPanel()
    {
        dev->aMathEna = 0;
        MathChnOsc p;
        // On after every build.
        QCOMPARE(dev->aMathEna, 1);
        QVERIFY(p.titleBar->switchOn());
        QSignalSpy changes(&p, &MathChnOsc::mathSetChanged);
        // A volt scale: "2V" is 2000 mV; the offset field follows it.
        dev->aMathOffset[0] = 100;
        emit p.cbxScale->activated(7);
        QCOMPARE(dev->aMathScale[0], 2000);
        QCOMPARE(p.editOffset->text(), QString("2.00V"));
        emit p.cbxOperator->activated(2);
        QCOMPARE(dev->aMathOperator, 2);
        QCOMPARE(changes.last().at(0).toBool(), true);
        p.titleBar->sw->click();
        QCOMPARE(dev->aMathEna, 0);
        QVERIFY(!p.content->isEnabled());
        QCOMPARE(changes.last().at(0).toBool(), false);
        // A volt offset typed as millivolts on a volt scale.
        emit p.cbxOperator->activated(0);
        enter(p.editOffset, "500mV");
        QCOMPARE(dev->aMathOffset[0], 25);
        QCOMPARE(p.editOffset->text(), QString("0.50V"));
    }
};

QTEST_MAIN(TestOscPanels)
#include "test_oscpanels.moc"
