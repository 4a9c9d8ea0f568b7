#ifndef PROTOITEM_H
#define PROTOITEM_H
// One row of the analyzers panel: the analyzer's name (pressed, it edits the
// alias), "Not decoded" beside it while the system refused the thread of the
// analyzer's decode, a settings button with the row menu (Edit, Display
// Format, Export Data) and a remove button. The row also runs its analyzer's
// exports.
//
// Rows are rebuilt whenever the analyzers in use change, often from inside
// one of the row's own slots or of a dialog it runs modally. The panel
// therefore retires rows instead of deleting them: a retired row closes its
// dialogs without writing, and is deleted once none of its slots is on the
// stack any more.

#include <QMetaType>
#include <QPointer>
#include <QString>
#include <QVector>
#include <QWidget>

class AnalyzerManager;
class AnalyzerSettings;
class MyLineEdit;
class MyProgressDlg;
class ProtoExport;
class QAction;
class QActionGroup;
class QDialog;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QTimer;

class ProtoItem : public QWidget
{
    Q_OBJECT
public:
    // What an export choice (menu entry or radio button) stands for.
    struct User {
        quint32 option = 0;   // export option id
        QString extension;    // file extension without the dot
    };

    ProtoItem(AnalyzerManager* manager, int index, QWidget* parent = nullptr);

    int index() const { return mIndex; }
    bool isRetired() const { return mRetired; }
    // The analyzers this row was built for are gone: close what the row has
    // open without writing, and go once no slot of the row runs.
    void retire();

    // Shows or hides "Not decoded" as the host says (analyzerDecodedChanged).
    void updateDecoded();

    // The save dialog for an extension: 2 "txt", 3 "csv", 5 any other (a
    // filter made from the extension itself).
    static int fileTypeFor(const QString& extension);

    MyLineEdit* nameField() const { return mName; }
    QLabel* notDecodedLabel() const { return mNotDecoded; }
    QPushButton* settingsButton() const { return mBtnSet; }
    QPushButton* removeButton() const { return mBtnRemove; }
    QMenu* rowMenu() const { return mMenu; }
    QDialog* exportDialog() const { return mExportDialog; }
    const QVector<QRadioButton*>& exportRadios() const { return mRadios; }
    MyProgressDlg* progressDialog() const { return mProgress; }
    bool aliasEditing() const { return mAliasEditing; }

public slots:
    void slotBtnSetClicked();
    void slotBtnRemoveClicked();
    void slotMenuEditClicked();
    void slotMenuDisplyClicked(QAction* action);
    void slotMouseEnter();
    void slotTextChanged();
    void slotNameChanged();
    void slotMenuExport1Clicked(QAction* action);
    void slotMenuExport2Clicked();
    void slotExportSavedClicked();
    void slotTimerOut();
    void slotExportStop();

public:
    void createMenuSet();
    void creatExportDialog();
    void createExportProgress();
    void exportToFile(int option, const QString& extension);

private:
    // Keeps the row while one of its slots runs: a retired row is deleted
    // only when the outermost of them has returned.
    class Busy
    {
    public:
        explicit Busy(ProtoItem* r);
        ~Busy();

    private:
        ProtoItem* row;
    };

    enum ExportState { ExportIdle, ExportWaiting, ExportRunning };
    enum ExportEnd { EndNone, EndWritten, EndStopped, EndFailed, EndNoData };

    QString anlyName() const;
    AnalyzerSettings* settings() const;
    bool hasFrames() const;
    void noDataBox();
    // Starts the export once the analyzer's decode and any earlier export
    // have ended.
    void startWhenReady();
    void endExport(ExportEnd end);
    void slotExportFinished(int outcome);

    MyLineEdit* mName = nullptr;
    QLabel* mNotDecoded = nullptr;
    QPushButton* mBtnSet = nullptr;
    QPushButton* mBtnRemove = nullptr;
    QMenu* mMenu = nullptr;
    QActionGroup* mFormats = nullptr;
    QDialog* mExportDialog = nullptr;
    QVector<QRadioButton*> mRadios;
    MyProgressDlg* mProgress = nullptr;
    QTimer* mTimer = nullptr;
    int mIndex;
    bool mAliasEditing = false;
    AnalyzerManager* mManager;

    int mBusy = 0;
    bool mRetired = false;
    ExportState mExportState = ExportIdle;
    ExportEnd mExportEnd = EndNone;
    QString mExportPath;
    quint32 mExportOption = 0;
    QPointer<ProtoExport> mJob;
};

Q_DECLARE_METATYPE(ProtoItem::User)

#endif
