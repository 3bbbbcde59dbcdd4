#include "engine/connection.h"

#include "engine/framing.h"
#include "engine/linequeue.h"
#include "engine/servingcontext.h"
#include "engine/timerinterval.h"
#include "messages/messagelayout.h"
#include "messages/replies.h"
#include "messages/showntext.h"

#include <asio/post.hpp>
#include <asio/write.hpp>

namespace {

// How long a connection that the server ends may take to deliver its last replies. A device that
// does not read them would otherwise keep its socket, descriptor and record for good.
constexpr std::chrono::milliseconds closeGrace(3000);

QString endOfConnectionText(int closeReason)
{
    switch (closeReason) {
    case 1:
        return QStringLiteral("A kapcsolatot a szerver bontotta.");
    case 2:
        return QStringLiteral("A kapcsolatot a szerver bontotta. (Timeout)");
    default:
        return QStringLiteral("A kapcsolatot a kliens bontotta.");
    }
}

} // namespace

Connection::Connection(asio::ip::tcp::socket socket, ServingContext& context, quint64 serial, QString peer)
    : socket(std::move(socket))
    , executor_(this->socket.get_executor())
    , context(context)
    , serial(serial)
    , peer(std::move(peer))
    , socketTimer(this->socket.get_executor())
    , messageTimer(this->socket.get_executor())
    , graceTimer(this->socket.get_executor())
{ }

void Connection::start()
{
    asio::error_code ignored;
    // Replies are tried at once and queued only when the socket cannot take them.
    socket.non_blocking(true, ignored);
    // A reply is a few bytes that the device waits for: it leaves at once, not when the device has
    // acknowledged the one before.
    socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    if (const std::optional<int> interval = timerInterval(context.settings.socket_timeout)) {
        socketTimer.expires_after(std::chrono::milliseconds(*interval));
        socketTimer.async_wait([self = shared_from_this()](const asio::error_code& error) {
            if (!error)
                self->socketTimedOut();
        });
    }
    read();
}

void Connection::read()
{
    reading = true;
    socket.async_read_some(asio::buffer(chunk),
        [self = shared_from_this()](const asio::error_code& error, std::size_t size) { self->received(error, size); });
}

void Connection::received(const asio::error_code& error, std::size_t size)
{
    reading = false;
    if (ended || halted || ending)
        return;
    if (error) {
        // What the device sent before it hung up has been read and is still answered.
        endWhenQuiet(ClientClosed);
        return;
    }
    context.bytesReceived.fetch_add(size, std::memory_order_relaxed);
    frameChunk(
        buffer, QByteArrayView(chunk.data(), static_cast<qsizetype>(size)), [this] { handOver(); },
        [this] { restartMessageTimer(); });
    if (!storing && !ending)
        read();
}

void Connection::handOver()
{
    stopMessageTimer();
    QString message = std::exchange(buffer, QString());
    if (storing)
        waiting.push_back(std::move(message));
    else
        handle(std::move(message));
}

void Connection::handle(QString message)
{
    int computed = 0;
    const int verdict = settings_t::calcChks(message, &computed);
    if (verdict != verdict::accepted && verdict != verdict::checksumError) {
        stored(message, verdict, computed, {});
        return;
    }
    if (std::optional<QList<saved_line_t>> saved = saveDataToExistingFiles(message, context.settings)) {
        stored(message, verdict, computed, *saved);
        return;
    }
    storing = true;
    asio::post(context.slowFiles, [self = shared_from_this(), message, verdict, computed, executor = executor_] {
        QList<saved_line_t> saved = saveData(message, self->context.settings);
        asio::post(executor, [self, message, verdict, computed, saved = std::move(saved)] {
            self->storing = false;
            self->stored(message, verdict, computed, saved);
            self->handleWaiting();
        });
    });
}

void Connection::stored(const QString& message, int verdict, int computed, const QList<saved_line_t>& saved)
{
    const bool dataStored = !saved.isEmpty() && saved.first().written;
    const reply_t reply = replyFor(verdict, computed, dataStored, context.settings);
    send(reply.bytes);
    report(QStringLiteral("Bejövő adat: ") + shownText(message), "\n");
    report(reply.line, "\n");
    for (const saved_line_t& line : saved) {
        if (!line.written)
            report(QStringLiteral("Mentési hiba: ") + line.fileName, "\n");
    }
}

