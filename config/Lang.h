#ifndef LANG_H
#define LANG_H
// Translation of the program's English texts through one XML language file
// chosen at start-up ("Language/<code>.xml" beside the program).

#include <QDomDocument>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

struct LangFileHead {
    QString code;
    QString name;
    QString info;
};

class Lang
{
public:
    Lang() = delete;

    static QString code;
    static QDomDocument doc;

    static void init();
    // Loads a language document (the built-in English one when doc is null)
    // and builds the lookup tables; used by init() and by tests.
    static void setDocument(const QDomDocument& d);
    // The directory of the language files: "Language/" beside the program,
    // unless a test points it elsewhere.
    static QString languageDir();
    static void setLanguageDir(const QString& dir);

    static QString tr(const QString& text);
    static QString tr(const QString& text, const QString& cls);

    static QList<LangFileHead> getLangFileList();
    static QString getLangHead(const QDomDocument& d, const QString& field);
    // Places an entry in the language list: zh-CN second, zh-TW third, the
    // rest at the end (a position past the end means the end).
    static void insertLangHead(QList<LangFileHead>& list, const LangFileHead& head);

private:
    // Lower-case English text -> translation; the first entry of the file wins.
    static QHash<QString, QString> texts;
    // (class, lower-case English text) -> translation.
    static QHash<QPair<QString, QString>, QString> anlyTexts;
    static QString dirOverride;
};

#endif
