#include "recording/fileops.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A link would lead the line into whatever file it names; a FIFO without a reader would hold the
// event loop until one came, and with O_NONBLOCK fails at once instead. Read access, where it is
// given, lets the last byte be looked at.
constexpr int appending = O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;

int openRetrying(const char* name, int flags)
{
    int descriptor = -1;
    do
        descriptor = ::open(name, flags, 0666);
    while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

FileHandle openFile(const QByteArray& nativeName, FileOpen how)
{
    if (how == FileOpen::Folder)
        return openRetrying(nativeName.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int extra = how == FileOpen::New ? O_CREAT | O_EXCL : 0;
    const int descriptor = openRetrying(nativeName.constData(), O_RDWR | appending | extra);
    if (descriptor >= 0 || errno != EACCES)
        return descriptor;
    return openRetrying(nativeName.constData(), O_WRONLY | appending | extra);
}

long long writeFile(FileHandle file, const char* data, std::size_t size)
{
    ssize_t written = -1;
    do
        written = ::write(file, data, size);
    while (written < 0 && errno == EINTR);
    return written;
}

bool syncData(FileHandle file)
{
    return ::fdatasync(file) == 0;
}

bool syncEntries(FileHandle folder)
{
    return ::fsync(folder) == 0;
}

bool syncWholeFileSystem(FileHandle any)
{
    return ::syncfs(any) == 0;
}

void closeFile(FileHandle file)
{
    ::close(file);
}

} // namespace

FileError lastFileError()
{
    switch (errno) {
    case ENOENT:
        return FileError::Absent;
    case EEXIST:
        return FileError::Exists;
    case EMFILE:
    case ENFILE:
        return FileError::OutOfHandles;
    default:
        return FileError::Other;
    }
}

QByteArray nativeFileName(const QString& name)
{
    return QFile::encodeName(name);
}

const FileOps& systemFileOps()
{
    static const FileOps ops {openFile, writeFile, syncData, syncEntries, syncWholeFileSystem, closeFile};
    return ops;
}

std::optional<FileFacts> factsOf(FileHandle file)
{
    struct stat status
    {
    };
    if (::fstat(file, &status) != 0)
        return std::nullopt;
    // A FIFO with a reader, or a device, opens all the same.
    return FileFacts {S_ISREG(status.st_mode), {quint64(status.st_dev), quint64(status.st_ino)}, status.st_size};
}

std::optional<FileIdentity> identityAt(const QByteArray& nativeName)
{
    struct stat status
    {
    };
    if (::lstat(nativeName.constData(), &status) != 0)
        return std::nullopt;
    return FileIdentity {quint64(status.st_dev), quint64(status.st_ino)};
}

std::optional<char> byteAt(FileHandle file, long long offset)
{
    char byte = 0;
    if (::pread(file, &byte, 1, offset) != 1)
        return std::nullopt;
    return byte;
}
