#include "widgets/MyProgressDlg.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "config/Config.h"

MyProgressDlg::MyProgressDlg(const QString& title, const QString& buttonText, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(title);
    setWindowFlags(windowFlags() & ~Qt::WindowCloseButtonHint & ~Qt::WindowContextHelpButtonHint);
    setWindowModality(Qt::ApplicationModal);
    setMinimumSize(Config::pixel(260), Config::pixel(120));

    bar = new QProgressBar(this);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);

    label = new QLabel(this);
    label->setWordWrap(true);

    spacer = new QLabel(this);
    spacer->setFixedHeight(Config::pixel(26));
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    button = new QPushButton(buttonText, this);
    button->setFixedSize(Config::pixel(56), Config::pixel(26));
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // The button must not act as a default button: Return while a job runs
    // would otherwise cancel it.
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, &MyProgressDlg::slotBtnClicked);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(Config::pixel(20), Config::pixel(20), Config::pixel(20), Config::pixel(10));
    grid->addWidget(bar, 0, 0, 1, 2);
    grid->addWidget(label, 1, 0, 1, 2);
    grid->addWidget(spacer, 2, 0);
    grid->addWidget(button, 2, 1, Qt::AlignRight);
}

int MyProgressDlg::value() const
{
    return bar->value();
}

void MyProgressDlg::setBusy(bool busy)
{
    bar->setRange(0, busy ? 0 : 100);
}

void MyProgressDlg::setValue(int percent)
{
    if (percent < 0) {
        bar->setValue(0);
    } else if (percent <= 99) {
        bar->setValue(percent);
    } else {
        bar->setValue(100);
        if (acceptAtFull)
            accept();
    }
}

void MyProgressDlg::slotBtnClicked()
{
    if (closeOnButton)
        reject();
    else
        emit rejected();
}

void MyProgressDlg::keyPressEvent(QKeyEvent* e)
{
    // Escape does what the button does, and nothing while the owner hides
    // the button; the default would close the dialog behind the owner's back.
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        if (!button->isHidden() && button->isEnabled())
            slotBtnClicked();
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}
