#pragma once

#include "recording/fileops.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>

// One day file, open for appending. Whoever writes it and whoever makes it durable share it; its
// handle closes with the last of them.
class DayFile
{
public:
    enum class Missing { Create, Fail };
    enum class Outcome {
        Opened,
        Absent, // missing, with Missing::Fail
        Refused, // cannot be opened, or is not a plain disk file
        Locked, // held by another program that shares it with no writer
        OutOfHandles, // the process or the system has no descriptor to spare
    };

    // Opens the file at `fileName` as a plain disk file, never through a link and never waiting for
    // a FIFO's reader. `outcome`, when given, tells why nothing was opened.
    static std::shared_ptr<DayFile> open(const QString& fileName, Missing missing, Outcome* outcome = nullptr);
    ~DayFile();
    DayFile(const DayFile&) = delete;
    DayFile& operator=(const DayFile&) = delete;

    const QString& fileName() const { return name; }
    FileHandle handle() const { return file; }

    // Whether the path still names this file: an operator, or log rotation, may have moved, renamed
    // or deleted it since, and then it must not be written again.
    bool stillAtItsPath() const;

    // Appends `line` in one write. A file that ends in a line cut short (by a power cut, a full disk)
    // first gets the line break it lacks, so the new line never glues to it. By one thread at a time.
    // True when the whole of it was written; otherwise `locked`, when given, tells whether another
    // program's lock on the file was the reason.
    bool append(const QByteArray& line, bool* locked = nullptr);

    // True once for a file that this process created, where the platform syncs folders: its folder
    // entry must be made durable before anything in it is relied upon.
    bool takeFolderSync() { return folderSyncDue.exchange(false); }
    // After a sync that failed, for a file this process created: the folder is synced again next time.
    void folderSyncAgain() { folderSyncDue = newFolderEntry; }
    // The folder that holds the file, as the system's calls take it.
    QByteArray folderPath() const;

private:
    DayFile(QString name, QByteArray nativeName, FileHandle file, bool created);

    const QString name;
    const QByteArray nativeName;
    const FileHandle file;
    const bool newFolderEntry; // created by this process, on a platform that syncs folders
    FileIdentity identity;
    QByteArray lineBreakDue; // what the file's last line lacks
    std::atomic<bool> folderSyncDue;
};
