#ifndef STARTUP_H
#define STARTUP_H
// The program's start-up and shut-down sequence around the event loop.

class QApplication;

// Prepares configuration, language, fonts and style sheet, creates the device
// globals and the main window, runs the event loop and tears down in order.
int corvenaRun(QApplication& app);

// Reads the style sheet resource up to its first NUL byte, rescales it and
// installs it; a missing resource leaves the application unstyled.
void installStyleSheet(QApplication& app);

#endif
