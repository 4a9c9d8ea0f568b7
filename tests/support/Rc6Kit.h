#ifndef RC6KIT_H
#define RC6KIT_H
// The fixture of the IR RC6 plug-in tests: the plug-in loaded once, fresh
// analyzers on channel 0, and a temporary directory for files.

#include <QtTest>

#include <QTemporaryDir>

#include <string>
#include <vector>

#include "PluginTestKit.h"

const int kRate = 1000000; // 1 MHz: one RC6 time unit is 444 samples
const int kUnit = 444;

class Rc6TestBase : public QObject {
protected:
    std::string pluginPath() const { return plugintest::binPath("Analyzer/libIR-RC6.so").toStdString(); }

    // A fresh analyzer on channel 0 with a logic style.
    Analyzer* makeAnalyzer(int style = 1)
    {
        Analyzer* a = mPlugin.create();
        mAnalyzers.push_back(a);
        AnalyzerSettings* s = a->GetAnalyzerSettings();
        setAllChannels(s, 0);
        std::string error;
        if (!applySetting(s, 1, std::to_string(style), &error))
            qWarning("%s", error.c_str());
        s->SetSettingsFromInterfaces();
        return a;
    }

    void loadPlugin()
    {
        QVERIFY(mTemp.isValid());
        std::string error;
        QVERIFY2(mPlugin.load(pluginPath(), &error), error.c_str());
    }

    AnalyzerPlugin mPlugin;
    std::vector<Analyzer*> mAnalyzers;
    QTemporaryDir mTemp;

public:
    ~Rc6TestBase() override
    {
        for (Analyzer* a : mAnalyzers)
            mPlugin.destroy(a);
    }
};

#endif
