#pragma once

#include <QString>

#include <asio/ip/address.hpp>

// A device's address as the message window shows it: an IPv4 device in dotted form even when it
// reached a dual-stack listener (never "::ffff:192.0.2.10"), an IPv6 device in IPv6 text.
QString peerAddressText(const asio::ip::address& address);
