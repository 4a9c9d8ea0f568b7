#include "osc/OscItems.h"

#include <QCursor>
#include <QFontMetrics>
#include <QPainter>
#include <QRadialGradient>
#include <QVector>

#include <cmath>

#include "config/Config.h"
#include "data/SmpDataOsc.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "osc/WaveDataGenOsc.h"

// ---------------------------------------------------------------- colours

QColor OscColor::channel(int id)
{
    const int n = devUsing ? devUsing->aChnNum() : 0;
    if (id < 0 || id >= n || Config::chnColorOsc.isEmpty())
        return Qt::white;
    return Config::chnColorOsc[id % Config::chnColorOsc.size()].lighter(120);
}

QColor OscColor::triggerTime()
{
    return QColor(0, 207, 0).lighter(120);
}

QColor OscColor::cursor(int state)
{
    return state == OscCursorPlaced ? QColor(31, 191, 31) : QColor(0, 255, 0);
}

namespace {

QColor gray(int i)
{
    return i < Config::grayColor.size() ? Config::grayColor[i] : QColor(Qt::gray);
}

// A frame filled with the boxes' grey, the text centred with its baseline
// at `baseline`.
void paintBox(QPainter* p, const QRect& box, const QColor& color, const QString& text, int baseline)
{
    const int px = Config::pixel(1);
    p->setRenderHint(QPainter::Antialiasing, false);
    p->setPen(QPen(color, px));
    p->setBrush(gray(8));
    p->drawRect(box);
    const int tw = QFontMetrics(p->font()).horizontalAdvance(text);
    p->drawText(box.x() + (box.width() - tw) / 2, baseline, text);
}

} // namespace

// ---------------------------------------------------------------- grid

void WaveBackgroundOsc::setSize(int w, int h)
{
    prepareGeometryChange();
    width = w;
    height = h;
}

QRectF WaveBackgroundOsc::boundingRect() const
{
    return QRectF(0, 0, width, height);
}

void WaveBackgroundOsc::paint(QPainter* p, const QStyleOptionGraphicsItem*, QWidget*)
{
    if (height <= 0)
        return;
    const int px = Config::pixel(1);
    p->setRenderHint(QPainter::Antialiasing, false);
    p->setBrush(Qt::NoBrush);
    p->setPen(QPen(gray(2), px, Qt::SolidLine));
    p->drawRect(QRect(QPoint(px / 2, px / 2), QPoint(width - px - 1, height - px - 1)));
    // Nine lines each way; the centre lines dashed, the others dotted.
    const int iw = width / px - 3, ih = height / px - 3;
    for (int k = 1; k <= 9; ++k) {
        p->setPen(QPen(gray(2), px, k == 5 ? Qt::DashLine : Qt::DotLine));
        const int x = (k * iw / 10 + 1) * px + px / 2;
        const int y = (k * ih / 10 + 1) * px + px / 2;
        p->drawLine(x, px, x, height - px);
        p->drawLine(px, y, width - px, y);
    }
}

// ---------------------------------------------------------------- traces

void WaveLineOsc::setSize(int w, int h)
{
    prepareGeometryChange();
    width = w;
    height = h;
}

QRectF WaveLineOsc::boundingRect() const
{
    return QRectF(0, 0, width, height);
}

