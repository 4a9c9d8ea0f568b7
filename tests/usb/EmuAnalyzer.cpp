// glib first: its headers use "signals" as a name, which Qt defines as a macro.
#include <umockdev.h>

#include "EmuAnalyzer.h"

#include "device/DevGlobals.h"
#include "device/DevSupport.h"

#include <QMetaObject>
#include <QTest>
#include <QMutexLocker>
#include <QtEndian>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

namespace {

// Ties one handler object (one device node) to its emulator and generation:
// clients of an earlier enumeration see the device as gone.
struct HandlerTag {
    EmuAnalyzer* emu;
    int generation;
};

gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer user)
{
    auto* tag = static_cast<HandlerTag*>(user);
    return tag->emu->handleIoctl(client, tag->generation);
}

void freeTag(gpointer data, GClosure*)
{
    delete static_cast<HandlerTag*>(data);
}

QByteArray hexUpper(const QByteArray& b)
{
    return b.toHex().toUpper();
}

} // namespace

// ---------------------------------------------------------------- EmuBus

EmuBus::EmuBus()
{
    tb = umockdev_testbed_new();
}

EmuBus::~EmuBus()
{
    g_object_unref(tb);
}

bool EmuBus::inMockEnvironment() const
{
    return umockdev_in_mock_environment();
}

QString EmuBus::rootDir() const
{
    return QString::fromLocal8Bit(umockdev_testbed_get_root_dir(tb));
}

// ---------------------------------------------------------------- EmuAnalyzer

EmuAnalyzer::EmuAnalyzer(EmuBus* b, const Options& options)
    : bus(b), opt(options), curAddress(options.address)
{
    ramBytes = QByteArray(65536, '\0');
    eeprom = QByteArray(256, char(0xFF));
    memory = QByteArray(opt.memorySize, '\0');
    running = opt.firmwareRunning;
}

EmuAnalyzer::~EmuAnalyzer()
{
    if (isPlugged.load())
        doUnplug();
    {
        QMutexLocker lock(&mutex);
        for (Urb& u : pendingIn + done) {
            g_object_unref(u.urb);
        }
        pendingIn.clear();
        done.clear();
    }
    for (UMockdevIoctlBase* h : handlers) {
        g_signal_handlers_disconnect_matched(h, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                             reinterpret_cast<gpointer>(onIoctl), nullptr);
        g_object_unref(h);
    }
}

QString EmuAnalyzer::sysPath() const
{
    return QString("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-%1").arg(opt.port);
}

int EmuAnalyzer::address() const
{
    QMutexLocker lock(&mutex);
    return curAddress;
}

QByteArray EmuAnalyzer::configDescriptor() const
{
    const int packet = opt.fullSpeed ? 64 : 512;
    const int eps = running ? 2 : 0;
    QByteArray c;
    const int total = 9 + 9 + eps * 7;
    c += QByteArray::fromHex("0902");
    c += char(total & 0xFF);
    c += char(total >> 8);
    c += QByteArray::fromHex("0101008032");
    c += QByteArray::fromHex("09040000");
    c += char(eps);
    c += QByteArray::fromHex("ff000000");
    if (running) {
        const unsigned char out = opt.productId == 0x01A3 ? 0x00 : 0x02;
        const unsigned char in = opt.productId == 0x01A3 ? 0x82 : 0x86;
        for (unsigned char ep : {out, in}) {
            c += char(7);
            c += char(5);
            c += char(ep);
            c += char(2);
            c += char(packet & 0xFF);
            c += char(packet >> 8);
            c += char(0);
        }
    }
    return c;
}

QByteArray EmuAnalyzer::descriptors() const
{
    QByteArray d;
    d += QByteArray::fromHex("12010002000000");
    d += char(64); // endpoint 0 packet size
    d += char(0x87);
    d += char(0x6B);
    d += char(opt.productId & 0xFF);
    d += char(opt.productId >> 8);
    d += char(running ? 0x01 : 0x00);
    d += char(0x00);
    d += QByteArray::fromHex("00000001");
    return d + configDescriptor();
}

