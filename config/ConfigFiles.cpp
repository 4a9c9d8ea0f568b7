// Settings files (*.cvset), the settings header of capture files (*.cvdat),
// the command-line file and the file dialogs.

#include "config/Config.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

#include "config/ConfigDom.h"
#include "config/Lang.h"
#include "config/XmlInput.h"

std::function<QString(const Config::FileDialogRequest&)> Config::fileDialog;
QString Config::dataFileRefused;
Config::ServerKeys Config::heldServerKeys;

using ConfigDom::childElement;
using ConfigDom::findChild;
using ConfigDom::setElementText;

namespace {

const QByteArray kEndTag = "</settings>";

// Global keys a capture header keeps (prefix match, so every chnShowName
// and oscMeasureChn key stays).
const char* const kHeaderKeys[] = {
    "version", "devModel", "chnShowIndex", "chnShowMultip", "chnShowName", "lgcMeasure",
    "analyzerAlias", "oscMeasureEna", "oscMeasureChn", "oscCursorEna", "oscCursorChn"};

// Keys a merge copies when the header's value is not empty, in this order.
// ("updateServer" never: a file from elsewhere must not choose whom the
// program asks for updates. "enaSocket" and "listenPort" only with the
// user's consent: they open a port that takes commands from the network.)
const char* const kMergeKeys[] = {
    "disAnimateZoom", "colorWaveform", "smpProgPosition", "viewState", "autoWaitTrig",
    "disAutoUpdate", "devModel", "chnShowIndex", "chnShowMultip",
    "lgcMeasure", "oscMeasureEna", "oscMeasureChn0", "oscMeasureChn1", "oscMeasureChn2",
    "oscMeasureChn3", "oscCursorEna", "oscCursorChn"};

bool keptInHeader(const QString& tag)
{
    for (const char* k : kHeaderKeys)
        if (tag.startsWith(QLatin1String(k)))
            return true;
    return false;
}

// A "listenPort" value as the server takes it.
unsigned short portOf(const QString& text)
{
    bool ok = false;
    const int p = text.toInt(&ok);
    return ok && p >= 1 && p <= 65535 ? (unsigned short)p : Config::DefaultListenPort;
}

// Bytes that never occur in the XML text of a header: once one is met
// before the end tag, the binary data part has begun and there is no header.
bool isBinaryByte(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return u < 0x20 && u != '\t' && u != '\n' && u != '\r';
}

// The last folder used, else the documents folder, else home: a folder that
// is gone would make the dialog put its name in the file name field.
QString startDirectory()
{
    for (const QString& dir : {Config::readGlobalParam("lastPath"),
                               QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)})
        if (!dir.isEmpty() && QFileInfo(dir).isDir())
            return dir;
    return QDir::homePath();
}

QString runDialog(const Config::FileDialogRequest& req)
{
    if (Config::fileDialog)
        return Config::fileDialog(req);
    QFileDialog dlg(nullptr, QString(), req.directory, req.filter);
    dlg.setViewMode(QFileDialog::Detail);
    if (req.save) {
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setFileMode(QFileDialog::AnyFile);
        dlg.setDefaultSuffix(req.defaultSuffix);
        dlg.selectFile(req.fileName);
    } else {
        dlg.setAcceptMode(QFileDialog::AcceptOpen);
        dlg.setFileMode(QFileDialog::ExistingFile);
    }
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return QString();
    return dlg.selectedFiles().first();
}

void rememberDirectory(const QString& file, const QString& startDir)
{
    const QString dir = QFileInfo(file).absolutePath();
    if (dir != startDir)
        Config::saveGlobalParam("lastPath", dir);
}

} // namespace

int Config::parseLoadFile(const QString& path)
{
    const QFileInfo fi(path);
    if (!fi.exists() || !fi.isFile())
        return -1;
    const QString suffix = fi.suffix();
    if (suffix == "cvdat") {
        dataFile = path;
        return 0;
    }
    if (suffix == "cvset")
        return 1;
    return -1;
}

