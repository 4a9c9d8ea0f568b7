#include "decode/ProtoItem.h"

#include <QAction>
#include <QActionGroup>
#include <QButtonGroup>
#include <QCursor>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include "Analyzer.h"
#include "AnalyzerResults.h"
#include "AnalyzerSettings.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "config/Types.h"
#include "decode/AnalyzerManager.h"
#include "decode/ProtoEdit.h"
#include "decode/ProtoExport.h"
#include "decode/ProtoModal.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "widgets/MyLineEdit.h"
#include "widgets/MyProgressDlg.h"

namespace {

const char* const UserProperty = "exportUser";

QPushButton* squareButton(const QString& icon, QWidget* parent)
{
    auto* b = new QPushButton(parent);
    const int s = Config::pixel(16);
    b->setFixedSize(s, s);
    b->setIcon(QIcon(icon));
    b->setIconSize(QSize(s, s));
    return b;
}

AnalyzerResults* resultsOf(Analyzer* a)
{
    AnalyzerResults* r = nullptr;
    return a && a->GetAnalyzerResults(&r) ? r : nullptr;
}

// The file types of one export option as the user picks them: "label
// (*.extension)", translated in the analyzer's context, and what each
// stands for.
QVector<QPair<QString, ProtoItem::User>> fileTypes(AnalyzerSettings* s, U32 option, const QString& anlyName)
{
    QVector<QPair<QString, ProtoItem::User>> types;
    const U32 n = s->GetFileExtensionCount(option);
    for (U32 j = 0; j < n; ++j) {
        const char* label = nullptr;
        const char* ext = nullptr;
        if (!s->GetFileExtension(option, j, &label, &ext))
            continue;
        const QString extension = QString::fromUtf8(ext);
        types.append({Lang::tr(QString::fromUtf8(label), anlyName) + " (*." + extension + ")",
                      ProtoItem::User{option, extension}});
    }
    return types;
}

} // namespace

ProtoItem::Busy::Busy(ProtoItem* r) : row(r)
{
    ++row->mBusy;
}

ProtoItem::Busy::~Busy()
{
    if (--row->mBusy == 0 && row->mRetired)
        row->deleteLater();
}

ProtoItem::ProtoItem(AnalyzerManager* manager, int index, QWidget* parent)
    : QWidget(parent), mIndex(index), mManager(manager)
{
    setAttribute(Qt::WA_StyledBackground);
    // The protocol menu reads the plug-in file names back from the rows.
    setObjectName(mManager ? mManager->getUsingSpecFileName(index) : QString());

    mName = new MyLineEdit(this);
    mName->setText(mManager ? mManager->getUsingAnalyzerName(index) : QString());
    mName->setFixedHeight(Config::pixel(16) + 2 * Config::pixel(1));
    mName->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    mName->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    mNotDecoded = new QLabel(Lang::tr("Not decoded"), this);
    mNotDecoded->setObjectName(QStringLiteral("notDecoded"));
    mNotDecoded->setToolTip(
        Lang::tr("The system could not start a thread for this analyzer. It decodes again at the next capture."));
    updateDecoded();

    mBtnSet = squareButton(QStringLiteral(":/res/btnSetting"), this);
    mBtnSet->setObjectName(QStringLiteral("btnSetting"));
    mBtnRemove = squareButton(QStringLiteral(":/res/btnRemove"), this);
    mBtnRemove->setObjectName(QStringLiteral("btnRemove"));

    auto* lay = new QHBoxLayout(this);
    lay->setContentsMargins(Config::pixel(16), 0, Config::pixel(4), 0);
    lay->setSpacing(Config::pixel(1));
    lay->addWidget(mName);
    lay->addWidget(mNotDecoded);
    lay->addWidget(mBtnSet);
    lay->addWidget(mBtnRemove);

    connect(mName, &MyLineEdit::mouseEnter, this, &ProtoItem::slotMouseEnter);
    connect(mName, &QLineEdit::textChanged, this, &ProtoItem::slotTextChanged);
    connect(mName, &QLineEdit::editingFinished, this, &ProtoItem::slotNameChanged);
    connect(mBtnSet, &QPushButton::clicked, this, &ProtoItem::slotBtnSetClicked);
    connect(mBtnRemove, &QPushButton::clicked, this, &ProtoItem::slotBtnRemoveClicked);
}

