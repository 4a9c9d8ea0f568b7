#include "view/TimeView.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "config/Config.h"

namespace {
const int kMaxMarkerId = 51;
const int kStateHidden = 5;
const int kStateFollowing = 6;
const int kStateHovered = 7;
const int kStatePlaced = 8;

const char* const kUnits[5] = {"ps", "ns", "us", "ms", "s"};
} // namespace

// ---------------------------------------------------------------------------
// CursorHandle

CursorHandle::CursorHandle(int id, QWidget* parent) : QLabel(parent), id(id)
{
    const int px = Config::pixel(1);
    shapeWidth = Config::pixel(14);
    shapeHeight = Config::pixel(9);
    const double w = shapeWidth, h = shapeHeight;

    QFont f = Config::fontNarrow;
    f.setPixelSize(Config::pixel(8));
    f.setWeight(75);
    setFont(f);
    setFixedSize(int(px + w), int(w / 2 + h + px));
    setMouseTracking(true);

    text = QString(QChar('A' + id / 2)) + QString::number(id % 2 + 1);
    textWidth = QFontMetrics(f).horizontalAdvance(text);
    const double hp = px / 2;
    shape = {QPointF(hp, hp), QPointF(w + hp, hp), QPointF(w + hp, hp + h), QPointF(hp + w / 2, hp + h + w / 2),
             QPointF(hp, hp + h)};
    hide();
}

void CursorHandle::setState(int s)
{
    state = s;
    setVisible(s != kStateHidden);
    update();
}

void CursorHandle::enterEvent(QEvent* e)
{
    if (state == kStatePlaced)
        emit mouseEnter(id);
    QLabel::enterEvent(e);
}

void CursorHandle::leaveEvent(QEvent* e)
{
    if (state == kStateHovered)
        emit mouseLeave(id);
    QLabel::leaveEvent(e);
}

void CursorHandle::mousePressEvent(QMouseEvent* e)
{
    e->ignore();
}

void CursorHandle::mouseMoveEvent(QMouseEvent* e)
{
    e->ignore();
}

void CursorHandle::mouseReleaseEvent(QMouseEvent* e)
{
    e->ignore();
}

void CursorHandle::paintEvent(QPaintEvent*)
{
    const int px = Config::pixel(1);
    QPainter p(this);
    const int n = Config::timingColor.size();
    QPen pen(n > 0 ? Config::timingColor.at((id / 2) % n) : QColor(Qt::white));
    pen.setWidth(px);
    p.setPen(pen);
    if (state == kStatePlaced)
        p.setBrush(Config::grayColor.value(1));
    else
        p.setBrush(Qt::white);
    p.drawConvexPolygon(shape.constData(), shape.size());
    p.drawPoint(px / 2, px / 2);
    QPen textPen(Qt::black);
    textPen.setWidth(1);
    p.setPen(textPen);
    p.drawText(QPointF((width() - textWidth) / 2.0, shapeHeight), text);
}

// ---------------------------------------------------------------------------
// TimeView

TimeView::TimeView(QWidget* parent) : QWidget(parent)
{
    setObjectName("TimeView");
    setFont(Config::fontNarrow);
    setAttribute(Qt::WA_StyledBackground);
    setFixedHeight(Config::pixel(36) + 1);
    setMouseTracking(true);
    for (const char* u : kUnits)
        units.append(QString::fromLatin1(u));
}

void TimeView::setTimesValues(double startPs, double ps)
{
    startTime = startPs;
    psPerPixel = ps;
    update();
}

void TimeView::init()
{
    qDeleteAll(handles);
    handles.clear();
    startTime = 0;
    psPerPixel = 0;
    update();
}

int TimeView::tickExponent(double ps, int widthLogical)
{
    if (!(ps > 0) || !std::isfinite(ps) || widthLogical <= 0)
        return -1;
    const double span = ps * widthLogical;
    if (!std::isfinite(span))
        return -1;
    if (span < 10)
        return 0;
    int n = 0;
    for (double s = span; s >= 10; s /= 10)
        ++n;
    if (widthLogical / (span / std::pow(10.0, n - 1)) < 25)
        return n;
    return n - 1;
}

QVector<TimeView::Tick> TimeView::rulerTicks(double startPs, double ps, int widthLogical)
{
    QVector<Tick> ticks;
    const int e = tickExponent(ps, widthLogical);
    if (e < 0 || !std::isfinite(startPs))
        return ticks;
    const double step = std::pow(10.0, e);
    const double first = std::ceil(startPs / step);
    // A tick index beyond this cannot be counted exactly; nothing sensible
    // to label that far out.
    if (std::fabs(first) > 1e15)
        return ticks;

    int u, d;
    double m;
    if (e <= 11) {
        u = e / 3;
        m = std::pow(10.0, e % 3);
        d = e % 3 + 1;
    } else {
        u = 4;
        m = std::pow(10.0, e - 12);
        d = e - 11;
    }
    const QString unit = QString::fromLatin1(kUnits[u]);
    const int px = Config::pixel(1);
    const double s = std::floor(step / ps);
    const double labelWidth =
        double(QFontMetrics(Config::fontNarrow).horizontalAdvance(unit) + (d + 1) * Config::pixel(6) + Config::pixel(8)) / px;
    const int c = s > labelWidth ? 1 : (2 * s <= labelWidth ? 5 : 2);

    const double ticksPerPixel = step / ps;
    for (long long k = (long long)first;; ++k) {
        const double xd = std::trunc((double(k) - startPs / step) * ticksPerPixel);
        if (xd >= widthLogical || ticks.size() > 100000)
            break;
        const int x = int(xd);
        if (k % 10 == 0) {
            QString label;
            if (k == 0) {
                label = QStringLiteral("0");
            } else {
                double v = std::fabs(double(k)) * step;
                int vu = 0;
                while (v >= 1000 && vu < 4) {
                    v /= 1000;
                    ++vu;
                }
                label = (k < 0 ? QStringLiteral("-") : QString()) + QString::number(v, 'g', 12)
                        + QString::fromLatin1(kUnits[vu]);
            }
            ticks.append({x, true, label});
        } else {
            const long long r = k > 0 ? k % 10 : 10 - ((-k) % 10);
            if (r % c == 0)
                ticks.append({x, false, "+" + QString::number(double(r) * m, 'g', 12) + unit});
        }
    }
    return ticks;
}

