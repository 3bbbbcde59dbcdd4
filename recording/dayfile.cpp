#include "recording/dayfile.h"

#include <QFileInfo>

namespace {

DayFile::Outcome outcomeOf(FileError error)
{
    switch (error) {
    case FileError::Absent:
        return DayFile::Outcome::Absent;
    case FileError::Locked:
        return DayFile::Outcome::Locked;
    case FileError::OutOfHandles:
        return DayFile::Outcome::OutOfHandles;
    case FileError::Exists:
    case FileError::Other:
        break;
    }
    return DayFile::Outcome::Refused;
}

// What the file's last line lacks: nothing when it is empty or ends in a line feed.
QByteArray missingLineBreak(FileHandle file, long long size)
{
    // A file written only, never read, gives nothing to go by.
    const char last = size > 0 ? byteAt(file, size - 1).value_or('\n') : '\n';
    if (last == '\n')
        return {};
    return last == '\r' ? QByteArray("\n") : QByteArray("\r\n");
}

} // namespace

std::shared_ptr<DayFile> DayFile::open(const QString& fileName, Missing missing, Outcome* outcome)
{
    const QByteArray native = nativeFileName(fileName);
    const FileOps& ops = fileOps();
    bool created = false;
    FileHandle handle = ops.open(native, FileOpen::Existing);
    FileError error = handle < 0 ? lastFileError() : FileError::Other;
    if (handle < 0 && error == FileError::Absent && missing == Missing::Create) {
        handle = ops.open(native, FileOpen::New);
        created = handle >= 0;
        error = handle < 0 ? lastFileError() : FileError::Other;
        if (handle < 0 && error == FileError::Exists) { // made by someone else meanwhile
            handle = ops.open(native, FileOpen::Existing);
            error = handle < 0 ? lastFileError() : FileError::Other;
        }
    }
    if (handle < 0) {
        if (outcome)
            *outcome = outcomeOf(error);
        return nullptr;
    }
    const std::optional<FileFacts> facts = factsOf(handle);
    if (!facts || !facts->diskFile) {
        ops.close(handle);
        if (outcome)
            *outcome = Outcome::Refused;
        return nullptr;
    }
    if (outcome)
        *outcome = Outcome::Opened;
    std::shared_ptr<DayFile> file(new DayFile(fileName, native, handle, created));
    file->identity = facts->identity;
    file->lineBreakDue = missingLineBreak(handle, facts->size);
    return file;
}

DayFile::DayFile(QString name, QByteArray nativeName, FileHandle file, bool created)
    : name(std::move(name))
    , nativeName(std::move(nativeName))
    , file(file)
    , newFolderEntry(created && fileOps().syncFolder)
    , folderSyncDue(newFolderEntry)
{ }

DayFile::~DayFile()
{
    fileOps().close(file);
}

bool DayFile::stillAtItsPath() const
{
    return identityAt(nativeName) == identity;
}

bool DayFile::append(const QByteArray& line, bool* locked)
{
    const QByteArray bytes = lineBreakDue.isEmpty() ? line : lineBreakDue + line;
    const long long written = fileOps().write(file, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (written == bytes.size()) {
        lineBreakDue.clear();
        return true;
    }
    if (locked)
        *locked = written < 0 && lastFileError() == FileError::Locked;
    // Part of the line may have reached the file (a full disk): the next one starts afresh.
    if (written > 0)
        lineBreakDue = QByteArray("\r\n");
    return false;
}

QByteArray DayFile::folderPath() const
{
    return nativeFileName(QFileInfo(name).absolutePath());
}
