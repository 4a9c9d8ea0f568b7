#include "config/XmlInput.h"

#include <QFile>
#include <QXmlStreamReader>

namespace XmlInput {

bool withinBounds(const QByteArray& bytes)
{
    if (bytes.size() > MaxBytes)
        return false;
    QXmlStreamReader r(bytes);
    r.setNamespaceProcessing(false);
    int depth = 0;
    int elements = 0;
    while (!r.atEnd()) {
        switch (r.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth > MaxDepth || ++elements > MaxElements)
                return false;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    return !r.hasError();
}

bool parse(const QByteArray& bytes, QDomDocument& doc)
{
    if (!withinBounds(bytes))
        return false;
    QDomDocument d;
    if (!d.setContent(bytes, false))
        return false;
    doc = d;
    return true;
}

bool parseFile(const QString& path, QDomDocument& doc)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    if (!f.isSequential() && f.size() > MaxBytes)
        return false;
    // A pipe or device has no size: one byte more than allowed tells.
    return parse(f.isSequential() ? f.read(qint64(MaxBytes) + 1) : f.readAll(), doc);
}

} // namespace XmlInput
