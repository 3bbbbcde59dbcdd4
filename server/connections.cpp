#include "app/mainwindow.h"

// Connections and framing arrive with the device server.
void MainWindow::onNewConnection() { }
void MainWindow::onReadyRead() { }
void MainWindow::onMsgTimeout() { }
void MainWindow::onSocketTimeout() { }
void MainWindow::onDisconnected() { }
