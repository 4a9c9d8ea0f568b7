#include "rightbox/PulseMeasure.h"

#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QWidgetAction>

#include "config/Config.h"
#include "config/Lang.h"
#include "data/SmpData.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "widgets/MyButton.h"

PulseMeasure* PulseMeasure::me = nullptr;
std::function<void(QMenu*, const QPoint&)> PulseMeasure::menuRunner;
std::function<void(bool*, int)> PulseMeasure::markerPairsShown;

namespace {

const QString NoValue = QStringLiteral("###");

// Field i of a result entry when it is a count (or the view's "###");
// "###" for a missing or garbled field.
QString countField(const QStringList& fields, int i)
{
    const QString t = fields.value(i).trimmed();
    bool ok = false;
    t.toLongLong(&ok);
    return ok || t == NoValue ? t : NoValue;
}

// Field i read as an int; false when missing or not a number.
bool intField(const QStringList& fields, int i, int* out)
{
    bool ok = false;
    *out = fields.value(i).trimmed().toInt(&ok);
    return ok;
}

// Clears an auto-exclusive group, which refuses to uncheck its checked button.
void uncheck(QAbstractButton* b)
{
    b->setAutoExclusive(false);
    b->setChecked(false);
    b->setAutoExclusive(true);
}

} // namespace

PulseMeasure::PulseMeasure(QWidget* parent)
    : RightPanel(QStringLiteral("PulseMeasure"), 1, QStringLiteral("Pulse Counters"), parent)
{
    me = this;
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    icons << ":/res/btnPosEdge" << ":/res/btnNegEdge" << ":/res/btnPosPulse" << ":/res/btnNegPulse";

    gridLayout = new QGridLayout(body);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    gridLayout->setHorizontalSpacing(Config::pixel(2));
    gridLayout->setVerticalSpacing(Config::pixel(7));
    gridLayout->setColumnStretch(ColValue, 1);

    for (QMenu*& m : menus)
        m = new QMenu(this);
    for (int t = 0; t < TypeCount; ++t)
        addMenuEntry(ColType, QString(), icons[t], Config::pixel(18));
    addMenuEntry(ColRange, Lang::tr("ALL"), QString(), Config::pixel(18));
    for (int p = 0; p + 1 < RangeCount; ++p) {
        const QString letter = QString(QChar('A' + p));
        addMenuEntry(ColRange, letter + "1-" + letter + "2", QString(), Config::pixel(18));
    }
}

PulseMeasure::~PulseMeasure()
{
    if (me == this)
        me = nullptr;
}

MyButton* PulseMeasure::addMenuEntry(Column c, const QString& text, const QString& icon, int height)
{
    static void (PulseMeasure::*const chosen[3])() = {&PulseMeasure::slotBtnActTypeClicked,
                                                       &PulseMeasure::slotBtnActChnClicked,
                                                       &PulseMeasure::slotBtnActTimeClicked};
    MyButton* b = new MyButton(text);
    b->setCheckable(true);
    b->setAutoExclusive(true);   // the menu's buttons are siblings
    b->setAttribute(Qt::WA_LayoutUsesWidgetRect);
    b->setFixedHeight(height);
    if (!icon.isEmpty()) {
        b->setIcon(QIcon(icon));
        b->setIconSize(QSize(Config::pixel(16), Config::pixel(16)));
    }
    b->index = menuBtns[c].size();
    QWidgetAction* a = new QWidgetAction(menus[c]);
    a->setDefaultWidget(b);
    a->setData(b->index);
    menus[c]->addAction(a);
    connect(b, &QPushButton::clicked, this, chosen[c]);
    menuBtns[c].append(b);
    menuActs[c].append(a);
    return b;
}

void PulseMeasure::init()
{
    // A menu filled for the previous device chooses nothing for this one.
    for (QMenu* m : menus)
        m->close();
    const int n = devUsing ? devUsing->chnNum() : 0;
    while (menuBtns[ColChn].size() < n)
        addMenuEntry(ColChn, "CH" + QString::number(menuBtns[ColChn].size()), QString(), Config::pixel(16));
    while (menuBtns[ColChn].size() > n) {
        QWidgetAction* a = menuActs[ColChn].takeLast();
        menuBtns[ColChn].removeLast();
        menus[ColChn]->removeAction(a);
        a->deleteLater();   // takes its button along
    }
    for (QLabel* l : valueLabels)
        l->setText(NoValue);
}

