#include "app/mainwindow.h"
#include "dialogs/port.h"

void MainWindow::setPort()
{
    Port dialog(&settings, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    settings.port = dialog.getPort();
    settings.socket_timeout = dialog.getTimeout();
    showPortAndTimeout();
}

// The reply and storage dialogs arrive with their own forms.
void MainWindow::setFile() { }
void MainWindow::setErrorMsg() { }
