#include <QtTest>

#include <QMenu>
#include <QPushButton>
#include <QStringListModel>
#include <QToolTip>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "AnalyzerResults.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "data/SmpData.h"
#include "decode/AnalyzerDataGen.h"
#include "decode/AnalyzerManager.h"
#include "decode/ProtoResult.h"
#include "decode/RightBoxView.h"
#include "device/DevGlobals.h"
#include "device/DevNone.h"
#include "support/TestEnv.h"
#include "view/WaveDataGen.h"
#include "widgets/MyScrollbar.h"

namespace {

constexpr long long Count = 100000;
constexpr int RowH = 18; // Config::pixel(18) at 96 dpi

// Frame i starts at 1000 * (i + 1) and lasts 99 samples; rows read
// "<name> <i>" (plus a long tail when asked).
class RowResults : public AnalyzerResults {
public:
    RowResults(const std::string& n, int frames, bool longText = false) : name(n), tail(longText)
    {
        for (int i = 0; i < frames; ++i) {
            Frame f;
            f.mStartingSampleInclusive = 1000 * (i + 1);
            f.mEndingSampleInclusive = 1000 * (i + 1) + 99;
            f.mData1 = U64(i);
            AddFrame(f);
        }
        CommitResults();
    }
    void GenerateBubbleText(U64, Channel&, DisplayBase) override {}
    void GenerateExportFile(const char*, DisplayBase, U32) override {}
    void GenerateFrameTabularText(U64 i, DisplayBase) override
    {
        ClearTabularText();
        std::string t = name + " " + std::to_string(GetFrame(i).mData1);
        if (tail)
            t += std::string(200, 'x');
        AddTabularText(t.c_str());
    }
    void GeneratePacketTabularText(U64, DisplayBase) override {}
    void GenerateTransactionTabularText(U64, DisplayBase) override {}

    std::string name;
    bool tail;
};

} // namespace

class TestProtoResult : public QObject
{
    Q_OBJECT

    std::unique_ptr<DevNone> dev;
    std::unique_ptr<WaveDataGen> wave;
    std::unique_ptr<RowResults> results;
    std::unique_ptr<ProtoResult> panel;
    std::unique_ptr<QLineEdit> elsewhere;
    std::atomic<bool> modify{false};
    QVector<int> zooms; // sigKeyUpAndDownClicked
    QStringList restedRows; // the page the generator last rested on
    int rested = 0;

    void makePanel(int frames, int rowsPerPage, bool longText = false)
    {
        results.reset(new RowResults("A", frames, longText));
        RowResults* r = results.get();
        auto* gen = new AnalyzerDataGen([this]() { modify.store(false); },
                                        [r]() { return QVector<AnalyzerDataGen::Shown>{{r, 2}}; });
        panel.reset(new ProtoResult(nullptr, wave.get(), gen, nullptr));
        // Received after the panel's own delivery of the same page.
        restedRows.clear();
        rested = 0;
        connect(gen, &AnalyzerDataGen::listChanged, this, [this](bool isDone, QStringList list, bool, int) {
            if (isDone) {
                restedRows = list;
                ++rested;
            }
        }, Qt::QueuedConnection);
        panel->resultList()->setFixedHeight(rowsPerPage * RowH);
        elsewhere.reset(new QLineEdit(panel.get()));
        panel->resize(232, rowsPerPage * RowH + 200);
        zooms.clear();
        connect(panel.get(), &ProtoResult::sigKeyUpAndDownClicked, this, [this](KeyType k) { zooms.append(k); });
        panel->show();
        QApplication::setActiveWindow(panel.get());
        QVERIFY(QTest::qWaitForWindowActive(panel.get()));
        QTRY_COMPARE(panel->resultList()->rowsPerPage(), rowsPerPage);
    }

    QStringListModel* model() const { return static_cast<QStringListModel*>(panel->resultList()->model()); }
    QStringList rows() const { return model()->stringList(); }
    QString currentRow() const { return panel->resultList()->currentIndex().data().toString(); }

