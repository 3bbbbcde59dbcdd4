#pragma once

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <optional>
#include <string>

// Opens a listener on `port` of every local address: IPv6 and IPv4 together where the machine has
// IPv6, IPv4 alone where it has not; or of `address` alone when one is given ("::" is every
// address again, "0.0.0.0" every IPv4 one). Nothing for a port outside 1 to 65535: the system would
// take 0 as "any free port", and a larger number would lose its high bits.
std::optional<asio::ip::tcp::acceptor> openListener(
    asio::io_context& context, int port, const std::string& address = std::string());

// Takes over a socket that already listens, as systemd hands it on; nothing when it is not a socket.
std::optional<asio::ip::tcp::acceptor> adoptListener(asio::io_context& context, int descriptor);

// Whether `address` is an IPv4 or IPv6 address that a listener can be given.
bool isListenAddress(const std::string& address);

// Whether the server could listen on `port` now, tried with the same kind of listener.
bool canListen(int port);
