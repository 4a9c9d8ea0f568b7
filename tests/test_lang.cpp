// Language files, translation lookup and version numbers.
#include <QtTest>

#include <QDirIterator>
#include <QFontMetrics>
#include <QLabel>

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QTextDocumentFragment>

#include "PluginRunner.h"

#include "app/AboutZEL.h"
#include "app/Startup.h"
#include "app/mainwindow.h"

#include "config/Config.h"
#include "config/Lang.h"
#include "config/Version.h"
#include "config/XmlInput.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "support/RecordingTransport.h"
#include "support/TestEnv.h"

namespace {

const char* const kDoc =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<language><head><code>xx</code><name>Test</name><info>Restart</info></head>"
    "<zel>"
    "<t src=\"Close\">Schliessen</t>"
    "<t src=\"OPEN FILE\">Oeffnen</t>"
    "<t src=\"Save\">Erster</t><t src=\"save\">Zweiter</t>"
    "<t src=\"Empty\"></t><t src=\"Empty\">Spaeter</t>"
    "<t src=\" padded \">Mit Rand</t>"
    "<t src=\"Stra\xc3\x9f" "e\">Weg</t>"
    "</zel>"
    "<analyzers>"
    "<a class=\"UART\" src=\"Baud Rate\">Baudrate</a>"
    "<a class=\"UART\" src=\"Bits\"></a>"
    "<a class=\"SPI\" src=\"Baud Rate\">Takt</a>"
    "<a class=\"UART\" src=\"baud rate\">Later</a>"
    "</analyzers></language>";

QDomDocument parse(const QByteArray& text)
{
    QDomDocument d;
    d.setContent(text);
    return d;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray langFile(const QString& code, const QString& provider = QString())
{
    QString s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><language><head><code>" + code + "</code><name>N-" + code +
                "</name><info>I-" + code + "</info>";
    if (!provider.isEmpty())
        s += "<provider>" + provider + "</provider>";
    s += "</head><zel><t src=\"Close\">C-" + code + "</t></zel><analyzers/></language>";
    return s.toUtf8();
}

// A language file whose program texts hold 30,000 nested elements.
QByteArray deepLangFile(const QString& code)
{
    return QByteArray(langFile(code)).replace("<zel>", "<zel>" + QByteArray("<t>").repeated(30000)
                                                           + QByteArray("</t>").repeated(30000));
}

// A C++ string literal's body as the program sees it.
QString unescape(QString s)
{
    s.replace("\\\"", "\"");
    s.replace("\\n", "\n");
    s.replace("\\r", "\r");
    s.replace("\\\\", "\\");
    return s;
}

QString codes(const QList<LangFileHead>& list)
{
    QStringList c;
    for (const LangFileHead& h : list)
        c << h.code;
    return c.join(',');
}

// Every text a window and its children show: titles, labels, buttons,
// group titles, list entries, placeholders, actions and tool tips.
QStringList shownTexts(QWidget* top)
{
    QStringList texts{top->windowTitle()};
    QList<QWidget*> widgets = top->findChildren<QWidget*>();
    widgets.prepend(top);
    for (QWidget* w : widgets) {
        texts << w->toolTip();
        if (auto* l = qobject_cast<QLabel*>(w))
            texts << (l->textFormat() == Qt::PlainText ? l->text() : QTextDocumentFragment::fromHtml(l->text()).toPlainText());
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            texts << b->text();
        else if (auto* g = qobject_cast<QGroupBox*>(w))
            texts << g->title();
        else if (auto* e = qobject_cast<QLineEdit*>(w))
            texts << e->placeholderText();
        else if (auto* c = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < c->count(); ++i)
                texts << c->itemText(i);
    }
    for (QAction* a : top->findChildren<QAction*>())
        texts << a->text() << a->toolTip();
    return texts;
}

// The English words among them: names, units and abbreviations that stay
// the same in every language are left out.
QStringList englishWords(QWidget* top)
{
    static const QSet<QString> kept = {"Corvena", "CH", "Ch", "PWM", "Vth", "mV", "Hz", "KHz", "MHz", "GHz", "ps",
                                       "ns", "us", "ms", "bit", "KSa", "MSa", "GSa", "CMOS", "TTL", "USB", "ID",
                                       "Auto"};   // the oscilloscope's Auto key keeps its name
    // Single letters are marker and cursor names and key names (A1, X2, F5).
    const QRegularExpression word("[A-Za-z]{2,}");
    QStringList found;
    for (QString text : shownTexts(top))
        for (auto m = word.globalMatch(text.remove(QSysInfo::prettyProductName())); m.hasNext();) {
            const QString w = m.next().captured();
            if (!kept.contains(w))
                found << w + " (in \"" + text + "\")";
        }
    return found;
}

} // namespace

class TestLang : public QObject
{
    Q_OBJECT
    QTemporaryDir langDir;

