#include "widgets/MyMenu.h"

#include <QAction>
#include <QMouseEvent>

void MyMenu::mouseReleaseEvent(QMouseEvent* e)
{
    QAction* a = actionAt(e->localPos().toPoint());
    if (a == nullptr || a->property("canHideMenu").toString() == QLatin1String("true")) {
        QMenu::mouseReleaseEvent(e);
        return;
    }
    // Disabled entries and separators do nothing, as in a plain menu.
    if (a->isEnabled() && !a->isSeparator())
        a->activate(QAction::Trigger);
}
