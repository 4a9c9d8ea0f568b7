#include "app/AboutZEL.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSysInfo>

#include "config/Config.h"
#include "config/Lang.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "device/DevSupport.h"

QString AboutZEL::deviceId(const QByteArray& batch)
{
    if (batch.size() == 16) {
        const int nul = batch.indexOf('\0');
        return QString::fromLatin1(nul >= 0 ? batch.left(nul) : batch);
    }
    if (batch.size() == 2)
        return QString::fromLatin1(batch.toHex());
    return QString();
}

QString AboutZEL::systemInfo()
{
    const unsigned level = devSupport ? devSupport->usbVersion : 0;
    return QStringList{Lang::tr("System Information"),
                       Lang::tr("OS:") + " " + QSysInfo::prettyProductName(),
                       Lang::tr("Display Scale:") + " " + QString::number(Config::pixel(9600) / 96) + "%",
                       Lang::tr("Device Level:") + " " + QString::number(level, 16),
                       Lang::tr("Device ID:") + " " + deviceId(DevBase::devBatch)}
        .join("\r\n");
}

AboutZEL::AboutZEL(QWidget* parent) : QDialog(parent)
{
    setAttribute(Qt::WA_StyledBackground);
    setWindowTitle(Lang::tr("About") + " Corvena");
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
    setWindowModality(Qt::ApplicationModal);
    setMinimumSize(Config::pixel(380), Config::pixel(120));
    const int m = Config::pixel(8);

    logo = new QLabel(this);
    logo->setObjectName("AboutLogo");
    logo->setFixedSize(Config::pixel(96), Config::pixel(80));
    logo->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    name = new QLabel("Corvena", this);
    name->setObjectName("AboutName");
    QFont big = Config::fontLarge;
    big.setPixelSize(Config::pixel(26));
    name->setFont(big);

    version = new QLabel(Lang::tr("Version: ") + Config::curVersion.ToString() + " ("
                             + QString::number(QSysInfo::WordSize) + "-bit)",
                         this);
    notice = new QLabel(Lang::tr("A logic analyzer program for USB analyzers and a demonstration device."), this);
    notice->setWordWrap(true);
    blank = new QLabel(" ", this);

    // Plain text: the operating system's name is not markup.
    sysInfo = new QLabel(this);
    sysInfo->setObjectName("AboutSysInfo");
    sysInfo->setTextFormat(Qt::PlainText);
    sysInfo->setContentsMargins(m, m, m, m);
    sysInfo->setText(systemInfo());

    buttons = new QDialogButtonBox(this);
    buttons->addButton(Lang::tr("Close"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &AboutZEL::reject);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(m, m, m, m);
    grid->setHorizontalSpacing(m);
    grid->setVerticalSpacing(m);
    grid->addWidget(logo, 0, 0, 4, 1);
    grid->addWidget(name, 0, 1);
    grid->addWidget(version, 1, 1);
    grid->addWidget(notice, 2, 1);
    grid->addWidget(blank, 3, 0, 1, 2);
    grid->addWidget(sysInfo, 4, 0, 1, 2);
    grid->addWidget(buttons, 5, 0, 1, 2);
    grid->setColumnStretch(0, 0);
    grid->setColumnStretch(1, 1);
}
