#include "service/httpendpoint.h"

#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <httplib.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A whole request's head handed to cpp-httplib, and its answer gathered to be sent without blocking.
class RequestStream final : public httplib::Stream
{
public:
    RequestStream(int socket, const std::string& head, std::string* answer)
        : descriptor(socket), head(head), answer(answer)
    { }

    bool is_readable() const override { return offset < head.size(); }
    bool is_writable() const override { return true; }

    ssize_t read(char* ptr, size_t size) override
    {
        const std::size_t length = std::min(size, head.size() - offset);
        std::memcpy(ptr, head.data() + offset, length);
        offset += length;
        return static_cast<ssize_t>(length);
    }

    ssize_t write(const char* ptr, size_t size) override
    {
        answer->append(ptr, size);
        return static_cast<ssize_t>(size);
    }

    // The answers are the same for every client.
    void get_remote_ip_and_port(std::string& ip, int& port) const override
    {
        ip.clear();
        port = 0;
    }

    void get_local_ip_and_port(std::string& ip, int& port) const override
    {
        ip.clear();
        port = 0;
    }

    socket_t socket() const override { return descriptor; }

private:
    const int descriptor;
    const std::string& head;
    std::size_t offset = 0;
    std::string* answer;
};

struct connection_t
{
    int socket;
    Clock::time_point deadline;
    std::string request;
    std::string answer; // empty while the request is not whole
    std::size_t sent = 0;
};

bool headIsWhole(const std::string& request)
{
    return request.find("\r\n\r\n") != std::string::npos || request.find("\n\n") != std::string::npos;
}

const char* const tooLarge
    = "HTTP/1.1 431 Request Header Fields Too Large\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";

// How long accepting rests when the process has no descriptor left, instead of a poll that returns
// at once for the connection still waiting.
constexpr std::chrono::milliseconds acceptRest {100};

} // namespace

class HttpEndpoint::Router final : public httplib::Server
{
public:
    using httplib::Server::process_request;
};

bool parseHttpAddress(const QString& text, QString* host, quint16* port)
{
    static const QRegularExpression form(QStringLiteral("^(?:\\[([^\\]]+)\\]:|([^:\\[\\]]+):)?(\\d{1,5})$"));
    const QRegularExpressionMatch match = form.match(text);
    const uint number = match.captured(3).toUInt();
    if (!match.hasMatch() || number == 0 || number > 65535)
        return false;
    const QString given = match.captured(1) + match.captured(2);
    *host = given.isEmpty() ? QStringLiteral("127.0.0.1") : given;
    *port = static_cast<quint16>(number);
    return true;
}

HttpEndpoint::HttpEndpoint() : router(std::make_unique<Router>())
{
    // A body is never read: no answer needs one, and reading one is memory and time that any client
    // could take.
    router->set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
        const bool body = request.has_header("Transfer-Encoding")
            || (request.has_header("Content-Length") && request.get_header_value("Content-Length") != "0");
        if (!body)
            return httplib::Server::HandlerResponse::Unhandled;
        response.status = 413;
        return httplib::Server::HandlerResponse::Handled;
    });
}

HttpEndpoint::~HttpEndpoint()
{
    if (thread.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wake, &one, sizeof one);
        thread.join();
    }
    for (const int descriptor : {listener, wake}) {
        if (descriptor >= 0)
            ::close(descriptor);
    }
}

httplib::Server& HttpEndpoint::routes()
{
    return *router;
}

bool HttpEndpoint::listen(const QString& host, quint16 port)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.toStdString().c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return false;
    for (const addrinfo* place = found; place && listener < 0; place = place->ai_next) {
        listener = ::socket(place->ai_family, place->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, place->ai_protocol);
        if (listener < 0)
            continue;
        // SO_REUSEADDR only: a restart binds again at once, while a port that any other socket holds,
        // even one that allows sharing, is refused instead of shared.
        const int yes = 1;
        const int no = 0;
        ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        // "::" is every IPv6 and IPv4 address together, as the device port.
        if (place->ai_family == AF_INET6)
            ::setsockopt(listener, IPPROTO_IPV6, IPV6_V6ONLY, &no, sizeof no);
        if (::bind(listener, place->ai_addr, place->ai_addrlen) != 0 || ::listen(listener, SOMAXCONN) != 0) {
            ::close(listener);
            listener = -1;
        }
    }
    ::freeaddrinfo(found);
    if (listener < 0)
        return false;
    wake = ::eventfd(0, EFD_CLOEXEC);
    return wake >= 0;
}

