#include "app/mainwindow.h"

// Server start and stop arrive with the device server.
void MainWindow::serverStart() { }
void MainWindow::serverStop() { }
void MainWindow::closeEveryConnection() { }
