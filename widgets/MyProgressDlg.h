#ifndef MYPROGRESSDLG_H
#define MYPROGRESSDLG_H
// Application-modal progress dialog for long jobs: a bar (0..100), a text the
// owner sets, and one button (Cancel / Stop / Close).

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

class MyProgressDlg : public QDialog
{
    Q_OBJECT
public:
    MyProgressDlg(const QString& title, const QString& buttonText, QWidget* parent = nullptr);

    int value() const;
    // A job that cannot tell its progress: the bar only shows that it runs.
    void setBusy(bool busy);

    QLabel* label = nullptr;
    QPushButton* button = nullptr;
    // true: the button rejects the dialog; false: it only emits rejected()
    // and the owner decides when to close.
    bool closeOnButton = true;
    // true: a progress of 100 or more accepts (closes) the dialog.
    bool acceptAtFull = false;

public slots:
    void setValue(int percent);
    void slotBtnClicked();

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    QProgressBar* bar = nullptr;
    QLabel* spacer = nullptr;
};

#endif
