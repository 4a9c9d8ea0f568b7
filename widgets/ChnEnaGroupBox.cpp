#include "widgets/ChnEnaGroupBox.h"

#include <QCheckBox>
#include <QGridLayout>

#include "config/Config.h"
#include "config/Lang.h"

ChnEnaGroupBox::ChnEnaGroupBox(QVector<bool> enables, QWidget* parent) : QGroupBox(parent)
{
    setTitle(QStringLiteral("  ") + Lang::tr("Channel Select") + QStringLiteral("  "));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(Config::pixel(10), Config::pixel(10), Config::pixel(4), Config::pixel(4));
    grid->setHorizontalSpacing(Config::pixel(6));
    grid->setVerticalSpacing(Config::pixel(0));

    const int n = enables.size();
    const int rows = n >= 4 ? n / 4 : 1;
    for (int i = 0; i < n; ++i) {
        auto* b = new QCheckBox(QStringLiteral("CH") + QString::number(i), this);
        b->setAttribute(Qt::WA_LayoutUsesWidgetRect);
        b->setChecked(enables[i]);
        connect(b, &QCheckBox::clicked, this, [this](bool) { emit chnEnaChanged(); });
        grid->addWidget(b, i % rows, i / rows);
        boxes.append(b);
    }
}

bool ChnEnaGroupBox::getChnEna(QVector<bool>& out) const
{
    if (boxes.isEmpty() || out.size() != boxes.size())
        return false;
    bool any = false;
    for (int i = 0; i < boxes.size(); ++i) {
        out[i] = boxes[i]->isChecked();
        any = any || out[i];
    }
    return any;
}

void ChnEnaGroupBox::slotChnEnaSelect(int start, int end)
{
    for (int i = 0; i < boxes.size(); ++i)
        boxes[i]->setChecked(i >= start && i <= end);
}
