#include "decode/RightBoxView.h"

#include <QCursor>
#include <QEnterEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>
#include <QToolTip>

#include "config/Config.h"
#include "config/Lang.h"

// ---- TitleBar ----

TitleBar::TitleBar(int icon, const QString& title, bool state, QWidget* parent)
    : QWidget(parent), expanded(state)
{
    setAttribute(Qt::WA_StyledBackground);
    const int s = Config::pixel(16);

    btnExpand = new QPushButton(this);
    btnExpand->setObjectName(QStringLiteral("btnExpand"));
    btnExpand->setFixedSize(s, s);
    btnExpand->setIconSize(QSize(s, s));
    btnExpand->setAttribute(Qt::WA_LayoutUsesWidgetRect);

    labTitle = new QLabel(Lang::tr(title), this);

    btnSet = new QPushButton(this);
    btnSet->setObjectName(QStringLiteral("btnSet"));
    const int setSide = s + 2 * Config::pixel(1);
    btnSet->setFixedSize(setSide, setSide);
    btnSet->setIcon(QIcon(icon != 0 ? QStringLiteral(":/res/btnAddItem")
                                    : QStringLiteral(":/res/btnSetting")));
    btnSet->setIconSize(QSize(s, s));

    auto* lay = new QHBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(2 * Config::pixel(1));
    lay->addWidget(btnExpand);
    lay->addWidget(labTitle);
    lay->addWidget(btnSet);

    connect(btnExpand, &QPushButton::clicked, this, &TitleBar::slotBtnExpandClicked);
    connect(btnSet, &QPushButton::clicked, this, &TitleBar::setClicked);

    slotBtnExpandClicked();
}

void TitleBar::slotBtnExpandClicked()
{
    expanded = !expanded;
    btnExpand->setIcon(QIcon(expanded ? QStringLiteral(":/res/btnExpand")
                                      : QStringLiteral(":/res/btnCollapse")));
    btnSet->setVisible(expanded);
    emit expandClicked();
}

void TitleBar::setState(bool state)
{
    if (state != expanded)
        slotBtnExpandClicked();
}

// ---- SearchEdit ----

SearchEdit::SearchEdit(QWidget* parent) : QLineEdit(parent)
{
    setAttribute(Qt::WA_StyledBackground);
    setFixedHeight(Config::pixel(24));
    setPlaceholderText(Lang::tr("Search"));

    const int s = Config::pixel(16);
    labSearch = new QLabel(this);
    labSearch->setObjectName(QStringLiteral("LabelSearch"));
    labSearch->setFixedSize(s, s);
    labSearch->setPixmap(QIcon(QStringLiteral(":/res/icoSearch")).pixmap(s, s));
    labSearch->setScaledContents(true);

    labTotal = new QLabel(this);
    labTotal->setObjectName(QStringLiteral("LabelTotal"));
    labTotal->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    // Clicks on the icon or the count should reach the edit (focus, cursor).
    labSearch->setAttribute(Qt::WA_TransparentForMouseEvents);
    labTotal->setAttribute(Qt::WA_TransparentForMouseEvents);

    auto* lay = new QHBoxLayout(this);
    lay->setContentsMargins(Config::pixel(8), 0, Config::pixel(8), 0);
    lay->addWidget(labSearch);
    lay->addStretch();
    lay->addWidget(labTotal);

    // Typed text starts after the icon.
    setTextMargins(s + Config::pixel(8) + Config::pixel(2), 0, 0, 0);
}

void SearchEdit::setTotalNum(qint64 n)
{
    labTotal->setText(n < 0 ? QStringLiteral(" ") : QString::number(n));
}

// ---- TimingMarkerTip ----

TimingMarkerTip::TimingMarkerTip(const QString& text, QWidget* parent) : QLabel(text, parent)
{
}

bool TimingMarkerTip::textClipped() const
{
    return fontMetrics().horizontalAdvance(text()) > contentsRect().width();
}

void TimingMarkerTip::enterEvent(QEvent* e)
{
    if (textClipped()) {
        const auto* ee = dynamic_cast<QEnterEvent*>(e);
        const QPoint at = ee ? ee->globalPos() : QCursor::pos();
        QToolTip::showText(at, text(), this, rect());
    } else {
        QToolTip::hideText();
    }
    QLabel::enterEvent(e);
}
