#include "tests/platformfaults.h"

#include <QFile>

#include <sys/socket.h>

bool makeSymbolicLink(const QString& target, const QString& link)
{
    return QFile::link(target, link);
}

bool halfClose(qintptr socketDescriptor)
{
    return ::shutdown(static_cast<int>(socketDescriptor), SHUT_WR) == 0;
}

bool runsUnderWine()
{
    return false;
}