void WaveLineOsc::paintTrace(QPainter* painter, const WaveLineA* cols, int n, double y0, double k, int ht, int p)
{
    if (!cols || n <= 0 || ht <= 0 || !std::isfinite(y0) || !std::isfinite(k))
        return;
    // Clamped while still a double: a value far off screen lands on the
    // top or bottom row, never wraps through an int.
    auto yOf = [&](double v, int* out) {
        const double y = y0 - v * k;
        if (!std::isfinite(y))
            return false;
        *out = int(std::max(0.0, std::min(y, double(ht - 1))));
        return true;
    };
    if (cols[0].single) {
        QVector<QPoint> pts;
        pts.reserve(n);
        for (int j = 0; j < n; ++j) {
            int y;
            if (!yOf(cols[j].min, &y)) {
                painter->drawPolyline(pts.constData(), pts.size());
                pts.clear();
                continue;
            }
            pts.append(QPoint(cols[j].x * p + p / 2, y));
        }
        painter->drawPolyline(pts.constData(), pts.size());
        return;
    }
    // A stroke per column; neighbours that do not overlap are joined.
    QVector<QLine> lines;
    lines.reserve(2 * n);
    bool prevOk = false;
    int prevX = 0, prevTop = 0, prevBottom = 0;
    for (int j = 0; j < n; ++j) {
        int top, bottom;
        if (!yOf(cols[j].max, &top) || !yOf(cols[j].min, &bottom)) {
            prevOk = false;
            continue;
        }
        const int x = cols[j].x * p + p / 2;
        lines.append(QLine(x, top, x, bottom));
        if (prevOk) {
            if (top > prevBottom)
                lines.append(QLine(prevX, prevBottom, x, top));
            else if (bottom < prevTop)
                lines.append(QLine(prevX, prevTop, x, bottom));
        }
        prevOk = true;
        prevX = x;
        prevTop = top;
        prevBottom = bottom;
    }
    painter->drawLines(lines);
}

void WaveLineOsc::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    const DevBase* dev = devUsing;
    if (height <= 0 || !gen || !dev)
        return;
    const int p = Config::pixel(1);
    const double ht = height;
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setBrush(Qt::NoBrush);
    // Columns a pixel past the ends of the window are drawn up to the edge.
    painter->setClipRect(boundingRect());
    for (int c = 0; c < dev->aChnNum(); ++c) {
        if (!dev->aChnEna[c])
            continue;
        WaveLineA* cols = nullptr;
        const int n = gen->getData(c, &cols);
        const int vdiv = dev->aVoltDiv(c);
        if (n <= 0 || vdiv <= 0)
            continue;
        painter->setPen(QPen(OscColor::channel(c), p));
        const double y0 = (0.5 - dev->aChnOffset.value(c) / 1000.0) * ht;
        paintTrace(painter, cols, n, y0, 0.1 * ht / vdiv, height, p);
    }
    if (dev->aMathEna) {
        const int op = dev->aMathOperator;
        const int scale = dev->aMathScale.value(op);
        WaveLineA* cols = nullptr;
        const int n = gen->getMathData(&cols);
        if (n > 0 && scale > 0) {
            painter->setPen(QPen(Qt::white, p));
            const double y0 = (0.5 - dev->aMathOffset.value(op) / 1000.0) * ht;
            paintTrace(painter, cols, n, y0, 0.1 * ht / scale, height, p);
        }
    }
}

// ---------------------------------------------------------------- markers

OscMarker::OscMarker(int id, Qt::CursorShape hoverShape)
    : width(Config::pixel(11)), height(Config::pixel(11)), id(id), hoverShape(hoverShape)
{
    setAcceptHoverEvents(true);
    setFlags(QGraphicsItem::ItemIsSelectable);
}

QRectF OscMarker::boundingRect() const
{
    return QRectF(0, 0, width, height);
}

void OscMarker::hoverEnterEvent(QGraphicsSceneHoverEvent*)
{
    if (showsShape)
        setCursor(hoverShape);
    emit mouseEnter(id);
}

void OscMarker::hoverLeaveEvent(QGraphicsSceneHoverEvent*)
{
    if (showsShape)
        setCursor(Qt::ArrowCursor);
    emit mouseLeave(id);
}

void OscMarker::paintOutline(QPainter* p, const QPen& pen, const QColor& fill) const
{
    p->setRenderHint(QPainter::Antialiasing, false);
    p->setPen(pen);
    p->setBrush(fill);
    p->drawPolygon(outline);
}

