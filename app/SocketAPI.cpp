#include "app/SocketAPI.h"

#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <cmath>

#include "config/Config.h"
#include "config/Lang.h"
#include "config/PartFile.h"
#include "data/DataFile.h"
#include "data/SmpData.h"
#include "data/SmpTimeSpan.h"
#include "decode/AnalyzerManager.h"
#include "device/DevBase.h"
#include "device/DevBaseUtil.h"
#include "device/DevGlobals.h"
#include "device/DevSimulate.h"

const SocketAPI::Action SocketAPI::socketActions[] = {
    {"start", &SocketAPI::actStart, true, false},
    {"stop", &SocketAPI::actStop, false, false},
    {"set-sample-rate", &SocketAPI::actSetSampleRate, false, false},
    {"get-sample-rate", &SocketAPI::actGetSampleRate, false, true},
    {"get-supported-sample-rate", &SocketAPI::actGetSupportRate, false, true},
    {"set-sample-depth", &SocketAPI::actSetSampleDepth, false, false},
    {"set-sample-time", &SocketAPI::actSetSampleTime, false, false},
    {"get-actual-sample-depth", &SocketAPI::actGetActualDepth, false, true},
    {"get-actual-sample-time", &SocketAPI::actGetActualTime, false, true},
    {"set-threshold-voltage", &SocketAPI::actSetThresVoltage, false, false},
    {"set-trigger", &SocketAPI::actSetTrigger, false, false},
    {"save-data", &SocketAPI::actExportData, false, false},
    {"export-data", &SocketAPI::actExportData, false, false},
    {"get-last-error", &SocketAPI::actLastError, false, true},
};

namespace {

// A number from the network: finite, or refused before any use.
bool finiteNumber(const QString& text, double* out)
{
    bool ok = false;
    *out = text.toDouble(&ok);
    return ok && std::isfinite(*out);
}

} // namespace

SocketAPI::SocketAPI(QObject* parent) : QObject(parent)
{
    server = new QTcpServer(this);
    connect(server, &QTcpServer::newConnection, this, &SocketAPI::slotNewConnection);
    retry = new QTimer(this);
    retry->setSingleShot(true);
    retry->setInterval(20);
    connect(retry, &QTimer::timeout, this, &SocketAPI::slotReadClient);

    followConfig();
}

SocketAPI::~SocketAPI()
{
    closeServer();
}

void SocketAPI::followConfig()
{
    const unsigned short p = Config::serverPort();
    if (Config::serverEnabled()) {
        open(p);
        return;
    }
    closeServer();
    listenPort = p;
}

bool SocketAPI::open(unsigned short p)
{
    if (p == listenPort && server->isListening())
        return true;
    if (p != listenPort) {
        listenPort = p;
        closeServer();
    }
    return server->listen(QHostAddress::Any, p);
}

void SocketAPI::closeServer()
{
    if (!server->isListening())
        return;
    closeSocket();
    server->close();
}

void SocketAPI::closeSocket()
{
    if (!client)
        return;
    client->disconnect(this);
    client->close();
    // It may be in the middle of delivering a signal.
    client->deleteLater();
    client = nullptr;
}

bool SocketAPI::isListening() const
{
    return server->isListening();
}

void SocketAPI::slotNewConnection()
{
    QTcpSocket* next = server->nextPendingConnection();
    if (!next)
        return;
    closeSocket();
    // A new client gets no answer to a start it did not send.
    pending = Pending::None;
    startDevice = nullptr;
    client = next;
    connect(client, &QTcpSocket::readyRead, this, &SocketAPI::slotReadClient);
    if (client->bytesAvailable() > 0)
        slotReadClient();
}

void SocketAPI::slotReadClient()
{
    if (!client || client->bytesAvailable() <= 0)
        return;
    // The window's job works on the captures and settings that the commands
    // change: the input waits until it has ended.
    if (windowBusy && windowBusy()) {
        retry->start();
        return;
    }
    const QString reply = execute(client->readAll());
    if (!reply.isNull())
        write(reply);
}

void SocketAPI::write(const QString& text)
{
    if (client && client->isOpen())
        client->write(text.toUtf8());
}

QString SocketAPI::commandText(const QByteArray& bytes)
{
    const int nul = bytes.indexOf('\0');
    return QString::fromLatin1(nul < 0 ? bytes : bytes.left(nul));
}

QStringList SocketAPI::tokenize(const QString& text)
{
    QStringList tokens;
    QString token;
    bool quoted = false;
    for (const QChar c : text) {
        if (c == QLatin1Char(' ') && !quoted) {
            if (!token.isEmpty())
                tokens << token;
            token.clear();
            continue;
        }
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        token += c;
    }
    if (!token.isEmpty())
        tokens << token;
    return tokens;
}

