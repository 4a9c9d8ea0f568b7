#include "rightbox/TimingMarker.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/Config.h"
#include "config/Lang.h"
#include "data/SmpData.h"
#include "decode/ProtoModal.h"
#include "decode/RightBoxView.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"

namespace {

// Marker ids the view knows: two per pair, pairs A to Z.
bool validMarkerId(int id)
{
    return id >= 0 && id < 2 * TimingMarker::MaxPairs;
}

QLabel* fixedLabel(const QString& text, QWidget* parent)
{
    QLabel* l = new QLabel(text, parent);
    l->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return l;
}

QPushButton* rowButton(const QString& objectName, QWidget* parent)
{
    QPushButton* b = new QPushButton(parent);
    b->setObjectName(objectName);
    b->setAttribute(Qt::WA_LayoutUsesWidgetRect);
    return b;
}

QPushButton* iconButton(const QString& objectName, const QString& icon, QWidget* parent)
{
    QPushButton* b = rowButton(objectName, parent);
    const int s = Config::pixel(16);
    b->setFixedSize(s, s);
    b->setIconSize(QSize(s, s));
    if (!icon.isEmpty())
        b->setIcon(QIcon(icon));
    return b;
}

} // namespace

// ---------------------------------------------------------------- one pair

TimingMarkerPair::TimingMarkerPair(int id, QWidget* parent) : QWidget(parent), id(id)
{
    setObjectName(QStringLiteral("TimingMarkerPair"));
    setAttribute(Qt::WA_StyledBackground);
    const int px1 = Config::pixel(1);
    const QString letter = QString(QChar('A' + id));

    QWidget* title = new QWidget(this);
    btnExpand = iconButton(QStringLiteral("btnExpand"), QString(), title);

    QWidget* head = new QWidget(title);
    btnMarker1 = rowButton(QStringLiteral("btnMarker"), head);
    btnMarker2 = rowButton(QStringLiteral("btnMarker"), head);
    btnMarker1->setText(letter + "1");
    btnMarker2->setText(letter + "2");
    for (QPushButton* b : {btnMarker1, btnMarker2})
        b->setFixedSize(Config::pixel(22), Config::pixel(16));
    labTotal = new TimingMarkerTip(QStringLiteral("###"), head);
    labTotal->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* headLay = new QHBoxLayout(head);
    headLay->setContentsMargins(0, 0, 0, 0);
    headLay->setSpacing(px1);
    headLay->addWidget(fixedLabel("|", head));
    headLay->addWidget(btnMarker1);
    headLay->addWidget(fixedLabel("-", head));
    headLay->addWidget(btnMarker2);
    headLay->addWidget(fixedLabel("|", head));
    headLay->addWidget(fixedLabel("=", head));
    headLay->addWidget(labTotal, 1);

    btnLocation = iconButton(QStringLiteral("btnLocation"), QStringLiteral(":/res/icoTimingMarker"), title);
    btnRemove = iconButton(QStringLiteral("btnRemove"), QStringLiteral(":/res/btnRemove"), title);
    auto* titleLay = new QHBoxLayout(title);
    titleLay->setContentsMargins(0, 0, 0, 0);
    titleLay->setSpacing(px1);
    titleLay->addWidget(btnExpand);
    titleLay->addWidget(head);
    titleLay->addWidget(btnLocation);
    titleLay->addWidget(btnRemove);

    body = new QWidget(this);
    auto* grid = new QGridLayout(body);
    grid->setContentsMargins(Config::pixel(16), 0, 0, 0);
    grid->setHorizontalSpacing(3 * px1);
    grid->setVerticalSpacing(3 * px1);
    for (int k = 0; k < 2; ++k) {
        grid->addWidget(fixedLabel(letter + QString::number(k + 1), body), k, 0);
        grid->addWidget(fixedLabel("@", body), k, 1);
        QLabel* value = new QLabel(QStringLiteral("###"), body);
        value->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
        grid->addWidget(value, k, 2, Qt::AlignLeft);
        valueLabels.append(value);
    }

    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(3 * px1, 3 * px1, 4 * px1, 3 * px1);
    lay->setSpacing(3 * px1);
    lay->addWidget(title);
    lay->addWidget(body);

    connect(btnExpand, &QPushButton::clicked, this, &TimingMarkerPair::slotBtnExpandClicked);
    connect(btnMarker1, &QPushButton::clicked, this, &TimingMarkerPair::slotBtnTiming1Clicked);
    connect(btnMarker2, &QPushButton::clicked, this, &TimingMarkerPair::slotBtnTiming2Clicked);
    connect(btnLocation, &QPushButton::clicked, this, &TimingMarkerPair::slotBtnLocationClicked);
    connect(btnRemove, &QPushButton::clicked, this, &TimingMarkerPair::slotBtnRemoveSetClicked);
    slotBtnExpandClicked();   // every new row starts expanded
}

