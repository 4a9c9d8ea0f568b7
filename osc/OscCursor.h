#ifndef OSCCURSOR_H
#define OSCCURSOR_H
// "Cursor measurement" in the right-hand column of the oscilloscope: the
// time pair X1/X2 and the voltage pair Y1/Y2 with the positions and the
// difference the screen computes. Clicks become commands to the screen,
// oscCursorClicked(a, code):
//   0  voltage cursor a (0, 1) taken up or put away
//   1  time cursor a taken up or put away
//   2  the voltage cursors measure channel a
//   5  pair a (0 time, 1 voltage) hidden
// The listed pairs ("oscCursorEna") and the voltage cursors' channel
// ("oscCursorChn") are kept as global settings.

#include <QStringList>
#include <QVector>
#include <QWidget>

class MyMenu;
class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QWidget;
class TimingMarkerTip;
class TitleBar;

class OscCursorPair : public QWidget
{
    Q_OBJECT
public:
    // type 1: the time cursors, 0: the voltage cursors (the screen's cursor
    // types); built expanded.
    OscCursorPair(int type, QWidget* parent = nullptr);

    // Texts back to "###", the channel menu for the current device, the
    // stored channel on the button; the pair expanded.
    void init();
    // [first, second, difference]; a list of any other length is ignored.
    void setValue(const QStringList& list);
    // Listed (expanded again) or not.
    void setState(bool on);

    int type;
    bool expanded = false;
    QPushButton* btnCursor[2];
    TimingMarkerTip* labDiff;
    QPushButton* btnExpand;
    QPushButton* btnChn;
    QMenu* menuChn = nullptr;
    QVector<QLabel*> labValue;

signals:
    void sigPairClicked(int id, int type);

public slots:
    void slotBtnExpandClicked();
    void slotBtnCursorClicked();
    void slotBtnChnClicked();
    void slotMenuChnClicked(QAction* a);

private:
    QWidget* detail;
};

class OscCursor : public QWidget
{
    Q_OBJECT
public:
    explicit OscCursor(QWidget* parent = nullptr);

    void init();

    TitleBar* titleBar;
    QWidget* body;
    QVector<OscCursorPair*> pairs;
    MyMenu* menuPair;
    bool shown[2] = {true, true};

signals:
    void oscCursorClicked(int a, int code);

public slots:
    void slotOscCursorValue(int oscType, QStringList list);
    void slotOscCursorAddClicked(int index);
    void slotBtnExpandClicked();
    void slotBtnSetClicked();
    void slotMenuClicked(QAction* a);
};

#endif
