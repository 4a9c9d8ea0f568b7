#include <QtTest>

#include <QClipboard>
#include <QGridLayout>
#include <QImage>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QPushButton>

#include <climits>
#include <memory>

#include "config/Config.h"
#include "config/Lang.h"
#include "device/DevGlobals.h"
#include "device/DevNone.h"
#include "support/TestEnv.h"
#include "view/ItemChnSidebar.h"
#include "widgets/MyButton.h"

class TestSidebar : public QObject
{
    Q_OBJECT

    std::unique_ptr<DevNone> dev;

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        Config::init();
        Lang::setDocument(QDomDocument());
        Config::dpi = 96;
        Config::createFont();   // the labels' own faces, so widths are the program's
    }
    void init()
    {
        Config::setDefaultDocument();
        Config::dpi = 96;
        dev.reset(new DevNone);
        devUsing = dev.get();
    }
    void cleanup()
    {
        devUsing = nullptr;
        dev.reset();
    }

    void construction_data();
    void construction();
    void showMultip_data();
    void showMultip();
    void triggerButtons();
    void triggerButtonsWithoutDevice();
    void trgStatus_data();
    void trgStatus();
    void resetAll();
    void nameEditing();
    void nameEditInPlace_data();
    void nameEditInPlace();
    void nameKeptWhole_data();
    void nameKeptWhole();
    void longNameElided();
    void lampAndSecondName();
    void lampPainting_data();
    void lampPainting();
    void moveLabelDrag();
};

void TestSidebar::construction_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("chn");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("rowName");
    QTest::addColumn<QString>("strip");
    QTest::newRow("unnamed even") << "" << 2 << "Channel 2" << "0" << "Move2";
    QTest::newRow("named odd") << "Clock" << 3 << "Clock" << "1" << "Move3";
    QTest::newRow("colours wrap") << "" << 9 << "Channel 9" << "1" << "Move1";
}

void TestSidebar::construction()
{
    QFETCH(QString, name);
    QFETCH(int, chn);
    ItemChnSidebar row(name, chn);
    QTEST(row.nameEdit->text(), "shown");
    QTEST(row.objectName(), "rowName");
    QTEST(row.colorStrip->objectName(), "strip");
    QVERIFY(row.testAttribute(Qt::WA_StyledBackground));
    QCOMPARE(row.minimumWidth(), Config::pixel(194));
    QCOMPARE(row.maximumWidth(), Config::pixel(194));
    QCOMPARE(row.numLabel->text(), QString::number(chn));
    QVERIFY(!row.numLabel->movable);
    QCOMPARE(row.showIndex, chn);
    QCOMPARE(row.showMultip, 1);
    QCOMPARE(row.secondName->objectName(), QString("lblSecondName"));
    QVERIFY(!row.secondName->isEnabled());
    QCOMPARE(row.btnSettings->objectName(), QString("btnSettings"));
    QCOMPARE(row.staShow->objectName(), QString("ChnStaShow"));
    QVERIFY(row.staShow->isHidden());
    // The editor is kept, but the row's layouts leave it out.
    QCOMPARE(row.grid->indexOf(row.nameEdit), -1);

    const int b = Config::pixel(16) + 2 * Config::pixel(1);
    QCOMPARE(row.trgBox->size(), QSize(4 * b, b));
    QCOMPARE(row.trgButtons.size(), 4);
    const int types[4] = {TrgRising, TrgHigh, TrgFalling, TrgLow};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(row.trgButtons[i]->objectName(), QString::number(i));
        QCOMPARE(row.trgButtons[i]->index, types[i]);
        QCOMPARE(row.trgButtons[i]->geometry(), QRect(i * b, 0, b, b));
        QVERIFY(row.trgButtons[i]->isCheckable());
        QVERIFY(!row.trgButtons[i]->icon().isNull());
    }

    QSignalSpy menu(&row, &ItemChnSidebar::sigMenuClicked);
    row.btnSettings->click();
    QCOMPARE(menu.count(), 1);
}

