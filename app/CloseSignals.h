#ifndef CLOSESIGNALS_H
#define CLOSESIGNALS_H
// SIGINT, SIGTERM and SIGHUP end the program as closing its window does.
// The handler itself only does what is safe in a handler: it makes every
// file job fail at its next check (one may hold the GUI thread itself, as a
// remote save does) and wakes the event loop through a pipe; `requested` is
// then emitted there. A second signal ends the program at once with the
// signal's default action. A signal that was ignored when the program
// started stays ignored: SIGINT of a command a script started in the
// background, SIGHUP under nohup.

#include <QObject>

class QSocketNotifier;

class CloseSignals : public QObject
{
    Q_OBJECT
public:
    // Installs the handlers unless they are in place. main calls it before
    // anything else, before the X connection is made: a signal that comes
    // during the start waits in the pipe until the event loop reads it.
    static void install();

    // Installs the handlers if needed and listens to them. One object at a
    // time.
    explicit CloseSignals(QObject* parent = nullptr);
    // Puts back the dispositions the handlers replaced.
    ~CloseSignals() override;
    CloseSignals(const CloseSignals&) = delete;
    CloseSignals& operator=(const CloseSignals&) = delete;

    // A name for the terminal: "SIGINT", "SIGTERM", "SIGHUP".
    static const char* signalName(int sig);

signals:
    // On the thread that made the object, once: the first signal.
    void requested(int sig);

private slots:
    void readPipe();

private:
    QSocketNotifier* notifier = nullptr;
    bool announced = false;
};

#endif
