#include "device/DevSupport.h"

#include <QSemaphore>
#include <QThread>
#include <libusb-1.0/libusb.h>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "data/Threads.h"
#include "device/UsbMonitor.h"

void InterfaceDevCallback::devCbAutoBulkRead(unsigned char* buffer, int)
{
    free(buffer);
}

// Marks one operation on the handle; `ok` tells whether the device was open.
class DevSupport::Use
{
public:
    explicit Use(DevSupport* s) : sup(s)
    {
        sup->users.fetch_add(1);
        ok = sup->opened.load();
    }
    ~Use() { sup->users.fetch_sub(1); }
    bool ok = false;

private:
    DevSupport* sup;
};

DevSupport::DevSupport(QObject* parent) : QObject(parent)
{
    // A failed initialisation leaves ctx null: every later call fails cleanly.
    libusb_context* c = nullptr;
    if (libusb_init(&c) == 0)
        ctx = c;
    usbMonitor = new UsbMonitor(ctx);
    startEventThread();
}

bool DevSupport::startEventThread()
{
    if (!ctx)
        return false;
    if (usbMonitor->isRunning())
        return true;
    if (Threads::start(usbMonitor))
        return true;
    // Without it nothing completes an asynchronous read and no plug-in is
    // noticed: every search (a capture file closed, the next start) tries
    // again, and reads refuse to start meanwhile.
    qWarning("USB: the system refused the event thread");
    return false;
}

DevSupport::~DevSupport()
{
    // Close first: an asynchronous read still in flight needs the event
    // thread to complete its cancelled transfers.
    CloseDevice();
    delete usbMonitor;
    usbMonitor = nullptr;
    if (ctx)
        libusb_exit(ctx);
    ctx = nullptr;
}

bool DevSupport::registerNotification(NotifyCallback callback)
{
    usbMonitor->setCallback(callback);
    return true;
}

int DevSupport::devRetrieve()
{
    denied = false;
    if (!ctx)
        return 0;
    startEventThread();
    libusb_device** list = nullptr;
    ssize_t n = libusb_get_device_list(ctx, &list);
    if (n < 0)
        n = 0;
    auto freeList = [&] {
        if (list)
            libusb_free_device_list(list, 1);
        list = nullptr;
    };
    if (n == 0) {
        freeList();
        if (opened.load()) {
            CloseDevice();
            return -1;
        }
        return 0;
    }
    if (opened.load()) {
        // The open device is identified by its libusb device, which stays
        // distinct from any device that later takes the same bus address.
        bool found = false;
        for (ssize_t i = 0; i < n && !found; ++i)
            found = list[i] == device;
        freeList();
        if (found)
            return 0;
        CloseDevice();
        return -1;
    }
    for (ssize_t i = 0; i < n; ++i) {
        libusb_device_descriptor desc;
        if (libusb_get_device_descriptor(list[i], &desc) != 0 || desc.idVendor != VendorId)
            continue;
        if (!acceptedProducts.isEmpty() && !acceptedProducts.contains(desc.idProduct))
            continue;
        vendorId = desc.idVendor;
        productId = desc.idProduct;
        usbVersion = desc.bcdUSB;
        if (productId == 0x01A3) {
            epBulkOut = 0x00;
            epBulkIn = 0x82;
        } else {
            epBulkOut = 0x02;
            epBulkIn = 0x86;
        }
        const int r = tryOpen(list[i]);
        if (r == 0) {
            denied = false;
            freeList();
            return 1;
        }
        denied = denied || r == LIBUSB_ERROR_ACCESS;
    }
    freeList();
    return 0;
}

int DevSupport::tryOpen(libusb_device* dev)
{
    libusb_device_handle* h = nullptr;
    int err = 0;
    // Tried again for a while: a device that has just appeared may not yet
    // have the permissions its udev rule gives it.
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (attempt)
            QThread::msleep(50);
        err = libusb_open(dev, &h);
        if (err == 0)
            break;
        h = nullptr;
    }
    if (!h)
        return err;
    handle = h;
    device = libusb_ref_device(dev);
    devBus = libusb_get_bus_number(dev);
    devAddress = libusb_get_device_address(dev);
    devReady.store(false);
    claimed.store(false);
    opened.store(true);

    bool ok = true;
    if (libusb_kernel_driver_active(handle, 0) == 1)
        ok = libusb_detach_kernel_driver(handle, 0) == 0;
    if (ok && devInitCheck()) {
        if (devReady.load()) {
            libusb_clear_halt(handle, epBulkOut);
            libusb_clear_halt(handle, epBulkIn);
        }
        return 0;
    }
    CloseDevice();
    return 1;
}

