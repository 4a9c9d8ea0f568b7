#ifndef DEVBASE_H
#define DEVBASE_H
// Placeholder device object until the device layer lands.

#include <QObject>
#include <QString>

#include "config/Types.h"

class DevBase : public QObject
{
    Q_OBJECT
public:
    explicit DevBase(QObject* parent = nullptr) : QObject(parent) {}
    static DevBase* createDevice(int model);
    static bool queryModelSupport(int model) { return model == 0 || (model >= 101 && model <= 104); }

    QString devName = "Demo";
    int devModel = DevModelDemo;
    bool connected = false;

    void smpStopAndWait() {}
    void devStandby() {}
};

#endif