QString SocketAPI::errorText(int code)
{
    static const char* const texts[] = {
        "no error",
        "command is too long",
        "invalid command",
        "invalid parameter",
        "sample failed",
        "save file failed",
        "sampling has been started",
        "device disconnected, cannot start sample",
        "device connected, cannot start simulate",
        "sampling in progress, cannot execute the command",
        "there is no data to save or export",
    };
    if (code < 0 || code >= int(sizeof(texts) / sizeof(texts[0])))
        return QStringLiteral("unknown error");
    return QLatin1String(texts[code]);
}

QString SocketAPI::execute(const QByteArray& bytes)
{
    const QString text = commandText(bytes);
    if (text.size() > MaxCommandLength) {
        lastError = ErrTooLong;
        return QString();
    }
    const QStringList tokens = tokenize(text);
    const Action* action = nullptr;
    for (const Action& a : socketActions) {
        if (!tokens.isEmpty() && tokens[0] == QLatin1String(a.name)) {
            action = &a;
            break;
        }
    }
    if (!action) {
        lastError = ErrInvalidCommand;
        return QStringLiteral("NAK");
    }
    replyValue.clear();
    if (!(this->*action->handler)(tokens.mid(1)))
        return QStringLiteral("NAK");
    if (action->deferred)
        return QString();
    return action->withValue ? QStringLiteral("ACK ") + replyValue : QStringLiteral("ACK");
}

// ---------------------------------------------------------------------------
// The deferred answer of "start"

void SocketAPI::sampleStarted()
{
    if (pending == Pending::Armed)
        pending = Pending::Running;
}

void SocketAPI::ackSampleComplete(bool ok)
{
    // Before its first state only a capture that ends inside the start
    // call is the started one.
    if (pending == Pending::None || (pending == Pending::Armed && !starting))
        return;
    DevBase* dev = devUsing;
    if (dev && dev == startDevice && dev->smpBySocket) {
        // Still the capture started here (any other start clears the flag):
        // its thread has reported its end and finishes now. Once answered,
        // the client may start the next capture at once.
        for (QThread* t : {static_cast<QThread*>(dev->smpSimulate), dev->smpCtrlNormal, dev->smpCtrlStream})
            if (t && t != QThread::currentThread())
                t->wait();
    }
    pending = Pending::None;
    startDevice = nullptr;
    write(ok ? QStringLiteral("ACK") : QStringLiteral("NAK"));
}

void SocketAPI::deviceGone()
{
    // Only the device the pending start runs on: the capture went with it.
    if (pending == Pending::None || sender() != startDevice)
        return;
    pending = Pending::None;
    startDevice = nullptr;
    write(QStringLiteral("NAK"));
}

// ---------------------------------------------------------------------------
// Commands

bool SocketAPI::fail(int code)
{
    lastError = code;
    return false;
}

bool SocketAPI::sampling() const
{
    return devUsing && devUsing->smpRunning;
}

bool SocketAPI::actStart(const QStringList& args)
{
    for (const QString& a : args)
        if (a != QLatin1String("--simulate"))
            return fail(ErrInvalidParameter);
    const bool simulate = !args.isEmpty();
    // A start whose answer is still to come counts as running.
    if (pending != Pending::None || sampling())
        return fail(ErrSampling);
    DevBase* dev = devUsing;
    const bool connected = dev && dev->connected;
    if (!dev || connected == simulate)
        return fail(connected ? ErrDeviceConnected : ErrNoDevice);

    AnalyzerManager::stopAllAnalyzer();
    AnalyzerManager::clearAnalyzerResult();
    pending = Pending::Armed;
    startDevice = dev;
    connect(dev, &QObject::destroyed, this, &SocketAPI::deviceGone, Qt::UniqueConnection);
    starting = true;
    dev->smpStart(SmpStartSingle, true);
    starting = false;
    return true;
}

bool SocketAPI::actStop(const QStringList& args)
{
    if (!args.isEmpty())
        return fail(ErrInvalidParameter);
    pending = Pending::None;
    startDevice = nullptr;
    if (sampling())
        devUsing->smpStopAndWait();
    return true;
}

bool SocketAPI::actSetSampleRate(const QStringList& args)
{
    if (sampling())
        return fail(ErrBusy);
    DevBase* dev = devUsing;
    if (args.size() != 1 || !dev)
        return fail(ErrInvalidParameter);
    const long long rate = args[0].toLongLong();   // no number reads 0, which no list holds
    const int i = dev->smpFrequList.indexOf(rate);
    if (i < 0 || !dev->setSmpFrequ(i))
        return fail(ErrInvalidParameter);
    emit sigUpdateGUI(2);
    return true;
}

