#include "widgets/MySpinBox.h"

#include <QKeyEvent>

void MySpinBox::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Return) {
        clearFocus();
        e->accept();
        return;
    }
    QSpinBox::keyPressEvent(e);
}
