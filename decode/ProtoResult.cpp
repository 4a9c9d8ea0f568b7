#include "ProtoResult.h"

#include <QAction>
#include <QCursor>
#include <QGridLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QShortcut>
#include <QStringListModel>
#include <QToolTip>
#include <QWheelEvent>

#include "config/Config.h"
#include "config/Lang.h"
#include "data/SmpData.h"
#include "decode/AnalyzerDataGen.h"
#include "decode/AnalyzerManager.h"
#include "decode/RightBoxView.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "widgets/MyScrollbar.h"

// ---------------------------------------------------------------------------
// ResultList

ResultList::ResultList(QWidget* parent) : QListView(parent)
{
    setObjectName(QStringLiteral("ResultList"));
    setAttribute(Qt::WA_StyledBackground);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setMouseTracking(true);
    setFont(Config::fontNarrow);
    bar = new MyScrollbar(this);
}

int ResultList::rowHeight()
{
    return qMax(1, Config::pixel(18));
}

void ResultList::resizeEvent(QResizeEvent* e)
{
    QListView::resizeEvent(e);
    const int h = height();
    rowNum = h / rowHeight();
    emit listRowChanged(rowNum);

    const int w = Config::pixel(8);
    bar->setGeometry(width() - w, 0, w, h);
    // The content length stays; only the visible part changes.
    const qint64 content = bar->maximum() - bar->minimum() + bar->pageStep();
    bar->setPageStep(h);
    bar->setRange(0, qMax<qint64>(0, content - h));
    bar->setValue(bar->value());
}

void ResultList::wheelEvent(QWheelEvent* e)
{
    e->accept();
    if (bar->maximum() < 1)
        return;
    const int dy = e->angleDelta().y();
    if (dy > 0)
        bar->setValue(bar->value() - rowHeight());
    else if (dy < 0)
        bar->setValue(bar->value() + rowHeight());
}

void ResultList::mouseMoveEvent(QMouseEvent* e)
{
    QListView::mouseMoveEvent(e);
    const QModelIndex idx = indexAt(e->localPos().toPoint());
    if (!idx.isValid()) {
        hoverRow = -1;
        return;
    }
    if (idx.row() == hoverRow)
        return;
    hoverRow = idx.row();
    const QString text = idx.data().toString();
    const int room = width() - bar->width();
    if (fontMetrics().horizontalAdvance(text) > room)
        QToolTip::showText(e->globalPos(), text, this);
    else
        QToolTip::hideText();
}

// ---------------------------------------------------------------------------
// ProtoResult

ProtoResult::ProtoResult(AnalyzerManager* manager, DecodeView* waveGen, QWidget* parent)
    : ProtoResult(manager, waveGen, new AnalyzerDataGen(manager), parent)
{
}

ProtoResult::ProtoResult(AnalyzerManager* mgr, DecodeView* wave, AnalyzerDataGen* gen, QWidget* parent)
    : QWidget(parent), manager(mgr), waveGen(wave), dataGen(gen)
{
    setObjectName(QStringLiteral("ProtoResult"));
    setAttribute(Qt::WA_StyledBackground);
    dataGen->setParent(this);

    title = new TitleBar(0, QStringLiteral("Decoded Results"), false, this);
    search = new SearchEdit(this);
    list = new ResultList(this);
    list->setSpacing(0);
    list->setGridSize(QSize(10, ResultList::rowHeight()));
    list->setMinimumHeight(8 * ResultList::rowHeight());

    QGridLayout* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(0);
    grid->setVerticalSpacing(Config::pixel(4));
    grid->addWidget(title, 0, 0);
    grid->addWidget(search, 1, 0);
    grid->addWidget(list, 2, 0);
    grid->setRowStretch(2, 1);

    model = new QStringListModel(this);
    list->setModel(model);
    menu = new QMenu(this);

    QShortcut* up = new QShortcut(QKeySequence(Qt::Key_Up), this);
    up->setContext(Qt::WindowShortcut);
    up->setAutoRepeat(false);
    QShortcut* down = new QShortcut(QKeySequence(Qt::Key_Down), this);
    down->setContext(Qt::WindowShortcut);
    down->setAutoRepeat(false);
    connect(up, &QShortcut::activated, this, &ProtoResult::slotKeyUpClicked);
    connect(down, &QShortcut::activated, this, &ProtoResult::slotKeyDownClicked);

    connect(title, &TitleBar::expandClicked, this, &ProtoResult::slotBtnExpandClicked);
    connect(title, &TitleBar::setClicked, this, &ProtoResult::slotBtnSetClicked);
    connect(search, &QLineEdit::textChanged, this, &ProtoResult::slotSearchClicked);
    connect(list, &QAbstractItemView::clicked, this, &ProtoResult::slotResultlistClicked);
    connect(list->scrollBar(), &MyScrollbar::valueChanged, this, &ProtoResult::slotResultListScrollValue);
    connect(list->scrollBar(), &MyScrollbar::rangChanged, this, &ProtoResult::slotResultListScrollRang);
    connect(list, &ResultList::listRowChanged, dataGen, &AnalyzerDataGen::slotRowNumChanged);
    connect(menu, &QMenu::triggered, this, &ProtoResult::slotMenuClicked);
    if (mgr) {
        connect(mgr, &AnalyzerManager::analyzerItemChanged, this, &ProtoResult::slotAnalyzerChanged);
        connect(mgr, &AnalyzerManager::analyzerDecodedChanged, this, &ProtoResult::slotAnalyzerChanged);
    }
    connect(dataGen, &AnalyzerDataGen::listChanged, this, &ProtoResult::slotResultListUpdate,
            Qt::QueuedConnection);
    connect(dataGen, &AnalyzerDataGen::listTotalChanged, this, &ProtoResult::slotResultListTotalChanged,
            Qt::QueuedConnection);
}

