#include "engine/connection.h"

#include "engine/commitbatch.h"
#include "engine/framing.h"
#include "engine/knowndevices.h"
#include "engine/linequeue.h"
#include "engine/peeraddress.h"
#include "engine/proxyheader.h"
#include "engine/servingcontext.h"
#include "engine/timerinterval.h"
#include "messages/messagelayout.h"
#include "messages/replies.h"
#include "messages/showntext.h"
#include "recording/dayfilecache.h"
#include "recording/devicename.h"

#include <algorithm>
#include <asio/post.hpp>
#include <asio/write.hpp>

namespace {

// How long a connection that the server ends may take to deliver its last replies. A device that
// does not read them would otherwise keep its socket, descriptor and record for good.
constexpr std::chrono::milliseconds closeGrace(3000);
// Messages handled at one turn of the event loop: a client that sends without pause, junk say,
// waits its turn behind the other connections of its loop instead of holding the loop.
constexpr int messagesPerTurn = 4;

QString endOfConnectionText(int closeReason)
{
    switch (closeReason) {
    case 1:
        return QStringLiteral("A kapcsolatot a szerver bontotta.\n\n");
    case 2:
        return QStringLiteral("A kapcsolatot a szerver bontotta. (Timeout)\n\n");
    default:
        return QStringLiteral("A kapcsolatot a kliens bontotta.\n\n");
    }
}

} // namespace

Connection::Connection(asio::ip::tcp::socket socket, ServingContext& context, DayFileCache& files, CommitBatch* commits,
    quint64 serial, QString peer)
    : socket(std::move(socket))
    , executor_(this->socket.get_executor())
    , context(context)
    , files(files)
    , commits(commits)
    , serial(serial)
    , source(peer)
    , peer(std::move(peer))
    , peerPrefix(QLatin1Char('[') + this->peer + QStringLiteral("] "))
    , presence(context.devices)
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
    // On the wall clock from here, however long the server takes over the device's messages.
    if (const std::optional<int> interval = timerInterval(context.settings.socket_timeout)) {
        socketTimer.expires_after(std::chrono::milliseconds(*interval));
        socketTimer.async_wait([self = shared_from_this()](const asio::error_code& error) {
            // A timer that had already run out when it was stopped still calls back: the flags that
            // its stopping set tell.
            if (!error)
                self->socketTimedOut();
        });
    }
    read();
}

