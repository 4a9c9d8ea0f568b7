#ifndef VIEWLAYOUT_H
#define VIEWLAYOUT_H
// Geometry of the waveform area, kept free of widgets so that it can be
// checked on its own: the row stack, the place of the progress ring, the
// edge-arrow zones and the mouse-to-view conversions.

#include <QPoint>
#include <QVector>

namespace ViewLayout {

struct Rows {
    double unit = 0;          // pixels per height unit
    QVector<int> tops;        // top of each display position
    QVector<int> heights;     // height of each display position
    int total = 0;            // height of the whole stack
};

// Rows stacked by display position. showIndex[i] is channel i's display
// position (a permutation of 0..n-1), multip[i] its height multiplier and
// enabled[i] whether it is shown at all (a disabled row is 0 high). The unit
// is the area height over the total units, kept within [unitMin, unitMax];
// with no units at all (every channel off) it is unitMax and every row is 0
// high. The last row absorbs the rounding. An entry whose position is out of
// range is left out.
Rows rows(const QVector<int>& showIndex, const QVector<int>& multip, const QVector<bool>& enabled,
          int areaHeight, int unitMin, int unitMax, int origin = 0);

// Top-left of the square progress ring of size s centred in a view of the
// given size whose top edge shows scene row sceneTop; never negative
// (relative to the visible part) when the view is smaller than the ring.
QPoint ringPosition(int viewWidth, int viewHeight, int s, int sceneTop);

// Which edge arrow the pointer at x asks for: -1 none, 0 the previous-edge
// arrow at the left edge, 1 the next-edge arrow against the right limit.
// arrowWidth is the arrow's width, rightLimit the view width less the
// overlay scroll bar when that is shown. *arrowX gets the x to pass on.
int edgeArrowZone(int x, int arrowWidth, int rightLimit, int* arrowX);

// Right limit of the rows: the view width, less the overlay bar and one
// pixel when the bar is shown.
int rightLimit(int viewWidth, bool barShown, int barWidth, int px1);

// Position rounded to whole pixels, both coordinates.
QPoint roundPoint(double x, double y);

}

#endif
