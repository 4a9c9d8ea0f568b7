#include "config/Config.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "config/ConfigDom.h"
#include "config/Lang.h"
#include "config/PartFile.h"
#include "config/XmlInput.h"

QDomDocument Config::cfgDoc;
QString Config::cfgFile;
Version Config::curVersion("3.6.3");
QString Config::dataFile;
QDomDocument Config::cfgDocBeforeDataFile;
QString Config::cfgFileRefused;
QString Config::writeError;
bool Config::cfgFileHeld = false;
ViewState Config::viewState = ViewKeep;
bool Config::disAnimate = false;
bool Config::autoWaitTrig = false;
bool Config::enaLogicProbe = false;
bool Config::smpProgPosition = false;
bool Config::colorWaveLine = true;

using ConfigDom::childElement;
using ConfigDom::setElementText;

namespace {

const char* const kDefaultDoc =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><settings><global/><devices/><analyzers/></settings>";

QDomElement sectionElement(const QString& tag)
{
    QDomElement root = Config::cfgDoc.documentElement();
    if (root.isNull()) {
        Config::setDefaultDocument();
        root = Config::cfgDoc.documentElement();
    }
    return childElement(root, tag);
}

template <typename T, typename F>
QString arrayToString(const T* a, int count, F toText)
{
    QString s;
    for (int i = 0; i < count; ++i) {
        if (i)
            s += ',';
        s += toText(a[i]);
    }
    return s;
}

template <typename T, typename F>
int stringToArray(const QString& s, T* out, int capacity, F fromText)
{
    if (s.isEmpty() || capacity <= 0)
        return 0;
    const QStringList parts = s.split(',', Qt::KeepEmptyParts);
    const int n = qMin(capacity, parts.size());
    for (int i = 0; i < n; ++i)
        out[i] = fromText(parts[i]);
    return n;
}

} // namespace

void Config::setDefaultDocument()
{
    cfgDoc.setContent(QString::fromLatin1(kDefaultDoc));
    saveGlobalParam("version", curVersion.ToString());
}

bool Config::loadConfig(const QString& path)
{
    QDomDocument doc;
    // Read bytes, not text, so the XML declaration decides the encoding
    // whatever the locale.
    if (XmlInput::parseFile(path, doc) && doc.documentElement().tagName() == "settings") {
        boundDocument(doc);
        cfgDoc = doc;
        if (Version(readGlobalParam("version")) != curVersion)
            saveGlobalParam("version", curVersion.ToString());
        return true;
    }
    setDefaultDocument();
    return false;
}

void Config::keepRefusedConfig()
{
    // The user's channel names, analyzers and settings are in there: the
    // defaults written at the close must not take their only copy. A link
    // to it stays, so that the close writes where the user put the file.
    const QString file = PartFile::linkEnd(cfgFile);
    const QString kept = file + ".refused";
    QFile::remove(kept);
    if (QFile::rename(file, kept)) {
        cfgFileRefused = kept;
        cfgFileHeld = false;
        qWarning("Settings: %s could not be read; it was kept as %s and the defaults are used",
                 qUtf8Printable(cfgFile), qUtf8Printable(kept));
    } else {
        cfgFileRefused = cfgFile;
        cfgFileHeld = true;
        qWarning("Settings: %s could not be read nor kept aside; the defaults are used and it is left in place",
                 qUtf8Printable(cfgFile));
    }
}

void Config::holdNonFileConfig(const QString& why)
{
    // A folder, a pipe or a device where the file belongs is not ours to
    // move or replace, and a pipe would hold the start up if it were opened.
    setDefaultDocument();
    cfgFileRefused = cfgFile;
    cfgFileHeld = true;
    qWarning("Settings: %s %s; the defaults are used and the settings of this run are not saved",
             qUtf8Printable(cfgFile), qUtf8Printable(why));
}

QString Config::readGlobalParam(const QString& key)
{
    return childElement(sectionElement("global"), key).text();
}

void Config::saveGlobalParam(const QString& key, const QString& value)
{
    setElementText(childElement(sectionElement("global"), key), value);
}

QString Config::readDeviceParam(const QString& model, const QString& key)
{
    return childElement(childElement(sectionElement("devices"), model), key).text();
}

void Config::saveDeviceParam(const QString& model, const QString& key, const QString& value)
{
    setElementText(childElement(childElement(sectionElement("devices"), model), key), value);
}

QString Config::readAnalyzerParam()
{
    QString s;
    QDomElement an = sectionElement("analyzers");
    for (QDomElement item = an.firstChildElement(); !item.isNull(); item = item.nextSiblingElement())
        for (QDomElement f = item.firstChildElement(); !f.isNull(); f = f.nextSiblingElement())
            s += f.text() + ";";
    return s;
}

void Config::clearAnalyzerParam()
{
    QDomElement an = sectionElement("analyzers");
    while (!an.firstChild().isNull())
        an.removeChild(an.firstChild());
}

