#ifndef EMUANALYZER_H
#define EMUANALYZER_H
// An emulated logic analyzer on a umockdev test bed, for tests that drive the
// unchanged transport (real libusb) under umockdev-wrapper. It answers the
// usbdevfs ioctls of its device node and speaks the analyzer's vendor
// protocol: controller RAM writes with the CPU reset register and
// re-enumeration under new descriptors, EEPROM, bitstream upload, FPGA start,
// registers (logged), status phases, the buffered memory read-out and the
// continuous stream; faults can be injected into the bulk IN transfers and
// into single control requests.
//
// The ioctls are answered on umockdev's worker thread; the test bed itself
// (plug, unplug, re-enumeration) is changed on the thread that created the
// EmuAnalyzer, so that thread has to run its event loop (QTRY_*, QSignalSpy).

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QVector>
#include <atomic>
#include <memory>

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

// One test bed; create it before the DevSupport under test (libusb binds its
// hot-plug socket at initialisation) and delete it after.
class EmuBus
{
public:
    EmuBus();
    ~EmuBus();
    UMockdevTestbed* testbed() const { return tb; }
    // True under umockdev-wrapper; every emulator test asserts it so that no
    // test ever reaches the real bus. (umockdev can only tell once a test bed
    // exists, and it remembers the first answer, hence a member.)
    bool inMockEnvironment() const;
    // The test bed's directory, which stands in for / under the wrapper.
    QString rootDir() const;

private:
    UMockdevTestbed* tb = nullptr;
};

class EmuAnalyzer : public QObject
{
    Q_OBJECT
public:
    struct Options {
        unsigned short productId = 0x8102;
        bool firmwareRunning = false; // enumerate with bulk endpoints at once
        bool fullSpeed = false;       // 64-byte packets, 12 Mbit/s link
        bool renumerate = true;       // come back after the firmware starts
        int port = 1;                 // sysfs port on bus 1 (1-<port>)
        int address = 2;              // first device address
        int memorySize = 1 << 20;     // emulated sample memory in bytes
    };
    enum Fault { NoFault, ShortRead, ZeroLength, Timeout, Stall, Unplug };

    struct RegWrite {
        int reg;
        QByteArray data;
    };
    struct RamWrite {
        unsigned address;
        QByteArray data;
    };

    EmuAnalyzer(EmuBus* bus, const Options& options);
    ~EmuAnalyzer() override;

    void plug();
    void unplug();
    bool plugged() const { return isPlugged.load(); }
    int address() const;
    int busNumber() const { return 1; }
    QString sysPath() const;

    // Controller and start-up state.
    QByteArray ram() const;                 // 64 KiB controller RAM
    QList<RamWrite> ramWrites() const;
    int renumerations() const { return renumCount.load(); }
    void setEeprom(int address, const QByteArray& bytes);
    bool fpgaStarted() const;
    qint64 bitstreamLength() const;         // announced with request 0x50
    qint64 bitstreamBytes() const;          // bytes that came in
    int bitstreamWrites() const;            // bulk OUT transfers that carried them
    QByteArray bitstreamData() const;
    void setBitstreamResult(int result);    // -1: 0 when the framing was right

    // Registers.
    QList<RegWrite> regWrites() const;
    void clearRegWrites();
    void setStatusAfterStart(quint16 status);    // status of a started FPGA
    void setStatusScript(const QVector<quint16>& words); // read out in order, then steady
    void setRegisterRead(int reg, const QByteArray& bytes);
    // Capture result (register 16) and the memory it points into.
    void setCaptureResult(quint32 records, quint32 trgRecord, quint32 endAddress);
    void setMemory(int address, const QByteArray& bytes);
    // Builds run-length frames for 16 (5 records per 16 bytes) or 32 channels
    // (6 records per 32 bytes) from {level, run} records; trailing records
    // that do not fill a frame are padded with zero runs.
    static QByteArray runLengthFrames(int channels, const QVector<QPair<quint32, quint8>>& records);
    // An analog capture of the mixed-signal model: the converters' raw
    // words, one list per enabled channel, stored word by word in turn
    // (little-endian) so that they end at endAddress, and the capture result
    // that announces them: the word count and the trigger sample.
    void setAnalogCapture(const QVector<QVector<qint16>>& words, quint32 trgIndex, quint32 endAddress);
    // Captures handed out one per capture start (register 0 set to 3), as
    // setAnalogCapture would; with the list used up the last one stays.
    struct AnalogCapture {
        QVector<QVector<qint16>> words;
        quint32 trgIndex = 0;
        quint32 endAddress = 0;
    };
    void queueAnalogCaptures(const QList<AnalogCapture>& captures);
    int analogCapturesLeft() const;
    QByteArray eepromBytes(int address, int length) const;