void TimingMarkerPair::setTimeDate(int index, const QString& value, const QString& total)
{
    if (index < 0 || index >= valueLabels.size())
        return;
    valueLabels[index]->setText(value);
    labTotal->setText(total);
}

QString TimingMarkerPair::valueText(int index) const
{
    const QLabel* l = valueLabels.value(index);
    return l ? l->text() : QString();
}

QString TimingMarkerPair::totalText() const
{
    return labTotal->text();
}

void TimingMarkerPair::pickMarker(int which)
{
    const SmpData* s = devUsing ? devUsing->shownData() : nullptr;
    if (!s || s->smpDepth < 1)
        return;   // nothing to place a marker in
    emit sigPairClicked(2 * id + which, 21);
}

void TimingMarkerPair::slotBtnTiming1Clicked()
{
    pickMarker(0);
}

void TimingMarkerPair::slotBtnTiming2Clicked()
{
    pickMarker(1);
}

void TimingMarkerPair::slotBtnLocationClicked()
{
    emit sigPairClicked(2 * id, 19);
}

void TimingMarkerPair::slotBtnRemoveSetClicked()
{
    emit sigPairClicked(2 * id, 20);
}

void TimingMarkerPair::slotBtnExpandClicked()
{
    expanded = !expanded;
    btnExpand->setIcon(QIcon(expanded ? QStringLiteral(":/res/btnExpand") : QStringLiteral(":/res/btnCollapse")));
    body->setVisible(expanded);
}

// ---------------------------------------------------------------- the panel

TimingMarker::TimingMarker(QWidget* parent)
    : RightPanel(QStringLiteral("TimingMarker"), 1, QStringLiteral("Timing Marker Pairs"), parent)
{
    rowLayout = new QVBoxLayout(body);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(Config::pixel(4));
}

void TimingMarker::init()
{
    for (TimingMarkerPair* row : rows) {
        rowLayout->removeWidget(row);
        delete row;
    }
    rows.clear();
    slotBtnExpandClicked();
}

int TimingMarker::rowOf(int pair) const
{
    for (int i = 0; i < rows.size(); ++i)
        if (rows[i]->pairId() == pair)
            return i;
    return -1;
}

TimingMarkerPair* TimingMarker::newRow(int pair)
{
    TimingMarkerPair* row = new TimingMarkerPair(pair, body);
    connect(row, &TimingMarkerPair::sigPairClicked, this, &TimingMarker::slotPairClicked);
    return row;
}

void TimingMarker::insertRow(int index, TimingMarkerPair* row)
{
    if (index == rows.size()) {
        rows.append(row);
        rowLayout->addWidget(row);
        return;
    }
    for (TimingMarkerPair* r : rows)
        rowLayout->removeWidget(r);
    rows.insert(index, row);
    for (TimingMarkerPair* r : rows)
        rowLayout->addWidget(r);
}

void TimingMarker::slotBtnSetClicked()
{
    if (rows.size() >= MaxPairs) {
        ProtoModal::box(this, QMessageBox::Warning, Lang::tr("Warning"),
                        Lang::tr("Sorry, timing marker pairs has reached the maximum number."));
        return;
    }
    // The lowest pair id not in use: the rows are sorted, so the first gap.
    int id = 0;
    while (id < rows.size() && rows[id]->pairId() == id)
        ++id;
    insertRow(id, newRow(id));
    emit timingMarkerClicked(2 * id, 22);
}

void TimingMarker::addTimingMarkerPair(int id)
{
    if (!validMarkerId(id))
        return;
    const int pair = id / 2;
    int at = 0;
    while (at < rows.size() && rows[at]->pairId() < pair)
        ++at;
    if (at < rows.size() && rows[at]->pairId() == pair)
        return;
    insertRow(at, newRow(pair));
}

void TimingMarker::setTimingMarkerDate(int id, const QString& value, const QString& total)
{
    if (!validMarkerId(id))
        return;
    const int i = rowOf(id / 2);
    if (i >= 0)
        rows[i]->setTimeDate(id % 2, value, total);
}

void TimingMarker::slotTimingMarkerPairChanged(int type, int phyId, QString timeData, QString timeToal)
{
    if (type == 22)
        addTimingMarkerPair(phyId);
    else if (type == 23)
        setTimingMarkerDate(phyId, timeData, timeToal);
}

void TimingMarker::slotPairClicked(int id, int type)
{
    if (type != 20) {
        emit timingMarkerClicked(id, type);
        return;
    }
    const int i = rowOf(id / 2);
    if (i < 0)
        return;
    TimingMarkerPair* row = rows.takeAt(i);
    rowLayout->removeWidget(row);
    row->hide();
    row->deleteLater();   // its own button is still delivering the click
    emit timingMarkerClicked(id, 20);
}