    static QString sourceDir() { return QFileInfo(TestEnv::dataPath("..")).absoluteFilePath() + "/.."; }
    // The shipped Chinese file, made the language in use.
    static void loadChinese(QDomDocument* d)
    {
        QFile f(sourceDir() + "/Language/zh-CN.xml");
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(d->setContent(f.readAll()));
        QCOMPARE(Lang::getLangHead(*d, "code"), QString("zh-CN"));
        Lang::setDocument(*d);
    }

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        Config::init();
        QVERIFY(langDir.isValid());
    }

    void cleanup()
    {
        Lang::setLanguageDir(QString());
        Lang::setDocument(QDomDocument());
    }

    void translate_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");
        QTest::newRow("exact") << "Close" << "Schliessen";
        QTest::newRow("case-insensitive source") << "close" << "Schliessen";
        QTest::newRow("capitals in file") << "Open file" << "Oeffnen";
        QTest::newRow("first entry wins") << "SAVE" << "Erster";
        QTest::newRow("empty translation stays English") << "Empty" << "Empty";
        QTest::newRow("blanks significant") << " padded " << "Mit Rand";
        QTest::newRow("blanks missing") << "padded" << "padded";
        QTest::newRow("non-ASCII source") << QString::fromUtf8("STRA\xc3\x9f" "E") << "Weg";
        QTest::newRow("unknown") << "Nothing here" << "Nothing here";
    }
    void translate()
    {
        QFETCH(QString, text);
        QFETCH(QString, result);
        Lang::setDocument(parse(kDoc));
        QCOMPARE(Lang::tr(text), result);
    }

    void trClass_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("cls");
        QTest::addColumn<QString>("result");
        QTest::newRow("plain") << "Baud Rate" << "UART" << "Baudrate";
        QTest::newRow("number prefix kept") << "1.5 baud rate" << "UART" << "1.5 Baudrate";
        QTest::newRow("other class") << "Baud Rate" << "SPI" << "Takt";
        QTest::newRow("class is case-sensitive") << "Baud Rate" << "uart" << "Baud Rate";
        QTest::newRow("empty translation") << "8 Bits" << "UART" << "8 Bits";
        QTest::newRow("unknown class") << "Baud Rate" << "I2C" << "Baud Rate";
        QTest::newRow("program texts not used") << "Close" << "UART" << "Close";
    }
    void trClass()
    {
        QFETCH(QString, text);
        QFETCH(QString, cls);
        QFETCH(QString, result);
        Lang::setDocument(parse(kDoc));
        QCOMPARE(Lang::tr(text, cls), result);
    }

    void missingSections()
    {
        Lang::setDocument(parse("<language><head/></language>"));
        QCOMPARE(Lang::tr("Close"), QString("Close"));
        QCOMPARE(Lang::tr("Baud Rate", "UART"), QString("Baud Rate"));
        Lang::setDocument(QDomDocument());
        QCOMPARE(Lang::getLangHead(Lang::doc, "code"), QString("en-US"));
        QCOMPARE(Lang::getLangHead(Lang::doc, "provider"), QString());
        QCOMPARE(Lang::tr("Channel"), QString("Channel"));
    }

    void initLoadsFile_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QByteArray>("file");   // written as <code>.xml; empty: none
        QTest::addColumn<QString>("close");
        QTest::newRow("file loaded") << "de" << langFile("de") << "C-de";
        QTest::newRow("missing file") << "fr" << QByteArray() << "Close";
        QTest::newRow("malformed file") << "it" << QByteArray("<language><head>") << "Close";
        QTest::newRow("English needs no file") << "en-US" << langFile("en-US") << "Close";
        // Damaged files are refused before the XML library recurses into them.
        QTest::newRow("nesting 30000 deep") << "dp" << deepLangFile("dp") << "Close";
        QTest::newRow("over the size bound")
            << "big" << QByteArray(langFile("big")).replace("<analyzers/>", "<analyzers>" + QByteArray(5 << 20, ' ') + "</analyzers>")
            << "Close";
    }
    void initLoadsFile()
    {
        QFETCH(QString, code);
        QFETCH(QByteArray, file);
        QFETCH(QString, close);
        QTemporaryDir dir;
        if (!file.isEmpty())
            writeFile(dir.filePath(code + ".xml"), file);
        Lang::setLanguageDir(dir.path());
        Config::saveGlobalParam("userLang", code);
        Lang::init();
        QCOMPARE(Lang::code, code);
        QCOMPARE(Lang::tr("Close"), close);
    }

    void initChoosesFromLocale()
    {
        Config::saveGlobalParam("userLang", "");
        Lang::init();
        QVERIFY(QStringList({"en-US", "zh-CN", "zh-TW"}).contains(Lang::code));
        QCOMPARE(Config::readGlobalParam("userLang"), Lang::code);
    }

    void languageList()
    {
        writeFile(langDir.filePath("de.xml"), langFile("de", "Jemand"));
        writeFile(langDir.filePath("zh-CN.xml"), langFile("zh-CN"));
        writeFile(langDir.filePath("zh-TW.xml"), langFile("zh-TW"));
        writeFile(langDir.filePath("fr.xml"), langFile("pt"));             // name does not match code
        writeFile(langDir.filePath("bad.xml"), "<language><head><code>bad");  // does not parse
        writeFile(langDir.filePath("es.txt"), langFile("es"));             // not *.xml
        writeFile(langDir.filePath("dp.xml"), deepLangFile("dp"));         // refused: too deep
        Lang::setLanguageDir(langDir.path());
        const QList<LangFileHead> list = Lang::getLangFileList();
        QCOMPARE(list.size(), 4);
        QCOMPARE(list[0].code, QString("en-US"));
        QCOMPARE(list[0].name, QString("English"));
        QCOMPARE(list[0].info, QString("You need to restart to make the language settings take effect!"));
        QCOMPARE(list[1].code, QString("zh-CN"));
        QCOMPARE(list[1].info, QString("I-zh-CN"));
        QStringList rest{list[2].code, list[3].code};
        rest.sort();
        QCOMPARE(rest, (QStringList{"de", "zh-TW"}));
        for (const LangFileHead& h : list)
            if (h.code == "de") {
                QCOMPARE(h.name, QString("N-de"));
                QCOMPARE(h.info, QString("I-de\r\nJemand"));
            }
    }

    // Malformed and random language files give English texts or the file's
    // own, never a crash or a hang; the list of languages stays usable.
    void fuzzLanguageFile_data()
    {
        QTest::addColumn<int>("seed");
        for (int seed = 1; seed <= 8; ++seed)
            QTest::addRow("seed %d", seed) << seed;
    }
    void fuzzLanguageFile()
    {
        QFETCH(int, seed);
        QRandomGenerator rng(quint32(seed * 7919));
        const QByteArray good = QByteArray(kDoc).replace("<code>xx</code>", "<code>fz</code>");
        QList<QByteArray> inputs{good.left(int(rng.bounded(good.size()))), QByteArray(), QByteArray(8192, '<')};
        for (int k = 0; k < 8; ++k) {
            QByteArray b = good;
            for (int n = 0; n < 3; ++n)
                b[int(rng.bounded(b.size()))] = char(rng.bounded(256));
            inputs << b;
            QByteArray r(int(rng.bounded(1, 300)), 0);
            for (char& c : r)
                c = char(rng.bounded(256));
            inputs << r;
        }
        for (const QByteArray& in : inputs) {
            QTemporaryDir dir;
            writeFile(dir.filePath("fz.xml"), in);
            Lang::setLanguageDir(dir.path());
            Config::saveGlobalParam("userLang", "fz");
            Lang::init();
            QVERIFY(!Lang::tr("Nothing here").isNull());
            Lang::tr("1.5 Baud Rate", "UART");
            const QList<LangFileHead> list = Lang::getLangFileList();
            QVERIFY(!list.isEmpty());
            QCOMPARE(list.first().code, QString("en-US"));
        }
    }

    void languageListOrder_data()
    {
        QTest::addColumn<QString>("read");
        QTest::addColumn<QString>("listed");
        QTest::newRow("de, zh-TW, zh-CN") << "de,zh-TW,zh-CN" << "en-US,zh-CN,de,zh-TW";
        QTest::newRow("zh-TW, zh-CN, de") << "zh-TW,zh-CN,de" << "en-US,zh-CN,zh-TW,de";
        QTest::newRow("others keep file order") << "ko,ja,zh-CN" << "en-US,zh-CN,ko,ja";
    }
    void languageListOrder()
    {
        QFETCH(QString, read);
        QFETCH(QString, listed);
        QList<LangFileHead> list{{"en-US", "English", ""}};
        for (const QString& c : read.split(','))
            Lang::insertLangHead(list, {c, c, c});
        QCOMPARE(codes(list), listed);
    }

    void shippedTranslationIsComplete()
    {
        // Every text the program passes through Lang::tr has a Chinese entry.
        const QString src = sourceDir();
        QDomDocument d;
        loadChinese(&d);

        // Lang::tr("text") and Lang::tr(QStringLiteral("text")); titles that
        // panels hand to their title bar, which translates them.
        const QRegularExpression call("Lang::tr\\((?:QStringLiteral\\()?\"((?:[^\"\\\\]|\\\\.)*)\"\\)");
        const QRegularExpression title("\\bTitleBar\\([^,()]*,\\s*(?:QStringLiteral\\()?\"((?:[^\"\\\\]|\\\\.)*)\"");
        int texts = 0;
        // Every source folder of the program; folders not written yet are skipped.
        for (const char* dir : {"/app", "/config", "/widgets", "/device", "/data", "/view", "/toolbar", "/decode",
                                "/rightbox", "/osc"}) {
            QDirIterator it(src + dir, {"*.cpp", "*.h"}, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                QFile s(it.next());
                QVERIFY(s.open(QIODevice::ReadOnly));
                const QString code = QString::fromUtf8(s.readAll());
                for (const QRegularExpression* re : {&call, &title}) {
                    for (auto m = re->globalMatch(code); m.hasNext();) {
                        const QString text = unescape(m.next().captured(1));
                        ++texts;
                        QVERIFY2(Lang::tr(text) != text, qPrintable("untranslated: " + text));
                    }
                }
            }
        }
        QVERIFY(texts >= 10);
        // Texts that reach Lang::tr only through a variable.
        for (const char* text : {"Decoded Results", "None", "Demo"})
            QVERIFY2(Lang::tr(text) != text, text);

        // The setting texts of every built analyzer plug-in, as the settings
        // dialog passes them: in the context of the plug-in's analyzer name.
        // Read from the plug-ins themselves, whatever way their sources hold
        // the texts; a text may translate to itself (a name such as "RGB"),
        // but the file must list it.
        QSet<QPair<QString, QString>> listed;
        for (QDomElement e = d.documentElement().firstChildElement("analyzers").firstChildElement(); !e.isNull();
             e = e.nextSiblingElement())
            listed.insert({e.attribute("class"), e.attribute("src")});
        int plugins = 0;
        const QDir analyzers(qEnvironmentVariable("CORVENA_BIN") + "/Analyzer");
        for (const QFileInfo& file : analyzers.entryInfoList({"*.so"}, QDir::Files)) {
            AnalyzerPlugin plugin;
            std::string error;
            QVERIFY2(plugin.load(file.filePath().toStdString(), &error), error.c_str());
            PluginAnalyzer analyzer(plugin);
            const QString cls = QString::fromUtf8(plugin.name());
            AnalyzerSettings* s = analyzer->GetAnalyzerSettings();
            QStringList labels;
            for (U32 i = 0; i < s->GetSettingsInterfacesCount(); ++i) {
                AnalyzerSettingInterface* itf = s->GetSettingsInterface(i);
                labels << itf->GetTitle() << itf->GetToolTip();
                if (itf->GetType() == INTERFACE_NUMBER_LIST) {
                    auto* list = static_cast<AnalyzerSettingInterfaceNumberList*>(itf);
                    for (U32 k = 0; k < list->GetListboxNumbersCount(); ++k)
                        labels << list->GetListboxString(k) << list->GetListboxTooltip(k);
                }
            }
            for (U32 i = 0; i < s->GetChannelsCount(); ++i) {
                const char* label = nullptr;
                s->GetChannel(i, &label);
                labels << label;
            }
            for (U32 i = 0; i < s->GetExportOptionsCount(); ++i) {
                U32 id = 0;
                const char* text = nullptr;
                QVERIFY(s->GetExportOption(i, &id, &text));
                labels << text;
                for (U32 k = 0; k < s->GetFileExtensionCount(id); ++k) {
                    const char* label = nullptr;
                    const char* ext = nullptr;
                    QVERIFY(s->GetFileExtension(id, k, &label, &ext));
                    labels << label;
                }
            }
            QVERIFY(labels.size() >= 4);
            for (const QString& text : labels)
                if (!text.isEmpty())
                    QVERIFY2(listed.contains({cls, text}), qPrintable("untranslated in " + cls + ": " + text));
            ++plugins;
        }
        QVERIFY(plugins >= 1);

        // The build places the file beside the program.
        QVERIFY(QFile::exists(qEnvironmentVariable("CORVENA_BIN") + "/Language/zh-CN.xml"));
    }

    // The Chinese interface draws its texts, not missing-glyph boxes: the
    // compiled-in faces hold no CJK glyphs, so Qt has to fall back to a CJK
    // font of the system (installed with the program's dependencies).
    void chineseTextsHaveGlyphs()
    {
        const QString src = QFileInfo(TestEnv::dataPath("..")).absoluteFilePath() + "/..";
        QDomDocument d;
        QVERIFY(XmlInput::parseFile(src + "/Language/zh-CN.xml", d));
        Config::createFont();
        QSet<uint> chars;
        for (QDomElement e = d.documentElement().firstChildElement("zel").firstChildElement(); !e.isNull();
             e = e.nextSiblingElement())
            for (uint c : e.text().toUcs4())
                chars.insert(c);
        QVERIFY(chars.size() > 100);
        for (const QFont& font : {Config::fontNormal, Config::fontNarrow, Config::fontLarge}) {
            const QFontMetrics fm(font);
            for (uint c : chars)
                QVERIFY2(QChar::isSpace(c) || fm.inFontUcs4(c),
                         qPrintable(QString("no glyph for U+%1 in %2").arg(c, 4, 16, QChar('0')).arg(font.family())));
        }

        // Drawn: two different characters give two different pictures, and
        // neither is the box drawn for a character that no font holds.
        auto render = [](const QString& text) {
            QLabel label(text);
            label.setFont(Config::fontNormal);
            label.resize(label.sizeHint());
            return label.grab().toImage();
        };
        const QImage tong = render(QString::fromUtf8("\xe9\x80\x9a"));   // 通
        const QImage dao = render(QString::fromUtf8("\xe9\x81\x93"));    // 道
        const QImage box = render(QString(QChar(0xE000)));               // private use: no glyph
        QCOMPARE(tong.size(), dao.size());
        QVERIFY(tong != dao);
        QVERIFY(tong != box);
        QVERIFY(dao != box);
    }

    // In Chinese the main window and the About dialog show no English word:
    // every text the program shows goes through the language file; names,
    // units and values stay as they are.
    void chineseWindowsShowNoEnglish()
    {
        QDomDocument d;
        loadChinese(&d);
        RecordingTransport usb;
        devSupport = &usb;
        devUsing = createStartDevice(DevModelDemo);
        QStringList english;
        {
            MainWindow win;
            AboutZEL about(&win);
            english = englishWords(&win) + englishWords(&about);
        }
        delete devUsing;
        devUsing = nullptr;
        devSupport = nullptr;
        english.removeDuplicates();
        QVERIFY2(english.isEmpty(), qPrintable(english.join(" | ")));
    }

    void version_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("printed");
        QTest::addColumn<int>("fourth");
        QTest::newRow("full") << "3.6.3" << "3.6.3" << 0;
        QTest::newRow("two parts") << "3.6" << "3.6.0" << 0;
        QTest::newRow("fourth kept") << "3.6.3.9" << "3.6.3" << 9;
        QTest::newRow("not a number") << "3.x.1" << "3.0.1" << 0;
        QTest::newRow("empty parts") << "..2" << "0.0.2" << 0;
        QTest::newRow("empty") << "" << "0.0.0" << 0;
        QTest::newRow("more than four") << "1.2.3.4.5" << "1.2.3" << 4;
    }
    void version()
    {
        QFETCH(QString, text);
        QFETCH(QString, printed);
        QFETCH(int, fourth);
        const Version v(text);
        QCOMPARE(v.ToString(), printed);
        QCOMPARE(v.part[3], fourth);
        Version w;
        QCOMPARE(w.ToString(), QString("0.0.0"));
        w = text;
        QCOMPARE(w.ToString(), printed);
    }

    void versionCompare_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("order");   // sign of a - b
        QTest::newRow("equal ignores fourth") << "3.6.3" << "3.6.3.9" << 0;
        QTest::newRow("minor as number") << "3.10.0" << "3.9.9" << 1;
        QTest::newRow("patch") << "3.6.2" << "3.6.3" << -1;
        QTest::newRow("major wins") << "4.0.0" << "3.99.99" << 1;
        QTest::newRow("missing parts") << "3.6" << "3.6.0" << 0;
    }
    void versionCompare()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, order);
        const Version va(a), vb(b);
        QCOMPARE(va == vb, order == 0);
        QCOMPARE(va != vb, order != 0);
        QCOMPARE(va > vb, order > 0);
        QCOMPARE(va >= vb, order >= 0);
        QCOMPARE(va < vb, order < 0);
        QCOMPARE(va <= vb, order <= 0);
        QCOMPARE(Config::curVersion.ToString(), QString("3.6.3"));
    }
};

QTEST_MAIN(TestLang)
#include "test_lang.moc"
