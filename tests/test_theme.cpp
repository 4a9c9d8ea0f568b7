// The compiled-in style sheet as the widgets really render it: the rules must
// address the object and class names the widgets use. Set CORVENA_RENDER_DIR
// to a directory to also get PNG pictures of the main window and the widgets.
#include <QtTest>

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

#include "app/Startup.h"
#include "app/mainwindow.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "decode/RightBoxView.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "device/DevInit.h"
#include "device/DevNone.h"
#include "device/DevSupport.h"
#include "support/TestEnv.h"
#include "toolbar/SmpCtrl.h"
#include "toolbar/SmpSetting.h"
#include "toolbar/StatusBar.h"
#include "toolbar/ZoomCtrl.h"
#include "view/ItemChnSidebar.h"
#include "view/MainView.h"
#include "view/WaveDataGen.h"
#include "view/PosiView.h"
#include "view/TimeView.h"
#include "widgets/ChnEnaGroupBox.h"
#include "widgets/ChnQuickGroupBox.h"
#include "widgets/ColorLump.h"
#include "widgets/MyButton.h"
#include "widgets/MyDial.h"
#include "widgets/MyProgressDlg.h"
#include "widgets/MyScrollbar.h"
#include "widgets/MySwitch.h"

namespace {

QImage render(QWidget& w)
{
    w.ensurePolished();
    if (w.layout())
        w.layout()->activate();
    return w.grab().toImage();
}

void keep(const QImage& img, const QString& name)
{
    const QString dir = qEnvironmentVariable("CORVENA_RENDER_DIR");
    if (!dir.isEmpty())
        img.save(dir + "/" + name + ".png");
}

QColor at(const QImage& img, int x, int y)
{
    return QColor(img.pixel(x, y));
}

} // namespace

class TestTheme : public QObject
{
    Q_OBJECT
    std::unique_ptr<DevNone> dev;

private slots:
    void initTestCase()
    {
        TestEnv::startProgram();
        installStyleSheet(*qApp);
        QVERIFY(!qApp->styleSheet().isEmpty());
    }

    void init()
    {
        dev.reset(new DevNone);
        devUsing = dev.get();
    }

    void cleanup()
    {
        devUsing = nullptr;
        dev.reset();
    }

    void labelRowShowsChannelColour_data()
    {
        QTest::addColumn<int>("chn");
        for (int i = 0; i < 10; ++i)
            QTest::addRow("channel %d", i) << i;
    }
    void labelRowShowsChannelColour()
    {
        QFETCH(int, chn);
        ItemChnSidebar row("", chn);
        row.resize(Config::pixel(194), Config::pixel(48));
        const QImage img = render(row);
        keep(img, QString("row%1").arg(chn));
        const QColor colour = Config::chnColor.at(chn % Config::chnColor.size());
        // The strip, both beside and under the channel number.
        const QRect strip = row.colorStrip->geometry();
        QVERIFY(strip.width() > 2);
        QCOMPARE(at(img, strip.left() + 1, strip.top() + 1), colour);
        QCOMPARE(at(img, strip.left() + 1, strip.center().y()), colour);
        QCOMPARE(at(img, strip.left() + 1, strip.bottom() - 1), colour);
        // The row background alternates with the row parity; the trigger
        // box takes the other shade.
        const QColor rowShade(chn % 2 ? "#1f1f23" : "#3f3f3f");
        const QColor boxShade(chn % 2 ? "#3f3f3f" : "#1f1f23");
        QCOMPARE(at(img, img.width() - 1, img.height() - 1), rowShade);
        QCOMPARE(at(img, row.trgBox->x(), row.trgBox->y()), boxShade);
    }

    void checkedTriggerButton()
    {
        ItemChnSidebar row("", 0);
        row.resize(Config::pixel(194), Config::pixel(48));
        row.trgButtons[1]->setChecked(true);
        const QImage img = render(row);
        const QRect b = row.trgButtons[1]->geometry().translated(row.trgBox->pos());
        QCOMPARE(at(img, b.left() + 1, b.top() + 1), QColor("#1e5aa0"));
        const QRect u = row.trgButtons[2]->geometry().translated(row.trgBox->pos());
        QCOMPARE(at(img, u.left() + 1, u.top() + 1), QColor("#1f1f23"));
    }

    void statusBoxIsBlack()
    {
        StatusBar s;
        s.setConnectSta(false);
        const QImage img = render(s);
        keep(img, "statusbar");
        QCOMPARE(at(img, 1, 1), QColor(Qt::black));
        QCOMPARE(at(img, img.width() - 1, 1), QColor("#7f7f7f"));
    }

