#ifndef MAINMENU_H
#define MAINMENU_H
// The main menu button and the file commands behind it: open a capture or
// settings file, save the settings, save the shown capture, export it as
// text, CSV or binary; the language choice, Options and About.

#include <QList>
#include <QStringList>
#include <QVector>
#include <QWidget>

#include <functional>

#include "config/Config.h"
#include "config/Lang.h"

class DataFile;
class QAction;
class QActionGroup;
class QDialog;
class QMenu;
class QPushButton;
class QUrl;

class MainMenu : public QWidget
{
    Q_OBJECT
public:
    explicit MainMenu(QWidget* parent = nullptr);

    // The load sequence of a capture or settings file (menu, shortcut, drop).
    void loadFile(QString path);
    // Loads the data part of a capture file whose header (headerLen bytes)
    // is already merged into the device's hidden store, shows it and starts
    // its decoding. False when the data part is refused (nothing shown).
    bool loadCaptureData(const QString& path, int headerLen);
    // The remote-control keys of a settings file: copied at once when they
    // turn nothing on; otherwise only when the user agrees to the question
    // (its default keeps the server as it is). True when they were copied.
    bool settleServerKeys(const Config::ServerKeys& asked);
    void fileOpenFailed(const QString& path);
    void fileSaveFailed(const QString& path);

    // True while a file command or its threaded job runs; captures and
    // further file commands must wait until it ends (GUI thread).
    bool fileJobRunning() const;
    // The menu's enabling, which the shortcuts and drops obey too: open and
    // save settings while not sampling, save and export also need data.
    bool canOpen() const;
    bool canSaveData() const;

    // The progress view of threaded file jobs (DataFile::progressView):
    // a cancellable progress dialog that closes when the job ends.
    static void showJobProgress(DataFile* job);

    // Seams, so that tests never block. Unset, each does the real thing.
    static std::function<int(QDialog*)> execDialog;            // QDialog::exec
    static std::function<void(QMenu*, const QPoint&)> execMenu;  // QMenu::exec at the point
    static std::function<void()> restartProgram;               // close all, start a new process
    static std::function<bool(const QUrl&)> openUrl;           // QDesktopServices::openUrl
    // The timing-marker pairs offered by the export dialog: names and two
    // positions per pair. Unset: no pairs.
    static std::function<void(QStringList*, QVector<long long>*)> timeMarkersList;

    QPushButton* button = nullptr;
    QMenu* menu = nullptr;   // built on the first click
    QAction* actOpen = nullptr;
    QAction* actSaveSettings = nullptr;
    QAction* actSaveData = nullptr;
    QMenu* menuExport = nullptr;
    QMenu* menuLang = nullptr;
    QActionGroup* langGroup = nullptr;
    QAction* actOptions = nullptr;
    QAction* actAbout = nullptr;
    QAction* actCheckUpdate = nullptr;
    QAction* actUpdateLogs = nullptr;
    QList<LangFileHead> langList;

signals:
    // A file's settings header has been merged (or put back).
    void sigOpenSettingFile();
    void sigSmpProgPositionChanged();

public slots:
    void slotBtnMainClicked();
    void slotActOpenFileClicked();
    void slotActSaveSettingsClicked();
    void slotActSaveDataClicked();
    void slotMenuExportClicked(QAction* action);
    void slotMenuLangClicked(QAction* action);
    void slotActOptionsClicked();
    void slotActAboutZelClicked();
    void slotActUserGuideClicked();
    // Bound to no entry: the manual update check and the update-log page.
    void slotActCheckUpdateClicked();
    void slotActUpdateLogsClicked();

private:
    friend struct FileCommand;
    void createMainMenu();
    void updateEnabling();
    static int runModal(QDialog* d);
    // The export dialog for the shown capture; false when not accepted.
    bool chooseRange(const QString& title, QVector<bool>* digital, long long* start, long long* end);
    bool saveCapture(const QString& path, const QVector<bool>& digital, long long start, long long end);
    bool exportData(int type, const QString& path, const QVector<bool>& digital, long long start, long long end);

    int commands = 0;   // file commands in progress
};

#endif
