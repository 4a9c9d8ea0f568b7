#include "view/ItemChnSidebar.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadialGradient>
#include <QVBoxLayout>

#include <algorithm>

#include "config/Config.h"
#include "config/Lang.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "widgets/MyButton.h"

// ---------------------------------------------------------------------------
// MoveLabel

MoveLabel::MoveLabel(int chn, bool movable, QWidget* parent)
    : QLabel(QString::number(chn), parent), chn(chn), movable(movable)
{
}

void MoveLabel::enterEvent(QEvent* e)
{
    if (movable)
        setCursor(Qt::OpenHandCursor);
    QLabel::enterEvent(e);
}

void MoveLabel::leaveEvent(QEvent* e)
{
    setCursor(Qt::ArrowCursor);
    QLabel::leaveEvent(e);
}

void MoveLabel::mousePressEvent(QMouseEvent* e)
{
    if (!movable) {
        QLabel::mousePressEvent(e);
        return;
    }
    pressX = e->screenPos().x();
    pressY = e->screenPos().y();
    setCursor(Qt::ClosedHandCursor);
    emit sigMoved(1, chn, 0);
}

void MoveLabel::mouseMoveEvent(QMouseEvent* e)
{
    if (!movable || !(e->buttons() & Qt::LeftButton)) {
        QLabel::mouseMoveEvent(e);
        return;
    }
    emit sigMoved(3, chn, qRound(e->screenPos().y() - pressY));
}

void MoveLabel::mouseReleaseEvent(QMouseEvent* e)
{
    if (!movable) {
        QLabel::mouseReleaseEvent(e);
        return;
    }
    setCursor(Qt::OpenHandCursor);
    emit sigMoved(2, chn, qRound(e->screenPos().y() - pressY));
}

// ---------------------------------------------------------------------------
// ChnStaShow

ChnStaShow::ChnStaShow(QWidget* parent) : QLabel(parent)
{
    setFixedWidth(Config::pixel(16));
    setFont(Config::fontNarrow);
}

void ChnStaShow::setState(bool v, bool l, bool a)
{
    valid = v;
    level = l;
    active = a;
    update();
}

void ChnStaShow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QPointF c(width() / 2, Config::pixel(8));
    const QColor grey = Config::grayColor.value(4);
    if (!valid) {
        p.setPen(grey);
        p.setBrush(grey);
        const int r = Config::pixel(6);
        p.drawEllipse(c, r, r);
        return;
    }
    p.setPen(Qt::NoPen);
    p.setBrush(grey);
    p.drawEllipse(c, Config::pixel(7), Config::pixel(7));
    if (active) {
        const int r = Config::pixel(6);
        QRadialGradient g(c, r, c + QPointF(-Config::pixel(1), -Config::pixel(2)));
        g.setColorAt(0, QColor("#80FF80"));
        g.setColorAt(1, QColor("#008000"));
        p.setBrush(g);
        p.drawEllipse(c, r, r);
        return;
    }
    p.setPen(Config::grayColor.value(0));
    const QString digit = level ? QStringLiteral("1") : QStringLiteral("0");
    const int w = p.fontMetrics().horizontalAdvance(digit);
    p.drawText(QPointF(c.x() - w / 2.0, Config::pixel(12)), digit);
}

// ---------------------------------------------------------------------------
// ItemChnSidebar

namespace {
// Trigger buttons in row order: type and icon.
struct TrgButtonDef {
    TrgType type;
    const char* icon;
};
const TrgButtonDef kTrgButtons[4] = {
    {TrgRising, ":/res/trgRising"},
    {TrgHigh, ":/res/trgHigh"},
    {TrgFalling, ":/res/trgFalling"},
    {TrgLow, ":/res/trgLow"},
};
} // namespace

