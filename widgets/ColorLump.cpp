#include "widgets/ColorLump.h"

#include "config/Config.h"

ColorLump::ColorLump(int n, QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_StyledBackground);
    setObjectName(QStringLiteral("ColorLump") + QString::number(n));
}

ColorLump* ColorLump::separator(QWidget* parent, int n)
{
    ColorLump* s = new ColorLump(n, parent);
    s->setFixedHeight(Config::pixel(1));
    s->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return s;
}
