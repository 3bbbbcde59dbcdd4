#pragma once

#include "engine/devicetable.h"
#include "recording/dailyfile.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class CommitBatch;
class DayFileCache;
struct ServingContext;

// One device connection. It lives on one event-loop thread, which alone touches it, and is kept
// alive by the operations it has pending and by the registry of open connections.
//
// A message is handled completely (judged, stored, answered, reported) before the next one of the
// same device: the device's lines stay in order in its files and in the message window. While a
// message waits for its file to be created, or while the device leaves its replies unread, the
// connection goes no further: the rest of what it has read waits unframed, and nothing more is read.
// What a connection holds is therefore bounded by one read and a little more than `unsentBound`.
class Connection : public std::enable_shared_from_this<Connection>
{
public:
    // Replies beyond this many bytes that the device has not taken yet stop the reading.
    static constexpr qsizetype unsentBound = 16 * 1024;

    // `files` are the day files kept open on the connection's event loop, `commits` where its
    // acknowledgements wait for the disk (none: they do not wait).
    Connection(asio::ip::tcp::socket socket, ServingContext& context, DayFileCache& files, CommitBatch* commits,
        quint64 serial, QString peer);

    // The event loop that the connection lives on.
    asio::any_io_executor executor() const { return executor_; }

    // The first steps on its own thread: the socket timer runs from here on.
    void start();
    // Before start(): the connection comes from a balancer, whose PROXY header names the device.
    void expectProxyHeader() { awaitingProxyHeader = true; }

    // For a stop: reads no more, lets the messages already read finish, gives the replies the close
    // grace to leave, then calls `quiet` on its thread.
    void halt(std::function<void()> quiet);
    // The end of a halted connection. Only while no event-loop thread runs.
    void closeByServer();

    // Who ended it, as its journal line names it; indexes DeviceTable::totals_t::closed.
    enum CloseReason { ClientClosed = 0, ServerStopped = 1, TimedOut = 2 };

private:
    void read();
    void received(const asio::error_code& error, std::size_t size);
    void takeProxyHeader(std::size_t size);
    void refuseUnknown(const QString& message);
    void consume();
    bool handOver();
    void handle(QString message);
    void createFiles(QString message, int verdict, int computed, bool mayRetry);
    void finishWhenDurable(QString message, int verdict, int computed, stored_message_t done);
    void storedAfterPause(const QString& message, int verdict, int computed, const stored_message_t& done);
    void stored(const QString& message, int verdict, int computed, const QList<saved_line_t>& saved);
    bool paused() const;
    bool backlogged() const;
    void send(const QByteArray& bytes);
    void writeQueued();
    void written();
    void socketTimedOut();
    void restartMessageTimer();
    void waitForMessageDeadline();
    void stopMessageTimer();
    void endWhenQuiet(CloseReason reason);
    void endIfQuiet();
    void startGrace(std::function<void()> then);
    void quietIfHalted();
    void end();
    void account();
    // The journal's line of the end, and its count.
    void reportEnd(CloseReason reason);
    void report(QStringList lines);

    asio::ip::tcp::socket socket;
    const asio::any_io_executor executor_;
    ServingContext& context;
    DayFileCache& files;
    CommitBatch* const commits;
    const quint64 serial;
    const QString source; // the address it was accepted from
    QString peer; // the device's own: the source's, or the one a balancer's PROXY header names
    QString peerPrefix; // "[address] ", the start of every line about this connection
    DevicePresence presence;
    bool awaitingProxyHeader = false; // its bytes collect at the start of `chunk` meanwhile
    bool refused = false; // an unknown device: nothing more of it is framed
    int handedOverThisTurn = 0;

    std::array<char, 4096> chunk {};
    std::chrono::steady_clock::time_point chunkArrived; // when the last read took `chunk`
    std::chrono::steady_clock::time_point messageArrived; // the last byte of the message being handled
    std::size_t unframedFrom = 0; // chunk[unframedFrom, unframedTo) has been read but not framed
    std::size_t unframedTo = 0;
    QString buffer; // the message being collected
    bool reading = false;
    bool storing = false;

    QByteArray unsent; // replies that the socket has not taken yet
    QByteArray writing; // the part of them that is on its way
    bool writeFailed = false;
    qint64 accountedBytes = 0; // this connection's share of the context's bytesHeld

    asio::steady_timer socketTimer;
    asio::steady_timer messageTimer;
    asio::steady_timer graceTimer;
    std::optional<std::chrono::steady_clock::time_point> messageDeadline; // while a message collects
    bool messageTimerWaiting = false;

    std::optional<CloseReason> ending; // set when the end is decided, reported once it is reached
    bool graceRunning = false;
    bool halted = false;
    std::function<void()> haltedQuiet;
    bool ended = false;
};
