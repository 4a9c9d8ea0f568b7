#include <QtTest>

#include <QCheckBox>
#include <QGraphicsDropShadowEffect>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include "config/Config.h"
#include "support/TestEnv.h"
#include "widgets/ChnEnaGroupBox.h"
#include "widgets/ChnQuickGroupBox.h"
#include "widgets/ColorLump.h"
#include "widgets/MyButton.h"
#include "widgets/MyLightBtn.h"
#include "widgets/MyLineEdit.h"
#include "widgets/MyProgressDlg.h"

class TestWidgetsBoxes : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void progressValue_data();
    void progressValue();
    void progressButtonAndEscape_data();
    void progressButtonAndEscape();

    void chnGroupsWired();
    void chnQuickTables();
    void chnEnaLayout_data();
    void chnEnaLayout();
    void chnEnaRead();

    void smallWidgets();
    void lightButton();
};

void TestWidgetsBoxes::initTestCase()
{
    TestEnv::isolateUserData();
    TestEnv::defaultGrayColors();
}

// ---- progress dialog ----

void TestWidgetsBoxes::progressValue_data()
{
    QTest::addColumn<int>("input");
    QTest::addColumn<bool>("acceptAtFull");
    QTest::addColumn<int>("shown");
    QTest::addColumn<bool>("open");
    QTest::newRow("negative") << -5 << false << 0 << true;
    QTest::newRow("zero") << 0 << true << 0 << true;
    QTest::newRow("middle") << 42 << true << 42 << true;
    QTest::newRow("99") << 99 << true << 99 << true;
    QTest::newRow("150 stays") << 150 << false << 100 << true;
    QTest::newRow("100 accepts") << 100 << true << 100 << false;
    QTest::newRow("150 accepts") << 150 << true << 100 << false;
}

void TestWidgetsBoxes::progressValue()
{
    QFETCH(int, input);
    QFETCH(bool, acceptAtFull);
    QFETCH(int, shown);
    QFETCH(bool, open);
    MyProgressDlg dlg("Save File", "Cancel");
    QVERIFY(dlg.closeOnButton);
    QCOMPARE(dlg.windowModality(), Qt::ApplicationModal);
    QVERIFY(!(dlg.windowFlags() & Qt::WindowCloseButtonHint));
    QVERIFY(dlg.label->wordWrap());
    QCOMPARE(dlg.button->text(), QString("Cancel"));
    dlg.acceptAtFull = acceptAtFull;
    QSignalSpy accepted(&dlg, &QDialog::accepted);
    dlg.show();   // modal for the user, but the test does not block in exec()
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.setValue(input);
    QCOMPARE(dlg.value(), shown);
    QCOMPARE(dlg.isVisible(), open);
    QCOMPARE(accepted.count(), open ? 0 : 1);
    if (!open)
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
}

void TestWidgetsBoxes::progressButtonAndEscape_data()
{
    QTest::addColumn<bool>("closeOnButton");
    QTest::addColumn<bool>("escape");
    QTest::addColumn<bool>("buttonHidden");
    QTest::addColumn<int>("rejects");
    QTest::addColumn<bool>("open");
    QTest::newRow("button closes") << true << false << false << 1 << false;
    QTest::newRow("button leaves it to the owner") << false << false << false << 1 << true;
    QTest::newRow("escape closes") << true << true << false << 1 << false;
    QTest::newRow("escape leaves it to the owner") << false << true << false << 1 << true;
    QTest::newRow("escape with hidden button") << true << true << true << 0 << true;
}

