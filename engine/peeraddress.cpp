#include "engine/peeraddress.h"

QString peerAddressText(const asio::ip::address& address)
{
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return QString::fromStdString(asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6()).to_string());
    return QString::fromStdString(address.to_string());
}

QString addressBlock(const asio::ip::address& address, int ipv6Prefix)
{
    if (!address.is_v6() || address.to_v6().is_v4_mapped())
        return peerAddressText(address);
    asio::ip::address_v6::bytes_type bytes = address.to_v6().to_bytes();
    for (std::size_t bit = static_cast<std::size_t>(ipv6Prefix); bit < bytes.size() * 8; ++bit)
        bytes[bit / 8] &= static_cast<unsigned char>(~(0x80U >> (bit % 8)));
    return QString::fromStdString(asio::ip::make_address_v6(bytes).to_string()) + QLatin1Char('/')
        + QString::number(ipv6Prefix);
}
