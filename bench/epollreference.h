#pragma once

#include <QtGlobal>

#include <thread>

// The second yardstick: a bare single-threaded server on epoll and non-blocking sockets that frames
// messages as the program does and acknowledges each one, with no window and no files. It runs on a
// thread of its own, so that it shares nothing with Qt's event loop.
class EpollReference
{
public:
    EpollReference(); // listens on a free loopback port and serves until destroyed
    ~EpollReference();
    EpollReference(const EpollReference&) = delete;
    EpollReference& operator=(const EpollReference&) = delete;

    quint16 port() const { return boundPort; }

private:
    void serve();

    int listener = -1;
    int poller = -1;
    int wake = -1; // an eventfd that ends serve()
    quint16 boundPort = 0;
    std::thread thread;
};
