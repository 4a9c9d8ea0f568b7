// The timing-marker pairs panel on its own: which pair the add button
// makes, the rows the view's codes create and fill, the codes the rows send,
// the limit of 26 pairs, and the row's make-up.
#include <QtTest>

#include <QLabel>
#include <QLayout>
#include <QPushButton>

#include <memory>

#include "config/Config.h"
#include "config/Lang.h"
#include "data/SmpData.h"
#include "decode/ProtoModal.h"
#include "decode/RightBoxView.h"
#include "device/DevGlobals.h"
#include "device/DevNone.h"
#include "rightbox/TimingMarker.h"
#include "support/TestEnv.h"

namespace {

QVector<int> pairIds(const TimingMarker& panel)
{
    QVector<int> ids;
    for (const TimingMarkerPair* p : panel.pairs())
        ids << p->pairId();
    return ids;
}

// The rows in the order the body's layout holds them.
QVector<int> layoutOrder(const TimingMarker& panel)
{
    QVector<int> ids;
    QLayout* lay = panel.body->layout();
    for (int i = 0; i < lay->count(); ++i)
        if (auto* p = qobject_cast<TimingMarkerPair*>(lay->itemAt(i)->widget()))
            ids << p->pairId();
    return ids;
}

QStringList rowTexts(const TimingMarker& panel)
{
    QStringList t;
    for (const TimingMarkerPair* p : panel.pairs())
        t << p->valueText(0) << p->valueText(1) << p->totalText();
    return t;
}

QPushButton* plusButton(const TimingMarker& panel)
{
    return panel.titleBar->findChild<QPushButton*>("btnSet");
}

} // namespace

class TestTimingMarker : public QObject
{
    Q_OBJECT

