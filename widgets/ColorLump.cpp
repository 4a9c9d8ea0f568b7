#include "widgets/ColorLump.h"

ColorLump::ColorLump(int n, QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_StyledBackground);
    setObjectName(QStringLiteral("ColorLump") + QString::number(n));
}
