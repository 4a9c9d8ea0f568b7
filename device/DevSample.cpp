// Conversion wrappers of the device: every fill step works on the spare
// store, every query on the shown one. Only the GUI thread swaps or clears
// the shown store; acquisition threads hand the swap over and wait for it.

#include <QThread>

#include "data/SmpData.h"
#include "device/DevBase.h"

bool DevBase::dataConvertStart(int trgRecordIndex)
{
    SmpData* f = fillData();
    if (!f)
        return false;
    return f->dataConvertStart(trgRecordIndex, getSmpFrequ(), chnEna) != 0;
}

bool DevBase::dataConvertSimu(int chn, const int* runs, int count, long long* pos, bool extendLast)
{
    SmpData* f = fillData();
    if (!f || chn < 0 || chn >= f->chnNum || !f->chnData[chn])
        return true;   // no such channel in this capture: nothing to store
    return smpDataConvertSimu(f, chn, runs, count, pos, extendLast) != 0;
}

void DevBase::dataSetInitLevel(int chn, int level)
{
    SmpData* f = fillData();
    if (f && chn >= 0 && chn < f->chnNum)
        f->setInitLevel(chn, level);
}

void DevBase::dataSetSmpDepth(long long depth)
{
    if (SmpData* f = fillData())
        f->smpDepth = depth;
}

void DevBase::dataSetTrgPosition(long long pos)
{
    if (SmpData* f = fillData())
        f->trgPosition = pos;
}

void DevBase::dataConvertComplete(bool keep)
{
    SmpData* f = fillData();
    if (!f)
        return;
    f->dataConvertComplete(getExpectDepth());
    if (!keep) {
        f->clearData();
        return;
    }
    if (QThread::currentThread() == thread()) {
        applySwap();
        return;
    }
    // The shown store may be read on the GUI side right now: swap there, in
    // order before the sigSmpDataReady(0) that the thread emits next.
    swapPending = true;
    const unsigned gen = smpGeneration;
    QMetaObject::invokeMethod(
        this,
        [this, gen] {
            if (gen != smpGeneration)
                return;   // a newer capture has started; this one is gone
            applySwap();
            swapDone.release();
        },
        Qt::QueuedConnection);
}

bool DevBase::waitStoresSwapped()
{
    if (!swapPending)
        return true;
    while (!swapDone.tryAcquire(1, 5)) {
        if (smpStopReq)
            return false;
    }
    swapPending = false;
    return true;
}

void DevBase::applySwap()
{
    if (shownStoreGate)
        shownStoreGate();
    SmpData* old = shownData();
    smpDataSel = (smpDataSel == 2) ? 1 : 2;
    if (old)
        old->clearData();
}

void DevBase::toggleSmpData()
{
    applySwap();
}

void DevBase::clearSmpData()
{
    if (shownStoreGate)
        shownStoreGate();
    for (SmpData* s : smpData)
        if (s)
            s->clearData();
}

bool DevBase::hasValidData() const
{
    const SmpData* s = shownData();
    return s && s->smpDepth >= 1;
}
