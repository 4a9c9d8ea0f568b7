#ifndef OSCPANELS_H
#define OSCPANELS_H
// The collapsible panels of the oscilloscope's label column: one per analog
// channel (switch, V/div, coupling, probe, offset), the time base (time/div
// and the trigger time in its title row), the trigger (source and edge) and
// the math trace. They read and write the current device's analog settings
// and tell the screen what changed by a code:
//   chnSetChanged: 9 switched, 10 coupling, 11 probe, 12 V/div,
//                  13 offset edited, 14 offset reset;
//   timeSetChanged: 15 time/div, 16 trigger position.
// Loading a panel from the device (init) changes no setting.

#include <QFrame>
#include <QString>
#include <QVector>

class MyDial;
class MySwitch;
class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace OscScale {
// A value brought into the largest unit that keeps it at least 1: the
// whole-number part of the division (as the panels have always shown it).
struct Scaled {
    long long number = 0;
    QString unit;
};
// mV: "mV" up to 999, then V.
Scaled volts(long long mV);
// ns: reduced by 1000 while it exceeds 999, up to s.
Scaled time(long long ns);
// Decimals of a text on that scale: 2 up to 9, 1 up to 99, none above.
int decimals(long long number);
// A field's number; 0 when it does not hold a finite number.
double fieldNumber(const QString& text);
// An offset in thousandths of the screen for a value v on a screen of
// 10 x scale (same unit): the sign of v times |v| / (10 scale) x 1000,
// rounded, kept within 500; computed in floating point, so a huge or odd
// value cannot wrap.
int offsetFor(double v, double scale);
}

// Title row of a panel: the expand button and the title, then by kind a
// switch (0), the trigger-time field with its unit and reset button (1), or
// nothing (2).
class TitleBarOsc : public QWidget
{
    Q_OBJECT
public:
    enum Kind { KindSwitch = 0, KindTime = 1, KindPlain = 2 };
    // `state` false starts expanded (the constructor toggles it once); a
    // switch starts on. Nothing is connected yet: neither reaches a handler.
    TitleBarOsc(int kind, const QString& title, bool state, QWidget* parent = nullptr);

    bool getState() const { return expanded; }
    bool switchOn() const;
    // Shows the switch in this state without a click.
    void setSwitch(bool on);

    MySwitch* sw = nullptr;
    QLineEdit* edit = nullptr;
    QLabel* unit = nullptr;
    QPushButton* btnReset = nullptr;

signals:
    void expandClicked();
    void switchClicked();
    void editFinished();
    void btnClicked();

public slots:
    void slotBtnExpandClicked();

private slots:
    void slotSwitchClicked();
    void slotEditFinished();

private:
    QPushButton* btnExpand;
    QLabel* labTitle;
    bool expanded;
};

// A panel: its title row over a content area that collapses with it.
class OscPanel : public QFrame
{
    Q_OBJECT
public:
    OscPanel(int kind, const QString& title, int expandedHeight, QWidget* parent);

    TitleBarOsc* titleBar;
    QWidget* content;

signals:
    // Expanded or collapsed: the column is laid out again.
    void stateChanged();

protected slots:
    void slotExpandClicked();

private:
    int heightExpanded;
};

class ChnSetOsc : public OscPanel
{
    Q_OBJECT
public:
    ChnSetOsc(int chn, QWidget* parent = nullptr);

    // Loads the panel from the device: coupling, probe, V/div, offset, the
    // switch and the enabled state of the widgets.
    void init();
    // The offset as text with its unit (refreshes the field and unit).
    QString setChnVolt();

    int chn;
    MyDial* dial;
    QButtonGroup* coupling;
    QButtonGroup* probe;
    QLineEdit* editOffset;
    QLabel* labUnit;
    QPushButton* btnReset;

signals:
    void chnSetChanged(int type, int chn);

private slots:
    void slotSwitchClicked();
    void slotCouplingClicked(int index);
    void slotProbeClicked(int index);
    void slotDialClicked(int index);
    void slotChnOffsetChanged();
    void slotOffsetReset();

private:
    void showOffset();
    long long scale = 1;
    QString unit = "mV";
    int dec = 2;
};

class TimeSetOsc : public OscPanel
{
    Q_OBJECT
public:
    explicit TimeSetOsc(QWidget* parent = nullptr);

    void init();
    // The trigger time from the screen's centre as text with its unit
    // (refreshes the title row's field and unit).
    QString setTrgTime();
    // One step of the time/div (delta < 0: slower, else faster); false, and
    // nothing changed, past either end of the table.
    bool setTimeDiv(int delta);

    MyDial* dial;

signals:
    void timeSetChanged(int type);

private slots:
    void slotDialClicked(int index);
    void slotTrgTimeChanged();
    void slotTrgTimeReset();

private:
    void changePosition(int position);
    long long timeDiv = 1;
    QString unit = "ns";
    int dec = 2;
};

class TriggerSetOsc : public OscPanel
{
    Q_OBJECT
public:
    explicit TriggerSetOsc(QWidget* parent = nullptr);

    // Checks the source of the device's trigger channel and announces it.
    void init();
    // Checks the edge button of the device's trigger type.
    void setTrgStatus();

    QButtonGroup* source;
    QButtonGroup* edge;

signals:
    void trgSetChanged(int chn);

private slots:
    void slotSourceClicked(int index);
    void slotEdgeClicked(int index);
};

class MathChnOsc : public OscPanel
{
    Q_OBJECT
public:
    // Turns the device's math trace on: it is on after every build.
    explicit MathChnOsc(QWidget* parent = nullptr);

    // Operator, scale, offset and switch from the device's math settings.
    void devModelChanged();
    // The offset field shows the current operator's offset.
    void showOffset();
    QString offsetText() const;

    QComboBox* cbxOperator;
    QComboBox* cbxScale;
    QLineEdit* editOffset;

signals:
    // true: the trace must be computed again (operator, switch on).
    void mathSetChanged(bool regenerate);

private slots:
    void slotSwitchClicked();
    void slotOperatorChanged(int index);
    void slotScaleChanged(int index);
    void slotOffsetChanged();

private:
    void showScale();
};

#endif