// ---------------------------------------------------------------- queries

bool PulseMeasure::chnEnabled(int chn)
{
    return devUsing && chn >= 0 && chn < devUsing->chnEna.size() && devUsing->chnEna[chn];
}

bool PulseMeasure::hasSamples()
{
    const SmpData* s = devUsing ? devUsing->shownData() : nullptr;
    return s && s->smpDepth > 0;
}

QVector<bool> PulseMeasure::shownRanges()
{
    QVector<bool> shown(RangeCount, true);
    bool pairs[RangeCount - 1] = {};
    if (markerPairsShown)
        markerPairsShown(pairs, RangeCount - 1);
    for (int k = 0; k + 1 < RangeCount; ++k)
        shown[k + 1] = pairs[k];
    return shown;
}

QStringList PulseMeasure::getChnAndTimeSet()
{
    QStringList wishes;
    if (!me)
        return wishes;
    const QVector<bool> shown = shownRanges();
    for (int r = 0; r < me->rowCount(); ++r) {
        const int chn = me->rowChannel(r), range = me->rowRange(r);
        const QString wish = QString::number(chn) + "," + QString::number(range);
        if (chnEnabled(chn) && shown.value(range) && !wishes.contains(wish))
            wishes << wish;
    }
    return wishes;
}

QStringList PulseMeasure::getChnSet(int index)
{
    QStringList chns;
    if (!me || index < 0 || index + 1 >= RangeCount)
        return chns;
    for (int r = 0; r < me->rowCount(); ++r) {
        const int chn = me->rowChannel(r);
        const QString text = QString::number(chn);
        if (me->rowRange(r) == index + 1 && chnEnabled(chn) && !chns.contains(text))
            chns << text;
    }
    return chns;
}

QWidget* PulseMeasure::rowWidget(int row, Column c) const
{
    return row >= 0 && row < rowCount() ? widgetsOf(row)[c] : nullptr;
}

int PulseMeasure::rowType(int row) const
{
    return rowBtns[ColType][row]->value;
}

int PulseMeasure::rowChannel(int row) const
{
    return rowBtns[ColChn][row]->value;
}

int PulseMeasure::rowRange(int row) const
{
    return rowBtns[ColRange][row]->value;
}

QString PulseMeasure::rowValue(int row) const
{
    return valueLabels[row]->text();
}

// ---------------------------------------------------------------- results

void PulseMeasure::slotValueChanged(QStringList pulseList)
{
    QVector<QStringList> entries;
    entries.reserve(pulseList.size());
    for (const QString& e : pulseList)
        entries.append(e.split(','));
    for (int r = 0; r < rowCount(); ++r) {
        QString text = NoValue;
        if (chnEnabled(rowChannel(r))) {
            for (const QStringList& f : entries) {
                int chn = 0, range = 0;
                if (intField(f, 0, &chn) && intField(f, 1, &range) && chn == rowChannel(r) && range == rowRange(r)) {
                    text = countField(f, rowType(r) + 2);
                    break;
                }
            }
        }
        valueLabels[r]->setText(text);
    }
}

void PulseMeasure::slotValueChangedbyTimeMarker(int index, QStringList pulseList)
{
    // A pair number outside A..Z would otherwise name the whole-capture rows (-1).
    if (index < 0 || index + 1 >= RangeCount)
        return;
    for (int r = 0; r < rowCount(); ++r) {
        if (rowRange(r) != index + 1)
            continue;
        for (const QString& e : pulseList) {
            const QStringList f = e.split(',');
            int chn = 0;
            if (intField(f, 0, &chn) && chn == rowChannel(r)) {
                valueLabels[r]->setText(countField(f, rowType(r) + 1));
                break;
            }
        }
    }
}

// ---------------------------------------------------------------- rows

