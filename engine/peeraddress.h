#pragma once

#include <QString>

#include <asio/ip/address.hpp>

// A device's address as the message window shows it: an IPv4 device in dotted form even when it
// reached a dual-stack listener (never "::ffff:192.0.2.10"), an IPv6 device in IPv6 text.
QString peerAddressText(const asio::ip::address& address);

// The source that the limit per address counts: an IPv4 address as it is, an IPv6 address by its
// first `ipv6Prefix` bits (1 to 128), since a single host given a /64 has every address in it to
// connect from.
QString addressBlock(const asio::ip::address& address, int ipv6Prefix);
