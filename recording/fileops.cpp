#include "recording/fileops.h"

namespace {

FileOps& current()
{
    static FileOps ops = systemFileOps();
    return ops;
}

} // namespace

const FileOps& fileOps()
{
    return current();
}

void setFileOps(const FileOps& ops)
{
    current() = ops.open ? ops : systemFileOps();
}