void TestSidebar::showMultip_data()
{
    QTest::addColumn<int>("m");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("result");
    QTest::newRow("1") << 1 << 1 << 0;
    QTest::newRow("8") << 8 << 8 << 0;
    QTest::newRow("15") << 15 << 15 << 0;
    QTest::newRow("16") << 16 << 1 << 1;
    QTest::newRow("0") << 0 << 1 << 1;
    QTest::newRow("negative") << -3 << 1 << 1;
    QTest::newRow("INT_MIN") << INT_MIN << 1 << 1;
    QTest::newRow("INT_MAX") << INT_MAX << 1 << 1;
}

void TestSidebar::showMultip()
{
    QFETCH(int, m);
    ItemChnSidebar row("", 0);
    row.showMultip = 4;
    QTEST(row.setShowMultip(m), "result");
    QTEST(row.showMultip, "stored");
}

void TestSidebar::triggerButtons()
{
    ItemChnSidebar row("", 2);
    QSignalSpy edge(&row, &ItemChnSidebar::sigTrgEdgeChanged);
    MyButton* rising = row.trgButtons[0];
    MyButton* high = row.trgButtons[1];
    MyButton* falling = row.trgButtons[2];

    rising->click();
    QVERIFY(rising->isChecked());
    QCOMPARE(int(dev->chnTrg[2]), int(TrgRising));
    QCOMPARE(edge.count(), 1);

    // A level trigger unchecks the edge button and is not an edge change.
    high->click();
    QVERIFY(high->isChecked());
    QVERIFY(!rising->isChecked());
    QCOMPARE(int(dev->chnTrg[2]), int(TrgHigh));
    QCOMPARE(edge.count(), 1);

    // Clicking the checked button clears the trigger, silently.
    high->click();
    QVERIFY(!high->isChecked());
    QCOMPARE(int(dev->chnTrg[2]), int(TrgNone));
    QCOMPARE(edge.count(), 1);

    falling->click();
    QVERIFY(falling->isChecked());
    QCOMPARE(int(dev->chnTrg[2]), int(TrgFalling));
    QCOMPARE(edge.count(), 2);
    // The trigger was saved for the model.
    QVector<TrgType> saved(dev->chnNum(), TrgNone);
    Config::getChnTrgSettings(dev->devName, saved);
    QCOMPARE(int(saved[2]), int(TrgFalling));
}

void TestSidebar::triggerButtonsWithoutDevice()
{
    devUsing = nullptr;
    ItemChnSidebar row("", 1);
    QSignalSpy edge(&row, &ItemChnSidebar::sigTrgEdgeChanged);
    row.trgButtons[0]->click();
    QVERIFY(row.trgButtons[0]->isChecked());
    QCOMPARE(edge.count(), 1);
    row.resetAll();
    QVERIFY(!row.trgButtons[0]->isChecked());
}

void TestSidebar::trgStatus_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("checked"); // index of the checked button, -1 none
    QTest::newRow("none") << int(TrgNone) << -1;
    QTest::newRow("low") << int(TrgLow) << 3;
    QTest::newRow("high") << int(TrgHigh) << 1;
    QTest::newRow("rising") << int(TrgRising) << 0;
    QTest::newRow("falling") << int(TrgFalling) << 2;
}

void TestSidebar::trgStatus()
{
    QFETCH(int, type);
    QFETCH(int, checked);
    ItemChnSidebar row("", 0);
    row.trgButtons[checked == 0 ? 1 : 0]->setChecked(true); // stale state
    row.setTrgStatus(TrgType(type));
    for (int i = 0; i < 4; ++i)
        QCOMPARE(row.trgButtons[i]->isChecked(), i == checked);
}

