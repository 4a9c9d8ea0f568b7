#ifndef MAINWINDOW_H
#define MAINWINDOW_H
// The program's single top-level window: builds and lays out every panel,
// wires them to the display generator, the analyzer host and the current
// device, turns device events into title, progress, status and error boxes,
// runs the deferred start (command-line capture or first device search) and
// writes the window geometry and the configuration when it closes.

#include <QRect>
#include <QVector>
#include <QWidget>

#include <functional>

#include "app/MainMenu.h"

class AnalyzerManager;
class CalibrateOsc;
class CheckUpdate;
class DevSetting;
class MainView;
class MouseMeasure;
class MyProgressDlg;
class OscCursor;
class OscMeasure;
class PWMSetting;
class PosiView;
class ProtoManager;
class ProtoResult;
class PulseMeasure;
class QGridLayout;
class QLabel;
class QScrollArea;
class QShortcut;
class QVBoxLayout;
class SmpCtrl;
class SmpSetting;
class SocketAPI;
class StatusBar;
class TimeView;
class TimingMarker;
class VthSetting;
class WaveDataGen;
class WaveDataGenOsc;
class ZoomCtrl;

class MainWindow : public QWidget
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Registered with the USB layer: a device change starts a device search.
    static int libusbHotplugCallback();

    // Opens a dropped capture or settings file.
    void loadFile(const QString& path);
    // True while a file command or its threaded job runs: captures and file
    // commands from elsewhere wait until it ends.
    bool fileJobRunning() const { return mainMenu->fileJobRunning(); }

    // Shows a modal critical box (title, text) with one Close button. Tests
    // set the seam so that no box ever blocks.
    void showCritical(const QString& title, const QString& text);
    static void critical(QWidget* parent, const QString& title, const QString& text);
    static std::function<void(QWidget*, const QString&, const QString&)> criticalBox;

    // The window rectangle before the latest move and resize (x1, y1, x2, y2
    // inclusive); empty until the window has really been moved and resized.
    QRect keptRect() const { return QRect(QPoint(kept[0], kept[1]), QPoint(kept[2], kept[3])); }
    bool isClosing() const { return closing; }
    // The close could not write the configuration (said on standard error).
    bool settingsLost() const { return lostSettings; }
    bool shiftHeld() const { return shiftDown; }
    // True once the deferred start (200 ms after construction) has run.
    bool startDone() const { return started; }
    // The acquisition error code as shown to the user: lowercase hexadecimal
    // of state * 256 + error.
    static QString errorCode(int sta, int err);

    // Models.
    AnalyzerManager* analyzerManager = nullptr;
    WaveDataGen* waveDataGen = nullptr;
    WaveDataGenOsc* waveDataGenOsc = nullptr;
    SocketAPI* socketApi = nullptr;
    CheckUpdate* checkUpdate = nullptr;

    // Panels and views.
    QWidget* topBoxArea = nullptr;
    QScrollArea* rightBoxArea = nullptr;
    DevSetting* devSetting = nullptr;
    SmpSetting* smpSetting = nullptr;
    PWMSetting* pwmSetting = nullptr;
    SmpCtrl* smpCtrl = nullptr;
    ZoomCtrl* zoomCtrl = nullptr;
    OscMeasure* oscMeasure = nullptr;
    OscCursor* oscCursor = nullptr;
    MouseMeasure* mouseMeasure = nullptr;
    PulseMeasure* pulseMeasure = nullptr;
    TimingMarker* timingMarker = nullptr;
    ProtoManager* protoManager = nullptr;
    ProtoResult* protoResult = nullptr;
    QLabel* filler = nullptr;
    MyProgressDlg* progressDlg = nullptr;
    VthSetting* vthSetting = nullptr;
    TimeView* timeView = nullptr;
    PosiView* posiView = nullptr;
    StatusBar* statusBar = nullptr;
    MainView* mainView = nullptr;
    MainMenu* mainMenu = nullptr;
    // The calibration window, built on its first Ctrl+J (with the service
    // code in "extparam") and kept until the window closes.
    CalibrateOsc* calibrate = nullptr;

    const QVector<QShortcut*>& shortcutList() const { return shortcuts; }
    const QVector<QWidget*>& separatorList() const { return separators; }

public slots:
    // Device replacement and re-building.
    void slotDevPreConnect(int model);
    void devModelChanged();
    void initTopBox(bool logic);
    void initRightBox(bool logic);
    void slotReplaceConfig();
    // Detection progress.
    void slotDevInitStaShow(int sta, int err, int n);
    // Acquisition.
    void slotDevSmpStaShow(int sta, int err, int n);
    void slotSmpDataReady(int decode);
    void slotSmpModeChanged();
    // Display.
    void slotWaveViewRefresh(bool decRefresh, bool isZoom);
    void slotPosiViewUpdate();
    void slotZoomCtrlChanged(const QString& text);
    void slotWaveDateMoved(int chn, double begSmp);
    void slotSmpProgPositionChanged();
    // Remote control.
    void slotUpdateFromSocket(int ui);
    // Ctrl+J: the calibration window.
    void slotOpenCalibrate();
    // A signal asks the program to end (CloseSignals): the file job and the
    // decoded-data export that may run are cancelled and wound up, then
    // every event loop ends, the dialogs' included. The caller of the main
    // loop then closes the window as the window manager's close does.
    void slotEndRequested();

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
    void smpDataReadyOsc(int decode);
    void posiViewUpdateOsc();
    void setupWindow();
    void buildModels();
    void buildTopBox();
    void buildRightBox();
    void buildGrid();
    void connectPanels();
    void connectDevice();
    void installHooks();
    QShortcut* addShortcut(const QKeySequence& keys);
    void showPanel(QWidget* w, bool on);
    // Brings the display generator and every decode to rest so that the
    // shown capture may be cleared, swapped or deleted.
    void quiesceReaders();
    // At the deferred start: the configuration or command-line file that
    // could not be read, and the question a command-line settings file
    // asks before it changes the remote-control server.
    void startNotices();
    void setDeviceTitle(bool connected);
    void setFileTitle();

    bool closing = false;
    bool lostSettings = false;
    bool shiftDown = false;
    bool started = false;
    int kept[4] = {0, 0, -1, -1};
    int startTimerId = 0;
    QVector<QShortcut*> shortcuts;
    QVector<QWidget*> separators;
};

#endif
