#include "recording/dayfile.h"

#include "recording/fileops.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A link would lead the line into whatever file it names; a FIFO without a reader would hold the
// event loop until one came, and with O_NONBLOCK fails at once instead. Read access, where it is
// given, lets the last byte be looked at.
constexpr int appending = O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;

int openRetrying(const QByteArray& name, int flags)
{
    int descriptor = -1;
    do
        descriptor = fileOps().open(name.constData(), flags, 0666);
    while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

int openForAppending(const QByteArray& name, int extra)
{
    const int descriptor = openRetrying(name, O_RDWR | appending | extra);
    if (descriptor >= 0 || errno != EACCES)
        return descriptor;
    return openRetrying(name, O_WRONLY | appending | extra);
}

// What the file's last line lacks: nothing when it is empty or ends in a line feed.
QByteArray missingLineBreak(int descriptor, off_t size)
{
    char last = '\n';
    if (size > 0 && ::pread(descriptor, &last, 1, size - 1) != 1)
        last = '\n'; // written only, never read: nothing to go by
    if (last == '\n')
        return {};
    return last == '\r' ? QByteArray("\n") : QByteArray("\r\n");
}

} // namespace

std::shared_ptr<DayFile> DayFile::open(const QString& fileName, Missing missing, Outcome* outcome)
{
    const QByteArray encoded = QFile::encodeName(fileName);
    bool created = false;
    int descriptor = openForAppending(encoded, 0);
    if (descriptor < 0 && errno == ENOENT && missing == Missing::Create) {
        descriptor = openForAppending(encoded, O_CREAT | O_EXCL);
        created = descriptor >= 0;
        if (descriptor < 0 && errno == EEXIST) // made by someone else meanwhile
            descriptor = openForAppending(encoded, 0);
    }
    if (outcome)
        *outcome = descriptor >= 0 ? Outcome::Opened : errno == ENOENT ? Outcome::Absent : Outcome::Refused;
    if (descriptor < 0)
        return nullptr;
    struct stat status
    {
    };
    // A FIFO with a reader or a device opens all the same.
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        fileOps().close(descriptor);
        if (outcome)
            *outcome = Outcome::Refused;
        return nullptr;
    }
    std::shared_ptr<DayFile> file(new DayFile(fileName, encoded, descriptor, created));
    file->device = status.st_dev;
    file->inode = status.st_ino;
    file->lineBreakDue = missingLineBreak(descriptor, status.st_size);
    return file;
}

DayFile::DayFile(QString name, QByteArray encodedName, int fd, bool created)
    : name(std::move(name)), encodedName(std::move(encodedName)), fd(fd), created(created), folderSyncDue(created)
{ }

DayFile::~DayFile()
{
    fileOps().close(fd);
}

bool DayFile::stillAtItsPath() const
{
    struct stat status
    {
    };
    return ::lstat(encodedName.constData(), &status) == 0 && status.st_dev == device && status.st_ino == inode;
}

bool DayFile::append(const QByteArray& line)
{
    const QByteArray bytes = lineBreakDue.isEmpty() ? line : lineBreakDue + line;
    ssize_t written = -1;
    do
        written = fileOps().write(fd, bytes.constData(), static_cast<size_t>(bytes.size()));
    while (written < 0 && errno == EINTR);
    if (written == bytes.size()) {
        lineBreakDue.clear();
        return true;
    }
    // Part of the line may have reached the file (a full disk): the next one starts afresh.
    if (written > 0)
        lineBreakDue = QByteArray("\r\n");
    return false;
}

QByteArray DayFile::folderPath() const
{
    return QFile::encodeName(QFileInfo(name).absolutePath());
}
