#include "config/Lang.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>

#include "config/Config.h"
#include "config/XmlInput.h"

QString Lang::code;
QDomDocument Lang::doc;
QHash<QString, QString> Lang::texts;
QHash<QPair<QString, QString>, QString> Lang::anlyTexts;
QString Lang::dirOverride;

namespace {
const char* const kEnglishDoc =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><language><head><code>en-US</code><name>English</name>"
    "</head><zel/><analyzers/></language>";

// The n-th child element of the root (0-based), null when absent.
QDomElement rootChild(const QDomDocument& d, int n)
{
    QDomElement e = d.documentElement().firstChildElement();
    for (int i = 0; i < n && !e.isNull(); ++i)
        e = e.nextSiblingElement();
    return e;
}

} // namespace

QString Lang::languageDir()
{
    if (!dirOverride.isEmpty())
        return dirOverride + "/";
    return QCoreApplication::applicationDirPath() + "/Language/";
}

void Lang::setLanguageDir(const QString& dir)
{
    dirOverride = dir;
}

void Lang::init()
{
    code = Config::readGlobalParam("userLang");
    if (code.isEmpty()) {
        const QLocale loc = QLocale::system();
        if (loc.language() == QLocale::Chinese)
            code = loc.country() == QLocale::Taiwan ? "zh-TW" : "zh-CN";
        else
            code = "en-US";
        Config::saveGlobalParam("userLang", code);
    }
    QDomDocument d;
    if (code != "en-US" && XmlInput::parseFile(languageDir() + code + ".xml", d))
        setDocument(d);
    else
        setDocument(QDomDocument());
}

void Lang::setDocument(const QDomDocument& d)
{
    if (d.isNull()) {
        doc = QDomDocument();
        doc.setContent(QString::fromLatin1(kEnglishDoc));
    } else {
        doc = d;
    }
    texts.clear();
    anlyTexts.clear();
    for (QDomElement e = rootChild(doc, 1).firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        const QString key = e.attribute("src").toLower();
        if (!texts.contains(key))
            texts.insert(key, e.text());
    }
    for (QDomElement e = rootChild(doc, 2).firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        const QPair<QString, QString> key(e.attribute("class"), e.attribute("src").toLower());
        if (!anlyTexts.contains(key))
            anlyTexts.insert(key, e.text());
    }
}

QString Lang::tr(const QString& text)
{
    const auto it = texts.constFind(text.toLower());
    if (it == texts.constEnd() || it->isEmpty())
        return text;
    return *it;
}

QString Lang::tr(const QString& text, const QString& cls)
{
    int n = 0;
    while (n < text.size() && ((text[n] >= QLatin1Char('0') && text[n] <= QLatin1Char('9')) || text[n] == '.' || text[n] == ' '))
        ++n;
    const auto it = anlyTexts.constFind(qMakePair(cls, text.mid(n).toLower()));
    if (it == anlyTexts.constEnd() || it->isEmpty())
        return text;
    return text.left(n) + *it;
}

QString Lang::getLangHead(const QDomDocument& d, const QString& field)
{
    QDomElement head = d.documentElement().firstChildElement();
    for (QDomElement e = head.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        if (e.tagName() == field)
            return e.text();
    return QString();
}

QList<LangFileHead> Lang::getLangFileList()
{
    QList<LangFileHead> list;
    list.append({"en-US", "English", "You need to restart to make the language settings take effect!"});
    QDir dir(languageDir());
    const QStringList files = dir.entryList(QStringList() << "*.xml", QDir::Files, QDir::Unsorted);
    for (const QString& name : files) {
        QDomDocument d;
        if (!XmlInput::parseFile(dir.filePath(name), d))
            continue;
        const QString c = getLangHead(d, "code");
        if (name != c + ".xml")
            continue;
        LangFileHead h{c, getLangHead(d, "name"), getLangHead(d, "info")};
        const QString provider = getLangHead(d, "provider");
        if (!provider.isEmpty())
            h.info += "\r\n" + provider;
        insertLangHead(list, h);
    }
    return list;
}

void Lang::insertLangHead(QList<LangFileHead>& list, const LangFileHead& head)
{
    int pos = list.size();
    if (head.code == "zh-CN")
        pos = 1;
    else if (head.code == "zh-TW")
        pos = 2;
    list.insert(qMin(pos, list.size()), head);
}
