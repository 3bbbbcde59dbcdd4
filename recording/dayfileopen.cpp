#include "recording/dayfileopen.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr QIODevice::OpenMode appending = QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered;

} // namespace

bool openDayFile(QFile& file, MissingFile missing)
{
#ifdef Q_OS_UNIX
    // A link would lead the line into whatever file it names; a FIFO without a reader would hold the
    // event loop until one came, and with O_NONBLOCK fails at once instead.
    int flags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    if (missing == MissingFile::Create)
        flags |= O_CREAT;
    const QByteArray name = QFile::encodeName(file.fileName());
    int descriptor = -1;
    do
        descriptor = ::open(name.constData(), flags, 0666);
    while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0)
        return false;
    // A FIFO with a reader or a device opens all the same.
    struct stat status
    {
    };
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)
        || !file.open(descriptor, appending, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        return false;
    }
    return true;
#else
    return file.open(missing == MissingFile::Create ? appending : appending | QIODevice::ExistingOnly);
#endif
}
