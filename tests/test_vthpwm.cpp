// Threshold voltage panel and PWM outputs on a connected 32-channel model:
// what reaches the registers and the configuration for each entry, what is
// refused, and what the panels show for stored (and damaged) settings.

#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QValidator>

#include "app/Startup.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "support/PanelKit.h"
#include "support/RecordingTransport.h"
#include "support/TestEnv.h"
#include "toolbar/PWMSetting.h"
#include "toolbar/VthSetting.h"
#include "widgets/MyButton.h"
#include "widgets/MySwitch.h"

namespace {

QString custom()
{
    return Lang::tr("Custom I/O");
}

QString key(const char* name)
{
    return Config::readDeviceParam(devUsing->devName, name);
}

void store(const char* name, const QString& value)
{
    Config::saveDeviceParam(devUsing->devName, name, value);
}

// The hex text of a register write as ConnectedModel::writes() lists it.
QString reg(int r, const QByteArray& b)
{
    return QString::number(r) + ":" + QString::fromLatin1(b.toHex());
}

} // namespace

class TestVthPwm : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        Config::init();
        Config::saveGlobalParam("userLang", "en-US");
        Lang::init();
    }
    void init()
    {
        Config::setDefaultDocument();
    }

    // ---- threshold panel ----
    void customEntry_data();
    void customEntry();
    void returnEndsEntryOnce();
    void opening_data();
    void opening();
    void freshCustomWritesDefault();
    void shownPresetWritesNothing();
    void presetWritesItsGroup();
    void groupsKeepOwnCustomValues();
    void sixteenChannelsUseGroupOne();
    void withoutAdjustableThreshold();
    void valueInView_data();
    void valueInView();

    // ---- PWM ----
    void pwmSave_data();
    void pwmSave();
    void pwmFill_data();
    void pwmFill();
    void pwmEditRules();
    void pwmCancelAndReplacedDevice();
    void switchesWriteBothEnables();
    void groupFollowsToolbarKey_data();
    void groupFollowsToolbarKey();

private:
    // The whole of text in the edit, none of it scrolled out.
    static void checkWholeValue(QLineEdit* e, const QString& text);

    // A panel on a connected Rowan showing the given stored choice of group 1.
    struct Panel {
        ConnectedModel m{DevModelRowan};
        VthSetting vth;
        Panel(const QString& level, const QString& volts)
        {
            store("chnLevel", level);
            store("chnVth", volts);
            vth.devModelChanged();
            m.usb->clear();
        }
    };
};

// ---------------------------------------------------------------------------
// Threshold panel

void TestVthPwm::customEntry_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");   // empty: refused
    QTest::newRow("4") << "4" << "4.00";
    QTest::newRow("-4") << "-4" << "-4.00";
    QTest::newRow("0.333") << "0.333" << "0.33";
    QTest::newRow("4.01") << "4.01" << "";
    QTest::newRow("-4.5") << "-4.5" << "";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("abc") << "abc" << "";
    QTest::newRow("nan") << "nan" << "";
    QTest::newRow("inf") << "inf" << "";
}

void TestVthPwm::customEntry()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    Panel p(custom(), "2.50");
    QVERIFY(p.vth.vthEdit()->isEnabled());
    WarningLog warnings;

    p.vth.vthEdit()->setText(typed);
    p.vth.slotVthEditFinish();

    if (shown.isEmpty()) {
        QCOMPARE(warnings.texts, QStringList{"The effective range of threshold voltage is -4.0 ~ 4.0V"});
        QCOMPARE(warnings.titles, QStringList{"A Setting is Invalid"});
        QCOMPARE(p.vth.vthEdit()->text(), QString("2.50"));
        QCOMPARE(key("chnVth"), QString("2.50"));
        QVERIFY(p.m.writes().isEmpty());
    } else {
        QVERIFY(warnings.texts.isEmpty());
        QCOMPARE(p.vth.vthEdit()->text(), shown);
        QCOMPARE(key("chnVth"), shown);
        QCOMPARE(p.m.writes(), QStringList{reg(104, p.m.vthBytes(shown.toDouble()))});
    }
    QCOMPARE(key("chnLevel"), custom());
}

