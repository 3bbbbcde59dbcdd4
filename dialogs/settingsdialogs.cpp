#include "app/mainwindow.h"

// The settings dialogs arrive with their own forms.
void MainWindow::setPort() { }
void MainWindow::setFile() { }
void MainWindow::setErrorMsg() { }
