#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <thread>

namespace httplib {
class Server;
}

// Serves GET /metrics over HTTP on a thread of its own; each scrape asks `render` for the text.
class MetricsServer
{
public:
    explicit MetricsServer(std::function<QByteArray()> render);
    ~MetricsServer();

    // False when the address cannot be opened.
    bool listen(const QString& host, quint16 port);

private:
    std::unique_ptr<httplib::Server> server;
    std::thread serving;
};
