#ifndef DEVSUPPORT_H
#define DEVSUPPORT_H
// Placeholder USB transport until the real one lands: no bus access.
// The device layer reaches the hardware only through the virtual calls
// below, so tests can put a recording stand-in in their place.

#include <QObject>

class DevSupport : public QObject
{
    Q_OBJECT
public:
    typedef int (*NotifyCallback)();
    explicit DevSupport(QObject* parent = nullptr) : QObject(parent) {}
    ~DevSupport() override = default;
    void registerNotification(NotifyCallback cb) { notify = cb; }
    bool isDevChangeNotification(void*) const { return false; }

    // One vendor control transfer. Returns 0 on success, 1 when no device is
    // open, 2 when the transfer failed; `transferred` (when not null)
    // receives the byte count.
    virtual int ctrlRead(unsigned char request, unsigned short value, unsigned char* data,
                         int length, int* transferred)
    {
        (void)request; (void)value; (void)data; (void)length;
        if (transferred)
            *transferred = 0;
        return 1;
    }
    virtual int ctrlWrite(unsigned char request, unsigned short value, unsigned char* data,
                          int length, int* transferred)
    {
        (void)request; (void)value; (void)data; (void)length;
        if (transferred)
            *transferred = 0;
        return 1;
    }
    // Chooses the bulk transfer size: bits <= 0 for buffer mode, else the
    // stream's bit rate.
    virtual void setAutoReadBufSize(long long bitsPerSecond) { (void)bitsPerSecond; }

private:
    NotifyCallback notify = nullptr;
};

#endif
