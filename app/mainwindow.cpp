#include "app/mainwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QTimerEvent>
#include <QUrl>
#include <QVBoxLayout>

#include "config/Config.h"
#include "config/Lang.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "device/DevInit.h"
#include "device/DevSupport.h"

std::function<void(QWidget*, const QString&, const QString&)> MainWindow::criticalBox;

MainWindow::MainWindow(QWidget* parent) : QWidget(parent)
{
    setupWindow();
    buildTopBox();
    buildRightBox();
    buildGrid();

    if (devSupport)
        devSupport->registerNotification(&MainWindow::libusbHotplugCallback);

    // The deferred start: the window is up before a file loads or a search begins.
    startTimerId = startTimer(200, Qt::CoarseTimer);
}

void MainWindow::setupWindow()
{
    QApplication::setFont(Config::fontNormal);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    setAttribute(Qt::WA_StyledBackground);
    setAcceptDrops(true);
    setGeometry(QRect(QPoint(Config::windowPosition[0], Config::windowPosition[1]),
                      QPoint(Config::windowPosition[2], Config::windowPosition[3])));
    setWindowIcon(QIcon(":/res/Logo"));
    setMinimumSize(Config::pixel(800), Config::pixel(320));
    if (Config::readGlobalParam("windowMaximized").toInt() != 0)
        setWindowState(windowState() | Qt::WindowMaximized);
}

QWidget* MainWindow::placeholder(const QString& name, QWidget* parent)
{
    QWidget* w = new QWidget(parent);
    w->setObjectName(name);
    return w;
}

void MainWindow::buildTopBox()
{
    devSetting = placeholder("DevSetting");
    smpSetting = placeholder("SmpSetting");
    pwmSetting = placeholder("PWMSetting");
    smpCtrl = placeholder("SmpCtrl");
    zoomCtrl = placeholder("ZoomCtrl");

    QHBoxLayout* box = new QHBoxLayout;
    box->setAlignment(Qt::AlignLeft);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(3 * Config::pixel(6));
    box->addWidget(devSetting);
    box->addWidget(smpSetting);
    box->addWidget(pwmSetting);

    QWidget* boxWidget = new QWidget;
    boxWidget->setObjectName("TopBoxWidget");
    boxWidget->setFixedHeight(Config::pixel(36));
    const int m = Config::pixel(6);
    boxWidget->setContentsMargins(m, m, m, m);
    boxWidget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    boxWidget->setLayout(box);

    QScrollArea* area = new QScrollArea(this);
    area->setObjectName("TopBoxArea");
    area->setWidgetResizable(true);
    area->setFixedHeight(Config::pixel(36));
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidget(boxWidget);
    topBoxArea = area;
}

void MainWindow::buildRightBox()
{
    oscMeasure = placeholder("OscMeasure");
    oscCursor = placeholder("OscCursor");
    mouseMeasure = placeholder("MouseMeasure");
    pulseMeasure = placeholder("PulseMeasure");
    timingMarker = placeholder("TimingMarker");
    protoManager = placeholder("ProtoManager");
    protoResult = placeholder("ProtoResult");
    QLabel* filler = new QLabel;

    QVBoxLayout* box = new QVBoxLayout;
    const int m = Config::pixel(4);
    box->setContentsMargins(m, m, m, m);
    box->setSpacing(Config::pixel(6));
    box->addWidget(oscMeasure);
    box->addWidget(oscCursor);
    QVBoxLayout* ctrl = new QVBoxLayout;
    ctrl->setContentsMargins(0, 0, 0, 0);
    ctrl->setSpacing(0);
    ctrl->addWidget(smpCtrl, 0, Qt::AlignHCenter);
    ctrl->addWidget(zoomCtrl, 0, Qt::AlignHCenter);
    box->addLayout(ctrl);
    box->addWidget(mouseMeasure);
    box->addWidget(pulseMeasure);
    box->addWidget(timingMarker);
    box->addWidget(protoManager);
    box->addWidget(protoResult, 32);
    box->addWidget(filler);

    // One 1-pixel separator after each item but the last two (none between
    // the result list and the filler).
    const int n = box->count();
    for (int i = 0; i < n - 2; ++i) {
        // The shared ColorLump widget replaces this strip once it exists;
        // the style sheet addresses it by the same object name.
        QWidget* sep = placeholder("ColorLump2");
        sep->setAttribute(Qt::WA_StyledBackground);
        sep->setFixedHeight(Config::pixel(1));
        sep->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        separators.append(sep);
        box->insertWidget(2 * i + 1, sep);
    }

    QWidget* boxWidget = new QWidget(this);
    boxWidget->setObjectName("RightBoxWidget");
    boxWidget->setLayout(box);

    QScrollArea* area = new QScrollArea(this);
    area->setObjectName("RightBoxArea");
    area->setWidgetResizable(true);
    area->setFixedWidth(Config::pixel(232));
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidget(boxWidget);
    rightBoxArea = area;
}

