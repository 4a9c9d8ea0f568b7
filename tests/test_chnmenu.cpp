// The channel menu of the logic view (row heights, reset, channel enables,
// reordering by drag) and the glitch filter: its dialog, its keys, and how
// the view applies it to both stores, with a capture running or idle.
#include <QtTest>

#include <QButtonGroup>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QRadioButton>
#include <QSpinBox>

#include <atomic>
#include <memory>
#include <thread>

#include "config/Config.h"
#include "data/SmpData.h"
#include "device/DevGlobals.h"
#include "device/DevNone.h"
#include "support/TestEnv.h"
#include "view/DlgFilter.h"
#include "view/ItemChnSidebar.h"
#include "view/ItemWaveLine.h"
#include "view/MainView.h"
#include "view/MyMainView.h"
#include "view/WaveDataGen.h"
#include "widgets/ChnEnaGroupBox.h"
#include "widgets/ChnQuickGroupBox.h"
#include "widgets/MyButton.h"
#include "widgets/MyProgressDlg.h"

namespace {

constexpr long long Depth = 100000;

// Channel c has pulses of 1 to 6 samples between longer runs, so that every
// width of the filter changes it.
void fillCapture(SmpData* s)
{
    QVERIFY(s->dataConvertStart(0, 1000000, QVector<bool>(s->chnNum, true)));
    for (int c = 0; c < s->chnNum; ++c) {
        long long p = 3 + c;
        for (int k = 0; p < Depth; ++k) {
            QVERIFY(s->appendEdge(c, p));
            p += k % 2 ? 1 + k % 6 : 40;
        }
    }
    s->smpDepth = Depth;
    QVERIFY(s->dataConvertComplete(Depth));
}

QVector<WaveLine> rowOf(const SmpData* s, int chn, double start, double scale, int width)
{
    QVector<WaveLine> out(width);
    out.resize(std::max(0, s->getWaveLineData(chn, start, scale, width, out.data())));
    return out;
}

bool sameRuns(const QVector<WaveLine>& a, const WaveLine* b, int n)
{
    if (a.size() != n)
        return false;
    for (int i = 0; i < n; ++i)
        if (a[i].x != b[i].x || a[i].width != b[i].width || a[i].level != b[i].level)
            return false;
    return true;
}

} // namespace

class TestChnMenu : public QObject
{
    Q_OBJECT

    std::unique_ptr<DevNone> dev;
    void setEna(int chn, bool on)
    {
        QVector<bool> e = dev->chnEna;
        e[chn] = on;
        QVERIFY(dev->setDChnEna(e));
    }
    std::unique_ptr<WaveDataGen> gen;
    std::unique_ptr<MainView> view;
    int starts = 0;   // captures started on the GUI thread
    int decodes = 0;
    QStringList gateLog;

