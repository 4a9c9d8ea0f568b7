#include "app/Startup.h"

#include <QApplication>
#include <QFile>

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
    w->show();
    const int ret = app.exec();

    delete w;
    delete devInit;
    devInit = nullptr;
    delete devUsing;
    devUsing = nullptr;
    delete devSupport;
    devSupport = nullptr;
    return ret;
}
