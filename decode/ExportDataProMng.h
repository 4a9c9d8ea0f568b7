#ifndef EXPORTDATAPROMNG_H
#define EXPORTDATAPROMNG_H
// Writes one analyzer's decoded data to a file on a thread of its own; the
// plug-in's GenerateExportFile does the writing. One export at a time
// (AnalyzerManager keeps the current one).

#include <QString>
#include <QThread>

#include <atomic>

#include "AnalyzerResults.h"

class ExportDataProMng : public QThread
{
    Q_OBJECT
public:
    explicit ExportDataProMng(AnalyzerResults* results, QObject* parent = nullptr);
    ~ExportDataProMng() override;

    // Prepares the results for an export (on the calling thread) and starts
    // the thread. Without results, or when the system refuses the thread,
    // the export fails: the end is announced all the same, queued.
    void startExportThread(const QString& path, DisplayBase base, unsigned int option);
    void cancelExport();
    double getProgress() const; // 0 to 1
    // After the thread has ended: whether the file could not be written.
    bool exportFailed() const { return mFailed.load(); }
    bool wasCancelled() const { return mCancelled.load(); }
    AnalyzerResults* results() const { return mResults; }

signals:
    void sigQuit();
    void sigDeleteExportDataProMng();

public slots:
    void slotQuit();

protected:
    void run() override;

private:
    AnalyzerResults* mResults; // not owned
    QString mPath;
    DisplayBase mBase;
    unsigned int mOption;
    std::atomic<bool> mCancelled;
    std::atomic<bool> mFailed;
};

#endif
