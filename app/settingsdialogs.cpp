#include "app/mainwindow.h"
#include "dialogs/errormsg.h"
#include "dialogs/file.h"
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

void MainWindow::setErrorMsg()
{
    ErrorMsg dialog(&settings, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    settings.ack = dialog.getAck();
    settings.error_chks = dialog.getErrorChks();
    settings.error_syntax = dialog.getErrorSyntax();
    showReplies();
}

void MainWindow::setFile()
{
    File dialog(&settings, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    settings.file = dialog.getFile();
    settings.backup = dialog.getBackup();
    settings.make_backup = dialog.isBackupChecked();
    showFileNaming();
}
