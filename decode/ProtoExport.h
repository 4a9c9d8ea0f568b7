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

#include "AnalyzerResults.h"
#include "AnalyzerTypes.h"

class AnalyzerManager;

class ProtoExport : public QObject
{
    Q_OBJECT
public:
    enum Outcome { Written = 0, Stopped = 1, Failed = 2 };

    // Starts exporting results in the given format and option into target.
    // Null when the host refuses to start (another export runs, no results).
    static ProtoExport* start(AnalyzerManager* host, AnalyzerResults* results, const QString& target,
                              DisplayBase base, unsigned int option);

    // The user's Stop: the export ends as Stopped, the target untouched.
    void stop();
    QString target() const { return mTarget; }

signals:
    // Emitted once, on the GUI thread, when the export has ended.
    void finished(int outcome);

private slots:
    void slotExportFinished(bool ok);

private:
    ProtoExport(const QString& target, const QString& part, QObject* parent);
    // A free name beside target for the file being written.
    static QString partPath(const QString& target);
    Outcome settle(bool ok);

    QString mTarget;
    QString mPart;
    bool mStopped = false;
    bool mDone = false;
};

#endif