QString EmuAnalyzer::record() const
{
    const QByteArray desc = hexUpper(descriptors());
    const QString node = QString("bus/usb/001/%1").arg(curAddress, 3, 10, QChar('0'));
    QString r;
    r += "P: " + sysPath().mid(4) + "\n";
    r += "N: " + node + "=" + QString::fromLatin1(desc) + "\n";
    r += "E: DEVNAME=/dev/" + node + "\n";
    r += "E: DEVTYPE=usb_device\n";
    r += "E: DRIVER=usb\n";
    r += "E: SUBSYSTEM=usb\n";
    r += "E: BUSNUM=001\n";
    r += QString("E: DEVNUM=%1\n").arg(curAddress, 3, 10, QChar('0'));
    r += QString("E: PRODUCT=6b87/%1/%2\n").arg(opt.productId, 0, 16).arg(running ? 1 : 0);
    r += "A: busnum=1\\n\n";
    r += QString("A: devnum=%1\\n\n").arg(curAddress);
    r += QString("A: speed=%1\\n\n").arg(opt.fullSpeed ? 12 : 480);
    r += "A: idVendor=6b87\\n\n";
    r += QString("A: idProduct=%1\\n\n").arg(opt.productId, 4, 16, QChar('0'));
    r += "A: bConfigurationValue=1\\n\n";
    r += "A: bNumConfigurations=1\\n\n";
    r += "A: bNumInterfaces= 1\\n\n";
    r += "H: descriptors=" + QString::fromLatin1(desc) + "\n";
    return r;
}

void EmuAnalyzer::plug()
{
    QString rec;
    QString node;
    HandlerTag* tag;
    {
        QMutexLocker lock(&mutex);
        ++generation;
        gone = false;
        rec = record();
        node = QString("/dev/bus/usb/001/%1").arg(curAddress, 3, 10, QChar('0'));
        tag = new HandlerTag{this, generation};
    }
    UMockdevIoctlBase* h = umockdev_ioctl_base_new();
    g_signal_connect_data(h, "handle-ioctl", G_CALLBACK(onIoctl), tag, freeTag, GConnectFlags(0));
    handlers.append(h);
    GError* err = nullptr;
    // The handler has to be in place before the device appears.
    if (!umockdev_testbed_attach_ioctl(bus->testbed(), node.toUtf8().constData(), h, &err)) {
        qWarning("attach_ioctl: %s", err ? err->message : "?");
        g_clear_error(&err);
    }
    if (!umockdev_testbed_add_from_string(bus->testbed(), rec.toUtf8().constData(), &err)) {
        qWarning("add_from_string: %s", err ? err->message : "?");
        g_clear_error(&err);
    }
    umockdev_testbed_uevent(bus->testbed(), sysPath().toUtf8().constData(), "add");
    isPlugged.store(true);
}

void EmuAnalyzer::unplug()
{
    {
        QMutexLocker lock(&mutex);
        gone = true;
        failAllPending(-ESHUTDOWN);
    }
    doUnplug();
}

void EmuAnalyzer::doUnplug()
{
    if (!isPlugged.exchange(false))
        return;
    QString node;
    {
        QMutexLocker lock(&mutex);
        gone = true;
        failAllPending(-ESHUTDOWN);
        node = QString("/dev/bus/usb/001/%1").arg(curAddress, 3, 10, QChar('0'));
    }
    const QByteArray sys = sysPath().toUtf8();
    umockdev_testbed_uevent(bus->testbed(), sys.constData(), "remove");
    umockdev_testbed_remove_device(bus->testbed(), sys.constData());
    umockdev_testbed_detach_ioctl(bus->testbed(), node.toUtf8().constData(), nullptr);
    emit unplugged();
}

void EmuAnalyzer::doRenumerate()
{
    doUnplug();
    {
        QMutexLocker lock(&mutex);
        running = true;
        ++curAddress;
        inData.clear();
        inPos = 0;
        inEnd = false;
    }
    plug();
    renumCount.fetch_add(1);
    emit renumerated();
}

