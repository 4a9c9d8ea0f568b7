#ifndef TESTENV_H
#define TESTENV_H
// Test set-up shared by every test executable: per-user data goes to a
// temporary directory so no test touches the real configuration.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace TestEnv {
// Points XDG_DATA_HOME (and Qt's test-mode paths) at a fresh temporary
// directory; call before Config::init. Returns that directory.
QString isolateUserData();
// Path of a file in the repository's tests/data directory.
QString dataPath(const QString& name);
// Path of a real recording in tests/data/recordings.
QString recordingPath(const QString& name);
// A file's bytes ("" when it cannot be read).
QByteArray readFile(const QString& path);
// A field of a process's /proc/<process>/status ("self" or a pid; "VmRSS",
// "SigCgt", ...): the text after its colon, trimmed ("" when absent).
QByteArray processStatus(const QString& process, const QByteArray& field);
// Replaces a file's content; false when it cannot be written whole.
bool writeFile(const QString& path, const QByteArray& bytes);
// The part files (the hidden ".<name>[.n].part" a writer makes beside its
// target) in a directory, sorted.
QStringList partFiles(const QString& dir);
// A file name of 255 bytes, the longest the file systems of Linux take,
// ending in "." + suffix: of two-byte characters (padded with an 'x'), or
// of plain letters when ascii is set.
QString longestName(const QString& suffix, bool ascii = false);
// The program's start for a test of its windows: user data isolated, the
// settings of `settings` (a file in tests/data; none: the defaults, in
// English), the configuration saved to `cfgFile` when one is given, then the
// translations and the fonts at 96 dpi.
void startProgram(const QString& settings = QString(), const QString& cfgFile = QString());
// Fills the grey colour table that the widgets paint with when the start-up
// code that normally reads it has not run.
void defaultGrayColors();
}

#endif
