// Bounds of the values of a settings document read from outside: the
// configuration file and the headers of settings and capture files. One
// absurd value (a channel name of 30 MB) would otherwise be kept, merged and
// written back for ever, and every later start would pay for it.

#include "config/Config.h"

#include <QDomElement>
#include <QTextBoundaryFinder>

#include <algorithm>

#include "config/ConfigDom.h"

using ConfigDom::findChild;

namespace {

const int kMaxChannels = 32;
const int kMaxAnalyzers = 64;
const int kNameChars = Config::NameChars;
const int kNumberChars = 32;      // one number of a list
const int kValueChars = 4096;     // any other value (a path at most)

struct Bound {
    const char* key;   // the key, or a key prefix when it ends in '*'
    char separator;    // list items are separated by it; 0: a single value
    int items;         // a list keeps this many items
    int chars;         // longest value, or longest list item
    bool cut;          // a longer value is cut (names), else dropped
};

const Bound kBounds[] = {
    {"chnShowName*", 0, 1, kNameChars, true},
    {"analyzerAlias", ';', kMaxAnalyzers, kNameChars, true},
    {"recentAnalyzers", ',', 10, kNameChars, true},
    {"chnShowIndex", ',', kMaxChannels, kNumberChars, false},
    {"chnShowMultip", ',', kMaxChannels, kNumberChars, false},
    {"glitchFilterSettings", ',', 2 * kMaxChannels, kNumberChars, false},
    {"lgcMeasure", ',', 4, kNumberChars, false},
    {"windowPosition", ',', 4, kNumberChars, false},
    // device keys
    {"chnTrig", ',', kMaxChannels, kNumberChars, false},
    {"chnEnable", ',', kMaxChannels, kNumberChars, false},
    {"AChnEnable", ',', kMaxChannels, kNumberChars, false},
    {"chnLevel*", 0, 1, kNameChars, true},
    // fields of an analyzer item
    {"fileName", 0, 1, kNameChars, true},
    {"format", 0, 1, kNameChars, true},
    {"parameters", 0, 1, 65536, false},
};
const Bound kOther = {"", 0, 1, kValueChars, false};

const Bound& boundOf(const QString& key)
{
    for (const Bound& b : kBounds) {
        const QLatin1String k(b.key);
        if (k.endsWith('*') ? key.startsWith(k.left(k.size() - 1)) : key == k)
            return b;
    }
    return kOther;
}

// The value within its key's bound; empty (the key's default) when it
// cannot be kept.
QString boundValue(const QString& key, const QString& value)
{
    const Bound& b = boundOf(key);
    if (!b.separator)
        return value.size() <= b.chars ? value : b.cut ? Config::cutName(value, b.chars) : QString();
    // A list's length is known; items past it are never read.
    QStringList items = value.split(QLatin1Char(b.separator));
    if (items.size() > b.items)
        items.erase(items.begin() + b.items, items.end());
    for (QString& item : items) {
        if (item.size() <= b.chars)
            continue;
        if (!b.cut)
            return QString();
        item = Config::cutName(item, b.chars);
    }
    return items.join(QLatin1Char(b.separator));
}

void boundElement(QDomElement e)
{
    const QString text = e.text();
    const QString bounded = boundValue(e.tagName(), text);
    if (bounded == text)
        return;
    while (!e.firstChild().isNull())
        e.removeChild(e.firstChild());
    e.appendChild(e.ownerDocument().createTextNode(bounded));
}

void boundChildren(const QDomElement& parent)
{
    for (QDomElement e = parent.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        boundElement(e);
}

} // namespace

void Config::boundDocument(QDomDocument& doc)
{
    const QDomElement root = doc.documentElement();
    boundChildren(findChild(root, "global"));
    for (QDomElement model = findChild(root, "devices").firstChildElement(); !model.isNull();
         model = model.nextSiblingElement())
        boundChildren(model);
    QDomElement analyzers = findChild(root, "analyzers");
    int n = 0;
    for (QDomElement item = analyzers.firstChildElement(); !item.isNull();) {
        const QDomElement next = item.nextSiblingElement();
        if (++n > kMaxAnalyzers)
            analyzers.removeChild(item);
        else
            boundChildren(item);
        item = next;
    }
}

QString Config::cutName(const QString& text, int n)
{
    if (text.size() <= n)
        return text;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    graphemes.setPosition(std::max(0, n));
    if (!graphemes.isAtBoundary())
        graphemes.toPreviousBoundary();
    return text.left(std::max(0, graphemes.position()));
}