    // Waits until the generator rests with the given first row shown.
    bool waitFirstRow(const QString& text)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000) {
            if (restedRows.value(0) == text && rows().value(0) == text)
                return true;
            QTest::qWait(5);
        }
        return false;
    }
    // Waits for the next resting page after a request.
    template <typename F>
    bool serve(F request)
    {
        const int before = rested;
        request();
        QElapsedTimer t;
        t.start();
        while (rested == before && t.elapsed() < 10000)
            QTest::qWait(5);
        return rested != before;
    }

    void click(int row)
    {
        ResultList* l = panel->resultList();
        l->setFocus();
        QTRY_VERIFY(l->hasFocus());
        QRect r = l->visualRect(model()->index(row));
        QVERIFY(r.isValid());
        QTest::mouseClick(l->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    }
    // Centre of the view in samples.
    double viewCentre() const { return wave->start + wave->scale * wave->width / 2.0; }

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        Config::init();
        Config::dpi = 96;
        Lang::setDocument(QDomDocument());
    }

    void init()
    {
        dev.reset(new DevNone);
        devUsing = dev.get();
        SmpData* s = dev->shownData();
        QVector<bool> ena(s->chnNum, false);
        ena[0] = true;
        QVERIFY(s->dataConvertStart(0, 1000000, ena));
        s->smpDepth = Count;
        QVERIFY(s->dataConvertComplete(Count));
        wave.reset(new WaveDataGen);
        wave->devModelChanged();
        wave->setViewWidth(1000);
        wave->setZoom(100, 0); // the whole capture from sample 0
        wave->quiesce();
        wave->moveTo(0);
        wave->quiesce();
        QCOMPARE(wave->start, 0.0);
    }

    void cleanup()
    {
        elsewhere.reset();
        panel.reset();
        results.reset();
        wave.reset();
        devUsing = nullptr;
        dev.reset();
    }

    void construction()
    {
        makePanel(3, 8);
        QCOMPARE(panel->objectName(), QString("ProtoResult"));
        QCOMPARE(panel->resultList()->objectName(), QString("ResultList"));
        QCOMPARE(panel->titleBar()->findChild<QLabel*>()->text(), QString("Decoded Results"));
        QVERIFY(panel->titleBar()->getState());
        QVERIFY(panel->resultList()->minimumHeight() >= 8 * RowH);
        panel->titleBar()->slotBtnExpandClicked();
        QVERIFY(!panel->resultList()->isVisible());
        QVERIFY(!panel->searchEdit()->isVisible());
        panel->titleBar()->slotBtnExpandClicked();
        QVERIFY(panel->resultList()->isVisible());
    }

    // Starting page, clicked row, keys; then the selected row text, the
    // first row, the frame at the view's centre (-1: the view did not move
    // after the click) and the zoom signals.
    void keys_data()
    {
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("rpp");
        QTest::addColumn<qint64>("page");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("presses");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("first");
        QTest::addColumn<int>("centredFrame");
        QTest::addColumn<QVector<int>>("zooms");

        QTest::newRow("down within the page") << 20 << 8 << qint64(0) << 0 << "D" << "A 1" << "A 0" << 1 << QVector<int>{};
        QTest::newRow("up within the page") << 20 << 8 << qint64(0) << 3 << "U" << "A 2" << "A 0" << 2 << QVector<int>{};
        QTest::newRow("down on the last row of a short page")
            << 3 << 8 << qint64(0) << 2 << "D" << "A 2" << "A 0" << -1 << QVector<int>{};
        QTest::newRow("down twice past a short page")
            << 3 << 8 << qint64(0) << 1 << "DD" << "A 2" << "A 0" << 2 << QVector<int>{};
        QTest::newRow("up on the first row of the list")
            << 20 << 8 << qint64(0) << 0 << "U" << "A 0" << "A 0" << -1 << QVector<int>{};
        QTest::newRow("down on the last row of the last page")
            << 16 << 8 << qint64(8) << 7 << "D" << "A 15" << "A 8" << -1 << QVector<int>{};
        QTest::newRow("down on the page's last row moves the page")
            << 20 << 8 << qint64(0) << 7 << "D" << "A 8" << "A 1" << 8 << QVector<int>{};
        QTest::newRow("up on the page's first row moves the page")
            << 20 << 8 << qint64(5) << 0 << "U" << "A 4" << "A 4" << 4 << QVector<int>{};
        QTest::newRow("focus elsewhere zooms")
            << 20 << 8 << qint64(0) << 2 << "fUD" << "A 2" << "A 0" << -1 << QVector<int>{KeyUp, KeyDown};
    }

    void keys()
    {
        QFETCH(int, frames);
        QFETCH(int, rpp);
        QFETCH(qint64, page);
        QFETCH(int, row);
        QFETCH(QString, presses);

        makePanel(frames, rpp);
        panel->updateDecodeProtocols(false);
        QVERIFY(waitFirstRow("A 0"));
        if (page > 0) {
            panel->resultList()->scrollBar()->setValue(page * RowH);
            QVERIFY(waitFirstRow(QString("A %1").arg(page)));
        }
        click(row);
        const double afterClick = viewCentre();
        QVERIFY(qAbs(afterClick - (1000.0 * (page + row + 1) + 50)) < 1.0);

        for (QChar c : presses) {
            if (c == 'f') {
                elsewhere->setFocus();
                QTRY_VERIFY(elsewhere->hasFocus());
                continue;
            }
            QTest::keyClick(panel.get(), c == 'U' ? Qt::Key_Up : Qt::Key_Down);
            QTest::qWait(30); // a page move is answered by the generator thread
        }
        QFETCH(QString, current);
        QFETCH(QString, first);
        QTRY_COMPARE(currentRow(), current);
        QTRY_COMPARE(rows().value(0), first);
        QFETCH(int, centredFrame);
        if (centredFrame < 0)
            QCOMPARE(viewCentre(), afterClick);
        else
            QTRY_VERIFY(qAbs(viewCentre() - (1000.0 * (centredFrame + 1) + 50)) < 1.0);
        QTEST(zooms, "zooms");
    }

    void noSelectionZooms()
    {
        makePanel(5, 8);
        panel->updateDecodeProtocols(false);
        QVERIFY(waitFirstRow("A 0"));
        panel->resultList()->setFocus();
        QTRY_VERIFY(panel->resultList()->hasFocus());
        QTest::keyClick(panel.get(), Qt::Key_Down);
        QTest::keyClick(panel.get(), Qt::Key_Up);
        QCOMPARE(zooms, (QVector<int>{KeyDown, KeyUp}));
    }

    void searchAndCount()
    {
        makePanel(30, 8);
        panel->updateDecodeProtocols(false);
        QVERIFY(waitFirstRow("A 0"));
        QTRY_COMPARE(panel->searchEdit()->totalText(), QString("30"));

        // "a 2" matches A 2 and A 20 .. A 29, case ignored.
        QTest::keyClicks(panel->searchEdit(), "a 2");
        QVERIFY(waitFirstRow("A 2"));
        QTRY_COMPARE(panel->searchEdit()->totalText(), QString("11"));
        QCOMPARE(rows().mid(0, 3), (QStringList{"A 2", "A 20", "A 21"}));

        // Following the view is off while a search text is set.
        wave->moveTo(10500);
        wave->quiesce();
        const int before = rested;
        panel->updateDecodeProtocols(true);
        QTest::qWait(30);
        QCOMPARE(rested, before);
        QCOMPARE(rows().first(), QString("A 2"));

        // An empty text lists again from the view start.
        panel->searchEdit()->clear();
        QVERIFY(waitFirstRow("A 10"));
        QTRY_COMPARE(panel->searchEdit()->totalText(), QString("30"));

        panel->clearFindText();
        QCOMPARE(panel->searchEdit()->totalText(), QString(" "));
        QVERIFY(rows().isEmpty());
    }

    void countBlankWithoutCapture()
    {
        makePanel(5, 8);
        dev->shownData()->smpDepth = 0;
        QVERIFY(serve([&] { panel->updateDecodeProtocols(false); }));
        QVERIFY(rows().isEmpty());
        QCOMPARE(panel->searchEdit()->totalText(), QString(" "));
    }

    void scrollBarAndWheel()
    {
        makePanel(40, 8);
        panel->updateDecodeProtocols(false);
        QVERIFY(waitFirstRow("A 0"));
        MyScrollbar* bar = panel->resultList()->scrollBar();
        QTRY_COMPARE(bar->maximum(), qint64((40 - 8) * RowH));
        QWheelEvent down(QPointF(5, 5), panel->resultList()->mapToGlobal(QPoint(5, 5)), QPoint(), QPoint(0, -120),
                         Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(panel->resultList()->viewport(), &down);
        QVERIFY(waitFirstRow("A 1"));
        QCOMPARE(bar->value(), qint64(RowH));
        // Our own range and value updates ask for no page.
        const int before = rested;
        QTest::qWait(30);
        QCOMPARE(rested, before);
        QCOMPARE(rows().first(), QString("A 1"));
        QCOMPARE(bar->value(), qint64(RowH));
    }

    void resizeChangesRowsPerPage()
    {
        makePanel(40, 8);
        panel->updateDecodeProtocols(false);
        QVERIFY(waitFirstRow("A 0"));
        QTRY_COMPARE(rows().size(), 8);
        panel->resultList()->setFixedHeight(10 * RowH);
        QTRY_COMPARE(panel->resultList()->rowsPerPage(), 10);
        QTRY_COMPARE(rows().size(), 10);
    }

    void tooltip_data()
    {
        QTest::addColumn<bool>("longText");
        QTest::newRow("fits") << false;
        QTest::newRow("too wide") << true;
    }

    void tooltip()
    {
        QFETCH(bool, longText);
        makePanel(3, 8, longText);
        QVERIFY(serve([&] { panel->updateDecodeProtocols(false); }));
        QCOMPARE(rows().size(), 3);
        ResultList* l = panel->resultList();
        QToolTip::hideText();
        const QPoint at = l->visualRect(model()->index(1)).center();
        QMouseEvent move(QEvent::MouseMove, at, l->viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(l->viewport(), &move);
        if (longText)
            QTRY_VERIFY(QToolTip::isVisible() && QToolTip::text() == rows().at(1));
        else
            QVERIFY(!QToolTip::isVisible());
    }

    void protocolEntries_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("alias");
        QTest::addColumn<bool>("shown");
        QTest::newRow("plain") << "IR RC6,1" << "IR RC6" << true;
        QTest::newRow("hidden") << "IR RC6,0" << "IR RC6" << false;
        QTest::newRow("alias with commas") << "left, right,0" << "left, right" << false;
        QTest::newRow("alias ending in a comma") << "a,,1" << "a," << true;
        QTest::newRow("no flag") << "odd" << "odd" << false;
    }

    void protocolEntries()
    {
        QFETCH(QString, entry);
        QString alias;
        bool shown = true;
        ProtoResult::splitProtocol(entry, &alias, &shown);
        QTEST(alias, "alias");
        QTEST(shown, "shown");
    }

    // With the real host: its handshakes reach the panel's generator and are
    // acknowledged; either may go first at shut-down.
    void hostHandshake_data()
    {
        QTest::addColumn<bool>("managerFirst");
        QTest::newRow("panel goes first") << false;
        QTest::newRow("manager goes first") << true;
    }

    void hostHandshake()
    {
        QFETCH(bool, managerFirst);
        QTemporaryDir empty;
        AnalyzerManager::setAnalyzerDir(empty.path());
        auto* mgr = new AnalyzerManager;
        auto* p = new ProtoResult(mgr, wave.get());
        p->updateDecodeProtocols(false);
        for (int i = 0; i < 20; ++i) {
            mgr->startDecode(); // returns once the generator has acknowledged
            AnalyzerManager::clearAnalyzerResult();
        }
        QVERIFY(!mgr->isModifyAnly());
        int totals = 0;
        connect(p->generator(), &AnalyzerDataGen::listTotalChanged, p, [&totals]() { ++totals; },
                Qt::QueuedConnection);
        p->updateDecodeProtocols(false);
        QTRY_VERIFY(totals > 0);
        if (managerFirst) {
            delete mgr;
            delete p;
        } else {
            delete p;
            delete mgr;
        }
        AnalyzerManager::setAnalyzerDir(QString());
    }

    void menuWithoutAnalyzers()
    {
        makePanel(1, 8);
        panel->titleBar()->findChild<QPushButton*>("btnSet")->click();
        const QList<QAction*> acts = panel->analyzerMenu()->actions();
        QCOMPARE(acts.size(), 1);
        QCOMPARE(acts.first()->text(), QString("None"));
        QVERIFY(!acts.first()->isEnabled());
        panel->analyzerMenu()->hide();
    }
};

QTEST_MAIN(TestProtoResult)
#include "test_protoresult.moc"
