#include "forward/dayfilesondisk.h"

#include "engine/datafiles.h"
#include "recording/fileops.h"
#include "settings/settings.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString dataFolder(const settings_t& settings)
{
    return settings.file.path.isEmpty() ? QStringLiteral(".") : settings.file.path;
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

struct Descriptor
{
    explicit Descriptor(int fd) : fd(fd) { }
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    const int fd;
};

} // namespace

DayFilesOnDisk dayFilesOnDisk(const settings_t& settings, DayFileNames* names, QString* problem)
{
    DayFilesOnDisk found;
    const QString folder = dataFolder(settings);
    const std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(QFile::encodeName(folder).constData()), ::closedir);
    if (!directory) {
        *problem = QStringLiteral("Az adatmappa nem olvasható (%1): %2.").arg(folder, systemError(errno));
        return found;
    }
    const DataFileNames naming(settings);
    DayFileNames seen;
    seen.reserve(names->size());
    while (const dirent* entry = ::readdir(directory.get())) {
        const QByteArray name(entry->d_name);
        const auto known = names->constFind(name);
        std::optional<DayFileKey> key;
        if (known != names->cend()) {
            key = *known;
        } else if (const auto dayFile = naming.match(QFile::decodeName(name))) {
            key = DayFileKey {dayFile->device, dayFile->day};
        }
        seen.insert(name, key);
        struct stat status
        {
        };
        if (!key || ::fstatat(::dirfd(directory.get()), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0
            || !S_ISREG(status.st_mode))
            continue;
        found[*key] = {settings.file.path + QFile::decodeName(name), qint64(status.st_size), quint64(status.st_dev),
            quint64(status.st_ino)};
    }
    *names = std::move(seen);
    return found;
}

bool syncDataFolder(const settings_t& settings, QString* problem)
{
    // Through the same calls as the server's own syncs, so that a test can play a power cut on both.
    const QString folder = dataFolder(settings);
    const FileOps& ops = fileOps();
    const FileHandle directory = ops.open(nativeFileName(folder), FileOpen::Folder);
    const bool synced = directory >= 0 && ops.syncFileSystem(directory);
    const int error = errno;
    if (directory >= 0)
        ops.close(directory);
    if (!synced)
        *problem = QStringLiteral("Az adatmappa nem menthető a lemezre (%1): %2.").arg(folder, systemError(error));
    return synced;
}

bool readDayFile(const DayFileOnDisk& seen, qint64 from, qint64 to, QByteArray* bytes, QString* problem)
{
    const Descriptor file(::open(QFile::encodeName(seen.path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status
    {
    };
    if (file.fd < 0 || ::fstat(file.fd, &status) != 0) {
        *problem = QStringLiteral("A napi fájl nem olvasható (%1): %2.").arg(seen.path, systemError(errno));
        return false;
    }
    if (quint64(status.st_dev) != seen.device || quint64(status.st_ino) != seen.inode) {
        *problem = QStringLiteral("A napi fájlt olvasás közben lecserélték: %1.").arg(seen.path);
        return false;
    }
    bytes->resize(to - from);
    qint64 done = 0;
    while (done < to - from) {
        const ssize_t count = ::pread(file.fd, bytes->data() + done, size_t(to - from - done), off_t(from + done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            *problem = QStringLiteral("A napi fájl nem olvasható (%1): %2.").arg(seen.path, systemError(errno));
            return false;
        }
        if (count == 0) {
            // Truncated since it was looked at: what is left is read, and the next look says so.
            bytes->truncate(done);
            return true;
        }
        done += count;
    }
    return true;
}