bool DevSupport::devInitCheck()
{
    unsigned char head[9];
    int n = 0;
    // Standard GET_DESCRIPTOR of configuration 0.
    if (control(LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_DESCRIPTOR, LIBUSB_DT_CONFIG << 8, 0, head,
                9, 1000, &n) != 0)
        return false;
    const int total = head[2] | head[3] << 8;
    if (head[1] != LIBUSB_DT_CONFIG || total < 9)
        return false;
    std::vector<unsigned char> buf(size_t(total), 0);
    if (control(LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_DESCRIPTOR, LIBUSB_DT_CONFIG << 8, 0,
                buf.data(), total, 1000, &n) != 0)
        return false;

    // Walk the descriptors by their own lengths, never past the bytes read:
    // find interface 0, alternate setting 0, and its bulk IN endpoint.
    bool inInterface = false;
    int endpoints = -1;
    int packetSize = -1;
    for (int pos = 0; pos + 2 <= n;) {
        const int len = buf[size_t(pos)];
        const int type = buf[size_t(pos) + 1];
        if (len < 2 || pos + len > n)
            break;
        if (type == LIBUSB_DT_INTERFACE && len >= 9) {
            inInterface = buf[size_t(pos) + 2] == 0 && buf[size_t(pos) + 3] == 0;
            if (inInterface)
                endpoints = buf[size_t(pos) + 4];
        } else if (type == LIBUSB_DT_ENDPOINT && len >= 7 && inInterface) {
            const unsigned char addr = buf[size_t(pos) + 2];
            const unsigned char attr = buf[size_t(pos) + 3];
            if (addr == epBulkIn && (attr & 3) == LIBUSB_TRANSFER_TYPE_BULK) {
                packetSize = (buf[size_t(pos) + 4] | buf[size_t(pos) + 5] << 8) & 0x7FF;
                break;
            }
        }
        pos += len;
    }
    if (endpoints <= 0 || packetSize <= 0) {
        // The controller still waits for its firmware.
        devReady.store(false);
        return true;
    }
    {
        Use use(this);
        if (!use.ok)
            return false;
        if (libusb_claim_interface(handle, 0) != 0)
            return false;
        claimed.store(true);
        if (libusb_set_interface_alt_setting(handle, 0, 0) != 0)
            return false;
    }
    if (packetSize < 512) {
        bulkSize.store(102400);
        if (usbVersion > 0x010F)
            usbVersion = 0x0110;
    } else {
        bulkSize.store(1048576);
    }
    devReady.store(true);
    return true;
}

void DevSupport::CloseDevice()
{
    if (!opened.exchange(false))
        return;
    // New operations now fail with 1; wait for those still using the handle
    // (an asynchronous read notices the close and cancels its transfers).
    while (users.load() > 0)
        QThread::msleep(1);
    if (claimed.exchange(false))
        libusb_release_interface(handle, 0);
    libusb_close(handle);
    handle = nullptr;
    libusb_unref_device(device);
    device = nullptr;
    devBus = -1;
    devAddress = -1;
    devReady.store(false);
}

int DevSupport::control(unsigned char type, unsigned char request, unsigned short value,
                        unsigned short index, unsigned char* data, int length, unsigned timeout,
                        int* transferred)
{
    if (transferred)
        *transferred = 0;
    Use use(this);
    if (!use.ok)
        return ErrNoDevice;
    if (length < 0 || length > 0xFFFF || (length > 0 && !data))
        return ErrTransfer;
    const int r = libusb_control_transfer(handle, type, request, value, index, data,
                                          uint16_t(length), timeout);
    if (transferred)
        *transferred = r;
    // Every caller needs the whole length: a short transfer is a failure.
    if (r < 0 || r != length)
        return ErrTransfer;
    return ErrNone;
}

int DevSupport::ctrlRead(unsigned char request, unsigned short value, unsigned char* data,
                         int length, int* transferred)
{
    return control(LIBUSB_ENDPOINT_IN | LIBUSB_REQUEST_TYPE_VENDOR, request, value, 0, data,
                   length, 2000, transferred);
}

int DevSupport::ctrlWrite(unsigned char request, unsigned short value, unsigned char* data,
                          int length, int* transferred)
{
    return control(LIBUSB_ENDPOINT_OUT | LIBUSB_REQUEST_TYPE_VENDOR, request, value, 0, data,
                   length, 2000, transferred);
}

int DevSupport::ctrlWriteRAM(unsigned int address, const unsigned char* data, int length)
{
    return control(LIBUSB_ENDPOINT_OUT | LIBUSB_REQUEST_TYPE_VENDOR, 0xA0,
                   uint16_t(address & 0xFFFF), uint16_t(address >> 16),
                   const_cast<unsigned char*>(data), length, 2000, nullptr);
}

int DevSupport::manuBulkWrite(unsigned char* data, int length, int* transferred)
{
    if (transferred)
        *transferred = 0;
    Use use(this);
    if (!use.ok)
        return ErrNoDevice;
    int t = 0;
    const int r = libusb_bulk_transfer(handle, epBulkOut, data, length, &t, 3000);
    if (transferred)
        *transferred = t;
    return r < 0 ? ErrTransfer : ErrNone;
}