bool Config::extractConfig(const QString& path, QByteArray& out)
{
    out.clear();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;

    // A header can be any length (long channel names, many analyzers), so
    // the search goes on past the first 32 KiB as long as the bytes are text.
    const qint64 chunk = 32768;
    QByteArray buf;
    qint64 endTag = -1;
    int scanned = 0;   // bytes of buf already checked for binary bytes
    while (endTag < 0) {
        // A header beyond this size would be refused anyway: a text file
        // without the end tag is not read to its end.
        if (buf.size() >= XmlInput::MaxBytes)
            return false;
        const QByteArray more = f.read(chunk);
        if (more.isEmpty())
            break;
        buf += more;
        const int from = qMax(0, scanned - (kEndTag.size() - 1));
        const int at = buf.indexOf(kEndTag, from);
        const int limit = at >= 0 ? at : buf.size();
        bool binary = false;
        for (int i = scanned; i < limit && !binary; ++i)
            binary = isBinaryByte(buf[i]);
        if (binary)
            return false;
        scanned = limit;
        endTag = at;
    }
    if (endTag <= 0)
        return false;

    qint64 end = endTag + kEndTag.size();
    // The line ends the writer put after the root belong to the header.
    while (true) {
        if (end >= buf.size()) {
            const QByteArray more = f.read(chunk);
            if (more.isEmpty())
                break;
            buf += more;
        }
        const char c = buf[int(end)];
        if (c != '\r' && c != '\n')
            break;
        ++end;
    }
    out = buf.left(int(end));
    return true;
}

