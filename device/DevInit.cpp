#include "device/DevInit.h"

#include <QCoreApplication>
#include <QFile>
#include <QMutexLocker>
#include <algorithm>

#include "data/Threads.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "device/DevSupport.h"
#include "device/FirmwareLoader.h"

namespace {

const unsigned short acceptedIds[] = {0x8102, 0x8104, 0x8201, 0x8202,
                                      0x8203, 0x8301, 0x8302, 0x8303};

// The loaders reach the device through the transport.
Fw::Port transportPort()
{
    Fw::Port p;
    p.writeRam = [](unsigned a, const unsigned char* d, int n) {
        return devSupport ? devSupport->ctrlWriteRAM(a, d, n) : int(DevSupport::ErrNoDevice);
    };
    p.ctrlRead = [](unsigned char r, unsigned short v, unsigned char* d, int n) {
        return devSupport ? devSupport->ctrlRead(r, v, d, n) : int(DevSupport::ErrNoDevice);
    };
    p.ctrlWrite = [](unsigned char r, unsigned short v, unsigned char* d, int n) {
        return devSupport ? devSupport->ctrlWrite(r, v, d, n) : int(DevSupport::ErrNoDevice);
    };
    p.bulkWrite = [](unsigned char* d, int n, int* t) {
        return devSupport ? devSupport->manuBulkWrite(d, n, t) : int(DevSupport::ErrNoDevice);
    };
    return p;
}

// --- Device-object hooks --------------------------------------------------
// The three places where detection touches the device object.
void stopSampling()
{
    if (devUsing)
        devUsing->smpStop();
}

bool disconnectDevice()
{
    if (!devUsing || !devUsing->connected)
        return false;
    devUsing->devDisconnect();
    return true;
}

int connectDeviceDefault(int)
{
    if (!devUsing)
        return 1;
    if (devInit)
        DevBase::devBatch = devInit->devBatch();
    devUsing->fpgaVersion = 3;
    return devUsing->devConnect(nullptr);
}
// ---------------------------------------------------------------------------

} // namespace

// ---------------------------------------------------------------- DevInit

DevInit::DevInit(QObject* parent) : QObject(parent)
{
    attach = new ThrDevAttach(this);
    renum = new ThrRenumDone(this);
    connectDevice = connectDeviceDefault;
    if (devSupport)
        devSupport->acceptedProducts = QVector<unsigned short>(std::begin(acceptedIds),
                                                               std::end(acceptedIds));
}

DevInit::~DevInit()
{
    quit.store(true);
    attach->attachDone.store(true);
    // A thread may wait on a blocking queued signal to this thread: deliver
    // those while waiting so the threads can end.
    for (QThread* t : {static_cast<QThread*>(attach), static_cast<QThread*>(renum)}) {
        while (!t->wait(20)) {
            if (QThread::currentThread() == thread())
                QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        }
    }
    delete attach;
    delete renum;
}

bool DevInit::productAccepted(unsigned short productId)
{
    return std::find(std::begin(acceptedIds), std::end(acceptedIds), productId)
           != std::end(acceptedIds);
}

QString DevInit::firmwareResource(unsigned short productId)
{
    return productId == 0x8102 ? QStringLiteral(":/fwusb/fw8102") : QString();
}

QByteArray DevInit::devBatch() const
{
    QMutexLocker lock(&batchMutex);
    return batch;
}

void DevInit::setBatch(const QByteArray& b)
{
    QMutexLocker lock(&batchMutex);
    batch = b;
}

void DevInit::init()
{
    if (!devSupport)
        return;
    const int r = devSupport->devRetrieve();
    // An analyzer that may not be opened (no udev rule) is reported once,
    // not again at every change of the device list while it stays.
    const bool denied = devSupport->accessDenied();
    if (denied && !accessReported)
        emit sigInitSta(0, DevSupport::ErrNoAccess, 0);
    accessReported = denied;
    if (r == 0)
        return;
    if (r < 0) {
        if (disconnectDevice())
            emit sigInitSta(7, 0, 0);
        return;
    }
    stopSampling();
    if (!productAccepted(devSupport->productId)) {
        // Not one of ours: do not keep it open, another device may follow.
        devSupport->CloseDevice();
        return;
    }
    if (devSupport->devReady.load()) {
        emit sigInitSta(2, 0, 0);
        attach->attachDone.store(true);
        if (!Threads::start(renum))
            emit sigInitSta(2, DevSupport::ErrNoThread, 0);
        return;
    }
    emit sigInitSta(0, 0, 0);
    while (attach->isRunning()) {
        attach->attachDone.store(true);
        attach->wait(70);
    }
    attach->attachDone.store(false);
    if (!Threads::start(attach))
        emit sigInitSta(0, DevSupport::ErrNoThread, 0);
}

