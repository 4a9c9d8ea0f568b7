#include <QtTest>

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolTip>

#include "config/Config.h"
#include "config/Lang.h"
#include "decode/RightBoxView.h"
#include "support/TestEnv.h"

namespace {

void sendEnter(QWidget* w)
{
    const QPointF local(2, 2);
    QEnterEvent e(local, local, w->mapToGlobal(local.toPoint()));
    QApplication::sendEvent(w, &e);
}

} // namespace

class TestRightBox : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void titleBarConstruction_data();
    void titleBarConstruction();
    void titleBarToggle();
    void titleBarSetState_data();
    void titleBarSetState();

    void searchEditLayout();
    void searchEditTotal_data();
    void searchEditTotal();

    void markerTipFits();
    void markerTipClipped();
};

void TestRightBox::initTestCase()
{
    TestEnv::isolateUserData();
    Config::dpi = 96;
    Lang::setDocument(QDomDocument());
}

void TestRightBox::titleBarConstruction_data()
{
    QTest::addColumn<int>("icon");
    QTest::addColumn<bool>("state");
    QTest::addColumn<bool>("expanded");
    QTest::newRow("settings, starts expanded") << 0 << false << true;
    QTest::newRow("add, starts collapsed") << 1 << true << false;
}

void TestRightBox::titleBarConstruction()
{
    QFETCH(int, icon);
    QFETCH(bool, state);
    QFETCH(bool, expanded);

    TitleBar bar(icon, "Decoded Results", state);
    bar.show();
    QCOMPARE(bar.getState(), expanded);

    auto* btnExpand = bar.findChild<QPushButton*>("btnExpand");
    auto* btnSet = bar.findChild<QPushButton*>("btnSet");
    QVERIFY(btnExpand && btnSet);
    QCOMPARE(btnExpand->size(), QSize(Config::pixel(16), Config::pixel(16)));
    QCOMPARE(btnSet->size(), QSize(Config::pixel(16) + 2 * Config::pixel(1),
                                   Config::pixel(16) + 2 * Config::pixel(1)));
    QCOMPARE(btnSet->isVisible(), expanded);
    QVERIFY(!btnExpand->icon().isNull());
    QVERIFY(!btnSet->icon().isNull());
    // The set button's icon says what it does: add an item, or open settings.
    const QString setIcon = icon ? ":/res/btnAddItem" : ":/res/btnSetting";
    QCOMPARE(btnSet->icon().pixmap(16).toImage(), QIcon(setIcon).pixmap(16).toImage());
    const QString expIcon = expanded ? ":/res/btnExpand" : ":/res/btnCollapse";
    QCOMPARE(btnExpand->icon().pixmap(16).toImage(), QIcon(expIcon).pixmap(16).toImage());

    auto* title = bar.findChild<QLabel*>();
    QVERIFY(title);
    QCOMPARE(title->text(), QString("Decoded Results"));
}

void TestRightBox::titleBarToggle()
{
    TitleBar bar(0, "Analyzers", false);
    bar.show();
    QSignalSpy expand(&bar, &TitleBar::expandClicked);
    QSignalSpy set(&bar, &TitleBar::setClicked);
    auto* btnExpand = bar.findChild<QPushButton*>("btnExpand");
    auto* btnSet = bar.findChild<QPushButton*>("btnSet");

    QTest::mouseClick(btnSet, Qt::LeftButton);
    QCOMPARE(set.count(), 1);
    QCOMPARE(expand.count(), 0);

    QTest::mouseClick(btnExpand, Qt::LeftButton);
    QCOMPARE(expand.count(), 1);
    QVERIFY(!bar.getState());
    QVERIFY(!btnSet->isVisible());
    QCOMPARE(btnExpand->icon().pixmap(16).toImage(), QIcon(":/res/btnCollapse").pixmap(16).toImage());

    QTest::mouseClick(btnExpand, Qt::LeftButton);
    QCOMPARE(expand.count(), 2);
    QVERIFY(bar.getState());
    QVERIFY(btnSet->isVisible());
    QCOMPARE(set.count(), 1);
}

void TestRightBox::titleBarSetState_data()
{
    QTest::addColumn<bool>("initial");   // the state after construction
    QTest::addColumn<bool>("target");
    QTest::addColumn<int>("emits");
    QTest::newRow("expanded to expanded") << true << true << 0;
    QTest::newRow("expanded to collapsed") << true << false << 1;
    QTest::newRow("collapsed to collapsed") << false << false << 0;
    QTest::newRow("collapsed to expanded") << false << true << 1;
}

