#ifndef PROTOKIT_H
#define PROTOKIT_H
// For the analyzers panel tests: answers the panel's modal dialogs and
// boxes (ProtoModal) instead of blocking, sets up the configuration and the
// host's view of the device, and adds analyzers the way the settings dialog
// does.

#include <QDialog>
#include <QList>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

#include "Analyzer.h"
#include "AnalyzerSettingInterface.h"
#include "AnalyzerSettings.h"
#include "CaptureTables.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "decode/AnalyzerManager.h"
#include "decode/ProtoModal.h"
#include "support/TestEnv.h"

class ProtoKit
{
public:
    struct Box {
        QMessageBox::Icon icon;
        QString title;
        QString text;
    };

    ProtoKit()
    {
        ProtoModal::boxRunner = [this](QWidget*, QMessageBox::Icon icon, const QString& title, const QString& text) {
            boxes.append({icon, title, text});
            if (onBox)
                onBox(boxes.last());
        };
        ProtoModal::dialogRunner = [this](QDialog* d) {
            dialogs << d->windowTitle();
            if (!onDialog)
                return int(QDialog::Rejected); // never blocks
            return onDialog(d);
        };
    }
    ~ProtoKit()
    {
        ProtoModal::boxRunner = nullptr;
        ProtoModal::dialogRunner = nullptr;
    }
    ProtoKit(const ProtoKit&) = delete;
    ProtoKit& operator=(const ProtoKit&) = delete;

    // A fresh configuration in English with the channels' own names; the
    // host sees the demonstration device with the given channel enables.
    static void initConfig(const QVector<bool>* enables)
    {
        TestEnv::isolateUserData();
        Config::init();
        Config::saveGlobalParam("userLang", "en-US");
        for (int k = 0; k < 16; ++k)
            Config::saveGlobalParam("chnShowName" + QString::number(k), "");
        Lang::init();
        AnalyzerManager::deviceChnEnables = [enables] { return *enables; };
        AnalyzerManager::deviceModel = [] { return int(DevModelDemo); };
    }

    // "bin": the program's own plug-ins; else a set of the panel test
    // plug-ins ("main", "recent").
    static QString pluginDir(const QString& which)
    {
        if (which == "bin")
            return QString::fromLocal8Bit(qgetenv("CORVENA_BIN")) + "/Analyzer/";
        return QStringLiteral(PANEL_PLUGIN_DIR) + "/" + which;
    }

    // Four channels, each with edges at 100, 200, 300 of 1000 samples, as
    // the host's capture.
    static std::unique_ptr<CaptureTables> fillCapture(AnalyzerManager& m)
    {
        std::unique_ptr<CaptureTables> c(new CaptureTables(4, 1000000));
        for (int k = 0; k < 4; ++k)
            c->setChannel(k, 0, {100, 200, 300}, 1000);
        m.setDataForAnly(*c->data());
        return c;
    }

    void reset()
    {
        boxes.clear();
        dialogs.clear();
        onDialog = nullptr;
        onBox = nullptr;
    }

    // Sets the channel, integer and bool settings named by their titles and
    // applies them; channel -1 is none. False when the plug-in refuses.
    static bool configure(Analyzer* a, const QList<QPair<QString, int>>& values)
    {
        AnalyzerSettings* s = a->GetAnalyzerSettings();
        for (U32 i = 0; i < s->GetSettingsInterfacesCount(); ++i) {
            AnalyzerSettingInterface* itf = s->GetSettingsInterface(i);
            for (const auto& v : values) {
                if (QString::fromUtf8(itf->GetTitle()) != v.first)
                    continue;
                switch (itf->GetType()) {
                case INTERFACE_CHANNEL:
                    static_cast<AnalyzerSettingInterfaceChannel*>(itf)->SetChannel(
                        v.second < 0 ? Channel() : Channel(0, U32(v.second)));
                    break;
                case INTERFACE_INTEGER:
                    static_cast<AnalyzerSettingInterfaceInteger*>(itf)->SetInteger(v.second);
                    break;
                case INTERFACE_BOOL:
                    static_cast<AnalyzerSettingInterfaceBool*>(itf)->SetValue(v.second != 0);
                    break;
                case INTERFACE_NUMBER_LIST:
                    static_cast<AnalyzerSettingInterfaceNumberList*>(itf)->SetNumber(v.second);
                    break;
                default:
                    break;
                }
            }
        }
        return s->SetSettingsFromInterfaces();
    }

    // Adds an analyzer of the named plug-in (catalogue text) with the given
    // settings; null when the plug-in is not loaded.
    static Analyzer* add(AnalyzerManager& m, const QString& plugin, const QList<QPair<QString, int>>& values,
                         bool decode = false)
    {
        const int p = m.getAllAnalyzerName().indexOf(plugin);
        if (p < 0)
            return nullptr;
        Analyzer* a = m.getNewAnalyzer(p);
        if (!configure(a, values)) {
            m.destroyNewAnalyzer(p, a);
            return nullptr;
        }
        m.addUsing(a, decode);
        return a;
    }

    QList<Box> boxes;
    QStringList dialogs;              // titles of the dialogs run, in order
    std::function<int(QDialog*)> onDialog;
    std::function<void(const Box&)> onBox;
};

#endif
