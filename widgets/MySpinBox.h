#ifndef MYSPINBOX_H
#define MYSPINBOX_H
// A spin box that gives up the keyboard focus on Return, which finishes the
// edit without moving to another widget.

#include <QSpinBox>

class MySpinBox : public QSpinBox
{
    Q_OBJECT
public:
    explicit MySpinBox(QWidget* parent = nullptr) : QSpinBox(parent) {}

protected:
    void keyPressEvent(QKeyEvent* e) override;
};

#endif
