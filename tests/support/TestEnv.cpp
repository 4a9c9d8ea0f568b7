#include "support/TestEnv.h"

#include <QDir>
#include <QStandardPaths>

namespace TestEnv {

QString isolateUserData()
{
    static QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    QStandardPaths::setTestModeEnabled(true);
    return dir.path();
}

QString dataPath(const QString& name)
{
    return QString::fromLocal8Bit(qgetenv("CORVENA_TESTDATA")) + "/" + name;
}

QString sharedDataPath(const QString& name)
{
    return QString::fromLocal8Bit(qgetenv("CORVENA_SHARED_TESTDATA")) + "/" + name;
}

} // namespace TestEnv
