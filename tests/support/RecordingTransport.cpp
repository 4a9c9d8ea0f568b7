#include "support/RecordingTransport.h"

#include <cstring>

#include "device/DevGlobals.h"

int RecordingTransport::ctrlRead(unsigned char request, unsigned short value, unsigned char* data,
                                 int length, int* transferred)
{
    Call c;
    c.in = true;
    c.request = request;
    c.value = value;
    if (failCode) {
        calls.append(c);
        if (transferred)
            *transferred = 0;
        return failCode;
    }
    const QByteArray answer = readData.value({request, value});
    const int n = qMin(length, answer.size());
    if (n > 0 && data)
        std::memcpy(data, answer.constData(), size_t(n));
    c.data = answer.left(n);
    calls.append(c);
    if (transferred)
        *transferred = n;
    return 0;
}

int RecordingTransport::ctrlWrite(unsigned char request, unsigned short value, unsigned char* data,
                                  int length, int* transferred)
{
    Call c;
    c.request = request;
    c.value = value;
    if (length > 0 && data)
        c.data = QByteArray(reinterpret_cast<const char*>(data), length);
    calls.append(c);
    if (failCode) {
        if (transferred)
            *transferred = 0;
        return failCode;
    }
    if (transferred)
        *transferred = qMax(0, length - shortWrite);
    return 0;
}

QVector<QPair<int, QByteArray>> RecordingTransport::regWrites() const
{
    QVector<QPair<int, QByteArray>> out;
    for (const Call& c : calls)
        if (!c.in && c.request == 0x20)
            out.append({c.value, c.data});
    return out;
}

QByteArray RecordingTransport::lastRegWrite(int reg) const
{
    QByteArray last;
    for (const Call& c : calls)
        if (!c.in && c.request == 0x20 && c.value == reg)
            last = c.data;
    return last;
}

RecordingTransport* RecordingTransport::install()
{
    auto* usb = new RecordingTransport;
    devSupport = usb;
    return usb;
}

void RecordingTransport::uninstall(RecordingTransport** usb)
{
    devSupport = nullptr;
    delete *usb;
    *usb = nullptr;
}
