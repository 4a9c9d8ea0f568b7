#include "decode/ProtoEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "Analyzer.h"
#include "AnalyzerSettingInterface.h"
#include "AnalyzerSettings.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "decode/AnalyzerManager.h"
#include "decode/ProtoModal.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"

namespace {

constexpr U32 UndefinedIndex = 0xFFFFFFFFu;

} // namespace

ProtoEdit::ProtoEdit(bool editing, AnalyzerManager* manager, int index, QWidget* parent)
    : QDialog(parent), mManager(manager), mIndex(editing ? index : -1)
{
    if (mManager) {
        if (editing) {
            mAnalyzer = mManager->getUsingAnalyzer(index);
        } else {
            mPlugin = index;
            mAnalyzer = mManager->getNewAnalyzer(index);
        }
        mChannelUsers = mManager->getEnableChnInterfaceName(mIndex);
        if (editing)
            connect(mManager, &AnalyzerManager::analyzerItemChanged, this, &ProtoEdit::slotAnalyzersChanged);
    }
    mSettings = mAnalyzer ? mAnalyzer->GetAnalyzerSettings() : nullptr;
    mName = mAnalyzer ? QString::fromUtf8(mAnalyzer->GetAnalyzerName()) : QString();

    setWindowTitle(Lang::tr("Analyzer") + " - " + mName);
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);

    mButtons = new QDialogButtonBox(this);
    mButtons->addButton(Lang::tr("OK"), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = mButtons->addButton(Lang::tr("Cancel"), QDialogButtonBox::RejectRole);
    connect(mButtons, &QDialogButtonBox::accepted, this, &ProtoEdit::saveClicked);
    connect(mButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    mGrid = new QGridLayout(this);
    mGrid->setContentsMargins(Config::pixel(10), Config::pixel(16), Config::pixel(10), Config::pixel(10));
    mGrid->setHorizontalSpacing(Config::pixel(6));
    mGrid->setVerticalSpacing(Config::pixel(6));

    const int n = mSettings ? int(mSettings->GetSettingsInterfacesCount()) : 0;
    // Channel settings take the first rows whatever their place in the
    // list, so every setting keeps a row of its own.
    int c = 0;
    for (int i = 0; i < n; ++i) {
        AnalyzerSettingInterface* itf = mSettings->GetSettingsInterface(U32(i));
        if (itf && itf->GetType() == INTERFACE_CHANNEL)
            ++c;
    }
    auto* gap = new QLabel(this);
    gap->setFixedHeight(Config::pixel(4));
    mGrid->addWidget(gap, c, 0, 1, 2);
    if (c < n) {
        auto* gap2 = new QLabel(this);
        gap2->setFixedHeight(Config::pixel(2));
        mGrid->addWidget(gap2, n + 1, 0, 1, 2);
        mGrid->addWidget(mButtons, n + 2, 1);
    } else {
        mGrid->addWidget(mButtons, n + 1, 1);
    }

    const QVector<bool> ena = AnalyzerManager::deviceChnEnables ? AnalyzerManager::deviceChnEnables() : QVector<bool>();
    for (int k = 0; k < ena.size(); ++k)
        if (ena[k])
            mChannelChoices << QString::number(k) << " - '" + Config::getChnName(k) + "'";

    int channels = 0, others = 0;
    for (int i = 0; i < n; ++i) {
        AnalyzerSettingInterface* itf = mSettings->GetSettingsInterface(U32(i));
        if (!itf)
            continue;
        const QString title = QString::fromUtf8(itf->GetTitle());
        const QString tip = QString::fromUtf8(itf->GetToolTip());
        const AnalyzerInterfaceTypeId type = itf->GetType();
        if (type == INTERFACE_CHANNEL) {
            auto* ci = static_cast<AnalyzerSettingInterfaceChannel*>(itf);
            addChannelNameLabel(channels, title);
            addComponentChannel(channels, channels, int(ci->GetChannel().mChannelIndex), ci->GetSelectionOfNoneIsAllowed(),
                                tip);
            ++channels;
            continue;
        }
        const int row = c + 1 + others++;
        switch (type) {
        case INTERFACE_NUMBER_LIST: {
            auto* li = static_cast<AnalyzerSettingInterfaceNumberList*>(itf);
            QStringList entries, tips;
            int current = 0;
            const U32 count = li->GetListboxNumbersCount();
            for (U32 k = 0; k < count; ++k) {
                entries << QString::fromUtf8(li->GetListboxString(k));
                tips << QString::fromUtf8(li->GetListboxTooltip(k));
                if (li->GetListboxNumber(k) == li->GetNumber())
                    current = int(k);
            }
            addComponentLabel(row, title);
            addComponentNumList(row, entries, tips, current, tip);
            break;
        }
        case INTERFACE_INTEGER: {
            auto* ii = static_cast<AnalyzerSettingInterfaceInteger*>(itf);
            addComponentLabel(row, title);
            addComponentInteger(row, ii->GetInteger(), ii->GetMin(), ii->GetMax(), tip);
            break;
        }
        case INTERFACE_TEXT:
            addComponentLabel(row, title);
            addComponentText(row, QString::fromUtf8(static_cast<AnalyzerSettingInterfaceText*>(itf)->GetText()), tip);
            break;
        case INTERFACE_BOOL: {
            auto* bi = static_cast<AnalyzerSettingInterfaceBool*>(itf);
            addComponentLabel(row, title);
            addComponentBool(row, bi->GetValue(), QString::fromUtf8(bi->GetCheckBoxText()), tip);
            break;
        }
        default:
            break; // a kind this dialog does not know gets no row
        }
    }
    cancel->setFocus();
}

ProtoEdit::~ProtoEdit()
{
    // A new analyzer the host has not taken goes back to its plug-in.
    if (mIndex < 0 && !mAdded && mAnalyzer && mManager)
        mManager->destroyNewAnalyzer(mPlugin, mAnalyzer);
}

QString ProtoEdit::trAnly(const char* text) const
{
    return Lang::tr(QString::fromUtf8(text ? text : ""), mName);
}

void ProtoEdit::addChannelNameLabel(int row, const QString& title)
{
    // Channel titles stand untranslated; an empty title gets no label.
    auto* label = new QLabel(title, this);
    mLabels.append(label);
    if (title.isEmpty())
        label->hide();
    else
        mGrid->addWidget(label, row, 0, Qt::AlignLeft | Qt::AlignVCenter);
}

void ProtoEdit::addComponentLabel(int row, const QString& title)
{
    addChannelNameLabel(row, title.isEmpty() ? QString() : Lang::tr(title, mName));
}

void ProtoEdit::placeEditor(QWidget* editor, int row, const QString& tooltip)
{
    editor->setToolTip(Lang::tr(tooltip, mName));
    editor->setFixedHeight(Config::pixel(22));
    mGrid->addWidget(editor, row, 1, Qt::AlignLeft);
}

void ProtoEdit::addComponentChannel(int count, int row, int channel, bool noneAllowed, const QString& tooltip)
{
    auto* box = new QComboBox(this);
    box->setMaxVisibleItems(20);
    mChannelEditors.append(box);

    QHash<QString, QString> users;
    for (int k = 0; k + 1 < mChannelUsers.size(); k += 2)
        users.insert(mChannelUsers[k], mChannelUsers[k + 1]);
    QVector<int> free;
    for (int p = 0; 2 * p + 1 < mChannelChoices.size(); ++p) {
        const QString label = users.value(mChannelChoices[2 * p]);
        box->addItem(mChannelChoices[2 * p] + mChannelChoices[2 * p + 1] + (label.isEmpty() ? QString() : "    (" + label + ")"));
        if (label.isEmpty())
            free.append(p);
    }
    if (noneAllowed)
        box->addItem(Lang::tr("None"));

    int current = 0;
    if (mIndex < 0) {
        // The j-th channel of a new analyzer starts on the j-th free channel.
        current = count < free.size() ? free[count] : free.size();
    } else if (U32(channel) == UndefinedIndex) {
        current = box->count() - 1;
    } else {
        for (int p = 0; 2 * p < mChannelChoices.size(); ++p)
            if (mChannelChoices[2 * p] == QString::number(U32(channel)))
                current = p;
    }
    box->setCurrentIndex(qBound(0, current, box->count() - 1));
    placeEditor(box, row, tooltip);
}

void ProtoEdit::addComponentNumList(int row, const QStringList& texts, const QStringList& tooltips, int current,
                                    const QString& tooltip)
{
    auto* box = new QComboBox(this);
    box->setMaxVisibleItems(20);
    mNumberEditors.append(box);
    for (int k = 0; k < texts.size(); ++k) {
        box->addItem(Lang::tr(texts[k], mName));
        box->setItemData(k, Lang::tr(tooltips.value(k), mName), Qt::ToolTipRole);
    }
    box->setCurrentIndex(current);
    placeEditor(box, row, tooltip);
}

void ProtoEdit::addComponentInteger(int row, int value, int min, int max, const QString& tooltip)
{
    auto* edit = new QLineEdit(QString::number(value), this);
    mIntegerEditors.append(edit);
    mIntMax.append(max);
    mIntMin.append(min);
    placeEditor(edit, row, tooltip);
}

void ProtoEdit::addComponentText(int row, const QString& text, const QString& tooltip)
{
    // The value itself, untranslated: it is written back as it stands.
    auto* edit = new QLineEdit(text, this);
    mTextEditors.append(edit);
    placeEditor(edit, row, tooltip);
}

void ProtoEdit::addComponentBool(int row, bool value, const QString& checkText, const QString& tooltip)
{
    auto* box = new QCheckBox(Lang::tr(checkText, mName), this);
    box->setCheckable(true);
    box->setChecked(value);
    mBoolEditors.append(box);
    placeEditor(box, row, tooltip);
}

bool ProtoEdit::sampling() const
{
    return devUsing && devUsing->smpRunning;
}

bool ProtoEdit::integersValid()
{
    bool valid = true;
    for (int k = 0; k < mIntegerEditors.size(); ++k) {
        bool ok = false;
        const int v = mIntegerEditors[k]->text().toInt(&ok, 10);
        if (ok && v >= mIntMin[k] && v <= mIntMax[k])
            continue;
        valid = false;
        ProtoModal::box(this, QMessageBox::Warning, Lang::tr("A Setting is Invalid"),
                        Lang::tr("Please enter an integer in the range") + " [" + QString::number(mIntMin[k]) + ", "
                            + QString::number(mIntMax[k]) + "]");
        if (!mSettings)
            return false; // the analyzers changed while the box was up
    }
    return valid;
}

void ProtoEdit::writeBack()
{
    const int n = int(mSettings->GetSettingsInterfacesCount());
    int channels = 0, lists = 0, ints = 0, texts = 0, bools = 0;
    for (int i = 0; i < n; ++i) {
        AnalyzerSettingInterface* itf = mSettings->GetSettingsInterface(U32(i));
        if (!itf)
            continue;
        switch (itf->GetType()) {
        case INTERFACE_CHANNEL: {
            const int p = channels < mChannelEditors.size() ? mChannelEditors[channels]->currentIndex() : -1;
            ++channels;
            // "None" is the library's undefined channel, as plug-ins start
            // with it, so that an unchanged choice saves unchanged settings.
            Channel chn;
            if (p >= 0 && 2 * p < mChannelChoices.size())
                chn = Channel(0, mChannelChoices[2 * p].toUInt());
            static_cast<AnalyzerSettingInterfaceChannel*>(itf)->SetChannel(chn);
            break;
        }
        case INTERFACE_NUMBER_LIST: {
            auto* li = static_cast<AnalyzerSettingInterfaceNumberList*>(itf);
            const int p = lists < mNumberEditors.size() ? mNumberEditors[lists]->currentIndex() : -1;
            ++lists;
            if (p >= 0)
                li->SetNumber(li->GetListboxNumber(U32(p)));
            break;
        }
        case INTERFACE_INTEGER:
            if (ints < mIntegerEditors.size())
                static_cast<AnalyzerSettingInterfaceInteger*>(itf)->SetInteger(mIntegerEditors[ints]->text().toInt());
            ++ints;
            break;
        case INTERFACE_TEXT:
            if (texts < mTextEditors.size())
                static_cast<AnalyzerSettingInterfaceText*>(itf)->SetText(mTextEditors[texts]->text().toLatin1().constData());
            ++texts;
            break;
        case INTERFACE_BOOL:
            if (bools < mBoolEditors.size())
                static_cast<AnalyzerSettingInterfaceBool*>(itf)->SetValue(mBoolEditors[bools]->isChecked());
            ++bools;
            break;
        default:
            break;
        }
    }
}

void ProtoEdit::redecode()
{
    if (mStoppedDecode && !sampling())
        mManager->startDecode(mIndex);
    mStoppedDecode = false;
}

void ProtoEdit::saveClicked()
{
    if (!mSettings || !mManager)
        return;
    const QByteArray before = QByteArray(mSettings->SaveSettings());
    // Nothing is written while any value is refused: the interfaces keep
    // describing the settings in force.
    if (!integersValid())
        return;
    writeBack();
    if (mIndex >= 0 && mManager->anlyThreadIsRuning(mIndex)) {
        mManager->stopAnlyThread(mIndex);
        mStoppedDecode = true;
    }
    if (!mSettings->SetSettingsFromInterfaces()) {
        const QString message = trAnly(mSettings->GetSaveErrorMessage());
        if (mIndex >= 0) {
            // Back to the settings in force, interfaces included, and their
            // results complete again.
            mSettings->LoadSettings(before.constData());
            redecode();
        }
        ProtoModal::box(this, QMessageBox::Warning, Lang::tr("A Setting is Invalid"), message);
        return;
    }
    mSaving = true;
    if (mIndex < 0) {
        // A new analyzer is added even with its settings as they came.
        mManager->addUsing(mAnalyzer, !sampling());
        mAdded = true;
    } else if (QByteArray(mSettings->SaveSettings()) != before) {
        mStoppedDecode = false;
        mManager->saveEditMessage(mIndex, !sampling());
    } else {
        redecode();
    }
    mSaving = false;
    accept();
}

void ProtoEdit::slotAnalyzersChanged()
{
    if (mSaving)
        return;
    // The index may name another analyzer now, or none, and the edited one
    // may be gone: close without writing.
    mAnalyzer = nullptr;
    mSettings = nullptr;
    reject();
}
