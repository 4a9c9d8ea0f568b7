#ifndef PROTOMODAL_H
#define PROTOMODAL_H
// The modal dialogs and message boxes of the analyzers panel, its settings
// dialog and its export run through here, so that tests can answer them
// instead of blocking in a nested event loop.

#include <QMessageBox>
#include <QString>

#include <functional>

class QDialog;
class QWidget;

class ProtoModal
{
public:
    ProtoModal() = delete;

    // Runs a dialog modally and returns its result code. Unset: exec().
    static std::function<int(QDialog*)> dialogRunner;
    // Shows a modal box with one button labelled "Close". Unset: a
    // QMessageBox with the close button as its only title-bar control.
    static std::function<void(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text)>
        boxRunner;

    static int exec(QDialog* dialog);
    static void box(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text);
    // "An error occurred" / "File save failed." and the path.
    static void saveFailed(QWidget* parent, const QString& path);
};

#endif
