#ifndef OSCITEMS_H
#define OSCITEMS_H
// The graphics items of the oscilloscope screen: division grid, traces,
// channel tags, trigger-level and trigger-time markers, three kinds of
// information box, the screen cursors with their labels and the auto-scale
// indicator. They hold geometry, a colour, a text and a state; the view
// places them and feeds their texts. Lengths are scene pixels.

#include <QColor>
#include <QGraphicsItem>
#include <QGraphicsObject>
#include <QPolygon>
#include <QString>

struct WaveLineA;
class WaveDataGenOsc;

namespace OscColor {
// Channel id's colour (the analog channels' palette, lightened); white for
// an id at or past the analog channel count (the math trace's items).
QColor channel(int id);
QColor triggerTime();
// Cursors: bright while taken up (6) or hovered (7), darker when placed (8).
QColor cursor(int state);
}

// The 10 x 10 division grid with its frame.
class WaveBackgroundOsc : public QGraphicsItem
{
public:
    WaveBackgroundOsc() = default;
    void setSize(int w, int h);
    QRectF boundingRect() const override;
    void paint(QPainter* p, const QStyleOptionGraphicsItem* o, QWidget* w) override;

    int width = 0;
    int height = 0;
};

// The enabled channels' traces and, while the math flag is set, the math
// trace, from the display generator's columns.
class WaveLineOsc : public QGraphicsItem
{
public:
    explicit WaveLineOsc(WaveDataGenOsc* gen) : gen(gen) {}
    void setSize(int w, int h);
    QRectF boundingRect() const override;
    void paint(QPainter* p, const QStyleOptionGraphicsItem* o, QWidget* w) override;

    // One trace of n columns in an item ht pixels high: value v (mV) at
    // y0 - v k, kept on the item; column x at x p + p/2. Columns with a
    // value that is not finite are left out.
    static void paintTrace(QPainter* painter, const WaveLineA* cols, int n, double y0, double k, int ht, int p);

    int width = 0;
    int height = 0;
    WaveDataGenOsc* gen;
};

// The markers the user drags: a small outline of a colour; entering and
// leaving it is reported by id, and the pointer takes the drag's shape.
class OscMarker : public QGraphicsObject
{
    Q_OBJECT
public:
    OscMarker(int id, Qt::CursorShape hoverShape);
    QRectF boundingRect() const override;

    int width;
    int height;
    int id;
    bool dragging = false;
    QColor color;
    QPolygon outline;

signals:
    void mouseEnter(int id);
    void mouseLeave(int id);

protected:
    void hoverEnterEvent(QGraphicsSceneHoverEvent* e) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent* e) override;
    // The outline filled with `fill`, stroked with `pen`.
    void paintOutline(QPainter* p, const QPen& pen, const QColor& fill) const;
    // Whether hovering changes the pointer's shape.
    bool showsShape = true;

private:
    Qt::CursorShape hoverShape;
};

// Flag at the left of the grid on a channel's zero line (and the math tag).
class OscChnTag : public OscMarker
{
    Q_OBJECT
public:
    explicit OscChnTag(int id);
    void paint(QPainter* p, const QStyleOptionGraphicsItem* o, QWidget* w) override;

    bool showText;
    QString text;
};

// Triangle at the right of the grid on the trigger channel's level.
class OscTriggerVolt : public OscMarker
{
    Q_OBJECT
public:
    explicit OscTriggerVolt(int id);
    void paint(QPainter* p, const QStyleOptionGraphicsItem* o, QWidget* w) override;
};

// Triangle above the grid: the trigger position (main, dragged) or where
// the capture's trigger sample lies in the view (filled black).
class OscTriggerTime : public OscMarker
{
    Q_OBJECT
public:
    OscTriggerTime(int id, bool main);
    void paint(QPainter* p, const QStyleOptionGraphicsItem* o, QWidget* w) override;

    bool main;
    QString text;
    double position = 0;
};

// Information boxes: a framed text (trigger time, channel scale) and the
// trigger level's box with its dashed line across the grid.
class OscTriggerTimeInfor : public QGraphicsObject
{
    Q_OBJECT
public:
    explicit OscTriggerTimeInfor(int id);
    QRectF boundingRect() const override;
    void paint(QPainter* p, const QStyleOptionGraphicsItem* o, QWidget* w) override;

    int width;
    int height;
    int id;
    QString text;
};

class OscChnInfor : public QGraphicsItem
{
public:
    explicit OscChnInfor(int id);
    QRectF boundingRect() const override;
    void paint(QPainter* p, const QStyleOptionGraphicsItem* o, QWidget* w) override;

    int width;
    int height;
    int id;
    QColor color;
    QString text;
};

class OscTriggerVoltInfor : public QGraphicsItem
{
public:
    explicit OscTriggerVoltInfor(int id);
    void setLength(int len);
    QRectF boundingRect() const override;
    void paint(QPainter* p, const QStyleOptionGraphicsItem* o, QWidget* w) override;

    int id;
    int length = 0;   // the grid width, set by the view
    int height;
    int boxWidth;
    QColor color;
    QString text;
};

// Translucent disc in the grid's corner while an automatic scaling runs.
class OscAutoScale : public QGraphicsItem
{
public:
    OscAutoScale();
    void setSize(int w, int h);
    QRectF boundingRect() const override;
    void paint(QPainter* p, const QStyleOptionGraphicsItem* o, QWidget* w) override;

    int width;
    int height;
};

// Cursor states shared with the view: hidden, following the pointer,
// hovered, placed.
enum OscCursorState : int { OscCursorHidden = 5, OscCursorFollow = 6, OscCursorHover = 7, OscCursorPlaced = 8 };

// A screen cursor's line: a time cursor (type 1) is vertical, a voltage
// cursor (type 0) horizontal.
class OscCursorBody : public QGraphicsItem
{
public:
    OscCursorBody(int id, int type, QGraphicsItem* parent = nullptr);
    void setLen(int len);
    void setState(int s);
    QRectF boundingRect() const override;
    void paint(QPainter* p, const QStyleOptionGraphicsItem* o, QWidget* w) override;

    int width;
    int height;
    int id;
    int type;
    int state = -1;
    QString name;
    double position = 0.5;
};

class OscCursorName : public QGraphicsItem
{
public:
    explicit OscCursorName(const QString& text, QGraphicsItem* parent = nullptr);
    void setState(int s);
    QRectF boundingRect() const override;
    void paint(QPainter* p, const QStyleOptionGraphicsItem* o, QWidget* w) override;

    int width;
    int height;
    int state = -1;
    QString text;
};

#endif
