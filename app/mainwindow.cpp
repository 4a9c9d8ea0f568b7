#include "app/mainwindow.h"

#include <QCloseEvent>

#include "config/Config.h"

MainWindow::MainWindow(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(Config::pixel(800), Config::pixel(320));
}

void MainWindow::closeEvent(QCloseEvent* e)
{
    Config::close();
    e->accept();
}