void EmuAnalyzer::scheduleUnplugLocked()
{
    gone = true;
    failAllPending(-ESHUTDOWN);
    QMetaObject::invokeMethod(this, "doUnplug", Qt::QueuedConnection);
}

// ---------------------------------------------------------------- state for tests

QByteArray EmuAnalyzer::ram() const { QMutexLocker l(&mutex); return ramBytes; }
QList<EmuAnalyzer::RamWrite> EmuAnalyzer::ramWrites() const { QMutexLocker l(&mutex); return ramLog; }
bool EmuAnalyzer::fpgaStarted() const { QMutexLocker l(&mutex); return fpgaOn; }
qint64 EmuAnalyzer::bitstreamLength() const { QMutexLocker l(&mutex); return bitLen; }
qint64 EmuAnalyzer::bitstreamBytes() const { QMutexLocker l(&mutex); return bitBytes; }
int EmuAnalyzer::bitstreamWrites() const { QMutexLocker l(&mutex); return bitWrites; }
QByteArray EmuAnalyzer::bitstreamData() const { QMutexLocker l(&mutex); return bitData; }
void EmuAnalyzer::setBitstreamResult(int r) { QMutexLocker l(&mutex); bitResult = r; }
QList<EmuAnalyzer::RegWrite> EmuAnalyzer::regWrites() const { QMutexLocker l(&mutex); return regLog; }
void EmuAnalyzer::clearRegWrites() { QMutexLocker l(&mutex); regLog.clear(); }
void EmuAnalyzer::setStatusAfterStart(quint16 s) { QMutexLocker l(&mutex); statusStarted = s; }
void EmuAnalyzer::setStatusScript(const QVector<quint16>& w) { QMutexLocker l(&mutex); statusScript = w; }
void EmuAnalyzer::setRegisterRead(int reg, const QByteArray& b) { QMutexLocker l(&mutex); regReads[reg] = b; }
int EmuAnalyzer::bulkInSubmitted() const { QMutexLocker l(&mutex); return bulkInCount; }

void EmuAnalyzer::setEeprom(int address, const QByteArray& bytes)
{
    QMutexLocker l(&mutex);
    for (int i = 0; i < bytes.size() && address + i < eeprom.size(); ++i)
        eeprom[address + i] = bytes[i];
}

namespace {
QByteArray captureResult(quint32 records, quint32 trgRecord, quint32 endAddress)
{
    QByteArray b(12, '\0');
    qToLittleEndian(records, b.data());
    qToLittleEndian(trgRecord, b.data() + 4);
    qToLittleEndian(endAddress, b.data() + 8);
    return b;
}
} // namespace

void EmuAnalyzer::setCaptureResult(quint32 records, quint32 trgRecord, quint32 endAddress)
{
    setRegisterRead(16, captureResult(records, trgRecord, endAddress));
}

void EmuAnalyzer::setMemory(int address, const QByteArray& bytes)
{
    QMutexLocker l(&mutex);
    setMemoryLocked(address, bytes);
}

void EmuAnalyzer::setMemoryLocked(int address, const QByteArray& bytes)
{
    for (int i = 0; i < bytes.size(); ++i)
        memory[(address + i) % memory.size()] = bytes[i];
}

void EmuAnalyzer::setAnalogCapture(const QVector<QVector<qint16>>& words, quint32 trgIndex, quint32 endAddress)
{
    QMutexLocker l(&mutex);
    loadAnalogLocked({words, trgIndex, endAddress});
}

void EmuAnalyzer::loadAnalogLocked(const AnalogCapture& c)
{
    QByteArray mem;
    const int n = c.words.isEmpty() ? 0 : c.words.first().size();
    for (int i = 0; i < n; ++i) {
        for (const QVector<qint16>& chn : c.words) {
            const quint16 w = quint16(chn.value(i));
            mem.append(char(w & 0xFF));
            mem.append(char(w >> 8));
        }
    }
    setMemoryLocked(int(c.endAddress) - mem.size() + memory.size(), mem);
    regReads[16] = captureResult(quint32(mem.size() / 2), c.trgIndex, c.endAddress);
}

