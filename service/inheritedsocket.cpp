#include "service/inheritedsocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <systemd/sd-daemon.h>

namespace {

bool describe(int descriptor, InheritedSocket* socket)
{
    sockaddr_storage local {};
    socklen_t size = sizeof local;
    if (::getsockname(descriptor, reinterpret_cast<sockaddr*>(&local), &size) != 0)
        return false;
    char text[INET6_ADDRSTRLEN] {};
    if (local.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(local);
        ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        socket->address = QStringLiteral("[%1]").arg(QString::fromLatin1(text));
        socket->port = ntohs(v6.sin6_port);
    } else {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(local);
        ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        socket->address = QString::fromLatin1(text);
        socket->port = ntohs(v4.sin_port);
    }
    socket->descriptor = descriptor;
    return true;
}

} // namespace

InheritedSocket takeInheritedSocket(QString* problem)
{
    InheritedSocket socket;
    // Unset, so that nothing the service starts takes the variables for its own.
    const int count = sd_listen_fds(1);
    if (count == 0)
        return socket;
    if (count != 1 || sd_is_socket_inet(SD_LISTEN_FDS_START, AF_UNSPEC, SOCK_STREAM, 1, 0) <= 0
        || !describe(SD_LISTEN_FDS_START, &socket))
        *problem = QStringLiteral("A systemd nem egy figyelő TCP socketet adott át (LISTEN_FDS=%1): a "
                                  "stilwater-server.socket egyetlen ListenStream= sort tartalmazhat.")
                       .arg(count);
    return socket;
}
