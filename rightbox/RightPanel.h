#ifndef RIGHTPANEL_H
#define RIGHTPANEL_H
// The frame the measurement panels of the right-hand column share: a title
// bar over a body that the title bar's expand button shows or hides. The
// title bar's other button (add or settings) is the panel's own.

#include <QString>
#include <QWidget>

class TitleBar;

class RightPanel : public QWidget
{
    Q_OBJECT
public:
    TitleBar* titleBar;
    QWidget* body;   // the panel lays its contents out in it

public slots:
    // Body visible exactly while the title bar is expanded.
    void slotBtnExpandClicked();
    virtual void slotBtnSetClicked() = 0;

protected:
    // icon != 0: the title bar's button adds an item, else it opens settings.
    RightPanel(const QString& objectName, int icon, const QString& title, QWidget* parent);
};

#endif