    void samplingSettingsGroup()
    {
        SmpSetting s;
        s.init();
        s.resize(Config::pixel(330), Config::pixel(30));
        const QImage img = render(s);
        keep(img, "smpsetting");
        QCOMPARE(at(img, Config::pixel(4), img.height() / 2), QColor("#3f3f3f"));
        QComboBox* depth = s.findChild<QComboBox*>("cbxSmpDepth");
        QVERIFY(depth);
        QCOMPARE(at(img, depth->x() + 2, depth->y() + depth->height() / 2), QColor("#3f3f3f"));
    }

    void separatorStrip()
    {
        ColorLump lump(2);
        lump.resize(20, 4);
        QCOMPARE(at(render(lump), 10, 2), QColor("#575b5f"));
    }

    void scrollbarGroove()
    {
        MyScrollbar bar;
        bar.resize(8, 200);
        bar.setRange(0, 1000);
        bar.setPageStep(100);
        bar.setValue(900);
        const QImage img = render(bar);
        QCOMPARE(at(img, 4, 2), QColor("#575b5f"));
    }

    void views()
    {
        TimeView ruler;
        ruler.resize(400, Config::pixel(36));
        const QImage r = render(ruler);
        keep(r, "timeview");
        QCOMPARE(at(r, 5, 5), QColor("#1f1f23"));
        QCOMPARE(at(r, 0, 5), QColor("#7f7f7f"));
        QCOMPARE(at(r, 5, r.height() - 1), QColor("#afafaf"));

        PosiView strip;
        strip.resize(400, Config::pixel(20));
        const QImage p = render(strip);
        QCOMPARE(at(p, 0, 0), QColor("#361E1E"));
    }

    // Pictures for a look by eye; only checks that everything renders.
    void gallery()
    {
        QWidget page;
        page.setAttribute(Qt::WA_StyledBackground);
        page.setObjectName("RightBoxWidget");
        auto* lay = new QVBoxLayout(&page);
        auto* smp = new SmpCtrl(nullptr);
        smp->devSmpStaChanged(-1);
        lay->addWidget(smp);
        lay->addWidget(new ZoomCtrl(nullptr));
        lay->addWidget(new TitleBar(0, "Decoded Results", false));
        auto* search = new SearchEdit;
        search->setTotalNum(123);
        lay->addWidget(search);
        lay->addWidget(new TimingMarkerTip("A rather long marker text"));
        auto* dial = new MyDial;
        dial->setTextList({"1.2V", "1.8V", "2.5V", "3.3V", "5V"});
        dial->setFixedSize(Config::pixel(200), Config::pixel(200));
        lay->addWidget(dial);
        auto* sw = new MySwitch;
        sw->setFixedSize(Config::pixel(36), Config::pixel(18));
        lay->addWidget(sw);
        lay->addWidget(new ChnQuickGroupBox({200000000, 100000000}, {4, 8}));
        lay->addWidget(new ChnEnaGroupBox(QVector<bool>{true, false, true, true, false, false, true, false}));
        page.resize(Config::pixel(232), page.sizeHint().height());
        const QImage img = render(page);
        keep(img, "widgets");
        QVERIFY(!img.isNull());

        MyProgressDlg dlg("Export", "Cancel");
        dlg.setValue(40);
        const QImage d = render(dlg);
        keep(d, "progress");
        QVERIFY(!d.isNull());
    }

    void labelColumnInMainView()
    {
        WaveDataGen gen;
        gen.devModelChanged();
        MainView view(&gen, nullptr, nullptr);
        view.resize(Config::pixel(194) + 600, 500);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.init();
        QTest::qWait(50);
        const QImage img = view.grab().toImage();
        keep(img, "mainview");
        QFrame* frame = view.findChild<QFrame*>("FrameSidebar");
        QVERIFY(frame);
        QList<ItemChnSidebar*> rows = frame->findChildren<ItemChnSidebar*>();
        QVERIFY(!rows.isEmpty());
        for (ItemChnSidebar* row : rows) {
            if (!row->isVisible() || row->height() < 4)
                continue;
            const QPoint p = row->colorStrip->mapTo(&view, QPoint(1, 1));
            if (p.y() >= img.height())
                continue;
            QCOMPARE(at(img, p.x(), p.y()), Config::chnColor.at(row->chn % Config::chnColor.size()));
        }
    }

    void mainWindow()
    {
        devSupport = new DevSupport;
        devInit = new DevInit;
        {
            MainWindow w;
            w.resize(1280, 720);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            const QImage img = w.grab().toImage();
            keep(img, "mainwindow");
            QVERIFY(!img.isNull());
            // Right of the tool-bar groups (the PWM group is hidden by default): bare top box.
            QCOMPARE(at(img, img.width() - Config::pixel(10), 10), QColor("#1f1f23"));
        }
        delete devInit;
        devInit = nullptr;
        delete devSupport;
        devSupport = nullptr;
    }
};

QTEST_MAIN(TestTheme)
#include "test_theme.moc"
