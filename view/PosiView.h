#ifndef POSIVIEW_H
#define POSIVIEW_H
// The position strip below the wave rows: the whole capture with the
// visible window and the trigger drawn on it. A click centres the window
// there, a drag inside the window moves it.

#include <QRect>
#include <QWidget>

class PosiView : public QWidget
{
    Q_OBJECT
public:
    explicit PosiView(QWidget* parent = nullptr);

    // Where the parts of the strip lie in a strip w by h screen pixels.
    struct Geometry {
        bool valid = false;     // false: only the background is drawn
        double preSmp = 0;      // samples shown before sample 0
        double totalSmp = 0;    // samples across the strip
        double k = 0;           // pixels per sample
        QRect dataBar;
        int winLeft = 0;
        int winRight = 0;
        QRect window;           // the rounded rectangle drawn for the view
        int trgX = 0;
    };
    static Geometry geometry(int w, int h, long long smpCount, long long trgPos, double begSmp, double spanSmp);

    int chn = -1;
    long long trgPos = 0;
    long long smpCount = 0;
    double begSmp = 0;
    double spanSmp = 0;
    int winLeft = 0;
    int winRight = 0;
    double preSmp = 0;
    double totalSmp = 0;
    bool dragging = false;
    int lastX = 0;

public slots:
    void slotSetPosition(int chn, long long trg, long long count, double beg, double span);

signals:
    void sigPosiChanged(int chn, double begSmp);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    // Recomputes the geometry for the current size and values.
    Geometry layout();
};

#endif
