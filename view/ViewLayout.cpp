#include "view/ViewLayout.h"

#include <algorithm>
#include <cmath>

namespace ViewLayout {

Rows rows(const QVector<int>& showIndex, const QVector<int>& multip, const QVector<bool>& enabled,
          int areaHeight, int unitMin, int unitMax, int origin)
{
    Rows r;
    const int n = showIndex.size();
    r.tops.fill(origin, n);
    r.heights.fill(0, n);
    if (n == 0) {
        r.unit = unitMax;
        return r;
    }

    // units[k + 1]: height units of display position k; then the running sum.
    QVector<long long> units(n + 1, 0);
    for (int i = 0; i < n; ++i) {
        const int p = showIndex[i];
        if (p < 0 || p >= n)
            continue;
        const bool on = i < enabled.size() && enabled[i];
        units[p + 1] = on && i < multip.size() ? std::max(0, multip[i]) : 0;
    }
    for (int k = 1; k <= n; ++k)
        units[k] += units[k - 1];

    // No rows shown: no quotient to take (it would be infinite or NaN).
    double unit = units[n] > 0 ? double(areaHeight) / double(units[n]) : double(unitMax);
    if (unit < unitMin)
        unit = unitMin;
    else if (unit > unitMax)
        unit = unitMax;
    r.unit = unit;

    for (int k = 0; k < n; ++k)
        r.tops[k] = int(units[k] * unit + origin);
    for (int k = 0; k < n - 1; ++k)
        r.heights[k] = r.tops[k + 1] - r.tops[k];
    r.heights[n - 1] = int(units[n] * unit - r.tops[n - 1]);
    r.total = r.tops[n - 1] + r.heights[n - 1];
    return r;
}

QPoint ringPosition(int viewWidth, int viewHeight, int s, int sceneTop)
{
    const int x = viewWidth >= s ? (viewWidth - s) >> 1 : 0;
    const int y = (viewHeight >= s ? (viewHeight - s) >> 1 : 0) + sceneTop;
    return QPoint(x, y);
}

int edgeArrowZone(int x, int arrowWidth, int rightLimit, int* arrowX)
{
    if (x <= arrowWidth) {
        *arrowX = arrowWidth;
        return 0;
    }
    if (rightLimit - arrowWidth <= x && x < rightLimit) {
        *arrowX = rightLimit;
        return 1;
    }
    *arrowX = 0;
    return -1;
}

int rightLimit(int viewWidth, bool barShown, int barWidth, int px1)
{
    return barShown ? viewWidth - barWidth - px1 : viewWidth;
}

QPoint roundPoint(double x, double y)
{
    return QPoint(int(std::lround(x)), int(std::lround(y)));
}

}
