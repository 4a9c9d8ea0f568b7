// The oscilloscope's right-hand panels: the cursor pairs with their
// commands, stored choices and channel menu, and the measurement blocks with
// their number formats, stored choices and snapshot dialog.
#include <QtTest>

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QWidgetAction>

#include <cmath>
#include <limits>
#include <memory>

#include "config/Config.h"
#include "config/Lang.h"
#include "decode/ProtoModal.h"
#include "decode/RightBoxView.h"
#include "device/DevGlobals.h"
#include "osc/DevMS.h"
#include "osc/OscCursor.h"
#include "osc/OscMeasure.h"
#include "osc/WaveDataGenOsc.h"
#include "support/TestEnv.h"
#include "widgets/MyMenu.h"

class TestOscRight : public QObject
{
    Q_OBJECT
    std::unique_ptr<DevPoplar> dev;
    std::unique_ptr<WaveDataGenOsc> gen;

    static QStringList menuTexts(const QMenu* m)
    {
        QStringList t;
        for (const QAction* a : m->actions())
            t << (a->isSeparator() ? QString("-") : a->text() + (a->isChecked() ? "*" : ""));
        return t;
    }
    static QVector<bool> listed(const OscMeasurePair* b)
    {
        QVector<bool> v;
        for (const QLabel* l : b->values)
            v << !l->isHidden();
        return v;
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
        gen = std::make_unique<WaveDataGenOsc>();
    }
    void cleanup()
    {
        gen.reset();
        devUsing = nullptr;
        dev.reset();
    }

    // ------------------------------------------------------------ cursor panel

