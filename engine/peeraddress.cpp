#include "engine/peeraddress.h"

QString peerAddressText(const asio::ip::address& address)
{
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return QString::fromStdString(asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6()).to_string());
    return QString::fromStdString(address.to_string());
}