void HttpEndpoint::serve()
{
    thread = std::thread([this] { run(); });
}

void HttpEndpoint::run()
{
    std::vector<connection_t> open; // in the order accepted, so by deadline
    std::vector<pollfd> polled;
    Clock::time_point acceptFrom = Clock::now();
    char buffer[httpRequestLimit + 1];
    for (;;) {
        Clock::time_point now = Clock::now();
        const auto late
            = std::find_if(open.begin(), open.end(), [now](const connection_t& c) { return c.deadline > now; });
        std::for_each(open.begin(), late, [](const connection_t& c) { ::close(c.socket); });
        open.erase(open.begin(), late);

        const bool accepting = now >= acceptFrom;
        polled.assign({{wake, POLLIN, 0}, {listener, static_cast<short>(accepting ? POLLIN : 0), 0}});
        for (const connection_t& c : open)
            polled.push_back({c.socket, static_cast<short>(c.answer.empty() ? POLLIN : POLLOUT), 0});
        Clock::time_point until = accepting ? Clock::time_point::max() : acceptFrom;
        if (!open.empty())
            until = std::min(until, open.front().deadline);
        int timeout = -1;
        if (until != Clock::time_point::max())
            timeout = static_cast<int>(
                std::max<long long>(0, std::chrono::ceil<std::chrono::milliseconds>(until - now).count()));
        if (::poll(polled.data(), polled.size(), timeout) < 0 && errno != EINTR)
            break;
        if (polled[0].revents != 0)
            break;

        for (std::size_t i = 0; i < open.size(); ++i) {
            connection_t& c = open[i];
            if (polled[i + 2].revents == 0)
                continue;
            bool finished = false;
            if (c.answer.empty()) {
                const ssize_t got = ::recv(c.socket, buffer, httpRequestLimit + 1 - c.request.size(), 0);
                if (got > 0)
                    c.request.append(buffer, static_cast<std::size_t>(got));
                finished = got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR);
                if (!finished && headIsWhole(c.request)) {
                    RequestStream stream(c.socket, c.request, &c.answer);
                    bool closed = false;
                    router->process_request(stream, true, closed, nullptr);
                } else if (!finished && c.request.size() > httpRequestLimit) {
                    c.answer = tooLarge;
                }
            }
            if (!finished && !c.answer.empty()) {
                const ssize_t put
                    = ::send(c.socket, c.answer.data() + c.sent, c.answer.size() - c.sent, MSG_NOSIGNAL | MSG_DONTWAIT);
                if (put > 0)
                    c.sent += static_cast<std::size_t>(put);
                // One request per connection, so that no idle connection stays.
                finished = c.sent == c.answer.size() || (put < 0 && errno != EAGAIN && errno != EINTR);
            }
            if (finished) {
                ::close(c.socket);
                c.socket = -1;
            }
        }
        open.erase(
            std::remove_if(open.begin(), open.end(), [](const connection_t& c) { return c.socket < 0; }), open.end());

        if ((polled[1].revents & POLLIN) == 0)
            continue;
        now = Clock::now();
        for (int socket; (socket = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
            // The one that has waited longest for its request gives way: a balancer's check sends its
            // request at once, so only a client that dawdles is let go.
            if (open.size() >= static_cast<std::size_t>(httpConnections)) {
                const auto waiting
                    = std::find_if(open.begin(), open.end(), [](const connection_t& c) { return c.answer.empty(); });
                if (waiting == open.end()) {
                    ::close(socket);
                    continue;
                }
                ::close(waiting->socket);
                open.erase(waiting);
            }
            open.push_back({socket, now + httpDeadline, {}, {}, 0});
        }
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
            acceptFrom = now + acceptRest;
    }
    for (const connection_t& c : open)
        ::close(c.socket);
}
