#ifndef RIGHTBOXVIEW_H
#define RIGHTBOXVIEW_H
// Small widgets shared by the panels of the right-hand column: the panel
// title row, the search line and a label that shows its clipped text as a
// tool tip. Their looks come from the style sheet through object names.

#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QWidget>

class QPushButton;

class TitleBar : public QWidget
{
    Q_OBJECT
public:
    // icon != 0 gives the set button the "add" icon, else the settings icon.
    // The constructor toggles the state once, so state false starts expanded.
    TitleBar(int icon, const QString& title, bool state, QWidget* parent = nullptr);

    bool getState() const { return expanded; }
    // Acts as a click of the expand button when the state differs.
    void setState(bool state);

signals:
    void expandClicked();
    void setClicked();

public slots:
    void slotBtnExpandClicked();

private:
    QPushButton* btnExpand;
    QLabel* labTitle;
    QPushButton* btnSet;
    bool expanded;
};

class SearchEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit SearchEdit(QWidget* parent = nullptr);

    // The count at the right; negative leaves it blank.
    void setTotalNum(qint64 n);
    QString totalText() const { return labTotal->text(); }

private:
    QLabel* labSearch;
    QLabel* labTotal;
};

class TimingMarkerTip : public QLabel
{
    Q_OBJECT
public:
    explicit TimingMarkerTip(const QString& text, QWidget* parent = nullptr);

    // True when the text is wider than the room the label gives it.
    bool textClipped() const;

protected:
    void enterEvent(QEvent* e) override;
};

#endif
