#pragma once

#include "tests/testsupport.h"

#include <mutex>

struct mosquitto;

// A real Mosquitto on 127.0.0.1 and a free port, its configuration and its saved sessions in the
// test's working directory, so that a restart keeps what it owes a persistent subscriber.
class MosquittoBroker
{
public:
    // With a user, only that user with that password gets in; without, anyone. With a user it
    // listens with TLS too, on a certificate for 127.0.0.1 in broker.pem that serves as its own
    // authority.
    explicit MosquittoBroker(const QByteArray& user = {}, const QByteArray& password = {});
    ~MosquittoBroker();

    quint16 port() const { return listenPort; }
    quint16 tlsPort() const { return tlsListenPort; }
    // Once it accepts connections.
    bool start();
    // As an operator stops it: it ends its connections and saves its sessions.
    void stop();
    // A broker that hangs holds its connections and answers nothing until it goes on.
    void hang(bool hanging);

private:
    QProcess process;
    quint16 listenPort = 0;
    quint16 tlsListenPort = 0;
};

// A subscriber to everything under "stilwater/" with QoS 1, in a session that the broker keeps
// while it is away, as a downstream system subscribes. It reconnects by itself, on libmosquitto's
// own thread; the test reads what it has received from its own.
class Subscriber
{
public:
    explicit Subscriber(quint16 port);
    ~Subscriber();

    bool subscribed() const;
    // Topic and payload of each message, in the order of arrival.
    QList<QPair<QByteArray, QByteArray>> received() const;

private:
    mosquitto* client;
    mutable std::mutex mutex;
    bool subscriptionAcknowledged = false;
    QList<QPair<QByteArray, QByteArray>> messages;
};
