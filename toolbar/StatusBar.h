#ifndef STATUSBAR_H
#define STATUSBAR_H
// The status box of the top bar: whether a device is connected, or during a
// capture the phase with one or two progress fills. It only displays what the
// main window hands it.

#include <QString>
#include <QWidget>

#include "config/Types.h"

class StatusBar : public QWidget
{
    Q_OBJECT
public:
    explicit StatusBar(QWidget* parent = nullptr);

    void setConnectSta(bool connected);
    void setDataReview(bool connected);
    void setSmpProgress(DevSmpSta state, int n);

    bool isConnected() const { return connected; }
    int phaseProgress() const { return phaseProg; }
    int readingProgress() const { return readProg; }
    QString text() const { return staText; }

    // Width of a progress fill of p percent inside an inner width of inner
    // pixels (integer arithmetic, truncated; never negative).
    static int fillWidth(int inner, int p);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QString connectText() const;

    bool connected = false;
    int phaseProg = 0;
    int readProg = 0;
    QString staText;
};

#endif
