#ifndef PROTOEXPORT_H
#define PROTOEXPORT_H
// One decoded-data export as the user sees it: the plug-in writes into a
// file beside the target, which replaces the target only once the export
// has completed. A failed, refused or cancelled export leaves the target as
// it was and no file of its own behind.
//
// The object outlives the row that started it (it belongs to the analyzer
// host), so that an export the user stopped is still wound up when the row
// has gone meanwhile; it deletes itself once the export has ended.

#include <QObject>
#include <QString>

#include <memory>

#include "AnalyzerResults.h"
#include "AnalyzerTypes.h"

class AnalyzerManager;
class PartFile;

class ProtoExport : public QObject
{
    Q_OBJECT
public:
    enum Outcome { Written = 0, Stopped = 1, Failed = 2 };

    // Starts exporting results in the given format and option into target.
    // Null when the host refuses to start (another export runs, no results)
    // or no file can be made beside the target.
    static ProtoExport* start(AnalyzerManager* host, AnalyzerResults* results, const QString& target,
                              DisplayBase base, unsigned int option);
    ~ProtoExport() override;

    // The user's Stop: the export ends as Stopped, the target untouched.
    void stop();
    QString target() const { return mTarget; }

signals:
    // Emitted once, on the GUI thread, when the export has ended.
    void finished(int outcome);

private slots:
    void slotExportFinished(bool ok);

private:
    ProtoExport(const QString& target, std::unique_ptr<PartFile> part, QObject* parent);
    Outcome settle(bool ok);

    QString mTarget;
    std::unique_ptr<PartFile> mPart;   // the file being written; removed unless committed
    bool mStopped = false;
    bool mDone = false;
};

#endif
