#include "bench/epollreference.h"

#include "engine/framing.h"

#include <QByteArray>
#include <QString>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_map>

namespace {

struct Peer
{
    QString buffer;
    QByteArray unsent;
};

// Writes what the peer is owed; false when the connection is gone.
bool flush(int fd, Peer& peer)
{
    while (!peer.unsent.isEmpty()) {
        const ssize_t written = ::send(fd, peer.unsent.constData(), size_t(peer.unsent.size()), MSG_NOSIGNAL);
        if (written < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK;
        peer.unsent.remove(0, written);
    }
    return true;
}

} // namespace

EpollReference::EpollReference()
{
    listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    // The same backlog as the Qt reference, so that a burst of connections meets the same queue.
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(listener, 4096) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    boundPort = ntohs(address.sin_port);
    poller = ::epoll_create1(EPOLL_CLOEXEC);
    wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    epoll_event event {};
    event.events = EPOLLIN;
    event.data.fd = listener;
    ::epoll_ctl(poller, EPOLL_CTL_ADD, listener, &event);
    event.data.fd = wake;
    ::epoll_ctl(poller, EPOLL_CTL_ADD, wake, &event);
    thread = std::thread([this] { serve(); });
}

EpollReference::~EpollReference()
{
    if (thread.joinable()) {
        const quint64 one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wake, &one, sizeof one);
        thread.join();
    }
    for (const int fd : {wake, poller, listener}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void EpollReference::serve()
{
    std::unordered_map<int, Peer> peers;
    const auto drop = [&](int fd) {
        ::close(fd);
        peers.erase(fd);
    };
    epoll_event events[256];
    char chunk[65536];
    for (;;) {
        const int ready = ::epoll_wait(poller, events, 256, -1);
        for (int i = 0; i < ready; ++i) {
            const int fd = events[i].data.fd;
            if (fd == wake) {
                for (const auto& [peerFd, peer] : peers)
                    ::close(peerFd);
                return;
            }
            if (fd == listener) {
                int accepted = -1;
                while ((accepted = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0) {
                    peers.emplace(accepted, Peer());
                    epoll_event event {};
                    event.events = EPOLLIN;
                    event.data.fd = accepted;
                    ::epoll_ctl(poller, EPOLL_CTL_ADD, accepted, &event);
                }
                continue;
            }
            Peer& peer = peers[fd];
            bool open = true;
            if (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) {
                ssize_t received = 0;
                while ((received = ::recv(fd, chunk, sizeof chunk, 0)) > 0) {
                    frameChunk(
                        peer.buffer, QByteArrayView(chunk, received),
                        [&peer] {
                            peer.unsent += "ok";
                            peer.buffer.clear();
                            return true;
                        },
                        [] {});
                }
                open = received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
            }
            if (!open || !flush(fd, peer)) {
                drop(fd);
                continue;
            }
            // Only a reply the socket could not take at once needs the writable event.
            epoll_event event {};
            event.events = peer.unsent.isEmpty() ? EPOLLIN : EPOLLIN | EPOLLOUT;
            event.data.fd = fd;
            if (!peer.unsent.isEmpty() || (events[i].events & EPOLLOUT))
                ::epoll_ctl(poller, EPOLL_CTL_MOD, fd, &event);
        }
    }
}
