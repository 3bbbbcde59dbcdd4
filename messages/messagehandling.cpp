#include "app/mainwindow.h"

// Message handling arrives with the device server.
void MainWindow::handleMsg(client_t*) { }
void MainWindow::setPattern() { }
