#include <QApplication>

#include "app/CloseSignals.h"
#include "app/Startup.h"

int main(int argc, char* argv[])
{
    // First of all: building QApplication takes a while (the X connection),
    // and a signal meanwhile must close the program as its window's close
    // does, not end it with the settings unwritten.
    CloseSignals::install();
    QApplication app(argc, argv);
    return corvenaRun(app);
}