void ProtoItem::retire()
{
    if (mRetired)
        return;
    mRetired = true;
    hide();
    if (mMenu)
        mMenu->hide();
    if (mExportDialog && mExportDialog->isVisible())
        mExportDialog->reject();
    // An export still waiting for the decode can no longer reach its
    // analyzer: the program cut it short.
    if (mExportState == ExportWaiting)
        endExport(EndFailed);
    if (mBusy == 0)
        deleteLater();
}

void ProtoItem::updateDecoded()
{
    mNotDecoded->setVisible(mManager && mManager->decodeRefused(mIndex));
}

int ProtoItem::fileTypeFor(const QString& extension)
{
    if (extension == QLatin1String("txt"))
        return FileTypeText;
    if (extension == QLatin1String("csv"))
        return FileTypeCsv;
    return FileTypeCustom;
}

QString ProtoItem::anlyName() const
{
    Analyzer* a = mManager ? mManager->getUsingAnalyzer(mIndex) : nullptr;
    return a ? QString::fromUtf8(a->GetAnalyzerName()) : QString();
}

AnalyzerSettings* ProtoItem::settings() const
{
    Analyzer* a = mManager ? mManager->getUsingAnalyzer(mIndex) : nullptr;
    return a ? a->GetAnalyzerSettings() : nullptr;
}

// ---------------------------------------------------------------------------
// Name field: the alias

void ProtoItem::slotMouseEnter()
{
    if (mAliasEditing || mRetired)
        return;
    mAliasEditing = true;
    mName->setText(mManager->getUsingAlias(mIndex));
}

void ProtoItem::slotTextChanged()
{
    // ";" separates the stored aliases.
    const QString text = mName->text();
    if (!text.contains(QLatin1Char(';')))
        return;
    const int cursor = mName->cursorPosition();
    const int before = text.left(cursor).count(QLatin1Char(';'));
    QString clean = text;
    clean.remove(QLatin1Char(';'));
    mName->setText(clean);
    mName->setCursorPosition(cursor - before);
}

void ProtoItem::slotNameChanged()
{
    if (mName->hasFocus()) {
        // Return: the loss of focus finishes the editing once more, and commits.
        mName->clearFocus();
        return;
    }
    // Only an edit the user started by pressing the field stores an alias;
    // passing through with Tab leaves the shown name alone.
    if (!mAliasEditing || mRetired)
        return;
    mAliasEditing = false;
    mManager->setUsingAlias(mIndex, mName->text());
}

// ---------------------------------------------------------------------------
// Row menu

void ProtoItem::createMenuSet()
{
    mMenu = new QMenu(this);
    mMenu->addAction(Lang::tr("Edit"), this, &ProtoItem::slotMenuEditClicked);

    QMenu* formats = mMenu->addMenu(Lang::tr("Display Format"));
    mFormats = new QActionGroup(this);
    mFormats->setExclusive(true);
    const QStringList texts{Lang::tr("Bin"), Lang::tr("Dec"), Lang::tr("Hex"), QStringLiteral("ASCII"),
                            "ASCII && " + Lang::tr("Hex")};
    for (int f = 0; f < texts.size(); ++f) {
        QAction* a = formats->addAction(texts[f]);
        a->setCheckable(true);
        a->setData(f);
        mFormats->addAction(a);
    }
    connect(formats, &QMenu::triggered, this, &ProtoItem::slotMenuDisplyClicked);

    AnalyzerSettings* s = settings();
    const U32 options = s ? s->GetExportOptionsCount() : 0;
    U32 id = 0;
    const char* text = nullptr;
    if (options == 1 && s->GetExportOption(0, &id, &text)) {
        QMenu* sub = mMenu->addMenu(Lang::tr("Export Data"));
        for (const auto& type : fileTypes(s, id, anlyName()))
            sub->addAction(type.first)->setData(QVariant::fromValue(type.second));
        connect(sub, &QMenu::triggered, this, &ProtoItem::slotMenuExport1Clicked);
    } else if (options >= 2) {
        mMenu->addAction(Lang::tr("Export Data") + "...", this, &ProtoItem::slotMenuExport2Clicked);
    } else {
        mMenu->addAction(Lang::tr("Export Data"))->setEnabled(false);
    }
}

