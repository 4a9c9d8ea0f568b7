#include "widgets/MyLineEdit.h"

void MyLineEdit::mousePressEvent(QMouseEvent* e)
{
    emit mouseEnter();
    QLineEdit::mousePressEvent(e);
}
