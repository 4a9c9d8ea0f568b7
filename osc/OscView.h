#ifndef OSCVIEW_H
#define OSCVIEW_H
// The oscilloscope face of the main view (work mode 1): the 10 x 10
// division screen in the view's scene with its tags, trigger markers,
// information boxes and four cursors, and the side panels in the label
// column. It turns the panels' change codes, the calibration window's codes,
// the cursor panel's commands, the keys 1 to 4 and the pointer into device
// settings and item positions, and hands the texts of the cursors to the
// cursor panel. The main view builds it in init() and deletes it with its
// other items; it forwards its pointer events, wheel and slots here.

#include <QObject>
#include <QPointF>
#include <QStringList>
#include <QVector>

class ChnSetOsc;
class MathChnOsc;
class OscAutoScale;
class OscChnInfor;
class OscChnTag;
class OscCursorBody;
class OscCursorName;
class OscPanel;
class OscTriggerTime;
class OscTriggerTimeInfor;
class OscTriggerVolt;
class OscTriggerVoltInfor;
class QGraphicsScene;
class QGraphicsView;
class QMouseEvent;
class QShortcut;
class QWidget;
class TimeSetOsc;
class TriggerSetOsc;
class WaveBackgroundOsc;
class WaveDataGenOsc;
class WaveLineOsc;

class OscView : public QObject
{
    Q_OBJECT
public:
    // Builds items and panels; `column` is the label column the panels
    // stack in, `host` the widget the keys 1 to 4 belong to.
    OscView(QGraphicsScene* scene, QGraphicsView* view, QWidget* column, QWidget* host, WaveDataGenOsc* gen,
            QObject* parent = nullptr);
    ~OscView() override;

    // The division grid in logical pixels.
    struct Grid {
        int left = 0;
        int top = 0;
        int width = 0;
        int height = 0;
    };
    // The grid of a viewport (screen pixels) that leaves room for the
    // channel tags (tagWidth) at the left, the trigger-time markers
    // (markerHeight) above and the cursor labels (labelWidth) at the right.
    static Grid gridFor(int viewportWidth, int viewportHeight, int tagWidth, int markerHeight, int labelWidth, int p);
    // Whether a viewport point (screen pixels) lies on the grid.
    bool inGrid(int x, int y) const;

    // mV as text: V from 1000 mV up, 6 significant digits; "1000mV" is "1V".
    static QString voltDataToString(double mV);
    // A fraction of the grid kept within [0, 1] and rounded to thousandths;
    // 0 for a value that is not a number.
    static double getAGridTimeOffset(double f);
    static double getAGridVoltOffset(double f) { return getAGridTimeOffset(f); }

    // Places items and panels for the viewport's size and gives the
    // generator the grid's width; a grid of no size leaves the items where
    // they are.
    void layout();
    // Stacks the side panels (after one was expanded or collapsed).
    void stackPanels();
    // After new display data: while an automatic scaling runs, starts its
    // next capture; when it has ended, reloads the panels and restarts in a
    // repeat mode; then the traces are redrawn.
    void refresh();

    void mousePressed(QMouseEvent* e);
    void mouseMoved(QMouseEvent* e);
    void mouseReleased(QMouseEvent* e);
    void mouseLeft();
    // The wheel steps the time base; true when it changed.
    bool wheel(int delta);

    // ---- positions and texts (the view's own steps) ----
    void setAChnVoltSet(int chn, int code);
    void updateATrgSet(int chn, int code);
    void setOscMathChnPosition(double y);
    void updateATrgPercent();
    void setOscCursorState(int id, int type);
    void setAMarkerPosition(int index, double fraction);
    void setAMarkerState(int index, int state);
    void updateAMarkerValue(int type);
    void updateAMarkerY(int chn);
    QStringList calculateX1X2() const;
    QStringList calculateY1Y2() const;
    // The keys 1 to 4: cursor n - 1 is taken up (or put away again).
    void takeUpCursor(int n);
    // The channel the voltage cursors measure (a stored choice outside the
    // device's channels counts as channel 0).
    int cursorChannel() const;

    Grid grid;
    WaveBackgroundOsc* background;
    WaveLineOsc* traces;
    OscAutoScale* indicator;
    QVector<ChnSetOsc*> chnPanels;
    TimeSetOsc* timePanel;
    TriggerSetOsc* trgPanel;
    MathChnOsc* mathPanel;
    // Channel tags, the math tag last (its id is the channel count).
    QVector<OscChnTag*> tags;
    QVector<OscTriggerVolt*> trgVolts;
    QVector<OscTriggerVoltInfor*> trgVoltInfors;
    // One per channel, the math box last.
    QVector<OscChnInfor*> chnInfors;
    // The trigger position (main) and the capture's trigger in the view.
    OscTriggerTime* trgTimes[2];
    OscTriggerTimeInfor* trgTimeInfors[2];
    // Time cursors X1, X2, then voltage cursors Y1, Y2.
    OscCursorBody* cursors[4];
    OscCursorName* cursorNames[4];
    int cursorChn = 0;
    bool moveBoth = false;

public slots:
    void slotOscChnSetChanged(int code, int chn);
    void slotOscTimeSetChanged(int code);
    void slotOscTrgSetChanged(int chn);
    void slotOscMathSetChanged(bool regenerate);
    void slotCalibSettingChanged(int code, int chn);
    void slotOscCursorClicked(int a, int code);
    void slotChnTagMousEnter(int i);
    void slotChnTagMousLeave(int i);
    void slotTrgMousEnter(int chn);
    void slotTrgMousLeave(int chn);
    void slotTrgTimeMousEnter(int i);
    void slotTrgTimeMousLeave(int i);
    void slotChnTrgEdgeChanged();

signals:
    // The capture restarted in this start mode after an automatic scaling.
    void smpStaChanged(int mode);
    // A drag on the grid, in logical pixels.
    void mouseDraged(int dx);
    void oscMeasureChanged(int chn);
    void oscCursorValueChanged(int oscType, QStringList list);
    void oscCursorAddClicked(int pair);

private:
    enum DragKind { DragNone, DragTag, DragTrgVolt, DragTrgTime, DragMathTag, DragPan };
    void buildItems();
    void buildPanels(QWidget* column);
    // The side panels in their column order.
    QVector<OscPanel*> panels() const;
    void finishAutoScale();
    // The channel panels, tags and markers reloaded from the device.
    void reloadChannel(int chn, int tagCode, int trgCode);
    void showTagOf(int chn);
    // Fraction of the grid under a viewport point, for a cursor type.
    double cursorFraction(int type, const QPointF& scenePos) const;
    int cursorIndex(int id, int type) const;
    QPointF scenePos(QMouseEvent* e) const;
    int mathIndex() const { return tags.size() - 1; }

    QGraphicsScene* scene;
    QGraphicsView* view;
    QWidget* column;
    WaveDataGenOsc* gen;
    QVector<QShortcut*> shortcuts;
    DragKind drag = DragNone;
    int dragId = -1;
    bool restartAfterDrag = false;
    int lastX = 0;
};

#endif