void ProtoItem::slotBtnSetClicked()
{
    if (mRetired)
        return;
    if (!mMenu)
        createMenuSet();
    const QList<QAction*> formats = mFormats->actions();
    const int f = mManager->getUsingDisplayFormat(mIndex);
    formats.value(f >= 0 && f < formats.size() ? f : int(Hexadecimal))->setChecked(true);
    mMenu->popup(QCursor::pos());
}

void ProtoItem::slotMenuDisplyClicked(QAction* action)
{
    if (mRetired || !action)
        return;
    Busy busy(this);
    mManager->setUsingDisplayFormat(mIndex, action->data().toInt());
}

void ProtoItem::slotMenuEditClicked()
{
    if (mRetired)
        return;
    Busy busy(this);
    ProtoEdit edit(true, mManager, mIndex, this);
    ProtoModal::exec(&edit);
}

void ProtoItem::slotBtnRemoveClicked()
{
    if (mRetired)
        return;
    Busy busy(this);
    DevBase* dev = devUsing;
    if (!dev || dev->connected) {
        mManager->removeUsing(mIndex);
        return;
    }
    // Without a device the capture is simulated from the analyzers in use:
    // it pauses while one goes.
    dev->smpStopForRestart();
    mManager->removeUsing(mIndex);
    dev->smpRestartIfNeed();
}

// ---------------------------------------------------------------------------
// Export

