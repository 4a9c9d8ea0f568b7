#include "widgets/MyDial.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadialGradient>
#include <QtMath>
#include <cmath>

#include "config/Config.h"

namespace DialMath {

int stepAngle(int n)
{
    // One entry has no neighbour to space from: it sits alone at the top.
    return n > 1 ? 250 / (n - 1) : 0;
}

double startAngle(int n, int step)
{
    const int span = n > 1 ? (n - 1) * step : 0;
    return (360 - span) / 2.0 - 90;
}

QVector<double> boundaries(int n, double start, int step)
{
    QVector<double> b;
    b.reserve(qMax(0, n));
    for (int i = 0; i < n; ++i)
        b.append(start + (i + 0.5) * step);
    return b;
}

double pointerAngle(double dx, double dy, double currentAngle)
{
    if (dx != 0) {
        // atan gives (-90, 90): the left half as it stands; the right half,
        // seen from the left-pointing zero, lies half a turn further.
        double a = std::atan(dy / dx) * degPerRad;
        if (dx > 0)
            a += 180;
        return a;
    }
    const double s = dy < 0 ? -1.0 : 1.0;
    if (currentAngle < 90)
        return -std::asin(s) * degPerRad;
    return std::asin(s) * degPerRad + 180;
}

int indexForAngle(const QVector<double>& b, double angle)
{
    for (int i = 0; i < b.size(); ++i) {
        if (b[i] > angle)
            return i;
    }
    return b.size() - 1;
}

QPointF pointAt(const QPointF& centre, double angle, double radius)
{
    const double rad = qDegreesToRadians(angle);
    return centre + QPointF(-std::cos(rad) * radius, -std::sin(rad) * radius);
}

static bool nonZeroInt(const QString& s)
{
    return s.toInt() != 0;
}

QString unitOf(const QString& text)
{
    if (nonZeroInt(text.left(text.size() - 1)))
        return text.right(1);
    return text.right(2);
}

QString numberOf(const QString& text)
{
    const QString one = text.left(text.size() - 1);
    if (nonZeroInt(one))
        return one;
    return text.left(qMax(0, text.size() - 2));
}

void buildLabels(const QStringList& texts, double start, int step,
                 QStringList& units, QVector<double>& pairs)
{
    units.clear();
    pairs.clear();
    QString cur = QStringLiteral("**");
    for (const QString& t : texts) {
        if (!t.endsWith(cur)) {
            cur = unitOf(t);
            units.append(cur);
            const double a = pairs.isEmpty() ? start : pairs.last() + step;
            pairs.append(a);
            pairs.append(a);
        } else {
            pairs.last() += step;
        }
    }
    if (step > 10) {
        const double shift = (step - 10) / 2.0;
        for (int i = 1; i + 1 < pairs.size(); ++i)
            pairs[i] += (i % 2) ? shift : -shift;
    }
}

}

MyDial::MyDial(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("MyDial"));
    setAttribute(Qt::WA_StyledBackground);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);

    const QFontMetrics fm(font());
    m_w500 = fm.horizontalAdvance(QStringLiteral("500"));
    m_ascent = fm.ascent();
    m_p16 = Config::pixel(16);
    m_p5 = Config::pixel(5);
    m_p3 = Config::pixel(3);

    m_btnRow = new QWidget(this);
    m_btnDown = new QPushButton(QStringLiteral("-"), m_btnRow);
    m_btnDown->setObjectName(QStringLiteral("0"));
    m_btnUp = new QPushButton(QStringLiteral("+"), m_btnRow);
    m_btnUp->setObjectName(QStringLiteral("1"));
    const int bw = int(1.5 * m_p16);
    const int bh = m_p16 + 4 * Config::pixel(1);
    m_btnDown->setFixedSize(bw, bh);
    m_btnUp->setFixedSize(bw, bh);
    m_info = new QLabel(m_btnRow);
    m_info->setObjectName(QStringLiteral("InforLabel"));
    m_info->setAlignment(Qt::AlignCenter);

    auto* row = new QHBoxLayout(m_btnRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(m_btnDown);
    row->addWidget(m_info);
    row->addWidget(m_btnUp);
    m_btnRow->resize(m_btnRow->sizeHint());

    connect(m_btnDown, &QPushButton::clicked, this, &MyDial::slotBtnClicked);
    connect(m_btnUp, &QPushButton::clicked, this, &MyDial::slotBtnClicked);
    placeButtonRow();
}

void MyDial::setTextList(const QStringList& list)
{
    if (list.isEmpty())
        return;
    m_texts = list;
    const int n = m_texts.size();
    m_index = qBound(0, m_index, n - 1);
    m_info->setText(m_texts[m_index]);
    m_stepAngle = DialMath::stepAngle(n);
    m_startAngle = DialMath::startAngle(n, m_stepAngle);
    m_boundaries = DialMath::boundaries(n, m_startAngle, m_stepAngle);
    DialMath::buildLabels(m_texts, m_startAngle, m_stepAngle, m_units, m_pairs);
    update();
}

void MyDial::setCurrentIndex(int i)
{
    if (m_texts.isEmpty())
        return;
    m_index = qBound(0, i, m_texts.size() - 1);
    m_info->setText(m_texts[m_index]);
    update();
}

void MyDial::pick(int index)
{
    if (index < 0 || index >= m_texts.size() || index == m_index)
        return;
    m_index = index;
    m_info->setText(m_texts[m_index]);
    emit btnClicked(m_index);
    update();
}