void TimeView::paintEvent(QPaintEvent*)
{
    if (psPerPixel <= 0)
        return;
    const int px = Config::pixel(1);
    QPainter p(this);
    QPen pen(Qt::white);
    pen.setWidth(px);
    p.setPen(pen);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setFont(Config::fontNarrow);
    const QFontMetrics fm(Config::fontNarrow);
    const int wl = width() / px;
    const int bottom = height() - 2;
    for (const Tick& t : rulerTicks(startTime, psPerPixel, wl)) {
        const int x = t.x * px;
        const int textWidth = fm.horizontalAdvance(t.label);
        if (t.major) {
            p.drawText(labelLeft(x - Config::pixel(6) / 2, textWidth, width()), Config::pixel(16), t.label);
            p.drawLine(x + px / 2, Config::pixel(21), x + px / 2, bottom);
        } else {
            p.drawText(labelLeft(x - Config::pixel(8) / 2, textWidth, width()), Config::pixel(28), t.label);
            p.drawLine(x + px / 2, Config::pixel(31), x + px / 2, bottom);
        }
    }
}

int TimeView::labelLeft(int anchor, int textWidth, int rulerWidth)
{
    // The right edge first: a label wider than the ruler keeps its start.
    return std::max(0, std::min(anchor, rulerWidth - textWidth));
}

void TimeView::setCursorHandleStateType(int id, int state)
{
    if (id < 0 || id > kMaxMarkerId)
        return;
    for (CursorHandle* h : handles) {
        if (h->id == id) {
            h->setState(state);
            return;
        }
    }
    const int base = id & ~1;
    CursorHandle* pair[2] = {new CursorHandle(base, this), new CursorHandle(base + 1, this)};
    for (CursorHandle* h : pair) {
        connect(h, &CursorHandle::mouseEnter, this, &TimeView::slotMouseEnter);
        connect(h, &CursorHandle::mouseLeave, this, &TimeView::slotMouseLeave);
    }
    pair[id - base]->setState(state);
    int at = handles.size();
    for (int i = 0; i < handles.size(); ++i) {
        if (handles[i]->id > base + 1) {
            at = i;
            break;
        }
    }
    handles.insert(at, pair[1]);
    handles.insert(at, pair[0]);
}

int TimeView::getCursorHandleIndex(int state) const
{
    for (int i = 0; i < handles.size(); ++i)
        if (handles[i]->state == state)
            return i;
    return -1;
}

void TimeView::slotCursorHandleChanged(int code, int a, int b)
{
    switch (code) {
    case 26:
        setCursorHandleStateType(a, b);
        break;
    case 27: {
        if (a < 0 || a >= handles.size())
            return;
        CursorHandle* h = handles[a];
        const int px = Config::pixel(1);
        h->move(px / 2 + b - h->width() / 2, height() - h->height());
        break;
    }
    case 28: {
        if (a < 0 || a >= handles.size())
            return;
        const int n = qMin(2, handles.size() - a);
        for (int i = 0; i < n; ++i)
            handles.takeAt(a)->deleteLater();
        break;
    }
    default:
        break;
    }
}

void TimeView::slotMouseEnter(int id)
{
    if (getCursorHandleIndex(kStateFollowing) >= 0)
        return;
    for (CursorHandle* h : handles) {
        if (h->id == id)
            h->setState(kStateHovered);
        else if (h->state == kStateHovered)
            h->setState(kStatePlaced); // only one handle is hovered at a time
    }
}

void TimeView::slotMouseLeave(int id)
{
    const int i = getCursorHandleIndex(kStateHovered);
    if (i >= 0 && handles[i]->id == id)
        handles[i]->setState(kStatePlaced);
}

void TimeView::mousePressEvent(QMouseEvent* e)
{
    moved = false;
    QWidget::mousePressEvent(e);
}

void TimeView::mouseMoveEvent(QMouseEvent* e)
{
    moved = true;
    const int i = getCursorHandleIndex(kStateFollowing);
    if (i >= 0)
        emit timeMarkerChanged(25, i, kStateFollowing, qRound(e->localPos().x()));
}

void TimeView::mouseReleaseEvent(QMouseEvent* e)
{
    if (moved)
        return;
    if (e->button() == Qt::LeftButton) {
        for (int i = 0; i < handles.size(); ++i) {
            const int s = handles[i]->state;
            if (s == kStateHovered || s == kStateFollowing) {
                emit timeMarkerChanged(24, i, s == kStateHovered ? kStateFollowing : kStatePlaced, 0);
                return;
            }
        }
    } else if (e->button() == Qt::RightButton) {
        const int i = getCursorHandleIndex(kStateFollowing);
        if (i >= 0)
            emit timeMarkerChanged(24, i, kStateHidden, 0);
    }
}
