#pragma once

#include "engine/devicetable.h"
#include "recording/dailyfile.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

struct ServingContext;

// One device connection. It lives on one event-loop thread, which alone touches it, and is kept
// alive by the operations it has pending and by the registry of open connections.
//
// A message is handled completely (judged, stored, answered, reported) before the next one of the
// same device: the device's lines stay in order in its files and in the message window. While a
// message waits for its file to be created, the connection reads no further.
class Connection : public std::enable_shared_from_this<Connection>
{
public:
    Connection(asio::ip::tcp::socket socket, ServingContext& context, quint64 serial, QString peer);

    // The event loop that the connection lives on.
    asio::any_io_executor executor() const { return executor_; }

    // The first steps on its own thread: the socket timer runs from here on.
    void start();

    // For a stop: reads no more, lets the message in hand finish, then calls `quiet` on its thread.
    void halt(std::function<void()> quiet);
    // The end of a halted connection. Only while no event-loop thread runs.
    void closeByServer();

private:
    enum CloseReason { ClientClosed = 0, ServerStopped = 1, TimedOut = 2 };

    void read();
    void received(const asio::error_code& error, std::size_t size);
    void handOver();
    void handle(QString message);
    void stored(const QString& message, int verdict, int computed, const QList<saved_line_t>& saved);
    void handleWaiting();
    void send(const QByteArray& bytes);
    void writeQueued();
    void socketTimedOut();
    void restartMessageTimer();
    void stopMessageTimer();
    void endWhenQuiet(CloseReason reason);
    void endIfQuiet();
    void end();
    void report(const QString& body, const char* ending);

    asio::ip::tcp::socket socket;
    const asio::any_io_executor executor_;
    ServingContext& context;
    const quint64 serial;
    const QString peer;
    DevicePresence presence;

    std::array<char, 4096> chunk {};
    QString buffer; // the message being collected
    std::deque<QString> waiting; // complete messages behind one that is being stored
    bool reading = false;
    bool storing = false;

    QByteArray unsent; // replies that the socket has not taken yet
    QByteArray writing; // the part of them that is on its way
    bool writeFailed = false;

    asio::steady_timer socketTimer;
    asio::steady_timer messageTimer;
    asio::steady_timer graceTimer;
    quint64 messageTimerRun = 0; // tells a stale expiry from the current one

    std::optional<CloseReason> ending; // set when the end is decided, reported once it is reached
    bool graceRunning = false;
    bool halted = false;
    std::function<void()> haltedQuiet;
    bool ended = false;
};