void MyDial::slotBtnClicked()
{
    const QObject* b = sender();
    if (b == nullptr)
        return;
    const int step = b->objectName().toInt() == 0 ? -1 : 1;
    pick(m_index + step);
}

void MyDial::mouseMoveEvent(QMouseEvent* e)
{
    if (e->buttons() == Qt::NoButton || m_texts.isEmpty())
        return;
    const QPointF d = e->localPos() - dialGeometry().centre;
    const double a = DialMath::pointerAngle(d.x(), d.y(), entryAngle(m_index));
    pick(DialMath::indexForAngle(m_boundaries, a));
}

MyDial::Geometry MyDial::dialGeometry() const
{
    const int w = width();
    Geometry g;
    g.outerR = int(std::trunc(w / 2.0 - Config::pixel(18)));
    g.dialR = g.outerR - (m_p5 + m_w500 + 2 * m_p3) - 2 * Config::pixel(1);
    g.centre = QPointF(std::trunc(Config::pixel(6) + w / 2.0), g.outerR + m_p5);
    return g;
}

QPointF MyDial::dialCentre() const
{
    return dialGeometry().centre;
}

void MyDial::placeButtonRow()
{
    const Geometry g = dialGeometry();
    m_btnRow->setGeometry(Config::pixel(37), int(g.centre.y()) + g.dialR + Config::pixel(4),
                          qMax(0, width() - Config::pixel(59)), m_btnRow->height());
}

void MyDial::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    placeButtonRow();
}

void MyDial::paintEvent(QPaintEvent*)
{
    if (m_texts.isEmpty())
        return;
    const Geometry g = dialGeometry();
    if (g.dialR <= 0)
        return;   // too narrow to draw a dial
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int p1 = Config::pixel(1);
    const QPointF c = g.centre;
    const double r = g.dialR;

    // Face.
    p.setPen(QPen(isEnabled() ? QColor(Qt::white) : QColor(Qt::gray), 3 * p1));
    p.setBrush(QColor(0xaf, 0xaf, 0xaf));
    p.drawEllipse(c, r, r);

    // Knob on the pointer direction, with a red index line outwards.
    const double angle = entryAngle(m_index);
    const double k = std::trunc(0.35 * r);
    const QPointF kc = DialMath::pointAt(c, angle, r - k - Config::pixel(4));
    QRadialGradient grad(kc, k);
    grad.setColorAt(0.0, Qt::white);
    grad.setColorAt(0.4, Qt::lightGray);
    grad.setColorAt(0.6, Qt::gray);
    grad.setColorAt(1.0, Qt::darkGray);
    p.setPen(QPen(Qt::lightGray, p1));
    p.setBrush(grad);
    p.drawEllipse(kc, k, k);
    p.setPen(QPen(Qt::red, p1));
    p.drawLine(kc, DialMath::pointAt(kc, angle, qMax(0.0, k - p1)));

    // Unit arcs with their labels outside. Qt counts angles anticlockwise
    // from the right-pointing horizontal: that is 180 minus ours.
    const QColor textColor = isEnabled() ? Config::grayColor.value(0, QColor(0xf7, 0xf7, 0xf7))
                                         : QColor(Qt::gray);
    p.setPen(QPen(textColor, p1));
    p.setBrush(Qt::NoBrush);
    const QFontMetrics fm(font());
    const QRectF outer(c.x() - g.outerR, c.y() - g.outerR, 2.0 * g.outerR, 2.0 * g.outerR);
    for (int i = 0; i < m_units.size() && 2 * i + 1 < m_pairs.size(); ++i) {
        const double s = m_pairs[2 * i];
        const double e = m_pairs[2 * i + 1];
        p.drawArc(outer, qRound((180 - s) * 16), -qRound((e - s) * 16));
        const double mid = (s + e) / 2;
        const double tw = fm.horizontalAdvance(m_units[i]);
        const QPointF at = DialMath::pointAt(c, mid, g.outerR + m_p3);
        const double rad = qDegreesToRadians(mid);
        // Push the text outwards by half its extent so it clears the arc.
        const QPointF tc = at + QPointF(-std::cos(rad) * tw / 2, -std::sin(rad) * m_ascent / 2);
        // Keep the unit inside the widget where the arc runs close to its edge.
        const double x = qBound(0.0, tc.x() - tw / 2, qMax(0.0, width() - tw));
        p.drawText(QPointF(x, qMax<double>(m_ascent, tc.y() + m_ascent / 2.0)), m_units[i]);
    }

    // Ticks, the major ones numbered.
    const int n = m_texts.size();
    for (int i = 0; i < n; ++i) {
        const double a = entryAngle(i);
        const bool major = (i % 3 == 0) || i == n - 1 || n < 13;
        const double len = major ? m_p5 : m_p5 / 2.0;
        const QPointF t0 = DialMath::pointAt(c, a, r + m_p3);
        p.drawLine(t0, DialMath::pointAt(c, a, r + m_p3 + len));
        if (!major)
            continue;
        const QString num = DialMath::numberOf(m_texts[i]);
        const double tw = fm.horizontalAdvance(num);
        const double rad = qDegreesToRadians(a);
        const QPointF at = DialMath::pointAt(c, a, r + m_p3 + len + p1);
        const QPointF tc = at + QPointF(-std::cos(rad) * tw / 2, -std::sin(rad) * m_ascent / 2);
        p.drawText(QPointF(tc.x() - tw / 2, tc.y() + m_ascent / 2.0), num);
    }
}