void EmuAnalyzer::queueAnalogCaptures(const QList<AnalogCapture>& captures)
{
    QMutexLocker l(&mutex);
    analogQueue = captures;
}

int EmuAnalyzer::analogCapturesLeft() const
{
    QMutexLocker l(&mutex);
    return analogQueue.size();
}

QByteArray EmuAnalyzer::eepromBytes(int address, int length) const
{
    QMutexLocker l(&mutex);
    return eeprom.mid(address, length);
}

QByteArray EmuAnalyzer::runLengthFrames(int channels, const QVector<QPair<quint32, quint8>>& records)
{
    const int perFrame = channels == 32 ? 6 : 5;
    const int levelBytes = channels == 32 ? 4 : 2;
    const int frame = channels == 32 ? 32 : 16;
    QByteArray out;
    for (int i = 0; i < records.size(); i += perFrame) {
        QByteArray f(frame, '\0');
        for (int k = 0; k < perFrame && i + k < records.size(); ++k) {
            char* p = f.data() + k * (levelBytes + 1);
            const quint32 level = records[i + k].first;
            for (int j = 0; j < levelBytes; ++j)
                p[j] = char(level >> (8 * j));
            p[levelBytes] = char(records[i + k].second);
        }
        out += f;
    }
    return out;
}

void EmuAnalyzer::setStream(const QByteArray& bytes, bool finished)
{
    QMutexLocker l(&mutex);
    inData = bytes;
    inPos = 0;
    inEnd = finished;
    pumpIn();
}

void EmuAnalyzer::appendStream(const QByteArray& bytes, bool finished)
{
    QMutexLocker l(&mutex);
    inData += bytes;
    inEnd = finished;
    pumpIn();
}

void EmuAnalyzer::injectBulkFault(Fault f, int nth)
{
    QMutexLocker l(&mutex);
    fault = f;
    faultCountdown = nth;
}

void EmuAnalyzer::failControl(int request, bool shortAnswer, int value)
{
    QMutexLocker l(&mutex);
    failRequest = request;
    failValue = value;
    failShort = shortAnswer;
}

// ---------------------------------------------------------------- ioctls

void EmuAnalyzer::finishUrb(Urb& u, int status, int actual)
{
    auto* urb = reinterpret_cast<usbdevfs_urb*>(u.urb->data);
    urb->status = status;
    urb->actual_length = actual;
    done.append(u);
}

void EmuAnalyzer::failAllPending(int status)
{
    for (Urb& u : pendingIn)
        finishUrb(u, status, 0);
    pendingIn.clear();
}

// Hands stream or memory bytes to the queued IN transfers, in order.
void EmuAnalyzer::pumpIn()
{
    while (!pendingIn.isEmpty() && !inHeld && !gone) {
        Urb& u = pendingIn.first();
        const int len = u.buffer ? u.buffer->data_len : 0;
        if (fault != NoFault && faultCountdown == 1) {
            const Fault f = fault;
            fault = NoFault;
            faultCountdown = 0;
            if (f == Timeout) {
                inHeld = true; // libusb times it out and discards it
                return;
            }
            if (f == Unplug) {
                scheduleUnplugLocked();
                return;
            }
            Urb x = pendingIn.takeFirst();
            if (f == Stall) {
                finishUrb(x, -EPIPE, 0);
            } else if (f == ZeroLength) {
                finishUrb(x, 0, 0);
            } else { // ShortRead: half of what was asked, though more is there
                const int n = qMin(len / 2, int(inData.size()) - inPos);
                if (n > 0)
                    memcpy(x.buffer->data, inData.constData() + inPos, size_t(n));
                inPos += qMax(n, 0);
                finishUrb(x, 0, qMax(n, 0));
            }
            continue;
        }
        const int avail = inData.size() - inPos;
        int n;
        if (avail >= len)
            n = len;
        else if (inEnd && avail > 0)
            n = avail;
        else
            return; // the device has nothing yet
        Urb x = pendingIn.takeFirst();
        memcpy(x.buffer->data, inData.constData() + inPos, size_t(n));
        inPos += n;
        if (faultCountdown > 1)
            --faultCountdown;
        finishUrb(x, 0, n);
    }
}

