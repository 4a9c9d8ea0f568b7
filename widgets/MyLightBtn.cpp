#include "widgets/MyLightBtn.h"

#include <QGraphicsDropShadowEffect>
#include <QPainter>
#include <QRadialGradient>

#include "config/Config.h"

MyLightBtn::MyLightBtn(QWidget* parent)
    : QPushButton(parent),
      borderWidth(Config::pixel(1)),
      textColor(Config::grayColor.value(0, QColor(0xf7, 0xf7, 0xf7)))
{
}

void MyLightBtn::setBorderRadius(int r)
{
    setBorderRadius(r, r, r, r);
}

void MyLightBtn::setBorderRadius(int topLeft, int topRight, int bottomRight, int bottomLeft)
{
    radius[0] = topLeft;
    radius[1] = topRight;
    radius[2] = bottomRight;
    radius[3] = bottomLeft;
    update();
}

void MyLightBtn::setSelected(bool sel)
{
    selected = sel;
    auto* shadow = new QGraphicsDropShadowEffect(this);
    shadow->setOffset(0, 0);
    shadow->setBlurRadius(30);
    shadow->setColor(sel ? selectedColor : QColor(Qt::transparent));
    setGraphicsEffect(shadow);   // deletes the previous effect
    update();
}

void MyLightBtn::enterEvent(QEvent* e)
{
    hover = true;
    update();
    QPushButton::enterEvent(e);
}

void MyLightBtn::leaveEvent(QEvent* e)
{
    hover = false;
    update();
    QPushButton::leaveEvent(e);
}

void MyLightBtn::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int w = width();
    const int h = height();

    const QRectF frame = QRectF(rect()).adjusted(borderWidth + inset, borderWidth + inset,
                                                 -borderWidth - inset, -borderWidth - inset);
    p.setPen(borderWidth > 0 ? QPen(borderColor, borderWidth) : QPen(Qt::NoPen));
    p.setBrush(backgroundColor);
    const int r = Config::pixel(4);
    p.drawRoundedRect(frame, r, r);

    if (hover) {
        const double glow = w / 2.0 - borderWidth;
        if (glow > 0) {
            const QPointF c(w / 2.0, h / 2.0);
            QRadialGradient g(c, glow);
            g.setColorAt(0, hoverColor);
            g.setColorAt(1, Qt::transparent);
            p.setPen(Qt::NoPen);
            p.setBrush(g);
            p.drawEllipse(c, glow, glow);
        }
    }

    const QIcon& ic = (!secondIcon.isNull() && (selected || useSecondIcon)) ? secondIcon : icon();
    if (!ic.isNull()) {
        const QSize s = iconSize();
        const QRect target((w - s.width()) / 2, (h - s.height()) / 2, s.width(), s.height());
        ic.paint(&p, target);
    }

    if (!text().isEmpty()) {
        const QFontMetrics fm(font());
        const int tw = fm.horizontalAdvance(text());
        const int base = h / 2 + (h > Config::pixel(20) ? Config::pixel(7) : Config::pixel(5));
        p.setPen(isEnabled() ? textColor : Config::grayColor.value(2, QColor(0xaf, 0xaf, 0xaf)));
        p.drawText((w - tw) / 2, base, text());
    }
}
