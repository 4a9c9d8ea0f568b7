#ifndef DEVSUPPORT_H
#define DEVSUPPORT_H
// The USB transport: the only code that talks to libusb. Finds and opens the
// analyzer, offers vendor control transfers, controller RAM and bulk writes,
// and a double-buffered asynchronous bulk read that hands each filled buffer
// to a receiver. Hot-plug comes from the UsbMonitor thread.

#include <QObject>
#include <QVector>
#include <atomic>

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;
class UsbMonitor;

// Receiver of the asynchronous bulk read. Buffers are allocated with malloc;
// the receiver owns each buffer it gets and releases it with free.
class InterfaceDevCallback
{
public:
    virtual ~InterfaceDevCallback() = default;
    // Called once after the bulk reads are queued.
    virtual void devCbPostSmpStart() {}
    // One filled buffer.
    virtual void devCbAutoBulkRead(unsigned char* buffer, int length);
};

class DevSupport : public QObject
{
    Q_OBJECT
public:
    typedef int (*NotifyCallback)();

    static constexpr unsigned short VendorId = 0x6B87;
    // Transport error codes.
    // ErrNoThread: the system refused a thread the step needs (a process or
    // task limit); the step can be tried again once threads are free.
    enum { ErrNone = 0, ErrNoDevice = 1, ErrTransfer = 2, ErrBulkRead = 3, ErrNoMemory = 4,
           ErrNoAccess = 6, ErrNoThread = 11 };

    explicit DevSupport(QObject* parent = nullptr);
    ~DevSupport() override;

    // 1 a device was newly opened, 0 nothing changed, -1 the open device is gone.
    int devRetrieve();
    // True when the last devRetrieve found a device it may open but was
    // refused for lack of permission on its device node (no udev rule).
    bool accessDenied() const { return denied; }
    bool devInitCheck();

    // The device layer reaches the hardware only through these virtual calls,
    // so tests can put a recording stand-in in their place.
    virtual int ctrlRead(unsigned char request, unsigned short value, unsigned char* data, int length,
                         int* transferred = nullptr);
    virtual int ctrlWrite(unsigned char request, unsigned short value, unsigned char* data, int length,
                          int* transferred = nullptr);
    virtual int ctrlWriteRAM(unsigned int address, const unsigned char* data, int length);
    virtual int manuBulkWrite(unsigned char* data, int length, int* transferred);
    virtual void setAutoReadBufSize(qint64 bitsPerSecond);
    // total 0: read until the device sends a short transfer; otherwise until
    // total bytes arrived or a transfer came back short.
    virtual int autoBulkRead(qint64 total);

    bool registerNotification(NotifyCallback callback);
    bool isDevChangeNotification(void*) const { return false; }
    static bool getSystemFontName(char*, int) { return false; }

    void CloseDevice();

    bool initOk() const { return ctx != nullptr; }
    bool isOpen() const { return opened.load(); }
    int openedBus() const { return devBus; }
    int openedAddress() const { return devAddress; }
    UsbMonitor* monitor() const { return usbMonitor; }
    // Whether the thread that runs libusb's events (device-list changes,
    // completions of asynchronous reads) runs; one the system refused is
    // tried again. GUI thread.
    bool startEventThread();

    std::atomic<bool> devReady{false};
    unsigned short vendorId = 0;
    unsigned short productId = 0;
    unsigned short usbVersion = 0;
    unsigned char epBulkOut = 0x02;
    unsigned char epBulkIn = 0x86;
    std::atomic<int> bulkSize{1048576};
    InterfaceDevCallback* receiver = nullptr;
    // Product ids devRetrieve may open; empty: any device of the vendor.
    QVector<unsigned short> acceptedProducts;

private:
    // Every operation on the handle holds a use count; CloseDevice marks the
    // device closed and waits until no operation uses the handle any more.
    class Use;
    int control(unsigned char type, unsigned char request, unsigned short value,
                unsigned short index, unsigned char* data, int length, unsigned timeout,
                int* transferred);
    // 0 opened and checked, else the libusb error of the open, or 1 when
    // the opened device failed its check.
    int tryOpen(libusb_device* dev);

    libusb_context* ctx = nullptr;
    libusb_device* device = nullptr;          // referenced while open
    libusb_device_handle* handle = nullptr;
    std::atomic<bool> opened{false};
    std::atomic<int> users{0};
    std::atomic<bool> claimed{false};
    int devBus = -1;
    int devAddress = -1;
    bool denied = false;
    UsbMonitor* usbMonitor = nullptr;
};

#endif
