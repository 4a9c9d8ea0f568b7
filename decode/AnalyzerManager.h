#ifndef ANALYZERMANAGER_H
#define ANALYZERMANAGER_H
// The one host of the protocol-analyzer plug-ins: the catalogue of plug-in
// files from the "Analyzer" directory beside the program, the ordered list of
// analyzers in use (alias, display format, show flag), their persistence in
// the configuration, their decode threads and the export of decoded data.
//
// Threads: everything here runs on the GUI thread except the few class-wide
// queries marked "any thread" (the Decoded Results thread and the capture
// simulation call them). Those read a snapshot that the GUI thread publishes
// after every change, under a short lock.
//
// Results of an analyzer change (new decode, clear, removal) only inside a
// change scope: a running export is cancelled and waited for, the Decoded
// Results thread drops its references (the modification handshake), and
// nothing that other threads can reach refers to what is being deleted.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>

#include "Analyzer.h"
#include "AnalyzerResults.h"
#include "AnalyzerTypes.h"
#include "data/SmpTables.h"

class QLibrary;
class AnalyzerProgMng;
class ExportDataProMng;

typedef Analyzer* (*CreateAnalyzerFn)();
typedef void (*DestroyAnalyzerFn)(Analyzer*);
typedef const char* (*GetAnalyzerNameFn)();
typedef const char* (*GetParaInfoListFn)();

// One loaded plug-in file.
struct FileInterface {
    QString fileName; // without directory
    CreateAnalyzerFn CreateAnalyzer = nullptr;
    DestroyAnalyzerFn DestroyAnalyzer = nullptr;
    GetAnalyzerNameFn GetAnalyzerName = nullptr;
    QVector<int> supportModels; // empty: every model

    bool querySupport(int model) const;
    // "" when supported, else " (Not Supported)" (translated).
    QString getSupportText(int model) const;
    // The plug-in's own name ("" when it gives none).
    QString analyzerName() const;
};

// One analyzer in use.
struct AnalyzerInterface {
    FileInterface file;
    QString alias;       // empty: the plug-in's name is shown
    QString format;      // DisplayBase as decimal text
    Analyzer* analyzer = nullptr;         // owned
    AnalyzerProgMng* progMng = nullptr;   // owned
    bool show = true;
    // The system refused the thread of its latest decode: it did not decode.
    bool decodeRefused = false;
};

class AnalyzerManager : public QObject
{
    Q_OBJECT
public:
    static AnalyzerManager* me;

    explicit AnalyzerManager(QObject* parent = nullptr);
    ~AnalyzerManager() override;

    // Directory of the plug-in files: "Analyzer/" beside the program unless
    // a test points it elsewhere (before the manager is built).
    static QString analyzerDir();
    static void setAnalyzerDir(const QString& dir);

    // What the host needs of the current device: its model id and its logic
    // channel enables (the vector's size is the channel count). Replaceable,
    // so tests and the main window can supply them.
    static std::function<int()> deviceModel;
    static std::function<QVector<bool>()> deviceChnEnables;

    // The record the analyzers read the shown capture through (the device
    // fills one with genDataForAnly). Decode runs read it while they last:
    // setDataForAnly stops every run before it replaces it.
    const DataForAnly& dataForAnly() const { return mDataForAnly; }
    void setDataForAnly(const DataForAnly& data);

    // ---- catalogue ----
    int getPluginCount() const { return mPlugins.size(); }
    QStringList getAllAnalyzerName() const;
    QString getSpecAnalyzerName(const QString& fileName) const;
    // A new instance of plug-in `plugin` (null for an unknown index); the
    // plug-in is remembered for the following addUsing.
    Analyzer* getNewAnalyzer(int plugin);
    // Hands back an instance of getNewAnalyzer that was never added, through
    // its own plug-in's DestroyAnalyzer (null or an unknown plug-in: nothing).
    void destroyNewAnalyzer(int plugin, Analyzer* anly);

    // ---- analyzers in use ----
    int getUsingCount() const { return mUsing.size(); }
    void addUsing(Analyzer* anly, bool decode);
    void saveEditMessage(int index, bool decode);
    void removeUsing(int index);
    void removeAllUsing();
    void restoreUsing();
    void saveConfig();
    void saveAnalyzerAlias();
    void setUsingAlias(int index, const QString& text);
    QString getUsingAlias(int index) const;
    QString getUsingAnalyzerName(int index) const;
    QString getUsingSpecFileName(int index) const;
    Analyzer* getUsingAnalyzer(int index) const;
    int getUsingDisplayFormat(int index) const;
    void setUsingDisplayFormat(int index, int format);
    QStringList getUsingChnAlias(int index) const;
    QStringList getAllUsingChnAlias(int except) const;
    QStringList getEnableChnInterfaceName(int except) const;
    bool anlyThreadIsRuning(int index) const;

