#ifndef RUNCONTROL_H
#define RUNCONTROL_H
// Library-private: how a decode run is unwound. Thrown by the library on the
// decode thread and caught only in Analyzer::RunWorkerThread.

#include "Analyzer.h"

namespace anlyrun {
struct RunEndSignal {
    AnalyzerRunEnd why;
};
// The analyzer whose run executes on this thread, if any.
extern thread_local Analyzer* running;
}

#endif
