#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>
#include <sys/types.h>

// One day file, open for appending. Whoever writes it and whoever makes it durable share it; its
// descriptor closes with the last of them.
class DayFile
{
public:
    enum class Missing { Create, Fail };
    enum class Outcome { Opened, Absent, Refused };

    // Opens the file at `fileName` as a regular file, never through a link and never waiting for a
    // FIFO's reader. `outcome`, when given, tells a missing file (with Missing::Fail) from one that
    // cannot be opened or is not a regular file.
    static std::shared_ptr<DayFile> open(const QString& fileName, Missing missing, Outcome* outcome = nullptr);
    ~DayFile();
    DayFile(const DayFile&) = delete;
    DayFile& operator=(const DayFile&) = delete;

    const QString& fileName() const { return name; }
    int descriptor() const { return fd; }

    // Whether the path still names this file: an operator, or log rotation, may have moved, renamed
    // or deleted it since, and then it must not be written again.
    bool stillAtItsPath() const;

    // Appends `line` in one write. A file that ends in a line cut short (by a power cut, a full disk)
    // first gets the line break it lacks, so the new line never glues to it. By one thread at a time.
    bool append(const QByteArray& line);

    // True once for a file that this process created: its folder entry must be made durable before
    // anything in it is relied upon.
    bool takeFolderSync() { return folderSyncDue.exchange(false); }
    // After a sync that failed, for a file this process created: the folder is synced again next time.
    void folderSyncAgain() { folderSyncDue = created; }
    // The folder that holds the file, for syncing it.
    QByteArray folderPath() const;

private:
    DayFile(QString name, QByteArray encodedName, int fd, bool created);

    const QString name;
    const QByteArray encodedName;
    const int fd;
    const bool created;
    dev_t device = 0;
    ino_t inode = 0;
    QByteArray lineBreakDue; // what the file's last line lacks
    std::atomic<bool> folderSyncDue;
};