void EmuAnalyzer::submitUrb(UMockdevIoctlData* arg)
{
    UMockdevIoctlData* urbData = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
    auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
    Urb u;
    u.urb = urbData;
    u.clientAddr = urbData->client_addr;
    if (urb->buffer_length > 0)
        u.buffer = umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                               size_t(urb->buffer_length), nullptr);
    if (u.buffer)
        g_object_unref(u.buffer); // owned by urbData
    if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
        if (!u.buffer || u.buffer->data_len < 8) {
            finishUrb(u, -EINVAL, 0);
            return;
        }
        const int n = control(u.buffer->data, u.buffer->data + 8, u.buffer->data_len - 8);
        finishUrb(u, n < 0 ? n : 0, n < 0 ? 0 : n);
        return;
    }
    if (urb->endpoint & 0x80) {
        ++bulkInCount;
        pendingIn.append(u);
        pumpIn();
        return;
    }
    // Bulk OUT: the bitstream upload is the only bulk data the device takes.
    const int len = urb->buffer_length;
    if (bitLen > 0 && len > 0) {
        bitBytes += len;
        ++bitWrites;
        bitData.append(reinterpret_cast<const char*>(u.buffer->data), len);
    }
    finishUrb(u, 0, len);
}

int EmuAnalyzer::control(const unsigned char* setup, unsigned char* data, int length)
{
    const int type = setup[0];
    const int request = setup[1];
    const int value = setup[2] | setup[3] << 8;
    const int index = setup[4] | setup[5] << 8;
    const int wLength = qMin(int(setup[6] | setup[7] << 8), length);
    if (request == failRequest && (type & 0x60) == 0x40 && (failValue < 0 || failValue == value)) {
        failRequest = -1;
        if (!failShort)
            return -EPIPE;
        const int n = vendorRequest(type, request, value, index, data, wLength);
        return n > 0 ? n - 1 : n;
    }
    if ((type & 0x60) == 0) { // standard requests
        if (request == 6 && (type & 0x80)) {
            QByteArray d;
            if ((value >> 8) == 1)
                d = descriptors().left(18);
            else if ((value >> 8) == 2)
                d = configDescriptor();
            else
                return -EPIPE;
            const int n = qMin(wLength, int(d.size()));
            memcpy(data, d.constData(), size_t(n));
            return n;
        }
        if (request == 8 && (type & 0x80) && wLength >= 1) { // GET_CONFIGURATION
            data[0] = 1;
            return 1;
        }
        return 0;
    }
    if ((type & 0x60) != 0x40)
        return -EPIPE;
    return vendorRequest(type, request, value, index, data, wLength);
}

