#ifndef CHECKUPDATE_H
#define CHECKUPDATE_H
// Asks the update service named by the global key "updateServer" (a base
// URL; empty: no service, nothing is sent) whether a newer version exists,
// and tells the user through an UpdateDialog. autoCheck() asks at most every
// six days and shows the dialog only for a newer version; manualCheck()
// shows it from the start. GUI thread; the exchange is asynchronous.

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

#include "config/Version.h"

class QDomNode;
class QNetworkAccessManager;
class QNetworkReply;
class QWidget;
class UpdateDialog;

class CheckUpdate : public QObject
{
    Q_OBJECT
public:
    // The dialog gets dialogParent as its parent.
    explicit CheckUpdate(QWidget* dialogParent);

    void autoCheck();
    void manualCheck();
    // True while a check waits for its delay to pass.
    bool isScheduled() const { return timerId != 0; }

    // The service address followed by path: http or https only; empty when
    // "updateServer" is empty or names anything else.
    static QUrl serviceUrl(const QString& path);
    static QString getSystemType();
    static QString getUpdateInfo(const QDomNode& root, const QString& tag);

    // An answer as the service sent it, read: the result (UpdateCheckResult)
    // and, for a newer version, its version and links. wellFormed tells
    // whether the service understood the request (an XML answer under "zel").
    struct Answer {
        int result = 3;
        bool wellFormed = false;
        QString version;
        QString dnlLink;
        QString updLink;
    };
    static Answer readAnswer(const QByteArray& body, const Version& running);

    UpdateDialog* dialog = nullptr;
    const QString timeFormat = QStringLiteral("yyyy-MM-dd_hh:mm:ss");
    int op = 0;   // 0 automatic check, 1 manual check
    bool cancelled = false;

    // Seams for tests: the delays before a request (ms) and the clock.
    static int autoDelay;
    static int manualDelay;
    static std::function<QDateTime()> clock;

public slots:
    void sendRequest();
    void slotReplyFinished(QNetworkReply* reply);
    void slotUpdateCancel();

protected:
    void timerEvent(QTimerEvent* e) override;

private:
    void schedule(int delay);
    static QDateTime now();

    int timerId = 0;
    // Made at the first request: Qt starts a thread of its own for a network
    // manager and waits for it, for good where the system refuses it, so a
    // program without an update service never makes one.
    QNetworkAccessManager* net = nullptr;
    // The request whose answer counts; an earlier one's answer is dropped.
    QNetworkReply* current = nullptr;
    // "zeroSmpCnt" as sent: cleared once the service has understood it.
    QString sentZeroSmpCnt;
};

#endif