ItemChnSidebar::ItemChnSidebar(const QString& name, int chn, QWidget* parent)
    : QWidget(parent), chn(chn), showIndex(chn)
{
    setAttribute(Qt::WA_StyledBackground);
    setObjectName(chn % 2 ? "1" : "0");
    setFixedWidth(Config::pixel(194));

    const QString shown = Config::cutName(name.isEmpty() ? defaultName() : name, Config::NameChars);
    const int px = Config::pixel(1);
    const int b = Config::pixel(16) + 2 * px;

    numLabel = new MoveLabel(chn, true, this);
    numLabel->setFixedWidth(Config::pixel(26));
    numLabel->setAlignment(Qt::AlignCenter);
    numLabel->movable = false; // rows are never dragged

    // Placed over the name label while the name is edited (startNameEdit).
    nameEdit = new QLineEdit(shown, this);
    nameEdit->setFixedHeight(Config::pixel(16) + 2 * px);
    nameEdit->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    nameEdit->hide();
    nameEdit->installEventFilter(this);
    connect(nameEdit, &QLineEdit::editingFinished, this, &ItemChnSidebar::slotChnNameChanged);
    connect(nameEdit, &QLineEdit::textChanged, this, &ItemChnSidebar::keepNameWhole);
    nameBefore = shown;

    // A long name neither widens the row nor pushes the second name out.
    nameLabel = new QLabel(this);
    nameLabel->setObjectName("lblChnName");
    nameLabel->setFont(Config::fontNarrow);
    nameLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    nameLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    nameLabel->installEventFilter(this);
    showName(shown);

    secondName = new QLabel(this);
    secondName->setObjectName("lblSecondName");
    secondName->setEnabled(false);
    secondName->setFont(Config::fontNarrow);
    secondName->setAlignment(Qt::AlignCenter);
    secondName->setMaximumWidth(Config::pixel(80));

    btnSettings = new QPushButton(this);
    btnSettings->setObjectName("btnSettings");
    btnSettings->setFixedSize(b, b);
    btnSettings->setIcon(QIcon(":/res/btnSetting"));
    btnSettings->setIconSize(QSize(Config::pixel(16), Config::pixel(16)));
    connect(btnSettings, &QPushButton::clicked, this, &ItemChnSidebar::sigMenuClicked);

    staShow = new ChnStaShow(this);
    staShow->setObjectName("ChnStaShow");
    staShow->setFixedWidth(numLabel->width());
    staShow->hide();

    const int nColors = Config::chnColor.size();
    colorStrip = new QWidget(this);
    colorStrip->setAttribute(Qt::WA_StyledBackground);
    colorStrip->setObjectName("Move" + QString::number(nColors > 0 ? chn % nColors : chn));
    stripLayout = new QVBoxLayout(colorStrip);
    stripLayout->setContentsMargins(0, 0, 0, 0);
    stripLayout->setSpacing(0);
    stripLayout->addWidget(numLabel, 1);
    stripLayout->addWidget(staShow, 1);

    trgBox = new QFrame(this);
    trgBox->setFixedSize(4 * b, b);
    for (int i = 0; i < 4; ++i) {
        MyButton* btn = new MyButton(trgBox);
        btn->index = kTrgButtons[i].type;
        btn->setObjectName(QString::number(i));
        btn->setGeometry(i * b, 0, b, b);
        btn->setCheckable(true);
        btn->setIcon(QIcon(kTrgButtons[i].icon));
        btn->setIconSize(QSize(Config::pixel(16), Config::pixel(16)));
        connect(btn, &QPushButton::clicked, this, &ItemChnSidebar::slotBtnTrgClicked);
        trgButtons.append(btn);
    }

    QHBoxLayout* hLayout = new QHBoxLayout;
    hLayout->setContentsMargins(0, 2 * px + Config::pixel(3), Config::pixel(3), 0);
    hLayout->setSpacing(Config::pixel(4));
    hLayout->addWidget(btnSettings);
    hLayout->addWidget(trgBox);

    grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(Config::pixel(3));
    grid->setVerticalSpacing(Config::pixel(3));
    grid->addWidget(colorStrip, 0, 0, 2, 1);
    grid->addLayout(hLayout, 0, 1, Qt::AlignCenter);
    // The name and, right of it, the analyzers that read the channel.
    QHBoxLayout* nameLayout = new QHBoxLayout;
    nameLayout->setContentsMargins(Config::pixel(2), 0, Config::pixel(3), 0);
    nameLayout->setSpacing(Config::pixel(4));
    nameLayout->addWidget(nameLabel, 1);
    nameLayout->addWidget(secondName);
    grid->addLayout(nameLayout, 1, 1);
    grid->setRowStretch(1, 1);
    grid->setColumnStretch(1, 1);
}

