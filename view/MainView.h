#ifndef MAINVIEW_H
#define MAINVIEW_H
// The waveform area: the channel-label column on the left and the wave rows
// on the right at the same vertical positions, the capture progress ring,
// the logic-probe lamps, and the navigation by keys, mouse and wheel. The
// time base itself belongs to the display-data generator; every move or zoom
// here ends in one of its operations.

#include <QPoint>
#include <QStringList>
#include <QVector>
#include <QWidget>

#include <functional>

#include "config/Types.h"

class AnalyzerManager;
class CursorBody;
class DlgFilter;
class ItemChnSidebar;
class ItemWaveBackground;
class ItemWaveLine;
class NextEdge;
class OscView;
class PeriodArrow;
class QAction;
class QDialog;
class QFrame;
class QGraphicsScene;
class QHBoxLayout;
class QMenu;
class QMouseEvent;
class QScrollArea;
class QShortcut;
class QThread;
class SamplingProgressBar;
class SmpData;
class WaveDataGen;
class WaveDataGenOsc;
class WaveView;

class MainView : public QWidget
{
    Q_OBJECT
public:
    // The generators and the analyzer host may be null (tests, tools); the
    // paths that need them then do nothing.
    MainView(WaveDataGen* gen, WaveDataGenOsc* genOsc, AnalyzerManager* mgr, QWidget* parent = nullptr);
    ~MainView() override;

    static MainView* me;

    // Alias texts of the analyzers in use, two entries per logic channel
    // (channel number, alias); installed by whoever wires the analyzer host.
    static std::function<QStringList(int except)> chnAliasSource;
    // Stops the decoders, clears their results and decodes the shown capture
    // again; installed by whoever wires the analyzer host.
    static std::function<void()> restartDecode;
    // Runs a modal dialog or message box and returns its result; tests set
    // it so that nothing ever blocks. Unset: QDialog::exec.
    static std::function<int(QDialog*)> runDialog;
    // Filter runs over at least this many entries go to a worker thread
    // behind a progress dialog.
    static long long filterThreadEntries;

    void init();
    void updateViewDisplay();
    void updateDevSmpSta(DevSmpSta sta, int value);
    void updateTrgStatus();
    void deleteShowItems();
    void registerShortCutkey();
    void setLeftEdgeShow(bool toPrevious, int chn, int x);
    void moveEdgetoCenter();
    // Physical channel whose row lies under a position of the wave view; -1 none.
    int getMouseChnPhy(const QPoint& pos) const;

    // ---- timing markers ----
    // Index of the marker with this id, creating its pair when missing (-1
    // for an id outside 0..51).
    int getCursorBodySub(int id);
    int getCursorBodyIndex(int state) const;
    void setLogTimeMarkerStateType(int index, int state);
    void setLogTimeMarkerSmpPoint(int index, int state, int x);
    void setTimeMarkerPosition(int index, double sample);
    int getCursorBodyCoordinateX(int x, int chn, long long* sample, int* px) const;
    void setLogTimeMarkerValue(int index, int state);
    void setLogTimeMarkerPulseMeasures(int id);
    void setSmpDataReady();
    // Removes the pair whose first marker sits at index i (invalid: nothing).
    void removeMarkerPair(int i);
    // Marker whose line lies under x (scene pixels), -1 none.
    int markerAt(int x) const;
    // The digit keys: "1" to "9" and "0" pick up A1, A2, ... E2.
    void timeMarkerKey(int digit);
    // Pairs with both lines shown: names "A1 - A2" and the two positions.
    static void timeMarkersList(QStringList* names, QVector<long long>* positions);
    // shown[k]: pair 'A' + k exists with both lines shown (false for k >= 26).
    static void getTimeMarkersShow(bool* shown, int count);
    // Picoseconds as text in the largest unit that keeps an integer part,
    // every digit kept: 1234567 gives 1.234567us.
    QString timeDataToString(long long ps) const;
    // 10^12 x samples / rate, truncated; false for a rate <= 0 or a result
    // outside 64 bits.
    static bool samplesToPs(long long samples, long long rate, long long* ps);
    // ",rising,falling,positive pulses,negative pulses" of channel chn over
    // [a, b] (a <= b); ",0,0,0,0" without an edge, ",###,###,###,###" when
    // the store cannot count.
    static QString pulseCountText(const SmpData* s, int chn, long long a, long long b);

    // ---- period mark and measurements ----
    void updatePeriodMark(const QPoint& pos);
    void updateMeasureValue(double width, double period, double duty, double frequency);

    // ---- channel menu and glitch filter ----
    void saveChnShowIndex();
    // New glitch widths on both stores (one per channel): a running capture
    // restarts with them, else the shown one is recounted, redrawn and
    // decoded again.
    void applyFilter(const QVector<unsigned int>& widths);
    // Returns once a filter run on the worker thread has ended.
    void finishFilter();
    bool filterRunning() const { return filtering; }

