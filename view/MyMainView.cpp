#include "view/MyMainView.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextOption>
#include <QWheelEvent>

#include <algorithm>

#include "config/Config.h"
#include "config/Lang.h"
#include "view/ViewLayout.h"
#include "widgets/MyScrollbar.h"

// ---------------------------------------------------------------- WaveView

WaveView::WaveView(QWidget* parent) : QGraphicsView(parent)
{
    setAttribute(Qt::WA_StyledBackground);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    setAcceptDrops(false);
    setDragMode(QGraphicsView::NoDrag);

    vBar = new MyScrollbar(this);
    connect(vBar, &MyScrollbar::valueChanged, this, &WaveView::slotValueChanged);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &WaveView::slotValueChangedErr);
}

void WaveView::setVScrollValue(int v)
{
    vBar->setValue(v);
    verticalScrollBar()->setValue(v);
}

void WaveView::setVScrollRang(int min, int max, int pageStep)
{
    if (max < 1)
        setVScrollValue(0);
    vBar->setRange(min, max);
    vBar->setPageStep(pageStep);
    verticalScrollBar()->setRange(min, max);
    verticalScrollBar()->setPageStep(pageStep);
}

void WaveView::slotValueChanged(long long value)
{
    verticalScrollBar()->setValue(int(value));
    emit vScrollValueChanged(value);
}

void WaveView::slotValueChangedErr(int v)
{
    // Only the overlay bar scrolls the rows.
    if (vBar->value() != v)
        verticalScrollBar()->setValue(int(vBar->value()));
}

void WaveView::wheelEvent(QWheelEvent* e)
{
    // The modifiers held now, not those stored in the event; Control with
    // any other modifier counts as no Control.
    const bool keyCtrl = QApplication::keyboardModifiers() == Qt::ControlModifier;
    const QPointF pos = e->position();
    emit wheelChanged(keyCtrl, e->angleDelta().y(), ViewLayout::roundPoint(pos.x(), pos.y()));
    e->accept();   // the wheel never scrolls the view itself
}

void WaveView::mousePressEvent(QMouseEvent* e)
{
    emit mousePressed(e);
    QGraphicsView::mousePressEvent(e);
}

void WaveView::mouseReleaseEvent(QMouseEvent* e)
{
    emit mouseReleased(e);
    QGraphicsView::mouseReleaseEvent(e);
}

void WaveView::mouseMoveEvent(QMouseEvent* e)
{
    emit mouseMoved(e);
    QGraphicsView::mouseMoveEvent(e);
}

void WaveView::leaveEvent(QEvent* e)
{
    emit mouseLeave();
    QGraphicsView::leaveEvent(e);
}

void WaveView::resizeEvent(QResizeEvent* e)
{
    // The base handler keeps the view's own scroll range in step with the
    // new viewport height; the overlay bar is placed on top of it.
    QGraphicsView::resizeEvent(e);
    const int w = Config::pixel(10);
    vBar->setGeometry(width() - w, 0, w, height());
}

// ---------------------------------------------------------------- NextEdge

NextEdge::NextEdge(QGraphicsObject* parent) : QGraphicsObject(parent)
{
    setFlags(QGraphicsItem::GraphicsItemFlags());
    hide();
}

void NextEdge::setParameters(int c, bool prev, int w, int h)
{
    prepareGeometryChange();
    chn = c;
    toPrevious = prev;
    width = w;
    height = h;
    setToolTip(prev ? Lang::tr("Move previous edge to center") : Lang::tr("Move next edge to center"));
}

QRectF NextEdge::boundingRect() const
{
    return QRectF(0, 0, width, height);
}

void NextEdge::paint(QPainter* p, const QStyleOptionGraphicsItem*, QWidget*)
{
    p->setRenderHint(QPainter::Antialiasing, true);
    p->setPen(QPen(QColor(0, 0, 0, 0), Config::pixel(1)));
    p->setBrush(QColor(255, 255, 255, 150));
    p->drawRect(0, 0, width, height);
    p->setPen(QPen(Config::grayColor.value(8), Config::pixel(1)));
    const int cy = height / 2;
    for (int i = 0; i < 5; ++i) {
        const int x = toPrevious ? width / 2 - Config::pixel(2) + Config::pixel(i)
                                 : width / 2 + Config::pixel(2) - Config::pixel(i);
        p->drawPoint(x, cy - Config::pixel(i));
        p->drawPoint(x, cy + Config::pixel(i + 1));
    }
}

// ---------------------------------------------------------------- progress ring

SamplingProgressBar::SamplingProgressBar()
{
    hide();
}

void SamplingProgressBar::setSize(int w, int h)
{
    prepareGeometryChange();
    width = w;
    height = h;
}

void SamplingProgressBar::setValue(DevSmpSta sta, int value)
{
    prepareGeometryChange();
    const int v = std::max(0, std::min(100, value));
    switch (sta) {
    case SmpStaStart:
        phasePercent = 0;
        readPercent = 0;
        show();
        break;
    case SmpStaPre:
        phasePercent = v;
        readPercent = 0;
        text = Lang::tr("Pre-sampling") + "...";
        break;
    case SmpStaWaitTrg:
        phasePercent = v;
        readPercent = 0;
        text = Lang::tr("Waiting for trigger") + "...";
        break;
    case SmpStaSampling:
        phasePercent = v;
        readPercent = 0;
        text = Lang::tr("Sampling") + "...";
        break;
    case SmpStaReading:
        phasePercent = 100;
        readPercent = v;
        text = Lang::tr("Data reading") + "...";
        break;
    default:
        phasePercent = 0;
        readPercent = 0;
        hide();
        break;
    }
    update();
}

