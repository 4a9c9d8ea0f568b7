#include "rightbox/MouseMeasure.h"

#include <QAction>
#include <QCursor>
#include <QGridLayout>
#include <QLabel>

#include <algorithm>

#include "config/Config.h"
#include "config/Lang.h"
#include "widgets/MyMenu.h"

namespace {
const char* const RowNames[MouseMeasure::RowCount] = {"Width", "Period", "DutyCycle", "Frequency"};
const QString ConfigKey = QStringLiteral("lgcMeasure");
}

MouseMeasure::MouseMeasure(QWidget* parent)
    : RightPanel(QStringLiteral("MouseMeasure"), 0, QStringLiteral("Measurements"), parent)
{
    auto* grid = new QGridLayout(body);
    grid->setContentsMargins(Config::pixel(4), 0, 0, 0);
    grid->setHorizontalSpacing(Config::pixel(12));
    grid->setVerticalSpacing(0);

    // No action sets "canHideMenu": a click toggles its row and the menu
    // stays open for the next.
    menu = new MyMenu(this);
    for (int i = 0; i < RowCount; ++i) {
        QLabel* name = new QLabel(Lang::tr(RowNames[i]) + ":", body);
        name->setObjectName(QStringLiteral("Label"));
        name->setFixedHeight(Config::pixel(18));
        name->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        grid->addWidget(name, i, 0);
        names.append(name);

        QLabel* value = new QLabel(QStringLiteral("###"), body);
        value->setObjectName(QStringLiteral("Label"));
        value->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        value->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        grid->addWidget(value, i, 1);
        values.append(value);

        QAction* a = menu->addAction(Lang::tr(RowNames[i]));
        a->setCheckable(true);
        a->setChecked(true);
        a->setData(i);
    }
    connect(menu, &QMenu::triggered, this, &MouseMeasure::slotMenuClicked);
    initMenuTriggered();
}

void MouseMeasure::showRow(int i, bool on)
{
    names[i]->setVisible(on);
    values[i]->setVisible(on);
}

void MouseMeasure::slotValueChanged(QStringList data)
{
    if (data.isEmpty() || data.size() > values.size())
        return;
    for (int i = 0; i < data.size(); ++i)
        values[i]->setText(Lang::tr(data[i]));
}

void MouseMeasure::initMenuTriggered()
{
    const QList<QAction*> actions = menu->actions();
    bool flags[RowCount];
    std::fill(flags, flags + RowCount, true);   // a missing or empty key shows every row
    Config::StringToBoolArray(Config::readGlobalParam(ConfigKey), flags, RowCount);
    for (int i = 0; i < RowCount; ++i) {
        showRow(i, flags[i]);
        actions[i]->setChecked(flags[i]);
    }
}

void MouseMeasure::saveParam()
{
    const QList<QAction*> actions = menu->actions();
    bool flags[RowCount];
    for (int i = 0; i < RowCount; ++i)
        flags[i] = actions[i]->isChecked();
    Config::saveGlobalParam(ConfigKey, Config::BoolArrayToString(flags, RowCount));
}

void MouseMeasure::slotBtnSetClicked()
{
    menu->popup(QCursor::pos());
}

void MouseMeasure::slotMenuClicked(QAction* action)
{
    bool ok = false;
    const int i = action ? action->data().toInt(&ok) : -1;
    if (!ok || i < 0 || i >= values.size())
        return;
    showRow(i, action->isChecked());
    saveParam();
}