void Connection::read()
{
    reading = true;
    // A balancer's header may come in pieces: they collect one after the other.
    const std::size_t from = awaitingProxyHeader ? unframedTo : 0;
    socket.async_read_some(asio::buffer(chunk.data() + from, chunk.size() - from),
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
    chunkArrived = std::chrono::steady_clock::now();
    if (awaitingProxyHeader) {
        takeProxyHeader(size);
        return;
    }
    unframedFrom = 0;
    unframedTo = size;
    consume();
}

void Connection::takeProxyHeader(std::size_t size)
{
    unframedTo += size;
    const ProxyHeader header = parseProxyHeader(QByteArrayView(chunk.data(), static_cast<qsizetype>(unframedTo)));
    if (header.state == ProxyHeader::State::Incomplete) {
        read();
        return;
    }
    if (header.state == ProxyHeader::State::Invalid) {
        endWhenQuiet(ServerStopped);
        return;
    }
    awaitingProxyHeader = false;
    if (header.source) {
        peer = peerAddressText(*header.source);
        peerPrefix = QLatin1Char('[') + peer + QStringLiteral("] ");
    }
    report({QStringLiteral("Új kapcsolat.\n")});
    unframedFrom = static_cast<std::size_t>(header.size);
    consume();
}

void Connection::consume()
{
    handedOverThisTurn = 0;
    while (unframedFrom < unframedTo && !paused() && !refused && handedOverThisTurn < messagesPerTurn) {
        const QByteArrayView rest(chunk.data() + unframedFrom, static_cast<qsizetype>(unframedTo - unframedFrom));
        unframedFrom += static_cast<std::size_t>(frameChunk(
            buffer, rest, [this] { return handOver(); }, [this] { restartMessageTimer(); }));
    }
    if (refused)
        unframedFrom = unframedTo;
    account();
    if (paused())
        return;
    if (unframedFrom < unframedTo) {
        asio::post(executor_, [self = shared_from_this()] {
            if (!self->ended)
                self->consume();
        });
        return;
    }
    if (halted)
        quietIfHalted();
    else if (ending)
        endIfQuiet();
    else if (!reading)
        read();
}

bool Connection::paused() const
{
    // A halted connection frames what it has read to the end: that much is bounded by one read.
    return storing || (!halted && backlogged());
}

bool Connection::backlogged() const
{
    return unsent.size() + writing.size() > unsentBound;
}

bool Connection::handOver()
{
    stopMessageTimer();
    messageArrived = chunkArrived;
    handle(std::exchange(buffer, QString()));
    return !paused() && !refused && ++handedOverThisTurn < messagesPerTurn;
}

void Connection::handle(QString message)
{
    int computed = 0;
    const int verdict = settings_t::calcChks(message, &computed);
    if (verdict != verdict::accepted && verdict != verdict::checksumError) {
        stored(message, verdict, computed, {});
        return;
    }
    if (context.knownDevices && !context.knownDevices->admits(deviceName(message))) {
        refuseUnknown(message);
        return;
    }
    if (std::optional<stored_message_t> done = saveDataToExistingFiles(message, context.settings, files)) {
        if (commits && done->dataFile) {
            storing = true;
            // While descriptors are short, a device waiting for the disk holds none: a burst of
            // thousands would take those that the next devices' files need.
            if (files.givingWay())
                closeFiles(*done);
            finishWhenDurable(std::move(message), verdict, computed, std::move(*done));
        } else {
            stored(message, verdict, computed, done->saved);
        }
        return;
    }
    storing = true;
    createFiles(std::move(message), verdict, computed, true);
}

// On a file thread. Where the day files kept open have taken the last descriptors, every event loop
// lets its own go, and the files are tried once more; a line already written is never written again.
void Connection::createFiles(QString message, int verdict, int computed, bool mayRetry)
{
    asio::post(
        context.slowFiles, [self = shared_from_this(), message = std::move(message), verdict, computed, mayRetry] {
            if (self->context.beforeCreatingFiles)
                self->context.beforeCreatingFiles(message);
            stored_message_t done = saveData(message, self->context.settings);
            const bool nothingWritten = std::none_of(
                done.saved.cbegin(), done.saved.cend(), [](const saved_line_t& line) { return line.written; });
            if (done.descriptorsRanOut && nothingWritten && mayRetry) {
                self->context.descriptorsRanOut();
                asio::post(self->executor_,
                    [self, message, verdict, computed] { self->createFiles(message, verdict, computed, false); });
                return;
            }
            // Its descriptors go at once, not once the loop comes to it.
            if (self->files.givingWay())
                closeFiles(done);
            asio::post(self->executor_, [self, message, verdict, computed, done = std::move(done)]() mutable {
                if (self->commits && (done.dataFile || !done.closedDataFolder.isEmpty()))
                    self->finishWhenDurable(std::move(message), verdict, computed, std::move(done));
                else
                    self->storedAfterPause(message, verdict, computed, done);
            });
        });
}

// The acknowledgement leaves once the line is on the disk; meanwhile the connection goes no further,
// and other devices' lines join the same sync.
void Connection::finishWhenDurable(QString message, int verdict, int computed, stored_message_t done)
{
    GroupCommit::Waiter waiter {done.dataFile, {}, done.closedDataFolder};
    waiter.done = [self = shared_from_this(), message = std::move(message), verdict, computed, done = std::move(done)](
                      bool durable) mutable {
        done.saved.first().written = durable;
        asio::post(self->executor_, [self, message, verdict, computed, done = std::move(done)] {
            self->storedAfterPause(message, verdict, computed, done);
        });
    };
    commits->commit(std::move(waiter));
}

void Connection::storedAfterPause(const QString& message, int verdict, int computed, const stored_message_t& done)
{
    storing = false;
    for (const std::shared_ptr<DayFile>& file : done.opened)
        files.keep(file);
    stored(message, verdict, computed, done.saved);
    consume();
}

// Not stored, not answered: a device that nobody registered gets no file and no further hearing.
void Connection::refuseUnknown(const QString& message)
{
    refused = true;
    context.devices.totals().unknownDeviceRefusals.fetch_add(1, std::memory_order_relaxed);
    report({QStringLiteral("Ismeretlen eszköz: %1, nincs az ismert eszközök listáján; adatát nem mentem, a "
                           "kapcsolatot bontom.\n")
                .arg(deviceName(message))});
    // The end follows once framing has stopped (consume).
    ending = ServerStopped;
}

void Connection::stored(const QString& message, int verdict, int computed, const QList<saved_line_t>& saved)
{
    const bool dataStored = !saved.isEmpty() && saved.first().written;
    const reply_t reply = replyFor(verdict, computed, dataStored, context.settings);
    if (!reply.bytes.isEmpty())
        context.devices.replied(std::chrono::steady_clock::now() - messageArrived);
    send(reply.bytes);
    presence.judged(message, verdict, saved, peer);
    QStringList lines {
        QStringLiteral("Bejövő adat: ") + shownText(message) + QLatin1Char('\n'), reply.line + QLatin1Char('\n')};
    for (const saved_line_t& line : saved) {
        if (!line.written)
            lines << QStringLiteral("Mentési hiba: ") + line.fileName + QLatin1Char('\n');
        if (line.locked)
            lines << QStringLiteral("A fájlt egy másik program zárolja: ") + line.fileName + QLatin1Char('\n');
    }
    report(std::move(lines));
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
            }
            self->written();
        });
}

