// A capture of the demonstration device shown end to end: rows with names,
// colours and trigger buttons, zoomed with animation, scrolled and walked
// edge by edge, with the ruler and the position strip following.
#include <QtTest>

#include <QImage>
#include <QSet>

#include <cmath>
#include <memory>

#include "config/Config.h"
#include "data/SmpData.h"
#include "device/DevGlobals.h"
#include "device/DevNone.h"
#include "support/TestEnv.h"
#include "view/ItemChnSidebar.h"
#include "view/MainView.h"
#include "view/MyMainView.h"
#include "view/PosiView.h"
#include "view/TimeView.h"
#include "view/WaveDataGen.h"

class TestMainViewDemo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        Config::init();
        Config::dpi = 96;
        Config::disAnimate = false;
        Config::viewState = ViewAll;
    }

    void demonstrationCapture()
    {
        DevNone dev;
        devUsing = &dev;
        dev.setSmpFrequ(8);   // 1 MHz
        dev.setSmpDepth(0);   // 20 k samples
        WaveDataGen gen;
        gen.devModelChanged();
        MainView view(&gen, nullptr, nullptr);
        TimeView ruler;
        PosiView strip;
        view.resize(Config::pixel(194) + 1000, 700);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.init();

        // The main window's share of the work, as it wires it.
        connect(&gen, &WaveDataGen::sigViewRefresh, this, [&] {
            const SmpData* s = dev.shownData();
            if (s->smpFrequ == 0 || s->smpDepth == 0) {
                ruler.setTimesValues(0, 0);
            } else {
                const double k = 1e12 / s->smpFrequ;
                ruler.setTimesValues((gen.start - s->trgPosition) * k, gen.scale * k);
            }
            gen.frameConsumed = true;
            view.updateViewDisplay();
            strip.slotSetPosition(0, s->trgPosition, s->smpDepth, gen.start, gen.width * gen.scale);
        });
        bool finished = false;
        connect(&dev, &DevBase::sigSmpDataReady, this, [&](int decode) {
            if (decode != 0) {
                finished = true;   // delivered on the GUI thread, after the swap
                return;
            }
            if (dev.hasValidData())
                dev.shownData()->updateFilter();
            view.setSmpDataReady();
            gen.zoomFirst();
        });

        dev.smpStart(SmpStartSingle, false);
        QTRY_VERIFY_WITH_TIMEOUT(finished, 20000);
        dev.smpStopAndWait();
        QVERIFY(dev.hasValidData());
        const SmpData* s = dev.shownData();
        QCOMPARE(s->smpDepth, 20000LL);

        // The whole capture across the rows, ruler and strip in step.
        QCOMPARE(gen.width, 1000);
        QCOMPARE(gen.scale, 20.0);
        QCOMPARE(gen.start, 0.0);
        QCOMPARE(ruler.psPerPixel, gen.scale * 1e6);
        QCOMPARE(strip.begSmp, 0.0);

        // Rows with names, colours and trigger buttons.
        for (int i = 0; i < dev.chnNum(); ++i) {
            QCOMPARE(view.chnSidebars[i]->numLabel->text(), QString::number(i));
            QCOMPARE(view.chnSidebars[i]->trgButtons.size(), 4);
        }
        QImage img(view.size(), QImage::Format_ARGB32);
        img.fill(Qt::black);
        view.render(&img);
        const QRect row = view.chnSidebars[0]->geometry().translated(view.waveView->x(), 0);
        QSet<QRgb> colours;
        for (int y = row.top(); y <= row.bottom(); ++y)
            for (int x = row.left() + 5; x < row.left() + 900; x += 3)
                colours.insert(img.pixel(x, y));
        QVERIFY2(colours.contains(Config::chnColor[0].lighter(120).rgb()) || colours.size() >= 3,
                 "row 0 shows no waveform");

        // Animated zoom about a pixel: ends at half the scale, the sample
        // under the pixel kept; the ruler follows.
        const double under = 200 * gen.scale + gen.start;
        view.slotMouseZoomChanged(1, 200);
        QTRY_VERIFY_WITH_TIMEOUT(gen.isIdle() && std::abs(gen.scale - 10.0) < 1e-9, 5000);
        QVERIFY(std::abs(200 * gen.scale + gen.start - under) < 1e-6);
        QCOMPARE(ruler.psPerPixel, gen.scale * 1e6);

        // Scrolled by keys: the strip follows.
        const double before = gen.start;
        view.slotShortCutRight();
        QCOMPARE(gen.start, before + 15 * gen.scale);
        QCOMPARE(strip.begSmp, gen.start);

        // Walked edge by edge on a channel with edges: each jump puts an
        // edge of that channel at the centre.
        int chn = -1;
        for (int c = 0; c < dev.chnNum() && chn < 0; ++c)
            if (s->hasValidData(c) && s->getNextEdgePoint(c, 0) < s->smpDepth)
                chn = c;
        QVERIFY(chn >= 0);
        gen.zoomFixed(1);
        gen.moveTo(0);
        QTRY_VERIFY(gen.isIdle());
        const QRect r = view.chnSidebars[chn]->geometry();
        for (int step = 0; step < 3; ++step) {
            view.setLeftEdgeShow(false, chn, view.waveView->width());
            QCOMPARE(view.nextEdge->chn, chn);
            const double prev = gen.start;
            view.moveEdgetoCenter();
            QTRY_VERIFY(gen.isIdle());
            const long long centre = std::llround(gen.start + (gen.width / 2) * gen.scale);
            QVERIFY(gen.start > prev);
            QVERIFY(s->isPointAtEdge(chn, centre) || gen.start + gen.width * gen.scale >= s->smpDepth);
        }
        QVERIFY(r.height() > 0);
        devUsing = nullptr;
    }
};

QTEST_MAIN(TestMainViewDemo)
#include "test_mainview_demo.moc"