OscChnTag::OscChnTag(int id) : OscMarker(id, Qt::SizeVerCursor), text(QString::number(id + 1))
{
    const int p = Config::pixel(1);
    color = OscColor::channel(id);
    showText = !devUsing || id < devUsing->aChnNum();
    outline << QPoint(0, 0) << QPoint(width / 2, 0) << QPoint(width - p, height / 2) << QPoint(width / 2, height - p)
            << QPoint(0, height - p);
}

void OscChnTag::paint(QPainter* p, const QStyleOptionGraphicsItem*, QWidget*)
{
    QPen pen(color);
    pen.setCosmetic(true);
    paintOutline(p, pen, color);
    if (!showText)
        return;
    const int px = Config::pixel(1);
    QFont f = Config::fontNarrow;
    f.setPixelSize(Config::pixel(10));
    p->setFont(f);
    p->setPen(QPen(Qt::black, px));
    p->setBrush(Qt::NoBrush);
    p->setRenderHint(QPainter::Antialiasing, true);
    p->drawText(QRect(QPoint(0, 0), QPoint(2 * px + width / 2 - 1, height - 2 * px - 1)), Qt::AlignCenter, text);
}

OscTriggerVolt::OscTriggerVolt(int id) : OscMarker(id, Qt::SizeVerCursor)
{
    const int h = Config::pixel(1) / 2, d = Config::pixel(5);
    color = OscColor::channel(id);
    outline << QPoint(h + 2 * d, h) << QPoint(h + 2 * d, h + 2 * d) << QPoint(h, h + d);
}

void OscTriggerVolt::paint(QPainter* p, const QStyleOptionGraphicsItem*, QWidget*)
{
    paintOutline(p, QPen(color), color);
}

OscTriggerTime::OscTriggerTime(int id, bool main) : OscMarker(id, Qt::SizeHorCursor), main(main)
{
    const int h = Config::pixel(1) / 2, d = Config::pixel(5);
    color = OscColor::triggerTime();
    // Only the trigger position can be dragged.
    showsShape = main;
    outline << QPoint(h, h) << QPoint(h + 2 * d, h) << QPoint(h + d, h + 2 * d);
}

void OscTriggerTime::paint(QPainter* p, const QStyleOptionGraphicsItem*, QWidget*)
{
    paintOutline(p, QPen(color), main ? color : QColor(Qt::black));
}

// ---------------------------------------------------------------- boxes

OscTriggerTimeInfor::OscTriggerTimeInfor(int id) : width(Config::pixel(60)), height(Config::pixel(15)), id(id)
{
    hide();
}

QRectF OscTriggerTimeInfor::boundingRect() const
{
    return QRectF(0, 0, width, height);
}

void OscTriggerTimeInfor::paint(QPainter* p, const QStyleOptionGraphicsItem*, QWidget*)
{
    paintBox(p, QRect(0, 0, width, height).adjusted(0, 0, -1, -1), OscColor::triggerTime(), text,
             height - 2 * Config::pixel(1));
}

OscChnInfor::OscChnInfor(int id) : width(Config::pixel(60)), height(Config::pixel(15)), id(id < 0 ? 0 : id)
{
    color = OscColor::channel(this->id);
    hide();
}

QRectF OscChnInfor::boundingRect() const
{
    return QRectF(0, 0, width, height);
}

void OscChnInfor::paint(QPainter* p, const QStyleOptionGraphicsItem*, QWidget*)
{
    paintBox(p, QRect(0, 0, width, height).adjusted(0, 0, -1, -1), color, text, height - 2 * Config::pixel(1));
}

OscTriggerVoltInfor::OscTriggerVoltInfor(int id)
    : id(id), height(Config::pixel(18)), boxWidth(Config::pixel(60)), color(OscColor::channel(id))
{
    hide();
}

void OscTriggerVoltInfor::setLength(int len)
{
    prepareGeometryChange();
    length = len;
}

QRectF OscTriggerVoltInfor::boundingRect() const
{
    return QRectF(0, 0, length, height);
}