void TestVthPwm::returnEndsEntryOnce()
{
    Panel p(custom(), "1.00");
    p.vth.show();
    QVERIFY(QTest::qWaitForWindowActive(&p.vth));
    QLineEdit* e = p.vth.vthEdit();
    e->setFocus();
    QTRY_VERIFY(e->hasFocus());
    e->selectAll();
    QTest::keyClicks(e, "3");
    QTest::keyClick(e, Qt::Key_Return);
    // Return gives the focus up; the focus loss ends the entry, once.
    QVERIFY(!e->hasFocus());
    QCOMPARE(e->text(), QString("3.00"));
    QCOMPARE(p.m.writes(), QStringList{reg(104, p.m.vthBytes(3.0))});
}

void TestVthPwm::opening_data()
{
    QTest::addColumn<QString>("level");
    QTest::addColumn<QString>("volts");
    QTest::addColumn<QString>("preset");
    QTest::addColumn<QString>("edit");
    QTest::newRow("3.3V CMOS") << "3.3V CMOS" << "" << "3.3V CMOS" << "1.65";
    QTest::newRow("5.0V TTL") << "5.0V TTL" << "2.00" << "5.0V TTL" << "1.58";
    QTest::newRow("nothing stored") << "" << "" << "3.3V CMOS" << "1.65";
    QTest::newRow("no such preset") << "nonsense" << "1.00" << "3.3V CMOS" << "1.65";
    QTest::newRow("custom 2.50") << custom() << "2.50" << custom() << "2.50";
    QTest::newRow("custom, unreadable") << custom() << "abc" << custom() << "1.65";
    QTest::newRow("custom, beyond 4 V") << custom() << "9" << custom() << "1.65";
    QTest::newRow("custom, empty") << custom() << "" << custom() << "1.65";
    QTest::newRow("custom in another language") << "自定义 I/O" << "2.50" << "3.3V CMOS" << "1.65";
}

void TestVthPwm::opening()
{
    QFETCH(QString, level);
    QFETCH(QString, volts);
    QFETCH(QString, preset);
    QFETCH(QString, edit);
    ConnectedModel m(DevModelRowan);
    store("chnLevel", level);
    store("chnVth", volts);
    VthSetting vth;
    vth.devModelChanged();

    QCOMPARE(vth.presetButton()->text(), preset);
    QCOMPARE(vth.vthEdit()->text(), edit);
    QCOMPARE(vth.vthEdit()->isEnabled(), preset == custom());
    const int row = vth.presetMenuButtons().indexOf(
        *std::find_if(vth.presetMenuButtons().begin(), vth.presetMenuButtons().end(),
                      [](MyButton* b) { return b->isChecked(); }));
    QCOMPARE(vth.presetTable()[row].name, preset);
    QCOMPARE(vth.groupButton()->text(), QString("CH0-15"));
    QVERIFY(!vth.groupButton()->isHidden());   // 32 channels
    // Shown, not chosen: nothing written anywhere.
    QVERIFY(m.writes().isEmpty());
    QCOMPARE(key("chnLevel"), level);
    QCOMPARE(key("chnVth"), volts);
}

void TestVthPwm::freshCustomWritesDefault()
{
    Panel p("", "");
    WarningLog warnings;
    p.vth.presetMenuButtons()[p.vth.customRow()]->click();
    QCOMPARE(p.vth.presetButton()->text(), custom());
    QVERIFY(p.vth.vthEdit()->isEnabled());
    QCOMPARE(p.vth.vthEdit()->text(), QString("1.65"));
    QCOMPARE(p.m.writes(), QStringList{reg(104, p.m.vthBytes(1.65))});
    QCOMPARE(key("chnLevel"), custom());
    QCOMPARE(key("chnVth"), QString("1.65"));
    QVERIFY(warnings.texts.isEmpty());
}

void TestVthPwm::shownPresetWritesNothing()
{
    Panel p("", "");
    p.vth.presetMenuButtons()[VthSetting::fallbackRow]->click();
    QVERIFY(p.m.writes().isEmpty());
    QCOMPARE(key("chnLevel"), QString());
    QCOMPARE(key("chnVth"), QString());
}