bool SocketAPI::actGetSampleRate(const QStringList& args)
{
    if (!args.isEmpty() || !devUsing)
        return fail(ErrInvalidParameter);
    replyValue = QString::number(devUsing->getSmpFrequ());
    return true;
}

bool SocketAPI::actGetSupportRate(const QStringList& args)
{
    if (!args.isEmpty() || !devUsing)
        return fail(ErrInvalidParameter);
    QStringList rates;
    for (long long r : devUsing->smpFrequList)
        rates << QString::number(r);
    replyValue = rates.join(QLatin1Char(' '));
    return true;
}

bool SocketAPI::actSetSampleDepth(const QStringList& args)
{
    if (sampling())
        return fail(ErrBusy);
    DevBase* dev = devUsing;
    if (args.size() != 1 || !dev)
        return fail(ErrInvalidParameter);
    bool ok = false;
    const long long depth = args[0].toLongLong(&ok);
    const long long rate = dev->getSmpFrequ();
    if (!ok || depth <= 0 || rate <= 0)
        return fail(ErrInvalidParameter);
    // The device takes a time and truncates time x rate to samples: half a
    // sample more keeps a quotient that is not exact from losing one.
    return applySmpTime(dev, (double(depth) + 0.5) / double(rate)) || fail(ErrInvalidParameter);
}

bool SocketAPI::actSetSampleTime(const QStringList& args)
{
    if (sampling())
        return fail(ErrBusy);
    DevBase* dev = devUsing;
    double seconds = 0;
    if (args.size() != 1 || !dev || !finiteNumber(args[0], &seconds) || !applySmpTime(dev, seconds))
        return fail(ErrInvalidParameter);
    return true;
}

bool SocketAPI::applySmpTime(DevBase* dev, double seconds)
{
    if (!dev->setSmpTime(seconds))
        return false;
    // The sampling bar shows the entries of the depth list: a depth that is
    // one of them becomes the chosen entry.
    const int i = dev->smpDepthList.indexOf(dev->getExpectDepth());
    if (i >= 0)
        dev->setSmpDepth(i);
    emit sigUpdateGUI(2);
    return true;
}

bool SocketAPI::actGetActualDepth(const QStringList& args)
{
    const SmpData* s = devUsing ? devUsing->shownData() : nullptr;
    if (!args.isEmpty())
        return fail(ErrInvalidParameter);
    replyValue = QString::number(s ? s->smpDepth : 0);
    return true;
}

bool SocketAPI::actGetActualTime(const QStringList& args)
{
    const SmpData* s = devUsing ? devUsing->shownData() : nullptr;
    if (!args.isEmpty())
        return fail(ErrInvalidParameter);
    if (!s || s->smpFrequ < 1) {
        replyValue = QStringLiteral("0 0");
        return true;
    }
    const double rate = double(s->smpFrequ);
    replyValue = QString::number(-double(s->trgPosition) / rate, 'g', 9) + QLatin1Char(' ')
                 + QString::number(double(s->smpDepth - s->trgPosition) / rate, 'g', 9);
    return true;
}

bool SocketAPI::actSetThresVoltage(const QStringList& args)
{
    DevBase* dev = devUsing;
    if (args.isEmpty() || !dev)
        return fail(ErrInvalidParameter);
    bool ok = true;
    bool applied = false;
    for (int i = 0; i < args.size(); ++i) {
        double v = 0;
        // Written so that no NaN can pass.
        if (!finiteNumber(args[i], &v) || !(v >= -DevBaseUtil::kVthLimit && v <= DevBaseUtil::kVthLimit)) {
            ok = fail(ErrInvalidParameter);
            break;
        }
        const int group = i + 1;
        // A group the model does not have is refused there.
        if (!dev->setVthValue(v, group)) {
            ok = fail(ErrInvalidParameter);
            break;
        }
        const QString suffix = group == 1 ? QString() : QString::number(group);
        Config::saveDeviceParam(dev->devName, "chnLevel" + suffix, Lang::tr("Custom I/O"));
        Config::saveDeviceParam(dev->devName, "chnVth" + suffix, QString::number(v, 'f', 2));
        applied = true;
    }
    if (applied)
        emit sigUpdateGUI(3);
    return ok;
}