bool Config::replaceConfig(const QByteArray& header, ServerKeys* asked)
{
    QDomDocument hdr;
    if (!XmlInput::parse(header, hdr))
        return false;
    const QDomElement hRoot = hdr.documentElement();
    if (hRoot.tagName() != "settings")
        return false;
    boundDocument(hdr);
    const QDomElement hGlobal = findChild(hRoot, "global");
    const int model = findChild(hGlobal, "devModel").text().toInt();
    if (!devModelSupported(model))
        return false;

    readGlobalParam("version");   // makes sure the document and its sections exist
    QDomElement root = cfgDoc.documentElement();
    QDomElement global = childElement(root, "global");
    for (QDomElement e = global.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        if (e.tagName().startsWith("chnShowName"))
            setElementText(e, QString());

    saveGlobalParam("analyzerAlias", findChild(hGlobal, "analyzerAlias").text());
    auto copyKey = [&](const QString& key) {
        const QString v = findChild(hGlobal, key).text();
        if (!v.isEmpty())
            saveGlobalParam(key, v);
    };
    for (const char* k : kMergeKeys)
        copyKey(QLatin1String(k));
    for (int i = 0; i < 32; ++i)
        copyKey("chnShowName" + QString::number(i));
    if (asked) {
        asked->enaSocket = findChild(hGlobal, "enaSocket").text();
        asked->listenPort = findChild(hGlobal, "listenPort").text();
    }

    // Each model in the header replaces the stored settings of that model whole.
    QDomElement devices = childElement(root, "devices");
    for (QDomElement e = findChild(hRoot, "devices").firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        const QDomElement old = findChild(devices, e.tagName());
        if (!old.isNull())
            devices.removeChild(old);
        devices.appendChild(cfgDoc.importNode(e, true));
    }

    const QDomElement hAnalyzers = findChild(hRoot, "analyzers");
    const QDomElement newAnalyzers = hAnalyzers.isNull() ? cfgDoc.createElement("analyzers")
                                                         : cfgDoc.importNode(hAnalyzers, true).toElement();
    root.replaceChild(newAnalyzers, childElement(root, "analyzers"));

    initShadowConfig();
    return true;
}

bool Config::saveMinConfig(const QString& path, const QString& model)
{
    QDomDocument copy;
    copy.setContent(cfgDoc.toString(1), false);
    const QDomElement root = copy.documentElement();

    QDomElement global = findChild(root, "global");
    for (QDomElement e = global.firstChildElement(); !e.isNull();) {
        const QDomElement next = e.nextSiblingElement();
        if (!keptInHeader(e.tagName()))
            global.removeChild(e);
        e = next;
    }
    QDomElement devices = findChild(root, "devices");
    bool keptModel = false;
    for (QDomElement e = devices.firstChildElement(); !e.isNull();) {
        const QDomElement next = e.nextSiblingElement();
        if (e.tagName() != model || keptModel)
            devices.removeChild(e);
        else
            keptModel = true;
        e = next;
    }
    return writeWhole(path, toUtf8Xml(copy, 4));
}

bool Config::serverEnabled()
{
    return readGlobalParam("enaSocket").toInt() != 0;
}

unsigned short Config::serverPort()
{
    return portOf(readGlobalParam("listenPort"));
}

unsigned short Config::serverPortAsked(const ServerKeys& asked)
{
    return asked.listenPort.isEmpty() ? serverPort() : portOf(asked.listenPort);
}

bool Config::serverChangeAsked(const ServerKeys& asked)
{
    const bool onNow = serverEnabled();
    const bool on = asked.enaSocket.isEmpty() ? onNow : asked.enaSocket.toInt() != 0;
    return on && (!onNow || serverPortAsked(asked) != serverPort());
}

void Config::applyServerKeys(const ServerKeys& asked)
{
    if (!asked.enaSocket.isEmpty())
        saveGlobalParam("enaSocket", asked.enaSocket);
    if (!asked.listenPort.isEmpty())
        saveGlobalParam("listenPort", asked.listenPort);
}

void Config::takeCommandLineFile(const QStringList& args)
{
    dataFile.clear();
    dataFileRefused.clear();
    heldServerKeys = ServerKeys();
    cfgDocBeforeDataFile.clear();
    for (const QString& a : args) {
        const int type = parseLoadFile(a);
        if (type < 0) {
            // Options and files of other kinds are passed over; a name of
            // nothing that can be read (missing, a folder, a pipe) is the
            // file the user meant and failed. Only its type is looked at: a
            // pipe would block the start if it were opened.
            if (a.isEmpty() || a.startsWith(QLatin1Char('-')) || QFileInfo(a).isFile())
                continue;
            dataFileRefused = a;
            return;
        }
        QByteArray header;
        ServerKeys asked;
        const QDomDocument before = type == 0 ? cfgDoc.cloneNode(true).toDocument() : QDomDocument();
        // A file without a readable header cannot be opened: the settings
        // stay, the start-up device search runs as usual, and the window
        // says so once it stands.
        if (!extractConfig(a, header) || !replaceConfig(header, type == 1 ? &asked : nullptr)) {
            dataFile.clear();
            dataFileRefused = a;
        } else if (type == 0) {
            cfgDocBeforeDataFile = before;
        } else if (serverChangeAsked(asked)) {
            // The server stays as it is until the window has asked.
            heldServerKeys = asked;
        } else {
            applyServerKeys(asked);
        }
        return;
    }
}

QString Config::getSaveFileName(int type, const QString& extension)
{
    FileDialogRequest req;
    req.save = true;
    switch (type) {
    case FileTypeData:
        req.filter = Lang::tr("Data File") + " (*.cvdat)";
        req.defaultSuffix = "cvdat";
        break;
    case FileTypeSettings:
        req.filter = Lang::tr("Settings File") + " (*.cvset)";
        req.defaultSuffix = "cvset";
        break;
    case FileTypeText:
        req.filter = Lang::tr("Text file") + " (*.txt)";
        req.defaultSuffix = "txt";
        break;
    case FileTypeCsv:
        req.filter = Lang::tr("CSV file") + " (*.csv)";
        req.defaultSuffix = "csv";
        break;
    case FileTypeBinary:
        req.filter = Lang::tr("Binary file") + " (*.bin)";
        req.defaultSuffix = "bin";
        break;
    case FileTypeCustom:
        req.filter = extension + " file (*." + extension + ")";
        req.defaultSuffix = extension;
        break;
    default:
        return QString();
    }
    req.directory = startDirectory();
    req.fileName = QDateTime::currentDateTime().toString("yyyy-MM-dd_hh-mm-ss");
    const QString file = runDialog(req);
    if (file.isEmpty())
        return QString();
    rememberDirectory(file, req.directory);
    return file;
}

QString Config::getOpenFileName()
{
    FileDialogRequest req;
    req.directory = startDirectory();
    req.filter = Lang::tr("File") + " (*.cvset *.cvdat)";
    const QString file = runDialog(req);
    if (file.isEmpty())
        return QString();
    rememberDirectory(file, req.directory);
    return file;
}