void TestVthPwm::presetWritesItsGroup()
{
    Panel p(custom(), "3.00");
    p.vth.presetMenuButtons()[1]->click();   // 5.0V CMOS
    QCOMPARE(p.vth.presetButton()->text(), QString("5.0V CMOS"));
    QVERIFY(!p.vth.vthEdit()->isEnabled());
    QCOMPARE(p.vth.vthEdit()->text(), QString("2.50"));
    QCOMPARE(p.m.writes(), QStringList{reg(104, p.m.vthBytes(2.5))});
    QCOMPARE(key("chnLevel"), QString("5.0V CMOS"));
    QCOMPARE(key("chnVth"), QString("2.50"));

    // Group 2 stores another preset: switching to it applies that one there.
    store("chnLevel2", "1.8V CMOS");
    p.m.usb->clear();
    p.vth.groupMenuButtons()[1]->click();
    QCOMPARE(p.vth.groupButton()->text(), QString("CH16-31"));
    QCOMPARE(p.vth.group(), 2);
    QCOMPARE(p.vth.presetButton()->text(), QString("1.8V CMOS"));
    QCOMPARE(p.m.writes(), QStringList{reg(108, p.m.vthBytes(0.9))});
    QCOMPARE(key("chnVth2"), QString("0.90"));
    QCOMPARE(key("chnLevel"), QString("5.0V CMOS"));

    // The group shown already: nothing happens.
    p.m.usb->clear();
    p.vth.groupMenuButtons()[1]->click();
    QVERIFY(p.m.writes().isEmpty());
}

void TestVthPwm::groupsKeepOwnCustomValues()
{
    ConnectedModel m(DevModelRowan);
    store("chnLevel", custom());
    store("chnVth", "1.20");
    store("chnLevel2", custom());
    store("chnVth2", "3.00");
    VthSetting vth;
    vth.devModelChanged();
    QCOMPARE(vth.vthEdit()->text(), QString("1.20"));

    vth.groupMenuButtons()[1]->click();
    QCOMPARE(vth.vthEdit()->text(), QString("3.00"));
    vth.groupMenuButtons()[0]->click();
    QCOMPARE(vth.vthEdit()->text(), QString("1.20"));
    QVERIFY(m.writes().isEmpty());

    // An entry then goes to the group shown.
    vth.groupMenuButtons()[1]->click();
    vth.vthEdit()->setText("2");
    vth.slotVthEditFinish();
    QCOMPARE(m.writes(), QStringList{reg(108, m.vthBytes(2.0))});
    QCOMPARE(Config::readDeviceParam("Rowan", "chnVth2"), QString("2.00"));
    QCOMPARE(Config::readDeviceParam("Rowan", "chnVth"), QString("1.20"));
}

void TestVthPwm::sixteenChannelsUseGroupOne()
{
    ConnectedModel m(DevModelSpruce);
    VthSetting vth;
    vth.devModelChanged();
    QVERIFY(vth.groupButton()->isHidden());
    vth.presetMenuButtons()[0]->click();
    vth.presetMenuButtons()[vth.customRow()]->click();
    vth.vthEdit()->setText("0.5");
    vth.slotVthEditFinish();
    // A preset stores its volts too: "Custom I/O" starts from them.
    QCOMPARE(m.writes(), (QStringList{reg(104, m.vthBytes(1.58)), reg(104, m.vthBytes(1.58)),
                                      reg(104, m.vthBytes(0.5))}));
    QCOMPARE(key("chnLevel"), custom());
    QCOMPARE(key("chnVth"), QString("0.50"));
    QCOMPARE(key("chnLevel2"), QString());
    QCOMPARE(key("chnVth2"), QString());
}

void TestVthPwm::withoutAdjustableThreshold()
{
    ConnectedModel m(DevModelRowan);
    VthSetting vth;
    vth.devModelChanged();
    QVERIFY(vth.noticeLabel()->isHidden());
    m.dev->devFunction.removeAll(DevFuncVth);
    vth.devModelChanged();
    QVERIFY(!vth.noticeLabel()->isHidden());
    QCOMPARE(vth.noticeLabel()->text(), QString("2.5~5V CMOS Compatible"));
    for (QWidget* w : {static_cast<QWidget*>(vth.presetButton()), static_cast<QWidget*>(vth.vthEdit()),
                       static_cast<QWidget*>(vth.groupButton())})
        QVERIFY(w->isHidden());
}

