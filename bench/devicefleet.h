#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

#include <atomic>

class QTcpSocket;

// Devices that keep a few accepted messages in flight each, sending the next one as soon as an
// acknowledgement arrives. Lives in a thread of its own, so that the window's thread serves only.
class DeviceFleet : public QObject
{
    Q_OBJECT

public:
    DeviceFleet(quint16 port, int devices, int inFlight);

    // Acknowledgements received by all devices together; read from any thread.
    qint64 acknowledged() const { return acknowledgements.load(); }

public slots:
    void connectAll();
    void disconnectAll();

private:
    struct Link
    {
        QTcpSocket* socket = nullptr;
        QByteArray message;
        qint64 unmatched = 0; // bytes of an acknowledgement that has not fully arrived yet
    };

    void onReadyRead(int index);

    quint16 port;
    int devices;
    int inFlight;
    QList<Link> links;
    std::atomic<qint64> acknowledgements {0};
};
