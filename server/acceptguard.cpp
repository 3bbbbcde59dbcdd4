#include "server/acceptguard.h"

#include "server/openfiles.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace {

// A data file and a backup file, a config.cfg being saved, and some to spare.
constexpr int descriptorsKeptFree = 8;
constexpr int retryIntervalMs = 1000;
// Failures closer together than this belong to one episode and are reported once.
constexpr qint64 episodeGapMs = 10000;

} // namespace

AcceptGuard::AcceptGuard(QObject* parent) : QObject(parent)
{
    retryTimer.setSingleShot(true);
    retryTimer.setInterval(retryIntervalMs);
    connect(&retryTimer, &QTimer::timeout, this, &AcceptGuard::resume);
}

void AcceptGuard::watch(QTcpServer* watched)
{
    server = watched;
    connect(server, &QTcpServer::acceptError, this, &AcceptGuard::pause);
}

void AcceptGuard::stopWatching()
{
    retryTimer.stop();
    server = nullptr;
}

bool AcceptGuard::admits(const QTcpSocket* socket)
{
    if (descriptorsToSpare(descriptorsKeptFree, socket->socketDescriptor()))
        return true;
    pause();
    return false;
}

void AcceptGuard::connectionEnded()
{
    if (retryTimer.isActive())
        resume();
}

void AcceptGuard::pause()
{
    if (!server)
        return;
    server->pauseAccepting();
    retryTimer.start();
    if (!lastFailure.isValid() || lastFailure.elapsed() > episodeGapMs)
        emit exhausted();
    lastFailure.start();
}

void AcceptGuard::resume()
{
    retryTimer.stop();
    if (server)
        server->resumeAccepting();
}
