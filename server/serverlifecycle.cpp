#include "app/mainwindow.h"
#include "server/acceptguard.h"
#include "ui_mainwindow.h"

#include <QMessageBox>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

// listen() would take port 0 as "any free port" and cut a larger number to its low 16 bits.
bool isListenablePort(int port)
{
    return port >= 1 && port <= 65535;
}

// Qt's default of 50 turns a reconnect storm into seconds of SYN retries; the system caps it at
// its own maximum.
constexpr int listenBacklog = 4096;

} // namespace

void MainWindow::serverStart()
{
    settings.server = new QTcpServer(this);
    settings.server->setListenBacklogSize(listenBacklog);
    // AnyIPv4: a dual-stack listener would show IPv4 devices as "::ffff:" addresses.
    if (!isListenablePort(settings.port)
        || !settings.server->listen(QHostAddress::AnyIPv4, static_cast<quint16>(settings.port))) {
        QMessageBox::critical(
            this, tr("Hiba"), tr("A megadott port hibás, vagy már foglalt."), QMessageBox::Ok, QMessageBox::NoButton);
        settings.server->close();
        return;
    }
    connect(settings.server, &QTcpServer::newConnection, this, &MainWindow::onNewConnection);
    acceptGuard->watch(settings.server);
    settings.clients.clear();
    clientLookup.clear();
    showServerRunning(true);
    appendText(settings.timeStamp() + tr("Szerver elindítva.") + QStringLiteral("\n\n"));
}

void MainWindow::serverStop()
{
    if (!settings.clients.isEmpty()) {
        if (!confirmed(tr("A szerverhez még kapcsolódik kliens. Biztosan leállítja a szervert?\n\n"
                          "Figyelem! Ez adatvesztéssel járhat!")))
            return;
        // Connections may have come and gone while the question was open: close what is left now.
        closeEveryConnection();
    }
    releaseServer();
    showServerRunning(false);
    appendText(settings.timeStamp() + tr("Szerver leállítva.") + QStringLiteral("\n\n"));
}

void MainWindow::closeEveryConnection()
{
    // Every pass removes the first record, so the loop ends even for a socket that cannot close at once.
    while (!settings.clients.isEmpty()) {
        settings.clients.first().closeReason = 1;
        QTcpSocket* socket = settings.clients.first().socket;
        socket->close();
        // With output still unsent, close() defers disconnected() until it is written. The server
        // and its sockets go right after this, so the end is handled here, once.
        if (!settings.clients.isEmpty() && settings.clients.first().socket == socket)
            endConnection(0);
    }
}

void MainWindow::releaseServer()
{
    acceptGuard->stopWatching();
    settings.server->close();
    delete settings.server;
    settings.server = nullptr;
}

void MainWindow::showServerRunning(bool running)
{
    ui->start->setEnabled(!running);
    ui->stop->setEnabled(running);
    ui->actionServerStart->setEnabled(!running);
    ui->actionServerStop->setEnabled(running);
    ui->menuBeallitasok->setEnabled(!running);
}

bool MainWindow::confirmed(const QString& question)
{
    QMessageBox box(QMessageBox::Warning, tr("Figyelmeztetés"), question, QMessageBox::Ok | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}
