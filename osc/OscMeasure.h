#ifndef OSCMEASURE_H
#define OSCMEASURE_H
// "Measurements" in the right-hand column of the oscilloscope: a block per
// analog channel with the thirteen values the display generator measured,
// each written with a unit prefix chosen from its size. The listed blocks
// ("oscMeasureEna") and per block the listed values ("oscMeasureChn<n>")
// are kept as global settings. Each block's menu ends with "Snapshot", a
// dialog of all thirteen values at that moment.

#include <QStringList>
#include <QVector>
#include <QWidget>

class MyMenu;
class QAction;
class QDialog;
class QLabel;
class TitleBar;
class WaveDataGenOsc;

class OscMeasurePair : public QWidget
{
    Q_OBJECT
public:
    OscMeasurePair(int chn, WaveDataGenOsc* gen, QWidget* parent = nullptr);

    // The value labels from the generator's latest measurements.
    void setValue();
    // Thirteen texts (count "###" for a switched-off channel); a value
    // whose flag is false, or that cannot be written, is "###".
    static QStringList parameterToStrOsc(int chn, const bool* valid, const double* values, int count);
    // mV: from 100 mV on in V with 4 significant digits, else in mV with 3.
    static QString voltToStr(double mV);
    // Whole picoseconds in the largest unit up to s (5 significant digits).
    static QString timeToStr(long long ps);
    // Hz in the largest unit up to GHz (5 significant digits).
    static QString freqToStr(double hz);
    // Listed (expanded again) or not.
    void setState(bool on);

    int chn;
    WaveDataGenOsc* gen;
    TitleBar* titleBar;
    MyMenu* menu;
    QVector<QLabel*> names;
    QVector<QLabel*> values;
    QDialog* snapshot = nullptr;
    QVector<QLabel*> snapValues;

public slots:
    void slotMenuActionClicked();
    void slotBtnSetClicked();
    void slotBtnExpandClicked();
    void slotBtnSnapshotClicked();

private:
    void buildSnapshot();
    QWidget* body;
};

class OscMeasure : public QWidget
{
    Q_OBJECT
public:
    OscMeasure(WaveDataGenOsc* gen, QWidget* parent = nullptr);

    // Menu and blocks for the current device's analog channels.
    void init();

    TitleBar* titleBar;
    QWidget* body;
    MyMenu* menuChn;
    QVector<OscMeasurePair*> blocks;
    WaveDataGenOsc* gen;

public slots:
    // One channel's block; every block for a channel outside the device's.
    void slotOscMeasureValue(int chn);
    void slotMenuClicked(QAction* a);
    void slotBtnSetClicked();
    void slotBtnExpandClicked();
};

#endif
