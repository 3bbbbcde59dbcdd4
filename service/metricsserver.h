#pragma once

#include "service/httpendpoint.h"

#include <QByteArray>
#include <QString>

#include <functional>

// Serves GET /metrics over HTTP on a thread of its own; each scrape asks `render` for the text.
class MetricsServer
{
public:
    explicit MetricsServer(std::function<QByteArray()> render);

    // False when the address cannot be opened.
    bool listen(const QString& host, quint16 port);

private:
    HttpEndpoint endpoint;
};
