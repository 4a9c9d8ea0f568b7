#include "toolbar/ZoomCtrl.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QWidgetAction>

#include "config/Config.h"
#include "config/Lang.h"

ZoomCtrl::ZoomCtrl(QWidget* parent) : QWidget(parent)
{
    setObjectName("ZoomCtrl");
    setAttribute(Qt::WA_StyledBackground);
    const int h = Config::pixel(28);
    setFixedHeight(h);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    QHBoxLayout* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(Config::pixel(14));

    auto button = [&](const char* name, const QString& tip, const char* icon) {
        QPushButton* b = new QPushButton(this);
        b->setObjectName(name);
        b->setFixedSize(h, h);
        b->setIconSize(QSize(h, h));
        b->setAttribute(Qt::WA_LayoutUsesWidgetRect);
        if (!tip.isEmpty())
            b->setToolTip(tip);
        b->setIcon(QIcon(icon));
        layout->addWidget(b);
        return b;
    };
    btnTrg = button("btnZoomLeft", Lang::tr("Trigger position centered"), ":/res/btnZoomTrg");
    btnAll = button("btnZoomCenter", Lang::tr("Zoom to full screen"), ":/res/btnZoomAll");
    btnOut = button("btnZoomCenter", Lang::tr("Zoom out"), ":/res/btnZoomOut");
    btnIn = button("btnZoomRight", Lang::tr("Zoom in"), ":/res/btnZoomIn");
    btnDropDown = button("btnZoomRight", QString(), ":/res/icoDropDown");
    btnDropDown->setFixedSize(h / 2, h);
    btnDropDown->setIconSize(QSize(int(0.4 * h), h));
    // Built for the samples-per-pixel menu, which no path offers yet.
    btnDropDown->hide();

    connect(btnTrg, &QPushButton::clicked, this, &ZoomCtrl::slotZoomTrg);
    connect(btnAll, &QPushButton::clicked, this, &ZoomCtrl::slotZoomAll);
    connect(btnOut, &QPushButton::clicked, this, &ZoomCtrl::slotZoomOut);
    connect(btnIn, &QPushButton::clicked, this, &ZoomCtrl::slotZoomIn);
    connect(btnDropDown, &QPushButton::clicked, this, &ZoomCtrl::slotDropDwon);
}

ZoomCtrl::~ZoomCtrl()
{
    // The edit loses its focus while the menu is torn down, which would
    // call back into this half-destroyed control.
    if (edit)
        disconnect(edit, nullptr, this, nullptr);
}

QString ZoomCtrl::scaleText(double s)
{
    const QString fixed = QString::number(s, 'f', 3);
    if (fixed.size() > 10)
        return QString::number(s, 'f', 0);
    return QString::number(s, 'g', 6);
}

void ZoomCtrl::slotZoomTrg()
{
    emit zoomChanged(QStringLiteral("Trg"));
}

void ZoomCtrl::slotZoomAll()
{
    emit zoomChanged(QStringLiteral("All"));
}

void ZoomCtrl::slotZoomOut()
{
    emit zoomChanged(QStringLiteral("Out"));
}

void ZoomCtrl::slotZoomIn()
{
    emit zoomChanged(QStringLiteral("In"));
}

void ZoomCtrl::buildMenu()
{
    menu = new QMenu(this);
    QWidget* row = new QWidget(menu);
    QHBoxLayout* l = new QHBoxLayout(row);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(0);
    l->addWidget(new QLabel(Lang::tr("Sample : Pixel") + "  ", row));
    edit = new QLineEdit(row);
    edit->setFixedWidth(Config::pixel(66));
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression("^[|0-9|.]+$"), edit));
    l->addWidget(edit);
    QWidgetAction* action = new QWidgetAction(menu);
    action->setDefaultWidget(row);
    menu->addAction(action);
    connect(edit, &QLineEdit::textChanged, this, &ZoomCtrl::slotTextChanged);
    connect(edit, &QLineEdit::editingFinished, this, &ZoomCtrl::slotEditFinished);
}

void ZoomCtrl::slotDropDwon()
{
    if (!menu)
        buildMenu();
    edit->setText(scaleText(viewScale ? viewScale() : 0));
    edit->setFocus();
    const QPoint at(btnDropDown->x(), btnDropDown->y() + btnTrg->height() + Config::pixel(2));
    menu->popup(mapToGlobal(at));
}

void ZoomCtrl::slotTextChanged(const QString& text)
{
    bool ok = false;
    text.toDouble(&ok);
    if (ok) {
        lastValid = text;
        emit zoomChanged(text);
        return;
    }
    if (!edit)
        return;
    // Putting the last number back is no new request.
    const QSignalBlocker block(edit);
    edit->setText(lastValid);
}

void ZoomCtrl::slotEditFinished()
{
    if (!edit || !edit->hasFocus())
        return;
    edit->clearFocus();
    if (menu)
        menu->close();
}
