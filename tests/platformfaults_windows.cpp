#include "tests/platformfaults.h"

#include <windows.h>
#include <winsock2.h>

bool makeSymbolicLink(const QString& target, const QString& link)
{
    // Qt's own link on Windows is a shortcut file, which the program rightly takes for a plain file.
    return CreateSymbolicLinkW(reinterpret_cast<const wchar_t*>(link.utf16()),
        reinterpret_cast<const wchar_t*>(target.utf16()), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
}

bool halfClose(qintptr socketDescriptor)
{
    return ::shutdown(static_cast<SOCKET>(socketDescriptor), SD_SEND) == 0;
}
