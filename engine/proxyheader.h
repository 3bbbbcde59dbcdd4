#pragma once

#include <QByteArrayView>

#include <asio/ip/address.hpp>
#include <optional>

// The PROXY protocol header (versions 1 and 2) that a balancer puts before a device's bytes.
struct ProxyHeader
{
    enum class State { Incomplete, Invalid, Complete };

    // The longest header taken; a balancer adds no extensions unless told to.
    static constexpr qsizetype maxSize = 1024;

    State state = State::Incomplete;
    qsizetype size = 0; // of a complete header: where the device's own bytes begin
    // The device's address; nothing for a header of the balancer's own (LOCAL, UNKNOWN), whose
    // connection then goes by the balancer's address.
    std::optional<asio::ip::address> source;
};

// Looks at the first bytes of a connection: a complete header, a beginning that more bytes may
// complete, or anything else.
ProxyHeader parseProxyHeader(QByteArrayView bytes);
