#ifndef MAINWINDOW_H
#define MAINWINDOW_H
// The program's single top-level window: builds and lays out every panel,
// runs the deferred start (command-line capture or first device search) and
// writes the window geometry and the configuration when it closes.

#include <QRect>
#include <QVector>
#include <QWidget>

#include <functional>

class QGridLayout;
class QScrollArea;
class QShortcut;
class QVBoxLayout;

class MainWindow : public QWidget
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);

    // Registered with the USB layer: a device change starts a device search.
    static int libusbHotplugCallback();

    // Opens a capture or settings file (drop target and deferred start).
    void loadFile(const QString& path);

    // Shows a modal critical box (title, text) with one Close button. Tests
    // set the seam so that no box ever blocks.
    void showCritical(const QString& title, const QString& text);
    static std::function<void(QWidget*, const QString&, const QString&)> criticalBox;

    // The window rectangle before the latest move and resize (x1, y1, x2, y2
    // inclusive); empty until the window has really been moved and resized.
    QRect keptRect() const { return QRect(QPoint(kept[0], kept[1]), QPoint(kept[2], kept[3])); }
    bool isClosing() const { return closing; }
    bool shiftHeld() const { return shiftDown; }
    // True once the deferred start (200 ms after construction) has run.
    bool startDone() const { return started; }

    // Panels not built yet stand as named placeholders in their layout slots.
    QWidget* topBoxArea = nullptr;
    QWidget* rightBoxArea = nullptr;
    QWidget* devSetting = nullptr;
    QWidget* smpSetting = nullptr;
    QWidget* pwmSetting = nullptr;
    QWidget* smpCtrl = nullptr;
    QWidget* zoomCtrl = nullptr;
    QWidget* oscMeasure = nullptr;
    QWidget* oscCursor = nullptr;
    QWidget* mouseMeasure = nullptr;
    QWidget* pulseMeasure = nullptr;
    QWidget* timingMarker = nullptr;
    QWidget* protoManager = nullptr;
    QWidget* protoResult = nullptr;
    QWidget* vthSetting = nullptr;
    QWidget* timeView = nullptr;
    QWidget* posiView = nullptr;
    QWidget* statusBar = nullptr;
    QWidget* mainView = nullptr;
    QWidget* mainMenu = nullptr;

protected:
    void closeEvent(QCloseEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    bool nativeEvent(const QByteArray& eventType, void* message, long* result) override;

private:
    void setupWindow();
    void buildTopBox();
    void buildRightBox();
    void buildGrid();
    QShortcut* addShortcut(const QKeySequence& keys);
    static QWidget* placeholder(const QString& name, QWidget* parent = nullptr);

    bool closing = false;
    bool shiftDown = false;
    bool started = false;
    int kept[4] = {0, 0, -1, -1};
    int startTimerId = 0;
    QVector<QShortcut*> shortcuts;
    QVector<QWidget*> separators;
};

#endif