int EmuAnalyzer::vendorRequest(int type, int request, int value, int index, unsigned char* data,
                               int length)
{
    const bool in = type & 0x80;
    switch (request) {
    case 0xA0:
        if (in) {
            if (length >= 1)
                data[0] = 1;
            return qMin(length, 1);
        } else {
            const unsigned address = unsigned(index) << 16 | unsigned(value);
            ramLog.append({address, QByteArray(reinterpret_cast<const char*>(data), length)});
            for (int i = 0; i < length && address + unsigned(i) < unsigned(ramBytes.size()); ++i)
                ramBytes[int(address) + i] = char(data[i]);
            bool start = false;
            if (address == 0xE600 && length == 1) {
                if (data[0] & 1)
                    cpuHeld = true;
                else if (cpuHeld) {
                    cpuHeld = false;
                    start = true;
                }
            } else if (length == 0) {
                start = true; // binary image: jump to the entry point
            }
            if (start && opt.renumerate && !running)
                QMetaObject::invokeMethod(this, "doRenumerate", Qt::QueuedConnection);
            return length;
        }
    case 0xA2: {
        if (in) {
            int n = 0;
            for (; n < length && value + n < eeprom.size(); ++n)
                data[n] = uchar(eeprom[value + n]);
            return n;
        }
        for (int i = 0; i < length && value + i < eeprom.size(); ++i)
            eeprom[value + i] = char(data[i]);
        return length;
    }
    case 0x50:
        if (in) {
            if (length < 1)
                return 0;
            const qint64 expect = bitLen > 0 ? (bitLen + 2047) / 4096 * 4096 + 4096 : -1;
            data[0] = uchar(bitResult >= 0 ? bitResult : (bitBytes == expect ? 0 : 0x21));
            return 1;
        }
        if (length < 4)
            return -EPIPE;
        bitLen = qFromLittleEndian<quint32>(data);
        bitBytes = 0;
        bitWrites = 0;
        bitData.clear();
        return length;
    case 0x10:
        if (in)
            return -EPIPE;
        fpgaOn = value == 1;
        return length;
    case 0x38:
        inData.clear();
        inPos = 0;
        inEnd = false;
        inHeld = false;
        return length;
    case 0x30:
        if (!(sampleMode & 1)) {
            // Buffered read-out of the window, wrapping like the ring memory.
            QByteArray w;
            w.reserve(int(winLength));
            for (quint32 i = 0; i < winLength; ++i)
                w += memory[int((winStart + i) % quint32(memory.size()))];
            inData = w;
            inPos = 0;
            inEnd = true;
        }
        inHeld = false;
        pumpIn();
        return length;
    case 0x20:
        if (in) {
            QByteArray r;
            if (value == 0) {
                quint16 s = fpgaOn ? statusStarted : 0;
                if (fpgaOn && !statusScript.isEmpty())
                    s = statusScript.takeFirst();
                r = QByteArray(2, '\0');
                qToLittleEndian(s, r.data());
            } else {
                r = regReads.value(value);
            }
            const int n = qMin(length, int(r.size()));
            memcpy(data, r.constData(), size_t(n));
            return n;
        }
        regLog.append({value, QByteArray(reinterpret_cast<const char*>(data), length)});
        if (value == 0 && length >= 1 && data[0] == 3 && !analogQueue.isEmpty())
            loadAnalogLocked(analogQueue.takeFirst());
        if (value == 3 && length >= 1)
            sampleMode = data[0];
        if (value == 8 && length >= 8) {
            winStart = qFromLittleEndian<quint32>(data);
            winLength = qFromLittleEndian<quint32>(data + 4);
        }
        if (value == 0 && length >= 1 && data[0] == 0 && (sampleMode & 1)) {
            inEnd = true; // stream stops: what is left goes out short
            pumpIn();
        }
        return length;
    default:
        return -EPIPE;
    }
}

