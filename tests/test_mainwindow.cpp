// The main window shell: layout, deferred start, drops, kept rectangle and
// the configuration written at close.
#include <QtTest>

#include <QGridLayout>
#include <QMimeData>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/mainwindow.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "device/DevInit.h"
#include "device/DevSupport.h"
#include "support/TestEnv.h"
#include "toolbar/StatusBar.h"
#include "toolbar/VthSetting.h"
#include "view/MainView.h"
#include "view/PosiView.h"
#include "view/TimeView.h"

namespace {

struct Box {
    QString title;
    QString text;
};

QString readConfigFile()
{
    QFile f(Config::cfgFile);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;
    QList<Box> boxes;

    void sendDrop(MainWindow& w, const QList<QUrl>& urls, const QString& text = QString())
    {
        QMimeData data;
        if (!urls.isEmpty())
            data.setUrls(urls);
        if (!text.isEmpty())
            data.setText(text);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&w, &enter);
        QCOMPARE(enter.isAccepted(), !urls.isEmpty());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&w, &drop);
    }

private slots:
    void initTestCase()
    {
        TestEnv::startProgram();
        QVERIFY(tmp.isValid());
        devSupport = new DevSupport;
        devUsing = DevBase::createDevice(Config::getDevModel());
        devInit = new DevInit;
        MainWindow::criticalBox = [this](QWidget*, const QString& title, const QString& text) {
            boxes.append({title, text});
        };
    }

    void cleanupTestCase()
    {
        MainWindow::criticalBox = nullptr;
        delete devInit;
        devInit = nullptr;
        delete devUsing;
        devUsing = nullptr;
        delete devSupport;
        devSupport = nullptr;
    }

    void init()
    {
        boxes.clear();
        Config::dataFile.clear();
    }

    void layout()
    {
        MainWindow w;
        QCOMPARE(w.minimumSize(), QSize(Config::pixel(800), Config::pixel(320)));
        QVERIFY(w.acceptDrops());
        QVERIFY(!w.windowIcon().isNull());

        auto* top = w.findChild<QScrollArea*>("TopBoxArea");
        QVERIFY(top);
        QCOMPARE(top->height(), Config::pixel(36));
        QCOMPARE(top->widget()->objectName(), QString("TopBoxWidget"));
        QCOMPARE(top->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        auto* right = w.findChild<QScrollArea*>("RightBoxArea");
        QVERIFY(right);
        QCOMPARE(right->width(), Config::pixel(232));
        QCOMPARE(right->widget()->objectName(), QString("RightBoxWidget"));

        // One separator after each of the first seven items, none between
        // the result list and the filler.
        auto* box = qobject_cast<QVBoxLayout*>(right->widget()->layout());
        QVERIFY(box);
        QCOMPARE(box->count(), 9 + 7);
        QStringList names;
        for (int i = 0; i < box->count(); ++i) {
            QLayoutItem* it = box->itemAt(i);
            names << (it->widget() ? it->widget()->objectName() : QString("layout"));
        }
        QCOMPARE(names, (QStringList{"OscMeasure", "ColorLump2", "OscCursor", "ColorLump2", "layout", "ColorLump2",
                                     "MouseMeasure", "ColorLump2", "PulseMeasure", "ColorLump2", "TimingMarker",
                                     "ColorLump2", "ProtoManager", "ColorLump2", "ProtoResult", ""}));
        QCOMPARE(box->stretch(14), 32);

        auto* grid = qobject_cast<QGridLayout*>(w.layout());
        QVERIFY(grid);
        auto place = [&](QWidget* child) {
            int r, c, rs, cs;
            grid->getItemPosition(grid->indexOf(child), &r, &c, &rs, &cs);
            return QVector<int>{r, c, rs, cs};
        };
        QCOMPARE(place(top), (QVector<int>{0, 0, 1, 3}));
        QCOMPARE(place(w.mainMenu), (QVector<int>{0, 3, 1, 1}));
        QCOMPARE(place(w.vthSetting), (QVector<int>{1, 0, 1, 1}));
        QCOMPARE(place(w.timeView), (QVector<int>{1, 1, 1, 1}));
        QCOMPARE(place(w.mainView), (QVector<int>{2, 0, 1, 2}));
        QCOMPARE(place(w.statusBar), (QVector<int>{3, 0, 1, 1}));
        QCOMPARE(place(w.posiView), (QVector<int>{3, 1, 1, 1}));
        QCOMPARE(place(right), (QVector<int>{1, 2, 3, 2}));
        QCOMPARE(grid->rowStretch(2), 1);
        QCOMPARE(grid->columnStretch(1), 1);
        QCOMPARE(grid->columnStretch(0), 0);
    }

    void startAndCloseWritesConfiguration()
    {
        QFile::remove(Config::cfgFile);
        Config::saveGlobalParam("windowMaximized", "0");
        Config::windowPosition[0] = 40;
        Config::windowPosition[1] = 30;
        Config::windowPosition[2] = 40 + 900 - 1;
        Config::windowPosition[3] = 30 + 500 - 1;
        MainWindow w;
        QCOMPARE(w.geometry(), QRect(40, 30, 900, 500));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_VERIFY(w.startDone());
        QVERIFY(boxes.isEmpty());   // no command-line file: the device search runs, no message

        QVERIFY(w.close());
        QVERIFY(w.isClosing());
        const QString file = readConfigFile();
        QVERIFY(file.contains("<windowPosition>40,30,900,500</windowPosition>"));
        QVERIFY(file.contains("<windowMaximized>0</windowMaximized>"));
        QVERIFY(file.contains("<version>3.6.3</version>"));
    }

    void commandLineCaptureCannotOpen()
    {
        const QString path = tmp.filePath("cmd.cvdat");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("<settings><global><devModel>0</devModel></global></settings>\n\x01\x02");
        }
        Config::takeCommandLineFile({path});
        QCOMPARE(Config::dataFile, path);
        MainWindow w;
        w.show();
        QTRY_VERIFY(w.startDone());
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].title, QString("An error occurred"));
        QCOMPARE(boxes[0].text, "File open failed.\r\n" + path);
    }

    void dropOpensFirstFile()
    {
        MainWindow w;
        const QString a = tmp.filePath("a.cvdat"), b = tmp.filePath("b.cvdat");
        sendDrop(w, {QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)});
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, "File open failed.\r\n" + a);

        boxes.clear();
        sendDrop(w, {}, "just text");                              // no URLs
        sendDrop(w, {QUrl("https://example.invalid/x.cvdat")});    // not a local file
        QVERIFY(boxes.isEmpty());
    }

    void keptRectangleIgnoresFirstEvents()
    {
        MainWindow w;
        const QRect empty = w.keptRect();
        QVERIFY(!empty.isValid());

        // What Qt sends when a window is first shown.
        QResizeEvent firstResize(QSize(900, 500), QSize(-1, -1));
        QCoreApplication::sendEvent(&w, &firstResize);
        QMoveEvent firstMove(QPoint(40, 30), QPoint(40, 30));
        QCoreApplication::sendEvent(&w, &firstMove);
        QCOMPARE(w.keptRect(), empty);

        QMoveEvent move(QPoint(0, 0), QPoint(40, 30));
        QCoreApplication::sendEvent(&w, &move);
        QResizeEvent resize(QSize(1920, 1000), QSize(900, 500));
        QCoreApplication::sendEvent(&w, &resize);
        QCOMPARE(w.keptRect(), QRect(40, 30, 900, 500));

        QMoveEvent move2(QPoint(5, 6), QPoint(50, 60));
        QCoreApplication::sendEvent(&w, &move2);
        QCOMPARE(w.keptRect(), QRect(50, 60, 900, 500));
    }

    void maximizedCloseKeepsRestoredRectangle()
    {
        Config::windowPosition[0] = 60;
        Config::windowPosition[1] = 50;
        Config::windowPosition[2] = 60 + 850 - 1;
        Config::windowPosition[3] = 50 + 450 - 1;
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.showMaximized();
        QTRY_VERIFY(w.isMaximized());
        QTRY_COMPARE(w.keptRect().size(), QSize(850, 450));
        QVERIFY(w.close());
        QCOMPARE(Config::readGlobalParam("windowPosition"), QString("60,50,850,450"));
        QCOMPARE(Config::readGlobalParam("windowMaximized"), QString("1"));
    }

    void maximizedAtStart()
    {
        // Shown maximized and closed again: the restored rectangle is the
        // one it started with, never a size made of Qt's invalid first events.
        Config::saveGlobalParam("windowMaximized", "1");
        Config::windowPosition[0] = 70;
        Config::windowPosition[1] = 80;
        Config::windowPosition[2] = 70 + 820 - 1;
        Config::windowPosition[3] = 80 + 420 - 1;
        MainWindow w;
        QVERIFY(w.windowState() & Qt::WindowMaximized);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QRect normal = w.normalGeometry();   // the layout may widen it
        QCOMPARE(normal.topLeft(), QPoint(70, 80));
        QVERIFY(normal.width() >= 820 && normal.height() >= 420);
        QVERIFY(w.close());
        const QString expected = QString("%1,%2,%3,%4").arg(normal.x()).arg(normal.y()).arg(normal.width()).arg(normal.height());
        QCOMPARE(Config::readGlobalParam("windowPosition"), expected);
        QCOMPARE(Config::readGlobalParam("windowMaximized"), QString("1"));
        Config::saveGlobalParam("windowMaximized", "0");
    }

    void shiftFlag()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::keyPress(&w, Qt::Key_Shift);
        QVERIFY(w.shiftHeld());
        QTest::keyRelease(&w, Qt::Key_Shift);
        QVERIFY(!w.shiftHeld());
        QCOMPARE(MainWindow::libusbHotplugCallback(), 0);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
