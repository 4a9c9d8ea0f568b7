#include "device/UsbMonitor.h"

#include <libusb-1.0/libusb.h>
#include <algorithm>

UsbMonitor::UsbMonitor(libusb_context* c, QObject* parent) : QThread(parent), ctx(c)
{
    connect(this, &UsbMonitor::sigDevListChanged, this, &UsbMonitor::slotDevListChanged,
            Qt::QueuedConnection);
    last = deviceSignature(ctx);
}

UsbMonitor::~UsbMonitor()
{
    stop();
}

void UsbMonitor::stop()
{
    quit.store(true);
    if (ctx)
        libusb_interrupt_event_handler(ctx);
    wait();
}

QVector<int> UsbMonitor::deviceSignature(libusb_context* ctx)
{
    QVector<int> sig;
    if (!ctx)
        return sig;
    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(ctx, &list);
    for (ssize_t i = 0; i < n; ++i)
        sig.append(libusb_get_bus_number(list[i]) << 8 | libusb_get_device_address(list[i]));
    if (list)
        libusb_free_device_list(list, 1);
    std::sort(sig.begin(), sig.end());
    return sig;
}

void UsbMonitor::run()
{
    if (!ctx)
        return;
    while (!quit.load()) {
        // Returns after USB events, an interrupt or libusb's own time-out.
        if (libusb_handle_events(ctx) < 0 && !quit.load())
            msleep(10); // a failing loop must not spin
        if (quit.load())
            break;
        const QVector<int> now = deviceSignature(ctx);
        if (now != last) {
            last = now;
            emit sigDevListChanged();
        }
    }
}

void UsbMonitor::slotDevListChanged()
{
    if (NotifyCallback cb = callback.load())
        cb();
}