void TestSidebar::resetAll()
{
    Config::saveGlobalParam("chnShowName5", "Data");
    ItemChnSidebar row(Config::getChnName(5), 5);
    QCOMPARE(row.nameEdit->text(), QString("Data"));
    row.showIndex = 9;
    row.setShowMultip(3);
    row.trgButtons[3]->click();
    QCOMPARE(int(dev->chnTrg[5]), int(TrgLow));

    row.resetAll();
    QCOMPARE(Config::readGlobalParam("chnShowName5"), QString());
    QCOMPARE(row.nameEdit->text(), QString("Channel 5"));
    QCOMPARE(row.showIndex, 5);
    QCOMPARE(row.showMultip, 1);
    for (MyButton* b : row.trgButtons)
        QVERIFY(!b->isChecked());
    QCOMPARE(int(dev->chnTrg[5]), int(TrgNone));
}

void TestSidebar::nameEditing()
{
    ItemChnSidebar row("", 4);
    row.nameEdit->setText("Clock");
    QTest::keyClick(row.nameEdit, Qt::Key_Return);
    QCOMPARE(Config::readGlobalParam("chnShowName4"), QString("Clock"));
    QCOMPARE(Config::getChnName(4), QString("Clock"));
    // Typing the default name back stores no name of its own.
    row.nameEdit->setText("Channel 4");
    QTest::keyClick(row.nameEdit, Qt::Key_Return);
    QCOMPARE(Config::readGlobalParam("chnShowName4"), QString());
}

// Typed into the editor: nothing, the text left as it was.
const char* const kUnchanged = "(unchanged)";

void TestSidebar::nameEditInPlace_data()
{
    QTest::addColumn<QString>("stored");   // the channel's name before
    QTest::addColumn<QString>("typed");    // replaces the selected name; "" clears it
    QTest::addColumn<QString>("end");      // how the edit ends
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QString>("shown");
    QTest::newRow("Return saves") << "" << "Clock" << "Return" << "Clock" << "Clock";
    QTest::newRow("focus-out saves") << "Data" << "MISO" << "focus" << "MISO" << "MISO";
    QTest::newRow("a click on the row saves") << "" << "CS" << "row" << "CS" << "CS";
    QTest::newRow("a press elsewhere saves") << "Data" << "SCK" << "elsewhere" << "SCK" << "SCK";
    QTest::newRow("default text saves as empty") << "Data" << "Channel 4" << "Return" << "" << "Channel 4";
    QTest::newRow("cleared saves as empty") << "Data" << "" << "Return" << "" << "Channel 4";
    QTest::newRow("Escape restores a name") << "Data" << "xyz" << "Escape" << "Data" << "Data";
    QTest::newRow("Escape restores the default") << "" << "xyz" << "Escape" << "" << "Channel 4";
    // Ended without a change, the edit closes all the same.
    QTest::newRow("Return, unchanged") << "Data" << kUnchanged << "Return" << "Data" << "Data";
    QTest::newRow("Enter, unchanged") << "" << kUnchanged << "Enter" << "" << "Channel 4";
    QTest::newRow("focus-out, unchanged") << "Data" << kUnchanged << "focus" << "Data" << "Data";
    QTest::newRow("a click on the row, unchanged") << "Data" << kUnchanged << "row" << "Data" << "Data";
    QTest::newRow("a press elsewhere, unchanged") << "Data" << kUnchanged << "elsewhere" << "Data" << "Data";
    QTest::newRow("Escape, unchanged") << "Data" << kUnchanged << "Escape" << "Data" << "Data";
}

