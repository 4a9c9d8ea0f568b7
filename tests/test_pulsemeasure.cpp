// The pulse-counter panel: what a new row counts, the wishes it hands the
// view, how each row picks its number from the view's results, the row
// menus, removing a row, and a device with fewer channels than a row's.
#include <QtTest>

#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QWidgetAction>

#include <memory>

#include "config/Config.h"
#include "config/Lang.h"
#include "data/SmpData.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "device/DevNone.h"
#include "rightbox/PulseMeasure.h"
#include "support/PulseRows.h"
#include "support/TestEnv.h"
#include "view/MainView.h"
#include "widgets/MyButton.h"

namespace {

struct Row {
    int type, chn, range;
};

using Rows = QVector<Row>;

// One opening of a row menu as the seam saw it.
struct Opened {
    QMenu* menu = nullptr;
    QPoint at;
    int count = 0;
};

} // namespace

Q_DECLARE_METATYPE(Rows)

class TestPulseMeasure : public QObject
{
    Q_OBJECT

    std::unique_ptr<DevBase> dev;
    std::unique_ptr<MainView> view;   // owns the markers whose pairs the ranges name
    Opened opened;

    void useDevice(DevBase* d)
    {
        dev.reset(d);
        devUsing = d;
    }
    void setEnables(const QVector<int>& disabled)
    {
        QVector<bool> e(dev->chnNum(), true);
        for (int c : disabled)
            e[c] = false;
        QVERIFY(dev->setDChnEna(e));
    }
    // Both markers of pair p shown (placed) or hidden.
    void showPair(int p, bool on)
    {
        for (int id : {2 * p, 2 * p + 1})
            view->setLogTimeMarkerStateType(view->getCursorBodySub(id), on ? 8 : 5);
    }
    void setSamples(bool on)
    {
        SmpData* s = dev->shownData();
        s->clearData();
        if (!on)
            return;
        QVERIFY(s->dataConvertStart(0, 1000, QVector<bool>(s->chnNum, true)));
        s->smpDepth = 100;
        QVERIFY(s->dataConvertComplete(100));
    }
    // Rows built while every channel is enabled and every pair shows, as
    // a user can; enables and pairs are set afterwards.
    void build(PulseMeasure& panel, const Rows& rows)
    {
        for (int p = 0; p < 26; ++p)
            showPair(p, true);
        for (const Row& r : rows)
            addPulseRow(panel, r.type, r.chn, r.range);
        for (int i = 0; i < rows.size(); ++i) {
            QCOMPARE(panel.rowType(i), rows[i].type);
            QCOMPARE(panel.rowChannel(i), rows[i].chn);
            QCOMPARE(panel.rowRange(i), rows[i].range);
        }
    }
    QStringList values(const PulseMeasure& panel) const
    {
        QStringList v;
        for (int r = 0; r < panel.rowCount(); ++r)
            v << panel.rowValue(r);
        return v;
    }
    void openMenu(PulseMeasure& panel, int row, PulseMeasure::Column c)
    {
        opened = Opened{nullptr, QPoint(), opened.count};
        qobject_cast<QPushButton*>(panel.rowWidget(row, c))->click();
    }
    int checkedEntry(const PulseMeasure& panel, PulseMeasure::Column c) const
    {
        int found = -1;
        for (MyButton* b : panel.menuButtons(c))
            if (b->isChecked()) {
                if (found >= 0)
                    return -2;   // more than one
                found = b->index;
            }
        return found;
    }

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        Config::init();
        Config::dpi = 96;
        Lang::setDocument(QDomDocument());
        useDevice(new DevNone);
        view.reset(new MainView(nullptr, nullptr, nullptr));
        PulseMeasure::menuRunner = [this](QMenu* m, const QPoint& at) {
            opened.menu = m;
            opened.at = at;
            ++opened.count;
        };
    }

    void cleanupTestCase()
    {
        PulseMeasure::menuRunner = nullptr;
        view.reset();
        devUsing = nullptr;
        dev.reset();
    }

    void init()
    {
        if (!qobject_cast<DevNone*>(dev.get()))
            useDevice(new DevNone);
        setEnables({});
        setSamples(false);
        while (!view->timingMarkers.isEmpty())
            view->removeMarkerPair(0);
    }

    // ------------------------------------------------------------------ adding rows
    void newRow_data()
    {
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<QVector<int>>("disabled");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("chn");
        QTest::newRow("first") << Rows{} << QVector<int>{} << 0 << 0;
        QTest::newRow("second") << Rows{{0, 0, 0}} << QVector<int>{} << 1 << 1;
        QTest::newRow("fifth: type 0 again") << Rows{{0, 0, 0}, {1, 1, 0}, {2, 2, 0}, {3, 3, 0}} << QVector<int>{} << 0
                                             << 4;
        QTest::newRow("lowest enabled") << Rows{} << QVector<int>{0, 1} << 0 << 2;
        QTest::newRow("fewest rows") << Rows{{0, 0, 0}, {1, 0, 0}, {2, 1, 0}} << QVector<int>{} << 3 << 2;
        QTest::newRow("tie: lowest") << Rows{{0, 1, 0}, {1, 0, 0}} << QVector<int>{} << 2 << 2;
        QTest::newRow("rows on disabled channels") << Rows{{0, 2, 0}} << QVector<int>{0, 1} << 1 << 3;
        QVector<int> all;
        for (int c = 0; c < 16; ++c)
            all << c;
        QTest::newRow("nothing enabled") << Rows{{2, 3, 0}} << all << 0 << 0;
    }
    void newRow()
    {
        QFETCH(Rows, rows);
        QFETCH(QVector<int>, disabled);
        QFETCH(int, type);
        QFETCH(int, chn);
        PulseMeasure panel;
        panel.init();
        build(panel, rows);
        setEnables(disabled);
        QSignalSpy changed(&panel, &PulseMeasure::setChanged);
        panel.slotBtnSetClicked();
        const int r = rows.size();
        QCOMPARE(panel.rowCount(), r + 1);
        QCOMPARE(panel.rowType(r), type);
        QCOMPARE(panel.rowChannel(r), chn);
        QCOMPARE(panel.rowRange(r), 0);
        QVERIFY(changed.isEmpty());   // no capture
        auto* chnButton = qobject_cast<QPushButton*>(panel.rowWidget(r, PulseMeasure::ColChn));
        QCOMPARE(chnButton->text(), "CH" + QString::number(chn));
        QCOMPARE(qobject_cast<QPushButton*>(panel.rowWidget(r, PulseMeasure::ColRange))->text(), QString("ALL"));
        QCOMPARE(panel.rowValue(r), QString("###"));
        int g = -1, c = -1, rs = 0, cs = 0;
        panel.grid()->getItemPosition(panel.grid()->indexOf(chnButton), &g, &c, &rs, &cs);
        QCOMPARE(g, r);
        QCOMPARE(c, int(PulseMeasure::ColChn));
    }

    void addWithCapture()
    {
        PulseMeasure panel;
        panel.init();
        setSamples(true);
        QSignalSpy changed(&panel, &PulseMeasure::setChanged);
        QCOMPARE(panel.grid()->contentsMargins(), QMargins());
        panel.slotBtnSetClicked();
        QCOMPARE(changed.size(), 1);
        const int m = Config::pixel(3);
        QCOMPARE(panel.grid()->contentsMargins(), QMargins(m, m, m, m));
    }

    void addRefusedUntilMenuMatches()
    {
        PulseMeasure panel;   // channel menu not built for the device yet
        panel.slotBtnSetClicked();
        QCOMPARE(panel.rowCount(), 0);
        QCOMPARE(panel.grid()->contentsMargins(), QMargins());
        panel.init();
        QCOMPARE(panel.menuButtons(PulseMeasure::ColChn).size(), 16);
        panel.slotBtnSetClicked();
        QCOMPARE(panel.rowCount(), 1);
        // A device with more channels: refused again until init.
        useDevice(DevBase::createDevice(DevModelRowan));
        panel.slotBtnSetClicked();
        QCOMPARE(panel.rowCount(), 1);
        panel.init();
        QCOMPARE(panel.menuButtons(PulseMeasure::ColChn).size(), 32);
        QCOMPARE(panel.menuButtons(PulseMeasure::ColChn)[31]->text(), QString("CH31"));
        panel.slotBtnSetClicked();
        QCOMPARE(panel.rowCount(), 2);
    }

    // ------------------------------------------------------------------ wishes
    void wishes_data()
    {
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<QVector<int>>("disabled");
        QTest::addColumn<QVector<int>>("hidden");   // pairs whose markers are hidden
        QTest::addColumn<QStringList>("wishes");
        QTest::addColumn<QStringList>("pairB");      // getChnSet(1)
        QTest::newRow("none") << Rows{} << QVector<int>{} << QVector<int>{} << QStringList{} << QStringList{};
        QTest::newRow("duplicates merged") << Rows{{0, 3, 0}, {1, 3, 0}, {2, 3, 2}, {3, 3, 2}} << QVector<int>{}
                                           << QVector<int>{} << QStringList{"3,0", "3,2"} << QStringList{"3"};
        QTest::newRow("first occurrence order") << Rows{{0, 4, 0}, {0, 3, 0}, {1, 4, 0}} << QVector<int>{}
                                                << QVector<int>{} << QStringList{"4,0", "3,0"} << QStringList{};
        QTest::newRow("disabled channel") << Rows{{0, 3, 0}, {0, 5, 0}, {0, 5, 2}, {0, 6, 2}} << QVector<int>{5}
                                          << QVector<int>{} << QStringList{"3,0", "6,2"} << QStringList{"6"};
        QTest::newRow("hidden pair") << Rows{{0, 3, 1}, {0, 3, 2}, {0, 4, 26}} << QVector<int>{} << QVector<int>{0, 25}
                                     << QStringList{"3,2"} << QStringList{"3"};
        QTest::newRow("hidden B still names its channels") << Rows{{0, 7, 2}, {1, 2, 2}} << QVector<int>{}
                                                           << QVector<int>{1} << QStringList{} << QStringList{"7", "2"};
    }
    void wishes()
    {
        QFETCH(Rows, rows);
        QFETCH(QVector<int>, disabled);
        QFETCH(QVector<int>, hidden);
        QFETCH(QStringList, wishes);
        QFETCH(QStringList, pairB);
        QCOMPARE(PulseMeasure::getChnAndTimeSet(), QStringList());   // no panel
        PulseMeasure panel;
        panel.init();
        build(panel, rows);
        setEnables(disabled);
        for (int p : hidden)
            showPair(p, false);
        QCOMPARE(PulseMeasure::getChnAndTimeSet(), wishes);
        QCOMPARE(PulseMeasure::getChnSet(1), pairB);
        QCOMPARE(PulseMeasure::getChnSet(-1), QStringList());
        QCOMPARE(PulseMeasure::getChnSet(26), QStringList());
    }

    // ------------------------------------------------------------------ results
    void fullResults_data()
    {
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<QStringList>("results");
        QTest::addColumn<QStringList>("texts");
        const Rows rows{{0, 3, 0}, {2, 3, 0}, {1, 4, 1}, {3, 0, 0}};
        QTest::newRow("each row its field") << rows << QStringList{"3,0,12,13,11,12", "4,1,5,6,5,5", "0,0,1,0,0,0"}
                                            << QStringList{"12", "11", "6", "0"};
        QTest::newRow("first entry wins") << rows << QStringList{"3,0,1,2,3,4", "3,0,9,9,9,9"}
                                          << QStringList{"1", "3", "###", "###"};
        QTest::newRow("no entry") << rows << QStringList{"4,0,1,1,1,1"} << QStringList{"###", "###", "###", "###"};
        QTest::newRow("cannot count") << rows << QStringList{"3,0,###,###,###,###"}
                                      << QStringList{"###", "###", "###", "###"};
        QTest::newRow("short entry") << rows << QStringList{"3,0,7", "4,1", "0,0,1,2,3"}
                                     << QStringList{"7", "###", "###", "###"};
        QTest::newRow("garbled fields") << rows << QStringList{"3,0,7,8,x,9", "x,0,1,1,1,1", ",,,", "", "4,one,1,1,1,1"}
                                        << QStringList{"7", "###", "###", "###"};
        QTest::newRow("empty list") << rows << QStringList{} << QStringList{"###", "###", "###", "###"};
    }
    void fullResults()
    {
        QFETCH(Rows, rows);
        QFETCH(QStringList, results);
        QFETCH(QStringList, texts);
        PulseMeasure panel;
        panel.init();
        build(panel, rows);
        panel.slotValueChanged({"3,0,5,5,5,5", "4,1,5,5,5,5", "0,0,5,5,5,5"});   // something to replace
        panel.slotValueChanged(results);
        QCOMPARE(values(panel), texts);
    }

    void pairResults()
    {
        PulseMeasure panel;
        panel.init();
        build(panel, {{0, 3, 2}, {3, 3, 2}, {1, 4, 2}, {0, 3, 0}, {0, 3, 1}});
        panel.slotValueChanged({"3,0,8,8,8,8"});
        QCOMPARE(values(panel), (QStringList{"###", "###", "###", "8", "###"}));
        // Only the rows over pair B, each its own field.
        panel.slotValueChangedbyTimeMarker(1, {"3,1,2,3,4", "4,5,6,7,8"});
        QCOMPARE(values(panel), (QStringList{"1", "4", "6", "8", "###"}));
        // A short entry shows "###"; a row without an entry keeps its text.
        panel.slotValueChangedbyTimeMarker(1, {"4,1", "x,1,1,1,1"});
        QCOMPARE(values(panel), (QStringList{"1", "4", "###", "8", "###"}));
        panel.slotValueChangedbyTimeMarker(1, {"3,###,###,###,###"});
        QCOMPARE(values(panel), (QStringList{"###", "###", "###", "8", "###"}));
        panel.slotValueChangedbyTimeMarker(0, {"3,9,9,9,9"});
        QCOMPARE(values(panel), (QStringList{"###", "###", "###", "8", "9"}));
        for (int index : {-1, 26, 1000})
            panel.slotValueChangedbyTimeMarker(index, {"3,1,1,1,1", "4,1,1,1,1"});
        QCOMPARE(values(panel), (QStringList{"###", "###", "###", "8", "9"}));
        // init keeps the rows and blanks them.
        panel.init();
        QCOMPARE(panel.rowCount(), 5);
        QCOMPARE(values(panel), (QStringList{"###", "###", "###", "###", "###"}));
    }

    // ------------------------------------------------------------------ menus
    void menuOpens()
    {
        PulseMeasure panel;
        panel.show();
        panel.init();
        build(panel, {{2, 5, 3}});
        setEnables({1, 7});
        for (int p : {1, 3, 4, 5})
            showPair(p, false);   // A, C, G to Z show
        const int before = opened.count;

        openMenu(panel, 0, PulseMeasure::ColType);
        QCOMPARE(opened.count, before + 1);
        QCOMPARE(opened.menu, panel.typeMenu());
        QWidget* typeButton = panel.rowWidget(0, PulseMeasure::ColType);
        QCOMPARE(opened.at, typeButton->mapToGlobal(QPoint(0, typeButton->height())));
        QCOMPARE(panel.typeMenu()->width(), typeButton->width());
        QCOMPARE(checkedEntry(panel, PulseMeasure::ColType), 2);

        openMenu(panel, 0, PulseMeasure::ColChn);
        QCOMPARE(opened.menu, panel.chnMenu());
        QCOMPARE(checkedEntry(panel, PulseMeasure::ColChn), 5);
        for (int c = 0; c < 16; ++c) {
            const bool on = c != 1 && c != 7;
            QCOMPARE(panel.menuButtons(PulseMeasure::ColChn)[c]->isEnabled(), on);
            QCOMPARE(panel.menuActions(PulseMeasure::ColChn)[c]->isEnabled(), on);
        }

        openMenu(panel, 0, PulseMeasure::ColRange);
        QCOMPARE(opened.menu, panel.rangeMenu());
        QCOMPARE(checkedEntry(panel, PulseMeasure::ColRange), 3);
        const auto& entries = panel.menuButtons(PulseMeasure::ColRange);
        const auto& actions = panel.menuActions(PulseMeasure::ColRange);
        QCOMPARE(entries.size(), 27);
        QCOMPARE(entries[0]->text(), QString("ALL"));
        QCOMPARE(entries[26]->text(), QString("Z1-Z2"));
        for (int k = 0; k < 27; ++k) {
            const bool shown = k == 0 || k == 1 || k == 3 || k >= 7;   // pair k - 1 shows
            QCOMPARE(actions[k]->isEnabled(), shown);
            QCOMPARE(entries[k]->isEnabled(), shown);
            // A to E always listed; F onwards only while their markers show.
            QCOMPARE(actions[k]->isVisible(), k <= 5 || shown);
        }
        showPair(5, true);
        openMenu(panel, 0, PulseMeasure::ColRange);
        QVERIFY(actions[6]->isVisible() && actions[6]->isEnabled());
    }

    void choices_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("chnOff");    // the row's channel (3) disabled
        QTest::addColumn<bool>("pairOff");   // the row's pair (A) hidden
        QTest::addColumn<bool>("samples");
        QTest::addColumn<bool>("emitted");
        const int t = PulseMeasure::ColType, c = PulseMeasure::ColChn, r = PulseMeasure::ColRange;
        QTest::newRow("type") << t << 1 << false << false << true << true;
        QTest::newRow("type, same") << t << 0 << false << false << true << false;
        QTest::newRow("type, channel off") << t << 1 << true << false << true << false;
        QTest::newRow("type, pair hidden") << t << 1 << false << true << true << false;
        QTest::newRow("type, no capture") << t << 1 << false << false << false << false;
        QTest::newRow("channel") << c << 4 << false << false << true << true;
        QTest::newRow("channel, same") << c << 3 << false << false << true << false;
        QTest::newRow("channel, pair hidden") << c << 4 << false << true << true << false;
        QTest::newRow("channel, old one off") << c << 4 << true << false << true << true;
        QTest::newRow("range") << r << 0 << false << false << true << true;
        QTest::newRow("range, channel off") << r << 0 << true << false << true << false;
        QTest::newRow("range, no capture") << r << 0 << false << false << false << false;
    }
    void choices()
    {
        QFETCH(int, column);
        QFETCH(int, value);
        QFETCH(bool, chnOff);
        QFETCH(bool, pairOff);
        QFETCH(bool, samples);
        QFETCH(bool, emitted);
        PulseMeasure panel;
        panel.init();
        build(panel, {{0, 3, 1}});
        setEnables(chnOff ? QVector<int>{3} : QVector<int>{});
        showPair(0, !pairOff);
        setSamples(samples);
        QSignalSpy changed(&panel, &PulseMeasure::setChanged);
        const auto col = PulseMeasure::Column(column);
        openMenu(panel, 0, col);
        panel.menuButtons(col)[value]->click();
        QCOMPARE(changed.size(), emitted ? 1 : 0);
        const Row now{column == PulseMeasure::ColType ? value : 0, column == PulseMeasure::ColChn ? value : 3,
                      column == PulseMeasure::ColRange ? value : 1};
        QCOMPARE(panel.rowType(0), now.type);
        QCOMPARE(panel.rowChannel(0), now.chn);
        QCOMPARE(panel.rowRange(0), now.range);
        QCOMPARE(qobject_cast<QPushButton*>(panel.rowWidget(0, PulseMeasure::ColChn))->text(),
                 "CH" + QString::number(now.chn));
        QCOMPARE(qobject_cast<QPushButton*>(panel.rowWidget(0, PulseMeasure::ColRange))->text(),
                 now.range == 0 ? QString("ALL") : QString("A1-A2"));
    }

    // ------------------------------------------------------------------ removing
    void removeMiddleRow()
    {
        PulseMeasure panel;
        panel.show();
        panel.init();
        build(panel, {{0, 0, 0}, {1, 1, 0}, {2, 2, 0}});
        QPointer<QWidget> gone = panel.rowWidget(1, PulseMeasure::ColValue);
        QWidget* moved = panel.rowWidget(2, PulseMeasure::ColChn);
        QWidget* first = panel.rowWidget(0, PulseMeasure::ColRemove);
        QSignalSpy changed(&panel, &PulseMeasure::setChanged);
        qobject_cast<QPushButton*>(panel.rowWidget(1, PulseMeasure::ColRemove))->click();
        QVERIFY(changed.isEmpty());
        QCOMPARE(panel.rowCount(), 2);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(gone.isNull());
        // The former row 2 sits in grid row 1 with row number 1; grid row 2
        // is empty; row 0 is untouched.
        QCOMPARE(panel.rowWidget(1, PulseMeasure::ColChn), moved);
        QCOMPARE(panel.rowWidget(0, PulseMeasure::ColRemove), first);
        for (int r = 0; r < 2; ++r) {
            for (int c = PulseMeasure::ColType; c <= PulseMeasure::ColRemove; ++c) {
                QWidget* w = panel.rowWidget(r, PulseMeasure::Column(c));
                int g = -1, col = -1, rs = 0, cs = 0;
                panel.grid()->getItemPosition(panel.grid()->indexOf(w), &g, &col, &rs, &cs);
                QCOMPARE(g, r);
                QCOMPARE(col, c);
                if (auto* b = qobject_cast<MyButton*>(w))
                    QCOMPARE(b->index, r);
            }
        }
        for (int c = 0; c < 6; ++c) {
            QLayoutItem* item = panel.grid()->itemAtPosition(2, c);
            QVERIFY(!item || !item->widget());
        }
        QCOMPARE(panel.grid()->count(), 12);
        // The menus now act on the moved row.
        openMenu(panel, 1, PulseMeasure::ColChn);
        QCOMPARE(checkedEntry(panel, PulseMeasure::ColChn), 2);
        panel.menuButtons(PulseMeasure::ColChn)[9]->click();
        QCOMPARE(panel.rowChannel(1), 9);
        QCOMPARE(panel.rowChannel(0), 0);
        // The last rows go, and with the last one the margins.
        qobject_cast<QPushButton*>(panel.rowWidget(1, PulseMeasure::ColRemove))->click();
        qobject_cast<QPushButton*>(panel.rowWidget(0, PulseMeasure::ColRemove))->click();
        QCOMPARE(panel.rowCount(), 0);
        QCOMPARE(panel.grid()->count(), 0);
        QCOMPARE(panel.grid()->contentsMargins(), QMargins());
    }

    // ------------------------------------------------------------------ fewer channels
    void deviceWithFewerChannels()
    {
        useDevice(DevBase::createDevice(DevModelRowan));
        QCOMPARE(dev->chnNum(), 32);
        PulseMeasure panel;
        panel.init();
        build(panel, {{0, 20, 0}, {1, 20, 1}, {2, 3, 0}});
        panel.slotValueChanged({"20,0,1,2,3,4", "3,0,1,2,3,4"});
        QCOMPARE(values(panel), (QStringList{"1", "###", "3"}));

        useDevice(new DevNone);
        // Before init the channel menu still has 32 entries: nothing reads
        // past the device's 16 enables, and no row is added.
        openMenu(panel, 0, PulseMeasure::ColChn);
        QCOMPARE(panel.menuActions(PulseMeasure::ColChn)[20]->isEnabled(), false);
        panel.slotBtnSetClicked();
        QCOMPARE(panel.rowCount(), 3);

        panel.init();
        QCOMPARE(panel.menuButtons(PulseMeasure::ColChn).size(), 16);
        QCOMPARE(panel.chnMenu()->actions().size(), 16);
        QCOMPARE(values(panel), (QStringList{"###", "###", "###"}));
        QCOMPARE(qobject_cast<QPushButton*>(panel.rowWidget(0, PulseMeasure::ColChn))->text(), QString("CH20"));
        // CH20 is no channel of this device: never asked for, never counted,
        // no menu entry checked, and a change of its row asks nothing.
        showPair(0, true);
        QCOMPARE(PulseMeasure::getChnAndTimeSet(), QStringList{"3,0"});
        QCOMPARE(PulseMeasure::getChnSet(0), QStringList());
        setSamples(true);
        QSignalSpy changed(&panel, &PulseMeasure::setChanged);
        openMenu(panel, 0, PulseMeasure::ColChn);
        QCOMPARE(checkedEntry(panel, PulseMeasure::ColChn), -1);
        openMenu(panel, 0, PulseMeasure::ColType);
        panel.menuButtons(PulseMeasure::ColType)[3]->click();
        openMenu(panel, 1, PulseMeasure::ColRange);
        panel.menuButtons(PulseMeasure::ColRange)[0]->click();
        QVERIFY(changed.isEmpty());
        panel.slotValueChanged({"20,0,1,2,3,4", "3,0,1,2,3,4"});
        QCOMPARE(values(panel), (QStringList{"###", "###", "3"}));
        // A new row counts the rows on CH20 nowhere.
        panel.slotBtnSetClicked();
        QCOMPARE(panel.rowChannel(3), 0);
        // Moving the row to a channel of the device brings it back.
        openMenu(panel, 0, PulseMeasure::ColChn);
        panel.menuButtons(PulseMeasure::ColChn)[5]->click();
        QCOMPARE(changed.size(), 2);   // the add, then the channel
        QCOMPARE(PulseMeasure::getChnAndTimeSet(), (QStringList{"5,0", "3,0", "0,0"}));
    }
};

QTEST_MAIN(TestPulseMeasure)
#include "test_pulsemeasure.moc"
