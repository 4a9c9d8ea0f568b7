#include "view/PosiView.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "config/Config.h"

PosiView::PosiView(QWidget* parent) : QWidget(parent)
{
    setObjectName("PosiView");
    setAttribute(Qt::WA_StyledBackground);
    setFixedHeight(Config::pixel(20));
}

void PosiView::slotSetPosition(int c, long long trg, long long count, double beg, double span)
{
    chn = c;
    if (c < 0) {
        trgPos = 0;
        smpCount = 0;
        begSmp = 0;
        spanSmp = 0;
    } else {
        trgPos = trg;
        smpCount = count;
        begSmp = beg;
        spanSmp = span;
    }
    update();
}

PosiView::Geometry PosiView::geometry(int w, int h, long long count, long long trg, double beg, double span)
{
    Geometry g;
    const int px = Config::pixel(1);
    const int mw = Config::pixel(6);
    const int inner = w - 2 * px;
    g.preSmp = beg < 0 ? -beg : 0;
    const double end = std::max(beg + span, double(count));
    g.totalSmp = end + g.preSmp;
    // Nothing to scale by before the first capture or at a width of nothing.
    if (!(g.totalSmp > 0) || !std::isfinite(g.totalSmp) || inner <= 0)
        return g;
    g.valid = true;
    g.k = inner / g.totalSmp;

    int x = int(g.k * g.preSmp + px);
    int bw = int(double(count) * g.k);
    if (bw < mw) {
        x = x + bw / 2 - mw / 2;
        bw = mw;
    }
    g.dataBar = QRect(x, Config::pixel(3), bw, h - 2 * Config::pixel(3));

    g.winLeft = int((g.preSmp + beg) * g.k + px);
    int ww = int(span * g.k + px);
    g.winRight = int((g.preSmp + beg + span) * g.k + px);
    if (ww < mw) {
        g.winLeft = g.winLeft + ww / 2 - mw / 2;
        ww = mw;
        g.winRight = g.winLeft + mw - px;
    }
    const int edge = px + px / 2;
    g.window = QRect(g.winLeft - px / 2, edge, ww - px, h - 2 * edge);
    g.trgX = int((double(trg) + g.preSmp) * g.k) + px - px / 2;
    return g;
}

PosiView::Geometry PosiView::layout()
{
    const Geometry g = geometry(width(), height(), smpCount, trgPos, begSmp, spanSmp);
    preSmp = g.preSmp;
    totalSmp = g.totalSmp;
    winLeft = g.winLeft;
    winRight = g.winRight;
    return g;
}

void PosiView::paintEvent(QPaintEvent*)
{
    const Geometry g = layout();
    if (!g.valid)
        return;
    const int px = Config::pixel(1);
    QPainter p(this);
    p.fillRect(g.dataBar, QColor("#361E1E"));

    p.setRenderHint(QPainter::Antialiasing, true);
    QPen outline(QColor("#563232"));
    outline.setWidth(px);
    p.setPen(outline);
    p.setBrush(QColor("#563232"));
    p.drawRoundedRect(g.window, 2 * px, 2 * px);

    p.setRenderHint(QPainter::Antialiasing, false);
    QPen trg(QColor(0, 220, 0));
    trg.setWidth(px);
    p.setPen(trg);
    const int edge = px + px / 2;
    p.drawLine(g.trgX, edge, g.trgX, height() - edge);
}

void PosiView::mousePressEvent(QMouseEvent* e)
{
    dragging = false;
    if (smpCount <= 0 || e->button() != Qt::LeftButton)
        return;
    const Geometry g = layout();
    const int px = Config::pixel(1);
    if (!g.valid || (winLeft <= px && winRight >= width() - px))
        return;
    const int mx = qRound(e->localPos().x());
    lastX = mx;
    if (winLeft < mx && mx <= winRight) {
        dragging = true;
        return;
    }
    const double s = mx * totalSmp / (width() - 2 * px) - preSmp;
    double begin = s - spanSmp / 2;
    if (begin < 0)
        begin = 0;
    else if (s + spanSmp / 2 > smpCount)
        begin = smpCount - spanSmp;
    emit sigPosiChanged(chn, begin);
}

void PosiView::mouseMoveEvent(QMouseEvent* e)
{
    if (!dragging || !(e->buttons() & Qt::LeftButton))
        return;
    const int px = Config::pixel(1);
    const int inner = width() - 2 * px;
    const int mx = qRound(e->localPos().x());
    const int dx = mx - lastX;
    lastX = mx;
    if (inner <= 0)
        return;
    emit sigPosiChanged(chn, begSmp + dx * totalSmp / inner);
}

void PosiView::mouseReleaseEvent(QMouseEvent*)
{
    dragging = false;
}
