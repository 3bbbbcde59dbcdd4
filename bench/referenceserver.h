#pragma once

#include <QTcpServer>

// The first yardstick: a bare QTcpServer on this thread's event loop that frames messages as the
// program does and acknowledges each one, with no window and no files.
class ReferenceServer : public QObject
{
    Q_OBJECT

public:
    ReferenceServer();
    quint16 port() const { return server.serverPort(); }

private:
    void accept();

    QTcpServer server;
};
