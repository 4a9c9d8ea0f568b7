#include "support/TestEnv.h"

#include "config/Config.h"
#include "config/Lang.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace TestEnv {

QString isolateUserData()
{
    static QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    // Not QStandardPaths' test mode: it ignores these variables and puts every
    // test process into the one ~/.qttest, where parallel tests read each
    // other's configuration.
    return dir.path();
}

QString dataPath(const QString& name)
{
    return QString::fromLocal8Bit(qgetenv("CORVENA_TESTDATA")) + "/" + name;
}

QString recordingPath(const QString& name)
{
    return QString::fromLocal8Bit(qgetenv("CORVENA_RECORDINGS")) + "/" + name;
}

QStringList partFiles(const QString& dir)
{
    return QDir(dir).entryList({".*.part"}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

QString longestName(const QString& suffix, bool ascii)
{
    const int room = 255 - 1 - int(suffix.toUtf8().size());
    const QString name = (ascii ? QString(room, QLatin1Char('n'))
                                : QString(room % 2, QLatin1Char('x')) + QString(room / 2, QChar(0xE9)))
                         + '.' + suffix;
    Q_ASSERT(QFile::encodeName(name).size() == 255);
    return name;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray processStatus(const QString& process, const QByteArray& field)
{
    for (const QByteArray& line : readFile("/proc/" + process + "/status").split('\n'))
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed();
    return QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

void startProgram(const QString& settings, const QString& cfgFile)
{
    isolateUserData();
    Config::init();
    if (settings.isEmpty())
        Config::saveGlobalParam("userLang", "en-US");
    else
        Config::loadConfig(dataPath(settings));
    if (!cfgFile.isEmpty())
        Config::cfgFile = cfgFile;
    Lang::init();
    Config::dpi = 96;
    Config::createFont();
}

void defaultGrayColors()
{
    if (Config::grayColor.size() < 10) {
        Config::grayColor.clear();
        for (const char* c : {"#f7f7f7", "#dfdfdf", "#afafaf", "#9f9f9f", "#7f7f7f",
                              "#575b5f", "#3f3f3f", "#2f2f2f", "#1f1f23", "#070707"})
            Config::grayColor.append(QColor(c));
    }
}

} // namespace TestEnv