void TestSidebar::nameEditInPlace()
{
    QFETCH(QString, stored);
    QFETCH(QString, typed);
    QFETCH(QString, end);
    Config::saveGlobalParam("chnShowName4", stored);
    QWidget host;
    auto* row = new ItemChnSidebar(Config::getChnName(4), 4, &host);
    row->setFixedHeight(Config::pixel(42));
    auto* other = new QLineEdit(&host);
    // Takes no focus, as the waveforms do.
    auto* plain = new QWidget(&host);
    plain->setFixedHeight(40);
    auto* layout = new QVBoxLayout(&host);
    layout->addWidget(row);
    layout->addWidget(other);
    layout->addWidget(plain);
    host.show();
    host.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&host));
    const QString before = Config::getChnName(4);
    QCOMPARE(row->nameLabel->text(), before);
    QVERIFY(row->nameEdit->isHidden());

    QTest::mouseDClick(row->nameLabel, Qt::LeftButton);
    QVERIFY(row->nameEdit->isVisible());
    QVERIFY(row->nameEdit->hasFocus());
    QCOMPARE(row->nameEdit->selectedText(), before);
    // In place: over the name, inside the row.
    QVERIFY(row->nameEdit->geometry().contains(row->nameLabel->geometry().center()));
    QVERIFY(row->rect().contains(row->nameEdit->geometry()));
    // A press inside the editor keeps it open.
    QTest::mouseClick(row->nameEdit, Qt::LeftButton);
    QVERIFY(row->nameEdit->isVisible());
    row->nameEdit->selectAll();

    if (typed.isEmpty())
        QTest::keyClick(row->nameEdit, Qt::Key_Backspace);
    else if (typed != kUnchanged)
        QTest::keyClicks(row->nameEdit, typed);
    if (end == "Return")
        QTest::keyClick(row->nameEdit, Qt::Key_Return);
    else if (end == "Enter")
        QTest::keyClick(row->nameEdit, Qt::Key_Enter, Qt::KeypadModifier);
    else if (end == "Escape")
        QTest::keyClick(row->nameEdit, Qt::Key_Escape);
    else if (end == "row")
        QTest::mouseClick(row->colorStrip, Qt::LeftButton);
    else if (end == "elsewhere")
        QTest::mouseClick(plain, Qt::LeftButton);
    else
        other->setFocus(Qt::MouseFocusReason);

    QTEST(Config::readGlobalParam("chnShowName4"), "saved");
    QVERIFY(row->nameEdit->isHidden());
    QVERIFY(!row->nameEdit->hasFocus());
    QTEST(row->nameLabel->text(), "shown");
    QTEST(row->nameEdit->text(), "shown");

    // The next edit starts from the name now shown.
    QTest::mouseDClick(row->nameLabel, Qt::LeftButton);
    QTEST(row->nameEdit->selectedText(), "shown");
    QTest::keyClick(row->nameEdit, Qt::Key_Escape);
    QVERIFY(row->nameEdit->isHidden());
    QTEST(Config::readGlobalParam("chnShowName4"), "saved");
}

