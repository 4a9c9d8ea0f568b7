#include "device/DevBase.h"

#include "config/Config.h"

DevBase* DevBase::createDevice(int)
{
    DevBase* d = new DevBase;
    Config::saveGlobalParam("devModel", QString::number(d->devModel));
    return d;
}
