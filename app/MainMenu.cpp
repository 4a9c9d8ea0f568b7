#include "app/MainMenu.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDomDocument>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QUrl>

#include "app/AboutZEL.h"
#include "app/CheckUpdate.h"
#include "app/Options.h"
#include "app/mainwindow.h"
#include "config/Config.h"
#include "config/PartFile.h"
#include "data/DataFile.h"
#include "data/ExportDataSet.h"
#include "data/SmpData.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "widgets/MyProgressDlg.h"

std::function<int(QDialog*)> MainMenu::execDialog;
std::function<void(QMenu*, const QPoint&)> MainMenu::execMenu;
std::function<void()> MainMenu::restartProgram;
std::function<bool(const QUrl&)> MainMenu::openUrl;
std::function<void(QStringList*, QVector<long long>*)> MainMenu::timeMarkersList;

// Marks a file command in progress for as long as it lives.
struct FileCommand {
    explicit FileCommand(MainMenu* m) : menu(m) { ++menu->commands; }
    ~FileCommand() { --menu->commands; }
    MainMenu* menu;
};

MainMenu::MainMenu(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_StyledBackground);
    setFixedSize(Config::pixel(36) - Config::pixel(6), Config::pixel(36) - 2 * Config::pixel(6));
    button = new QPushButton(this);
    button->setObjectName("btnMain");
    const int side = height() - 2 * Config::pixel(1);
    button->setGeometry(Config::pixel(1), Config::pixel(1), side, side);
    connect(button, &QPushButton::clicked, this, &MainMenu::slotBtnMainClicked);
}

int MainMenu::runModal(QDialog* d)
{
    return execDialog ? execDialog(d) : d->exec();
}

bool MainMenu::fileJobRunning() const
{
    return commands > 0 || DataFile::jobRunning();
}

bool MainMenu::canOpen() const
{
    return !(devUsing && devUsing->smpRunning) && !fileJobRunning();
}

bool MainMenu::canSaveData() const
{
    return canOpen() && devUsing && devUsing->hasValidData();
}

void MainMenu::fileOpenFailed(const QString& path)
{
    MainWindow::critical(this, Lang::tr("An error occurred"), Lang::tr("File open failed.") + "\r\n" + path);
}

void MainMenu::fileSaveFailed(const QString& path)
{
    MainWindow::critical(this, Lang::tr("An error occurred"), Lang::tr("File save failed.") + "\r\n" + path);
}

// ---------------------------------------------------------------------------
// The menu