    void cursorPairsListed_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("time");
        QTest::addColumn<bool>("voltage");
        QTest::newRow("nothing stored") << "" << true << true;
        QTest::newRow("0,1") << "0,1" << false << true;
        QTest::newRow("1,0") << "1,0" << true << false;
        QTest::newRow("short list") << "0" << false << true;
        QTest::newRow("not numbers") << "x,1" << false << true;
    }
    void cursorPairsListed()
    {
        QFETCH(QString, stored);
        QFETCH(bool, time);
        QFETCH(bool, voltage);
        Config::saveGlobalParam("oscCursorEna", stored);
        OscCursor p;
        p.init();
        QCOMPARE(!p.pairs[0]->isHidden(), time);
        QCOMPARE(!p.pairs[1]->isHidden(), voltage);
        p.slotBtnSetClicked();
        const QString mark[2] = {time ? "*" : "", voltage ? "*" : ""};
        QCOMPARE(menuTexts(p.menuPair), (QStringList{"|X1-X2|" + mark[0], "|Y1-Y2|" + mark[1]}));
        p.menuPair->hide();
    }

    void cursorPairMenu()
    {
        OscCursor p;
        p.init();
        QSignalSpy cmd(&p, &OscCursor::oscCursorClicked);
        QAction* y = p.menuPair->actions()[1];
        y->setChecked(false);
        p.slotMenuClicked(y);
        QCOMPARE(Config::readGlobalParam("oscCursorEna"), QString("1,0"));
        QVERIFY(p.pairs[1]->isHidden());
        QCOMPARE(cmd.size(), 1);
        QCOMPARE(cmd[0], (QVariantList{1, 5}));
        // Listed again: expanded, stored, nothing to the view.
        p.pairs[1]->slotBtnExpandClicked();
        QVERIFY(!p.pairs[1]->expanded);
        y->setChecked(true);
        p.slotMenuClicked(y);
        QCOMPARE(Config::readGlobalParam("oscCursorEna"), QString("1,1"));
        QVERIFY(!p.pairs[1]->isHidden());
        QVERIFY(p.pairs[1]->expanded);
        QCOMPARE(cmd.size(), 1);
        // Taken up by key: listed without expanding and without storing.
        y->setChecked(false);
        p.slotMenuClicked(y);
        p.pairs[1]->slotBtnExpandClicked();
        p.pairs[1]->slotBtnExpandClicked();
        p.pairs[1]->slotBtnExpandClicked();
        QVERIFY(!p.pairs[1]->expanded);
        p.slotOscCursorAddClicked(1);
        QVERIFY(!p.pairs[1]->isHidden());
        QVERIFY(!p.pairs[1]->expanded);
        QCOMPARE(Config::readGlobalParam("oscCursorEna"), QString("1,0"));
        p.slotOscCursorAddClicked(2);   // no such pair
    }

    void cursorButtons()
    {
        OscCursor p;
        p.init();
        QSignalSpy cmd(&p, &OscCursor::oscCursorClicked);
        p.pairs[0]->btnCursor[1]->click();
        p.pairs[1]->btnCursor[0]->click();
        QCOMPARE(cmd.size(), 2);
        QCOMPARE(cmd[0], (QVariantList{1, 1}));
        QCOMPARE(cmd[1], (QVariantList{0, 0}));
        QCOMPARE(p.pairs[0]->btnCursor[1]->text(), QString("X2"));
        QVERIFY(p.pairs[0]->btnChn->isHidden());
        QVERIFY(!p.pairs[0]->menuChn);
    }

    void cursorChannelMenu()
    {
        OscCursor p;
        p.init();
        QMenu* m = p.pairs[1]->menuChn;
        QCOMPARE(menuTexts(m), (QStringList{"CH1", "CH2"}));
        QSignalSpy cmd(&p, &OscCursor::oscCursorClicked);
        m->actions()[1]->trigger();
        QCOMPARE(Config::readGlobalParam("oscCursorChn"), QString("1"));
        QCOMPARE(p.pairs[1]->btnChn->text(), QString("CH2"));
        QCOMPARE(cmd.size(), 1);
        QCOMPARE(cmd[0], (QVariantList{1, 2}));
        m->actions()[1]->trigger();
        QCOMPARE(cmd.size(), 1);
        // More entries than channels are removed by init; a stored channel
        // the device lacks shows as CH1.
        QWidgetAction* extra = new QWidgetAction(m);
        m->addAction(extra);
        Config::saveGlobalParam("oscCursorChn", "3");
        p.init();
        QCOMPARE(menuTexts(m), (QStringList{"CH1", "CH2"}));
        QCOMPARE(p.pairs[1]->btnChn->text(), QString("CH1"));
        Config::saveGlobalParam("oscCursorChn", "-2");
        p.init();
        QCOMPARE(p.pairs[1]->btnChn->text(), QString("CH1"));
    }

    void cursorValues()
    {
        OscCursor p;
        p.init();
        p.slotOscCursorValue(1, {"5us", "-5us", "10us"});
        QCOMPARE(p.pairs[0]->labValue[0]->text(), QString("5us"));
        QCOMPARE(p.pairs[0]->labValue[1]->text(), QString("-5us"));
        QCOMPARE(p.pairs[0]->labDiff->text(), QString("10us"));
        QCOMPARE(p.pairs[1]->labDiff->text(), QString("###"));
        p.slotOscCursorValue(1, {"1", "2"});
        p.slotOscCursorValue(1, {"1", "2", "3", "4"});
        p.slotOscCursorValue(3, {"1", "2", "3"});
        QCOMPARE(p.pairs[0]->labDiff->text(), QString("10us"));
        // init starts over.
        p.init();
        QCOMPARE(p.pairs[0]->labValue[0]->text(), QString("###"));
    }

    // ------------------------------------------------------------ measurement formats

    void voltTexts_data()
    {
        QTest::addColumn<double>("mV");
        QTest::addColumn<QString>("text");
        QTest::newRow("99.9 mV") << 99.9 << "99.9mV";
        QTest::newRow("99.95 mV") << 99.95 << "100mV";
        QTest::newRow("100 mV") << 100.0 << "0.1V";
        QTest::newRow("-150 mV") << -150.0 << "-0.15V";
        QTest::newRow("1500 mV") << 1500.0 << "1.5V";
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << "###";
        QTest::newRow("not a number") << std::nan("") << "###";
        QTest::newRow("past 64 bits") << -1e300 << "###";
    }
    void voltTexts()
    {
        QFETCH(double, mV);
        QFETCH(QString, text);
        QCOMPARE(OscMeasurePair::voltToStr(mV), text);
    }

    void timeTexts_data()
    {
        QTest::addColumn<qlonglong>("ps");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0LL << "0s";
        QTest::newRow("999 ps") << 999LL << "999ps";
        QTest::newRow("1 ns") << 1000LL << "1ns";
        QTest::newRow("1234567 ps") << 1234567LL << "1.2346us";
        QTest::newRow("2.5e15 ps") << 2500000000000000LL << "2500s";
        QTest::newRow("negative") << -5000LL << "-5000ps";
    }
    void timeTexts()
    {
        QFETCH(qlonglong, ps);
        QFETCH(QString, text);
        QCOMPARE(OscMeasurePair::timeToStr(ps), text);
    }

    void frequencyTexts_data()
    {
        QTest::addColumn<double>("hz");
        QTest::addColumn<QString>("text");
        QTest::newRow("999.9 Hz") << 999.9 << "999.9Hz";
        QTest::newRow("1000 Hz") << 1000.0 << "1KHz";
        QTest::newRow("1234567 Hz") << 1234567.0 << "1.2346MHz";
        QTest::newRow("999999.9 Hz") << 999999.9 << "1000KHz";
        QTest::newRow("5e12 Hz") << 5e12 << "5000GHz";
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << "###";
        QTest::newRow("past 64 bits") << 1e300 << "###";
    }
    void frequencyTexts()
    {
        QFETCH(double, hz);
        QFETCH(QString, text);
        QCOMPARE(OscMeasurePair::freqToStr(hz), text);
    }

    void parameterTexts()
    {
        double v[MeasCount] = {25, -10, 35, 40, 7.5, 12, 1234567, 810.2, 5000, 0, 1e30, -5000, 50};
        bool ok[MeasCount];
        std::fill(ok, ok + MeasCount, true);
        ok[MeasVpp] = false;
        dev->setAProbeRate(1, 10);
        const QStringList t = OscMeasurePair::parameterToStrOsc(1, ok, v, MeasCount);
        QCOMPARE(t, (QStringList{"0.25V", "-0.1V", "0.35V", "###", "75mV", "0.12V", "1.2346us", "810.2Hz", "5ns",
                                 "0s", "###", "-5000ps", "50.00%"}));
        // A switched-off channel: "###" everywhere.
        dev->setAChnEna(QVector<bool>({true, false}));
        QCOMPARE(OscMeasurePair::parameterToStrOsc(1, ok, v, MeasCount), QVector<QString>(13, "###").toList());
        // A generator that has no values for the channel.
        QCOMPARE(OscMeasurePair::parameterToStrOsc(0, nullptr, nullptr, 0).size(), 13);
        // A duty cycle that is no number to show.
        dev->setAChnEna(QVector<bool>({true, true}));
        v[MeasDutyCycle] = std::nan("");
        QCOMPARE(OscMeasurePair::parameterToStrOsc(1, ok, v, MeasCount).last(), QString("###"));
    }

    // ------------------------------------------------------------ measurement panel

    void blockDefaults()
    {
        OscMeasurePair b(0, gen.get());
        QVector<bool> expect(MeasCount, false);
        expect[MeasVamp] = expect[MeasVavg] = expect[MeasFrequency] = true;
        QCOMPARE(listed(&b), expect);
        const QStringList menu = menuTexts(b.menu);
        QCOMPARE(menu.mid(0, 7), (QStringList{"Vtop", "Vbase", "Vamp*", "Vpp", "Vavg*", "Vrms", "-"}));
        QCOMPARE(menu.at(8), QString("Frequency*"));
        QCOMPARE(menu.last(), QString("Snapshot"));
        // Unchecking Vavg stores the thirteen flags.
        QAction* vavg = b.menu->actions()[MeasVavg];
        vavg->trigger();
        QVERIFY(b.values[MeasVavg]->isHidden());
        QCOMPARE(Config::readGlobalParam("oscMeasureChn0"), QString("0,0,1,0,0,0,0,1,0,0,0,0,0"));
        // Another block reads its own key; a short list keeps the others off.
        Config::saveGlobalParam("oscMeasureChn1", "1,0,0,1");
        OscMeasurePair c(1, gen.get());
        expect.fill(false);
        expect[MeasVtop] = expect[MeasVpp] = true;
        QCOMPARE(listed(&c), expect);
    }

    void channelBlocks()
    {
        Config::saveGlobalParam("oscMeasureEna", "1,0");
        OscMeasure m(gen.get());
        m.init();
        QCOMPARE(m.blocks.size(), 2);
        QVERIFY(!m.blocks[0]->isHidden());
        QVERIFY(m.blocks[1]->isHidden());
        QCOMPARE(menuTexts(m.menuChn), (QStringList{"CH1*", "CH2"}));
        m.blocks[1]->titleBar->setState(false);
        QAction* ch2 = m.menuChn->actions()[1];
        ch2->trigger();
        QVERIFY(!m.blocks[1]->isHidden());
        QVERIFY(m.blocks[1]->titleBar->getState());
        QCOMPARE(Config::readGlobalParam("oscMeasureEna"), QString("1,1"));
        // A short stored list: the channels it leaves out are listed.
        Config::saveGlobalParam("oscMeasureEna", "0");
        m.init();
        QVERIFY(m.blocks[0]->isHidden());
        QVERIFY(!m.blocks[1]->isHidden());
        QCOMPARE(m.menuChn->actions().size(), 2);
    }

    void refresh()
    {
        OscMeasure m(gen.get());
        m.init();
        // Ten divisions of 1 ms hold the capture's 10000 samples at 1 MHz.
        QVERIFY(dev->setATimeDivValue(1000000));
        // A capture of a square, 0 to 3300 mV, measured by the generator.
        SmpDataOsc* s = dev->shownDataOsc();
        const int g[2] = {1000, 1000}, sc[2] = {480, 480}, off[2] = {0, 0};
        const bool ena[2] = {true, true};
        QVERIFY(s->dataConvertStart(0, 1000000, g, sc, off, ena));
        for (int c = 0; c < 2; ++c) {
            AnalogChnData* d = s->record(c);
            for (int i = 0; i < 10000; ++i)
                d->samples[i] = (i % 1000) < 500 ? 158 : 0;
            d->count = 10000;
        }
        gen->setViewWidth(1000);
        gen->zoomFirst();
        m.slotOscMeasureValue(1);
        QCOMPARE(m.blocks[0]->values[MeasFrequency]->text(), QString("###"));
        QCOMPARE(m.blocks[1]->values[MeasFrequency]->text(), QString("1KHz"));
        m.slotOscMeasureValue(-1);
        QCOMPARE(m.blocks[0]->values[MeasFrequency]->text(), QString("1KHz"));
        dev->setAChnEna(QVector<bool>({false, true}));
        m.slotOscMeasureValue(2);   // past the channels: every block
        QCOMPARE(m.blocks[0]->values[MeasFrequency]->text(), QString("###"));
        QCOMPARE(m.blocks[1]->values[MeasFrequency]->text(), QString("1KHz"));
    }

    void snapshot()
    {
        OscMeasurePair b(0, gen.get());
        b.values[MeasVtop]->setText("3.3V");
        b.values[MeasDutyCycle]->setText("50.00%");
        int runs = 0;
        ProtoModal::dialogRunner = [&](QDialog* d) {
            ++runs;
            [&] {
                QCOMPARE(d->windowTitle(), QString("CH1 Snapshot"));
                QCOMPARE(d->size(), QSize(350, 320));
                QCOMPARE(b.snapValues[MeasVtop]->text(), QString("3.3V"));
                QCOMPARE(b.snapValues[MeasDutyCycle]->text(), QString("50.00%"));
            }();
            return int(QDialog::Accepted);
        };
        b.menu->actions().last()->trigger();
        b.slotBtnSnapshotClicked();
        ProtoModal::dialogRunner = nullptr;
        QCOMPARE(runs, 2);
        // Snapshot ends the menu; no measurement lost its mark.
        QCOMPARE(b.menu->actions().last()->property("canHideMenu").toString(), QString("true"));
        QVERIFY(b.menu->actions()[MeasFrequency + 1]->isChecked());
    }
};

QTEST_MAIN(TestOscRight)
#include "test_oscright.moc"