void MainWindow::buildGrid()
{
    vthSetting = placeholder("VthSetting");
    timeView = placeholder("TimeView");
    posiView = placeholder("PosiView", this);
    statusBar = placeholder("StatusBar");
    mainView = placeholder("MainView");
    mainMenu = placeholder("MainMenu");
    for (QWidget* w : {timeView, posiView, statusBar, mainView})
        w->setAttribute(Qt::WA_StyledBackground);

    QGridLayout* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(0);
    grid->setVerticalSpacing(0);
    grid->addWidget(topBoxArea, 0, 0, 1, 3);
    grid->addWidget(mainMenu, 0, 3, 1, 1);
    grid->addWidget(vthSetting, 1, 0, 1, 1);
    grid->addWidget(timeView, 1, 1, 1, 1);
    grid->addWidget(mainView, 2, 0, 1, 2);
    grid->addWidget(statusBar, 3, 0, 1, 1);
    grid->addWidget(posiView, 3, 1, 1, 1);
    grid->addWidget(rightBoxArea, 1, 2, 3, 2);
    const int rowStretch[] = {0, 0, 1, 0};
    const int colStretch[] = {0, 1, 0, 0};
    for (int i = 0; i < 4; ++i) {
        grid->setRowStretch(i, rowStretch[i]);
        grid->setColumnStretch(i, colStretch[i]);
    }
}

QShortcut* MainWindow::addShortcut(const QKeySequence& keys)
{
    QShortcut* s = new QShortcut(keys, this);
    s->setContext(Qt::WindowShortcut);
    s->setAutoRepeat(false);
    shortcuts.append(s);
    return s;
}

int MainWindow::libusbHotplugCallback()
{
    if (devInit)
        devInit->init();
    return 0;
}

void MainWindow::showCritical(const QString& title, const QString& text)
{
    if (criticalBox) {
        criticalBox(this, title, text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Close, this,
                    Qt::WindowCloseButtonHint);
    box.button(QMessageBox::Close)->setText(Lang::tr("Close"));
    box.exec();
}

void MainWindow::loadFile(const QString& path)
{
    // Capture and settings files cannot be read yet: say so.
    showCritical(Lang::tr("An error occurred"), Lang::tr("File open failed.") + "\r\n" + path);
}

void MainWindow::timerEvent(QTimerEvent* e)
{
    if (e->timerId() != startTimerId) {
        QWidget::timerEvent(e);
        return;
    }
    killTimer(startTimerId);
    startTimerId = 0;
    started = true;
    if (!Config::dataFile.isEmpty()) {
        // No capture reader exists yet, so a named capture cannot be shown.
        QByteArray header;
        Config::extractConfig(Config::dataFile, header);
        showCritical(Lang::tr("An error occurred"), Lang::tr("File open failed.") + "\r\n" + Config::dataFile);
        return;
    }
    if (devInit)
        devInit->init();
}

void MainWindow::closeEvent(QCloseEvent* e)
{
    closing = true;
    if (devUsing) {
        devUsing->smpStopAndWait();
        devUsing->devStandby();
    }

    QRect r = geometry();
    if (isMaximized()) {
        r = keptRect();
        // Never moved or resized before maximizing: Qt still knows the
        // restored geometry.
        if (r.width() < 1 || r.height() < 1)
            r = normalGeometry();
    }
    const int pos[4] = {r.x(), r.y(), r.width(), r.height()};
    Config::saveGlobalParam("windowPosition", Config::IntArrayToString(pos, 4));
    Config::saveGlobalParam("windowMaximized", isMaximized() ? "1" : "0");
    Config::close();
    e->accept();
}

void MainWindow::moveEvent(QMoveEvent* e)
{
    // The move Qt sends when the window is first shown carries no earlier
    // position (old equals new); it must not replace the kept corner.
    if (e->oldPos() != e->pos()) {
        const int w = kept[2] - kept[0], h = kept[3] - kept[1];
        kept[0] = e->oldPos().x();
        kept[1] = e->oldPos().y();
        kept[2] = kept[0] + w;
        kept[3] = kept[1] + h;
    }
    QWidget::moveEvent(e);
}

void MainWindow::resizeEvent(QResizeEvent* e)
{
    // The first resize carries an invalid old size (-1 x -1).
    const QSize old = e->oldSize();
    if (old.width() >= 1 && old.height() >= 1 && old != e->size()) {
        kept[2] = kept[0] + old.width() - 1;
        kept[3] = kept[1] + old.height() - 1;
    }
    QWidget::resizeEvent(e);
}

void MainWindow::keyPressEvent(QKeyEvent* e)
{
    QWidget::keyPressEvent(e);
    if (e->key() == Qt::Key_Shift)
        shiftDown = true;   // read by the main view's mouse handling
}

void MainWindow::keyReleaseEvent(QKeyEvent* e)
{
    QWidget::keyReleaseEvent(e);
    if (e->key() == Qt::Key_Shift)
        shiftDown = false;
}

void MainWindow::dragEnterEvent(QDragEnterEvent* e)
{
    if (e->mimeData()->hasUrls())
        e->acceptProposedAction();
    else
        e->ignore();
}

void MainWindow::dropEvent(QDropEvent* e)
{
    if (!e->mimeData()->hasUrls())
        return;
    const QList<QUrl> urls = e->mimeData()->urls();
    const QString path = urls.isEmpty() ? QString() : urls.first().toLocalFile();
    if (!path.isEmpty())
        loadFile(path);
}

bool MainWindow::nativeEvent(const QByteArray& eventType, void* message, long* result)
{
    if (devSupport && devSupport->isDevChangeNotification(message) && devInit)
        devInit->init();
    return QWidget::nativeEvent(eventType, message, result);
}
