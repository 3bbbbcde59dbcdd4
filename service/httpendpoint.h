#pragma once

#include <QString>

#include <chrono>
#include <memory>
#include <thread>

namespace httplib {
class Server;
}

// Connections one endpoint holds at a time. A newcomer beyond them takes the place of the one that
// has waited longest for its request, so that a balancer's check gets through clients that dawdle.
constexpr int httpConnections = 32;
// Descriptors one endpoint may hold: its connections, one more being accepted, its listening socket
// and its wake-up.
constexpr int httpDescriptors = httpConnections + 3;
// The whole of a request's head; there is never a body.
constexpr std::size_t httpRequestLimit = 4096;
// From a connection's acceptance to its answer's last byte, however slowly the client sends.
constexpr std::chrono::seconds httpDeadline {2};

// "[ADDRESS:]PORT" of --health and --metrics, loopback without an address; false when it is not one.
bool parseHttpAddress(const QString& text, QString* host, quint16* port);

// A port for a load balancer or a scraper that anything on its network may reach. One thread reads
// the requests of all connections as they arrive, with the limits above, and only a request that is
// whole goes to cpp-httplib, which parses it and answers by the routes; a request with a body is
// refused unread.
class HttpEndpoint
{
public:
    HttpEndpoint();
    ~HttpEndpoint();

    // The answers, set before serve().
    httplib::Server& routes();
    // Listens on `port` of `host` (an address or a name); false when it cannot, the port being held
    // by any other socket too.
    bool listen(const QString& host, quint16 port);
    // Answers from now on, on a thread of its own.
    void serve();

private:
    class Router;
    void run();

    std::unique_ptr<Router> router;
    int listener = -1;
    int wake = -1; // written by the destructor to end the thread
    std::thread thread;
};
