#ifndef OSCVIEW_H
#define OSCVIEW_H
// The oscilloscope face of the main view (work mode 1): the 10 x 10
// division screen in the view's scene, laid out on every resize, redrawn
// after every set of display data, and the step of the automatic scaling
// that starts the next capture. The main view builds it in init() and
// deletes it with its other items; it forwards its pointer events here.

#include <QObject>

class QGraphicsScene;
class QGraphicsView;
class QMouseEvent;
class OscAutoScale;
class WaveBackgroundOsc;
class WaveDataGenOsc;
class WaveLineOsc;

class OscView : public QObject
{
    Q_OBJECT
public:
    OscView(QGraphicsScene* scene, QGraphicsView* view, WaveDataGenOsc* gen, QObject* parent = nullptr);
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

    // Places the items for the viewport's size and gives the generator the
    // grid's width; a grid of no size leaves everything as it was.
    void layout();
    // After new display data: while an automatic scaling runs, starts its
    // next capture; when it has ended, restarts in a repeat mode; then the
    // traces are redrawn.
    void refresh();

    void mousePressed(QMouseEvent* e);
    void mouseMoved(QMouseEvent* e);
    void mouseReleased(QMouseEvent* e);

    Grid grid;
    WaveBackgroundOsc* background;
    WaveLineOsc* traces;
    OscAutoScale* indicator;

signals:
    // The capture restarted in this start mode after an automatic scaling.
    void smpStaChanged(int mode);
    // A drag on the grid, in logical pixels.
    void mouseDraged(int dx);

private:
    void finishAutoScale();

    QGraphicsScene* scene;
    QGraphicsView* view;
    WaveDataGenOsc* gen;
    bool dragging = false;
    int lastX = 0;
};

#endif
