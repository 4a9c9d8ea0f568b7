#include "decode/ProtoExport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cstdio>

#include "decode/AnalyzerManager.h"

ProtoExport::ProtoExport(const QString& target, const QString& part, QObject* parent)
    : QObject(parent), mTarget(target), mPart(part)
{
}

QString ProtoExport::partPath(const QString& target)
{
    const QFileInfo info(target);
    const QDir dir = info.dir();
    for (;;) {
        const QString name = "." + info.fileName() + "." + QString::number(QRandomGenerator::global()->generate(), 36)
                             + ".part";
        if (!QFileInfo::exists(dir.filePath(name)))
            return dir.filePath(name);
    }
}

ProtoExport* ProtoExport::start(AnalyzerManager* host, AnalyzerResults* results, const QString& target,
                                DisplayBase base, unsigned int option)
{
    if (!host || !results || target.isEmpty())
        return nullptr;
    const QString part = partPath(target);
    // Connected before the start: the end is announced on the GUI thread,
    // never from inside the start.
    auto* job = new ProtoExport(target, part, host);
    connect(host, &AnalyzerManager::exportFinished, job, &ProtoExport::slotExportFinished);
    if (!AnalyzerManager::exportAnlyDataFile(results, part, base, option)) {
        delete job;
        return nullptr;
    }
    return job;
}

void ProtoExport::stop()
{
    if (mDone)
        return;
    mStopped = true;
    AnalyzerManager::cancelExport();
}

ProtoExport::Outcome ProtoExport::settle(bool ok)
{
    // Cancelled without the user's Stop: the program cut it short (a new
    // decode, a removal or a device change came first), which is no success.
    if (ok && !mStopped && !AnalyzerManager::lastExportCancelled()) {
        const QByteArray part = QFile::encodeName(mPart);
        const QByteArray target = QFile::encodeName(mTarget);
        if (QFileInfo::exists(mTarget))
            QFile::setPermissions(mPart, QFile::permissions(mTarget));
        // rename(2) replaces the target in one step.
        if (std::rename(part.constData(), target.constData()) == 0)
            return Written;
    }
    QFile::remove(mPart);
    return mStopped ? Stopped : Failed;
}

void ProtoExport::slotExportFinished(bool ok)
{
    if (mDone)
        return;
    mDone = true;
    disconnect(parent(), nullptr, this, nullptr);
    const Outcome outcome = settle(ok);
    emit finished(outcome);
    deleteLater();
}
