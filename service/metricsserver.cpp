#include "service/metricsserver.h"

#include <httplib.h>

MetricsServer::MetricsServer(std::function<QByteArray()> render)
{
    endpoint.routes().Get(
        "/metrics", [render = std::move(render)](const httplib::Request&, httplib::Response& response) {
            const QByteArray text = render();
            response.set_content(
                text.constData(), static_cast<std::size_t>(text.size()), "text/plain; version=0.0.4; charset=utf-8");
        });
}

bool MetricsServer::listen(const QString& host, quint16 port)
{
    if (!endpoint.listen(host, port))
        return false;
    endpoint.serve();
    return true;
}
