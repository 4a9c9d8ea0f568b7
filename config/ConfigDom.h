#ifndef CONFIGDOM_H
#define CONFIGDOM_H
// Element helpers of the settings document, shared by the store's files.

#include <QDomDocument>
#include <QDomElement>
#include <QString>

namespace ConfigDom {

// First child with exactly this tag, or a null element.
inline QDomElement findChild(const QDomElement& parent, const QString& tag)
{
    for (QDomElement e = parent.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        if (e.tagName() == tag)
            return e;
    return QDomElement();
}

// First child with exactly this tag; created at the end of the parent when absent.
inline QDomElement childElement(QDomElement parent, const QString& tag)
{
    QDomElement e = findChild(parent, tag);
    if (e.isNull()) {
        e = parent.ownerDocument().createElement(tag);
        parent.appendChild(e);
    }
    return e;
}

// Replaces the element's text, keeping a leading text node when there is one.
inline void setElementText(QDomElement e, const QString& value)
{
    QDomNode first = e.firstChild();
    if (!first.isNull() && first.isText()) {
        first.toText().setData(value);
        return;
    }
    while (!e.firstChild().isNull())
        e.removeChild(e.firstChild());
    e.appendChild(e.ownerDocument().createTextNode(value));
}

} // namespace ConfigDom

#endif
