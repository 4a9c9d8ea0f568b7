#include "toolbar/StatusBar.h"

#include <QPainter>

#include "config/Config.h"
#include "config/Lang.h"

StatusBar::StatusBar(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_StyledBackground);
    setFixedSize(Config::pixel(194), Config::pixel(20));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QString StatusBar::connectText() const
{
    return connected ? Lang::tr("Device Connected") : Lang::tr("Device Disconnected");
}

void StatusBar::setConnectSta(bool c)
{
    connected = c;
    phaseProg = 0;
    readProg = 0;
    staText = connectText();
    update();
}

void StatusBar::setDataReview(bool c)
{
    connected = c;
    staText = c ? Lang::tr("Device Connected") : Lang::tr("Data Review");
    // Repaint now: otherwise the box keeps showing the old text until
    // something else happens to redraw it.
    update();
}

void StatusBar::setSmpProgress(DevSmpSta state, int n)
{
    n = qBound(0, n, 100);
    switch (state) {
    case SmpStaStart:
        // One blank: the box looks empty as a capture begins.
        staText = QStringLiteral(" ");
        phaseProg = 0;
        readProg = 0;
        break;
    case SmpStaPre:
        staText = Lang::tr("Pre-sampling") + "...";
        phaseProg = n;
        readProg = 0;
        break;
    case SmpStaWaitTrg:
        staText = Lang::tr("Waiting for trigger") + "...";
        phaseProg = n;
        readProg = 0;
        break;
    case SmpStaSampling:
        staText = Lang::tr("Sampling") + "...";
        phaseProg = n;
        readProg = 0;
        break;
    case SmpStaReading:
        staText = Lang::tr("Data reading") + "...";
        phaseProg = 100;
        readProg = n;
        break;
    default:
        staText = connectText();
        phaseProg = 0;
        readProg = 0;
        break;
    }
    update();
}

int StatusBar::fillWidth(int inner, int p)
{
    if (inner <= 0 || p <= 0)
        return 0;
    if (p >= 100)
        return inner;
    return inner * p / 100;
}

void StatusBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, false);
    const int m = Config::pixel(1);
    const int inner = width() - 4 * m;
    const int barH = height() - 4 * m;
    if (phaseProg > 0 && barH > 0) {
        const int w = fillWidth(inner, phaseProg);
        if (w > 0)
            p.fillRect(2 * m, 2 * m, w, barH, QColor(0, 192, 0));
    }
    if (readProg > 0 && barH > 0) {
        const int w = fillWidth(inner, readProg);
        if (w > 0)
            p.fillRect(2 * m, 2 * m, w, barH, QColor(0, 160, 192));
    }
    p.setPen(Config::grayColor.value(0, QColor(0xf7, 0xf7, 0xf7)));
    p.drawText(rect(), Qt::AlignCenter, staText);
}