void TestWidgetsBoxes::progressButtonAndEscape()
{
    QFETCH(bool, closeOnButton);
    QFETCH(bool, escape);
    QFETCH(bool, buttonHidden);
    QFETCH(int, rejects);
    QFETCH(bool, open);
    MyProgressDlg dlg("Open File", "Cancel");
    dlg.closeOnButton = closeOnButton;
    dlg.button->setHidden(buttonHidden);
    QSignalSpy rejected(&dlg, &QDialog::rejected);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.setValue(30);
    if (escape)
        QTest::keyClick(&dlg, Qt::Key_Escape);
    else
        QTest::mouseClick(dlg.button, Qt::LeftButton);
    QCOMPARE(rejected.count(), rejects);
    QCOMPARE(dlg.isVisible(), open);
    if (!open)
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
    // Return never cancels a running job.
    if (open) {
        QTest::keyClick(&dlg, Qt::Key_Return);
        QVERIFY(dlg.isVisible());
        QCOMPARE(rejected.count(), rejects);
    }
}

// ---- channel group boxes ----

void TestWidgetsBoxes::chnGroupsWired()
{
    ChnQuickGroupBox quick({100000000, 200000000}, {16, 8});
    ChnEnaGroupBox ena(QVector<bool>(16, true));
    connect(&quick, &ChnQuickGroupBox::chnSelect, &ena, &ChnEnaGroupBox::slotChnEnaSelect);
    connect(&ena, &ChnEnaGroupBox::chnEnaChanged, &quick, &ChnQuickGroupBox::chnSelectChanged);
    QSignalSpy selects(&quick, &ChnQuickGroupBox::chnSelect);
    QSignalSpy changes(&ena, &ChnEnaGroupBox::chnEnaChanged);

    QCOMPARE(quick.title(), QString("  Channel Quick Select  "));
    QCOMPARE(ena.title(), QString("  Channel Select  "));
    const auto& btns = quick.quickButtons();
    QCOMPARE(btns.size(), 2);
    QCOMPARE(btns[0]->text(), QString(" CH0~15 (Maximum sample rate is 100MHz)"));
    QCOMPARE(btns[1]->text(), QString(" CH0~7 (Maximum sample rate is 200MHz)"));
    QVERIFY(quick.noChoiceButton()->isChecked());
    QVERIFY(quick.noChoiceButton()->isHidden());

    btns[1]->click();
    QCOMPARE(selects.count(), 1);
    QCOMPARE(selects.takeFirst(), QVariantList({0, 7}));
    QVector<bool> out(16, false);
    QVERIFY(ena.getChnEna(out));
    for (int i = 0; i < 16; ++i)
        QCOMPARE(out[i], i <= 7);
    QCOMPARE(changes.count(), 0);   // programmatic ticks send nothing
    QVERIFY(btns[1]->isChecked());

    // A manual change clears the quick choice.
    ena.chnBoxes()[12]->click();
    QCOMPARE(changes.count(), 1);
    QVERIFY(quick.noChoiceButton()->isChecked());
    QVERIFY(!btns[0]->isChecked() && !btns[1]->isChecked());

    // Selecting past the last box stops at the last box.
    ena.slotChnEnaSelect(10, 40);
    QVERIFY(ena.getChnEna(out));
    for (int i = 0; i < 16; ++i)
        QCOMPARE(out[i], i >= 10);
}

void TestWidgetsBoxes::chnQuickTables()
{
    ChnQuickGroupBox quick({100000000, 200000000}, {16, 8});
    const auto& btns = quick.quickButtons();
    btns[0]->click();
    // Another table of the same length re-labels and clears the choice.
    QVERIFY(quick.setNumFrequ({50000000, 400000000}, {32, 4}));
    QCOMPARE(btns[0]->text(), QString(" CH0~31 (Maximum sample rate is 50MHz)"));
    QCOMPARE(btns[1]->objectName(), QString("3"));
    QVERIFY(quick.noChoiceButton()->isChecked());
    // A different length, or lists of different lengths, change nothing.
    QVERIFY(!quick.setNumFrequ({1000000}, {2}));
    QVERIFY(!quick.setNumFrequ({1000000, 2000000}, {2}));
    QCOMPARE(btns[0]->text(), QString(" CH0~31 (Maximum sample rate is 50MHz)"));

    QSignalSpy selects(&quick, &ChnQuickGroupBox::chnSelect);
    btns[1]->click();
    QCOMPARE(selects.takeFirst(), QVariantList({0, 3}));

    // Lists of different lengths offer only the complete pairs.
    ChnQuickGroupBox uneven({100000000, 200000000, 400000000}, {16});
    QCOMPARE(uneven.quickButtons().size(), 1);
    // A pair without channels selects nothing.
    ChnQuickGroupBox none({100000000}, {0});
    QSignalSpy noneSpy(&none, &ChnQuickGroupBox::chnSelect);
    none.quickButtons()[0]->click();
    QCOMPARE(noneSpy.count(), 0);
}

