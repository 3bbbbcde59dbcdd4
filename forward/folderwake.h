#pragma once

#include <QString>

#include <atomic>
#include <chrono>

// Wakes a forwarding thread when anything in the data folder changes (a line appended, a file made,
// moved or deleted), so that lines go downstream as they arrive; the timeout of wait() is the periodic
// look that covers what the kernel does not report (a folder on a network file system, a full queue).
class FolderWake
{
public:
    explicit FolderWake(const QString& folder);
    ~FolderWake();
    FolderWake(const FolderWake&) = delete;
    FolderWake& operator=(const FolderWake&) = delete;

    // Returns once the folder changed, stop() was called or `timeout` has passed.
    void wait(std::chrono::milliseconds timeout);
    // From any thread: every wait() from now on returns at once.
    void stop();
    bool stopped() const { return stopping.load(); }

private:
    int changes = -1; // inotify's
    int stopSignal = -1; // an eventfd
    std::atomic<bool> stopping {false};
};