    std::unique_ptr<DevNone> dev;
    QStringList boxes;   // "title|text"

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        Config::init();
        Config::dpi = 96;
        Lang::setDocument(QDomDocument());
        dev.reset(new DevNone);
        devUsing = dev.get();
        ProtoModal::boxRunner = [this](QWidget*, QMessageBox::Icon icon, const QString& title, const QString& text) {
            QCOMPARE(icon, QMessageBox::Warning);
            boxes << title + "|" + text;
        };
    }

    void cleanupTestCase()
    {
        ProtoModal::boxRunner = nullptr;
        devUsing = nullptr;
        dev.reset();
    }

    void init()
    {
        boxes.clear();
        dev->shownData()->clearData();
    }

    // ------------------------------------------------------------------ the add button
    void addButton_data()
    {
        QTest::addColumn<QVector<int>>("existing");   // pairs the view reported
        QTest::addColumn<int>("removed");              // pair removed through its row first, -1 none
        QTest::addColumn<int>("emitted");              // marker id sent with code 22, -1 none
        QTest::addColumn<QVector<int>>("rows");
        QVector<int> all;
        for (int p = 0; p < 26; ++p)
            all << p;
        QTest::newRow("none") << QVector<int>{} << -1 << 0 << QVector<int>{0};
        QTest::newRow("A, C: B") << QVector<int>{0, 2} << -1 << 2 << QVector<int>{0, 1, 2};
        QTest::newRow("A-C, B removed: B again") << QVector<int>{0, 1, 2} << 1 << 2 << QVector<int>{0, 1, 2};
        QTest::newRow("B only: A") << QVector<int>{1} << -1 << 0 << QVector<int>{0, 1};
        QTest::newRow("A, B: C at the end") << QVector<int>{0, 1} << -1 << 4 << QVector<int>{0, 1, 2};
        QTest::newRow("A-Z: the limit") << all << -1 << -1 << all;
    }
    void addButton()
    {
        QFETCH(QVector<int>, existing);
        QFETCH(int, removed);
        QFETCH(int, emitted);
        QFETCH(QVector<int>, rows);

        TimingMarker panel;
        panel.show();
        for (int p : existing)
            panel.slotTimingMarkerPairChanged(22, 2 * p, "", "");
        QSignalSpy spy(&panel, &TimingMarker::timingMarkerClicked);
        if (removed >= 0) {
            panel.pairs()[removed]->removeButton()->click();
            QCOMPARE(spy.takeFirst(), (QList<QVariant>{2 * removed, 20}));
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        plusButton(panel)->click();
        if (emitted < 0) {
            QVERIFY(spy.isEmpty());
            QCOMPARE(boxes, QStringList{"Warning|Sorry, timing marker pairs has reached the maximum number."});
        } else {
            QCOMPARE(spy.size(), 1);
            QCOMPARE(spy.first(), (QList<QVariant>{emitted, 22}));
            QVERIFY(boxes.isEmpty());
        }
        QCOMPARE(pairIds(panel), rows);
        QCOMPARE(layoutOrder(panel), rows);
        // The view answers the add with code 22: the row exists already.
        if (emitted >= 0) {
            panel.slotTimingMarkerPairChanged(22, emitted, "", "");
            QCOMPARE(pairIds(panel), rows);
        }
    }

    // ------------------------------------------------------------------ codes from the view
    void viewCodes_data()
    {
        QTest::addColumn<QVector<int>>("codes");   // type, id, type, id, ...
        QTest::addColumn<QVector<int>>("rows");
        QTest::newRow("22/5 creates C") << QVector<int>{22, 5} << QVector<int>{2};
        QTest::newRow("22/5 then 22/4") << QVector<int>{22, 5, 22, 4} << QVector<int>{2};
        QTest::newRow("sorted as they come") << QVector<int>{22, 8, 22, 0, 22, 51, 22, 3} << QVector<int>{0, 1, 4, 25};
        QTest::newRow("23 makes no row") << QVector<int>{23, 3} << QVector<int>{};
        QTest::newRow("22/-2") << QVector<int>{22, -2} << QVector<int>{};
        QTest::newRow("22/-1") << QVector<int>{22, -1} << QVector<int>{};
        QTest::newRow("22/52") << QVector<int>{22, 52} << QVector<int>{};
        QTest::newRow("other codes") << QVector<int>{19, 0, 21, 0, 24, 0} << QVector<int>{};
    }
    void viewCodes()
    {
        QFETCH(QVector<int>, codes);
        QFETCH(QVector<int>, rows);
        TimingMarker panel;
        QSignalSpy spy(&panel, &TimingMarker::timingMarkerClicked);
        for (int i = 0; i + 1 < codes.size(); i += 2)
            panel.slotTimingMarkerPairChanged(codes[i], codes[i + 1], "", "");
        QCOMPARE(pairIds(panel), rows);
        QCOMPARE(layoutOrder(panel), rows);
        QVERIFY(spy.isEmpty());
    }

    void texts()
    {
        TimingMarker panel;
        panel.slotTimingMarkerPairChanged(22, 0, "", "");
        panel.slotTimingMarkerPairChanged(22, 2, "", "");
        const TimingMarkerPair* b = panel.pairs()[1];
        QCOMPARE(b->valueText(0), QString("###"));
        QCOMPARE(b->valueText(1), QString("###"));
        QCOMPARE(b->totalText(), QString("###"));
        panel.slotTimingMarkerPairChanged(23, 3, "250us", "750us");
        QCOMPARE(b->valueText(0), QString("###"));
        QCOMPARE(b->valueText(1), QString("250us"));
        QCOMPARE(b->totalText(), QString("750us"));
        QCOMPARE(panel.pairs()[0]->valueText(1), QString("###"));
        // Ids outside 0..51 and pairs without a row change nothing.
        const QStringList before = rowTexts(panel);
        for (int id : {-1, -2, 52, 5})
            panel.slotTimingMarkerPairChanged(23, id, "x", "y");
        QCOMPARE(rowTexts(panel), before);
        QCOMPARE(pairIds(panel), (QVector<int>{0, 1}));
    }

    void initEmpties()
    {
        TimingMarker panel;
        panel.show();
        QSignalSpy spy(&panel, &TimingMarker::timingMarkerClicked);
        for (int id : {0, 2, 4})
            panel.addTimingMarkerPair(id);
        QPointer<TimingMarkerPair> row = panel.pairs()[1];
        panel.init();
        QVERIFY(row.isNull());   // destroyed at once
        QVERIFY(panel.pairs().isEmpty());
        QCOMPARE(panel.body->layout()->count(), 0);
        QVERIFY(spy.isEmpty());
        QVERIFY(panel.body->isVisible());
        plusButton(panel)->click();
        QCOMPARE(spy.first(), (QList<QVariant>{0, 22}));
    }

    // ------------------------------------------------------------------ codes from the rows
    void rowButtons()
    {
        TimingMarker panel;
        panel.addTimingMarkerPair(2);
        TimingMarkerPair* b = panel.pairs()[0];
        QSignalSpy spy(&panel, &TimingMarker::timingMarkerClicked);
        // No capture: B2 picks nothing up.
        b->markerButton(1)->click();
        QVERIFY(spy.isEmpty());
        SmpData* s = dev->shownData();
        QVERIFY(s->dataConvertStart(0, 1000, QVector<bool>(s->chnNum, true)));
        s->smpDepth = 100;
        QVERIFY(s->dataConvertComplete(100));
        b->markerButton(1)->click();
        b->markerButton(0)->click();
        b->locationButton()->click();
        QCOMPARE(spy.size(), 3);
        QCOMPARE(spy[0], (QList<QVariant>{3, 21}));
        QCOMPARE(spy[1], (QList<QVariant>{2, 21}));
        QCOMPARE(spy[2], (QList<QVariant>{2, 19}));
        // A remove for a pair without a row sends nothing.
        panel.slotPairClicked(8, 20);
        QCOMPARE(spy.size(), 3);
        b->removeButton()->click();
        QCOMPARE(spy.last(), (QList<QVariant>{2, 20}));
        QVERIFY(panel.pairs().isEmpty());
    }

    // ------------------------------------------------------------------ make-up
    void rowMakeUp()
    {
        TimingMarker panel;
        panel.show();
        panel.addTimingMarkerPair(51);
        TimingMarkerPair* z = panel.pairs()[0];
        QCOMPARE(z->objectName(), QString("TimingMarkerPair"));
        QCOMPARE(z->markerButton(0)->text(), QString("Z1"));
        QCOMPARE(z->markerButton(1)->text(), QString("Z2"));
        QCOMPARE(z->markerButton(0)->objectName(), QString("btnMarker"));
        QCOMPARE(z->markerButton(0)->size(), QSize(Config::pixel(22), Config::pixel(16)));
        QCOMPARE(z->locationButton()->objectName(), QString("btnLocation"));
        QCOMPARE(z->removeButton()->objectName(), QString("btnRemove"));
        QCOMPARE(z->expandButton()->objectName(), QString("btnExpand"));
        QVERIFY(!z->locationButton()->icon().isNull());
        QVERIFY(!z->removeButton()->icon().isNull());
        // The head reads |Z1-Z2|= and the difference; the body Z1 @ and Z2 @.
        QStringList labels;
        for (QLabel* l : z->findChildren<QLabel*>())
            labels << l->text();
        for (const char* t : {"|", "-", "=", "@", "Z1", "Z2"})
            QVERIFY2(labels.contains(t), t);
        QVERIFY(z->findChild<TimingMarkerTip*>());

        // Rows start expanded; their expand button folds the body away.
        QTRY_VERIFY(z->isVisible());   // a row added to a shown panel shows when laid out
        QVERIFY(z->isExpanded());
        QVERIFY(z->bodyWidget()->isVisible());
        z->expandButton()->click();
        QVERIFY(!z->isExpanded());
        QVERIFY(!z->bodyWidget()->isVisible());
        z->expandButton()->click();
        QVERIFY(z->bodyWidget()->isVisible());

        // The title bar folds the panel's body.
        QCOMPARE(panel.objectName(), QString("TimingMarker"));
        QVERIFY(panel.body->isVisible());
        panel.titleBar->setState(false);
        QVERIFY(!panel.body->isVisible());
        panel.titleBar->setState(true);
        QVERIFY(panel.body->isVisible());
    }
};

QTEST_MAIN(TestTimingMarker)
#include "test_timingmarker.moc"
