#include "widgets/ChnQuickGroupBox.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

#include "config/Config.h"
#include "config/Lang.h"

ChnQuickGroupBox::ChnQuickGroupBox(QVector<qint64> maxRates, QVector<int> channelCounts, QWidget* parent)
    : QGroupBox(parent)
{
    setTitle(QStringLiteral("  ") + Lang::tr("Channel Quick Select") + QStringLiteral("  "));
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(Config::pixel(10), Config::pixel(10), Config::pixel(4), Config::pixel(4));
    lay->setSpacing(Config::pixel(2));

    group = new QButtonGroup(this);
    group->setExclusive(true);
    hiddenButton = new QRadioButton(this);
    hiddenButton->hide();
    group->addButton(hiddenButton);

    // A table whose two lists differ in length offers only the complete pairs.
    const int n = qMin(maxRates.size(), channelCounts.size());
    for (int i = 0; i < n; ++i) {
        auto* b = new QRadioButton(buttonText(maxRates[i], channelCounts[i]), this);
        b->setObjectName(QString::number(channelCounts[i] - 1));
        b->setAttribute(Qt::WA_LayoutUsesWidgetRect);
        connect(b, &QRadioButton::clicked, this, &ChnQuickGroupBox::slotBtnQuickClicked);
        group->addButton(b);
        lay->addWidget(b);
        buttons.append(b);
    }
    hiddenButton->setChecked(true);
}

QString ChnQuickGroupBox::buttonText(qint64 rate, int count)
{
    return QStringLiteral(" CH0~") + QString::number(count - 1) + QStringLiteral(" (")
           + Lang::tr("Maximum sample rate is") + QStringLiteral(" ")
           + QString::number(rate / 1000000) + QStringLiteral("MHz)");
}

bool ChnQuickGroupBox::setNumFrequ(QVector<qint64> maxRates, QVector<int> channelCounts)
{
    if (buttons.size() != maxRates.size() || buttons.size() != channelCounts.size())
        return false;
    for (int i = 0; i < buttons.size(); ++i) {
        buttons[i]->setText(buttonText(maxRates[i], channelCounts[i]));
        buttons[i]->setObjectName(QString::number(channelCounts[i] - 1));
    }
    hiddenButton->setChecked(true);
    return true;
}

void ChnQuickGroupBox::slotBtnQuickClicked()
{
    for (QRadioButton* b : qAsConst(buttons)) {
        if (b->isChecked()) {
            const int last = b->objectName().toInt();
            // A pair with no channels selects nothing.
            if (last >= 0)
                emit chnSelect(0, last);
            return;
        }
    }
}

void ChnQuickGroupBox::chnSelectChanged()
{
    hiddenButton->setChecked(true);
}