QRectF SamplingProgressBar::boundingRect() const
{
    return QRectF(0, 0, width, height);
}

void SamplingProgressBar::paint(QPainter* p, const QStyleOptionGraphicsItem*, QWidget*)
{
    if (height == 0)
        return;
    p->setRenderHint(QPainter::Antialiasing, true);
    const int w = width;
    const int h = height;
    const int r = Config::pixel(2);
    p->setPen(QPen(QColor(160, 180, 160, 255), r));
    p->setBrush(QColor(100, 100, 100, 100));
    const int m = r / 2 + 1;
    p->drawEllipse(m, m, w - 2 * m, h - 2 * m);

    p->setBrush(Qt::NoBrush);
    int o = r + 1;
    const int g = Config::pixel(6);
    p->setPen(QPen(QColor(0, 207, 0), g));
    int i = o + g / 2;
    p->drawArc(i, i, w - 2 * i, h - 2 * i, 1440, int(phasePercent * -57.6));
    o += g;

    const int b = Config::pixel(4);
    if (readPercent > 0) {
        p->setPen(QPen(QColor(0, 192, 207), b));
        i = o + b / 2;
        p->drawArc(i, i, w - 2 * i, h - 2 * i, 1440, int(readPercent * -57.6));
    }

    QFont f = Config::fontNormal;
    f.setPixelSize(Config::pixel(22));
    p->setFont(f);
    p->setPen(QColor(160, 180, 160));
    QTextOption opt(Qt::AlignHCenter | Qt::AlignVCenter);
    opt.setWrapMode(QTextOption::WordWrap);
    const int t = o + b;
    p->drawText(QRectF(t, t, w - 2 * t, h - 2 * t), text, opt);
}

// ---------------------------------------------------------------- marker line

CursorBody::CursorBody(int markerId) : width(Config::pixel(1)), id(markerId)
{
    name = QString(QChar('A' + markerId / 2)) + QString::number(markerId % 2 + 1);
    setZValue(1);
    hide();
}

void CursorBody::setLength(int h)
{
    prepareGeometryChange();
    height = h;
}

QRectF CursorBody::boundingRect() const
{
    return QRectF(0, 0, width, height);
}

void CursorBody::paint(QPainter* p, const QStyleOptionGraphicsItem*, QWidget*)
{
    const QVector<QColor>& colors = Config::timingColor;
    const QColor c = colors.isEmpty() ? QColor(Qt::white) : colors[(id / 2) % colors.size()];
    QPen pen(c, Config::pixel(1), Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    p->setRenderHint(QPainter::Antialiasing, false);
    p->setPen(pen);
    p->drawLine(width / 2, 0, width / 2, height);
}

// ---------------------------------------------------------------- period arrow

PeriodArrow::PeriodArrow()
{
    hide();
}

void PeriodArrow::setEdgeWidth(const double e[4], int w, int h)
{
    prepareGeometryChange();
    for (int i = 0; i < 4; ++i)
        edges[i] = e[i];
    width = w;
    height = h;
    update();
}

QRectF PeriodArrow::boundingRect() const
{
    return QRectF(0, 0, width, height);
}

void PeriodArrow::paint(QPainter* p, const QStyleOptionGraphicsItem*, QWidget*)
{
    if (edges[1] - edges[0] < 4 && edges[3] - edges[2] < 4)
        return;
    const int px = Config::pixel(1);
    p->setRenderHint(QPainter::Antialiasing, false);
    p->setPen(QPen(Config::grayColor.value(2), px, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    int x[4];
    for (int i = 0; i < 4; ++i)
        x[i] = int(edges[i] * px + px / 2);
    const int y = (Config::pixel(4) + height) / 2 + px / 2;
    // k point pairs one pixel apart, diagonally above and below the line,
    // running from x in direction dir.
    auto head = [&](int from, int dir, int k) {
        for (int j = 1; j <= k; ++j) {
            p->drawPoint(from + dir * j * px, y - j * px);
            p->drawPoint(from + dir * j * px, y + j * px);
        }
    };

    // The pulse: heads at both ends once there is room for them.
    const int n = int((edges[1] - edges[0] - 1) * 0.5 - 1);
    if (n >= 2) {
        p->drawLine(x[0] + 2 * px, y, x[1] - 2 * px, y);
        p->drawPoint(x[0], y);
        p->drawPoint(x[1], y);
    } else {
        p->drawLine(x[0], y, x[1], y);
    }
    const int k = std::min(n, 3);
    if (n >= 1) {
        head(x[0], 1, k);
        head(x[1], -1, k);
    }

    // The following pulse: a head at its right end only.
    if (edges[3] <= 0)
        return;
    const int m = int(edges[3] - edges[2] - 1);
    const int need = n >= 1 ? k : 2;
    if (m >= need) {
        p->drawLine(x[2], y, x[3] - 2 * px, y);
        p->drawPoint(x[3], y);
        head(x[3], -1, n >= 1 ? k : std::min(m, 3));
    } else if (m >= 1) {
        p->drawLine(x[2], y, x[3], y);
    }
}