void Config::saveAnalyzerParam(int index, const QStringList& list)
{
    if (list.size() <= 2)
        return;
    QDomElement item = childElement(sectionElement("analyzers"), "item" + QString::number(index));
    setElementText(childElement(item, "fileName"), list[0]);
    setElementText(childElement(item, "parameters"), list[1]);
    setElementText(childElement(item, "format"), list[2]);
}

void Config::saveChnTrgSettings(const QString& model, const QVector<TrgType>& trg)
{
    if (trg.isEmpty())
        return;
    QVector<int> v(trg.size());
    for (int i = 0; i < trg.size(); ++i)
        v[i] = trg[i];
    saveDeviceParam(model, "chnTrig", IntArrayToString(v.data(), v.size()));
}

void Config::getChnTrgSettings(const QString& model, QVector<TrgType>& trg)
{
    const QString s = readDeviceParam(model, "chnTrig");
    if (s.isEmpty() || trg.isEmpty())
        return;
    QVector<int> v(trg.size());
    const int n = StringToIntArray(s, v.data(), v.size());
    for (int i = 0; i < n; ++i)
        trg[i] = (v[i] >= TrgNone && v[i] <= TrgFalling) ? TrgType(v[i]) : TrgNone;
}

void Config::saveChnEnaSettings(const QString& model, const QVector<bool>& ena, bool analog)
{
    if (ena.isEmpty())
        return;
    saveDeviceParam(model, analog ? "AChnEnable" : "chnEnable", BoolArrayToString(ena.data(), ena.size()));
}

void Config::getChnEnaSettings(const QString& model, QVector<bool>& ena, bool analog)
{
    if (ena.isEmpty())
        return;
    StringToBoolArray(readDeviceParam(model, analog ? "AChnEnable" : "chnEnable"), ena.data(), ena.size());
}

QString Config::IntArrayToString(const int* a, int count)
{
    return arrayToString(a, count, [](int v) { return QString::number(v); });
}

QString Config::DoubleArrayToString(const double* a, int count)
{
    return arrayToString(a, count, [](double v) { return QString::number(v, 'g', 6); });
}

QString Config::BoolArrayToString(const bool* a, int count)
{
    return arrayToString(a, count, [](bool v) { return QString(v ? "1" : "0"); });
}

int Config::StringToIntArray(const QString& s, int* out, int capacity)
{
    return stringToArray(s, out, capacity, [](const QString& t) { return t.toInt(); });
}

int Config::StringToDoubleArray(const QString& s, double* out, int capacity)
{
    return stringToArray(s, out, capacity, [](const QString& t) { return t.toDouble(); });
}

int Config::StringToBoolArray(const QString& s, bool* out, int capacity)
{
    return stringToArray(s, out, capacity, [](const QString& t) { return t.toInt() != 0; });
}

QString Config::getChnName(int n)
{
    const QString name = readGlobalParam("chnShowName" + QString::number(n));
    if (!name.isEmpty())
        return name;
    return Lang::tr("Channel") + " " + QString::number(n);
}

void Config::getChnShowIndex(int n, int* out)
{
    if (n <= 0)
        return;
    QVector<int> v(n, 0);
    const int cnt = StringToIntArray(readGlobalParam("chnShowIndex"), v.data(), n);
    for (int i = cnt; i < n; ++i)
        v[i] = i;
    QVector<bool> seen(n, false);
    bool perm = true;
    for (int i = 0; i < n && perm; ++i) {
        if (v[i] < 0 || v[i] >= n || seen[v[i]])
            perm = false;
        else
            seen[v[i]] = true;
    }
    for (int i = 0; i < n; ++i)
        out[i] = perm ? v[i] : i;
}

void Config::getChnShowMultip(int n, int* out)
{
    if (n <= 0)
        return;
    for (int i = 0; i < n; ++i)
        out[i] = 1;
    StringToIntArray(readGlobalParam("chnShowMultip"), out, n);
    for (int i = 0; i < n; ++i)
        if (out[i] != 1 && out[i] != 2 && out[i] != 4 && out[i] != 8)
            out[i] = 1;
}

int Config::getDevModel()
{
    const int m = readGlobalParam("devModel").toInt();
    if (m < 0)
        return 0;
    switch (m) {
    case 10: return 5;
    case 11: return 7;
    case 12: return 8;
    default: return m;
    }
}

void Config::getMeasureIndexA(int n, int* out)
{
    for (int i = 0; i < n; ++i)
        out[i] = i;
    for (int i = n / 2; i < n; ++i)
        out[i] = -1;
}

int Config::getChnTagPos(int n, int* out)
{
    if (n < 1)
        return 0;
    QVector<int> v(n, 0);
    const int cnt = StringToIntArray(readGlobalParam("AChnTagPos"), v.data(), n);
    if (cnt > 0)
        for (int i = 0; i < cnt; ++i)
            out[i] = v[i];
    return cnt;
}

