#include "app/UpdateDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/CheckUpdate.h"
#include "config/Config.h"
#include "config/Lang.h"

QString UpdateDialog::updaterPath;

UpdateDialog::UpdateDialog(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::WindowCloseButtonHint)
{
    setWindowTitle(Lang::tr("Check for updates"));
    setWindowModality(Qt::ApplicationModal);
    setMinimumSize(Config::pixel(370), Config::pixel(100));

    title = new QLabel;
    message = new QLabel;
    message->setWordWrap(true);
    link = new QLabel;
    link->setWordWrap(true);
    link->setOpenExternalLinks(true);
    updateLog = new QLabel;
    updateLog->setOpenExternalLinks(true);
    buttons = new QDialogButtonBox;
    btnOk = buttons->addButton(Lang::tr("OK"), QDialogButtonBox::AcceptRole);
    btnCancel = buttons->addButton(Lang::tr("Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &UpdateDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &UpdateDialog::reject);

    QVBoxLayout* box = new QVBoxLayout(this);
    box->addWidget(title);
    box->addWidget(message);
    box->addWidget(link);
    box->addWidget(updateLog);
    box->addWidget(buttons);
    showUpdateLog();
}

void UpdateDialog::showUpdateLog()
{
    const QUrl page = CheckUpdate::serviceUrl("/zel/ulog/" + Lang::code);
    updateLog->setVisible(!page.isEmpty());
    if (!page.isEmpty())
        updateLog->setText("<a href=\"" + page.toString(QUrl::FullyEncoded).toHtmlEscaped() + "\">"
                           + (Lang::tr("Update Logs") + "...").toHtmlEscaped() + "</a>");
}

void UpdateDialog::showLink(QLabel* label, const QString& link)
{
    // Tolerant: a server's link with a quote or a blank in it is still a
    // link; shown and opened in its encoded form, so what the user sees is
    // what opens.
    const QUrl url(link, QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && !url.host().isEmpty() && (scheme == "http" || scheme == "https")) {
        const QString encoded = url.toString(QUrl::FullyEncoded).toHtmlEscaped();
        label->setTextFormat(Qt::RichText);
        label->setTextInteractionFlags(Qt::TextBrowserInteraction);
        label->setText("<a href=\"" + encoded + "\">" + encoded + "</a>");
    } else {
        // Anything else is shown for copying, never opened.
        label->setTextFormat(Qt::PlainText);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setText(link);
    }
}

void UpdateDialog::setRequest()
{
    title->clear();
    message->setText(Lang::tr("Looking for updates, please wait") + "...");
    link->clear();
    btnOk->hide();
    showUpdateLog();
}

void UpdateDialog::setResult(int r, const QString& version, const QString& dnl, const QString& upd)
{
    newVersion = version;
    dnlLink = dnl;
    updLink = upd;
    title->clear();
    link->clear();
    btnOk->hide();
    switch (r) {
    case UpdateAutomatic:
        message->setText(Lang::tr("Find a new version: ") + version + ", " + Lang::tr("Update now?"));
        btnOk->show();
        break;
    case UpdateDownload:
        title->setText(Lang::tr("Find a new version: ") + version);
        message->setText(Lang::tr("Please click the link below to download."));
        showLink(link, dnlLink);
        break;
    case UpdateLatest:
        message->setText(Lang::tr("It's the latest version, no updates required."));
        break;
    default:
        message->setText(Lang::tr("Update check failed."));
        break;
    }
}

void UpdateDialog::accept()
{
    const QString program =
        updaterPath.isEmpty() ? QCoreApplication::applicationDirPath() + "/Updater" : updaterPath;
    const QStringList args{updLink, Config::curVersion.ToString(), newVersion.ToString(),
                           Config::readGlobalParam("userLang")};
    if (QProcess::startDetached(program, args)) {
        QDialog::accept();
        QApplication::closeAllWindows();
        return;
    }
    title->setText(Lang::tr("Automatic update failed."));
    message->setText(Lang::tr("Please click the link below to download."));
    showLink(link, dnlLink);
    btnOk->hide();
}
