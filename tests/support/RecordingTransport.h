#ifndef RECORDINGTRANSPORT_H
#define RECORDINGTRANSPORT_H
// Stand-in for the USB transport: records every control transfer with its
// bytes and answers reads from a table, with injectable failures and short
// transfers. Install it as `devSupport` for the duration of a test.

#include <QByteArray>
#include <QMap>
#include <QPair>
#include <QVector>

#include "device/DevSupport.h"

class RecordingTransport : public DevSupport
{
    Q_OBJECT
public:
    struct Call {
        bool in = false;            // device-to-host
        unsigned char request = 0;
        unsigned short value = 0;
        QByteArray data;            // bytes written (out) or returned (in)
    };

    int ctrlRead(unsigned char request, unsigned short value, unsigned char* data, int length,
                 int* transferred) override;
    int ctrlWrite(unsigned char request, unsigned short value, unsigned char* data, int length,
                  int* transferred) override;
    void setAutoReadBufSize(long long bitsPerSecond) override { bufSizeCalls.append(bitsPerSecond); }

    // The answer of a read of (request, value); shorter than asked gives a
    // short transfer.
    void setReadData(unsigned char request, unsigned short value, const QByteArray& bytes)
    {
        readData[{request, value}] = bytes;
    }
    // Every transfer fails with this code (0: none).
    int failCode = 0;
    // Writes report this many bytes fewer than asked.
    int shortWrite = 0;

    // Writes of request 0x20 (registers) in order, as (register, bytes).
    QVector<QPair<int, QByteArray>> regWrites() const;
    QByteArray lastRegWrite(int reg) const;
    void clear() { calls.clear(); bufSizeCalls.clear(); }

    QVector<Call> calls;
    QVector<long long> bufSizeCalls;

    // A new transport, installed as devSupport.
    static RecordingTransport* install();
    // Takes *usb out of devSupport, deletes it and clears the pointer.
    static void uninstall(RecordingTransport** usb);

private:
    QMap<QPair<int, int>, QByteArray> readData;
};

#endif
