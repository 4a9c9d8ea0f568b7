#include "support/CaptureSignals.h"

#include "device/DevBase.h"

CaptureSignals::CaptureSignals(DevBase* dev)
    : sta(this, &CaptureSignals::smpSta), ready(this, &CaptureSignals::smpDataReady)
{
    connect(dev, &DevBase::sigSmpSta, this, &CaptureSignals::smpSta, Qt::QueuedConnection);
    connect(dev, &DevBase::sigSmpDataReady, this, &CaptureSignals::smpDataReady, Qt::QueuedConnection);
}