void Connection::handleWaiting()
{
    while (!storing && !waiting.empty()) {
        QString message = std::move(waiting.front());
        waiting.pop_front();
        handle(std::move(message));
    }
    if (storing)
        return;
    if (halted) {
        if (haltedQuiet)
            std::exchange(haltedQuiet, nullptr)();
    } else if (ending) {
        endIfQuiet();
    } else if (!reading) {
        read();
    }
}

void Connection::send(const QByteArray& bytes)
{
    if (bytes.isEmpty() || writeFailed)
        return;
    if (!unsent.isEmpty() || !writing.isEmpty()) {
        unsent += bytes;
        return;
    }
    asio::error_code error;
    const std::size_t taken = socket.write_some(asio::buffer(bytes.constData(), bytes.size()), error);
    if (error && error != asio::error::would_block) {
        writeFailed = true;
        return;
    }
    if (error)
        unsent = bytes;
    else if (taken < static_cast<std::size_t>(bytes.size()))
        unsent = bytes.mid(static_cast<qsizetype>(taken));
    if (!unsent.isEmpty())
        writeQueued();
}

void Connection::writeQueued()
{
    writing = std::exchange(unsent, QByteArray());
    asio::async_write(socket, asio::buffer(writing.constData(), writing.size()),
        [self = shared_from_this()](const asio::error_code& error, std::size_t) {
            self->writing.clear();
            if (error) {
                // A write to a device that has gone is not reported; its end is.
                self->writeFailed = true;
                self->unsent.clear();
            } else if (!self->unsent.isEmpty()) {
                self->writeQueued();
                return;
            }
            if (self->ending)
                self->endIfQuiet();
        });
}

void Connection::socketTimedOut()
{
    if (ended || halted || ending)
        return;
    // A message half received now is lost.
    stopMessageTimer();
    endWhenQuiet(TimedOut);
}

void Connection::restartMessageTimer()
{
    const quint64 run = ++messageTimerRun;
    messageTimer.expires_after(std::chrono::milliseconds(timerInterval(context.settings.msg_timeout).value_or(0)));
    messageTimer.async_wait([self = shared_from_this(), run](const asio::error_code& error) {
        // A timer that had already run out when it was restarted still calls back: it is stale.
        if (error || run != self->messageTimerRun || self->ended || self->halted || self->ending)
            return;
        self->handOver();
        if (!self->storing && !self->reading)
            self->read();
    });
}

void Connection::stopMessageTimer()
{
    ++messageTimerRun;
    messageTimer.cancel();
}

void Connection::endWhenQuiet(CloseReason reason)
{
    if (!ending)
        ending = reason;
    endIfQuiet();
}

void Connection::endIfQuiet()
{
    if (ended || halted || storing || !waiting.empty())
        return;
    if ((writing.isEmpty() && unsent.isEmpty()) || writeFailed) {
        end();
        return;
    }
    if (graceRunning)
        return;
    graceRunning = true;
    graceTimer.expires_after(closeGrace);
    graceTimer.async_wait([self = shared_from_this()](const asio::error_code& error) {
        if (!error && !self->ended && !self->halted)
            self->end();
    });
}

void Connection::end()
{
    ended = true;
    asio::error_code ignored;
    socketTimer.cancel();
    stopMessageTimer();
    graceTimer.cancel();
    report(endOfConnectionText(ending.value_or(ClientClosed)), "\n\n");
    socket.close(ignored);
    context.registry.remove(serial);
    context.connectionEnded();
}

void Connection::halt(std::function<void()> quiet)
{
    halted = true;
    socketTimer.cancel();
    stopMessageTimer();
    graceTimer.cancel();
    if (storing)
        haltedQuiet = std::move(quiet);
    else
        quiet();
}

void Connection::closeByServer()
{
    if (ended)
        return;
    ended = true;
    report(endOfConnectionText(ServerStopped), "\n\n");
    asio::error_code ignored;
    socket.close(ignored);
    context.registry.remove(serial);
}

void Connection::report(const QString& body, const char* ending)
{
    context.lines.push(
        context.settings.timeStamp() + QLatin1Char('[') + peer + QStringLiteral("] ") + body + QLatin1String(ending));
}
