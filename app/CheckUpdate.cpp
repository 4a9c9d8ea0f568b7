#include "app/CheckUpdate.h"

#include <QDomDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTimerEvent>
#include <QUuid>

#include "app/UpdateDialog.h"
#include "config/Config.h"
#include "config/XmlInput.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"

int CheckUpdate::autoDelay = 5000;
int CheckUpdate::manualDelay = 500;
std::function<QDateTime()> CheckUpdate::clock;

namespace {

// Longer answers are no link or version the service would send.
constexpr int kMaxText = 2048;
// A request the service does not answer ends as a failure.
constexpr int kTransferTimeout = 30000;

bool readableVersion(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("^\\d{1,9}(\\.\\d{1,9}){0,3}$"));
    return re.match(text).hasMatch();
}

QByteArray field(const char* key, const QString& value)
{
    return QByteArray(key) + '=' + QUrl::toPercentEncoding(value);
}

} // namespace

CheckUpdate::CheckUpdate(QWidget* dialogParent) : QObject(dialogParent)
{
    dialog = new UpdateDialog(dialogParent);
    connect(dialog, &QDialog::rejected, this, &CheckUpdate::slotUpdateCancel);
}

QDateTime CheckUpdate::now()
{
    return clock ? clock() : QDateTime::currentDateTime();
}

QUrl CheckUpdate::serviceUrl(const QString& path)
{
    const QString base = Config::readGlobalParam("updateServer").trimmed();
    if (base.isEmpty())
        return QUrl();
    QUrl url(base, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != "http" && scheme != "https"))
        return QUrl();
    QString p = url.path();
    while (p.endsWith('/'))
        p.chop(1);
    url.setPath(p + path);
    return url;
}

QString CheckUpdate::getSystemType()
{
    return QStringLiteral("lnx");
}

QString CheckUpdate::getUpdateInfo(const QDomNode& root, const QString& tag)
{
    for (QDomElement e = root.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        if (e.tagName() == tag)
            return e.text();
    return QString();
}

void CheckUpdate::schedule(int delay)
{
    // A Cancel during the delay holds for this check's answer too.
    cancelled = false;
    if (timerId)
        killTimer(timerId);
    timerId = startTimer(delay);
}

void CheckUpdate::autoCheck()
{
    if (serviceUrl(QString()).isEmpty())
        return;
    QDateTime last = QDateTime::fromString(Config::readGlobalParam("lastUpdate"), timeFormat);
    if (!last.isValid())
        last = QDateTime::fromSecsSinceEpoch(0);
    if (last.secsTo(now()) > 6LL * 24 * 3600) {
        op = 0;
        schedule(autoDelay);
    }
}

void CheckUpdate::manualCheck()
{
    dialog->setRequest();
    dialog->show();
    op = 1;
    // Without a service there is nothing to ask.
    if (serviceUrl(QString()).isEmpty()) {
        dialog->setResult(UpdateFailed, QString(), QString(), QString());
        return;
    }
    schedule(manualDelay);
}

void CheckUpdate::timerEvent(QTimerEvent* e)
{
    if (e->timerId() != timerId) {
        QObject::timerEvent(e);
        return;
    }
    killTimer(timerId);
    timerId = 0;
    Config::saveGlobalParam("lastUpdate", now().toString(timeFormat));
    sendRequest();
}

void CheckUpdate::sendRequest()
{
    const QUrl url = serviceUrl("/update");
    if (url.isEmpty()) {
        dialog->setResult(UpdateFailed, QString(), QString(), QString());
        return;
    }
    QNetworkRequest req(url);
    req.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/x-www-form-urlencoded"));
    req.setTransferTimeout(kTransferTimeout);
    sentZeroSmpCnt = Config::readGlobalParam("zeroSmpCnt");
    const QList<QByteArray> fields = {
        field("app", "zel"),
        field("ver", Config::curVersion.ToString()),
        field("op", QString::number(op)),
        field("bw", "64"),
        field("os", getSystemType()),
        field("mod", QString::number(devUsing ? devUsing->devModel : int(DevModelDemo))),
        field("vd", QUuid::createUuid().toString(QUuid::Id128)),
        field("zc", sentZeroSmpCnt),
        field("osv", QSysInfo::prettyProductName()),
    };
    if (!net) {
        net = new QNetworkAccessManager(this);
        connect(net, &QNetworkAccessManager::finished, this, &CheckUpdate::slotReplyFinished);
    }
    QNetworkReply* reply = net->post(req, fields.join('&'));
    current = reply;
    // An answer too large to be one is cut off, not held in memory.
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > XmlInput::MaxBytes)
            reply->abort();
    });
}

CheckUpdate::Answer CheckUpdate::readAnswer(const QByteArray& body, const Version& running)
{
    Answer a;
    QDomDocument doc;
    if (!XmlInput::parse(body, doc) || doc.documentElement().tagName() != "zel")
        return a;
    a.wellFormed = true;
    const QDomElement root = doc.documentElement();
    auto text = [&](const char* tag) {
        const QString t = getUpdateInfo(root, QLatin1String(tag)).trimmed();
        return t.size() > kMaxText ? QString() : t;
    };
    const QString last = text("last");
    if (!readableVersion(last))
        return a;   // no version to compare: no answer about updates
    if (!(Version(last) > running)) {
        a.result = UpdateLatest;
        return a;
    }
    a.version = last;
    a.dnlLink = text("dnllink");
    a.updLink = text("updlink");
    if (Version(text("support")) <= running && !a.updLink.isEmpty()) {
        a.result = UpdateAutomatic;
    } else if (!a.dnlLink.isEmpty()) {
        a.result = UpdateDownload;
        a.updLink.clear();
    } else {
        a.result = UpdateFailed;   // a newer version the user cannot get
    }
    return a;
}

void CheckUpdate::slotReplyFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    if (reply != current)
        return;
    current = nullptr;
    // A failed transfer (no connection, an error status) has no answer,
    // whatever body came with it.
    const QByteArray body = reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
    const Answer a = readAnswer(body, Config::curVersion);
    // The service has the record now, unless a newer one came meanwhile.
    if (a.wellFormed && Config::readGlobalParam("zeroSmpCnt") == sentZeroSmpCnt)
        Config::saveGlobalParam("zeroSmpCnt", QString());
    dialog->setResult(a.result, a.version, a.dnlLink, a.updLink);
    if ((a.result == UpdateAutomatic || a.result == UpdateDownload) && !cancelled)
        dialog->show();
}

void CheckUpdate::slotUpdateCancel()
{
    cancelled = true;
}
