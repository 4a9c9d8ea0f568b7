#include "decode/ProtoModal.h"

#include <QDialog>
#include <QPushButton>

#include "config/Lang.h"

std::function<int(QDialog*)> ProtoModal::dialogRunner;
std::function<void(QWidget*, QMessageBox::Icon, const QString&, const QString&)> ProtoModal::boxRunner;

int ProtoModal::exec(QDialog* dialog)
{
    if (!dialog)
        return QDialog::Rejected;
    return dialogRunner ? dialogRunner(dialog) : dialog->exec();
}

void ProtoModal::box(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text)
{
    if (boxRunner) {
        boxRunner(parent, icon, title, text);
        return;
    }
    QMessageBox b(icon, title, text, QMessageBox::Close, parent, Qt::Dialog | Qt::WindowCloseButtonHint);
    b.button(QMessageBox::Close)->setText(Lang::tr("Close"));
    b.exec();
}

void ProtoModal::saveFailed(QWidget* parent, const QString& path)
{
    box(parent, QMessageBox::Critical, Lang::tr("An error occurred"), Lang::tr("File save failed.") + "\r\n" + path);
}
