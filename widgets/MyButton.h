#ifndef MYBUTTON_H
#define MYBUTTON_H
// A push button carrying two integers that its owner reads and writes freely
// (a row or menu index, a type, channel or range).

#include <QPushButton>

class MyButton : public QPushButton
{
    Q_OBJECT
public:
    explicit MyButton(QWidget* parent = nullptr) : QPushButton(parent) {}
    explicit MyButton(const QString& text, QWidget* parent = nullptr) : QPushButton(text, parent) {}

    int index = 0;
    int value = 0;
};

#endif
