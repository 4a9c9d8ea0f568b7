#include "decode/ExportDataProMng.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>

#include "data/Threads.h"

namespace {

// A file made beside the target before the export is marked with the
// earliest time: a plug-in that opens it to write (truncating it) or writes
// to it gives it the time of that, so one that never did can still be told.
void markUnwritten(const QByteArray& name)
{
    const struct timespec epoch[2] = {{0, 0}, {0, 0}};
    ::utimensat(AT_FDCWD, name.constData(), epoch, 0);
}

bool writtenTo(const QByteArray& name)
{
    struct stat st;
    return ::stat(name.constData(), &st) == 0 && S_ISREG(st.st_mode)
           && (st.st_size > 0 || st.st_mtim.tv_sec != 0 || st.st_mtim.tv_nsec != 0);
}

} // namespace

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
    markUnwritten(name);
    mResults->StartExportThread(name.constData(), base, option);
    if (!Threads::start(this, QThread::InheritPriority)) {
        // The system refused the thread: the export fails, announced as
        // above, and nothing waits for the thread.
        mFailed.store(true);
        QMetaObject::invokeMethod(this, &ExportDataProMng::slotQuit, Qt::QueuedConnection);
    }
}

void ExportDataProMng::run()
{
    const QByteArray name = QFile::encodeName(mPath);
    mResults->GenerateExportFile(name.constData(), mBase, mOption);
    // A plug-in that could not write says so through the library; one that
    // forgot to leaves no file behind, or the one made for it untouched,
    // which is a failure too (unless the user cancelled before anything was
    // written).
    bool failed = mResults->ExportFailed();
    if (!failed && !mCancelled.load() && !writtenTo(name))
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
