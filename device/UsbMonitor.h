#ifndef USBMONITOR_H
#define USBMONITOR_H
// Hot-plug monitor: runs libusb's event loop (which also completes the
// asynchronous bulk transfers) and signals when the set of USB devices
// changes. The signal reaches the GUI thread queued, where the registered
// callback runs.

#include <QThread>
#include <QVector>
#include <atomic>

struct libusb_context;

class UsbMonitor : public QThread
{
    Q_OBJECT
public:
    typedef int (*NotifyCallback)();

    explicit UsbMonitor(libusb_context* ctx, QObject* parent = nullptr);
    ~UsbMonitor() override;

    void setCallback(NotifyCallback cb) { callback.store(cb); }
    // Ends the event loop and waits for the thread.
    void stop();
    // Bus and address of every device, sorted: a device that leaves and one
    // that arrives between two looks still change it.
    static QVector<int> deviceSignature(libusb_context* ctx);

signals:
    void sigDevListChanged();

public slots:
    void slotDevListChanged();

protected:
    void run() override;

private:
    libusb_context* ctx;
    std::atomic<NotifyCallback> callback{nullptr};
    std::atomic<bool> quit{false};
    QVector<int> last; // taken at construction: a device added before the
                       // thread runs is still a change
};

#endif
