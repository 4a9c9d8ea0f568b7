#ifndef PROGRAMKIT_H
#define PROGRAMKIT_H
// For tests that run the built program as a process of its own and signal
// it: a capture file to open on its command line (so that it never searches
// the USB bus) and what /proc tells of its signal handlers.

#include <QString>

namespace ProgramKit {
// A capture the demonstration device opens: a settings header naming it,
// then the data part of its 16 channels, where channel 0 changes at each of
// the first `edges` samples after the start. Opening it puts the analyzers
// of its header in use: `analyzers` is the content of that section (none
// when empty). False when it cannot be written.
bool writeCapture(const QString& path, long long edges, const QByteArray& analyzers = QByteArray());
// Whether the process catches (field "SigCgt") or ignores ("SigIgn") the
// signal, by its /proc status.
bool signalIn(qint64 pid, const char* field, int sig);
// Whether the process has handlers for SIGINT, SIGTERM and SIGHUP, but for
// the one given (0: none left out).
bool closeHandlersIn(qint64 pid, int except = 0);
}

#endif
