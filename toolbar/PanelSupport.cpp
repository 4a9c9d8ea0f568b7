#include "toolbar/PanelSupport.h"

#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include "config/Lang.h"
#include "device/DevBase.h"

namespace PanelSupport {

std::function<void(QWidget*, const QString&, const QString&)> warningBox;

void warnInvalid(QWidget* parent, const QString& text)
{
    const QString title = Lang::tr("A Setting is Invalid");
    if (warningBox) {
        warningBox(parent, title, text);
        return;
    }
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Close, parent);
    box.button(QMessageBox::Close)->setText(Lang::tr("Close"));
    box.exec();
}

void changeWithRestart(DevBase* device, const std::function<void()>& change)
{
    // The change may run a dialog, during which the device can be replaced.
    const QPointer<DevBase> dev = device;
    const bool wasRunning = dev && dev->smpStopForRestart();
    change();
    if (!dev)
        return;
    // Whatever reacts to the change may run its own stop/restart bracket,
    // which resets the device's restart flag while nothing runs. Restart from
    // what was seen here, and only when nothing has started a capture since.
    dev->smpRestart = wasRunning && !dev->smpRunning;
    dev->smpRestartIfNeed();
}

void closeWithDevice(QWidget* popup, DevBase* dev)
{
    if (dev)
        QObject::connect(dev, &QObject::destroyed, popup, &QWidget::close);
}

} // namespace PanelSupport
