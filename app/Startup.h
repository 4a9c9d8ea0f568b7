#ifndef STARTUP_H
#define STARTUP_H
// The program's start-up and shut-down sequence around the event loop.

class DevBase;
class QApplication;

// Prepares configuration, language, fonts and style sheet, creates the device
// globals and the main window, runs the event loop and tears down in order.
int corvenaRun(QApplication& app);

// The demonstration switch: CORVENA_DEMO_MODEL=49 puts the mixed-signal
// model (unconnected, simulating) in the demonstration device's place.
// corvenaRun reads the environment once; tests may set the switch.
bool demoMixedSignal();
void setDemoMixedSignal(bool on);
void readDemoSwitch();
// The device for a model read from the configuration: the factory's, or
// the mixed-signal model while the switch is on (nothing is stored then).
DevBase* createStartDevice(int model);

// Reads the style sheet resource up to its first NUL byte, rescales it and
// installs it; a missing resource leaves the application unstyled.
void installStyleSheet(QApplication& app);

#endif
