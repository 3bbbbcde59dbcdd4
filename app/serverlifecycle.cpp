#include "app/mainwindow.h"
#include "app/messagefeed.h"
#include "ui_mainwindow.h"

#include <QMessageBox>
#include <QTimer>

namespace {

constexpr int stopWatchIntervalMs = 20;

} // namespace

void MainWindow::serverStart()
{
    QString listRefusal;
    if (!engine.start(settings, ListenPlace(), &listRefusal)) {
        QMessageBox::critical(this, tr("Hiba"),
            listRefusal.isEmpty() ? tr("A megadott port hibás, vagy már foglalt.") : listRefusal, QMessageBox::Ok,
            QMessageBox::NoButton);
        return;
    }
    showServerRunning(true);
}

void MainWindow::serverStop()
{
    // Devices are still served while the question is open; the stop closes whatever is left then.
    if (engine.connectionCount() > 0
        && !confirmed(tr("A szerverhez még kapcsolódik kliens. Biztosan leállítja a szervert?\n\n"
                         "Figyelem! Ez adatvesztéssel járhat!")))
        return;
    stopServer(Engine::StopLine::Announce, &MainWindow::serverStopped);
}

void MainWindow::stopServer(Engine::StopLine line, void (MainWindow::*then)())
{
    // The server lets every message in hand finish first, which may wait for the disk: the window
    // goes on meanwhile and looks now and then whether the server is through.
    showServerStopping();
    stopInProgress = true;
    engine.stop(line, {});
    auto* watch = new QTimer(this);
    connect(watch, &QTimer::timeout, this, [this, watch, then] {
        if (engine.running())
            return;
        watch->deleteLater();
        stopInProgress = false;
        // The last connections' lines are on the screen before the controls say that all is over.
        messageFeed->showPending();
        (this->*then)();
        if (closeAfterStop && !exitConfirmed)
            exitAfterStop();
    });
    watch->start(stopWatchIntervalMs);
}

void MainWindow::serverStopped()
{
    showServerRunning(false);
}

void MainWindow::showServerStopping()
{
    ui->stop->setEnabled(false);
    ui->actionServerStop->setEnabled(false);
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
