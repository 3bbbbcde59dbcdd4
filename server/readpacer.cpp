#include "server/readpacer.h"

#include <QAbstractEventDispatcher>

namespace {

// Well below the tenth of a second after which a window feels stuck.
constexpr qint64 passBudgetMs = 50;

} // namespace

ReadPacer::ReadPacer(QObject* parent) : QObject(parent)
{
    pass.start();
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, this, [this] { pass.restart(); });
    nextPass.setSingleShot(true);
    nextPass.setInterval(0);
    connect(&nextPass, &QTimer::timeout, this, &ReadPacer::readWaiting);
}

bool ReadPacer::readsNow(QTcpSocket* socket)
{
    if (waitingSet.contains(socket))
        return false;
    // First come, first read: while others wait, a newcomer waits behind them, or a steady stream
    // of fresh data could keep the waiting ones from their turn.
    if (waiting.empty() && passHasTime())
        return true;
    waiting.push_back(socket);
    waitingSet.insert(socket);
    nextPass.start();
    return false;
}

bool ReadPacer::passHasTime() const
{
    return pass.elapsed() < passBudgetMs;
}

bool ReadPacer::forget(QTcpSocket* socket)
{
    if (!waitingSet.remove(socket))
        return false;
    waiting.erase(std::find(waiting.begin(), waiting.end(), socket));
    return true;
}

void ReadPacer::readWaiting()
{
    while (!waiting.empty() && passHasTime()) {
        QTcpSocket* socket = waiting.front();
        waiting.pop_front();
        waitingSet.remove(socket);
        emit readLater(socket);
    }
    if (!waiting.empty())
        nextPass.start();
}