void OscTriggerVoltInfor::paint(QPainter* p, const QStyleOptionGraphicsItem*, QWidget*)
{
    const int px = Config::pixel(1);
    const QRect box(QPoint(length - boxWidth - 2 * px, 0), QPoint(length - 2 * px - 1, height - 3 * px - 1));
    paintBox(p, box, color, text, height - 4 * px);
    p->setPen(QPen(color, px, Qt::DashLine));
    p->drawLine(0, height, length, height);
}

// ---------------------------------------------------------------- auto scale

OscAutoScale::OscAutoScale() : width(Config::pixel(60)), height(Config::pixel(60))
{
    hide();
}

void OscAutoScale::setSize(int w, int h)
{
    prepareGeometryChange();
    width = w;
    height = h;
}

QRectF OscAutoScale::boundingRect() const
{
    return QRectF(0, 0, width, height);
}

void OscAutoScale::paint(QPainter* p, const QStyleOptionGraphicsItem*, QWidget*)
{
    const QColor c(0, 180, 0, 50);
    p->translate(width / 2, width / 2);
    QRadialGradient g(0, 0, width / 2.0);
    g.setColorAt(0, c);
    g.setColorAt(0.5, c);
    g.setColorAt(1, c);
    p->setPen(Qt::transparent);
    p->setBrush(g);
    p->setRenderHint(QPainter::Antialiasing, true);
    p->drawEllipse(QPointF(0, 0), width / 2.0, width / 2.0);
}

// ---------------------------------------------------------------- cursors

OscCursorBody::OscCursorBody(int id, int type, QGraphicsItem* parent)
    : QGraphicsItem(parent), width(type == 1 ? Config::pixel(3) : 0), height(type == 1 ? 0 : Config::pixel(3)),
      id(id), type(type), name(QString(type == 1 ? "X" : "Y") + QString::number(id))
{
    setAcceptHoverEvents(true);
    setState(OscCursorHidden);
}

void OscCursorBody::setLen(int len)
{
    prepareGeometryChange();
    if (type == 1)
        height = len;
    else
        width = len;
}

void OscCursorBody::setState(int s)
{
    if (s == state)
        return;
    state = s;
    setVisible(s != OscCursorHidden);
    if (s == OscCursorPlaced)
        setCursor(type == 1 ? Qt::CrossCursor : Qt::ArrowCursor);
    else if (s == OscCursorHover)
        setCursor(type == 1 ? Qt::SizeHorCursor : Qt::SizeVerCursor);
    update();
}

QRectF OscCursorBody::boundingRect() const
{
    return QRectF(0, 0, width, height);
}

void OscCursorBody::paint(QPainter* p, const QStyleOptionGraphicsItem*, QWidget*)
{
    const int px = Config::pixel(1);
    p->setRenderHint(QPainter::Antialiasing, false);
    p->setPen(QPen(OscColor::cursor(state), px, Qt::SolidLine));
    if (type == 1) {
        const int x = px / 2 + width / 2;
        p->drawLine(x, 0, x, height - px);
    } else {
        const int y = px / 2 + height / 2;
        p->drawLine(0, y, width - px, y);
    }
}

OscCursorName::OscCursorName(const QString& text, QGraphicsItem* parent)
    : QGraphicsItem(parent), width(Config::pixel(15)), height(Config::pixel(11)), text(text)
{
    setState(OscCursorHidden);
}

void OscCursorName::setState(int s)
{
    if (s == state)
        return;
    state = s;
    setVisible(s != OscCursorHidden);
    update();
}

QRectF OscCursorName::boundingRect() const
{
    return QRectF(0, 0, width, height);
}

void OscCursorName::paint(QPainter* p, const QStyleOptionGraphicsItem*, QWidget*)
{
    p->setPen(OscColor::cursor(state));
    p->setFont(Config::fontNarrow);
    p->drawText(QRect(QPoint(0, 0), QPoint(width - 1, height - 1)), Qt::AlignCenter, text);
}
