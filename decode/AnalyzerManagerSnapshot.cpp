#include "decode/AnalyzerManager.h"

#include <QHash>
#include <QMetaMethod>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include "decode/AnalyzerManagerPriv.h"
#include "decode/ExportDataProMng.h"

namespace {

// What other threads may read of the analyzers in use, published by the GUI
// thread after every change.
struct SnapEntry {
    Analyzer* analyzer;
    int format;
    bool show;
    CreateAnalyzerFn create;
    DestroyAnalyzerFn destroy;
    QByteArray settings;
};

QMutex gSnapMutex;
QVector<SnapEntry> gSnap;
bool gChanging = false;
// Simulation copies still out, each with the destroy function of its own
// plug-in.
QHash<Analyzer*, DestroyAnalyzerFn> gSimuLive;

} // namespace

// ---------------------------------------------------------------- snapshot and change scopes

void AnalyzerManager::publishSnapshot()
{
    QVector<SnapEntry> snap;
    snap.reserve(mUsing.size());
    for (const AnalyzerInterface& e : mUsing) {
        AnalyzerSettings* s = e.analyzer ? e.analyzer->GetAnalyzerSettings() : nullptr;
        const char* text = s ? s->SaveSettings() : nullptr;
        snap.append(SnapEntry{e.analyzer, e.format.toInt(), e.show, e.file.CreateAnalyzer, e.file.DestroyAnalyzer,
                              QByteArray(text ? text : "")});
    }
    QMutexLocker lock(&gSnapMutex);
    gSnap.swap(snap);
}

void AnalyzerManager::beginChange(Analyzer* only)
{
    if (mChangeDepth++ > 0)
        return;
    {
        // From now on no other thread picks up analyzers or results.
        QMutexLocker lock(&gSnapMutex);
        gChanging = true;
    }
    // An export of results that are about to go ends first; an export of
    // another analyzer's results may go on.
    AnalyzerResults* changing = nullptr;
    if (mExport && only)
        only->GetAnalyzerResults(&changing);
    if (mExport && (!only || mExport->results() == changing))
        finishExport(true);
    modifyHandshake();
}

void AnalyzerManager::endChange()
{
    if (--mChangeDepth > 0)
        return;
    publishSnapshot();
    QMutexLocker lock(&gSnapMutex);
    gChanging = false;
}

void AnalyzerManager::modifyHandshake()
{
    mModify.store(true);
    emit modifyPrepared();
    // Without a Decoded Results thread listening there is nobody to wait for.
    if (!isSignalConnected(QMetaMethod::fromSignal(&AnalyzerManager::modifyPrepared))) {
        mModify.store(false);
        return;
    }
    while (mModify.load())
        QThread::msleep(1);
}

// ---------------------------------------------------------------- class-wide queries

QVector<Analyzer*> AnalyzerManager::getEnaAnalyzers()
{
    QVector<Analyzer*> v;
    QMutexLocker lock(&gSnapMutex);
    if (gChanging)
        return v;
    for (const SnapEntry& s : gSnap)
        if (s.show && s.analyzer)
            v.append(s.analyzer);
    return v;
}

int AnalyzerManager::getAnalyzerDisplayFormat(Analyzer* anly)
{
    if (!anly)
        return -1;
    QMutexLocker lock(&gSnapMutex);
    for (const SnapEntry& s : gSnap)
        if (s.analyzer == anly)
            return s.format;
    return -1;
}

void AnalyzerManager::setProtocolShow(int index)
{
    if (!me || index < 0 || index >= me->mUsing.size())
        return;
    me->mUsing[index].show = !me->mUsing[index].show;
    me->publishSnapshot();
}

QStringList AnalyzerManager::getTotalProtocol()
{
    QStringList list;
    if (!me)
        return list;
    for (int i = 0; i < me->mUsing.size(); ++i)
        list << me->getUsingAlias(i) + "," + (me->mUsing[i].show ? "1" : "0");
    return list;
}

QVector<Analyzer*> AnalyzerManager::getUsingChnAnalyzers(int chn)
{
    QVector<Analyzer*> v;
    if (!me || chn < 0)
        return v;
    for (const AnalyzerInterface& e : me->mUsing) {
        AnalyzerSettings* s = e.analyzer ? e.analyzer->GetAnalyzerSettings() : nullptr;
        if (!s)
            continue;
        const U32 n = s->GetSettingsInterfacesCount();
        for (U32 k = 0; k < n; ++k) {
            AnalyzerSettingInterface* itf = s->GetSettingsInterface(k);
            if (itf && itf->GetType() == INTERFACE_CHANNEL) {
                const Channel c = static_cast<AnalyzerSettingInterfaceChannel*>(itf)->GetChannel();
                if (!c.IsUndefined() && c.mChannelIndex == U32(chn)) {
                    v.append(e.analyzer);
                    break;
                }
            }
        }
    }
    return v;
}

void AnalyzerManager::clearAnalyzerResult()
{
    if (!me)
        return;
    ChangeScope scope(me);
    for (int i = 0; i < me->mUsing.size(); ++i) {
        if (me->anlyThreadIsRuning(i))
            me->stopAnlyThread(i);
        if (me->mUsing[i].analyzer)
            me->mUsing[i].analyzer->SetupResults();
    }
}

// ---------------------------------------------------------------- simulation copies

QVector<Analyzer*> AnalyzerManager::getAllSimuAnalyzers()
{
    QVector<Analyzer*> v;
    QMutexLocker lock(&gSnapMutex);
    for (const SnapEntry& s : gSnap) {
        if (!s.create || !s.destroy)
            continue;
        Analyzer* a = s.create();
        if (!a)
            continue;
        if (AnalyzerSettings* st = a->GetAnalyzerSettings())
            st->LoadSettings(s.settings.constData());
        gSimuLive.insert(a, s.destroy);
        v.append(a);
    }
    return v;
}

void AnalyzerManager::deleteSimuAnalyzers(QVector<Analyzer*>& analyzers)
{
    QVector<QPair<Analyzer*, DestroyAnalyzerFn>> gone;
    {
        QMutexLocker lock(&gSnapMutex);
        for (Analyzer* a : analyzers) {
            auto it = gSimuLive.find(a);
            if (it == gSimuLive.end())
                continue; // not one of ours: leave it alone
            gone.append(qMakePair(a, it.value()));
            gSimuLive.erase(it);
        }
    }
    for (const auto& g : gone)
        g.second(g.first);
    analyzers.clear();
}