void TestWidgetsBoxes::chnEnaLayout_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("rows");
    QTest::newRow("3") << 3 << 1;
    QTest::newRow("8") << 8 << 2;
    QTest::newRow("16") << 16 << 4;
    QTest::newRow("32") << 32 << 8;
}

void TestWidgetsBoxes::chnEnaLayout()
{
    QFETCH(int, n);
    QFETCH(int, rows);
    QVector<bool> ena(n, false);
    ena[n - 1] = true;
    ChnEnaGroupBox box(ena);
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    QVERIFY(grid);
    QCOMPARE(box.chnBoxes().size(), n);
    for (int i = 0; i < n; ++i) {
        QCheckBox* b = box.chnBoxes()[i];
        QCOMPARE(b->text(), "CH" + QString::number(i));
        QCOMPARE(b->isChecked(), i == n - 1);
        int r, c, rs, cs;
        grid->getItemPosition(grid->indexOf(b), &r, &c, &rs, &cs);
        QCOMPARE(r, i % rows);
        QCOMPARE(c, i / rows);
    }
}

void TestWidgetsBoxes::chnEnaRead()
{
    ChnEnaGroupBox box(QVector<bool>{true, false, true, false});
    QVector<bool> wrong(3, true);
    QVERIFY(!box.getChnEna(wrong));
    QCOMPARE(wrong, QVector<bool>(3, true));   // untouched

    QVector<bool> out(4, true);
    box.slotChnEnaSelect(0, -1);   // nothing in range: all unticked
    QVERIFY(!box.getChnEna(out));
    QCOMPARE(out, QVector<bool>(4, false));

    ChnEnaGroupBox empty(QVector<bool>{});
    QVector<bool> none;
    QVERIFY(!empty.getChnEna(none));
}

// ---- small widgets ----

void TestWidgetsBoxes::smallWidgets()
{
    ColorLump lump(2);
    QCOMPARE(lump.objectName(), QString("ColorLump2"));
    QVERIFY(lump.testAttribute(Qt::WA_StyledBackground));

    MyButton b;
    QCOMPARE(b.index, 0);
    QCOMPARE(b.value, 0);

    MyLineEdit edit;
    edit.resize(100, 20);
    QSignalSpy enter(&edit, &MyLineEdit::mouseEnter);
    QTest::mouseClick(&edit, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(enter.count(), 1);
}

void TestWidgetsBoxes::lightButton()
{
    MyLightBtn b;
    b.resize(40, 30);
    b.setText("A");
    b.setHoverColor(Qt::blue);
    b.setSelectedColor(Qt::red);
    QVERIFY(!b.isHovered());
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(&b, &enter);
    QVERIFY(b.isHovered());
    QVERIFY(!b.grab().isNull());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&b, &leave);
    QVERIFY(!b.isHovered());

    b.setSelected(true);
    auto* shadow = qobject_cast<QGraphicsDropShadowEffect*>(b.graphicsEffect());
    QVERIFY(shadow);
    QCOMPARE(shadow->color(), QColor(Qt::red));
    QCOMPARE(shadow->blurRadius(), 30.0);
    b.setSelected(false);
    shadow = qobject_cast<QGraphicsDropShadowEffect*>(b.graphicsEffect());
    QVERIFY(shadow);
    QCOMPARE(shadow->color().alpha(), 0);
    b.setEnabled(false);
    QVERIFY(!b.grab().isNull());
}

QTEST_MAIN(TestWidgetsBoxes)
#include "test_widgets_boxes.moc"
