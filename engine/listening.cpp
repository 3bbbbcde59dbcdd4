#include "engine/listening.h"

#include <asio/ip/v6_only.hpp>

namespace {

// A reconnect storm would otherwise turn into seconds of SYN retries; the system caps it at its own
// maximum.
constexpr int listenBacklog = 4096;

bool tryListen(asio::ip::tcp::acceptor& acceptor, const asio::ip::tcp::endpoint& endpoint)
{
    asio::error_code error;
    acceptor.open(endpoint.protocol(), error);
    if (error)
        return false;
    if (endpoint.protocol() == asio::ip::tcp::v6())
        acceptor.set_option(asio::ip::v6_only(false), error);
#ifndef _WIN32
    // Devices that were connected at a stop leave their ports in TIME_WAIT; a new start must not
    // wait for them. The system still refuses a port that another program listens on (Windows
    // would not: there it would share the port).
    acceptor.set_option(asio::ip::tcp::acceptor::reuse_address(true), error);
#endif
    acceptor.bind(endpoint, error);
    if (!error)
        acceptor.listen(listenBacklog, error);
    if (!error)
        return true;
    acceptor.close(error);
    return false;
}

} // namespace

std::optional<asio::ip::tcp::acceptor> openListener(asio::io_context& context, int port, const std::string& address)
{
    if (port < 1 || port > 65535)
        return std::nullopt;
    const auto portNumber = static_cast<asio::ip::port_type>(port);
    asio::ip::tcp::acceptor acceptor(context);
    asio::error_code error;
    if (!address.empty()) {
        const asio::ip::address chosen = asio::ip::make_address(address, error);
        if (error || !tryListen(acceptor, asio::ip::tcp::endpoint(chosen, portNumber)))
            return std::nullopt;
        return acceptor;
    }
    // Only a machine without IPv6 falls back to IPv4: a port that is taken is taken for both.
    acceptor.open(asio::ip::tcp::v6(), error);
    const bool hasIpv6 = !error;
    acceptor.close(error);
    const asio::ip::tcp::endpoint endpoint(hasIpv6 ? asio::ip::tcp::v6() : asio::ip::tcp::v4(), portNumber);
    if (!tryListen(acceptor, endpoint))
        return std::nullopt;
    return acceptor;
}

std::optional<asio::ip::tcp::acceptor> adoptListener(asio::io_context& context, int descriptor)
{
    asio::ip::tcp::acceptor acceptor(context);
    asio::error_code error;
    // The socket's family decides the protocol; its address, read through a first assignment,
    // tells which.
    acceptor.assign(asio::ip::tcp::v6(), descriptor, error);
    const asio::ip::tcp::endpoint local = acceptor.local_endpoint(error);
    if (error)
        return std::nullopt;
    if (local.protocol() != asio::ip::tcp::v6()) {
        const auto handle = acceptor.release(error);
        acceptor.assign(asio::ip::tcp::v4(), handle, error);
    }
    if (error)
        return std::nullopt;
    return acceptor;
}

bool isListenAddress(const std::string& address)
{
    asio::error_code error;
    asio::ip::make_address(address, error);
    return !error;
}

bool canListen(int port)
{
    asio::io_context context;
    return openListener(context, port).has_value();
}
