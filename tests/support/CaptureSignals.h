#ifndef CAPTURESIGNALS_H
#define CAPTURESIGNALS_H
// A device's capture signals as the test thread sees them. The capture
// threads emit them; a QSignalSpy on the device itself would be filled on
// those threads while the test reads it. Here they are relayed through
// queued connections, so both lists are filled on the thread that created
// this object, whenever it processes events (QTRY_*, QSignalSpy::wait).
// Signals the GUI thread emits (the emptied view at a start) arrive the
// same way, in the order of emission.

#include <QObject>
#include <QSignalSpy>

class DevBase;

class CaptureSignals : public QObject
{
    Q_OBJECT
public:
    explicit CaptureSignals(DevBase* dev);

    QSignalSpy sta;     // sigSmpSta(sta, err, n)
    QSignalSpy ready;   // sigSmpDataReady(decode)

    // True once the capture has ended (sigSmpDataReady(1) has arrived).
    bool ended() const { return !ready.isEmpty() && ready.last().at(0).toInt() == 1; }

signals:
    void smpSta(int sta, int err, int n);
    void smpDataReady(int decode);
};

#endif
