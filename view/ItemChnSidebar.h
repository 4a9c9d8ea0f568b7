#ifndef ITEMCHNSIDEBAR_H
#define ITEMCHNSIDEBAR_H
// The label of one logic channel row: channel number on its colour strip
// with the live level lamp, the settings button, the four trigger buttons,
// the channel's name (a double-click edits it in place) and the name of the
// analyzers that read the channel.

#include <QLabel>
#include <QVector>
#include <QWidget>

#include "config/Types.h"

class QFrame;
class QGridLayout;
class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QVBoxLayout;
class MyButton;

// The channel number; reports vertical drags while movable.
class MoveLabel : public QLabel
{
    Q_OBJECT
public:
    MoveLabel(int chn, bool movable, QWidget* parent = nullptr);

    double pressX = 0;
    double pressY = 0;
    int chn;
    bool movable;

signals:
    // code 1 press, 2 release, 3 move; dy in screen pixels from the press.
    void sigMoved(int code, int chn, int dy);

protected:
    void enterEvent(QEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
};

// The level lamp of the logic probe.
class ChnStaShow : public QLabel
{
    Q_OBJECT
public:
    explicit ChnStaShow(QWidget* parent = nullptr);
    void setState(bool valid, bool level, bool active);

    bool valid = false;
    bool level = false;
    bool active = false;

protected:
    void paintEvent(QPaintEvent* e) override;
};

class ItemChnSidebar : public QWidget
{
    Q_OBJECT
public:
    ItemChnSidebar(const QString& name, int chn, QWidget* parent = nullptr);
    ~ItemChnSidebar() override;

    // Height multiplier 1 to 15: 0; anything else falls back to 1: 1.
    int setShowMultip(int m);
    void setSecondName(const QString& s);
    void setChnStaVisible(bool v);
    void setChnStaShow(bool valid, bool level, bool active);
    void setTrgStatus(TrgType t);
    void resetAll();

    // "Channel n" for a channel without a name of its own.
    QString defaultName() const;

    MoveLabel* numLabel;
    QGridLayout* grid;
    // Shown over the name only while the name is edited; no layout holds it.
    QLineEdit* nameEdit;
    QLabel* nameLabel;
    QLabel* secondName;
    QPushButton* btnSettings;
    QFrame* trgBox;
    QVector<MyButton*> trgButtons;
    ChnStaShow* staShow;
    QVBoxLayout* stripLayout;
    QWidget* colorStrip;
    int chn;
    int showIndex;
    int showMultip = 1;

public slots:
    void slotBtnTrgClicked();
    // Ends an edit in progress: saves the editor's name (the default one as
    // empty) and shows it in place of the editor. An edit also ends on
    // Return or Enter, on the editor losing the focus and on a mouse press
    // anywhere outside it, changed or not; Escape puts the name before the
    // edit back first.
    void slotChnNameChanged();

signals:
    // The settings button, or a right click on the label.
    void sigMenuClicked();
    void sigTrgEdgeChanged();

protected:
    void contextMenuEvent(QContextMenuEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void saveName(const QString& text);
    void showName(const QString& name);
    void startNameEdit();
    void endNameEdit();
    // Keeps the editor within the settings' limit of Config::NameChars
    // UTF-16 units: cuts what was typed or pasted (it ends at the cursor) on
    // a grapheme border, and leaves the name around it whole.
    void keepNameWhole(const QString& text);

    bool editing = false;   // the editor is open (the application's presses are watched)
    QString shownName;      // the name label's whole text (it shows it elided)
    QString nameBeforeEdit; // what Escape puts back
    QString nameBefore;     // the editor's text before its latest change
};

#endif
