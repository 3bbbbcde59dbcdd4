#include "service/readiness.h"

#include <httplib.h>

Readiness::Readiness(std::chrono::milliseconds stale)
    : stale(stale), lastAlive(std::chrono::steady_clock::now().time_since_epoch().count())
{
    endpoint.routes().Get("/ready", [this](const httplib::Request&, httplib::Response& response) {
        const bool answering = ready();
        response.status = answering ? 200 : 503;
        response.set_content(answering ? "ready\n" : "not answering\n", "text/plain");
    });
}

bool Readiness::listen(const QString& host, quint16 port)
{
    return endpoint.listen(host, port);
}

void Readiness::serve()
{
    endpoint.serve();
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