// The longest value at every scale and in every language, with the
// program's font and style sheet, as the remote command leaves it and after
// a long entry scrolled the edit: the whole text lies in the edit and the
// row still fits the panel.
void TestVthPwm::valueInView_data()
{
    QTest::addColumn<int>("dpi");
    QTest::addColumn<QString>("lang");
    for (int dpi : {96, 120, 144, 192, 288})
        for (const char* lang : {"en-US", "zh-CN"})
            QTest::addRow("%d dpi, %s", dpi, lang) << dpi << QString(lang);
}

void TestVthPwm::valueInView()
{
    QFETCH(int, dpi);
    QFETCH(QString, lang);
    const auto restore = qScopeGuard([] {
        Config::dpi = 96;
        Config::saveGlobalParam("userLang", "en-US");
        Lang::setLanguageDir(QString());
        Lang::init();
        qApp->setStyleSheet(QString());
        Config::createFont();
        QApplication::setFont(Config::fontNormal);
    });
    Config::dpi = dpi;
    Config::saveGlobalParam("userLang", lang);
    Lang::setLanguageDir(TestEnv::dataPath("../../Language"));
    Lang::init();
    QCOMPARE(Lang::code, lang);
    Config::createFont();
    QApplication::setFont(Config::fontNormal);
    installStyleSheet(*qApp);

    Panel p(custom(), "1.00");
    p.vth.show();
    QVERIFY(QTest::qWaitForWindowActive(&p.vth));
    QLineEdit* e = p.vth.vthEdit();
    store("chnVth", "-4.00");
    p.vth.devModelChanged();
    checkWholeValue(e, "-4.00");
    if (QTest::currentTestFailed())
        return;

    e->setFocus();
    QTRY_VERIFY(e->hasFocus());
    e->selectAll();
    QTest::keyClicks(e, "-3.999999999999");
    e->grab();
    QTest::keyClick(e, Qt::Key_Return);
    checkWholeValue(e, "-4.00");
    if (QTest::currentTestFailed())
        return;

    // The row of preset, "->", "Vth:", edit and "V" stays within the panel,
    // and the preset's name and icon within its button.
    QWidget* unit = nullptr;
    for (QLabel* l : p.vth.findChildren<QLabel*>())
        if (l->text() == "V")
            unit = l;
    QVERIFY(unit);
    QVERIFY(unit->geometry().right() < p.vth.width());
    QVERIFY(e->geometry().right() < unit->geometry().left());
    QPushButton* b = p.vth.presetButton();
    QCOMPARE(b->text(), custom());
    // The button squeezed by no more than its side padding (6 px each in
    // the style sheet): its label is whole.
    const int label = b->sizeHint().width() - 2 * Config::pixel(6);
    QVERIFY2(label <= b->width(), qPrintable(QString("%1 px of label in %2 px").arg(label).arg(b->width())));
}

void TestVthPwm::checkWholeValue(QLineEdit* e, const QString& text)
{
    QCOMPARE(e->text(), text);
    // The text's room as QLineEdit lays it out: the style's contents
    // rectangle less its 2-pixel margins; the caret takes a pixel.
    QStyleOptionFrame opt;
    opt.initFrom(e);
    opt.rect = e->rect();
    opt.lineWidth = e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, e);
    opt.midLineWidth = 0;
    opt.state |= QStyle::State_Sunken;
    const QRect room = e->style()->subElementRect(QStyle::SE_LineEditContents, &opt, e).adjusted(2, 0, -2, 0);
    const int used = e->fontMetrics().horizontalAdvance(text) + 1;
    QVERIFY2(used <= room.width(), qPrintable(QString("%1 px of text in %2 px").arg(used).arg(room.width())));
    // Drawn, the edit shows its first position at its left end and its last
    // within it.
    e->grab();
    const int mid = room.center().y();
    QCOMPARE(e->cursorPositionAt(QPoint(room.left(), mid)), 0);
    QCOMPARE(e->cursorPositionAt(QPoint(room.right(), mid)), text.size());
}

// ---------------------------------------------------------------------------
// PWM outputs

