#include "service/readiness.h"

#include <httplib.h>
#include <sys/socket.h>

Readiness::Readiness(std::chrono::milliseconds stale)
    : stale(stale), lastAlive(std::chrono::steady_clock::now().time_since_epoch().count())
{ }

Readiness::~Readiness()
{
    if (!thread.joinable())
        return;
    server->stop();
    thread.join();
}

bool Readiness::listen(const QString& address, int port)
{
    server = std::make_unique<httplib::Server>();
    server->Get("/ready", [this](const httplib::Request&, httplib::Response& response) {
        const bool answering = ready();
        response.status = answering ? 200 : 503;
        response.set_content(answering ? "ready\n" : "not answering\n", "text/plain");
    });
    // Not the library's SO_REUSEPORT: a second instance given the same port would share it, and the
    // balancer's checks would reach either.
    server->set_socket_options([](socket_t socket) {
        const int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // A health check is a moment's work; a client that dawdles is not waited for.
    server->set_read_timeout(std::chrono::seconds(2));
    server->set_keep_alive_max_count(1);
    // "::" is IPv6 and IPv4 together, as the device port.
    return server->bind_to_port(address.isEmpty() ? "::" : address.toStdString(), port);
}

void Readiness::serve()
{
    thread = std::thread([this] { server->listen_after_bind(); });
}

void Readiness::alive()
{
    lastAlive = std::chrono::steady_clock::now().time_since_epoch().count();
}

bool Readiness::ready() const
{
    const std::chrono::steady_clock::duration silence
        = std::chrono::steady_clock::now().time_since_epoch() - std::chrono::steady_clock::duration(lastAlive.load());
    return silence <= stale;
}
