// The update check against a stand-in service on 127.0.0.1 (Python's
// http.server, tests/remote/update_server.py): the request's fields, every
// kind of answer and how the dialog shows it, the six-day rule of the
// automatic check, the updater, and no request at all without a service.
#include <QtTest>

#include <QDialogButtonBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTcpServer>

#include "app/CheckUpdate.h"
#include "app/MainMenu.h"
#include "app/UpdateDialog.h"
#include "app/mainwindow.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "support/TestEnv.h"

namespace {

const char* const kWaiting = "Looking for updates, please wait...";

QByteArray zel(const QString& inner)
{
    return ("<?xml version=\"1.0\"?><zel>" + inner + "</zel>").toUtf8();
}

} // namespace

class TestCheckUpdate : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;
    QProcess server;
    QString serverUrl;
    QWidget* host = nullptr;
    CheckUpdate* check = nullptr;

    void answer(int status, const QByteArray& body)
    {
        const QJsonObject o{{"status", status}, {"body", QString::fromUtf8(body)}};
        QVERIFY(TestEnv::writeFile(tmp.filePath("answer.json"), QJsonDocument(o).toJson()));
    }

    QList<QJsonObject> requests()
    {
        QList<QJsonObject> out;
        for (const QByteArray& line : TestEnv::readFile(tmp.filePath("requests.jsonl")).split('\n'))
            if (!line.isEmpty())
                out << QJsonDocument::fromJson(line).object();
        return out;
    }

    // The form fields of a request, in order.
    static QList<QPair<QString, QString>> fields(const QJsonObject& request)
    {
        QList<QPair<QString, QString>> out;
        for (const QJsonValue& f : request["fields"].toArray())
            out << qMakePair(f.toArray()[0].toString(), f.toArray()[1].toString());
        return out;
    }

    static QString field(const QJsonObject& request, const QString& key)
    {
        for (const auto& f : fields(request))
            if (f.first == key)
                return f.second;
        return "<missing>";
    }

    // A manual check to its end; false when no answer came.
    bool manualCheck()
    {
        check->manualCheck();
        UpdateDialog* d = check->dialog;
        if (!d->isVisible() || d->message->text() != kWaiting)
            return false;
        QElapsedTimer t;
        t.start();
        while (d->message->text() == kWaiting && t.elapsed() < 10000)
            QTest::qWait(5);
        return d->message->text() != kWaiting;
    }

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        QVERIFY(tmp.isValid());
        Config::init();
        Config::saveGlobalParam("userLang", "en-US");
        Lang::init();
        devUsing = DevBase::createDevice(DevModelDemo);
        answer(200, zel("<last>3.6.3</last>"));
        const QString python = QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
        server.start(python, {TestEnv::dataPath("../remote/update_server.py"), tmp.path()});
        QVERIFY(server.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(server.canReadLine(), 10000);
        const int port = server.readLine().trimmed().toInt();
        QVERIFY(port > 0);
        serverUrl = "http://127.0.0.1:" + QString::number(port);
        CheckUpdate::manualDelay = 0;
        CheckUpdate::autoDelay = 0;
    }

    void cleanupTestCase()
    {
        server.kill();
        server.waitForFinished();
        CheckUpdate::clock = nullptr;
        delete devUsing;
        devUsing = nullptr;
    }

    void init()
    {
        Config::saveGlobalParam("updateServer", serverUrl);
        host = new QWidget;
        check = new CheckUpdate(host);
    }

    void cleanup()
    {
        delete host;
        host = nullptr;
        check = nullptr;
        UpdateDialog::updaterPath.clear();
        CheckUpdate::clock = nullptr;
    }

    void answers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("link");     // the link label's text
        QTest::addColumn<bool>("clickable");   // the link is an anchor
        QTest::addColumn<bool>("ok");          // OK offered
        const QString failed = "Update check failed.";
        const QString download = "Please click the link below to download.";
        QTest::newRow("newer: automatic update")
            << 200 << zel("<last>3.7.0</last><support>3.0.0</support><dnllink>http://h/d</dnllink>"
                          "<updlink>http://h/u</updlink>")
            << "" << "Find a new version: 3.7.0, Update now?" << "" << false << true;
        QTest::newRow("newer without updater link: download")
            << 200 << zel("<last>3.7.0</last><support>3.0.0</support><dnllink>http://h/d</dnllink>")
            << "Find a new version: 3.7.0" << download << "<a href=\"http://h/d\">http://h/d</a>" << true << false;
        QTest::newRow("support newer: download")
            << 200 << zel("<last>4.0.0</last><support>4.0.0</support><dnllink>https://h/d</dnllink>"
                          "<updlink>http://h/u</updlink>")
            << "Find a new version: 4.0.0" << download << "<a href=\"https://h/d\">https://h/d</a>" << true
            << false;
        QTest::newRow("support newer without a link") << 200 << zel("<last>4.0.0</last><support>4.0.0</support>")
                                                      << "" << failed << "" << false << false;
        QTest::newRow("equal") << 200 << zel("<last>3.6.3</last>") << ""
                               << "It's the latest version, no updates required." << "" << false << false;
        QTest::newRow("older") << 200 << zel("<last>3.6.2.9</last>") << ""
                               << "It's the latest version, no updates required." << "" << false << false;
        QTest::newRow("not XML") << 200 << QByteArray("<html><body>oops") << "" << failed << "" << false << false;
        QTest::newRow("wrong root") << 200 << QByteArray("<bzl><last>9.0.0</last></bzl>") << "" << failed << ""
                                    << false << false;
        QTest::newRow("HTTP 500 empty") << 500 << QByteArray() << "" << failed << "" << false << false;
        QTest::newRow("HTTP 500 with an answer")
            << 500 << zel("<last>9.0.0</last><dnllink>http://h/d</dnllink>") << "" << failed << "" << false
            << false;
        QTest::newRow("no last") << 200 << zel("<support>1.0.0</support><dnllink>http://h/d</dnllink>") << ""
                                 << failed << "" << false << false;
        QTest::newRow("unreadable last") << 200 << zel("<last>new</last><dnllink>http://h/d</dnllink>") << ""
                                         << failed << "" << false << false;
        QTest::newRow("too deep") << 200 << zel(QString("<a>").repeated(100) + QString("</a>").repeated(100)) << ""
                                  << failed << "" << false << false;
        QTest::newRow("escaped link")
            << 200 << zel("<last>4.0.0</last><support>4.0.0</support><dnllink>http://h/d?a=1&amp;b=2</dnllink>")
            << "Find a new version: 4.0.0" << download
            << "<a href=\"http://h/d?a=1&amp;b=2\">http://h/d?a=1&amp;b=2</a>" << true << false;
        QTest::newRow("quote and markup in a link are encoded")
            << 200 << zel("<last>4.0.0</last><support>4.0.0</support>"
                          "<dnllink>http://h/\"&gt;&lt;b&gt;x</dnllink>")
            << "Find a new version: 4.0.0" << download
            << "<a href=\"http://h/%22%3E%3Cb%3Ex\">http://h/%22%3E%3Cb%3Ex</a>" << true << false;
        QTest::newRow("blank in a link is encoded")
            << 200 << zel("<last>4.0.0</last><support>4.0.0</support><dnllink>https://h/new file</dnllink>")
            << "Find a new version: 4.0.0" << download << "<a href=\"https://h/new%20file\">https://h/new%20file</a>"
            << true << false;
        QTest::newRow("link without a host is plain text")
            << 200 << zel("<last>4.0.0</last><support>4.0.0</support><dnllink>http:///d</dnllink>")
            << "Find a new version: 4.0.0" << download << "http:///d" << false << false;
        QTest::newRow("file link is plain text")
            << 200 << zel("<last>4.0.0</last><support>4.0.0</support><dnllink>file:///etc/passwd</dnllink>")
            << "Find a new version: 4.0.0" << download << "file:///etc/passwd" << false << false;
        QTest::newRow("script link is plain text")
            << 200 << zel("<last>4.0.0</last><support>4.0.0</support><dnllink>javascript:alert(1)</dnllink>")
            << "Find a new version: 4.0.0" << download << "javascript:alert(1)" << false << false;
    }
    void answers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, title);
        QFETCH(QString, message);
        QFETCH(QString, link);
        QFETCH(bool, clickable);
        QFETCH(bool, ok);
        answer(status, body);
        QVERIFY(manualCheck());
        UpdateDialog* d = check->dialog;
        QCOMPARE(d->message->text(), message);
        QCOMPARE(d->title->text(), title);
        QCOMPARE(d->link->text(), link);
        QCOMPARE(d->link->textFormat() == Qt::RichText, clickable);
        QCOMPARE(d->btnOk->isVisibleTo(d), ok);
        QVERIFY(d->isVisible());
        QVERIFY(!d->updateLog->isHidden());
    }

    void connectionRefused()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 closed = probe.serverPort();
        probe.close();
        Config::saveGlobalParam("updateServer", "http://127.0.0.1:" + QString::number(closed));
        QVERIFY(manualCheck());
        QCOMPARE(check->dialog->message->text(), QString("Update check failed."));
    }

    // Without a service nothing is sent: the manual check fails at once
    // and the dialog offers no update-log link.
    void noService_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("empty") << "";
        QTest::newRow("blanks") << "   ";
        QTest::newRow("not http") << "file:///tmp";
        QTest::newRow("no host") << "http://";
    }
    void noService()
    {
        QFETCH(QString, address);
        Config::saveGlobalParam("updateServer", address);
        delete host;
        host = new QWidget;
        check = new CheckUpdate(host);
        const int before = requests().size();
        Config::saveGlobalParam("lastUpdate", "");
        check->manualCheck();
        QCOMPARE(check->dialog->message->text(), QString("Update check failed."));
        QVERIFY(!check->isScheduled());
        QVERIFY(check->dialog->updateLog->isHidden());
        check->autoCheck();
        QVERIFY(!check->isScheduled());
        QTest::qWait(50);
        QCOMPARE(requests().size(), before);
        QCOMPARE(Config::readGlobalParam("lastUpdate"), QString());
        QCOMPARE(CheckUpdate::serviceUrl("/update"), QUrl());
    }

    // The form: every field in its order, values percent-encoded; vd new
    // for every request; zc sent until the service has understood it.
    void requestFields()
    {
        const QString zc = "17,3,a&b=c+d %";
        Config::saveGlobalParam("zeroSmpCnt", zc);
        const int before = requests().size();

        answer(500, QByteArray());
        QVERIFY(manualCheck());
        QCOMPARE(Config::readGlobalParam("zeroSmpCnt"), zc);   // kept after a failure
        answer(200, zel("<last>3.6.3</last>"));
        QVERIFY(manualCheck());
        QCOMPARE(Config::readGlobalParam("zeroSmpCnt"), QString());
        QVERIFY(manualCheck());

        const QList<QJsonObject> r = requests().mid(before);
        QCOMPARE(r.size(), 3);
        for (const QJsonObject& q : r) {
            QVERIFY2(!q.contains("error"), qPrintable(q["error"].toString()));
            QCOMPARE(q["path"].toString(), QString("/update"));
            QCOMPARE(q["contentType"].toString(), QString("application/x-www-form-urlencoded"));
            QStringList keys;
            for (const auto& f : fields(q))
                keys << f.first;
            QCOMPARE(keys, (QStringList{"app", "ver", "op", "bw", "os", "mod", "vd", "zc", "osv"}));
            QCOMPARE(field(q, "app"), QString("zel"));
            QCOMPARE(field(q, "ver"), QString("3.6.3"));
            QCOMPARE(field(q, "op"), QString("1"));
            QCOMPARE(field(q, "bw"), QString("64"));
            QCOMPARE(field(q, "os"), QString("lnx"));
            QCOMPARE(field(q, "mod"), QString("0"));
            QVERIFY(QRegularExpression("^[0-9a-f]{32}$").match(field(q, "vd")).hasMatch());
            QCOMPARE(field(q, "osv"), QSysInfo::prettyProductName());
        }
        QCOMPARE(field(r[0], "zc"), zc);
        QCOMPARE(field(r[1], "zc"), zc);
        QCOMPARE(field(r[2], "zc"), QString());
        QVERIFY(field(r[0], "vd") != field(r[1], "vd") && field(r[1], "vd") != field(r[2], "vd"));
    }

    // A record made while the request was under way is sent next time.
    void newerRecordKept()
    {
        Config::saveGlobalParam("zeroSmpCnt", "1,1,aa");
        answer(200, zel("<last>3.6.3</last>"));
        check->sendRequest();   // sent now, answered later
        Config::saveGlobalParam("zeroSmpCnt", "2,1,aa");
        QTRY_COMPARE(check->dialog->message->text(), QString("It's the latest version, no updates required."));
        QCOMPARE(Config::readGlobalParam("zeroSmpCnt"), QString("2,1,aa"));
        Config::saveGlobalParam("zeroSmpCnt", "");
    }

    void sixDays_data()
    {
        QTest::addColumn<QString>("last");   // seconds before now, or a text
        QTest::addColumn<bool>("scheduled");
        QTest::newRow("6 days exactly") << "518400" << false;
        QTest::newRow("6 days and 1 s") << "518401" << true;
        QTest::newRow("7 days") << "604800" << true;
        QTest::newRow("just now") << "0" << false;
        QTest::newRow("in the future") << "-86400" << false;
        QTest::newRow("never") << "" << true;
        QTest::newRow("unreadable") << "yesterday" << true;
    }
    void sixDays()
    {
        QFETCH(QString, last);
        QFETCH(bool, scheduled);
        const QDateTime now(QDate(2024, 5, 17), QTime(12, 30, 15));
        CheckUpdate::clock = [now] { return now; };
        bool isNumber = false;
        const qint64 ago = last.toLongLong(&isNumber);
        Config::saveGlobalParam("lastUpdate", isNumber ? now.addSecs(-ago).toString(check->timeFormat) : last);
        const int before = requests().size();
        answer(200, zel("<last>3.6.3</last>"));
        check->autoCheck();
        QCOMPARE(check->isScheduled(), scheduled);
        if (!scheduled)
            return;
        // Sent once the delay has passed; the time is kept, the dialog stays
        // hidden for the latest version.
        QTRY_COMPARE(requests().size(), before + 1);
        QCOMPARE(field(requests().last(), "op"), QString("0"));
        QCOMPARE(Config::readGlobalParam("lastUpdate"), QString("2024-05-17_12:30:15"));
        QVERIFY(!check->isScheduled());
        QTest::qWait(50);
        QVERIFY(!check->dialog->isVisible());
    }

    // An automatic check shows the dialog for a newer version, unless the
    // user cancelled meanwhile.
    void automaticShowsNewer()
    {
        Config::saveGlobalParam("lastUpdate", "");
        answer(200, zel("<last>3.7.0</last><support>3.0.0</support><updlink>http://h/u</updlink>"));
        check->autoCheck();
        QTRY_VERIFY(check->dialog->isVisible());
        QCOMPARE(check->dialog->message->text(), QString("Find a new version: 3.7.0, Update now?"));
        check->dialog->btnCancel->click();
        QVERIFY(check->cancelled);
        QVERIFY(!check->dialog->isVisible());
    }

    void cancelledDialogStaysClosed()
    {
        answer(200, zel("<last>3.7.0</last><dnllink>http://h/d</dnllink>"));
        const int before = requests().size();
        check->manualCheck();
        check->dialog->btnCancel->click();
        QTRY_COMPARE(requests().size(), before + 1);
        QTRY_COMPARE(check->dialog->title->text(), QString("Find a new version: 3.7.0"));
        QVERIFY(!check->dialog->isVisible());
    }

    // OK starts the updater with its four arguments; when it cannot be
    // started, the download link is offered instead.
    void updater()
    {
        const QString out = tmp.filePath("updater-args.txt");
        const QString script = tmp.filePath("Updater");
        QVERIFY(TestEnv::writeFile(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + out.toUtf8() + ".tmp\"\n"
                                           "mv \"" + out.toUtf8() + ".tmp\" \"" + out.toUtf8() + "\"\n"));
        QVERIFY(QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        UpdateDialog::updaterPath = script;
        UpdateDialog* d = check->dialog;
        d->setResult(UpdateAutomatic, "3.7.0", "http://h/d", "http://h/u");
        d->show();
        QSignalSpy accepted(d, &QDialog::accepted);
        d->btnOk->click();
        QCOMPARE(accepted.size(), 1);
        QTRY_VERIFY(QFile::exists(out));
        QCOMPARE(QString::fromUtf8(TestEnv::readFile(out)).split('\n', Qt::SkipEmptyParts),
                 (QStringList{"http://h/u", "3.6.3", "3.7.0", "en-US"}));

        UpdateDialog::updaterPath = tmp.filePath("no-such-updater");
        d->setResult(UpdateAutomatic, "3.7.0", "http://h/d", "http://h/u");
        d->show();
        d->btnOk->click();
        QCOMPARE(accepted.size(), 1);
        QVERIFY(d->isVisible());
        QCOMPARE(d->title->text(), QString("Automatic update failed."));
        QCOMPARE(d->message->text(), QString("Please click the link below to download."));
        QCOMPARE(d->link->text(), QString("<a href=\"http://h/d\">http://h/d</a>"));
        QVERIFY(d->btnOk->isHidden());
    }

    void dialogLayout()
    {
        UpdateDialog* d = check->dialog;
        QCOMPARE(d->windowTitle(), QString("Check for updates"));
        QCOMPARE(d->windowModality(), Qt::ApplicationModal);
        QCOMPARE(d->minimumSize(), QSize(Config::pixel(370), Config::pixel(100)));
        QCOMPARE(d->btnOk->text(), QString("OK"));
        QCOMPARE(d->btnCancel->text(), QString("Cancel"));
        QCOMPARE(d->updateLog->text(),
                 "<a href=\"" + serverUrl + "/zel/ulog/en-US\">Update Logs...</a>");
        QVERIFY(d->updateLog->openExternalLinks());
    }

    // The menu's two slots: the manual check of the window's checker and
    // the update-log page, which needs a service.
    void menuSlots()
    {
        devSupport = nullptr;
        Config::createFont();
        MainWindow w;
        QVERIFY(w.checkUpdate);
        answer(200, zel("<last>3.6.3</last>"));
        w.mainMenu->slotActCheckUpdateClicked();
        QVERIFY(w.checkUpdate->dialog->isVisible());
        QTRY_COMPARE(w.checkUpdate->dialog->message->text(),
                     QString("It's the latest version, no updates required."));
        w.checkUpdate->dialog->reject();

        QList<QUrl> opened;
        MainMenu::openUrl = [&](const QUrl& u) {
            opened << u;
            return true;
        };
        w.mainMenu->slotActUpdateLogsClicked();
        Config::saveGlobalParam("updateServer", "");
        w.mainMenu->slotActUpdateLogsClicked();
        MainMenu::openUrl = nullptr;
        QCOMPARE(opened, QList<QUrl>{QUrl(serverUrl + "/zel/ulog/en-US")});
    }
};

QTEST_MAIN(TestCheckUpdate)
#include "test_checkupdate.moc"
