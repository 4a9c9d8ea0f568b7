#include "decode/AnalyzerManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

#include "config/Config.h"
#include "config/Lang.h"
#include "decode/AnalyzerManagerPriv.h"
#include "decode/AnalyzerProgMng.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"

AnalyzerManager* AnalyzerManager::me = nullptr;
std::atomic<bool> AnalyzerManager::sInterrupt{false};
QString AnalyzerManager::sDirOverride;

std::function<int()> AnalyzerManager::deviceModel = [] {
    return devUsing ? int(devUsing->devModel) : int(DevModelDemo);
};
// The device layer supplies the enables once it keeps them; until then the
// main window (or a test) installs its own source.
std::function<QVector<bool>()> AnalyzerManager::deviceChnEnables = [] { return QVector<bool>(); };

namespace {

constexpr unsigned int UndefinedChannelIndex = 0xFFFFFFFFu;

} // namespace

// ---------------------------------------------------------------- FileInterface

bool FileInterface::querySupport(int model) const
{
    return supportModels.isEmpty() || supportModels.contains(model);
}

QString FileInterface::getSupportText(int model) const
{
    if (querySupport(model))
        return QString();
    return " (" + Lang::tr("Not Supported") + ")";
}

QString FileInterface::analyzerName() const
{
    const char* n = GetAnalyzerName ? GetAnalyzerName() : nullptr;
    return n ? QString::fromUtf8(n) : QString();
}

// ---------------------------------------------------------------- construction

AnalyzerManager::AnalyzerManager(QObject* parent)
    : QObject(parent), mDataForAnly{}, mModify(false), mPending(-1), mDir(analyzerDir()), mExport(nullptr),
      mLastExportFailed(false), mLastExportCancelled(false), mChangeDepth(0), mDecodedNotice(false)
{
    me = this;
    sInterrupt.store(false);
    loadPlugins();
    publishSnapshot();
}

AnalyzerManager::~AnalyzerManager()
{
    {
        ChangeScope scope(this);
        for (AnalyzerInterface& e : mUsing)
            destroyEntry(e);
        mUsing.clear();
    }
    if (me == this)
        me = nullptr;
    // Plug-ins stay loaded until the program ends: code of theirs may still
    // be referenced (simulation copies, vtables); only the handles go.
    qDeleteAll(mLibraries);
    mLibraries.clear();
}

QString AnalyzerManager::analyzerDir()
{
    if (!sDirOverride.isEmpty())
        return sDirOverride;
    return QCoreApplication::applicationDirPath() + "/Analyzer/";
}

void AnalyzerManager::setAnalyzerDir(const QString& dir)
{
    sDirOverride = dir;
}

void AnalyzerManager::loadPlugins()
{
    QDir dir(mDir);
    if (!dir.exists())
        return;
    // Sorted by name, so the catalogue (and every index that follows from it)
    // is the same on every machine, whatever order the file system keeps.
    const QStringList files = dir.entryList(QStringList() << "*.so", QDir::Files, QDir::Name);
    for (const QString& f : files) {
        auto* lib = new QLibrary(dir.absoluteFilePath(f));
        if (!lib->load()) {
            delete lib;
            continue;
        }
        mLibraries.append(lib);
        FileInterface fi;
        fi.fileName = f;
        fi.CreateAnalyzer = reinterpret_cast<CreateAnalyzerFn>(lib->resolve("CreateAnalyzer"));
        fi.DestroyAnalyzer = reinterpret_cast<DestroyAnalyzerFn>(lib->resolve("DestroyAnalyzer"));
        fi.GetAnalyzerName = reinterpret_cast<GetAnalyzerNameFn>(lib->resolve("GetAnalyzerName"));
        if (!fi.CreateAnalyzer || !fi.DestroyAnalyzer || !fi.GetAnalyzerName)
            continue;
        auto para = reinterpret_cast<GetParaInfoListFn>(lib->resolve("GetParaInfoList"));
        if (para) {
            const char* text = para();
            if (text) {
                const QStringList parts = QString::fromLatin1(text).split(',');
                for (const QString& p : parts)
                    fi.supportModels.append(p.trimmed().toInt());
            }
        }
        mPlugins.append(fi);
    }
}

int AnalyzerManager::findPlugin(const QString& fileName) const
{
    for (int i = 0; i < mPlugins.size(); ++i)
        if (mPlugins[i].fileName == fileName)
            return i;
    return -1;
}

int AnalyzerManager::channelCount()
{
    return deviceChnEnables ? deviceChnEnables().size() : 0;
}

QString AnalyzerManager::checkedFormat(const QString& text)
{
    bool ok = false;
    const int f = text.trimmed().toInt(&ok);
    return (ok && f >= Binary && f <= AsciiHex) ? QString::number(f) : QString::number(Hexadecimal);
}

// ---------------------------------------------------------------- catalogue

QStringList AnalyzerManager::getAllAnalyzerName() const
{
    const int model = deviceModel ? deviceModel() : 0;
    QStringList list;
    for (const FileInterface& f : mPlugins)
        list << f.analyzerName() + f.getSupportText(model);
    return list;
}