void DevSupport::setAutoReadBufSize(qint64 bits)
{
    if (bits <= 0) {
        bulkSize.store(usbVersion == 0x0110 ? 102400 : 1048576);
        return;
    }
    const double bytesPerSecond = double(bits) / 8.0;
    qint64 s = 1048576;
    while (double(s) / bytesPerSecond > 0.2) {
        s /= 2;
        if (s <= 2048) {
            bulkSize.store(2048);
            return;
        }
    }
    // A buffer of 0.05 s at most 64 MiB, whatever the rate claims.
    while (double(s) / bytesPerSecond < 0.05 && s < (qint64(64) << 20))
        s *= 2;
    bulkSize.store(int(s));
}

namespace {

struct BulkXfr {
    libusb_transfer* t = nullptr;
    unsigned char* buf = nullptr;
    QSemaphore done;
    bool pending = false; // submitted and its completion not yet taken
};

void LIBUSB_CALL cbXfr(libusb_transfer* t)
{
    static_cast<BulkXfr*>(t->user_data)->done.release();
}

} // namespace

int DevSupport::autoBulkRead(qint64 total)
{
    Use use(this);
    if (!use.ok || !receiver || total < 0)
        return ErrNoDevice;
    // Nothing would complete the transfers: the read would never end.
    if (!usbMonitor->isRunning())
        return ErrNoThread;
    const int size = bulkSize.load();

    // On the heap: should libusb never complete a cancelled transfer, the
    // pair is abandoned rather than freed under it.
    BulkXfr* x = new BulkXfr[2];
    for (int i = 0; i < 2; ++i) {
        BulkXfr& b = x[i];
        b.t = libusb_alloc_transfer(0);
        b.buf = static_cast<unsigned char*>(malloc(size_t(size)));
    }
    auto freeAll = [&] {
        if (x[0].pending || x[1].pending) {
            qWarning("USB: a cancelled bulk transfer did not complete; abandoning it");
            return; // never free what libusb may still touch
        }
        for (int i = 0; i < 2; ++i) {
            if (x[i].t)
                libusb_free_transfer(x[i].t);
            free(x[i].buf);
        }
        delete[] x;
    };
    if (!x[0].t || !x[1].t || !x[0].buf || !x[1].buf) {
        freeAll();
        return ErrNoMemory;
    }

    qint64 submitted = 0;
    auto submit = [&](BulkXfr& b) {
        const int len = total > 0 ? int(std::min<qint64>(size, total - submitted)) : size;
        libusb_fill_bulk_transfer(b.t, handle, epBulkIn, b.buf, len, cbXfr, &b, 2800);
        if (libusb_submit_transfer(b.t) != 0)
            return false;
        b.pending = true;
        submitted += len;
        return true;
    };
    // Waits for a transfer's completion; when the device is being closed,
    // cancels it first. Transfers time out on their own, so this ends.
    auto waitDone = [&](BulkXfr& b) {
        bool cancelled = false;
        while (!b.done.tryAcquire(1, 50)) {
            if (!cancelled && !opened.load()) {
                libusb_cancel_transfer(b.t);
                cancelled = true;
            }
        }
        b.pending = false;
        return !cancelled;
    };
    // Cancels what is still in flight and waits for it, boundedly.
    auto cancelPending = [&] {
        for (int i = 0; i < 2; ++i) {
            BulkXfr& b = x[i];
            if (!b.pending)
                continue;
            libusb_cancel_transfer(b.t);
            if (b.done.tryAcquire(1, 10000))
                b.pending = false;
        }
    };

    if (!submit(x[0])) {
        freeAll();
        return ErrBulkRead;
    }
    if ((total == 0 || total > size) && !submit(x[1])) {
        cancelPending();
        freeAll();
        return ErrBulkRead;
    }

    receiver->devCbPostSmpStart();

    qint64 received = 0;
    int result = ErrNone;
    int cur = 0;
    for (;;) {
        BulkXfr& c = x[cur];
        if (!c.pending)
            break; // nothing more in flight: a bounded read that came up short
        if (!waitDone(c) || c.t->status != LIBUSB_TRANSFER_COMPLETED || c.t->actual_length <= 0) {
            result = ErrBulkRead;
            break;
        }
        const int len = c.t->actual_length;
        const bool shortXfr = len < c.t->length;
        unsigned char* full = c.buf;
        c.buf = nullptr;
        receiver->devCbAutoBulkRead(full, len);
        received += len;
        // A short transfer ends the stream; in a bounded read it means the
        // device has no more, and the caller sees fewer bytes than asked.
        if (shortXfr || (total > 0 && received >= total))
            break;
        if (total == 0 || submitted < total) {
            c.buf = static_cast<unsigned char*>(malloc(size_t(size)));
            if (!c.buf) {
                result = ErrNoMemory;
                break;
            }
            if (!submit(c)) {
                result = ErrBulkRead;
                break;
            }
        }
        cur ^= 1;
    }
    cancelPending();
    freeAll();
    return result;
}
