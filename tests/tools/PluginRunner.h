#ifndef PLUGINRUNNER_H
#define PLUGINRUNNER_H
// Runs analyzer plug-ins outside the program the way its analyzer host does:
// the plug-in's C exports, settings through the setting interfaces, and one
// decode run on a thread of its own behind a ProgressManager.

#include <string>

#include <QLibrary>

#include "Analyzer.h"

class AnalyzerPlugin {
public:
    typedef Analyzer* (*CreateFn)();
    typedef void (*DestroyFn)(Analyzer*);
    typedef const char* (*NameFn)();

    // Loads the library by its full path and resolves the three required
    // exports. The library stays loaded (the program never unloads one).
    bool load(const std::string& path, std::string* error);

    Analyzer* create() const { return mCreate(); }
    void destroy(Analyzer* analyzer) const { mDestroy(analyzer); }
    const char* name() const { return mName(); }
    // The optional list of supported device models; null when not exported.
    NameFn paraInfoList() const { return mParaInfoList; }

private:
    QLibrary mLibrary;
    CreateFn mCreate = nullptr;
    DestroyFn mDestroy = nullptr;
    NameFn mName = nullptr;
    NameFn mParaInfoList = nullptr;
};

// One analyzer created and destroyed through its plug-in.
class PluginAnalyzer {
public:
    explicit PluginAnalyzer(const AnalyzerPlugin& plugin) : mPlugin(plugin), mAnalyzer(plugin.create()) {}
    ~PluginAnalyzer() { mPlugin.destroy(mAnalyzer); }
    PluginAnalyzer(const PluginAnalyzer&) = delete;
    PluginAnalyzer& operator=(const PluginAnalyzer&) = delete;
    Analyzer* get() const { return mAnalyzer; }
    Analyzer* operator->() const { return mAnalyzer; }

private:
    const AnalyzerPlugin& mPlugin;
    Analyzer* mAnalyzer;
};

// Points every channel setting of the analyzer at one channel.
void setAllChannels(AnalyzerSettings* settings, U32 channelIndex);

// Sets setting interface `index` (dialog order) from text: a number list
// takes one of its listed numbers, an integer a whole number within its
// limits, a bool 0/1/true/false, a text anything. A channel setting, an
// unknown index or an unfit value is refused with a one-line reason.
bool applySetting(AnalyzerSettings* settings, U32 index, const std::string& value, std::string* error);

// Init, SetupResults, InitialWorkerThread, StartProcessing; the run goes on
// a thread of its own and this returns once it has ended. The analyzer is
// left without a progress manager afterwards.
AnalyzerRunEnd runDecode(Analyzer* analyzer, DeviceCollection* data);

// Generates the export file on a thread of its own, as the program's export
// thread does; false when the plug-in reported that it could not write it.
bool runExport(AnalyzerResults* results, const std::string& file, DisplayBase base, U32 option);

#endif
