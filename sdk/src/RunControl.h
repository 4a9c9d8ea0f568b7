#ifndef RUNCONTROL_H
#define RUNCONTROL_H
// Library-private: how a decode run is unwound. Thrown by the library on the
// decode thread and caught only in Analyzer::RunWorkerThread.

#include "Analyzer.h"

namespace anlyrun {
struct RunEndSignal {
    AnalyzerRunEnd why;
};
// The analyzer whose run this thread executes, if any: from the start of
// RunWorkerThread until the host's stopWorkThread has returned, so that a
// KillThread made there does not wait for its own thread.
extern thread_local Analyzer* running;
// The analyzer whose WorkerThread this thread is in: the part of the run
// that the library ends by unwinding it.
extern thread_local Analyzer* decoding;
// The analyzer whose StartProcessing this thread is in, while the host's
// startWorkThread runs: a KillThread made there cannot wait for the run.
extern thread_local Analyzer* starting;

// Sets one of the marks above for a scope, and puts back what it held.
class Mark {
public:
    Mark(Analyzer*& mark, Analyzer* a) : mMark(mark), mOuter(mark) { mMark = a; }
    ~Mark() { mMark = mOuter; }
    Mark(const Mark&) = delete;
    Mark& operator=(const Mark&) = delete;

private:
    Analyzer*& mMark;
    Analyzer* const mOuter;
};
}

#endif
