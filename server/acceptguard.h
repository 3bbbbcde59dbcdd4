#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QTcpServer;
class QTcpSocket;

// Keeps the listening server from taking the descriptors that the connected devices' data files
// need, and from spinning when there are none left: accepting pauses, and is tried again when a
// connection ends or after a moment. Devices that cannot be taken wait in the listen queue or
// connect again later; those already connected are served all the while.
class AcceptGuard : public QObject
{
    Q_OBJECT

public:
    explicit AcceptGuard(QObject* parent = nullptr);

    void watch(QTcpServer* server);
    void stopWatching();

    // Whether a connection just taken from the server leaves enough descriptors for the files of
    // every device. When it does not, accepting pauses and the caller drops the connection.
    bool admits(const QTcpSocket* socket);
    void connectionEnded();

signals:
    // Accepting has failed for want of descriptors; once per episode, not once per attempt.
    void exhausted();

private:
    void pause();
    void resume();

    // Cleared as soon as the server starts going, before its sockets report their end.
    QPointer<QTcpServer> server;
    QTimer retryTimer;
    QElapsedTimer lastFailure;
};
