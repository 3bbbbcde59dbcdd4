#include "service/metricsserver.h"

#include <httplib.h>

MetricsServer::MetricsServer(std::function<QByteArray()> render) : server(std::make_unique<httplib::Server>())
{
    server->Get("/metrics", [render = std::move(render)](const httplib::Request&, httplib::Response& response) {
        const QByteArray text = render();
        response.set_content(
            text.constData(), static_cast<std::size_t>(text.size()), "text/plain; version=0.0.4; charset=utf-8");
    });
}

MetricsServer::~MetricsServer()
{
    if (serving.joinable()) {
        server->stop();
        serving.join();
    }
}

bool MetricsServer::listen(const QString& host, quint16 port)
{
    if (!server->bind_to_port(host.toStdString(), port))
        return false;
    serving = std::thread([this] { server->listen_after_bind(); });
    return true;
}
