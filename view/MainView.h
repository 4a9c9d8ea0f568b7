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
class ItemChnSidebar;
class ItemWaveBackground;
class ItemWaveLine;
class NextEdge;
class OscView;
class QDialog;
class QFrame;
class QGraphicsItem;
class QGraphicsScene;
class QHBoxLayout;
class QMenu;
class QMouseEvent;
class QScrollArea;
class QShortcut;
class SamplingProgressBar;
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

    // ---- period mark and measurements ----
    void updatePeriodMark(const QPoint& pos);
    void updateMeasureValue(double width, double period, double duty, double frequency);

    // ---- members ----
    QHBoxLayout* hLayout;
    QScrollArea* sidebarArea;
    QFrame* sidebarFrame;
    QVector<ItemChnSidebar*> chnSidebars;
    QMenu* chnMenu = nullptr;
    WaveView* waveView;
    QGraphicsScene* scene;
    QVector<ItemWaveBackground*> waveBackgrounds;
    QVector<ItemWaveLine*> waveLines;
    QVector<CursorBody*> timingMarkers;
    QGraphicsItem* periodArrow = nullptr;   // made with the period measurement
    SamplingProgressBar* progressBar;
    NextEdge* nextEdge;
    QDialog* dlgFilter = nullptr;
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
    void slotChnExpansion();

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

protected:
    void resizeEvent(QResizeEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    static bool hasData();
    int chnCount() const;
    void createChnSidebar(int chn, const QString& name, int showIndex, int multip);
    void createWaveItems(int chn);
    void initOsc();
    void placeProgressRing();
    void updateWaveLines();
};

#endif
