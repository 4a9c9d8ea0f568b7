#include "support/PulseRows.h"

#include <QPushButton>

#include "rightbox/PulseMeasure.h"
#include "widgets/MyButton.h"

void setPulseRow(PulseMeasure& panel, int row, int type, int chn, int range)
{
    const auto runner = PulseMeasure::menuRunner;
    PulseMeasure::menuRunner = [](QMenu*, const QPoint&) {};
    const int values[3] = {type, chn, range};
    for (int c = PulseMeasure::ColType; c <= PulseMeasure::ColRange; ++c) {
        const auto col = PulseMeasure::Column(c);
        auto* rowButton = qobject_cast<QPushButton*>(panel.rowWidget(row, col));
        if (!rowButton)
            break;
        rowButton->click();
        if (MyButton* entry = panel.menuButtons(col).value(values[c]))
            entry->click();
    }
    PulseMeasure::menuRunner = runner;
}

int addPulseRow(PulseMeasure& panel, int type, int chn, int range)
{
    panel.slotBtnSetClicked();
    const int row = panel.rowCount() - 1;
    setPulseRow(panel, row, type, chn, range);
    return row;
}
