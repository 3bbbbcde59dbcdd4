#pragma once

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <optional>

// Opens a listener on `port` of every local address: IPv6 and IPv4 together where the machine has
// IPv6, IPv4 alone where it has not. Nothing for a port outside 1 to 65535: the system would take
// 0 as "any free port", and a larger number would lose its high bits.
std::optional<asio::ip::tcp::acceptor> openListener(asio::io_context& context, int port);

// Whether the server could listen on `port` now, tried with the same kind of listener.
bool canListen(int port);