// ---------------------------------------------------------------- ThrDevAttach

int ThrDevAttach::load68013fw(QByteArray& text)
{
    return Fw::load68013fw(text, transportPort());
}

int ThrDevAttach::load3014fw(QByteArray& image)
{
    return Fw::load3014fw(image, transportPort());
}

void ThrDevAttach::run()
{
    const QString name = devSupport ? DevInit::firmwareResource(devSupport->productId) : QString();
    QFile f(name);
    if (name.isEmpty() || !f.open(QIODevice::ReadOnly)) {
        emit init->sigInitSta(0, 1, 0);
        return;
    }
    QByteArray image = f.readAll();
    const int r = image.size() < Fw::BinaryImageMinSize ? load68013fw(image) : load3014fw(image);
    emit init->sigInitSta(1, r, 0);
    if (r)
        return;
    int waited = 0;
    for (;;) {
        // 200 ms steps, looking at the flags more often so an abort is quick.
        for (int i = 0; i < 10 && !attachDone.load() && !init->quitting(); ++i)
            msleep(20);
        if (attachDone.load() || init->quitting())
            return;
        waited += 200;
        if (waited >= 10000) {
            emit init->sigInitSta(1, 5, 0);
            return;
        }
        emit init->sigInitSta(1, 0, waited);
    }
}

// ---------------------------------------------------------------- ThrRenumDone

QString ThrRenumDone::fpgaResource(int model, int revision)
{
    const char* base = nullptr;
    switch (model) {
    case DevModelRowan: base = "Osier"; break;
    case DevModelSpruce: base = "Larch"; break;
    case DevModelTeak: base = "Hazel"; break;
    case DevModelWillow: base = "Cedar"; break;
    default: return QString();
    }
    return QStringLiteral(":/fwfpga/") + QLatin1String(base) + QString::number(revision);
}

int ThrRenumDone::loadFpgaFw(int model, int revision)
{
    const QString name = fpgaResource(model, revision);
    QFile f(name);
    if (name.isEmpty() || !f.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray bits = f.readAll();
    return Fw::uploadBitstream(bits, transportPort(),
                               [this](int p) { emit init->sigInitSta(4, 0, p); });
}

void ThrRenumDone::run()
{
    init->setBatch(QByteArray());
    if (!devSupport)
        return;
    unsigned char id[16];
    int r = devSupport->ctrlRead(0xA2, 0x20, id, 16);
    if (r)
        emit init->sigInitSta(3, r, 0); // start-up goes on without the batch
    else
        init->setBatch(Fw::decodeBatch(QByteArray(reinterpret_cast<char*>(id), 16)));

    unsigned char code[8];
    r = devSupport->ctrlRead(0xA2, 0x08, code, 8);
    if (r) {
        emit init->sigInitSta(3, r, 0);
        return;
    }
    const int model = Fw::decodeModelCode(QByteArray(reinterpret_cast<char*>(code), 8));
    if (model < DevModelRowan || model > DevModelWillow) {
        emit init->sigInitSta(3, 1, 0);
        return;
    }
    const int revision = 3;
    r = loadFpgaFw(model, revision);
    if (r) {
        emit init->sigInitSta(4, r, 0);
        return;
    }
    msleep(30);
    r = devSupport->ctrlWrite(0x10, 1, nullptr, 0);
    if (r) {
        emit init->sigInitSta(4, r, 0);
        return;
    }
    msleep(40);
    unsigned char st[2];
    r = devSupport->ctrlRead(0x20, 0, st, 2);
    if (r) {
        emit init->sigInitSta(4, r, 0);
        return;
    }
    const unsigned status = st[0] | st[1] << 8;
    const unsigned low = status & 3;
    if (low == 1 || low == 2) {
        emit init->sigInitSta(5, 0, 0);
        if (init->quitting())
            return;
        emit init->sigDevPreConnect(model);
        r = init->connectDevice ? init->connectDevice(model) : 1;
        if (r == 0) {
            emit init->sigInitSta(6, 0, 0);
            devSupport->ctrlWrite(0x38, 0, nullptr, 0);
        } else {
            emit init->sigInitSta(5, r, 0);
        }
        return;
    }
    if (status == 0xFFFF)
        emit init->sigInitSta(4, 7, 0);
    else if (status != 0)
        emit init->sigInitSta(4, 9, 0);
    else
        emit init->sigInitSta(4, 8, 0);
}