// The editor takes no longer a name than the settings keep: the name the
// next start reads back is the one shown now.
void TestSidebar::nameKeptWhole_data()
{
    // A paste longer than a name may be is cut in what was pasted, on a
    // character border; the name around it stays whole. The emoji take two
    // UTF-16 units each, and half of one never stays. cursor: where the
    // paste goes (-1: over the whole name, selected).
    const QString smile = QString::fromUtf8("\xF0\x9F\x99\x82");
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("kept");
    QTest::newRow("letters") << "" << -1 << QString(3 * Config::NameChars, 'n') << QString(Config::NameChars, 'n');
    QTest::newRow("emoji after a letter") << "" << -1 << "a" + smile.repeated(200)
                                          << "a" + smile.repeated((Config::NameChars - 1) / 2);
    QTest::newRow("emoji into a name") << "abc" << 1 << smile.repeated(200)
                                       << "a" + smile.repeated((Config::NameChars - 3) / 2) + "bc";
    // Cut on a grapheme border: neither half of a flag (two regional
    // indicators) nor a letter without its accent stays.
    const QString flag = QString::fromUtf8("\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA");
    const QString accent = QString::fromUtf8("\xCC\x81");
    QTest::newRow("a flag at the limit") << "" << -1 << QString(Config::NameChars - 3, 'a') + flag
                                         << QString(Config::NameChars - 3, 'a');
    QTest::newRow("an accent at the limit") << "" << -1 << QString(Config::NameChars - 1, 'x') + "e" + accent
                                            << QString(Config::NameChars - 1, 'x');
    QTest::newRow("flags into a name") << "ab" << 1 << flag.repeated(100)
                                       << "a" + flag.repeated((Config::NameChars - 2) / 4) + "b";
    // The paste begins as the name after the cursor does: where the paste
    // ends is not to be guessed from the texts.
    const QString grin = QString::fromUtf8("\xF0\x9F\x98\x80"); // shares its first unit with smile
    QTest::newRow("emoji before an emoji") << smile << 0 << grin.repeated(200)
                                           << grin.repeated((Config::NameChars - 2) / 2) + smile;
    QTest::newRow("a letter before the same letter") << "ab" << 0 << "a" + QString(300, 'x')
                                                     << "a" + QString(Config::NameChars - 3, 'x') + "ab";
    QTest::newRow("a letter before its accented twin")
        << "Cafe" + accent + " bar" << 3 << "e" + QString(300, 'z')
        << "Cafe" + QString(Config::NameChars - 10, 'z') + "e" + accent + " bar";
    QTest::newRow("the name pasted before itself") << "ab" << 0 << QString("ab").repeated(200)
                                                   << QString("ab").repeated(Config::NameChars / 2);
    QTest::newRow("marks for the letter before") << "e" << 1 << accent.repeated(300) << "e";
}

void TestSidebar::nameKeptWhole()
{
    QFETCH(QString, before);
    QFETCH(int, cursor);
    QFETCH(QString, pasted);
    ItemChnSidebar row(before, 4);
    if (cursor < 0) {
        QTest::keyClick(row.nameEdit, Qt::Key_A, Qt::ControlModifier);
    } else {
        QTest::keyClick(row.nameEdit, Qt::Key_Home);
        for (int i = 0; i < cursor; ++i)
            QTest::keyClick(row.nameEdit, Qt::Key_Right);
    }
    QApplication::clipboard()->setText(pasted);
    QTest::keyClick(row.nameEdit, Qt::Key_V, Qt::ControlModifier);
    // The cursor stays right after what was kept of the paste, before the
    // rest of the name.
    const int after = cursor < 0 ? 0 : before.size() - cursor;
    QCOMPARE(row.nameEdit->cursorPosition(), row.nameEdit->text().size() - after);
    QTest::keyClick(row.nameEdit, Qt::Key_Return);
    const QString shown = row.nameEdit->text();
    QTEST(shown, "kept");
    QCOMPARE(Config::getChnName(4), shown);

    QTemporaryDir dir;
    const QString file = dir.filePath("cv.config");
    QVERIFY(Config::saveConfig(file));
    Config::setDefaultDocument();
    QVERIFY(Config::loadConfig(file));
    QCOMPARE(Config::getChnName(4), shown);
}

void TestSidebar::longNameElided()
{
    const QString name = "SPI flash chip select of the second board " + QString(100, 'x');
    QWidget host;
    auto* row = new ItemChnSidebar(name, 1, &host);
    row->setFixedHeight(Config::pixel(42));
    row->setSecondName("UART");
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QCOMPARE(row->width(), Config::pixel(194));
    QVERIFY(row->nameLabel->text().endsWith(QChar(0x2026)));
    QVERIFY(row->nameLabel->toolTip().startsWith(name + "\n"));
    QVERIFY(row->secondName->isVisible());
    QVERIFY(row->nameLabel->geometry().right() < row->secondName->geometry().left());
    QCOMPARE(row->nameEdit->text(), name);
}