    // ---- decoding ----
    void startDecode();
    // A new capture: setDataForAnly and startDecode, in the one change scope
    // of the results that will describe it.
    void startDecode(const DataForAnly& data);
    void startDecode(int index);
    // Stops one analyzer's decode and returns once its thread has ended.
    void stopAnlyThread(int index);
    // The system refused the thread of the analyzer's latest decode, which
    // therefore did not decode; the next decode tries again. A change is
    // announced with analyzerDecodedChanged, queued.
    bool decodeRefused(int index) const;

    // Modification flag: raised by the GUI thread, cleared by the Decoded
    // Results thread once it holds no results (any thread).
    bool isModifyAnly() const { return mModify.load(); }
    void setModifyAnly(bool on) { mModify.store(on); }

    // ---- class-wide ----
    // Any thread: analyzers whose rows are shown, in list order (empty while
    // the analyzers or their results are being changed).
    static QVector<Analyzer*> getEnaAnalyzers();
    // Any thread: the display format of an analyzer in use, -1 for others.
    static int getAnalyzerDisplayFormat(Analyzer* anly);
    static void setProtocolShow(int index);
    static QStringList getTotalProtocol();
    static QVector<Analyzer*> getUsingChnAnalyzers(int chn);
    static void clearAnalyzerResult();
    // Any thread: fresh instances configured like the analyzers in use, each
    // to be handed back through deleteSimuAnalyzers.
    static QVector<Analyzer*> getAllSimuAnalyzers();
    static void deleteSimuAnalyzers(QVector<Analyzer*>& analyzers);
    static void stopAllAnalyzer();
    static bool isInterruptAnly();
    static void setInterruptAnly(bool on);
    // Starts exporting results to path; false (nothing started) without
    // results or while another export runs.
    static bool exportAnlyDataFile(AnalyzerResults* results, const QString& path, DisplayBase base,
                                   unsigned int option);
    static void cancelExport();
    // Cancels the running export, waits for its thread and announces its end
    // (exportFinished) before it returns, for an end that cannot wait for
    // the event loop.
    static void endExport();
    // Percent done; 100 once no export object exists.
    static int getExportFileProgress();
    // Outcome of the last export that ended: true when its file could not
    // be written.
    static bool lastExportFailed();
    // Whether the last export that ended was cancelled before it completed
    // (by cancelExport or by a change of its results).
    static bool lastExportCancelled();

signals:
    void analyzerItemAliasChanged();
    void analyzerItemChanged();
    void analyzerDecodedChanged();
    void modifyPrepared();
    // An export ended (finished, cancelled or failed); ok false: the file
    // could not be written.
    void exportFinished(bool ok);

public slots:
    void slotStopWorkThread(AnalyzerProgMng* mng, Analyzer* anly, quint64 token);
    void slotDeleteExportDataProMng();

private:
    void loadPlugins();
    int findPlugin(const QString& fileName) const;
    AnalyzerInterface makeEntry(const FileInterface& file, Analyzer* anly, const QString& alias,
                                const QString& format);
    void destroyEntry(AnalyzerInterface& e);
    void decodeOne(int index);
    // After StartProcessing of an analyzer in use: notes whether the system
    // refused its thread.
    void noteDecodeStart(int index);
    void stopAllRuns();
    void modifyHandshake();
    void finishExport(bool waitFirst);
    // Results of analyzers in use are about to change, or analyzers to go:
    // hide them from other threads, end the export, run the handshake.
    void beginChange(Analyzer* only);
    void endChange();
    void publishSnapshot();
    static int channelCount();
    static QString checkedFormat(const QString& text);

    friend class ChangeScope;

    DataForAnly mDataForAnly;
    std::atomic<bool> mModify;
    int mPending;
    QString mDir;
    QVector<AnalyzerInterface> mUsing;
    QVector<FileInterface> mPlugins;
    QVector<QLibrary*> mLibraries;
    ExportDataProMng* mExport;
    bool mLastExportFailed;
    bool mLastExportCancelled;
    int mChangeDepth;
    bool mDecodedNotice; // analyzerDecodedChanged is queued

    static std::atomic<bool> sInterrupt;
    static QString sDirOverride;
};

#endif
