#include "engine/groupcommit.h"

#include "recording/fileops.h"

#include <QHash>

#include <chrono>
#include <iterator>

namespace {

// Up to this many files a round syncs each of them; beyond, one sync of the whole file system costs
// less than theirs together. On ext4 each fdatasync waits for a journal commit of its own (about
// 4 ms on a virtual disk), while one syncfs costs about as much as one fdatasync for 2, 20 or 100
// files: a file alone is all that fdatasync is cheaper for, and it leaves others' data alone.
constexpr std::size_t filesSyncedOneByOne = 1;

// Lines go to files that are closed at once only while descriptors are short, and the other
// devices' files are being closed meanwhile: a descriptor for the folder comes free within moments,
// so the open is tried again for a while before the lines are given up as not durable.
FileHandle openFolder(const QByteArray& folder)
{
    constexpr int attempts = 100;
    constexpr std::chrono::milliseconds pause(10);
    for (int attempt = 1;; ++attempt) {
        const FileHandle handle = fileOps().open(folder, FileOpen::Folder);
        if (handle >= 0 || lastFileError() != FileError::OutOfHandles || attempt == attempts)
            return handle;
        std::this_thread::sleep_for(pause);
    }
}

// `sync` syncs the folder's own entries, or its whole file system (lines whose files are closed
// already).
bool syncThroughFolder(const QByteArray& folder, bool (*sync)(FileHandle folder))
{
    const FileHandle handle = openFolder(folder);
    if (handle < 0)
        return false;
    const bool synced = sync(handle);
    fileOps().close(handle);
    return synced;
}

} // namespace

GroupCommit::GroupCommit() : thread([this] { run(); }) { }

GroupCommit::~GroupCommit()
{
    {
        const std::lock_guard lock(mutex);
        stopping = true;
    }
    wake.notify_one();
    thread.join();
}

void GroupCommit::commit(std::vector<Waiter> waiters)
{
    {
        const std::lock_guard lock(mutex);
        if (pending.empty())
            pending.swap(waiters);
        else
            std::move(waiters.begin(), waiters.end(), std::back_inserter(pending));
    }
    wake.notify_one();
}

void GroupCommit::run()
{
    std::vector<Waiter> round;
    for (;;) {
        {
            std::unique_lock lock(mutex);
            wake.wait(lock, [this] { return stopping || !pending.empty(); });
            if (pending.empty())
                return;
            round.swap(pending);
        }
        syncRound(round);
        round.clear();
    }
}

void GroupCommit::syncRound(std::vector<Waiter>& round)
{
    QHash<const DayFile*, bool> durable;
    QHash<const DayFile*, QByteArray> newFileFolders;
    const Waiter* closedFile = nullptr;
    for (const Waiter& waiter : round) {
        if (!waiter.file) {
            closedFile = &waiter;
            continue;
        }
        if (durable.contains(waiter.file.get()))
            continue;
        durable.insert(waiter.file.get(), true);
        if (waiter.file->takeFolderSync())
            newFileFolders.insert(waiter.file.get(), waiter.file->folderPath());
    }
    const FileOps& ops = fileOps();
    // Where the platform cannot sync a whole file system, each file is synced by itself, and lines
    // whose files are closed already cannot be made durable.
    bool wholeFileSystem = false;
    if (ops.syncFileSystem && (closedFile || static_cast<std::size_t>(durable.size()) > filesSyncedOneByOne)) {
        // Folders included: all of the file system's changes reach the disk.
        wholeFileSystem = durable.isEmpty() ? syncThroughFolder(closedFile->folder, ops.syncFileSystem)
                                            : ops.syncFileSystem(durable.begin().key()->handle());
        for (bool& fileDurable : durable)
            fileDurable = wholeFileSystem;
    } else {
        QHash<QByteArray, bool> folderSynced;
        for (const QByteArray& folder : std::as_const(newFileFolders)) {
            if (!folderSynced.contains(folder))
                folderSynced.insert(folder, syncThroughFolder(folder, ops.syncFolder));
        }
        for (auto it = durable.begin(); it != durable.end(); ++it) {
            const auto folder = newFileFolders.constFind(it.key());
            it.value()
                = (folder == newFileFolders.cend() || folderSynced.value(*folder)) && ops.syncFile(it.key()->handle());
        }
    }
    for (Waiter& waiter : round) {
        const bool fileDurable = waiter.file ? durable.value(waiter.file.get()) : wholeFileSystem;
        if (waiter.file && !fileDurable)
            waiter.file->folderSyncAgain();
        waiter.done(fileDurable);
    }
}
