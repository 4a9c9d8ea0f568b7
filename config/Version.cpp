#include "config/Version.h"

#include <QStringList>

void Version::parse(const QString& text)
{
    const QStringList parts = text.split('.', Qt::KeepEmptyParts);
    for (int i = 0; i < 4; ++i)
        part[i] = i < parts.size() ? parts[i].toInt() : 0;   // not a number reads 0
}

QString Version::ToString() const
{
    return QString("%1.%2.%3").arg(part[0]).arg(part[1]).arg(part[2]);
}

int Version::compare(const Version& o) const
{
    for (int i = 0; i < 3; ++i)
        if (part[i] != o.part[i])
            return part[i] < o.part[i] ? -1 : 1;
    return 0;
}