void ProtoItem::creatExportDialog()
{
    mExportDialog = new QDialog(this);
    auto* lay = new QVBoxLayout(mExportDialog);
    lay->setContentsMargins(Config::pixel(10), Config::pixel(12), Config::pixel(10), Config::pixel(8));
    auto* group = new QButtonGroup(mExportDialog);
    group->setExclusive(true);
    mRadios.clear();

    AnalyzerSettings* s = settings();
    const QString name = anlyName();
    const U32 options = s ? s->GetExportOptionsCount() : 0;
    for (U32 i = 0; i < options; ++i) {
        U32 id = 0;
        const char* text = nullptr;
        if (!s->GetExportOption(i, &id, &text))
            continue;
        auto* box = new QGroupBox("  " + Lang::tr(QString::fromUtf8(text), name) + "  ", mExportDialog);
        lay->addWidget(box);
        auto* boxLay = new QVBoxLayout(box);
        boxLay->setContentsMargins(Config::pixel(6), Config::pixel(18), Config::pixel(6), Config::pixel(10));
        for (const auto& type : fileTypes(s, id, name)) {
            auto* radio = new QRadioButton(type.first, box);
            radio->setCheckable(true);
            radio->setProperty(UserProperty, QVariant::fromValue(type.second));
            boxLay->addWidget(radio);
            group->addButton(radio);
            mRadios.append(radio);
        }
    }

    auto* buttons = new QDialogButtonBox(mExportDialog);
    buttons->addButton(Lang::tr("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(Lang::tr("Cancel"), QDialogButtonBox::RejectRole);
    lay->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &ProtoItem::slotExportSavedClicked);
    connect(buttons, &QDialogButtonBox::rejected, mExportDialog, &QDialog::reject);

    mExportDialog->setWindowTitle(Lang::tr("Export File Select"));
    mExportDialog->setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
    mExportDialog->setMinimumWidth(Config::pixel(405));
}

void ProtoItem::slotMenuExport1Clicked(QAction* action)
{
    if (!action)
        return;
    const User u = action->data().value<User>();
    exportToFile(int(u.option), u.extension);
}

void ProtoItem::slotMenuExport2Clicked()
{
    if (mRetired)
        return;
    Busy busy(this);
    if (!mExportDialog)
        creatExportDialog();
    // Every opening starts with the first file type of the first option.
    if (!mRadios.isEmpty())
        mRadios.first()->setChecked(true);
    if (ProtoModal::exec(mExportDialog) != QDialog::Accepted || mRetired)
        return;
    for (QRadioButton* r : qAsConst(mRadios)) {
        if (r->isChecked()) {
            const User u = r->property(UserProperty).value<User>();
            exportToFile(int(u.option), u.extension);
            return;
        }
    }
}

void ProtoItem::slotExportSavedClicked()
{
    // The export starts once the dialog's run has returned.
    mExportDialog->accept();
}

void ProtoItem::createExportProgress()
{
    mTimer = new QTimer(this);
    connect(mTimer, &QTimer::timeout, this, &ProtoItem::slotTimerOut);
    mProgress = new MyProgressDlg(Lang::tr("Save file"), Lang::tr("Stop"), this);
    mProgress->label->setText(Lang::tr("Saving file, please wait") + "...");
    mProgress->acceptAtFull = true;
    connect(mProgress, &QDialog::rejected, this, &ProtoItem::slotExportStop);
    connect(mProgress, &QDialog::accepted, mTimer, &QTimer::stop);
}

bool ProtoItem::hasFrames() const
{
    AnalyzerResults* r = resultsOf(mManager->getUsingAnalyzer(mIndex));
    return r && r->GetNumFrames() > 0;
}

void ProtoItem::noDataBox()
{
    ProtoModal::box(this, QMessageBox::Warning, Lang::tr("Warning"),
                    Lang::tr("Sorry, there is no data that can be exported."));
}

void ProtoItem::exportToFile(int option, const QString& extension)
{
    if (mRetired || mExportState != ExportIdle)
        return;
    Busy busy(this);
    if (!hasFrames()) {
        noDataBox();
        return;
    }
    const QString path = Config::getSaveFileName(fileTypeFor(extension), extension);
    // The save dialog ran an event loop: the analyzers may have changed.
    if (path.isEmpty() || mRetired)
        return;
    if (!mProgress)
        createExportProgress();
    mExportPath = path;
    mExportOption = quint32(option);
    mExportEnd = EndNone;
    mExportState = ExportWaiting;
    mProgress->setValue(0);
    startWhenReady();
    if (mExportState != ExportIdle) {
        mTimer->start(200);
        ProtoModal::exec(mProgress);
        mTimer->stop();
    }
    const ExportEnd end = mExportEnd;
    mExportEnd = EndNone;
    if (end == EndFailed)
        ProtoModal::saveFailed(this, path);
    else if (end == EndNoData)
        noDataBox();
}

void ProtoItem::startWhenReady()
{
    if (mExportState != ExportWaiting)
        return;
    if (mRetired) {
        endExport(EndFailed);
        return;
    }
    // A run still decoding would leave the file short of frames; an earlier
    // export still winding up holds the one export slot.
    if (mManager->anlyThreadIsRuning(mIndex) || AnalyzerManager::getExportFileProgress() != 100)
        return;
    AnalyzerResults* r = resultsOf(mManager->getUsingAnalyzer(mIndex));
    if (!r || r->GetNumFrames() == 0) {
        endExport(EndNoData);
        return;
    }
    ProtoExport* job = ProtoExport::start(mManager, r, mExportPath, DisplayBase(mManager->getUsingDisplayFormat(mIndex)),
                                          mExportOption);
    if (!job) {
        endExport(EndFailed);
        return;
    }
    mJob = job;
    mExportState = ExportRunning;
    connect(job, &ProtoExport::finished, this, &ProtoItem::slotExportFinished);
}

void ProtoItem::endExport(ExportEnd end)
{
    mExportEnd = end;
    mExportState = ExportIdle;
    mJob = nullptr;
    if (mTimer)
        mTimer->stop();
    if (mProgress)
        mProgress->done(QDialog::Accepted);
}

void ProtoItem::slotExportFinished(int outcome)
{
    if (mExportState != ExportRunning)
        return;
    endExport(outcome == ProtoExport::Written ? EndWritten : outcome == ProtoExport::Stopped ? EndStopped : EndFailed);
}

void ProtoItem::slotTimerOut()
{
    if (mExportState == ExportWaiting)
        startWhenReady();
    if (mExportState == ExportRunning)
        mProgress->setValue(AnalyzerManager::getExportFileProgress());
}

void ProtoItem::slotExportStop()
{
    // The user's Stop ends silently, a wait as well as a running export.
    if (mExportState == ExportIdle)
        return;
    if (mJob) {
        disconnect(mJob, nullptr, this, nullptr);
        mJob->stop();
    }
    mJob = nullptr;
    mExportState = ExportIdle;
    mExportEnd = EndStopped;
    if (mTimer)
        mTimer->stop();
}
