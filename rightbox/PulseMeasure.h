#ifndef PULSEMEASURE_H
#define PULSEMEASURE_H
// The "Pulse Counters" panel of logic mode. Each row counts one kind of
// event (rising or falling edges, positive or negative pulses) on one
// channel over the whole capture or between the markers of one pair. The
// panel counts nothing: the view asks for the wishes through the static
// queries, counts them and sends texts back, from which each row picks its
// number.
//
// Texts exchanged with the view (fields joined by ","): a wish is
// "channel,range" (range 0 the whole capture, k the pair k - 1); a full
// result "channel,range,c0,c1,c2,c3"; a pair result "channel,c0,c1,c2,c3",
// with c0..c3 the rising edges, falling edges, positive and negative pulses.
// A channel at or beyond the device's channel count counts as disabled.

#include <QPoint>
#include <QStringList>
#include <QVector>

#include <functional>

#include "rightbox/RightPanel.h"

class MyButton;
class QGridLayout;
class QLabel;
class QMenu;
class QWidgetAction;

class PulseMeasure : public RightPanel
{
    Q_OBJECT
public:
    static constexpr int TypeCount = 4;
    static constexpr int RangeCount = 27;   // ALL, then pairs A to Z

    enum Column { ColType, ColChn, ColRange, ColSeparator, ColValue, ColRemove };

    explicit PulseMeasure(QWidget* parent = nullptr);
    ~PulseMeasure() override;

    static PulseMeasure* me;
    // Runs a row button's menu modally at a screen position; tests set it
    // so that nothing blocks. Unset: QMenu::exec.
    static std::function<void(QMenu* menu, const QPoint& at)> menuRunner;
    // Fills shown[k] for the first `count` marker pairs: both markers of
    // pair k show. Installed by the main view; unset, no pair shows.
    static std::function<void(bool* shown, int count)> markerPairsShown;

    // Brings the channel menu to the current device's channel count and
    // blanks every row's value; the rows stay, with their channels.
    void init();

    // The wishes of all rows, duplicates merged, only enabled channels over
    // the whole capture or a pair whose markers both show; empty without a panel.
    static QStringList getChnAndTimeSet();
    // Enabled channels (decimal, no duplicates) of the rows over pair `index`.
    static QStringList getChnSet(int index);

    int rowCount() const { return rowBtns[ColType].size(); }
    // A row's widget in a column (nullptr outside the rows).
    QWidget* rowWidget(int row, Column c) const;
    int rowType(int row) const;
    int rowChannel(int row) const;
    int rowRange(int row) const;
    QString rowValue(int row) const;
    QGridLayout* grid() const { return gridLayout; }
    QMenu* typeMenu() const { return menus[ColType]; }
    QMenu* chnMenu() const { return menus[ColChn]; }
    QMenu* rangeMenu() const { return menus[ColRange]; }
    const QVector<MyButton*>& menuButtons(Column c) const { return menuBtns[c]; }
    const QVector<QWidgetAction*>& menuActions(Column c) const { return menuActs[c]; }

signals:
    void setChanged();

public slots:
    void slotValueChanged(QStringList pulseList);
    void slotValueChangedbyTimeMarker(int index, QStringList pulseList);
    void slotBtnSetClicked() override;
    void slotBtnTypeClicked();
    void slotBtnChnClicked();
    void slotBtnTimeClicked();
    void slotBtnActTypeClicked();
    void slotBtnActChnClicked();
    void slotBtnActTimeClicked();
    void slotBtnRemoveClicked();

private:
    // The three menus share their handling; c is ColType, ColChn or ColRange.
    MyButton* addMenuEntry(Column c, const QString& text, const QString& icon, int height);
    void openMenu(Column c);
    void choose(Column c);
    void setRowValue(int row, Column c, int value);
    // Puts the six widgets of row i into grid row g.
    void placeRow(int g, int i);
    QVector<QWidget*> widgetsOf(int row) const;
    // Entry 0 (ALL) always, entry k + 1 when both markers of pair k show.
    static QVector<bool> shownRanges();
    static bool chnEnabled(int chn);
    static bool hasSamples();

    // The rows as parallel vectors by row number; a button's index is its
    // row and its value the row's type, channel or range.
    QVector<MyButton*> rowBtns[3];
    QVector<MyButton*> removeBtns;
    QVector<QLabel*> sepLabels, valueLabels;
    QGridLayout* gridLayout;
    QMenu* menus[3];
    QVector<MyButton*> menuBtns[3];
    QVector<QWidgetAction*> menuActs[3];
    QStringList icons;
    int curRow = -1;
};

#endif
