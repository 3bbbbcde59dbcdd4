#include "recording/fileops.h"

#include <windows.h>

namespace {

HANDLE handleOf(FileHandle file)
{
    return LongToHandle(file);
}

const wchar_t* wideName(const QByteArray& nativeName)
{
    return reinterpret_cast<const wchar_t*>(nativeName.constData());
}

// While a line is appended, operators may read and copy the file, move or delete it, and another
// writer may append too; a program that opens it without sharing (a spreadsheet that edits it)
// locks the writer out instead, which the writer reports. A reparse point (a symbolic link, a
// junction) is opened as itself, never followed: the caller refuses it.
FileHandle openFile(const QByteArray& nativeName, FileOpen how)
{
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const DWORD disposition = how == FileOpen::New ? CREATE_NEW : OPEN_EXISTING;
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    // Append-only access: every write goes to the end, whoever else writes. Read access, where it is
    // given, lets the last byte be looked at.
    const DWORD appending = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
    HANDLE file
        = CreateFileW(wideName(nativeName), appending | FILE_READ_DATA, sharing, nullptr, disposition, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
        file = CreateFileW(wideName(nativeName), appending, sharing, nullptr, disposition, flags, nullptr);
    return file == INVALID_HANDLE_VALUE ? -1 : HandleToLong(file);
}

long long writeFile(FileHandle file, const char* data, std::size_t size)
{
    DWORD written = 0;
    if (!WriteFile(handleOf(file), data, static_cast<DWORD>(size), &written, nullptr))
        return written > 0 ? static_cast<long long>(written) : -1;
    return written;
}

bool flushFile(FileHandle file)
{
    return FlushFileBuffers(handleOf(file));
}

void closeFile(FileHandle file)
{
    CloseHandle(handleOf(file));
}

} // namespace

FileError lastFileError()
{
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return FileError::Absent;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return FileError::Exists;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return FileError::Locked;
    case ERROR_TOO_MANY_OPEN_FILES:
        return FileError::OutOfHandles;
    default:
        return FileError::Other;
    }
}

QByteArray nativeFileName(const QString& name)
{
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    return QByteArray(reinterpret_cast<const char*>(name.utf16()), (name.size() + 1) * qsizetype(sizeof(char16_t)));
}

const FileOps& systemFileOps()
{
    static const FileOps ops {openFile, writeFile, flushFile, nullptr, nullptr, closeFile};
    return ops;
}

std::optional<FileFacts> factsOf(FileHandle file)
{
    BY_HANDLE_FILE_INFORMATION info {};
    if (!GetFileInformationByHandle(handleOf(file), &info))
        return std::nullopt;
    const bool plain = GetFileType(handleOf(file)) == FILE_TYPE_DISK
        && !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
    return FileFacts {plain, {info.dwVolumeSerialNumber, (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow},
        static_cast<long long>((quint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow)};
}

std::optional<FileIdentity> identityAt(const QByteArray& nativeName)
{
    // No access to the content: this opens whatever is there, shared in every way.
    const HANDLE file = CreateFileW(wideName(nativeName), FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    const std::optional<FileFacts> facts = factsOf(HandleToLong(file));
    CloseHandle(file);
    if (!facts)
        return std::nullopt;
    return facts->identity;
}

std::optional<char> byteAt(FileHandle file, long long offset)
{
    OVERLAPPED at {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(quint64(offset) >> 32);
    char byte = 0;
    DWORD read = 0;
    if (!ReadFile(handleOf(file), &byte, 1, &read, &at) || read != 1)
        return std::nullopt;
    return byte;
}