ItemChnSidebar::~ItemChnSidebar()
{
    // A focused editor finishes its editing while the row is torn down.
    disconnect(nameEdit, nullptr, this, nullptr);
    if (editing)
        qApp->removeEventFilter(this);
}

void ItemChnSidebar::contextMenuEvent(QContextMenuEvent* e)
{
    e->accept();
    emit sigMenuClicked();
}

bool ItemChnSidebar::eventFilter(QObject* o, QEvent* e)
{
    if (o == nameLabel) {
        if (e->type() == QEvent::MouseButtonDblClick
            && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
            startNameEdit();
            return true;
        }
        if (e->type() == QEvent::Resize)
            showName(shownName);
    }
    if (!editing)
        return QWidget::eventFilter(o, e);
    if (o == nameEdit) {
        if (e->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(e)->key();
            if (key == Qt::Key_Escape) {
                nameEdit->setText(nameBeforeEdit);
                endNameEdit();
                return true;
            }
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                endNameEdit();
                return true;
            }
        } else if (e->type() == QEvent::FocusOut
                   && static_cast<QFocusEvent*>(e)->reason() != Qt::PopupFocusReason) {
            // The editor's own menu takes the focus for a while; anything
            // else that takes it ends the edit.
            endNameEdit();
        }
    } else if (e->type() == QEvent::MouseButtonPress && o->isWidgetType()) {
        // A press anywhere outside the editor and its menu ends the edit,
        // also on widgets that take no focus (the waveforms); the press
        // goes on to its widget.
        // (The editor's menu is a window of its own: isAncestorOf stops there.)
        QObject* p = o;
        while (p && p != nameEdit)
            p = p->parent();
        if (!p)
            endNameEdit();
    }
    return QWidget::eventFilter(o, e);
}

void ItemChnSidebar::showName(const QString& name)
{
    shownName = name;
    const int w = nameLabel->width();
    nameLabel->setText(nameLabel->fontMetrics().elidedText(name, Qt::ElideRight, qMax(w, 1)));
    nameLabel->setToolTip(name + "\n" + Lang::tr("Double-click to edit the name."));
}

void ItemChnSidebar::startNameEdit()
{
    if (editing)
        return;
    editing = true;
    nameBeforeEdit = nameEdit->text();
    // Over the name and the second name, centred on the name's line.
    const QRect r(nameLabel->mapTo(this, QPoint(0, 0)), nameLabel->size());
    const int h = nameEdit->height();
    const int y = qBound(0, r.center().y() - h / 2, qMax(0, height() - h));
    nameEdit->setGeometry(r.x(), y, qMax(r.width(), width() - r.x() - Config::pixel(3)), h);
    nameEdit->raise();
    nameEdit->show();
    nameEdit->setFocus(Qt::MouseFocusReason);
    nameEdit->selectAll();
    qApp->installEventFilter(this);
}

void ItemChnSidebar::endNameEdit()
{
    if (editing) {
        // Cleared first: the focus leaving the editor below comes back here.
        editing = false;
        qApp->removeEventFilter(this);
    }
    const QString text = nameEdit->text();
    const bool own = !text.isEmpty() && text != defaultName();
    saveName(own ? text : QString());
    if (!own)
        nameEdit->setText(defaultName());
    nameEdit->clearFocus();
    nameEdit->hide();
    showName(nameEdit->text());
}

