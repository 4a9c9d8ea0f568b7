#ifndef DEVSUPPORT_H
#define DEVSUPPORT_H
// Placeholder USB transport until the real one lands: no bus access.

#include <QObject>

class DevSupport : public QObject
{
    Q_OBJECT
public:
    typedef int (*NotifyCallback)();
    explicit DevSupport(QObject* parent = nullptr) : QObject(parent) {}
    void registerNotification(NotifyCallback cb) { notify = cb; }
    bool isDevChangeNotification(void*) const { return false; }

private:
    NotifyCallback notify = nullptr;
};

#endif