void MainMenu::createMainMenu()
{
    menu = new QMenu(this);
    auto entry = [this](const char* text, const char* suffix, void (MainMenu::*slot)()) {
        QAction* a = menu->addAction(Lang::tr(text) + suffix);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    actOpen = entry("Open", "...", &MainMenu::slotActOpenFileClicked);
    actSaveSettings = entry("Save Settings", "...", &MainMenu::slotActSaveSettingsClicked);
    actSaveData = entry("Save Data", "...", &MainMenu::slotActSaveDataClicked);
    // Shown only: the window's own shortcuts run these commands.
    for (auto [a, keys] : {std::make_pair(actOpen, "Ctrl+O"), std::make_pair(actSaveData, "Ctrl+S")}) {
        a->setShortcut(QKeySequence(QString::fromLatin1(keys)));
        a->setShortcutContext(Qt::WidgetShortcut);
    }
    menu->addSeparator();

    menuExport = menu->addMenu(Lang::tr("Export Data"));
    const std::pair<const char*, int> exports[] = {{"Text file", FileTypeText}, {"CSV file", FileTypeCsv},
                                                   {"Binary file", FileTypeBinary}};
    const char* suffixes[] = {" (*.txt)", " (*.csv)", " (*.bin)"};
    for (int i = 0; i < 3; ++i)
        menuExport->addAction(Lang::tr(exports[i].first) + suffixes[i])->setData(exports[i].second);
    connect(menuExport, &QMenu::triggered, this, &MainMenu::slotMenuExportClicked);
    menu->addSeparator();

    menuLang = menu->addMenu(Lang::tr("Language"));
    langGroup = new QActionGroup(menuLang);
    langGroup->setExclusive(true);
    langList = Lang::getLangFileList();
    const QString userLang = Config::readGlobalParam("userLang");
    for (int i = 0; i < langList.size(); ++i) {
        QAction* a = menuLang->addAction(langList[i].name);
        a->setCheckable(true);
        a->setChecked(langList[i].code == userLang);
        a->setData(i);
        langGroup->addAction(a);
    }
    connect(menuLang, &QMenu::triggered, this, &MainMenu::slotMenuLangClicked);
    menu->addSeparator();

    actOptions = entry("Options", "...", &MainMenu::slotActOptionsClicked);
    menu->addSeparator();
    // Only where an update service is configured: without one there is
    // nothing to ask and no log page to show.
    actCheckUpdate = entry("Check for updates", "...", &MainMenu::slotActCheckUpdateClicked);
    actUpdateLogs = entry("Update Logs", "...", &MainMenu::slotActUpdateLogsClicked);
    actAbout = entry("About", " Corvena...", &MainMenu::slotActAboutZelClicked);
}

void MainMenu::updateEnabling()
{
    const bool open = canOpen();
    actOpen->setEnabled(open);
    actSaveSettings->setEnabled(open);
    // While sampling the data are not asked for.
    const bool data = canSaveData();
    actSaveData->setEnabled(data);
    menuExport->menuAction()->setEnabled(data);
    const bool service = !CheckUpdate::serviceUrl(QString()).isEmpty();
    actCheckUpdate->setVisible(service);
    actUpdateLogs->setVisible(service);
}

void MainMenu::slotBtnMainClicked()
{
    if (!menu)
        createMainMenu();
    updateEnabling();
    const QPoint at = QCursor::pos();
    if (execMenu)
        execMenu(menu, at);
    else
        menu->exec(at);
}

// ---------------------------------------------------------------------------
// Open

void MainMenu::slotActOpenFileClicked()
{
    if (!canOpen())
        return;
    const QString path = Config::getOpenFileName();
    if (!path.isEmpty())
        loadFile(path);
}

void MainMenu::loadFile(QString path)
{
    if (!canOpen())
        return;
    FileCommand running(this);
    // Classifying a capture names it as the shown file; a failed open puts
    // back the one shown before.
    const QString shownFile = Config::dataFile;
    const int kind = Config::parseLoadFile(path);
    QByteArray header;
    if ((kind != 0 && kind != 1) || !Config::extractConfig(path, header)) {
        Config::dataFile = shownFile;
        fileOpenFailed(path);
        return;
    }
    // What a capture that cannot be shown puts back.
    const QDomDocument before = kind == 0 ? Config::cfgDoc.cloneNode(true).toDocument() : QDomDocument();
    // Only a settings file may touch the remote-control server, and only
    // with consent; a capture's header never does.
    Config::ServerKeys asked;
    if (!Config::replaceConfig(header, kind == 1 ? &asked : nullptr)) {
        Config::dataFile = shownFile;
        fileOpenFailed(path);
        return;
    }
    if (kind == 1)
        settleServerKeys(asked);
    // The window may replace the device here: it is looked up again below.
    emit sigOpenSettingFile();
    const QPointer<DevBase> opened = devUsing;
    if (kind == 1 || loadCaptureData(path, header.size()))
        return;
    // A capture that cannot be shown leaves the user's settings as they were,
    // except for an analyzer plugged in meanwhile: it stays the device.
    Config::cfgDoc = before;
    Config::initShadowConfig();
    if (devUsing && devUsing != opened)
        Config::saveGlobalParam("devModel", QString::number(devUsing->devModel));
    Config::dataFile = shownFile;
    emit sigOpenSettingFile();
    fileOpenFailed(path);
}

bool MainMenu::settleServerKeys(const Config::ServerKeys& asked)
{
    if (asked.isEmpty())
        return false;
    if (Config::serverChangeAsked(asked)) {
        const bool moving = Config::serverEnabled();
        const QString port = QString::number(Config::serverPortAsked(asked));
        QString text = (moving ? Lang::tr("This settings file moves the remote-control server to port %1.")
                               : Lang::tr("This settings file turns on the remote-control server on port %1."))
                           .arg(port);
        text += "\r\n" + Lang::tr("It accepts commands from the network: anyone who reaches the port can start captures and write files.");
        QMessageBox box(QMessageBox::Question, Lang::tr("Remote control"), text, QMessageBox::Yes | QMessageBox::No,
                        this, Qt::WindowCloseButtonHint);
        box.button(QMessageBox::Yes)->setText(moving ? Lang::tr("Move the server") : Lang::tr("Turn the server on"));
        box.button(QMessageBox::No)->setText(Lang::tr("Keep the server as it is"));
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        if (runModal(&box) != QMessageBox::Yes)
            return false;
    }
    Config::applyServerKeys(asked);
    return true;
}

bool MainMenu::loadCaptureData(const QString& path, int headerLen)
{
    DevBase* dev = devUsing;
    if (!dev)
        return false;
    DataFile job(dev->fillData());
    if (dev->workMode != WorkModeLA)
        job.smpDataOsc = dev->fillDataOsc();
    // A device replaced while the job ran has cancelled it first.
    if (!job.loadData(path, headerLen))
        return false;
    dev->toggleSmpData();
    emit dev->sigSmpDataReady(0);
    emit dev->sigSmpDataReady(1);
    return true;
}

// ---------------------------------------------------------------------------
// Save and export

void MainMenu::slotActSaveSettingsClicked()
{
    if (!canOpen())
        return;
    FileCommand running(this);
    const QString path = Config::getSaveFileName(FileTypeSettings);
    if (!path.isEmpty() && !Config::saveConfig(path))
        fileSaveFailed(path);
}

bool MainMenu::chooseRange(const QString& title, QVector<bool>* digital, long long* start, long long* end)
{
    DevBase* dev = devUsing;
    QStringList pairNames;
    QVector<long long> pairPositions;
    if (timeMarkersList)
        timeMarkersList(&pairNames, &pairPositions);
    const int nDigital = dev->chnEna.size();
    const int nAnalog = dev->aChnEna.size();
    ExportDataSet dlg(this, *dev->shownData(), dev->chnEna, dev->aChnEna, pairNames, pairPositions);
    dlg.setWindowTitle(title);
    if (runModal(&dlg) != QDialog::Accepted)
        return false;
    QVector<bool> analog(nAnalog, true);
    digital->fill(true, nDigital);
    *start = 0;
    *end = 0;
    dlg.getSetParameters(analog, *digital, start, end);
    return true;
}

void MainMenu::slotActSaveDataClicked()
{
    if (!canSaveData())
        return;
    FileCommand running(this);
    if (devUsing->workMode != WorkModeLA) {
        // An analog capture is saved whole: there is no range to choose.
        const QString path = Config::getSaveFileName(FileTypeData);
        if (!path.isEmpty() && !saveCapture(path, {}, 0, 0))
            fileSaveFailed(path);
        return;
    }
    QVector<bool> digital;
    long long start = 0, end = 0;
    if (!chooseRange(Lang::tr("Save Data Settings"), &digital, &start, &end))
        return;
    const QString path = Config::getSaveFileName(FileTypeData);
    if (path.isEmpty())
        return;
    if (!saveCapture(path, digital, start, end))
        fileSaveFailed(path);
}

bool MainMenu::saveCapture(const QString& path, const QVector<bool>& digital, long long start, long long end)
{
    // The dialogs ran modally: look the capture up again.
    DevBase* dev = devUsing;
    if (!dev || !dev->hasValidData())
        return false;
    // Header and data go beside the target and replace it only when whole.
    PartFile part(path);
    DataFile job(dev->shownData());
    if (dev->workMode != WorkModeLA)
        job.smpDataOsc = dev->shownDataOsc();
    return part.isValid() && Config::saveMinConfig(part.path(), dev->devName)
           && job.saveData(part.path(), digital, start, end, false) && part.commit();
}

void MainMenu::slotMenuExportClicked(QAction* action)
{
    if (!canSaveData() || !action)
        return;
    FileCommand running(this);
    if (devUsing->workMode != WorkModeLA) {
        QMessageBox box(QMessageBox::Warning, Lang::tr("Export Data"),
                        Lang::tr("Oscilloscope mode does not support data export yet."), QMessageBox::Close, this,
                        Qt::WindowCloseButtonHint);
        box.button(QMessageBox::Close)->setText(Lang::tr("Close"));
        runModal(&box);
        return;
    }
    QVector<bool> digital;
    long long start = 0, end = 0;
    if (!chooseRange(Lang::tr("Export Data Settings"), &digital, &start, &end))
        return;
    const int type = action->data().toInt();
    const QString path = Config::getSaveFileName(type);
    if (path.isEmpty())
        return;
    if (!exportData(type, path, digital, start, end))
        fileSaveFailed(path);
}

bool MainMenu::exportData(int type, const QString& path, const QVector<bool>& digital, long long start,
                          long long end)
{
    DevBase* dev = devUsing;
    if (!dev || !dev->hasValidData())
        return false;
    DataFile job(dev->shownData());
    if (type == FileTypeText || type == FileTypeCsv) {
        // The names are read here, on the GUI thread, not by the job.
        QStringList names;
        for (int c = 0; c < dev->shownData()->chnNum; ++c)
            names << Config::getChnName(c);
        return job.exportCSV(path, digital, names, start, end, false);
    }
    if (type == FileTypeBinary)
        return job.exportBin(path, digital, start, end, false);
    return false;
}

void MainMenu::showJobProgress(DataFile* job)
{
    const bool open = job->jobType() == DataFile::OpRead;
    MyProgressDlg dlg(open ? Lang::tr("Open File") : Lang::tr("Save File"), Lang::tr("Cancel"),
                      QApplication::activeWindow());
    dlg.label->setText((open ? Lang::tr("Loading file, please wait") : Lang::tr("Saving file, please wait")) + "...");
    dlg.acceptAtFull = true;
    connect(job, &DataFile::sigReportProgress, &dlg, &MyProgressDlg::setValue);
    // Closes with the thread on every path, the job's failures included.
    connect(job, &DataFile::sigJobDone, &dlg, &QDialog::accept);
    if (job->isJobDone())
        return;
    runModal(&dlg);
}

// ---------------------------------------------------------------------------
// Language, Options, About, user guide

void MainMenu::slotMenuLangClicked(QAction* action)
{
    if (!action)
        return;
    const int i = action->data().toInt();
    if (i < 0 || i >= langList.size())
        return;
    const LangFileHead head = langList[i];
    if (head.code == Config::readGlobalParam("userLang"))
        return;
    Config::saveGlobalParam("userLang", head.code);
    QMessageBox box(QMessageBox::Information, Lang::tr("Language Settings"), head.info,
                    QMessageBox::Ok | QMessageBox::Cancel, this, Qt::WindowCloseButtonHint);
    box.button(QMessageBox::Ok)->setText(Lang::tr("OK"));
    box.button(QMessageBox::Cancel)->setText(Lang::tr("Cancel"));
    if (runModal(&box) != QMessageBox::Ok)
        return;   // the new language takes effect at the next start
    if (restartProgram) {
        restartProgram();
        return;
    }
    QApplication::closeAllWindows();
    QProcess::startDetached(QCoreApplication::applicationFilePath(), QStringList());
}

void MainMenu::slotActOptionsClicked()
{
    const bool before = Config::smpProgPosition;
    Options dlg(this);
    runModal(&dlg);
    if (Config::smpProgPosition != before)
        emit sigSmpProgPositionChanged();
}

void MainMenu::slotActAboutZelClicked()
{
    AboutZEL dlg(this);
    dlg.setObjectName("AboutZEL");
    runModal(&dlg);
}

void MainMenu::slotActUserGuideClicked()
{
    const QString file = QCoreApplication::applicationDirPath() + "/Resource/"
                         + (Lang::code.startsWith("zh") ? "ug-cn.pdf" : "ug-en.pdf");
    const QUrl url = QUrl::fromLocalFile(file);
    if (openUrl ? openUrl(url) : QDesktopServices::openUrl(url))
        return;
    MainWindow::critical(this, Lang::tr("An error occurred"),
                         Lang::tr("File open failed.") + "\r\n"
                             + Lang::tr("You may need to install a PDF reader to open the user guide."));
}

// ---------------------------------------------------------------------------
// Updates

void MainMenu::slotActCheckUpdateClicked()
{
    auto* w = qobject_cast<MainWindow*>(window());
    if (w && w->checkUpdate)
        w->checkUpdate->manualCheck();
}

void MainMenu::slotActUpdateLogsClicked()
{
    // No page without an update service.
    const QUrl url = CheckUpdate::serviceUrl("/zel/ulog/" + Lang::code);
    if (!url.isEmpty())
        openUrl ? openUrl(url) : QDesktopServices::openUrl(url);
}
