#ifndef PANELKIT_H
#define PANELKIT_H
// Set-up for the tool-bar panel tests: a hardware model made the current
// device and marked connected over a RecordingTransport (so every register
// write is seen), and a log of the panels' warning boxes.

#include <QByteArray>
#include <QString>
#include <QStringList>

class DevBase;
class RecordingTransport;

class ConnectedModel
{
public:
    // Creates `model`, installs the transport as devSupport, connects the
    // device and makes it devUsing; the transport's record starts empty.
    explicit ConnectedModel(int model);
    ~ConnectedModel();
    ConnectedModel(const ConnectedModel&) = delete;
    ConnectedModel& operator=(const ConnectedModel&) = delete;

    DevBase* dev = nullptr;
    RecordingTransport* usb = nullptr;

    // The bytes of a threshold register (value, range code) for this device.
    QByteArray vthBytes(double volts) const;
    // The bytes of a PWM register (period count, high count) for this device.
    QByteArray pwmBytes(double hz, double duty) const;
    // Register writes since the last clear, as "reg:hex" texts.
    QStringList writes() const;
};

// Replaces the panels' warning box while it lives; `texts` holds each text.
class WarningLog
{
public:
    WarningLog();
    ~WarningLog();
    QStringList titles;
    QStringList texts;
};

#endif
