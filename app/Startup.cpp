#include "app/Startup.h"

#include <QApplication>
#include <QFile>

#include "app/CloseSignals.h"
#include "app/mainwindow.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "device/DevInit.h"
#include "device/DevSupport.h"
#include "osc/DevMS.h"

namespace {
bool demoMs = false;
}

bool demoMixedSignal()
{
    return demoMs;
}

void setDemoMixedSignal(bool on)
{
    demoMs = on;
}

void readDemoSwitch()
{
    demoMs = qgetenv("CORVENA_DEMO_MODEL").trimmed() == QByteArray::number(int(DevModelPoplar));
}

DevBase* createStartDevice(int model)
{
    if (demoMs)
        return new DevPoplar;
    return DevBase::createDevice(model);
}

void installStyleSheet(QApplication& app)
{
    QFile f(":/qss/theme");
    if (!f.open(QIODevice::ReadOnly))
        return;
    QByteArray bytes = f.readAll();
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    QString qss = QString::fromLatin1(bytes);
    Config::getQss(qss);
    app.setStyleSheet(qss);
}

int corvenaRun(QApplication& app)
{
    // SIGINT, SIGTERM and SIGHUP close the program (main has installed the
    // handlers already); one that came during the start is answered once
    // the event loop runs.
    CloseSignals endSignals;
    Config::init();
    Lang::init();
    Config::createFont();
    installStyleSheet(app);

    readDemoSwitch();
    const int model = Config::getDevModel();
    devSupport = new DevSupport;
    devUsing = createStartDevice(model);
    devInit = new DevInit;

    MainWindow* w = new MainWindow;
    QObject::connect(&endSignals, &CloseSignals::requested, w, [w](int sig) {
        qInfo("%s: closing; another signal ends the program at once.", CloseSignals::signalName(sig));
        w->slotEndRequested();
    });
    w->show();
    const int ret = app.exec();
    // Ended by a signal: every dialog and job has unwound by now, and the
    // window closes as the window manager's close does (capture stopped,
    // device in standby, settings written).
    if (!w->isClosing())
        w->close();
    // A script that ran the program learns that the settings were lost.
    const int status = ret != 0 ? ret : w->settingsLost() ? 1 : 0;

    delete w;
    delete devInit;
    devInit = nullptr;
    delete devUsing;
    devUsing = nullptr;
    delete devSupport;
    devSupport = nullptr;
    return status;
}