void TestRightBox::titleBarSetState()
{
    QFETCH(bool, initial);
    QFETCH(bool, target);
    QFETCH(int, emits);

    TitleBar bar(0, "Pulse Counters", !initial);
    QCOMPARE(bar.getState(), initial);
    QSignalSpy expand(&bar, &TitleBar::expandClicked);
    // The panel reads the new state when the signal arrives.
    bool seen = !target;
    connect(&bar, &TitleBar::expandClicked, this, [&] { seen = bar.getState(); });
    bar.setState(target);
    QCOMPARE(expand.count(), emits);
    QCOMPARE(bar.getState(), target);
    if (emits)
        QCOMPARE(seen, target);
    // Repeating the same state changes nothing.
    bar.setState(target);
    QCOMPARE(expand.count(), emits);
}

void TestRightBox::searchEditLayout()
{
    SearchEdit edit;
    edit.resize(Config::pixel(200), edit.height());
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    QCOMPARE(edit.height(), Config::pixel(24));
    QCOMPARE(edit.placeholderText(), QString("Search"));
    QVERIFY(edit.testAttribute(Qt::WA_StyledBackground));
    QCOMPARE(edit.textMargins().left(), Config::pixel(16) + Config::pixel(8) + Config::pixel(2));

    auto* search = edit.findChild<QLabel*>("LabelSearch");
    auto* total = edit.findChild<QLabel*>("LabelTotal");
    QVERIFY(search && total);
    QCOMPARE(search->size(), QSize(Config::pixel(16), Config::pixel(16)));
    QCOMPARE(search->x(), Config::pixel(8));
    QCOMPARE(total->alignment(), Qt::AlignRight | Qt::AlignVCenter);
    edit.setTotalNum(1234);
    QTRY_COMPARE(total->geometry().right(), edit.width() - Config::pixel(8) - 1);

    // Typing reaches the edit's own text and signal.
    QSignalSpy changed(&edit, &QLineEdit::textChanged);
    QTest::keyClicks(&edit, "0x55");
    QCOMPARE(edit.text(), QString("0x55"));
    QCOMPARE(changed.count(), 4);
}

void TestRightBox::searchEditTotal_data()
{
    QTest::addColumn<qint64>("n");
    QTest::addColumn<QString>("shown");
    QTest::newRow("none") << qint64(-1) << " ";
    QTest::newRow("very negative") << qint64(-1000) << " ";
    QTest::newRow("zero") << qint64(0) << "0";
    QTest::newRow("some") << qint64(42) << "42";
    QTest::newRow("beyond 32 bits") << qint64(5000000000LL) << "5000000000";
}

void TestRightBox::searchEditTotal()
{
    QFETCH(qint64, n);
    QFETCH(QString, shown);
    SearchEdit edit;
    edit.setTotalNum(7);
    edit.setTotalNum(n);
    QCOMPARE(edit.findChild<QLabel*>("LabelTotal")->text(), shown);
    QCOMPARE(edit.totalText(), shown);
}

void TestRightBox::markerTipFits()
{
    QWidget host;
    auto* lay = new QHBoxLayout(&host);
    auto* tip = new TimingMarkerTip("T1", &host);
    lay->addWidget(tip);
    host.resize(300, 40);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QVERIFY(!tip->textClipped());

    // A tool tip left over from elsewhere goes away as well.
    QToolTip::showText(host.mapToGlobal(QPoint(5, 5)), "left over", &host);
    QTRY_VERIFY(QToolTip::isVisible());
    sendEnter(tip);
    QTRY_VERIFY(!QToolTip::isVisible());
}

void TestRightBox::markerTipClipped()
{
    QWidget host;
    const QString longText = "Marker pair T1-T2: 123456789.123 us, a long description";
    auto* tip = new TimingMarkerTip(longText, &host);
    tip->setGeometry(0, 0, 40, 20);
    host.resize(60, 30);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QVERIFY(tip->textClipped());

    sendEnter(tip);
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), longText);
    QToolTip::hideText();
}

QTEST_MAIN(TestRightBox)
#include "test_rightbox.moc"