bool SocketAPI::actSetTrigger(const QStringList& args)
{
    if (sampling())
        return fail(ErrBusy);
    DevBase* dev = devUsing;
    if (!dev)
        return fail(ErrInvalidParameter);
    QVector<TrgType> trg = dev->chnTrg;
    int type = -1;   // no type chosen yet
    for (const QString& a : args) {
        if (a.startsWith(QLatin1String("--"))) {
            if (a == QLatin1String("--reset")) {
                trg.fill(TrgNone);
                type = -1;
            } else if (a == QLatin1String("--low-level")) {
                type = TrgLow;
            } else if (a == QLatin1String("--high-level")) {
                type = TrgHigh;
            } else if (a == QLatin1String("--pos-edge")) {
                type = TrgRising;
            } else if (a == QLatin1String("--neg-edge")) {
                type = TrgFalling;
            } else {
                return fail(ErrInvalidParameter);
            }
            continue;
        }
        bool ok = false;
        const int c = a.toInt(&ok);
        if (type < 0 || !ok || c < 0 || c >= trg.size())
            return fail(ErrInvalidParameter);
        // The hardware takes one edge trigger.
        if (type == TrgRising || type == TrgFalling)
            for (TrgType& t : trg)
                if (t == TrgRising || t == TrgFalling)
                    t = TrgNone;
        trg[c] = TrgType(type);
    }
    for (int c = 0; c < trg.size(); ++c)
        dev->setDChnTrg(c, c < dev->chnEna.size() && dev->chnEna[c] ? trg[c] : TrgNone);
    emit sigUpdateGUI(1);
    return true;
}

bool SocketAPI::actExportData(const QStringList& args)
{
    if (sampling())
        return fail(ErrBusy);
    DevBase* dev = devUsing;
    SmpData* s = dev ? dev->shownData() : nullptr;
    if (!s || s->smpDepth <= 0)
        return fail(ErrNoData);

    QString path;
    QStringList times, channels;
    QStringList* list = nullptr;
    for (const QString& a : args) {
        if (a == QLatin1String("--time-span")) {
            list = &times;
        } else if (a == QLatin1String("--chn-select")) {
            list = &channels;
        } else if (a.startsWith(QLatin1String("--"))) {
            return fail(ErrInvalidParameter);
        } else if (path.isNull()) {
            path = a;
        } else if (list) {
            list->append(a);
        } else {
            return fail(ErrInvalidParameter);
        }
    }
    // An option without values keeps the whole range or the enabled channels.
    if (path.isNull())
        return fail(ErrInvalidParameter);

    // Seconds from the trigger to samples as the export dialog takes them.
    long long range[2] = {0, s->smpDepth};
    for (int i = 0; i < 2 && i < times.size(); ++i) {
        double t = 0;
        if (!finiteNumber(times[i], &t))
            return fail(ErrInvalidParameter);
        range[i] = SmpTimeSpan::secondsToSample(t, s->smpDepth, s->smpFrequ, s->trgPosition);
    }

    QVector<bool> mask = dev->chnEna;
    if (!channels.isEmpty()) {
        mask.fill(false, dev->chnNum());
        for (const QString& c : channels) {
            bool ok = false;
            const int n = c.toInt(&ok);
            if (!ok || n < 0 || n >= mask.size())
                return fail(ErrInvalidParameter);
            mask[n] = true;
        }
    }

    path.remove(QLatin1Char('"'));
    // Only a path from the root: a relative one would land wherever the
    // program was started from (Qt would also take ":/" resource names).
    if (!path.startsWith(QLatin1Char('/')))
        return fail(ErrInvalidParameter);
    const QString suffix = QFileInfo(path).suffix();
    DataFile job(s);
    bool ok;
    if (suffix == QLatin1String("cvdat")) {
        // The whole settings document heads the capture; both go beside the
        // target and replace it only when whole.
        PartFile part(path);
        if (!part.isValid() || !Config::saveConfig(part.path()))
            return fail(ErrSaveFailed);
        ok = job.saveData(part.path(), mask, range[0], range[1], true) && part.commit();
    } else if (suffix == QLatin1String("txt") || suffix == QLatin1String("csv")) {
        QStringList names;
        for (int c = 0; c < s->chnNum; ++c)
            names << Config::getChnName(c);
        ok = job.exportCSV(path, mask, names, range[0], range[1], true);
    } else if (suffix == QLatin1String("bin")) {
        ok = job.exportBin(path, mask, range[0], range[1], true);
    } else {
        return fail(ErrInvalidParameter);
    }
    return ok || fail(ErrSaveFailed);
}

bool SocketAPI::actLastError(const QStringList& args)
{
    Q_UNUSED(args);   // extra arguments are ignored
    replyValue = errorText(lastError);
    return true;
}