QVector<QWidget*> PulseMeasure::widgetsOf(int row) const
{
    return {rowBtns[ColType][row], rowBtns[ColChn][row], rowBtns[ColRange][row],
            sepLabels[row],        valueLabels[row],     removeBtns[row]};
}

void PulseMeasure::placeRow(int g, int i)
{
    const QVector<QWidget*> w = widgetsOf(i);
    for (int c = ColType; c <= ColSeparator; ++c)
        gridLayout->addWidget(w[c], g, c);
    gridLayout->addWidget(w[ColValue], g, ColValue, Qt::AlignLeft);
    gridLayout->addWidget(w[ColRemove], g, ColRemove, Qt::AlignRight);
}

void PulseMeasure::setRowValue(int row, Column c, int value)
{
    MyButton* b = rowBtns[c][row];
    b->value = value;
    if (c == ColType)
        b->setIcon(QIcon(icons.value(value)));
    else if (c == ColChn)
        b->setText("CH" + QString::number(value));
    else
        b->setText(menuBtns[ColRange].value(value) ? menuBtns[ColRange][value]->text() : QString());
}

void PulseMeasure::slotBtnSetClicked()
{
    // Channels are chosen from the channel menu: it must match the device.
    const int count = devUsing ? devUsing->chnNum() : 0;
    if (menuBtns[ColChn].size() != count)
        return;
    const int n = rowCount();
    if (n == 0)
        gridLayout->setContentsMargins(Config::pixel(3), Config::pixel(3), Config::pixel(3), Config::pixel(3));

    // The kind with the fewest rows, then the enabled channel with the
    // fewest rows; the lowest wins a tie. With no channel enabled the row
    // takes channel 0 and is never counted.
    QVector<int> perType(TypeCount, 0), perChn(count, 0);
    for (int r = 0; r < n; ++r) {
        ++perType[rowType(r)];
        if (rowChannel(r) >= 0 && rowChannel(r) < count)
            ++perChn[rowChannel(r)];
    }
    int type = 0;
    for (int t = 1; t < TypeCount; ++t)
        if (perType[t] < perType[type])
            type = t;
    int chn = -1;
    for (int i = 0; i < count; ++i)
        if (chnEnabled(i) && (chn < 0 || perChn[i] < perChn[chn]))
            chn = i;
    if (chn < 0)
        chn = 0;

    const int px1 = Config::pixel(1), s16 = Config::pixel(16);
    auto rowButton = [&](int value, void (PulseMeasure::*slot)()) {
        MyButton* b = new MyButton(body);
        b->index = n;
        b->value = value;
        b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        b->setAttribute(Qt::WA_LayoutUsesWidgetRect);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    MyButton* bType = rowButton(type, &PulseMeasure::slotBtnTypeClicked);
    bType->setIconSize(QSize(s16, s16));
    bType->setFixedSize(2 * px1 + int(1.5 * s16), 2 * px1 + s16);
    MyButton* bChn = rowButton(chn, &PulseMeasure::slotBtnChnClicked);
    bChn->setFixedSize(fontMetrics().horizontalAdvance("CH15") + Config::pixel(6), Config::pixel(18));
    MyButton* bRange = rowButton(0, &PulseMeasure::slotBtnTimeClicked);
    bRange->setFixedSize(fontMetrics().horizontalAdvance("A1-A2") + Config::pixel(8), Config::pixel(18));
    MyButton* bRemove = rowButton(0, &PulseMeasure::slotBtnRemoveClicked);
    bRemove->setObjectName(QStringLiteral("btnRemove"));
    bRemove->setIcon(QIcon(QStringLiteral(":/res/btnRemove")));
    bRemove->setFixedSize(s16, s16);
    bRemove->setIconSize(QSize(s16, s16));

    QLabel* sep = new QLabel(QStringLiteral(": "), body);
    sep->setObjectName(QStringLiteral("Label"));
    sep->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    QLabel* value = new QLabel(NoValue, body);
    value->setObjectName(QStringLiteral("Label"));
    value->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    rowBtns[ColType].append(bType);
    rowBtns[ColChn].append(bChn);
    rowBtns[ColRange].append(bRange);
    removeBtns.append(bRemove);
    sepLabels.append(sep);
    valueLabels.append(value);
    setRowValue(n, ColType, type);
    setRowValue(n, ColChn, chn);
    setRowValue(n, ColRange, 0);
    placeRow(n, n);

    if (hasSamples())
        emit setChanged();
}

void PulseMeasure::slotBtnRemoveClicked()
{
    const MyButton* b = qobject_cast<const MyButton*>(sender());
    const int r = b ? b->index : -1;
    const int n = rowCount();
    if (r < 0 || r >= n)
        return;
    if (n == 1)
        gridLayout->setContentsMargins(0, 0, 0, 0);
    // The rows below move up one grid row; the last grid row stays empty.
    for (int i = r; i < n; ++i)
        for (QWidget* w : widgetsOf(i))
            gridLayout->removeWidget(w);
    for (QWidget* w : widgetsOf(r)) {
        w->hide();
        w->deleteLater();   // its remove button is still delivering the click
    }
    for (QVector<MyButton*>& v : rowBtns)
        v.removeAt(r);
    removeBtns.removeAt(r);
    sepLabels.removeAt(r);
    valueLabels.removeAt(r);
    for (int i = r; i < n - 1; ++i) {
        for (QVector<MyButton*>& v : rowBtns)
            v[i]->index = i;
        removeBtns[i]->index = i;
        placeRow(i, i);
    }
    curRow = -1;
}

// ---------------------------------------------------------------- menus

void PulseMeasure::slotBtnTypeClicked()
{
    openMenu(ColType);
}

void PulseMeasure::slotBtnChnClicked()
{
    openMenu(ColChn);
}

void PulseMeasure::slotBtnTimeClicked()
{
    openMenu(ColRange);
}

void PulseMeasure::openMenu(Column c)
{
    MyButton* b = qobject_cast<MyButton*>(sender());
    if (!b || b->index < 0 || b->index >= rowCount())
        return;
    curRow = b->index;
    // Check the row's choice; a channel the device no longer has checks none.
    const int value = b->value;
    if (value >= 0 && value < menuBtns[c].size()) {
        menuBtns[c][value]->setChecked(true);
    } else {
        for (MyButton* m : menuBtns[c])
            if (m->isChecked())
                uncheck(m);
    }

    if (c == ColChn) {
        for (int i = 0; i < menuBtns[c].size(); ++i) {
            const bool on = chnEnabled(i);
            menuBtns[c][i]->setEnabled(on);
            menuActs[c][i]->setEnabled(on);
        }
    } else if (c == ColRange) {
        // ALL and A to E always listed, F to Z only while their markers show.
        const QVector<bool> shown = shownRanges();
        for (int k = 0; k < RangeCount; ++k) {
            menuBtns[c][k]->setEnabled(shown[k]);
            menuActs[c][k]->setEnabled(shown[k]);
            if (k >= 6) {
                menuBtns[c][k]->setVisible(shown[k]);
                menuActs[c][k]->setVisible(shown[k]);
            }
        }
    }
    QMenu* m = menus[c];
    m->setFixedWidth(b->width());
    const QPoint at = b->mapToGlobal(QPoint(0, b->height()));
    if (menuRunner)
        menuRunner(m, at);
    else
        m->exec(at);
}

void PulseMeasure::slotBtnActTypeClicked()
{
    choose(ColType);
}

void PulseMeasure::slotBtnActChnClicked()
{
    choose(ColChn);
}

void PulseMeasure::slotBtnActTimeClicked()
{
    choose(ColRange);
}

void PulseMeasure::choose(Column c)
{
    menus[c]->close();
    const MyButton* b = qobject_cast<const MyButton*>(sender());
    const int r = curRow;
    if (!b || r < 0 || r >= rowCount() || b->index == rowBtns[c][r]->value)
        return;
    setRowValue(r, c, b->index);
    if (!hasSamples())
        return;
    // Recount only what the view can count; the rest already shows "###".
    const bool chnOn = chnEnabled(rowChannel(r));
    const bool rangeOn = shownRanges().value(rowRange(r));
    if ((c == ColType && chnOn && rangeOn) || (c == ColChn && rangeOn) || (c == ColRange && chnOn))
        emit setChanged();
}