QString AnalyzerManager::getSpecAnalyzerName(const QString& fileName) const
{
    const int i = findPlugin(fileName);
    if (i < 0)
        return QString();
    return mPlugins[i].analyzerName() + mPlugins[i].getSupportText(deviceModel ? deviceModel() : 0);
}

Analyzer* AnalyzerManager::getNewAnalyzer(int plugin)
{
    if (plugin < 0 || plugin >= mPlugins.size())
        return nullptr;
    mPending = plugin;
    return mPlugins[plugin].CreateAnalyzer();
}

void AnalyzerManager::destroyNewAnalyzer(int plugin, Analyzer* anly)
{
    // The instance was made by that plug-in: only it may free it.
    if (anly && plugin >= 0 && plugin < mPlugins.size())
        mPlugins[plugin].DestroyAnalyzer(anly);
}

// ---------------------------------------------------------------- analyzers in use

AnalyzerInterface AnalyzerManager::makeEntry(const FileInterface& file, Analyzer* anly, const QString& alias,
                                             const QString& format)
{
    AnalyzerInterface e;
    e.file = file;
    e.alias = alias;
    e.format = checkedFormat(format);
    e.analyzer = anly;
    e.progMng = new AnalyzerProgMng(anly);
    e.show = true;
    connect(e.progMng, &AnalyzerProgMng::sigStopWorkThread, this, &AnalyzerManager::slotStopWorkThread);
    return e;
}

void AnalyzerManager::destroyEntry(AnalyzerInterface& e)
{
    if (e.progMng) {
        if (e.progMng->isRunning() || (e.analyzer && e.analyzer->IsRunActive())) {
            if (e.analyzer)
                e.analyzer->StopWorkerThread();
            e.progMng->wait();
        }
        e.progMng->forgetRun();
        delete e.progMng;
        e.progMng = nullptr;
    }
    // Analyzers in use go through their virtual destructor.
    delete e.analyzer;
    e.analyzer = nullptr;
}

void AnalyzerManager::addUsing(Analyzer* anly, bool decode)
{
    if (!anly)
        return;
    if (mPending < 0 || mPending >= mPlugins.size()) {
        delete anly; // no plug-in known for it; the caller handed it over
        return;
    }
    mUsing.append(makeEntry(mPlugins[mPending], anly, QString(), QString::number(Hexadecimal)));
    publishSnapshot();
    saveEditMessage(mUsing.size() - 1, decode);
}

void AnalyzerManager::saveEditMessage(int index, bool decode)
{
    saveAnalyzerAlias();
    saveConfig();
    if (decode && index >= 0 && index < mUsing.size())
        startDecode(index);
}

void AnalyzerManager::removeUsing(int index)
{
    if (index < 0 || index >= mUsing.size())
        return;
    {
        ChangeScope scope(this);
        AnalyzerInterface e = mUsing.takeAt(index);
        destroyEntry(e);
    }
    saveAnalyzerAlias();
    saveConfig();
}

void AnalyzerManager::removeAllUsing()
{
    {
        ChangeScope scope(this);
        QVector<AnalyzerInterface> old;
        old.swap(mUsing);
        for (AnalyzerInterface& e : old)
            destroyEntry(e);
    }
    saveAnalyzerAlias();
    saveConfig();
}

void AnalyzerManager::restoreUsing()
{
    {
        ChangeScope scope(this);
        QVector<AnalyzerInterface> old;
        old.swap(mUsing);
        for (AnalyzerInterface& e : old)
            destroyEntry(e);

        QStringList aliases = Config::readGlobalParam("analyzerAlias").split(';');
        // Every field is followed by ";": the part after the last one is not a field.
        QStringList fields = Config::readAnalyzerParam().split(';');
        fields.removeLast();
        while (aliases.size() < fields.size())
            aliases.append(QString());
        if (fields.size() >= 3) {
            for (int j = 0; j < fields.size() / 3; ++j) {
                const int p = findPlugin(fields[3 * j].trimmed());
                if (p < 0)
                    continue; // its alias stays at position j, unused
                Analyzer* anly = mPlugins[p].CreateAnalyzer();
                if (!anly)
                    continue;
                if (AnalyzerSettings* s = anly->GetAnalyzerSettings()) {
                    const QByteArray text = fields[3 * j + 1].trimmed().toLatin1();
                    s->LoadSettings(text.constData());
                }
                mUsing.append(makeEntry(mPlugins[p], anly, aliases[j], fields[3 * j + 2]));
            }
        }
    }
    emit analyzerItemAliasChanged();
    emit analyzerItemChanged();
}

void AnalyzerManager::saveConfig()
{
    Config::clearAnalyzerParam();
    for (int i = 0; i < mUsing.size(); ++i) {
        AnalyzerSettings* s = mUsing[i].analyzer ? mUsing[i].analyzer->GetAnalyzerSettings() : nullptr;
        const char* text = s ? s->SaveSettings() : nullptr;
        Config::saveAnalyzerParam(i, QStringList() << mUsing[i].file.fileName
                                                   << QString::fromLatin1(text ? text : "") << mUsing[i].format);
    }
    // Settings may have changed: the simulation copies follow them.
    publishSnapshot();
    emit analyzerItemChanged();
}

