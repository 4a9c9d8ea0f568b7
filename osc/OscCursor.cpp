#include "osc/OscCursor.h"

#include <QAction>
#include <QCursor>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidgetAction>

#include "config/Config.h"
#include "config/Lang.h"
#include "decode/RightBoxView.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "widgets/MyMenu.h"

namespace {

QLabel* fixedLabel(const QString& text, QWidget* parent)
{
    QLabel* l = new QLabel(text, parent);
    l->setFixedSize(l->sizeHint());
    return l;
}

// The stored channel of the voltage cursors; a stored value outside the
// device's channels (files are user input) counts as channel 0.
int storedChannel()
{
    const int c = Config::readGlobalParam("oscCursorChn").toInt();
    const int n = devUsing ? devUsing->aChnNum() : 0;
    return c >= 0 && c < n ? c : 0;
}

} // namespace

// ---------------------------------------------------------------- pair

OscCursorPair::OscCursorPair(int type, QWidget* parent) : QWidget(parent), type(type)
{
    setAttribute(Qt::WA_StyledBackground);
    const int p = Config::pixel(1);
    const int s16 = Config::pixel(16);
    const QString letter = type == 1 ? "X" : "Y";

    QHBoxLayout* summary = new QHBoxLayout;
    summary->setContentsMargins(0, 0, 0, 0);
    summary->setSpacing(1);
    summary->addWidget(fixedLabel("|", this));
    for (int i = 0; i < 2; ++i) {
        btnCursor[i] = new QPushButton(letter + QString::number(i + 1), this);
        btnCursor[i]->setObjectName(QString::number(i));
        btnCursor[i]->setFixedSize(Config::pixel(22), Config::pixel(16));
        connect(btnCursor[i], &QPushButton::clicked, this, &OscCursorPair::slotBtnCursorClicked);
    }
    summary->addWidget(btnCursor[0]);
    summary->addWidget(fixedLabel("-", this));
    summary->addWidget(btnCursor[1]);
    summary->addWidget(fixedLabel("|", this));
    summary->addWidget(fixedLabel("=", this));
    labDiff = new TimingMarkerTip("###", this);
    labDiff->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    summary->addWidget(labDiff, 1);

    btnExpand = new QPushButton(this);
    btnExpand->setObjectName("btnExpand");
    btnExpand->setFixedSize(s16, s16);
    btnExpand->setIconSize(QSize(s16, s16));
    btnChn = new QPushButton("CH1", this);
    btnChn->setObjectName("btnChn");
    btnChn->setFixedSize(int(s16 * 2.25 + 2 * p), s16 + 2 * p);
    QHBoxLayout* header = new QHBoxLayout;
    header->setContentsMargins(0, 0, 0, 0);
    header->setSpacing(1);
    header->addWidget(btnExpand);
    header->addLayout(summary);
    header->addWidget(btnChn, 1);

    detail = new QWidget(this);
    QGridLayout* g = new QGridLayout(detail);
    g->setContentsMargins(Config::pixel(16), 0, 0, 0);
    g->setHorizontalSpacing(Config::pixel(3));
    g->setVerticalSpacing(Config::pixel(3));
    for (int i = 0; i < 2; ++i) {
        QLabel* v = new QLabel("###", detail);
        labValue << v;
        g->addWidget(new QLabel(letter + QString::number(i + 1), detail), i, 0);
        g->addWidget(new QLabel("@", detail), i, 1);
        g->addWidget(v, i, 2, Qt::AlignLeft);
    }
    g->setColumnStretch(2, 1);

    QVBoxLayout* lay = new QVBoxLayout(this);
    lay->setContentsMargins(Config::pixel(3), Config::pixel(3), Config::pixel(4), Config::pixel(3));
    lay->setSpacing(Config::pixel(3));
    lay->addLayout(header);
    lay->addWidget(detail);

    if (type == 0) {
        menuChn = new QMenu(this);
        connect(menuChn, &QMenu::triggered, this, &OscCursorPair::slotMenuChnClicked);
    } else {
        btnChn->hide();
    }
    connect(btnExpand, &QPushButton::clicked, this, &OscCursorPair::slotBtnExpandClicked);
    connect(btnChn, &QPushButton::clicked, this, &OscCursorPair::slotBtnChnClicked);
    slotBtnExpandClicked();
}

void OscCursorPair::init()
{
    if (menuChn) {
        const int n = devUsing ? devUsing->aChnNum() : 0;
        QList<QAction*> acts = menuChn->actions();
        while (acts.size() > n)
            delete acts.takeLast();
        for (int i = acts.size(); i < n; ++i) {
            QWidgetAction* a = new QWidgetAction(menuChn);
            QLabel* l = new QLabel("CH" + QString::number(i + 1));
            l->setAlignment(Qt::AlignCenter);
            // The menu takes the clicks: the label only shows the entry.
            l->setAttribute(Qt::WA_TransparentForMouseEvents);
            a->setDefaultWidget(l);
            a->setText(l->text());
            a->setData(i);
            menuChn->addAction(a);
        }
        btnChn->setText("CH" + QString::number(storedChannel() + 1));
    }
    labDiff->setText("###");
    for (QLabel* l : labValue)
        l->setText("###");
    expanded = false;
    slotBtnExpandClicked();
}