    // The continuous stream: bytes handed out after request 0x30 in stream
    // mode (register 3 bit 0). `finished` lets the last transfer come back short.
    void setStream(const QByteArray& bytes, bool finished = true);
    void appendStream(const QByteArray& bytes, bool finished);

    // Faults: applied to the n-th bulk IN transfer from now (1 = the next).
    void injectBulkFault(Fault fault, int nth = 1);
    // Fails the next vendor request with this code (any direction; with
    // `value` >= 0 only that wValue) with a stall, or answers it short.
    void failControl(int request, bool shortAnswer = false, int value = -1);
    int bulkInSubmitted() const;

signals:
    void renumerated();
    void unplugged();

private slots:
    void doRenumerate();
    void doUnplug();

public:
    // Called from the ioctl handler (umockdev's worker thread).
    bool handleIoctl(UMockdevIoctlClient* client, int generation);

private:
    struct Urb {
        UMockdevIoctlData* urb = nullptr;    // resolved client struct
        UMockdevIoctlData* buffer = nullptr; // resolved client buffer
        unsigned long clientAddr = 0;
    };
    QByteArray descriptors() const;
    QByteArray configDescriptor() const;
    QString record() const;
    void finishUrb(Urb& u, int status, int actual);
    // Control request on endpoint 0; returns bytes answered, or -errno.
    int control(const unsigned char* setup, unsigned char* data, int length);
    int vendorRequest(int type, int request, int value, int index, unsigned char* data, int length);
    void submitUrb(UMockdevIoctlData* arg);
    void pumpIn();
    void failAllPending(int status);
    void scheduleUnplugLocked();
    void setMemoryLocked(int address, const QByteArray& bytes);
    void loadAnalogLocked(const AnalogCapture& capture);

    EmuBus* bus;
    Options opt;
    mutable QMutex mutex;
    std::atomic<bool> isPlugged{false};
    std::atomic<int> renumCount{0};
    int generation = 0;
    bool running = false;   // firmware runs (bulk endpoints)
    bool gone = false;      // unplugged for the clients of this generation
    int curAddress;
    QList<UMockdevIoctlBase*> handlers;

    QList<Urb> pendingIn;
    QList<Urb> done;

    QByteArray ramBytes;
    QList<RamWrite> ramLog;
    bool cpuHeld = false;
    QByteArray eeprom;
    bool fpgaOn = false;
    qint64 bitLen = 0;
    qint64 bitBytes = 0;
    int bitWrites = 0;
    QByteArray bitData;
    int bitResult = -1;
    quint16 statusStarted = 0x85C1;
    QVector<quint16> statusScript;
    QList<RegWrite> regLog;
    QMap<int, QByteArray> regReads;
    QByteArray memory;
    QList<AnalogCapture> analogQueue;
    quint32 winStart = 0, winLength = 0;
    quint8 sampleMode = 0;
    QByteArray inData;
    int inPos = 0;
    bool inEnd = false;
    bool inHeld = false;  // a timed-out transfer holds back all that follow
    Fault fault = NoFault;
    int faultCountdown = 0;
    int bulkInCount = 0;
    int failRequest = -1;
    int failValue = -1;
    bool failShort = false;
};

// The test bed, the transport on it and the emulated analyzer, set up and
// torn down the same way by every test that drives a device (a test class
// derives from it beside QObject).
class DevSupport;
class EmuRig
{
public:
    ~EmuRig();
    std::unique_ptr<EmuBus> bus;
    std::unique_ptr<DevSupport> sup;
    std::unique_ptr<EmuAnalyzer> emu;

    // A fresh test bed and transport, which devSupport then points at; false
    // when not under umockdev-wrapper (no test may reach the real bus) or
    // when libusb cannot start.
    bool startRig();
    // An analyzer with its firmware running, opened by the transport and its
    // FPGA started; false when it is not found within 5 s or refuses.
    bool plugRunning(const EmuAnalyzer::Options& o);
    // Transport, analyzer and test bed go, in that order.
    void stopRig();
};

#endif
