#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <optional>

// An open file as the system hands it out: a descriptor, or on Windows a kernel handle, whose value
// Windows keeps within 32 bits for every process. Negative: none.
using FileHandle = int;

enum class FileOpen {
    Existing, // for appending
    New, // for appending, only if nothing is at the path yet
    Folder, // for syncing its entries
};

// Why the last call of this thread failed, as far as storing cares.
enum class FileError { Absent, Exists, Locked, OutOfHandles, Other };
FileError lastFileError();

// The name as the system's calls take it: on Linux its bytes in the system's encoding, on Windows
// UTF-16 with its terminating null, so that the same device name makes the same file name on both.
QByteArray nativeFileName(const QString& name);

// The system calls through which the day files are written and made durable, in one place, so that
// a test can record each of them and play a power cut at any point between two. Never a link
// followed, never a wait for a FIFO's reader.
struct FileOps
{
    FileHandle (*open)(const QByteArray& nativeName, FileOpen how);
    long long (*write)(FileHandle file, const char* data, std::size_t size); // bytes written, or -1
    bool (*syncFile)(FileHandle file); // its content, and what is needed to find it again
    // Null where the platform has none: Windows gives programs neither, and NTFS logs a new file's
    // entry with the file itself, which the file's own sync commits.
    bool (*syncFolder)(FileHandle folder); // the folder's entries
    bool (*syncFileSystem)(FileHandle any); // every change of the file system that holds `any`
    void (*close)(FileHandle file);
};

const FileOps& systemFileOps();
const FileOps& fileOps();

// Replaces the calls until the next replacement; `ops` with every member null brings back the
// system's own. Set it while no server runs.
void setFileOps(const FileOps& ops);

// What the system tells of a file: where it lives on its volume, which no rename changes.
struct FileIdentity
{
    quint64 volume = 0;
    quint64 index = 0;
    bool operator==(const FileIdentity& other) const { return volume == other.volume && index == other.index; }
};

struct FileFacts
{
    bool diskFile = false; // a plain file on a disk: not a link, a folder, a FIFO or a device
    FileIdentity identity;
    long long size = 0;
};

// Of an open file; nothing when the system cannot say.
std::optional<FileFacts> factsOf(FileHandle file);
// Of what is at the path itself, a link not followed; nothing when nothing is there.
std::optional<FileIdentity> identityAt(const QByteArray& nativeName);
// The byte at `offset` of a file open for reading too; nothing when it cannot be read.
std::optional<char> byteAt(FileHandle file, long long offset);
