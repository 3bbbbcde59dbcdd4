#include "engine/listfile.h"

#include <QDir>

#include <array>
#include <windows.h>

namespace {

// What is left of the file from the handle's position; a sentence in `reason` when it cannot be
// read, or when it outgrew `maxSize` since its size was taken.
QByteArray readUpTo(HANDLE handle, qint64 maxSize, QString* reason)
{
    QByteArray text;
    std::array<char, 65536> piece {};
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(handle, piece.data(), DWORD(piece.size()), &got, nullptr)) {
            *reason = qt_error_string(int(GetLastError()));
            return {};
        }
        if (got == 0)
            return text;
        text.append(piece.data(), qsizetype(got));
        if (text.size() > maxSize) {
            *reason = tooLarge(maxSize);
            return {};
        }
    }
}

} // namespace

list_file_t readListFile(const QString& path, qint64 maxSize)
{
    list_file_t file;
    const QString native = QDir::toNativeSeparators(path);
    const auto* name = reinterpret_cast<const wchar_t*>(native.utf16());
    const DWORD attributes = GetFileAttributesW(name);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            file.state = list_file_t::State::Unreadable;
            file.reason = qt_error_string(int(error));
        }
        return file;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        file.state = list_file_t::State::Unreadable;
        file.reason = notARegularFile();
        return file;
    }
    // Shared for writing and deleting, so that the operator's editor is never locked out.
    const HANDLE handle = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        file.state = list_file_t::State::Unreadable;
        file.reason = qt_error_string(int(GetLastError()));
        return file;
    }
    LARGE_INTEGER size {};
    if (GetFileType(handle) != FILE_TYPE_DISK)
        file.reason = notARegularFile();
    else if (!GetFileSizeEx(handle, &size))
        file.reason = qt_error_string(int(GetLastError()));
    else if (size.QuadPart > maxSize)
        file.reason = tooLarge(maxSize);
    else
        file.text = readUpTo(handle, maxSize, &file.reason);
    CloseHandle(handle);
    file.state = file.reason.isEmpty() ? list_file_t::State::Read : list_file_t::State::Unreadable;
    return file;
}