void TestVthPwm::pwmSave_data()
{
    // Output 0's entry; output 1 stays unticked unless noted.
    QTest::addColumn<bool>("tick");
    QTest::addColumn<QString>("frequ");
    QTest::addColumn<int>("unit");
    QTest::addColumn<QString>("duty");
    QTest::addColumn<bool>("badSecond");   // output 1 ticked with an empty frequency
    QTest::addColumn<double>("hz");        // < 0: refused
    QTest::newRow("0.1 Hz") << true << "0.1" << 2 << "50" << false << 0.1;
    QTest::newRow("0.09 Hz") << true << "0.09" << 2 << "50" << false << -1.0;
    QTest::newRow("20 MHz") << true << "20" << 0 << "50" << false << 2e7;
    QTest::newRow("20.000001 MHz") << true << "20.000001" << 0 << "50" << false << -1.0;
    QTest::newRow("duty 100") << true << "1" << 1 << "100" << false << 1000.0;
    QTest::newRow("duty 0") << true << "1" << 1 << "0" << false << 1000.0;
    // The duty validator lets 101 stand while typing; the check refuses it.
    QTest::newRow("duty 101") << true << "1" << 1 << "101" << false << -1.0;
    QTest::newRow("ticked, empty") << true << "" << 2 << "50" << false << -1.0;
    QTest::newRow("lone point") << true << "." << 2 << "50" << false << -1.0;
    QTest::newRow("unticked, empty") << false << "" << 2 << "50" << false << 0.0;
    QTest::newRow("second bad") << true << "1" << 1 << "50" << true << -1.0;
    QTest::newRow("first bad, second bad") << true << "" << 1 << "50" << true << -1.0;
}

void TestVthPwm::pwmSave()
{
    QFETCH(bool, tick);
    QFETCH(QString, frequ);
    QFETCH(int, unit);
    QFETCH(QString, duty);
    QFETCH(bool, badSecond);
    QFETCH(double, hz);
    ConnectedModel m(DevModelRowan);
    WarningLog warnings;
    PWMSettingDialog dlg;
    QSignalSpy saved(&dlg, &PWMSettingDialog::sigPWMSetSaved);
    dlg.show();
    PWMOutputBlock* b0 = dlg.block(0);
    PWMOutputBlock* b1 = dlg.block(1);
    b0->check->setChecked(tick);
    b0->frequ->setText(frequ);
    b0->unit->setCurrentIndex(unit);
    b0->duty->setText(duty);
    b1->check->setChecked(badSecond);
    if (badSecond)
        b1->frequ->clear();

    dlg.slotBtnSaveClicked();

    if (hz < 0) {
        QCOMPARE(warnings.texts, QStringList{"The effective range of PWM:[0.1Hz,20MHz], duty cycle:[0,100]%."});
        QVERIFY(m.writes().isEmpty());
        QVERIFY(dlg.isVisible());
        QCOMPARE(saved.count(), 0);
        return;
    }
    QVERIFY(warnings.texts.isEmpty());
    QStringList expect{"2:00"};
    if (tick)
        expect << reg(112, m.pwmBytes(hz, duty.toDouble()));
    expect << (tick ? "2:01" : "2:00");
    QCOMPARE(m.writes(), expect);
    QCOMPARE(m.dev->getPWMEnable(0), tick);
    QCOMPARE(m.dev->getPWMEnable(1), false);
    QCOMPARE(saved.count(), 1);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
}

void TestVthPwm::pwmFill_data()
{
    QTest::addColumn<double>("hz");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("unit");
    QTest::newRow("2 500 000 Hz") << 2500000.0 << "2.5" << "MHz";
    QTest::newRow("999 Hz") << 999.0 << "999" << "Hz";
    QTest::newRow("1000 Hz") << 1000.0 << "1" << "KHz";
    QTest::newRow("0.1 Hz") << 0.1 << "0.1" << "Hz";
    QTest::newRow("20 MHz") << 2e7 << "20" << "MHz";
}

