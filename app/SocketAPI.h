#ifndef SOCKETAPI_H
#define SOCKETAPI_H
// The remote-control server: one TCP client at a time sends text commands
// (start and stop a capture, sample rate, depth and time, thresholds,
// triggers, save and export of the shown capture) and gets "ACK", "ACK "
// followed by a value, or "NAK". Listens only when "enaSocket" is set; runs
// on the GUI thread and works on the current device.

#include <QObject>
#include <QStringList>

#include <functional>

#include "config/Config.h"

class DevBase;
class QTcpServer;
class QTcpSocket;
class QTimer;

class SocketAPI : public QObject
{
    Q_OBJECT
public:
    // Reasons kept for "get-last-error".
    enum Error : int {
        ErrNone = 0,
        ErrTooLong = 1,
        ErrInvalidCommand = 2,
        ErrInvalidParameter = 3,
        ErrSampleFailed = 4,
        ErrSaveFailed = 5,
        ErrSampling = 6,
        ErrNoDevice = 7,
        ErrDeviceConnected = 8,
        ErrBusy = 9,
        ErrNoData = 10,
    };
    static constexpr int MaxCommandLength = 2048;
    static constexpr unsigned short DefaultPort = Config::DefaultListenPort;

    // Reads "enaSocket" and "listenPort" and listens when enabled.
    explicit SocketAPI(QObject* parent = nullptr);
    ~SocketAPI() override;
    // Listens, moves or closes as "enaSocket" and "listenPort" now stand.
    void followConfig();

    // Listens on all interfaces at p (a different port closes the old one
    // first); true when listening.
    bool open(unsigned short p);
    void closeServer();
    void closeSocket();
    bool isListening() const;
    unsigned short port() const { return listenPort; }

    // The text of a read: up to the first NUL, Latin-1.
    static QString commandText(const QByteArray& bytes);
    // Splits at blanks; a double quote toggles a state in which blanks do
    // not split and stays in the token; no empty tokens.
    static QStringList tokenize(const QString& text);
    static QString errorText(int code);

    // Runs the command of one read and returns its answer: null for an
    // over-long input and for a "start" that answers when its capture ends.
    QString execute(const QByteArray& bytes);

    // The capture a "start" asked for: its first state came in (the window,
    // at state 0), and its end (state 5) with or without error. A state 5
    // before the state 0 belongs to an earlier capture.
    void sampleStarted();
    void ackSampleComplete(bool ok);
    bool startPending() const { return pending != Pending::None; }

    int lastError = ErrNone;
    QString replyValue;

    // True while the window works on the stores in a loop of its own (a
    // file command, a glitch filter): the client's input then waits unread
    // until it has ended. Unset: never.
    std::function<bool()> windowBusy;

signals:
    // 1: the triggers changed; 2: rate, depth or time changed; 3: the
    // thresholds changed.
    void sigUpdateGUI(int ui);

public slots:
    void slotNewConnection();
    void slotReadClient();

private:
    using Handler = bool (SocketAPI::*)(const QStringList& args);
    struct Action {
        const char* name;
        Handler handler;
        bool deferred;
        bool withValue;
    };
    static const Action socketActions[];

    enum class Pending { None, Armed, Running };

    void write(const QString& text);
    void deviceGone();
    bool fail(int code);
    // The device's sample time, and the depth it makes shown where it can be.
    bool applySmpTime(DevBase* dev, double seconds);
    bool sampling() const;

    bool actStart(const QStringList& args);
    bool actStop(const QStringList& args);
    bool actSetSampleRate(const QStringList& args);
    bool actGetSampleRate(const QStringList& args);
    bool actGetSupportRate(const QStringList& args);
    bool actSetSampleDepth(const QStringList& args);
    bool actSetSampleTime(const QStringList& args);
    bool actGetActualDepth(const QStringList& args);
    bool actGetActualTime(const QStringList& args);
    bool actSetThresVoltage(const QStringList& args);
    bool actSetTrigger(const QStringList& args);
    bool actExportData(const QStringList& args);
    bool actLastError(const QStringList& args);

    QTcpServer* server = nullptr;
    QTcpSocket* client = nullptr;
    unsigned short listenPort = DefaultPort;
    // Re-reads the client once the window's job has ended.
    QTimer* retry = nullptr;
    Pending pending = Pending::None;
    // Set while "start" calls into the device: a capture that ends at once
    // reports its end before the call returns.
    bool starting = false;
    // The device the pending start runs on (compared only: it may be gone).
    const QObject* startDevice = nullptr;
};

#endif
