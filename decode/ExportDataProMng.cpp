#include "decode/ExportDataProMng.h"

#include <QFile>
#include <QFileInfo>

ExportDataProMng::ExportDataProMng(AnalyzerResults* results, QObject* parent)
    : QThread(parent), mResults(results), mBase(Hexadecimal), mOption(0), mCancelled(false), mFailed(false)
{
    // Emitted on the export thread, handled on the thread this object lives on.
    connect(this, &ExportDataProMng::sigQuit, this, &ExportDataProMng::slotQuit);
}

ExportDataProMng::~ExportDataProMng()
{
    if (isRunning()) {
        cancelExport();
        wait();
    }
}

void ExportDataProMng::startExportThread(const QString& path, DisplayBase base, unsigned int option)
{
    mPath = path;
    mBase = base;
    mOption = option;
    mCancelled.store(false);
    mFailed.store(false);
    if (!mResults) {
        mFailed.store(true);
        QMetaObject::invokeMethod(this, &ExportDataProMng::slotQuit, Qt::QueuedConnection);
        return;
    }
    const QByteArray name = QFile::encodeName(path);
    mResults->StartExportThread(name.constData(), base, option);
    start(QThread::InheritPriority);
}

void ExportDataProMng::run()
{
    const QByteArray name = QFile::encodeName(mPath);
    mResults->GenerateExportFile(name.constData(), mBase, mOption);
    // A plug-in that could not write says so through the library; one that
    // forgot to leaves no file behind, which is a failure too (unless the
    // user cancelled before anything was written).
    bool failed = mResults->ExportFailed();
    if (!failed && !mCancelled.load() && !QFileInfo(mPath).isFile())
        failed = true;
    mFailed.store(failed);
    emit sigQuit();
}

void ExportDataProMng::cancelExport()
{
    mCancelled.store(true);
    if (mResults)
        mResults->CancelExport();
}

double ExportDataProMng::getProgress() const
{
    return mResults ? mResults->GetProgress() : 0.0;
}

void ExportDataProMng::slotQuit()
{
    if (isRunning())
        wait();
    emit sigDeleteExportDataProMng();
}
