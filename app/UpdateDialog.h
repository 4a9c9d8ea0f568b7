#ifndef UPDATEDIALOG_H
#define UPDATEDIALOG_H
// What the update check tells the user: the request under way, then a newer
// version with the automatic update (OK starts the updater) or a download
// link, the latest version, or a failure.

#include <QDialog>
#include <QString>

#include "config/Version.h"

class QDialogButtonBox;
class QLabel;
class QPushButton;

// Outcome of an update check.
enum UpdateCheckResult : int {
    UpdateAutomatic = 0,   // a newer version; the updater can install it
    UpdateDownload = 1,    // a newer version to download by hand
    UpdateLatest = 2,      // the running version is the latest
    UpdateFailed = 3,      // the check failed
};

class UpdateDialog : public QDialog
{
    Q_OBJECT
public:
    explicit UpdateDialog(QWidget* parent = nullptr);

    void setRequest();
    void setResult(int r, const QString& version, const QString& dnlLink, const QString& updLink);
    // OK: starts the updater and closes the program; offers the download
    // link when the updater cannot be started.
    void accept() override;

    // A link from outside shown in a label: a clickable anchor for an http
    // or https address, plain text otherwise; always escaped.
    static void showLink(QLabel* label, const QString& link);

    // The updater program; empty: "Updater" beside the program.
    static QString updaterPath;

    Version newVersion;
    QString dnlLink;
    QString updLink;

    QLabel* title = nullptr;
    QLabel* message = nullptr;
    QLabel* link = nullptr;
    QLabel* updateLog = nullptr;
    QDialogButtonBox* buttons = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;

private:
    // The update-log page of the service, hidden without one.
    void showUpdateLog();
};

#endif
