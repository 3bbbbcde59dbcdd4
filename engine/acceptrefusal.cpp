#include "engine/acceptrefusal.h"

#include <cerrno>

bool isTransientAcceptError(const std::error_code& error)
{
    if (error.category() != std::system_category())
        return false;
    switch (error.value()) {
    case ECONNABORTED:
    case EINTR:
    case EPERM:
    case EPROTO:
    case ENETDOWN:
    case ENETUNREACH:
#ifdef EHOSTDOWN // Linux's; Windows has no such error
    case EHOSTDOWN:
#endif
    case EHOSTUNREACH:
    case ENOPROTOOPT:
    case EOPNOTSUPP:
        return true;
    default:
        return false;
    }
}

QString refusalText(const std::error_code& error)
{
    const QString start = QStringLiteral("Új kapcsolat nem fogadható: ");
    if (error == std::errc::too_many_files_open || error == std::errc::too_many_files_open_in_system)
        return start + QStringLiteral("elfogytak a fájlleírók.\n");
    if (error == std::errc::not_enough_memory || error == std::errc::no_buffer_space)
        return start + QStringLiteral("elfogyott a rendszer memóriája.\n");
    return start + QStringLiteral("rendszerhiba (%1).\n").arg(QString::fromStdString(error.message()));
}
