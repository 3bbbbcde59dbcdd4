#include "recording/fileops.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

int openFile(const char* path, int flags, mode_t mode)
{
    return ::open(path, flags, mode);
}

int syncFileSystem(int descriptor)
{
    return ::syncfs(descriptor);
}

const FileOps systemOps {openFile, ::write, ::fdatasync, ::fsync, syncFileSystem, ::close};

FileOps& current()
{
    static FileOps ops = systemOps;
    return ops;
}

} // namespace

const FileOps& fileOps()
{
    return current();
}

void setFileOps(const FileOps& ops)
{
    current() = ops.open ? ops : systemOps;
}