void ItemChnSidebar::keepNameWhole(const QString& text)
{
    if (text.size() <= Config::NameChars) {
        nameBefore = text;
        return;
    }
    // What came in is cut, not the name around it, as a line edit's own
    // limit does, but on a character border: no half of an emoji, of a flag
    // or of a letter with its marks stays. It ends at the cursor, which the
    // line edit has put after it; the texts cannot tell, as a paste may
    // begin as the name after it does. It begins after the common start of
    // both texts, within what is left of the name before its end.
    const int n = text.size();
    const int end = nameEdit->cursorPosition();
    const int tail = std::min(n - end, int(Config::NameChars)); // the name's end: never longer than a name
    const int m = nameBefore.size();
    int head = 0;
    while (head < std::min(end, m - tail) && text.at(head) == nameBefore.at(head))
        ++head;
    // A paste that only adds marks to the last letter before it is dropped
    // whole rather than cut into that letter.
    const int cut = std::max(head, int(Config::cutName(text.left(end), Config::NameChars - tail).size()));
    const QString whole = text.left(cut) + text.right(tail);
    nameBefore = whole;
    nameEdit->setText(whole);   // comes back here, within the limit
    nameEdit->setCursorPosition(cut);
}

QString ItemChnSidebar::defaultName() const
{
    return Lang::tr("Channel") + " " + QString::number(chn);
}

int ItemChnSidebar::setShowMultip(int m)
{
    // Multipliers are 1 to 15 (log2 of 0 or of a negative value has no
    // integer part, so everything else falls back).
    if (m >= 1 && m <= 15) {
        showMultip = m;
        return 0;
    }
    showMultip = 1;
    return 1;
}

void ItemChnSidebar::setSecondName(const QString& s)
{
    // Elided rather than cut at both ends when an analyzer's name is long.
    secondName->setText(secondName->fontMetrics().elidedText(s, Qt::ElideRight, secondName->maximumWidth()));
    secondName->setToolTip(s);
}

void ItemChnSidebar::setChnStaVisible(bool v)
{
    if (v) {
        staShow->setState(false, false, false);
        numLabel->setAlignment(Qt::AlignBottom | Qt::AlignHCenter);
        staShow->show();
    } else {
        staShow->hide();
        numLabel->setAlignment(Qt::AlignCenter);
    }
}

void ItemChnSidebar::setChnStaShow(bool valid, bool level, bool active)
{
    staShow->setState(valid, level, active);
}

void ItemChnSidebar::setTrgStatus(TrgType t)
{
    for (MyButton* b : trgButtons)
        b->setChecked(t != TrgNone && b->index == t);
}

void ItemChnSidebar::saveName(const QString& text)
{
    Config::saveGlobalParam("chnShowName" + QString::number(chn), text);
}

void ItemChnSidebar::resetAll()
{
    nameEdit->setText(defaultName());
    endNameEdit();   // saves and shows the default name, ending an edit in progress
    showIndex = chn;
    showMultip = 1;
    for (MyButton* b : trgButtons)
        b->setChecked(false);
    if (devUsing) {
        devUsing->smpStopForRestart();
        devUsing->setDChnTrg(chn, TrgNone);
        devUsing->smpRestartIfNeed();
    }
}

void ItemChnSidebar::slotBtnTrgClicked()
{
    MyButton* btn = qobject_cast<MyButton*>(sender());
    if (!btn || !trgButtons.contains(btn))
        return;
    if (devUsing)
        devUsing->smpStopForRestart();
    const bool checked = btn->isChecked();
    const int type = checked ? btn->index : TrgNone;
    if (devUsing)
        devUsing->setDChnTrg(chn, type);
    if (checked) {
        for (MyButton* b : trgButtons)
            if (b != btn)
                b->setChecked(false);
        if (type == TrgRising || type == TrgFalling)
            emit sigTrgEdgeChanged();
    }
    if (devUsing)
        devUsing->smpRestartIfNeed();
}

void ItemChnSidebar::slotChnNameChanged()
{
    endNameEdit();
}