void OscCursorPair::setValue(const QStringList& list)
{
    if (list.size() != labValue.size() + 1)
        return;
    for (int i = 0; i < labValue.size(); ++i)
        labValue[i]->setText(list[i]);
    labDiff->setText(list.last());
}

void OscCursorPair::setState(bool on)
{
    if (on) {
        expanded = false;
        slotBtnExpandClicked();
    }
    setVisible(on);
}

void OscCursorPair::slotBtnExpandClicked()
{
    expanded = !expanded;
    btnExpand->setIcon(QIcon(expanded ? ":/res/btnExpand" : ":/res/btnCollapse"));
    detail->setVisible(expanded);
}

void OscCursorPair::slotBtnCursorClicked()
{
    const QObject* s = sender();
    if (s)
        emit sigPairClicked(s->objectName().toInt(), type);
}

void OscCursorPair::slotBtnChnClicked()
{
    if (!menuChn)
        return;
    menuChn->setFixedWidth(btnChn->width());
    menuChn->popup(btnChn->mapToGlobal(QPoint(0, btnChn->height())));
}

void OscCursorPair::slotMenuChnClicked(QAction* a)
{
    if (!a)
        return;
    const int c = a->data().toInt();
    const QString t = "CH" + QString::number(c + 1);
    if (t == btnChn->text())
        return;
    btnChn->setText(t);
    Config::saveGlobalParam("oscCursorChn", QString::number(c));
    emit sigPairClicked(c, 2);
}

// ---------------------------------------------------------------- panel

OscCursor::OscCursor(QWidget* parent) : QWidget(parent)
{
    setObjectName("OscCursor");
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    titleBar = new TitleBar(0, "Cursor measurement", false, this);
    body = new QWidget(this);
    QVBoxLayout* bl = new QVBoxLayout(body);
    bl->setContentsMargins(0, 0, 0, 0);
    bl->setSpacing(Config::pixel(4));
    Config::StringToBoolArray(Config::readGlobalParam("oscCursorEna"), shown, 2);
    for (int type : {1, 0}) {
        OscCursorPair* p = new OscCursorPair(type, body);
        connect(p, &OscCursorPair::sigPairClicked, this, &OscCursor::oscCursorClicked);
        bl->addWidget(p);
        p->setVisible(shown[pairs.size()]);
        pairs << p;
    }
    QVBoxLayout* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(Config::pixel(4));
    lay->addWidget(titleBar);
    lay->addWidget(body);

    menuPair = new MyMenu(this);
    const char* const names[2] = {"|X1-X2|", "|Y1-Y2|"};
    for (int i = 0; i < 2; ++i) {
        QAction* a = menuPair->addAction(Lang::tr(names[i]));
        a->setCheckable(true);
        a->setData(i);
    }
    connect(titleBar, &TitleBar::expandClicked, this, &OscCursor::slotBtnExpandClicked);
    connect(titleBar, &TitleBar::setClicked, this, &OscCursor::slotBtnSetClicked);
    connect(menuPair, &QMenu::triggered, this, &OscCursor::slotMenuClicked);
    slotBtnExpandClicked();
}

void OscCursor::init()
{
    for (OscCursorPair* p : pairs)
        p->init();
}

void OscCursor::slotOscCursorValue(int oscType, QStringList list)
{
    for (OscCursorPair* p : pairs)
        if (p->type == oscType)
            p->setValue(list);
}

void OscCursor::slotOscCursorAddClicked(int index)
{
    if (index < 0 || index >= pairs.size())
        return;
    shown[index] = true;
    pairs[index]->setVisible(true);
}

void OscCursor::slotBtnExpandClicked()
{
    body->setVisible(titleBar->getState());
}

void OscCursor::slotBtnSetClicked()
{
    const QList<QAction*> acts = menuPair->actions();
    for (int i = 0; i < acts.size() && i < 2; ++i)
        acts[i]->setChecked(shown[i]);
    menuPair->popup(QCursor::pos());
}

void OscCursor::slotMenuClicked(QAction* a)
{
    const int i = a ? a->data().toInt() : -1;
    if (i < 0 || i >= pairs.size())
        return;
    shown[i] = a->isChecked();
    pairs[i]->setState(shown[i]);
    Config::saveGlobalParam("oscCursorEna", QString(shown[0] ? "1" : "0") + "," + (shown[1] ? "1" : "0"));
    if (!shown[i])
        emit oscCursorClicked(i, 5);
}
