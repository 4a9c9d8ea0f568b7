#ifndef ANALYZERPROGMNG_H
#define ANALYZERPROGMNG_H
// The decode thread of one analyzer in use. The analyzer library starts it
// through startWorkThread() and reports the end of every run through
// stopWorkThread() on this thread; a run that ended by itself is announced to
// the GUI thread with sigStopWorkThread, a run that was stopped is not. When
// the system refuses the thread, the run ends at once without it (RunFailed,
// no notice) and refused() says so until the next start.

#include <QThread>

#include <atomic>

#include "Analyzer.h"

class AnalyzerProgMng : public QThread, public ProgressManager
{
    Q_OBJECT
public:
    explicit AnalyzerProgMng(Analyzer* anly, QObject* parent = nullptr);
    ~AnalyzerProgMng() override;

    // ProgressManager
    void startWorkThread() override;
    void stopWorkThread() override;
    void reportProgress(double progress) override;

    double getReportProgress() const;
    Analyzer* getAnalyzer() const { return mAnly; }

    // Identity of the latest run started through this object (unique across
    // all decode threads of the program); 0 once that run has been dealt
    // with, so a late notice of it is recognised as stale.
    quint64 runToken() const { return mRunToken.load(); }
    void forgetRun() { mRunToken.store(0); }
    // Whether the system refused the thread of the latest start.
    bool refused() const { return mRefused.load(); }

signals:
    // Queued to the GUI thread: the run `token` ended by itself.
    void sigStopWorkThread(AnalyzerProgMng* me, Analyzer* anly, quint64 token);

protected:
    void run() override;

private:
    Analyzer* mAnly; // not owned
    std::atomic<double> mProgress;
    std::atomic<quint64> mRunToken;
    std::atomic<bool> mRefused;
};

#endif
