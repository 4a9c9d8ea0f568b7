#ifndef MYLINEEDIT_H
#define MYLINEEDIT_H
// A line edit that announces every mouse press before handling it, so that
// its owner can prepare the text (for example select it) first.

#include <QLineEdit>

class MyLineEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit MyLineEdit(QWidget* parent = nullptr) : QLineEdit(parent) {}

signals:
    void mouseEnter();

protected:
    void mousePressEvent(QMouseEvent* e) override;
};

#endif
