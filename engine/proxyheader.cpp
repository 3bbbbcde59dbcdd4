#include "engine/proxyheader.h"

#include <QList>
#include <QtEndian>

#include <cstring>

namespace {

constexpr QByteArrayView textSignature("PROXY ");
constexpr char binarySignature[] = "\r\n\r\n\0\r\nQUIT\n";
constexpr qsizetype binarySignatureSize = 12;
constexpr qsizetype binaryFixedSize = 16;
constexpr qsizetype textMaxSize = 107; // "\r\n" included

bool startsLike(QByteArrayView bytes, QByteArrayView signature)
{
    const qsizetype common = std::min(bytes.size(), signature.size());
    return bytes.first(common) == signature.first(common);
}

ProxyHeader invalid()
{
    return {ProxyHeader::State::Invalid, 0, std::nullopt};
}

// HAProxy's health checks name 0.0.0.0: the balancer's own connection.
ProxyHeader complete(qsizetype size, const asio::ip::address& source)
{
    return {ProxyHeader::State::Complete, size,
        source.is_unspecified() ? std::nullopt : std::optional<asio::ip::address>(source)};
}

std::optional<quint16> portNumber(const QByteArray& text)
{
    bool ok = false;
    const uint port = text.toUInt(&ok);
    // Digits only, no leading zero: the protocol fixes the form.
    if (!ok || port > 65535 || text.startsWith('+') || (text.size() > 1 && text.startsWith('0')))
        return std::nullopt;
    return quint16(port);
}

ProxyHeader parseText(QByteArrayView bytes)
{
    const qsizetype end = bytes.indexOf(QByteArrayView("\r\n"));
    if (end < 0)
        return bytes.size() < textMaxSize ? ProxyHeader {} : invalid();
    if (end + 2 > textMaxSize)
        return invalid();
    const QList<QByteArray> fields = bytes.first(end).toByteArray().split(' ');
    const qsizetype size = end + 2;
    if (fields.size() >= 2 && fields.at(1) == "UNKNOWN")
        return {ProxyHeader::State::Complete, size, std::nullopt};
    if (fields.size() != 6 || (fields.at(1) != "TCP4" && fields.at(1) != "TCP6"))
        return invalid();
    asio::error_code sourceError;
    asio::error_code destinationError;
    const asio::ip::address source = asio::ip::make_address(fields.at(2).toStdString(), sourceError);
    const asio::ip::address destination = asio::ip::make_address(fields.at(3).toStdString(), destinationError);
    const bool v4 = fields.at(1) == "TCP4";
    if (sourceError || destinationError || source.is_v4() != v4 || destination.is_v4() != v4
        || !portNumber(fields.at(4)) || !portNumber(fields.at(5)))
        return invalid();
    return complete(size, source);
}

ProxyHeader parseBinary(QByteArrayView bytes)
{
    if (bytes.size() < binaryFixedSize)
        return {};
    const auto versionCommand = quint8(bytes.at(12));
    const auto family = quint8(bytes.at(13));
    const qsizetype size = binaryFixedSize + qFromBigEndian<quint16>(bytes.data() + 14);
    if (versionCommand >> 4 != 2 || (versionCommand & 0xF) > 1 || size > ProxyHeader::maxSize)
        return invalid();
    if (bytes.size() < size)
        return {};
    const auto* address = reinterpret_cast<const unsigned char*>(bytes.data() + binaryFixedSize);
    const bool local = (versionCommand & 0xF) == 0;
    // Over TCP (stream, low nibble 1) with IPv4 or IPv6 addresses; other families carry none to take.
    if (local || (family != 0x11 && family != 0x21))
        return {ProxyHeader::State::Complete, size, std::nullopt};
    if (family == 0x11 && size >= binaryFixedSize + 12) {
        asio::ip::address_v4::bytes_type v4;
        std::memcpy(v4.data(), address, v4.size());
        return complete(size, asio::ip::address_v4(v4));
    }
    if (family == 0x21 && size >= binaryFixedSize + 36) {
        asio::ip::address_v6::bytes_type v6;
        std::memcpy(v6.data(), address, v6.size());
        return complete(size, asio::ip::address_v6(v6));
    }
    return invalid();
}

} // namespace

ProxyHeader parseProxyHeader(QByteArrayView bytes)
{
    const QByteArrayView binary(binarySignature, binarySignatureSize);
    if (startsLike(bytes, binary) && startsLike(bytes, textSignature))
        return {}; // nothing yet
    if (startsLike(bytes, binary))
        return bytes.size() < binarySignatureSize ? ProxyHeader {} : parseBinary(bytes);
    if (startsLike(bytes, textSignature))
        return bytes.size() < textSignature.size() ? ProxyHeader {} : parseText(bytes);
    return invalid();
}
