#ifndef DEVINIT_H
#define DEVINIT_H
// Placeholder device detector until the USB layer lands.

#include <QObject>

class DevInit : public QObject
{
    Q_OBJECT
public:
    explicit DevInit(QObject* parent = nullptr) : QObject(parent) {}
    void init() {}
};

#endif
