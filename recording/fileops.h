#pragma once

#include <sys/types.h>

// The system calls through which the day files are written and made durable, in one place, so that
// a test can record each of them and play a power cut at any point between two.
struct FileOps
{
    int (*open)(const char* path, int flags, mode_t mode);
    ssize_t (*write)(int descriptor, const void* data, size_t size);
    int (*fdatasync)(int descriptor);
    int (*fsync)(int descriptor); // for folders
    int (*syncfs)(int descriptor);
    int (*close)(int descriptor);
};

const FileOps& fileOps();

// Replaces the calls until the next replacement; `ops` with every member null brings back the
// system's own. Set it while no server runs.
void setFileOps(const FileOps& ops);