void TestSidebar::lampAndSecondName()
{
    ItemChnSidebar row("", 0);
    row.setSecondName("UART, SPI");
    QCOMPARE(row.secondName->text(), QString("UART, SPI"));
    QCOMPARE(row.secondName->toolTip(), QString("UART, SPI"));
    // A long one is elided within the label, not cut at both ends.
    const QString longName = "IR remote - Input, WS2812 strip - Data";
    row.setSecondName(longName);
    QVERIFY(row.secondName->text().endsWith(QChar(0x2026)));
    QVERIFY(row.secondName->fontMetrics().horizontalAdvance(row.secondName->text()) <= row.secondName->maximumWidth());
    QCOMPARE(row.secondName->toolTip(), longName);
    row.setSecondName("UART, SPI");

    row.setChnStaShow(true, true, true);
    row.setChnStaVisible(true);
    QVERIFY(!row.staShow->isHidden());
    QCOMPARE(row.numLabel->alignment(), Qt::AlignBottom | Qt::AlignHCenter);
    // Showing the lamp starts it from a cleared reading.
    QVERIFY(!row.staShow->valid && !row.staShow->level && !row.staShow->active);
    row.setChnStaShow(true, false, true);
    QVERIFY(row.staShow->valid && !row.staShow->level && row.staShow->active);
    QCOMPARE(row.staShow->width(), row.numLabel->width());

    row.setChnStaVisible(false);
    QVERIFY(row.staShow->isHidden());
    QCOMPARE(row.numLabel->alignment(), Qt::Alignment(Qt::AlignCenter));
}

void TestSidebar::lampPainting_data()
{
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("level");
    QTest::addColumn<bool>("active");
    QTest::addColumn<QString>("centre"); // expected colour at the lamp's centre, "" = a light digit there
    QTest::newRow("no reading") << false << false << false << "#7f7f7f";
    QTest::newRow("active") << true << false << true << "green";
    QTest::newRow("level high") << true << true << false << "";
    QTest::newRow("level low") << true << false << false << "";
}

void TestSidebar::lampPainting()
{
    QFETCH(bool, valid);
    QFETCH(bool, level);
    QFETCH(bool, active);
    QFETCH(QString, centre);
    ChnStaShow lamp;
    lamp.resize(Config::pixel(16), Config::pixel(16));
    lamp.setState(valid, level, active);
    QImage img(lamp.size(), QImage::Format_ARGB32);
    img.fill(Qt::black);
    lamp.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
    const QColor c(img.pixel(lamp.width() / 2, Config::pixel(8)));
    if (centre == "green") {
        QVERIFY2(c.green() > 100 && c.red() < c.green() && c.blue() < c.green(), qPrintable(c.name()));
    } else if (!centre.isEmpty()) {
        QCOMPARE(c.name(), centre);
    } else {
        // The grey disc carries a light digit somewhere near its middle.
        bool light = false;
        for (int y = 2; y < Config::pixel(13); ++y)
            for (int x = 2; x < lamp.width() - 2; ++x)
                if (QColor(img.pixel(x, y)).lightness() > 200)
                    light = true;
        QVERIFY(light);
    }
}

void TestSidebar::moveLabelDrag()
{
    MoveLabel fixed(3, false);
    QSignalSpy quiet(&fixed, &MoveLabel::sigMoved);
    QTest::mousePress(&fixed, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(&fixed, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(quiet.count(), 0);

    MoveLabel label(3, true);
    label.resize(30, 30);
    QSignalSpy moves(&label, &MoveLabel::sigMoved);
    QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(5, 5));
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 17), label.mapToGlobal(QPoint(5, 17)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&label, &move);
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(5, 9));
    QCOMPARE(moves.count(), 3);
    QCOMPARE(moves.at(0), QVariantList({1, 3, 0}));
    QCOMPARE(moves.at(1), QVariantList({3, 3, 12}));
    QCOMPARE(moves.at(2), QVariantList({2, 3, 4}));
}

QTEST_MAIN(TestSidebar)
#include "test_sidebar.moc"
