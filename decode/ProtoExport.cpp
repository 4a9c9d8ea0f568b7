#include "decode/ProtoExport.h"

#include "config/PartFile.h"
#include "decode/AnalyzerManager.h"

ProtoExport::ProtoExport(const QString& target, std::unique_ptr<PartFile> part, QObject* parent)
    : QObject(parent), mTarget(target), mPart(std::move(part))
{
}

ProtoExport::~ProtoExport() = default;

ProtoExport* ProtoExport::start(AnalyzerManager* host, AnalyzerResults* results, const QString& target,
                                DisplayBase base, unsigned int option)
{
    if (!host || !results || target.isEmpty())
        return nullptr;
    auto part = std::make_unique<PartFile>(target);
    if (!part->isValid())
        return nullptr;
    const QString partPath = part->path();
    // Connected before the start: the end is announced on the GUI thread,
    // never from inside the start.
    auto* job = new ProtoExport(target, std::move(part), host);
    connect(host, &AnalyzerManager::exportFinished, job, &ProtoExport::slotExportFinished);
    if (!AnalyzerManager::exportAnlyDataFile(results, partPath, base, option)) {
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
    const bool written = ok && !mStopped && !AnalyzerManager::lastExportCancelled() && mPart->commit();
    mPart.reset();   // an uncommitted part goes
    return written ? Written : mStopped ? Stopped : Failed;
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
