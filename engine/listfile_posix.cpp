#include "engine/listfile.h"

#include <QFile>

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What is left of the file from `descriptor`'s position; a sentence in `reason` when it cannot be
// read, or when it outgrew `maxSize` since fstat.
QByteArray readUpTo(int descriptor, qint64 maxSize, QString* reason)
{
    QByteArray text;
    std::array<char, 65536> piece {};
    for (;;) {
        const ssize_t got = ::read(descriptor, piece.data(), piece.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *reason = qt_error_string(errno);
            return {};
        }
        if (got == 0)
            return text;
        text.append(piece.data(), got);
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
    const QByteArray name = QFile::encodeName(path);
    // Without O_NONBLOCK, opening a FIFO waits for a writer.
    const int descriptor = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        const int error = errno;
        // A link whose target is gone stands for a list, on a share not mounted, say: not for none.
        struct stat link
        {
        };
        if (error != ENOENT || ::lstat(name.constData(), &link) == 0) {
            file.state = list_file_t::State::Unreadable;
            file.reason = qt_error_string(error);
        }
        return file;
    }
    struct stat status
    {
    };
    if (::fstat(descriptor, &status) != 0)
        file.reason = qt_error_string(errno);
    else if (!S_ISREG(status.st_mode))
        file.reason = notARegularFile();
    else if (status.st_size > maxSize)
        file.reason = tooLarge(maxSize);
    else
        file.text = readUpTo(descriptor, maxSize, &file.reason);
    ::close(descriptor);
    file.state = file.reason.isEmpty() ? list_file_t::State::Read : list_file_t::State::Unreadable;
    return file;
}
