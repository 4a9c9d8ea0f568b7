#ifndef CALIBRATEOSC_H
#define CALIBRATEOSC_H
// The service window that calibrates the analog front end of the current
// device (Ctrl+J with the service code in "extparam"): zero corrections per
// channel and range group, the slope per channel, an automatic calibration
// of the two converters from four single captures, the gain correction per
// channel and V/div, and Save, which stores the record in the device.
// Edits go to the device at once; nothing reaches its record until Save.

#include <QPointer>
#include <QString>
#include <QVector>
#include <QWidget>

class DevBase;
class MySpinBox;
class QPushButton;
class QTextEdit;
class SmpDataOsc;

class CalibrateOsc : public QWidget
{
    Q_OBJECT
public:
    explicit CalibrateOsc(QWidget* parent = nullptr);
    ~CalibrateOsc() override;

    // Loads every value from the device without writing or marking
    // anything; the log is cleared.
    void init();
    // "Calibrate" while a connected device with two analog channels is idle;
    // ends a run whose device has gone.
    void setEna();
    // After each shown capture in the oscilloscope work mode: one step of a
    // running automatic calibration.
    void smpDataReady();
    // After each capture has ended, with samples or without: a run whose
    // own capture ended unused (stopped by the user, failed) ends too, so
    // "Calibrate" does not stay disabled.
    void captureEnded();
    bool running() const { return runActive; }

    // The converters' means of a capture: both channels, or one channel
    // whose samples alternate between the converters; 0, 0 without samples.
    static void converterMeans(const SmpDataOsc* s, double mean[2]);
    // A zero from a mean (d = mean - stored zero, new = -(d + 0.5) cut
    // toward zero), kept within the record's 8 bits.
    static int zeroFor(double mean, int stored, double* d);
    // A slope (thousandths) that brings the mean to 384 with the converter's
    // zero; false (nothing usable) when m is 0 or not finite or the result
    // does not fit the record's 16 bits.
    static bool slopeFor(double mean, int zero, int slope, double* m, int* result);

    QVector<QVector<MySpinBox*>> spinZero;
    QVector<MySpinBox*> spinSlope;
    QVector<QVector<MySpinBox*>> spinGain;
    QPushButton* btnAuto;
    QPushButton* btnSave;
    QTextEdit* editLog;
    int autoStep = -1;

signals:
    // 2, -1 after each automatic step; 3, channel after a gain edit.
    void calibSettingChanged(int code, int chn);

public slots:
    void slotSpinZeroChanged(int value);
    void slotSpinSlopeChanged(int value);
    void slotBtnAutoClicked();
    void slotSpinGainChanged(int value);
    void slotBtnSaveClicked();

protected:
    void timerEvent(QTimerEvent* e) override;

private:
    // The device the window can calibrate: two analog channels with their
    // tables (null when the current device has none).
    DevBase* analogDevice() const;
    MySpinBox* addSpin(int lo, int hi, const QString& name, void (CalibrateOsc::*slot)(int));
    static void setChanged(MySpinBox* s, bool on);
    // Marks the sender; the device when it can take the edit.
    DevBase* editTarget();
    void startCapture();
    void endRun(const QString& why);
    void log(const QString& line);

    int zeroRows = 0;
    bool runActive = false;
    bool starting = false;
    bool consumed = false;       // the run's latest capture has been used
    unsigned runGeneration = 0;
    int timerId = 0;
    QPointer<DevBase> runDev;
};

#endif