    int n() const { return dev->chnNum(); }
    void relayout() { view->slotChnEnaChanged(); }
    // Opens the channel menu as a right click on row chn does.
    void openMenu(int chn)
    {
        const QRect g = view->chnSidebars[chn]->geometry();
        QCursor::setPos(view->sidebarFrame->mapToGlobal(g.center()));
        view->slotChnSetMenu();
    }
    void startRepeat()
    {
        dev->smpStart(SmpStartRepeat, false);
        QVERIFY(dev->smpRunning);
        starts = 0;
    }
    // Answers the glitch filter dialog: channel 0 at `width`, Keep or not.
    void answerFilter(unsigned width, bool keep, bool accept = true)
    {
        MainView::runDialog = [=](QDialog* d) {
            auto* f = qobject_cast<DlgFilter*>(d);
            if (!f)
                return int(QDialog::Rejected);
            f->chkChn[0]->setChecked(width != 0);
            f->spbWidth[0]->setValue(int(width ? width : 1));
            f->grpMode->button(keep ? 1 : 0)->setChecked(true);
            if (!accept)
                return int(QDialog::Rejected);
            f->slotBtnSaveClicked();
            return f->result();
        };
    }

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        Config::init();
        Config::dpi = 96;
        Config::disAnimate = true;
        dev.reset(new DevNone);
        devUsing = dev.get();
        QVERIFY(dev->setSmpDepth(1));   // short demonstration captures
        connect(dev.get(), &DevBase::sigSmpDataReady, this, [this](int decode) {
            if (decode == 0 && QThread::currentThread() == qApp->thread())
                ++starts;
        }, Qt::DirectConnection);
        gen.reset(new WaveDataGen);
        connect(gen.get(), &WaveDataGen::sigViewRefresh, this, [this] { gen->frameConsumed = true; });
        gen->devModelChanged();
        view.reset(new MainView(gen.get(), nullptr, nullptr));
        connect(dev.get(), &DevBase::sigChnEnaChanged, view.get(), &MainView::slotChnEnaChanged);
        view->resize(Config::pixel(194) + 1000, 900);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    }

    void cleanupTestCase()
    {
        view.reset();
        gen.reset();
        devUsing = nullptr;
        dev.reset();
    }

    void init()
    {
        Config::setDefaultDocument();
        Config::initShadowConfig();
        dev->smpStopAndWait();
        gen->quiesce();
        dev->setDChnEna(QVector<bool>(n(), true));
        for (SmpData* s : dev->smpData) {
            const QVector<unsigned> zero(s->chnNum, 0);
            s->modifyFilter(zero.data());
        }
        fillCapture(dev->shownData());
        view->init();
        QTRY_COMPARE(gen->width, 1000);
        gen->zoomAll();
        QTRY_VERIFY(gen->isIdle());
        starts = decodes = 0;
        gateLog.clear();
        MainView::restartDecode = [this] { ++decodes; };
    }

    void cleanup()
    {
        dev->smpStopAndWait();
        MainView::runDialog = nullptr;
        MainView::restartDecode = nullptr;
        MainView::filterThreadEntries = 10000000;
        // Back to the generator's own gate: a rebound a test started must
        // not read the store that the next one refills.
        DevBase::shownStoreGate = [this] { gen->quiesce(); };
        if (view->chnMenu)
            view->chnMenu->hide();
    }

    // ------------------------------------------------------------------ menu
    void menuShowsRowHeight()
    {
        view->chnSidebars[3]->setShowMultip(4);
        relayout();
        // A right click on the label opens it.
        ItemChnSidebar* label = view->chnSidebars[3];
        const QPoint at = label->rect().center();
        QCursor::setPos(label->mapToGlobal(at));
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, label->mapToGlobal(at));
        QApplication::sendEvent(label, &click);
        QVERIFY(view->chnMenu && view->chnMenu->isVisible());
        QCOMPARE(view->chnMenu->objectName(), QString("3"));
        QStringList texts;
        for (QAction* a : view->chnMenu->actions())
            if (!a->isSeparator())
                texts << a->text();
        QCOMPARE(texts, (QStringList{"Channel Enable Settings...", "Glitch Filter Settings...", "Show Real Time Status",
                                     "Use Color for Waveform", "Channel Height x1", "Channel Height x2",
                                     "Channel Height x4", "Channel Height x8", "Reset All Channels"}));
        for (QAction* a : view->heightActions)
            QCOMPARE(a->isChecked(), a->data().toInt() == 4);
        // A height the menu does not offer checks none.
        view->chnMenu->hide();
        view->chnSidebars[5]->setShowMultip(3);
        openMenu(5);
        for (QAction* a : view->heightActions)
            QVERIFY(!a->isChecked());
    }

    void heightChangesOneRow()
    {
        openMenu(2);
        view->heightActions[3]->trigger();   // x8
        QCOMPARE(view->chnSidebars[2]->showMultip, 8);
        for (int i = 0; i < n(); ++i)
            if (i != 2)
                QCOMPARE(view->chnSidebars[i]->showMultip, 1);
        QCOMPARE(Config::readGlobalParam("chnShowMultip"), QString("1,1,8,1,1,1,1,1,1,1,1,1,1,1,1,1"));
        // Laid out again: eight row units.
        QVERIFY(std::abs(view->chnSidebars[2]->height() - 8 * view->chnSidebars[0]->height()) < 8);
        // A row index from the menu that names no row changes nothing.
        view->chnMenu->setObjectName("99");
        view->heightActions[1]->trigger();
        view->chnMenu->setObjectName("-1");
        view->heightActions[1]->trigger();
        QCOMPARE(Config::readGlobalParam("chnShowMultip"), QString("1,1,8,1,1,1,1,1,1,1,1,1,1,1,1,1"));
    }

    void menuOnlyOverALabel()
    {
        setEna(4, false);   // a row 0 high
        relayout();
        QCursor::setPos(view->sidebarFrame->mapToGlobal(QPoint(5, view->sidebarFrame->height() + 20)));
        view->slotChnSetMenu();
        QVERIFY(!view->chnMenu || !view->chnMenu->isVisible());
        // On the border between two rows: neither.
        QCursor::setPos(view->sidebarFrame->mapToGlobal(QPoint(5, view->chnSidebars[4]->y())));
        view->slotChnSetMenu();
        QVERIFY(!view->chnMenu || !view->chnMenu->isVisible());
        // Just below it: the row after the empty one.
        QCursor::setPos(view->sidebarFrame->mapToGlobal(QPoint(5, view->chnSidebars[4]->y() + 1)));
        view->slotChnSetMenu();
        QVERIFY(view->chnMenu && view->chnMenu->isVisible());
        QCOMPARE(view->chnMenu->objectName(), QString("5"));
    }

    void resetAllChannels()
    {
        view->chnSidebars[1]->setShowMultip(4);
        std::swap(view->chnSidebars[0]->showIndex, view->chnSidebars[6]->showIndex);
        view->chnSidebars[6]->nameEdit->setText("clock");
        view->chnSidebars[6]->slotChnNameChanged();
        view->chnSidebars[2]->trgButtons[0]->click();
        QVERIFY(dev->chnTrg[2] != TrgNone);
        view->slotChnResetClick();
        for (int i = 0; i < n(); ++i) {
            QCOMPARE(view->chnSidebars[i]->showIndex, i);
            QCOMPARE(view->chnSidebars[i]->showMultip, 1);
            QCOMPARE(dev->chnTrg[i], TrgNone);
        }
        QCOMPARE(view->chnSidebars[6]->nameEdit->text(), view->chnSidebars[6]->defaultName());
        QCOMPARE(Config::readGlobalParam("chnShowMultip"), QString("1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1"));
        QCOMPARE(Config::readGlobalParam("chnShowIndex"), QString("0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15"));
        QCOMPARE(starts, 0);   // nothing ran, nothing started
    }

    // A rename ends on a press in the waveforms, which take no focus,
    // whether or not the name was changed.
    void renameEndsOnAPressInTheWaveforms()
    {
        view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(view.get()));
        ItemChnSidebar* row = view->chnSidebars[2];
        QWidget* waves = view->waveView->viewport();
        for (const QString& typed : {QString(), QString("clk")}) {
            QTest::mouseDClick(row->nameLabel, Qt::LeftButton);
            QVERIFY(row->nameEdit->isVisible());
            QTest::keyClicks(row->nameEdit, typed);
            QTest::mouseClick(waves, Qt::LeftButton, {}, QPoint(waves->width() / 2, 20));
            QVERIFY(row->nameEdit->isHidden());
            QCOMPARE(row->nameLabel->text(), typed.isEmpty() ? row->defaultName() : typed);
            QCOMPARE(Config::readGlobalParam("chnShowName2"), typed);
        }
    }

    void resetDuringCaptureRestartsOnce()
    {
        startRepeat();
        view->slotChnResetClick();
        QCOMPARE(starts, 1);
        QVERIFY(dev->smpRunning);
    }

    // ------------------------------------------------------------------ channel enables
    void enableDialogRefusesEmptyChoice()
    {
        QList<QDialog*> seen;
        QStringList warnings;
        int quickChoices = -1;
        bool choiceKept = true;
        MainView::runDialog = [&](QDialog* d) {
            if (auto* box = qobject_cast<QMessageBox*>(d)) {
                warnings << box->windowTitle() + "|" + box->text();
                return int(QMessageBox::Close);
            }
            seen << d;
            auto* ena = d->findChild<ChnEnaGroupBox*>();
            auto* quick = d->findChild<ChnQuickGroupBox*>();
            if (!ena || !quick)
                return int(QDialog::Rejected);
            quickChoices = quick->quickButtons().size();
            if (seen.size() == 1) {
                for (QCheckBox* b : ena->chnBoxes())
                    b->setChecked(false);
            } else {
                // The same dialog again, with the user's choice still in it.
                for (QCheckBox* b : ena->chnBoxes())
                    choiceKept = choiceKept && !b->isChecked();
                ena->chnBoxes()[0]->setChecked(true);
                ena->chnBoxes()[3]->setChecked(true);
            }
            return int(QDialog::Accepted);
        };
        view->slotChnEnaClicked();
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen[0], seen[1]);
        QVERIFY(choiceKept);
        QCOMPARE(quickChoices, dev->bufChnFrequ.size());
        QCOMPARE(warnings, QStringList{"A Setting is Invalid|Please select at least one channel.\r\n"});
        QVector<bool> expect(n(), false);
        expect[0] = expect[3] = true;
        QCOMPARE(dev->chnEna, expect);
        QCOMPARE(view->chnSidebars[1]->height(), 0);   // the view followed

        // Cancel leaves everything.
        MainView::runDialog = [](QDialog* d) {
            for (QCheckBox* b : d->findChild<ChnEnaGroupBox*>()->chnBoxes())
                b->setChecked(true);
            return int(QDialog::Rejected);
        };
        view->slotChnEnaClicked();
        QCOMPARE(dev->chnEna, expect);
    }

    void enableChangeRestartsOnce()
    {
        startRepeat();
        MainView::runDialog = [](QDialog* d) {
            d->findChild<ChnEnaGroupBox*>()->chnBoxes()[15]->setChecked(false);
            return int(QDialog::Accepted);
        };
        view->slotChnEnaClicked();
        QVERIFY(!dev->chnEna[15]);
        QCOMPARE(starts, 1);
        QVERIFY(dev->smpRunning);
    }

    // ------------------------------------------------------------------ reordering
    void dragReorders()
    {
        ItemChnSidebar* a = view->chnSidebars[0];
        ItemChnSidebar* b = view->chnSidebars[1];
        const int h = a->height();
        view->slotChnMove(1, 0, 0);
        // Short of the middle of the row below: nothing swaps, the row follows.
        view->slotChnMove(3, 0, h / 2 - 1);
        QCOMPARE(b->showIndex, 1);
        QCOMPARE(a->y(), h / 2 - 1);
        QCOMPARE(view->waveLines[0]->zValue(), 6.0);
        // Past it: the row below moves up into the dragged row's slot.
        view->slotChnMove(3, 0, h / 2 + 2);
        view->slotChnMove(3, 0, h / 2 + 2);
        QCOMPARE(b->showIndex, 0);
        QCOMPARE(a->showIndex, 1);
        QCOMPARE(b->y(), 0);
        QCOMPARE(view->waveLines[1]->pos().y(), 0.0);
        // Released: it snaps into its new slot and the order is saved.
        view->slotChnMove(2, 0, 0);
        QCOMPARE(a->y(), view->rowTops[1]);
        QCOMPARE(a->y(), b->height());
        QCOMPARE(view->waveLines[0]->zValue(), 1.0);
        QCOMPARE(view->waveLines[0]->pos().y(), double(a->y()));
        QStringList order;
        for (int i = 0; i < n(); ++i)
            order << QString::number(view->chnSidebars[i]->showIndex);
        QCOMPARE(Config::readGlobalParam("chnShowIndex"), order.join(","));
        QVERIFY(order.join(",").startsWith("1,0,2,"));

        // Above the top and below the last slot the row stops there.
        view->slotChnMove(1, 0, 0);
        view->slotChnMove(3, 0, -5 * h);
        QCOMPARE(a->y(), 0);
        view->slotChnMove(3, 0, 100 * h);
        QCOMPARE(a->y(), view->rowTops[n() - 1]);
        view->slotChnMove(2, 0, 0);
        // A row number that names no label is ignored.
        view->slotChnMove(1, n(), 0);
        view->slotChnMove(3, -1, 10);
    }

    // ------------------------------------------------------------------ filter dialog
    void dialogRows_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("12") << 12;
        QTest::newRow("16") << 16;
        QTest::newRow("32") << 32;
    }
    void dialogRows()
    {
        QFETCH(int, count);
        QVector<unsigned> widths(count, 0);
        widths[1] = 5;
        widths[count - 1] = 20;
        DlgFilter d(widths.data(), count);
        QCOMPARE(d.chkChn.size(), count);
        QCOMPARE(d.spbWidth.size(), count);
        for (int i = 0; i < count; ++i) {
            QCOMPARE(d.chkChn[i]->objectName(), QString::number(i));
            QCOMPARE(d.chkChn[i]->text(), "Ch" + QString::number(i));
            QCOMPARE(d.chkChn[i]->isChecked(), widths[i] != 0);
            QCOMPARE(d.spbWidth[i]->isEnabled(), widths[i] != 0);
            QCOMPARE(d.lblSamples[i]->isEnabled(), widths[i] != 0);
            QCOMPARE(d.spbWidth[i]->value(), widths[i] ? int(widths[i]) : 1);
            QCOMPARE(d.spbWidth[i]->minimum(), 1);
            QCOMPARE(d.spbWidth[i]->maximum(), 999);
        }
        QVector<unsigned> out(count + 4, 77);
        d.getSetting(out.data(), count + 4);   // past the channels: untouched
        QCOMPARE(out.mid(0, count), widths);
        QCOMPARE(out[count], 77u);
    }

    void dialogKeys()
    {
        QVector<unsigned> widths(16, 0);
        widths[2] = 7;
        DlgFilter d(widths.data(), 16);
        // Checking a channel enables its row; 20 and OK give it width 20.
        d.chkChn[0]->setChecked(true);
        d.slotCheckChnClicked();   // no sender: nothing
        QVERIFY(!d.spbWidth[0]->isEnabled());
        d.chkChn[0]->click();
        d.chkChn[0]->click();
        QVERIFY(d.spbWidth[0]->isEnabled());
        d.spbWidth[0]->setValue(20);
        // Unchecked: 0 in the result, the typed width kept in the key.
        d.chkChn[2]->click();
        d.spbWidth[2]->setValue(9);
        d.grpMode->button(1)->setChecked(true);
        d.slotBtnSaveClicked();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QVector<unsigned> out(16);
        d.getSetting(out.data(), 16);
        QVector<unsigned> expect(16, 0);
        expect[0] = 20;
        QCOMPARE(out, expect);
        QString keys = "1,20,0,1,0,9,";
        for (int i = 3; i < 16; ++i)
            keys += "0,1,";
        QCOMPARE(Config::readGlobalParam("glitchFilterSettings"), keys);
        QCOMPARE(Config::readGlobalParam("glitchFilterMode"), QString("1"));
        // Keep: a new store reads what the dialog gives.
        SmpData s(16);
        QCOMPARE(QVector<unsigned>(s.filterWidth, s.filterWidth + 16), expect);

        // Re-opened with the widths in use: channel 2 back on shows its typed 9.
        QVector<unsigned> inUse(16, 0);
        inUse[2] = 7;
        d.setSetting(inUse.data());
        QVERIFY(!d.chkChn[0]->isChecked());
        QCOMPARE(d.spbWidth[0]->value(), 20);
        QVERIFY(d.chkChn[2]->isChecked());
        QCOMPARE(d.spbWidth[2]->value(), 9);
        QVERIFY(d.spbWidth[2]->isEnabled());

        // Cancel: keys and last widths stay.
        d.chkChn[5]->click();
        d.spbWidth[5]->setValue(44);
        d.reject();
        QCOMPARE(Config::readGlobalParam("glitchFilterSettings"), keys);
        QCOMPARE(d.lastWidths[5], 1u);   // the typed 44 was never accepted
    }

    void dialogModeFromKey_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("checked");
        QTest::newRow("0") << "0" << 0;
        QTest::newRow("1") << "1" << 1;
        QTest::newRow("2 keeps, as the store reads it") << "2" << 1;
        QTest::newRow("-1") << "-1" << 1;
        QTest::newRow("not a number") << "x" << 0;
        QTest::newRow("missing") << "" << 0;
    }
    void dialogModeFromKey()
    {
        QFETCH(QString, stored);
        QFETCH(int, checked);
        Config::saveGlobalParam("glitchFilterMode", stored);
        Config::saveGlobalParam("glitchFilterSettings", "1,4,");
        DlgFilter d(nullptr, 8);
        QCOMPARE(d.grpMode->checkedId(), checked);
        SmpData s(8);
        QCOMPARE(s.filterWidth[0], checked ? 4u : 0u);
    }

    void keepWithTwelveChannels()
    {
        DlgFilter d(nullptr, 12);
        for (int i : {0, 8, 11}) {
            d.chkChn[i]->click();
            d.spbWidth[i]->setValue(3 + i);
        }
        d.grpMode->button(1)->setChecked(true);
        d.slotBtnSaveClicked();
        QVector<unsigned> out(12);
        d.getSetting(out.data(), 12);
        SmpData s(12);
        QCOMPARE(QVector<unsigned>(s.filterWidth, s.filterWidth + 12), out);
        QCOMPARE(out[11], 14u);
    }

    // ------------------------------------------------------------------ applying the filter
    void filterIdle()
    {
        SmpData* shown = dev->shownData();
        // A reader of the shown store (a decode of an earlier capture) runs
        // until the gate stops it; the filter must come after.
        gen->zoomFixed(1);
        gen->moveTo(0);
        QTRY_VERIFY(gen->isIdle());
        std::atomic<bool> stop{false};
        std::atomic<long long> reads{0}, sink{0};
        std::thread reader([&] {
            while (!stop) {
                for (int c = 0; c < 4; ++c)
                    sink += shown->getNextEdgePoint(c, (reads * 7919) % Depth);
                ++reads;
            }
        });
        QTRY_VERIFY(reads > 0);
        DevBase::shownStoreGate = [&] {
            gateLog << (shown->chnDataRaw[0] ? "filtered" : "unfiltered");
            stop = true;
            reader.join();
        };
        QSignalSpy counts(view.get(), &MainView::pulseMeasureChangedbySmpDone);
        const QVector<WaveLine> raw = rowOf(shown, 0, gen->start, gen->scale, gen->width);
        answerFilter(3, false);
        view->slotFilterClicked();
        if (reader.joinable()) {
            stop = true;
            reader.join();
        }
        QCOMPARE(gateLog, QStringList{"unfiltered"});
        QCOMPARE(shown->filterWidth[0], 3u);
        QCOMPARE(dev->fillData()->filterWidth[0], 3u);
        QVERIFY(shown->chnDataRaw[0]);
        QCOMPARE(decodes, 1);
        QCOMPARE(counts.count(), 1);
        QCOMPARE(starts, 0);
        // The rows show what dataFilter makes of the channel.
        DigitalChnData* expect = SmpData::newChnData();
        QVERIFY(SmpData::dataFilter(shown->chnDataRaw[0], expect, 3));
        SmpData ref(1);
        ref.chnData[0] = expect;
        ref.smpDepth = Depth;
        QVERIFY(ref.checkData());
        QTRY_VERIFY(gen->isIdle());
        WaveLine* lines = nullptr;
        const int cnt = gen->getData(0, &lines);
        QVERIFY(sameRuns(rowOf(&ref, 0, gen->start, gen->scale, gen->width), lines, cnt));
        QVERIFY(!sameRuns(raw, lines, cnt));
        QCOMPARE(Config::readGlobalParam("glitchFilterMode"), QString("0"));
    }

    void filterWhileRunning()
    {
        DevBase::shownStoreGate = [this] { gateLog << (dev->smpRunning ? "running" : "stopped"); };
        startRepeat();
        answerFilter(5, true);
        view->slotFilterClicked();
        QCOMPARE(starts, 1);   // restarted once, with the new widths
        QVERIFY(dev->smpRunning);
        QCOMPARE(decodes, 0);  // the new capture decodes
        QVERIFY(!gateLog.isEmpty());
        QCOMPARE(gateLog.first(), QString("stopped"));
        dev->smpStopAndWait();
        for (SmpData* s : dev->smpData)
            QCOMPARE(s->filterWidth[0], 5u);
    }

    void filterCancelled()
    {
        DevBase::shownStoreGate = [this] { gateLog << "gate"; };
        DigitalChnData* before = dev->shownData()->chnData[0];
        const QString keys = Config::readGlobalParam("glitchFilterSettings");
        answerFilter(4, true, false);
        view->slotFilterClicked();
        QCOMPARE(dev->shownData()->chnData[0], before);
        QCOMPARE(dev->shownData()->filterWidth[0], 0u);
        QVERIFY(gateLog.isEmpty());
        QCOMPARE(decodes, 0);
        QCOMPARE(Config::readGlobalParam("glitchFilterSettings"), keys);
        // The dialog is kept for the next opening, which shows the widths in use.
        QPointer<DlgFilter> kept = view->dlgFilter;
        QVERIFY(kept);
        bool checked = true;
        MainView::runDialog = [&](QDialog* d) {
            checked = d == kept && kept->chkChn[0]->isChecked();
            return int(QDialog::Rejected);
        };
        view->slotFilterClicked();
        QVERIFY(!checked);
    }

    void largeFilterOnWorker()
    {
        MainView::filterThreadEntries = 1;
        bool sawBusy = false;
        QTimer probe;
        connect(&probe, &QTimer::timeout, this, [&] {
            if (view->filterRunning())
                sawBusy = sawBusy || qobject_cast<MyProgressDlg*>(QApplication::activeModalWidget());
        });
        probe.start(2);
        answerFilter(6, false);
        view->slotFilterClicked();
        probe.stop();
        QVERIFY(sawBusy);
        QVERIFY(!view->filterRunning());
        QCOMPARE(dev->shownData()->filterWidth[0], 6u);
        QVERIFY(dev->shownData()->indexMatchesTable(0));
        QCOMPARE(decodes, 1);
    }
};

QTEST_MAIN(TestChnMenu)
#include "test_chnmenu.moc"