void AnalyzerManager::saveAnalyzerAlias()
{
    QString s;
    for (const AnalyzerInterface& e : mUsing)
        s += e.alias + ";";
    Config::saveGlobalParam("analyzerAlias", s);
    emit analyzerItemAliasChanged();
}

void AnalyzerManager::setUsingAlias(int index, const QString& text)
{
    if (index < 0 || index >= mUsing.size())
        return;
    QString alias = text;
    if (alias == mUsing[index].file.analyzerName())
        alias.clear();
    // ";" separates the stored aliases; one inside an alias would shift the
    // aliases of every later analyzer at the next start.
    alias.replace(';', ',');
    mUsing[index].alias = alias;
    saveAnalyzerAlias();
}

QString AnalyzerManager::getUsingAlias(int index) const
{
    if (index < 0 || index >= mUsing.size())
        return QString();
    const AnalyzerInterface& e = mUsing[index];
    return e.alias.isEmpty() ? e.file.analyzerName() : e.alias;
}

QString AnalyzerManager::getUsingAnalyzerName(int index) const
{
    if (index < 0 || index >= mUsing.size())
        return QString();
    return getUsingAlias(index) + mUsing[index].file.getSupportText(deviceModel ? deviceModel() : 0);
}

QString AnalyzerManager::getUsingSpecFileName(int index) const
{
    if (index < 0 || index >= mUsing.size())
        return QString();
    return mUsing[index].file.fileName;
}

Analyzer* AnalyzerManager::getUsingAnalyzer(int index) const
{
    if (index < 0 || index >= mUsing.size())
        return nullptr;
    return mUsing[index].analyzer;
}

int AnalyzerManager::getUsingDisplayFormat(int index) const
{
    if (index < 0 || index >= mUsing.size())
        return Hexadecimal;
    return checkedFormat(mUsing[index].format).toInt();
}

void AnalyzerManager::setUsingDisplayFormat(int index, int format)
{
    if (index < 0 || index >= mUsing.size())
        return;
    mUsing[index].format = checkedFormat(QString::number(format));
    saveConfig();
}

QStringList AnalyzerManager::getUsingChnAlias(int index) const
{
    QStringList pairs;
    if (index < 0 || index >= mUsing.size() || !mUsing[index].analyzer)
        return pairs;
    const AnalyzerInterface& e = mUsing[index];
    const QString base = e.alias.isEmpty() ? e.file.analyzerName() : e.alias;
    AnalyzerSettings* s = e.analyzer->GetAnalyzerSettings();
    if (!s)
        return pairs;
    const U32 n = s->GetSettingsInterfacesCount();
    for (U32 k = 0; k < n; ++k) {
        AnalyzerSettingInterface* itf = s->GetSettingsInterface(k);
        if (!itf || itf->GetType() != INTERFACE_CHANNEL)
            continue;
        auto* chn = static_cast<AnalyzerSettingInterfaceChannel*>(itf);
        pairs << QString::number(chn->GetChannel().mChannelIndex)
              << base + " - " + QString::fromUtf8(itf->GetTitle());
    }
    return pairs;
}

QStringList AnalyzerManager::getAllUsingChnAlias(int except) const
{
    QStringList merged;
    for (int i = 0; i < mUsing.size(); ++i) {
        if (i == except)
            continue;
        const QStringList pairs = getUsingChnAlias(i);
        for (int k = 0; k + 1 < pairs.size(); k += 2) {
            int at = -1;
            for (int m = 0; m + 1 < merged.size(); m += 2)
                if (merged[m] == pairs[k]) {
                    at = m;
                    break;
                }
            if (at >= 0)
                merged[at + 1] += ", " + pairs[k + 1];
            else
                merged << pairs[k] << pairs[k + 1];
        }
    }
    const int n = channelCount();
    QStringList result;
    for (int k = 0; k < n; ++k)
        result << QString::number(k) << QString();
    for (int m = 0; m + 1 < merged.size(); m += 2) {
        bool ok = false;
        const unsigned int c = merged[m].toUInt(&ok);
        if (ok && c != UndefinedChannelIndex && c < unsigned(n))
            result[int(2 * c + 1)] = merged[m + 1];
    }
    return result;
}

QStringList AnalyzerManager::getEnableChnInterfaceName(int except) const
{
    const QStringList all = getAllUsingChnAlias(except);
    const QVector<bool> ena = deviceChnEnables ? deviceChnEnables() : QVector<bool>();
    QStringList result;
    for (int k = 0; k + 1 < all.size(); k += 2)
        if (k / 2 < ena.size() && ena[k / 2])
            result << all[k] << all[k + 1];
    return result;
}

bool AnalyzerManager::anlyThreadIsRuning(int index) const
{
    if (index < 0 || index >= mUsing.size())
        return false;
    const AnalyzerInterface& e = mUsing[index];
    return (e.progMng && e.progMng->isRunning()) || (e.analyzer && e.analyzer->IsRunActive());
}
