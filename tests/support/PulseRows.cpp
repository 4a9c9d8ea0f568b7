#include "support/PulseRows.h"

#include <QPushButton>

#include <algorithm>

#include "data/SmpData.h"

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

QString pulseCountsBySamples(const QVector<int>& level, long long a, long long b)
{
    if (a < 0 || b >= level.size() || a > b)
        return ",###,###,###,###";
    QVector<long long> edges;
    bool after = false;
    for (long long p = std::max(a, 1LL); p <= b; ++p) {
        if (level[int(p)] != level[int(p - 1)]) {
            edges.append(p);
            after = after || p > a;
        }
    }
    if (!after)
        return ",0,0,0,0";
    long long rise = 0, fall = 0, pos = 0, neg = 0;
    for (int i = 0; i < edges.size(); ++i) {
        const bool up = level[int(edges[i])] == 1;
        (up ? rise : fall) += 1;
        if (i + 1 < edges.size())
            (up ? pos : neg) += 1;
    }
    return QString(",%1,%2,%3,%4").arg(rise).arg(fall).arg(pos).arg(neg);
}

QVector<int> channelLevels(const SmpData* s, int chn)
{
    QVector<int> level(int(s->smpDepth) + 1);
    for (int p = 0; p < level.size(); ++p)
        level[p] = s->getPointLevel(chn, p) > 0 ? 1 : 0;
    return level;
}
