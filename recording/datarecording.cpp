#include "app/mainwindow.h"

// Data files arrive with the device server.
void MainWindow::saveData(QString) { }