bool EmuAnalyzer::handleIoctl(UMockdevIoctlClient* client, int gen)
{
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    QMutexLocker lock(&mutex);
    const bool isGone = gone || gen != generation;

    if (request == USBDEVFS_REAPURBNDELAY || request == USBDEVFS_REAPURB) {
        if (!done.isEmpty() && gen == generation) {
            Urb u = done.takeFirst();
            UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
            umockdev_ioctl_data_set_ptr(slot, 0, u.urb);
            umockdev_ioctl_client_complete(client, 0, 0);
            g_object_unref(slot);
            g_object_unref(u.urb);
        } else {
            umockdev_ioctl_client_complete(client, -1, isGone ? ENODEV : EAGAIN);
        }
        return TRUE;
    }
    if (isGone) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return TRUE;
    }
    switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
        UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, sizeof(quint32), nullptr);
        const quint32 caps = USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_BULK_SCATTER_GATHER;
        memcpy(d->data, &caps, sizeof caps);
        umockdev_ioctl_client_complete(client, 0, 0);
        g_object_unref(d);
        break;
    }
    case USBDEVFS_SUBMITURB:
        submitUrb(arg);
        umockdev_ioctl_client_complete(client, 0, 0);
        break;
    case USBDEVFS_DISCARDURB: {
        const unsigned long addr = *reinterpret_cast<unsigned long*>(arg->data);
        bool found = false;
        for (int i = 0; i < pendingIn.size(); ++i) {
            if (pendingIn[i].clientAddr == addr) {
                Urb u = pendingIn.takeAt(i);
                finishUrb(u, -ENOENT, 0);
                found = true;
                break;
            }
        }
        if (found && pendingIn.isEmpty())
            inHeld = false; // a held transfer is gone; later ones may flow
        umockdev_ioctl_client_complete(client, found ? 0 : -1, found ? 0 : EINVAL);
        break;
    }
    case USBDEVFS_CONTROL: {
        UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_ctrltransfer), nullptr);
        auto* c = reinterpret_cast<usbdevfs_ctrltransfer*>(d->data);
        unsigned char setup[8] = {c->bRequestType, c->bRequest, uchar(c->wValue), uchar(c->wValue >> 8),
                                  uchar(c->wIndex), uchar(c->wIndex >> 8), uchar(c->wLength),
                                  uchar(c->wLength >> 8)};
        UMockdevIoctlData* buf = nullptr;
        if (c->wLength)
            buf = umockdev_ioctl_data_resolve(d, offsetof(usbdevfs_ctrltransfer, data), c->wLength, nullptr);
        const int n = control(setup, buf ? buf->data : nullptr, buf ? buf->data_len : 0);
        umockdev_ioctl_client_complete(client, n < 0 ? -1 : n, n < 0 ? -n : 0);
        if (buf)
            g_object_unref(buf);
        g_object_unref(d);
        break;
    }
    case USBDEVFS_GETDRIVER:
        umockdev_ioctl_client_complete(client, -1, ENODATA);
        break;
    case USBDEVFS_GET_SPEED:
        umockdev_ioctl_client_complete(client, opt.fullSpeed ? 2 : 3, 0);
        break;
    case USBDEVFS_CONNECTINFO: {
        UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_connectinfo), nullptr);
        auto* ci = reinterpret_cast<usbdevfs_connectinfo*>(d->data);
        ci->devnum = unsigned(curAddress);
        ci->slow = 0;
        umockdev_ioctl_client_complete(client, 0, 0);
        g_object_unref(d);
        break;
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE:
    case USBDEVFS_SETINTERFACE:
    case USBDEVFS_SETCONFIGURATION:
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESETEP:
    case USBDEVFS_RESET:
    case USBDEVFS_DISCONNECT_CLAIM:
        umockdev_ioctl_client_complete(client, 0, 0);
        break;
    default:
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
        break;
    }
    return TRUE;
}

EmuRig::~EmuRig()
{
    stopRig();
}

bool EmuRig::startRig()
{
    bus = std::make_unique<EmuBus>();
    if (!bus->inMockEnvironment())
        return false;
    sup = std::make_unique<DevSupport>();
    if (!sup->initOk())
        return false;
    devSupport = sup.get();
    return true;
}

bool EmuRig::plugRunning(const EmuAnalyzer::Options& o)
{
    EmuAnalyzer::Options running = o;
    running.firmwareRunning = true;
    emu = std::make_unique<EmuAnalyzer>(bus.get(), running);
    emu->plug();
    return QTest::qWaitFor([this] { return sup->devRetrieve() == 1; }, 5000)
        && sup->ctrlWrite(0x10, 1, nullptr, 0) == 0;   // FPGA on
}

void EmuRig::stopRig()
{
    if (devSupport == sup.get())
        devSupport = nullptr;
    sup.reset();
    emu.reset();
    bus.reset();
}
