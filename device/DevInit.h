#ifndef DEVINIT_H
#define DEVINIT_H
// Device detection: brings a plugged-in analyzer from freshly enumerated to
// connected. ThrDevAttach loads the controller firmware and waits for the
// device to come back; ThrRenumDone reads the EEPROM, loads the FPGA
// bitstream, starts the FPGA and connects. Progress goes out as sigInitSta.

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QThread>
#include <atomic>
#include <functional>

#include "config/Types.h"

class DevInit;

class ThrDevAttach : public QThread
{
    Q_OBJECT
public:
    explicit ThrDevAttach(DevInit* owner) : init(owner) {}
    std::atomic<bool> attachDone{false};

    int load68013fw(QByteArray& text);
    int load3014fw(QByteArray& image);

protected:
    void run() override;

private:
    DevInit* init;
};

class ThrRenumDone : public QThread
{
    Q_OBJECT
public:
    explicit ThrRenumDone(DevInit* owner) : init(owner) {}
    // Uploads the bitstream of `model` (revision `revision`); 0 or an error.
    int loadFpgaFw(int model, int revision);
    static QString fpgaResource(int model, int revision);

protected:
    void run() override;

private:
    DevInit* init;
};

class DevInit : public QObject
{
    Q_OBJECT
public:
    explicit DevInit(QObject* parent = nullptr);
    ~DevInit() override;

    // Runs once after start-up and on every change of the USB device list.
    void init();

    static bool productAccepted(unsigned short productId);
    static QString firmwareResource(unsigned short productId);

    // Identity bytes read from the EEPROM by the last start-up.
    QByteArray devBatch() const;

    // Connect step, run in ThrRenumDone after sigDevPreConnect has been
    // handled: returns 0 or the connect error. Until the device models take
    // this over it only marks devUsing connected (see DevInit.cpp).
    std::function<int(int model)> connectDevice;

    ThrDevAttach* thrDevAttach() const { return attach; }
    ThrRenumDone* thrRenumDone() const { return renum; }
    // Set while the object is being destroyed: the threads end early.
    bool quitting() const { return quit.load(); }

signals:
    void sigInitSta(int sta, int err, int n);
    void sigDevPreConnect(int model);

private:
    friend class ThrRenumDone;
    void setBatch(const QByteArray& b);

    ThrDevAttach* attach;
    ThrRenumDone* renum;
    std::atomic<bool> quit{false};
    bool accessReported = false;   // GUI thread only
    mutable QMutex batchMutex;
    QByteArray batch;
};

#endif