void Connection::written()
{
    if (ended)
        return;
    if (halted) {
        quietIfHalted();
    } else if (ending) {
        endIfQuiet();
    } else if (!storing && !backlogged()) {
        // The device has taken enough of its replies: the rest of what it sent is answered now.
        consume();
    } else {
        account();
    }
}

void Connection::socketTimedOut()
{
    if (ended || halted || ending)
        return;
    // A message half received now is lost, and so is what was read behind replies the device left
    // unread. One whose file is being created or synced is finished first: the end waits for it.
    stopMessageTimer();
    unframedFrom = unframedTo;
    endWhenQuiet(TimedOut);
}

// A message that arrives whole moves the deadline on and nothing more: the timer, a system call
// to set and another to stop, is waited on once and then only moved on when it runs out early.
void Connection::restartMessageTimer()
{
    if (halted)
        return;
    messageDeadline = std::chrono::steady_clock::now()
        + std::chrono::milliseconds(timerInterval(context.settings.msg_timeout).value_or(0));
    if (!messageTimerWaiting)
        waitForMessageDeadline();
}

void Connection::waitForMessageDeadline()
{
    messageTimerWaiting = true;
    messageTimer.expires_at(*messageDeadline);
    messageTimer.async_wait([self = shared_from_this()](const asio::error_code& error) {
        self->messageTimerWaiting = false;
        if (error || !self->messageDeadline || self->ended || self->halted || self->ending)
            return;
        if (std::chrono::steady_clock::now() < *self->messageDeadline) {
            self->waitForMessageDeadline();
            return;
        }
        // A read is pending all the while a message collects, and goes on with whatever comes next.
        self->handOver();
        self->account();
    });
}

void Connection::stopMessageTimer()
{
    messageDeadline.reset();
}

void Connection::endWhenQuiet(CloseReason reason)
{
    if (!ending)
        ending = reason;
    endIfQuiet();
}

void Connection::endIfQuiet()
{
    if (ended || halted || storing)
        return;
    if ((writing.isEmpty() && unsent.isEmpty()) || writeFailed)
        end();
    else
        startGrace([this] {
            if (!halted)
                end();
        });
}

void Connection::startGrace(std::function<void()> then)
{
    if (graceRunning)
        return;
    graceRunning = true;
    graceTimer.expires_after(closeGrace);
    graceTimer.async_wait([self = shared_from_this(), then = std::move(then)](const asio::error_code& error) {
        if (!error && !self->ended)
            then();
    });
}

void Connection::quietIfHalted()
{
    if (!haltedQuiet || storing)
        return;
    const auto quiet = [this] {
        if (haltedQuiet)
            std::exchange(haltedQuiet, nullptr)();
    };
    if ((writing.isEmpty() && unsent.isEmpty()) || writeFailed)
        quiet();
    else
        startGrace(quiet);
}

void Connection::end()
{
    ended = true;
    asio::error_code ignored;
    socketTimer.cancel();
    stopMessageTimer();
    messageTimer.cancel();
    graceTimer.cancel();
    presence.ended();
    // A balancer's connection that ends before its first byte was a health check, not worth a line.
    if (!awaitingProxyHeader) {
        reportEnd(ending.value_or(ClientClosed));
    } else if (unframedTo > 0) {
        context.devices.totals().invalidProxyHeaders.fetch_add(1, std::memory_order_relaxed);
        report({QStringLiteral("Érvénytelen PROXY fejléc a terheléselosztótól, a kapcsolatot bontom.\n\n")});
    }
    socket.close(ignored);
    unframedFrom = unframedTo;
    unsent.clear();
    account();
    context.registry.remove(serial);
    context.connectionEnded(source);
}

void Connection::halt(std::function<void()> quiet)
{
    if (ended) {
        quiet();
        return;
    }
    halted = true;
    haltedQuiet = std::move(quiet);
    socketTimer.cancel();
    stopMessageTimer();
    messageTimer.cancel();
    // A grace already running for another end now serves the stop's.
    graceTimer.cancel();
    graceRunning = false;
    if (awaitingProxyHeader)
        unframedFrom = unframedTo;
    if (!storing)
        consume();
}

void Connection::closeByServer()
{
    if (ended)
        return;
    ended = true;
    presence.ended();
    if (!awaitingProxyHeader)
        reportEnd(ServerStopped);
    asio::error_code ignored;
    socket.close(ignored);
    unframedFrom = unframedTo;
    unsent.clear();
    writing.clear();
    account();
    context.registry.remove(serial);
}

void Connection::account()
{
    const qint64 held = static_cast<qint64>(unframedTo - unframedFrom) + unsent.size() + writing.size();
    if (held != accountedBytes) {
        context.bytesHeld.fetch_add(held - accountedBytes, std::memory_order_relaxed);
        accountedBytes = held;
    }
}

void Connection::reportEnd(CloseReason reason)
{
    context.devices.totals().closed[reason].fetch_add(1, std::memory_order_relaxed);
    report({endOfConnectionText(reason)});
}

void Connection::report(QStringList lines)
{
    for (QString& line : lines)
        line.prepend(peerPrefix);
    context.lines.push(lines);
}
