#include "engine/acceptrefusal.h"

#include <algorithm>
#include <asio/error.hpp>
#include <cerrno>
#include <iterator>

namespace {

// An error of the system that Asio names no value for, as Asio reports it.
std::error_code systemError(int value)
{
    return {value, asio::system_category()};
}

} // namespace

bool isTransientAcceptError(const std::error_code& error)
{
    static const std::error_code transient[] {
#ifdef EHOSTDOWN // Linux's; Windows has neither
        systemError(EHOSTDOWN), systemError(ENONET),
#endif
        asio::error::connection_aborted, asio::error::interrupted, asio::error::no_permission,
        asio::error::network_down, asio::error::network_unreachable, asio::error::host_unreachable,
        asio::error::no_protocol_option, asio::error::operation_not_supported, systemError(EPROTO)};
    return std::find(std::cbegin(transient), std::cend(transient), error) != std::cend(transient);
}

bool isDescriptorShortage(const std::error_code& error)
{
    return error == asio::error::no_descriptors || error == systemError(ENFILE);
}

QString refusalText(const std::error_code& error)
{
    const QString start = QStringLiteral("Új kapcsolat nem fogadható: ");
    if (isDescriptorShortage(error))
        return start + QStringLiteral("elfogytak a fájlleírók.\n");
    if (error == asio::error::no_memory || error == asio::error::no_buffer_space)
        return start + QStringLiteral("elfogyott a rendszer memóriája.\n");
    return start + QStringLiteral("rendszerhiba (%1).\n").arg(QString::fromStdString(error.message()));
}
