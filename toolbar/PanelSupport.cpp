#include "toolbar/PanelSupport.h"

#include <QMessageBox>
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

void closeWithDevice(QWidget* popup, DevBase* dev)
{
    if (dev)
        QObject::connect(dev, &QObject::destroyed, popup, &QWidget::close);
}

} // namespace PanelSupport
