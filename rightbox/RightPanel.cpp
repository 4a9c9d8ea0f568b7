#include "rightbox/RightPanel.h"

#include <QVBoxLayout>

#include "config/Config.h"
#include "decode/RightBoxView.h"

RightPanel::RightPanel(const QString& objectName, int icon, const QString& title, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(objectName);
    setAttribute(Qt::WA_StyledBackground);
    // State false: the title bar starts expanded.
    titleBar = new TitleBar(icon, title, false, this);
    body = new QWidget(this);
    body->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(Config::pixel(4));
    lay->addWidget(titleBar, 0);
    lay->addWidget(body, 1);

    connect(titleBar, &TitleBar::expandClicked, this, &RightPanel::slotBtnExpandClicked);
    connect(titleBar, &TitleBar::setClicked, this, &RightPanel::slotBtnSetClicked);
    slotBtnExpandClicked();
}

void RightPanel::slotBtnExpandClicked()
{
    body->setVisible(titleBar->getState());
}
