#include "config/PartFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString PartFile::linkEnd(const QString& path)
{
    QFileInfo info(path);
    for (int depth = 0; info.isSymLink(); ++depth) {
        if (depth == 40)
            return QString();
        info.setFile(info.symLinkTarget());
    }
    return info.filePath();
}

PartFile::PartFile(const QString& t)
{
    const QString end = linkEnd(t);
    if (end.isEmpty()) {
        err = ELOOP;
        return;
    }
    const QFileInfo info(end);
    if (info.exists() && !info.isFile()) {
        err = info.isDir() ? EISDIR : EINVAL;
        return;
    }
    // A file we may not write is not replaced behind its back by a rename;
    // the system says why (no permission, a read-only file system).
    if (info.exists() && ::access(QFile::encodeName(end).constData(), W_OK) != 0) {
        err = errno;
        return;
    }
    target = info.filePath();
    // A free name beside the target, created here so that nothing else
    // takes it. O_EXCL also refuses a link planted under that name.
    for (int i = 0; i < 100; ++i) {
        const QString name = info.path() + QLatin1Char('/') + partName(info.fileName(), i);
        const int fd = ::open(QFile::encodeName(name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            part = name;
            return;
        }
        if (errno != EEXIST) {
            err = errno;   // the directory cannot take a file
            return;
        }
    }
    err = EEXIST;
}

PartFile::~PartFile()
{
    if (!committed && !part.isEmpty())
        QFile::remove(part);
}

bool PartFile::commit()
{
    if (part.isEmpty() || committed)
        return false;
    const QByteArray from = QFile::encodeName(part);
    const QByteArray to = QFile::encodeName(target);
    struct stat st;
    if (::stat(to.constData(), &st) == 0)
        ::chmod(from.constData(), st.st_mode & 07777);
    // rename(2) replaces the target in one step.
    committed = std::rename(from.constData(), to.constData()) == 0;
    err = committed ? 0 : errno;
    return committed;
}

QString PartFile::partName(const QString& targetName, int attempt)
{
    // Cut on a character border of the name as it is stored.
    const QByteArray bytes = QFile::encodeName(targetName);
    int n = qMin(int(bytes.size()), NameBytes);
    while (n > 0 && n < bytes.size() && (uchar(bytes[n]) & 0xC0) == 0x80)
        --n;
    QString name = QLatin1Char('.') + QFile::decodeName(bytes.left(n));
    if (attempt > 0)
        name += QLatin1Char('.') + QString::number(attempt);
    return name + QLatin1String(".part");
}
