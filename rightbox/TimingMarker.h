#ifndef TIMINGMARKER_H
#define TIMINGMARKER_H
// The "Timing Marker Pairs" panel of logic mode. The waveform view owns the
// markers; the panel shows one row per pair the view holds and tells the
// view what the user asks for. Pair p (0..25) bears the letter 'A' + p and
// owns the markers 2p ("A1") and 2p + 1 ("A2"). Codes to the view: 19
// locate, 20 removed, 21 pick a marker up, 22 create; from the view: 22 a
// pair exists, 23 new texts of one marker.

#include <QString>
#include <QVector>
#include <QWidget>

#include "rightbox/RightPanel.h"

class QLabel;
class QPushButton;
class QVBoxLayout;
class TimingMarkerTip;

class TimingMarkerPair : public QWidget
{
    Q_OBJECT
public:
    TimingMarkerPair(int id, QWidget* parent = nullptr);

    int pairId() const { return id; }
    bool isExpanded() const { return expanded; }
    // Value label index (0 or 1) and the difference, shown as received.
    void setTimeDate(int index, const QString& value, const QString& total);
    QString valueText(int index) const;
    QString totalText() const;
    QPushButton* markerButton(int index) const { return index == 0 ? btnMarker1 : btnMarker2; }
    QPushButton* locationButton() const { return btnLocation; }
    QPushButton* removeButton() const { return btnRemove; }
    QPushButton* expandButton() const { return btnExpand; }
    QWidget* bodyWidget() const { return body; }

signals:
    void sigPairClicked(int id, int type);

public slots:
    void slotBtnTiming1Clicked();
    void slotBtnTiming2Clicked();
    void slotBtnLocationClicked();
    void slotBtnRemoveSetClicked();
    void slotBtnExpandClicked();

private:
    // Picks marker 2 x id + which up for placing, given a capture to place it in.
    void pickMarker(int which);

    int id;
    bool expanded = false;
    QPushButton* btnExpand;
    QPushButton* btnMarker1;
    QPushButton* btnMarker2;
    QPushButton* btnLocation;
    QPushButton* btnRemove;
    TimingMarkerTip* labTotal;
    QWidget* body;
    QVector<QLabel*> valueLabels;   // by marker id modulo 2
};

class TimingMarker : public RightPanel
{
    Q_OBJECT
public:
    static constexpr int MaxPairs = 26;

    explicit TimingMarker(QWidget* parent = nullptr);

    // Destroys every row at once; tells the view nothing.
    void init();
    // The row of pair id / 2 when it is missing (code 22 from the view).
    void addTimingMarkerPair(int id);
    // New texts for marker id in its pair's row; no row, nothing.
    void setTimingMarkerDate(int id, const QString& value, const QString& total);

    // The rows, sorted by pair id, in layout order.
    const QVector<TimingMarkerPair*>& pairs() const { return rows; }

signals:
    void timingMarkerClicked(int id, int type);

public slots:
    void slotTimingMarkerPairChanged(int type, int phyId, QString timeData, QString timeToal);
    void slotBtnSetClicked() override;
    void slotPairClicked(int id, int type);

private:
    TimingMarkerPair* newRow(int pair);
    void insertRow(int index, TimingMarkerPair* row);
    int rowOf(int pair) const;

    QVBoxLayout* rowLayout;
    QVector<TimingMarkerPair*> rows;
};

#endif
