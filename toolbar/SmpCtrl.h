#ifndef SMPCTRL_H
#define SMPCTRL_H
// The sampling control bar of the top bar: Auto, Single, Repeat and Stop.
// Starts and stops captures on the current device; the checked button mirrors
// the start mode the main window reports back.

#include <QVector>
#include <QWidget>

#include <functional>

class DevBase;
class QGraphicsDropShadowEffect;
class QHBoxLayout;
class QPushButton;

class SmpCtrl : public QWidget
{
    Q_OBJECT
public:
    explicit SmpCtrl(QWidget* parent = nullptr);

    // The oscilloscope auto-scale of the analog display generator: Auto arms
    // it, a capture in another mode and Stop cancel it. Filled by the main
    // window; unset means there is no auto-scale to drive.
    std::function<void()> startAutoScale;
    std::function<void()> cancelAutoScale;

    // Decoder calls made before every capture start, in this order: stop every
    // decode run, then empty all results. Installed by the analyzer host; an
    // unset hook means there is nothing to stop or clear.
    static std::function<void()> stopAllAnalyzer;
    static std::function<void()> clearAnalyzerResult;

    void init();
    void devConnectChanged(bool connected);

    // Button order of the bar.
    enum Btn { BtnAuto = 0, BtnSingle = 1, BtnRepeat = 2, BtnStop = 3 };

public slots:
    void devSmpStaChanged(int mode);
    void slotBtnAutoScaleClicked();
    void slotBtnSingleClicked();
    void slotBtnRepeatClicked();
    void slotBtnStopClicked();

private:
    // Stops a running capture, then the decoders, and empties the results.
    void stopForStart(DevBase* dev);
    // Stops a running capture and the decoders, then starts in `mode`.
    void startCapture(int mode);

    QPushButton* btnAuto;
    QPushButton* btnSingle;
    QPushButton* btnRepeat;
    QPushButton* btnStop;
    QVector<QGraphicsDropShadowEffect*> glows;   // in button order
    QHBoxLayout* layout;
};

#endif
