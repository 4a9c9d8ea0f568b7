#ifndef ABOUTZEL_H
#define ABOUTZEL_H
// The About box: logo, name and version, a notice, and the system facts
// support staff ask for (operating system, display scale, USB level and
// identifier of the attached analyzer). Built anew for each opening.

#include <QDialog>

class QDialogButtonBox;
class QLabel;

class AboutZEL : public QDialog
{
    Q_OBJECT
public:
    explicit AboutZEL(QWidget* parent = nullptr);

    // The system-information text, lines joined by "\r\n".
    static QString systemInfo();
    // The analyzer's identifier as shown: 16 bytes as text up to a NUL,
    // 2 bytes as lowercase hexadecimal, anything else nothing.
    static QString deviceId(const QByteArray& batch);

    QLabel* logo = nullptr;
    QLabel* name = nullptr;
    QLabel* version = nullptr;
    QLabel* notice = nullptr;
    QLabel* blank = nullptr;
    QLabel* sysInfo = nullptr;
    QDialogButtonBox* buttons = nullptr;
};

#endif
