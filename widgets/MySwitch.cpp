#include "widgets/MySwitch.h"

#include <QPainter>
#include <QPainterPath>

#include "config/Config.h"

QRectF SwitchGeom::knobRect(const QRect& area, bool on, int pad)
{
    const int h = area.height();
    const int d = qMax(0, h - 2 * pad);
    const int x = on ? area.right() - h + pad : area.left() + pad;
    return QRectF(x, area.top() + pad, d, d);
}

MySwitch::MySwitch(QWidget* parent) : QPushButton(parent)
{
    setAttribute(Qt::WA_LayoutUsesWidgetRect);
}

void MySwitch::paintEvent(QPaintEvent*)
{
    const QRect area = contentsRect();
    if (area.width() <= 0 || area.height() <= 0)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);

    const QColor track = on ? QColor(0, 180, 0, 255)
                            : Config::grayColor.value(5, QColor(0x57, 0x5b, 0x5f));
    QPen pen(track);
    pen.setCosmetic(true);
    pen.setCapStyle(Qt::SquareCap);
    pen.setJoinStyle(Qt::BevelJoin);
    p.setPen(pen);
    p.setBrush(track);
    const int radius = area.height() / 2;
    p.drawRoundedRect(area, radius, radius);

    const QColor knob = Config::grayColor.value(0, QColor(0xf7, 0xf7, 0xf7));
    p.setPen(knob);
    p.setBrush(knob);
    p.drawEllipse(SwitchGeom::knobRect(area, on, Config::pixel(2)));
}