ProtoResult::~ProtoResult()
{
    // The generator's thread ends before the widgets it reports to go.
    delete dataGen;
    dataGen = nullptr;
}

long long ProtoResult::sampleCount()
{
    if (!devUsing)
        return 0;
    const SmpData* s = devUsing->shownData();
    return s ? qMax(0LL, s->smpDepth) : 0;
}

bool ProtoResult::deviceSampling()
{
    return devUsing && devUsing->smpRunning.load();
}

void ProtoResult::restartList()
{
    restartList(search->text());
}

void ProtoResult::restartList(const QString& text)
{
    if (text.isEmpty())
        dataGen->reStart(QString(), waveGen ? waveGen->viewStart() : 0.0, double(sampleCount()));
    else
        dataGen->reStart(text, 0, double(sampleCount()));
}

void ProtoResult::slotAnalyzerChanged()
{
    if (devUsing && devUsing->workMode != WorkModeLA)
        return;
    restartList();
}

void ProtoResult::slotMenuClicked(QAction* action)
{
    if (!action)
        return;
    AnalyzerManager::setProtocolShow(action->data().toInt());
    restartList();
}

void ProtoResult::updateDecodeProtocols(bool tableOnly)
{
    if (!search->text().isEmpty() || deviceSampling())
        return;
    const double start = waveGen ? waveGen->viewStart() : 0.0;
    const double end = double(sampleCount());
    if (tableOnly)
        dataGen->updateTable(QString(), start, end);
    else
        dataGen->reStart(QString(), start, end);
}

void ProtoResult::showEmpty()
{
    slotResultListUpdate(false, QStringList(), false, -1);
    slotResultListTotalChanged(0, 0, list->rowsPerPage());
}

void ProtoResult::slotSearchClicked(const QString& text)
{
    showEmpty();
    // An empty text brings back the unfiltered list from the view start.
    restartList(text);
}

void ProtoResult::clearFindText()
{
    search->clear();
    showEmpty();
    search->setTotalNum(-1);
}

void ProtoResult::slotResultListUpdate(bool isDone, QStringList rows, bool isSelected, int selIndex)
{
    model->setStringList(rows);
    // A page built before the latest click carries the selection as it was
    // then; the generator's current selection decides.
    if (!isSelected) {
        const int sel = dataGen->selectedRowOnPage();
        if (sel >= 0 && sel < rows.size()) {
            isSelected = true;
            selIndex = sel;
        }
    }
    selected = isSelected;
    selRow = isSelected ? selIndex : -1;
    if (!isSelected)
        return;
    if (isDone) {
        updateListSelectState();
    } else if (selIndex >= 0 && selIndex < rows.size()) {
        list->setCurrentIndex(model->index(selIndex));
    }
}

