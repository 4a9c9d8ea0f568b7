#ifndef MYMENU_H
#define MYMENU_H
// A menu that stays open when one of its entries is clicked, so that several
// checkable entries can be toggled in one opening. An action whose dynamic
// property "canHideMenu" is exactly "true" closes the menu as usual.

#include <QMenu>

class MyMenu : public QMenu
{
    Q_OBJECT
public:
    explicit MyMenu(QWidget* parent = nullptr) : QMenu(parent) {}
    explicit MyMenu(const QString& title, QWidget* parent = nullptr) : QMenu(title, parent) {}

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
};

#endif