void TestVthPwm::pwmFill()
{
    QFETCH(double, hz);
    QFETCH(QString, text);
    QFETCH(QString, unit);
    ConnectedModel m(DevModelRowan);
    m.dev->connected = false;   // stores the values as given
    m.dev->setPWMValue(1, hz, 25);
    m.dev->setPWMEnable(false, true);
    PWMSettingDialog dlg;
    PWMOutputBlock* b = dlg.block(1);
    QCOMPARE(b->frequ->text(), text);
    QCOMPARE(b->unit->currentText(), unit);
    QCOMPARE(b->duty->text(), QString("25"));
    QVERIFY(b->check->isChecked());
    QVERIFY(b->frequ->isEnabled());
    // The unticked output's controls follow its box.
    QVERIFY(!dlg.block(0)->check->isChecked());
    QVERIFY(!dlg.block(0)->frequ->isEnabled());
    dlg.block(0)->check->setChecked(true);
    QVERIFY(dlg.block(0)->duty->isEnabled());
}

void TestVthPwm::pwmEditRules()
{
    ConnectedModel m(DevModelRowan);
    PWMSettingDialog dlg;
    const QValidator* f = dlg.block(0)->frequ->validator();
    const QValidator* d = dlg.block(0)->duty->validator();
    auto state = [](const QValidator* v, QString s) {
        int pos = 0;
        return v->validate(s, pos);
    };
    QCOMPARE(state(f, "12.5"), QValidator::Acceptable);
    QCOMPARE(state(f, ""), QValidator::Acceptable);
    QCOMPARE(state(f, "1.2.3"), QValidator::Invalid);
    QCOMPARE(state(f, "1|2"), QValidator::Invalid);
    QCOMPARE(state(f, "-1"), QValidator::Invalid);
    QCOMPARE(state(d, "100"), QValidator::Acceptable);
    QCOMPARE(state(d, "1000"), QValidator::Invalid);
    QCOMPARE(state(d, "5.5"), QValidator::Invalid);
}

void TestVthPwm::pwmCancelAndReplacedDevice()
{
    ConnectedModel m(DevModelRowan);
    {
        PWMSettingDialog dlg;
        dlg.show();
        dlg.block(0)->frequ->setText("5");
        dlg.reject();
        QVERIFY(m.writes().isEmpty());
    }
    PWMSettingDialog dlg;
    dlg.show();
    // The device object goes while the dialog is open: it closes, unapplied.
    DevBase* old = devUsing;
    devUsing = DevBase::createDevice(DevModelRowan);
    delete old;
    m.dev = devUsing;
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    dlg.slotBtnSaveClicked();
    QVERIFY(m.writes().isEmpty());
}

void TestVthPwm::switchesWriteBothEnables()
{
    ConnectedModel m(DevModelRowan);
    m.dev->setPWMEnable(true, false);
    PWMSetting pwm;
    QVERIFY(pwm.switch1->on);
    QVERIFY(!pwm.switch2->on);
    m.usb->clear();

    pwm.switch2->click();
    QVERIFY(pwm.switch2->on);
    QCOMPARE(m.writes(), QStringList{"2:03"});
    pwm.switch1->click();
    QCOMPARE(m.writes(), (QStringList{"2:03", "2:02"}));
    QVERIFY(!m.dev->getPWMEnable(0));

    // The device changed behind the switches: a disconnect refreshes nothing,
    // a connect does.
    m.dev->setPWMEnable(true, true);
    pwm.devConnectChanged(false);
    QVERIFY(!pwm.switch1->on);
    pwm.devConnectChanged(true);
    QVERIFY(pwm.switch1->on && pwm.switch2->on);
}

void TestVthPwm::groupFollowsToolbarKey_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("shown");
    QTest::newRow("1") << "1" << true;
    QTest::newRow("-3") << "-3" << true;
    QTest::newRow("0") << "0" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("letters") << "on" << false;
}

void TestVthPwm::groupFollowsToolbarKey()
{
    QFETCH(QString, value);
    QFETCH(bool, shown);
    ConnectedModel m(DevModelRowan);
    PWMSetting pwm;
    Config::saveGlobalParam("toolbarPWM", value);
    m.dev->setPWMEnable(false, true);
    pwm.slotEnaChanged();
    QCOMPARE(!pwm.isHidden(), shown);
    QVERIFY(!pwm.switch1->on && pwm.switch2->on);
    // Whether the model has outputs is not asked.
    m.dev->devFunction.clear();
    pwm.slotEnaChanged();
    QCOMPARE(!pwm.isHidden(), shown);
}

QTEST_MAIN(TestVthPwm)
#include "test_vthpwm.moc"