void Config::saveViewState(int v)
{
    viewState = ViewState(v);
    saveGlobalParam("viewState", QString::number(v));
}

void Config::saveDisAnimate(bool v)
{
    disAnimate = v;
    saveGlobalParam("disAnimateZoom", v ? "1" : "0");
}

void Config::saveAutoWaitTrigEna(bool v)
{
    autoWaitTrig = v;
    saveGlobalParam("autoWaitTrig", v ? "1" : "0");
}

void Config::saveProgressSample(bool v)
{
    smpProgPosition = v;
    saveGlobalParam("smpProgPosition", v ? "1" : "0");
}

void Config::saveColorWaveLine(bool v)
{
    colorWaveLine = v;
    saveGlobalParam("colorWaveform", v ? "1" : "0");
}

void Config::saveLogicProbe(bool v)
{
    enaLogicProbe = v;
    saveGlobalParam("LogicProbe", v ? "1" : "0");
}

void Config::initShadowConfig()
{
    const int vs = readGlobalParam("viewState").toInt();
    viewState = (vs >= ViewKeep && vs <= ViewAll) ? ViewState(vs) : ViewKeep;
    disAnimate = readGlobalParam("disAnimateZoom").toInt() != 0;
    autoWaitTrig = readGlobalParam("autoWaitTrig").toInt() != 0;
    enaLogicProbe = readGlobalParam("LogicProbe").toInt() != 0;
    smpProgPosition = readGlobalParam("smpProgPosition").toInt() != 0;
    const QString cw = readGlobalParam("colorWaveform");
    colorWaveLine = cw.isEmpty() || cw.toInt() != 0;
}

QByteArray Config::toUtf8Xml(const QDomDocument& doc, int indent)
{
    // QDomDocument keeps the declaration as read; a file that arrived with
    // another encoding name must not be written back as UTF-8 under it.
    QDomDocument copy = doc.cloneNode(true).toDocument();
    QDomNode first = copy.firstChild();
    if (first.isProcessingInstruction() && first.nodeName() == "xml")
        first.toProcessingInstruction().setData("version=\"1.0\" encoding=\"UTF-8\"");
    return copy.toString(indent).toUtf8();
}

bool Config::writeWhole(const QString& path, const QByteArray& bytes)
{
    // A write that does not complete (full disk) is reported and leaves the
    // old file in place. Unbuffered, so a short write is seen here.
    auto failed = [](int err) {
        writeError = QString::fromLocal8Bit(std::strerror(err));
        return false;
    };
    PartFile part(path);
    if (!part.isValid())
        return failed(part.error());
    QFile f(part.path());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failed(errno);
    errno = 0;
    const qint64 written = f.write(bytes);
    const int writeErr = errno;
    if (written != bytes.size())
        return failed(writeErr ? writeErr : ENOSPC);
    // A file system that cannot sync says so with EINVAL; any other failure
    // means the bytes may not be there.
    if (::fsync(f.handle()) != 0 && errno != EINVAL)
        return failed(errno);
    f.close();
    if (!part.commit())
        return failed(part.error());
    writeError.clear();
    return true;
}

bool Config::saveConfig(const QString& path)
{
    // Always UTF-8, whatever the locale.
    return writeWhole(path, toUtf8Xml(cfgDoc, 4));
}

bool Config::close()
{
    // Held: said at the start already; nothing is tried, nothing fails.
    if (cfgFileHeld)
        return true;
    if (saveConfig(cfgFile))
        return true;
    qWarning("Settings: %s could not be written (%s); the settings of this run are lost",
             qUtf8Printable(cfgFile), qUtf8Printable(writeError));
    return false;
}

void Config::init()
{
    Q_INIT_RESOURCE(resCV);
    initColors();
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/brenmar";
    QDir().mkpath(dir);
    cfgFile = dir + "/cv.config";
    cfgFileRefused.clear();
    cfgFileHeld = false;
    const QFileInfo cfg(cfgFile);
    if (cfg.exists() && !cfg.isFile()) {
        holdNonFileConfig(QStringLiteral("is not a regular file"));
    } else if (cfg.isSymLink() && !cfg.exists() && !PartFile(cfgFile).isValid()) {
        // A link to nowhere is no configuration yet, but the close could
        // not write one either: said now, not found out at the close, with
        // the place where the links end.
        const QString end = PartFile::linkEnd(cfgFile);
        if (end.isEmpty())
            holdNonFileConfig("is a link that cannot be followed ("
                              + QString::fromLocal8Bit(std::strerror(ELOOP)) + ")");
        else
            holdNonFileConfig("is a link to " + end + ", where no file can be written");
    } else if (!loadConfig(cfgFile) && cfg.isFile() && cfg.size() > 0) {
        keepRefusedConfig();
    }
    takeCommandLineFile(QCoreApplication::arguments().mid(1));
    initWindowConfig();
    initShadowConfig();
}
