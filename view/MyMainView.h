#ifndef MYMAINVIEW_H
#define MYMAINVIEW_H
// Graphics pieces of the waveform area: the view that shows the rows (with
// its overlay scroll bar), the edge-jump arrow, the capture progress ring,
// the timing-marker line and the period arrow of the pulse under the mouse.

#include <QGraphicsObject>
#include <QGraphicsView>
#include <QString>

#include "config/Types.h"

class MyScrollbar;

class WaveView : public QGraphicsView
{
    Q_OBJECT
public:
    explicit WaveView(QWidget* parent = nullptr);

    void setVScrollValue(int v);
    void setVScrollRang(int min, int max, int pageStep);

    MyScrollbar* vBar;

signals:
    void wheelChanged(bool keyCtrl, int angle, const QPoint& point);
    void mousePressed(QMouseEvent* e);
    void mouseReleased(QMouseEvent* e);
    void mouseMoved(QMouseEvent* e);
    void mouseLeave();
    void vScrollValueChanged(long long value);

public slots:
    void slotValueChanged(long long value);
    void slotValueChangedErr(int v);

protected:
    void wheelEvent(QWheelEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
};

// Arrow at the left or right edge of a row that brings the previous or
// next edge of its channel to the centre.
class NextEdge : public QGraphicsObject
{
    Q_OBJECT
public:
    explicit NextEdge(QGraphicsObject* parent = nullptr);
    void setParameters(int chn, bool toPrevious, int width, int height);
    QRectF boundingRect() const override;
    void paint(QPainter* p, const QStyleOptionGraphicsItem* o, QWidget* w) override;

    int width = 0;
    int height = 0;
    int chn = -1;
    bool toPrevious = true;
};

// Ring over the rows that shows the capture phase and its progress.
class SamplingProgressBar : public QGraphicsItem
{
public:
    SamplingProgressBar();
    void setSize(int width, int height);
    void setValue(DevSmpSta sta, int value);
    QRectF boundingRect() const override;
    void paint(QPainter* p, const QStyleOptionGraphicsItem* o, QWidget* w) override;

    int width = 0;
    int height = 0;
    int phasePercent = 0;
    int readPercent = 0;
    QString text;
};

// Vertical line of one timing marker across all rows.
class CursorBody : public QGraphicsItem
{
public:
    explicit CursorBody(int id);
    QRectF boundingRect() const override;
    void paint(QPainter* p, const QStyleOptionGraphicsItem* o, QWidget* w) override;
    void setLength(int h);

    int width;
    int height = 0;
    QString name;
    int id;
    int state = 5;
    long long position = 0;
};

// Double-headed arrow over the pulse under the mouse and, beside it, the
// following pulse (the period).
class PeriodArrow : public QGraphicsItem
{
public:
    PeriodArrow();
    // edges: start and end of the pulse, start and end of the following
    // one, in logical pixels from the view's left edge (0, 0 for the second
    // pair: no second span); w and h in scene pixels. Repaints.
    void setEdgeWidth(const double edges[4], int w, int h);
    QRectF boundingRect() const override;
    void paint(QPainter* p, const QStyleOptionGraphicsItem* o, QWidget* w) override;

    int width = 0;
    int height = 0;
    double edges[4] = {0, 0, 0, 0};
};

#endif
