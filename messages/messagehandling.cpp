#include "app/mainwindow.h"
#include "messages/messagelayout.h"
#include "messages/replies.h"

#include <QMessageBox>
#include <QTcpSocket>
#include <QTimer>

void MainWindow::handleMsg(client_t* client)
{
    if (client->msgTimer->isActive())
        client->msgTimer->stop();

    int computed = 0;
    const int verdict = settings_t::calcChks(client->buffer, &computed);
    QList<saved_line_t> saved;
    if (verdict == verdict::accepted || verdict == verdict::checksumError)
        saved = saveData(client->buffer);
    const bool dataStored = !saved.isEmpty() && saved.first().written;

    const reply_t reply = replyFor(verdict, computed, dataStored, settings);
    if (!reply.bytes.isEmpty()) {
        client->socket->write(reply.bytes);
        // Handed to the network now: a device that half-closes right after sending would otherwise
        // see its connection end with the reply still queued, and never get it.
        client->socket->flush();
    }

    appendText(peerLine(client->socket, tr("Bejövő adat: ") + client->buffer) + QLatin1Char('\n'));
    appendText(peerLine(client->socket, reply.line) + QLatin1Char('\n'));
    for (const saved_line_t& line : std::as_const(saved)) {
        if (!line.written)
            appendText(peerLine(client->socket, tr("Mentési hiba: ") + line.fileName) + QLatin1Char('\n'));
    }
    client->buffer.clear();
}

void MainWindow::setPattern()
{
    const QString text
        = settings.pattern + QStringLiteral("\n\n(") + QString::number(settings.pattern.size() - 1) + tr(" karakter)");
    QMessageBox::information(this, tr("Pattern"), text, QMessageBox::Ok, QMessageBox::NoButton);
}
