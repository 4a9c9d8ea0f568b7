#include "app/CloseSignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "data/DataFile.h"

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kCount = int(sizeof kSignals / sizeof kSignals[0]);

// The pipe stays open for the life of the process: a handler running on
// another thread while the object goes must never write into a descriptor
// that has been reused meanwhile.
int wakeFds[2] = {-1, -1};
std::atomic<bool> signalled{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the handler needs a lock-free flag");

struct sigaction kept[kCount];
bool replaced[kCount] = {};
bool installed = false;

void onSignal(int sig)
{
    if (signalled.exchange(true)) {
        // The second one: its default action. The signal is blocked while
        // its handler runs, so it is delivered as soon as this returns.
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        sigaction(sig, &dfl, nullptr);
        raise(sig);
        return;
    }
    const int saved = errno;
    DataFile::interruptAll();
    const char c = char(sig);
    const ssize_t n = write(wakeFds[1], &c, 1);
    (void)n;   // a full pipe is awake already
    errno = saved;
}

} // namespace

void CloseSignals::install()
{
    if (installed)
        return;
    if (wakeFds[0] < 0 && pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        wakeFds[0] = wakeFds[1] = -1;
        return;   // the signals keep their default action
    }
    installed = true;
    signalled = false;
    for (int i = 0; i < kCount; ++i) {
        struct sigaction now {};
        if (sigaction(kSignals[i], nullptr, &now) != 0 || now.sa_handler == SIG_IGN)
            continue;
        struct sigaction sa {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        // Other threads' system calls go on as if nothing happened.
        sa.sa_flags = SA_RESTART;
        replaced[i] = sigaction(kSignals[i], &sa, &kept[i]) == 0;
    }
}

CloseSignals::CloseSignals(QObject* parent) : QObject(parent)
{
    install();
    if (!installed)
        return;
    // A byte written before this point is read as soon as the loop runs.
    notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &CloseSignals::readPipe);
}

CloseSignals::~CloseSignals()
{
    for (int i = 0; i < kCount; ++i) {
        if (replaced[i])
            sigaction(kSignals[i], &kept[i], nullptr);
        replaced[i] = false;
    }
    installed = false;
}

const char* CloseSignals::signalName(int sig)
{
    switch (sig) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
    }
}

void CloseSignals::readPipe()
{
    char buf[16];
    int first = 0;
    for (ssize_t n; (n = read(wakeFds[0], buf, sizeof buf)) > 0;)
        if (!first)
            first = buf[0];
    if (first && !announced) {
        announced = true;
        emit requested(first);
    }
}
