#include "tests/platformfaults.h"

#include <windows.h>
#include <winsock2.h>

bool makeSymbolicLink(const QString& target, const QString& link)
{
    // Qt's own link on Windows is a shortcut file, which the program rightly takes for a plain file.
    const auto linkName = reinterpret_cast<const wchar_t*>(link.utf16());
    if (!CreateSymbolicLinkW(
            linkName, reinterpret_cast<const wchar_t*>(target.utf16()), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
        return false;
    const DWORD attributes = GetFileAttributesW(linkName);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool runsUnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

bool halfClose(qintptr socketDescriptor)
{
    return ::shutdown(static_cast<SOCKET>(socketDescriptor), SD_SEND) == 0;
}

std::function<void()> holdLocked(const QString& path)
{
    const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_READ | GENERIC_WRITE, 0,
        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return [file] { CloseHandle(file); };
}
