#include "widgets/MyScrollbar.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "config/Config.h"

namespace ScrollbarMath {

Thumb thumb(qint64 min, qint64 max, qint64 pageStep, qint64 value, int h, int minLength)
{
    Thumb t;
    const double range = double(max) - double(min);
    const double hh = qMax(0, h);
    const double page = qMax<qint64>(0, pageStep);
    if (range <= 0 || page + range <= 0) {
        // Nothing to scroll: the thumb fills the bar.
        t.handleLength = hh;
        t.length = hh;
        return t;
    }
    t.handleLength = page / (page + range) * hh;
    const double travel = hh - t.handleLength;
    const double pos = qBound(0.0, double(value) - double(min), range);
    double y = std::trunc(pos * travel / range);
    t.length = t.handleLength;
    if (t.handleLength < minLength) {
        if (travel > 0)
            y = std::trunc(y * (hh - minLength) / travel);
        t.length = minLength;
    }
    t.y = int(qMax(0.0, y));
    return t;
}

qint64 dragValue(int dy, qint64 pressValue, qint64 min, qint64 max,
                 double handleLength, int h)
{
    if (max < min)
        return min;
    const double travel = h - handleLength;
    double v = double(pressValue);
    if (travel > 0)
        v += double(dy) * (double(max) - double(min)) / travel;
    // Clamp before converting: a tiny travel over a huge range gives values
    // far outside what a qint64 holds.
    if (v <= double(min))
        return min;
    if (v >= double(max))
        return max;
    return qBound(min, qint64(std::trunc(v)), max);
}

}

MyScrollbar::MyScrollbar(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_StyledBackground);
    hide();
}

ScrollbarMath::Thumb MyScrollbar::currentThumb() const
{
    return ScrollbarMath::thumb(m_min, m_max, m_pageStep, m_value, height(), 12 * Config::pixel(1));
}

void MyScrollbar::setRange(qint64 newMin, qint64 newMax)
{
    if (newMin != m_min || newMax != m_max) {
        if (newMax < m_value && newMax > 0) {
            m_min = newMin;
            m_max = newMax;
            setValue(newMax);
        } else {
            const bool quiet = m_max <= 0 && newMax < 0;
            // Store first, so that a listener reading the bounds sees the new ones.
            m_min = newMin;
            m_max = newMax;
            if (!quiet)
                emit rangChanged(newMin, newMax);
        }
    }
    // A bar without a positive maximum cannot scroll (setValue ignores it,
    // paint would hide it): keep it hidden from the start.
    const bool empty = double(newMax) - double(newMin) < 1 || newMax <= 0;
    if (empty && !isHidden())
        hide();
    else if (!empty && isHidden())
        show();
    update();
}

void MyScrollbar::setValue(qint64 v)
{
    if (m_max < 1)
        return;
    v = qMax(m_min, qMin(m_max, v));
    if (v == m_value)
        return;
    m_value = v;
    update();
    emit valueChanged(m_value);
}

void MyScrollbar::setPageStep(qint64 step)
{
    m_pageStep = step;
    update();
}

void MyScrollbar::paintEvent(QPaintEvent*)
{
    if (m_max <= 0) {
        hide();
        return;
    }
    const ScrollbarMath::Thumb t = currentThumb();
    m_handleLength = t.handleLength;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 200));
    const int r = width() / 2;
    p.drawRoundedRect(QRectF(0, t.y, width(), t.length), r, r);
}

void MyScrollbar::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && m_max >= 1) {
        m_pressY = qRound(e->localPos().y());
        m_pressValue = m_value;
        // The thumb length of the current size, also when no paint ran yet.
        m_handleLength = currentThumb().handleLength;
    }
    QWidget::mousePressEvent(e);
}

void MyScrollbar::mouseMoveEvent(QMouseEvent* e)
{
    if ((e->buttons() & Qt::LeftButton) && m_max >= 1) {
        const int dy = qRound(e->localPos().y()) - m_pressY;
        setValue(ScrollbarMath::dragValue(dy, m_pressValue, m_min, m_max, m_handleLength, height()));
    }
    QWidget::mouseMoveEvent(e);
}
