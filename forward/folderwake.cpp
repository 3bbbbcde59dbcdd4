#include "forward/folderwake.h"

#include <QFile>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

FolderWake::FolderWake(const QString& folder)
    : changes(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), stopSignal(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    if (changes >= 0)
        ::inotify_add_watch(changes, QFile::encodeName(folder).constData(),
            IN_MODIFY | IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_CLOSE_WRITE);
}

FolderWake::~FolderWake()
{
    if (changes >= 0)
        ::close(changes);
    if (stopSignal >= 0)
        ::close(stopSignal);
}

void FolderWake::wait(std::chrono::milliseconds timeout)
{
    if (stopping)
        return;
    pollfd watched[] {{changes, POLLIN, 0}, {stopSignal, POLLIN, 0}};
    if (::poll(watched, 2, int(timeout.count())) > 0 && (watched[0].revents & POLLIN)) {
        // Every event at once: a busy folder reports each append, and one look serves them all.
        alignas(inotify_event) char events[64 * 1024];
        while (::read(changes, events, sizeof events) > 0) { }
    }
}

void FolderWake::stop()
{
    stopping = true;
    const quint64 one = 1;
    [[maybe_unused]] const ssize_t written = ::write(stopSignal, &one, sizeof one);
}
