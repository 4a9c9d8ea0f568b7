#include "decode/AnalyzerManager.h"

#include "decode/AnalyzerManagerPriv.h"
#include "decode/AnalyzerProgMng.h"
#include "decode/ExportDataProMng.h"

// ---------------------------------------------------------------- decoding

void AnalyzerManager::startDecode()
{
    ChangeScope scope(this);
    for (int i = 0; i < mUsing.size(); ++i)
        decodeOne(i);
}

void AnalyzerManager::startDecode(const DataForAnly& data)
{
    ChangeScope scope(this);   // startDecode() nests in it: one handshake
    setDataForAnly(data);
    startDecode();
}

void AnalyzerManager::setDataForAnly(const DataForAnly& data)
{
    stopAllRuns();
    mDataForAnly = data;
}

void AnalyzerManager::startDecode(int index)
{
    if (index < 0 || index >= mUsing.size())
        return;
    ChangeScope scope(this, mUsing[index].analyzer);
    decodeOne(index);
}

void AnalyzerManager::decodeOne(int index)
{
    AnalyzerInterface& e = mUsing[index];
    if (!e.analyzer)
        return;
    // Results are replaced below: a run still writing them ends first.
    if (anlyThreadIsRuning(index))
        stopAnlyThread(index);
    e.analyzer->Init(&mDataForAnly, nullptr, e.progMng);
    e.analyzer->SetupResults();
    e.analyzer->InitialWorkerThread();
    e.analyzer->StartProcessing();
    noteDecodeStart(index);
}

void AnalyzerManager::noteDecodeStart(int index)
{
    AnalyzerInterface& e = mUsing[index];
    // A refused thread has ended its run already (AnalyzerProgMng): no
    // notice of it comes, and nothing waits for it.
    const bool refused = e.progMng && e.progMng->refused();
    if (refused)
        e.progMng->forgetRun();
    if (refused == e.decodeRefused)
        return;
    e.decodeRefused = refused;
    // Announced once the change scope has ended, as the end of a run is.
    if (mDecodedNotice)
        return;
    mDecodedNotice = true;
    QMetaObject::invokeMethod(this, [this] {
        mDecodedNotice = false;
        emit analyzerDecodedChanged();
    }, Qt::QueuedConnection);
}

bool AnalyzerManager::decodeRefused(int index) const
{
    return index >= 0 && index < mUsing.size() && mUsing[index].decodeRefused;
}

void AnalyzerManager::slotStopWorkThread(AnalyzerProgMng* mng, Analyzer* anly, quint64 token)
{
    Q_UNUSED(mng);
    Q_UNUSED(anly);
    // The notice names its run: only the entry whose current run it is
    // matters. A notice of a run that was stopped, superseded or removed
    // meanwhile is dropped without touching any object.
    int index = -1;
    for (int i = 0; i < mUsing.size(); ++i)
        if (token != 0 && mUsing[i].progMng && mUsing[i].progMng->runToken() == token) {
            index = i;
            break;
        }
    if (index < 0)
        return;
    AnalyzerInterface& e = mUsing[index];
    // The worker returns right after its notice; let it leave.
    e.progMng->wait();
    e.progMng->forgetRun();
    if (e.analyzer && e.analyzer->NeedsRerun()) {
        ChangeScope scope(this, e.analyzer);
        AnalyzerInterface& r = mUsing[index];
        r.analyzer->SetupResults();
        r.analyzer->InitialWorkerThread();
        r.analyzer->StartProcessing();
        noteDecodeStart(index);
    }
    emit analyzerDecodedChanged();
}

void AnalyzerManager::stopAnlyThread(int index)
{
    if (index < 0 || index >= mUsing.size())
        return;
    AnalyzerInterface& e = mUsing[index];
    if (!e.progMng)
        return;
    sInterrupt.store(true);
    if (e.analyzer)
        e.analyzer->StopWorkerThread();
    // The library ends the run at the decoder's next call into it; a run
    // that had already ended by itself has nothing to acknowledge, and
    // waiting for a finished thread returns at once.
    e.progMng->wait();
    // Whatever this run reported (a notice may still be queued) is void.
    e.progMng->forgetRun();
    sInterrupt.store(false);
}

void AnalyzerManager::stopAllAnalyzer()
{
    if (me)
        me->stopAllRuns();
}

void AnalyzerManager::stopAllRuns()
{
    for (int i = 0; i < mUsing.size(); ++i)
        if (anlyThreadIsRuning(i))
            stopAnlyThread(i);
}

bool AnalyzerManager::isInterruptAnly()
{
    return sInterrupt.load();
}

void AnalyzerManager::setInterruptAnly(bool on)
{
    sInterrupt.store(on);
}

// ---------------------------------------------------------------- export

bool AnalyzerManager::exportAnlyDataFile(AnalyzerResults* results, const QString& path, DisplayBase base,
                                         unsigned int option)
{
    if (!me || !results || path.isEmpty() || me->mExport)
        return false;
    me->mExport = new ExportDataProMng(results, me);
    connect(me->mExport, &ExportDataProMng::sigDeleteExportDataProMng, me,
            &AnalyzerManager::slotDeleteExportDataProMng);
    me->mExport->startExportThread(path, base, option);
    return true;
}

void AnalyzerManager::cancelExport()
{
    if (me && me->mExport)
        me->mExport->cancelExport();
}

void AnalyzerManager::endExport()
{
    if (me)
        me->finishExport(true);
}

int AnalyzerManager::getExportFileProgress()
{
    if (!me || !me->mExport)
        return 100;
    double p = me->mExport->getProgress();
    if (!(p >= 0.0))
        p = 0.0;
    // 100 means "gone": a finished export still being wound up reads 99.
    const int pct = int(p * 100.0);
    return pct > 99 ? 99 : pct;
}

bool AnalyzerManager::lastExportFailed()
{
    return me ? me->mLastExportFailed : false;
}

bool AnalyzerManager::lastExportCancelled()
{
    return me ? me->mLastExportCancelled : false;
}

void AnalyzerManager::finishExport(bool waitFirst)
{
    ExportDataProMng* ex = mExport;
    if (!ex)
        return;
    if (waitFirst && ex->isRunning()) {
        ex->cancelExport();
        ex->wait();
    }
    mExport = nullptr;
    mLastExportFailed = ex->exportFailed();
    mLastExportCancelled = ex->wasCancelled();
    // Called from the export object's own signal: delete it later. A
    // pending quit notice goes with it.
    ex->disconnect(this);
    ex->deleteLater();
    emit exportFinished(!mLastExportFailed);
}

void AnalyzerManager::slotDeleteExportDataProMng()
{
    if (mExport && sender() == mExport)
        finishExport(false);
}
