#ifndef TIMEVIEW_H
#define TIMEVIEW_H
// The time ruler above the wave rows: labelled ticks of the time from the
// trigger, and one handle per timing marker with which markers are picked
// up, moved and dropped. Marker states: 5 hidden, 6 following the mouse,
// 7 hovered, 8 placed.

#include <QLabel>
#include <QPointF>
#include <QStringList>
#include <QVector>
#include <QWidget>

class CursorHandle : public QLabel
{
    Q_OBJECT
public:
    explicit CursorHandle(int id, QWidget* parent = nullptr);

    void setState(int s);

    double shapeWidth;
    double shapeHeight;
    int id;
    int state = 5;
    int textWidth = 0;
    QString text;
    QVector<QPointF> shape;

signals:
    void mouseEnter(int id);
    void mouseLeave(int id);

protected:
    void paintEvent(QPaintEvent* e) override;
    void enterEvent(QEvent* e) override;
    void leaveEvent(QEvent* e) override;
    // Clicks and moves belong to the ruler.
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
};

class TimeView : public QWidget
{
    Q_OBJECT
public:
    explicit TimeView(QWidget* parent = nullptr);

    void setTimesValues(double startPs, double psPerPixel);
    void init();
    void setCursorHandleStateType(int id, int state);
    int getCursorHandleIndex(int state) const;

    // One drawn tick, in logical pixels from the left edge.
    struct Tick {
        int x;
        bool major;
        QString label;
    };
    // Tick step exponent: ticks are 10^e ps apart (-1 for no ticks).
    static int tickExponent(double psPerPixel, int widthLogical);
    // The ticks of a ruler widthLogical logical pixels wide whose left edge
    // lies startPs from the trigger; minor ticks without a label are left
    // out, as they draw nothing.
    static QVector<Tick> rulerTicks(double startPs, double psPerPixel, int widthLogical);
    // Left edge of a label meant to start at `anchor`, moved inward so that
    // all of it stays inside a ruler `rulerWidth` wide (screen pixels).
    static int labelLeft(int anchor, int textWidth, int rulerWidth);

    QVector<CursorHandle*> handles;
    double psPerPixel = 0;
    double startTime = 0;
    bool moved = false;
    QStringList units;

public slots:
    void slotCursorHandleChanged(int code, int a, int b);
    void slotMouseEnter(int id);
    void slotMouseLeave(int id);

signals:
    // 24: set the state of handle index; 25: the handle index that follows
    // the mouse is at ruler x.
    void timeMarkerChanged(int code, int index, int state, int x);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
};

#endif