void ProtoResult::slotResultListTotalChanged(qint64 first, qint64 totalRows, int rows)
{
    pageStart = first;
    total = totalRows;
    const qint64 h = ResultList::rowHeight();
    MyScrollbar* bar = list->scrollBar();
    const qint64 max = qMax<qint64>(0, (totalRows - rows) * h);
    const qint64 value = qBound<qint64>(0, first * h, max);
    // Our own updates must not ask for pages.
    ignoreScroll = true;
    bar->setRange(0, max);
    bar->setValue(value);
    ignoreScroll = false;

    const bool any = !manager || manager->getUsingCount() > 0;
    search->setTotalNum(sampleCount() > 0 && any ? totalRows : -1);
}

void ProtoResult::slotResultListScrollValue(qint64 value)
{
    if (ignoreScroll)
        return;
    dataGen->begFrameChanged(value / ResultList::rowHeight());
}

void ProtoResult::slotResultListScrollRang(qint64, qint64)
{
    slotResultListScrollValue(list->scrollBar()->value());
}

void ProtoResult::selectAndShow(int row)
{
    // A row past the page has no frame: (0, 0) would throw the view to the
    // start of the capture.
    if (row < 0 || row >= dataGen->pointCount())
        return;
    dataGen->setSelected(row);
    selected = true;
    selRow = row;
    const SmpPointFrame p = dataGen->getSmpPoint(row);
    if (waveGen)
        waveGen->moveDecode(double(p.start), double(p.end));
}

void ProtoResult::slotResultlistClicked(const QModelIndex& index)
{
    if (index.isValid())
        selectAndShow(index.row());
}

void ProtoResult::updateListSelectState()
{
    int target = selRow;
    if (keyDirection == 1)
        target = selRow - 1;
    else if (keyDirection == 2)
        target = selRow + 1;
    const bool inside = target >= 0 && target < model->rowCount();
    if (inside)
        list->setCurrentIndex(model->index(target));
    if (keyDirection != 0) {
        keyDirection = 0;
        if (inside)
            selectAndShow(target);
    }
}

void ProtoResult::slotKeyUpClicked()
{
    const int shown = model->rowCount();
    if (!list->hasFocus() || !selected || selRow < 0 || selRow >= shown) {
        emit sigKeyUpAndDownClicked(KeyUp);
        return;
    }
    if (pageStart == 0 && selRow == 0)
        return;
    keyDirection = 1;
    if (selRow == 0)
        dataGen->begFrameChanged(pageStart - 1);
    else
        updateListSelectState();
}

void ProtoResult::slotKeyDownClicked()
{
    const int shown = model->rowCount();
    if (!list->hasFocus() || !selected || selRow < 0 || selRow >= shown) {
        emit sigKeyUpAndDownClicked(KeyDown);
        return;
    }
    // The last row of the whole list, also on a page that is not full.
    if (selRow == shown - 1 && pageStart + shown >= total)
        return;
    keyDirection = 2;
    if (selRow >= list->rowsPerPage() - 1)
        dataGen->begFrameChanged(pageStart + 1);
    else
        updateListSelectState();
}

void ProtoResult::splitProtocol(const QString& entry, QString* alias, bool* shown)
{
    // The alias may itself hold ",": the show flag follows the last one.
    const int cut = entry.lastIndexOf(',');
    *alias = cut < 0 ? entry : entry.left(cut);
    *shown = cut >= 0 && entry.mid(cut + 1).toInt() != 0;
}

void ProtoResult::slotBtnSetClicked()
{
    for (QAction* a : menuActions) {
        menu->removeAction(a);
        delete a;
    }
    menuActions.clear();
    protocols = AnalyzerManager::getTotalProtocol();
    for (int i = 0; i < protocols.size(); ++i) {
        QString alias;
        bool shown = false;
        splitProtocol(protocols.at(i), &alias, &shown);
        QAction* a = new QAction(Lang::tr(alias), menu);
        a->setData(i);
        a->setCheckable(true);
        a->setChecked(shown);
        menu->addAction(a);
        menuActions.append(a);
    }
    if (protocols.isEmpty()) {
        QAction* a = new QAction(Lang::tr(QStringLiteral("None")), menu);
        a->setEnabled(false);
        menu->addAction(a);
        menuActions.append(a);
    }
    menu->popup(QCursor::pos());
}

void ProtoResult::slotBtnExpandClicked()
{
    const bool on = title->getState();
    search->setVisible(on);
    list->setVisible(on);
}