    // ---- members ----
    QHBoxLayout* hLayout;
    QScrollArea* sidebarArea;
    QFrame* sidebarFrame;
    QVector<ItemChnSidebar*> chnSidebars;
    QMenu* chnMenu = nullptr;
    QAction* actLogicProbe = nullptr;
    QAction* actColorWave = nullptr;
    QVector<QAction*> heightActions;
    WaveView* waveView;
    QGraphicsScene* scene;
    QVector<ItemWaveBackground*> waveBackgrounds;
    QVector<ItemWaveLine*> waveLines;
    QVector<CursorBody*> timingMarkers;
    PeriodArrow* periodArrow;
    SamplingProgressBar* progressBar;
    NextEdge* nextEdge;
    DlgFilter* dlgFilter = nullptr;
    QVector<QShortcut*> shortcuts;
    bool movedSincePress = false;
    QPoint pressPoint;
    int rowOrigin = 0;
    QStringList freqUnits;
    QStringList timeUnits;
    QVector<int> rowTops;
    double periodMark[3] = {0, 0, 0};
    bool pulseRecount = false;
    int probeTimerId = 0;
    AnalyzerManager* analyzerManager;
    WaveDataGen* waveDataGen;
    WaveDataGenOsc* waveDataGenOsc;
    // The oscilloscope screen while the device works in mode 1, else null.
    OscView* oscView = nullptr;

signals:
    void zoomChangedByMouse(int flag, int location);
    void mouseDraged(int width);
    void smpStaChanged(int mode);
    void mouseMeasureChanged(QStringList texts);
    void timMarkPairChanged(int code, int markerId, QString value, QString total);
    void timeMarkBodyChanged(int code, int a, int b);
    void pulseMeasureChangedbySmpDone(QStringList list);
    void pulseMeasureChangedbyTimeMarker(int pair, QStringList list);
    void oscMeasureChanged(int chn);
    void oscCursorValueChanged(int oscType, QStringList list);
    void oscCursorAddClicked(int id);

public slots:
    void slotChnEnaChanged();
    void slotChnTrgEdgeChanged();
    void slotAnalyzerItemChanged();
    void slotUpdateAnalyzerDecoded();
    void slotColorEnaClicked(bool checked);
    void slotLogicProbeClicked(bool checked);
    // Oscilloscope mode: the cursor panel's commands (a, code) and the
    // calibration window's (code, channel); nothing in logic mode.
    void slotOscCursorClicked(int a, int code);
    void slotCalibSettingChanged(int code, int chn);

    // navigation
    void slotShortCutZoomIn();
    void slotShortCutZoomOut();
    void slotShortCutMovToBeg();
    void slotShortCutMovToEnd();
    void slotShortCutPageUp();
    void slotShortCutPageDown();
    void slotShortCutLeft();
    void slotShortCutRight();
    void slotKeyUpAndDownClicked(KeyType key);
    void slotWheelChanged(bool keyCtrl, int angle, const QPoint& point);
    void slotMousePressed(QMouseEvent* e);
    void slotMouseMoved(QMouseEvent* e);
    void slotMouseReleased(QMouseEvent* e);
    void slotMouseLeave();
    void slotSidebarVerValueChanged(int v);
    void slotSidebarVerRangChanged(int min, int max);
    void slotMouseZoomChanged(int flag, int location);
    void slotMouseDraged(int width);

    // markers, channel menu and counters
    void slotShortCutTimeMarker();
    void slotCursorBodyChanged(int code, int index, int state, int x);
    void slotTimingMarkerClicked(int id, int code);
    void slotPulseMeasureInfoChanged();
    void slotChnSetMenu();
    void slotChnMove(int phase, int row, int dy);
    void slotChnHeightClicked();
    void slotChnResetClick();
    void slotChnEnaClicked();
    void slotFilterClicked();

protected:
    void resizeEvent(QResizeEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    static bool hasData();
    // A capture the markers and measurements can use: samples, a rate and a scale.
    bool markerDataReady() const;
    // Index of the marker with this id, -1 when its pair does not exist.
    int markerIndex(int id) const;
    // Both lines of the pair whose first marker sits at index i are shown.
    bool pairShown(int i) const;
    // Sample under scene x, kept far inside 64 bits.
    long long sampleAtX(double x) const;
    void buildChnMenu();
    void saveChnShowMultip();
    void runFilter(SmpData* const stores[2], const QVector<unsigned int>& widths);
    int chnCount() const;
    void createChnSidebar(int chn, const QString& name, int showIndex, int multip);
    void createWaveItems(int chn);
    void initOsc();
    void placeProgressRing();
    void updateWaveLines();

    QThread* filterThread = nullptr;
    bool filtering = false;   // the stores are being filtered: nothing here reads them
};

#endif
