#include "tools/sim/simdevice.h"

#include "tools/sim/simmessage.h"
#include "tools/sim/simstats.h"

#include <QRandomGenerator>

namespace {

bool happens(double proportion)
{
    return proportion > 0 && QRandomGenerator::global()->generateDouble() < proportion;
}

// Spread over a range, so that the devices of a lost server do not all come back at the same moment.
int firstBackoffMs()
{
    return QRandomGenerator::global()->bounded(50, 101);
}

constexpr int longestBackoffMs = 1000;

} // namespace

SimDevice::SimDevice(int number, const SimOptions& options, SimStats* stats, QObject* parent)
    : QObject(parent), number(number), options(options), stats(stats)
{
    if (!options.sourceAddresses.isEmpty())
        source = QHostAddress(options.sourceAddresses.at((number - 1) % options.sourceAddresses.size()));
    connect(&socket, &QTcpSocket::connected, this, &SimDevice::onConnected);
    connect(&socket, &QTcpSocket::errorOccurred, this, &SimDevice::onSocketError);
    connect(&socket, &QTcpSocket::readyRead, this, &SimDevice::onReadyRead);
    connect(&socket, &QTcpSocket::disconnected, this, &SimDevice::onDisconnected);
    if (options.rate > 0) {
        paceTimer.setInterval(static_cast<int>(1000 / options.rate));
        paceTimer.setTimerType(Qt::PreciseTimer);
        connect(&paceTimer, &QTimer::timeout, this, &SimDevice::sendNext);
    }
    backoffMs = firstBackoffMs();
    reconnectTimer.setSingleShot(true);
    connect(&reconnectTimer, &QTimer::timeout, this, &SimDevice::connectToServer);
}

void SimDevice::connectToServer()
{
    // A failed bind reports itself through errorOccurred.
    if (!source.isNull() && !socket.bind(source))
        return;
    socket.connectToHost(options.host, options.port);
}

void SimDevice::onConnected()
{
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    online = true;
    backoffMs = firstBackoffMs();
    if (!wasConnected) {
        wasConnected = true;
        emit connected();
        return;
    }
    if (ended) {
        socket.abort();
        return;
    }
    resendUnacknowledged();
    if (sending)
        afterJudging();
}

void SimDevice::onSocketError()
{
    if (online || ended)
        return; // a lost connection is handled once it is disconnected
    if (socket.error() == QAbstractSocket::ConnectionRefusedError)
        ++stats->refused;
    if (options.reconnect)
        reconnectLater();
    else if (!wasConnected)
        emit unreachable(socket.errorString());
}

void SimDevice::reconnectLater()
{
    // Before the first connection the fleet's connect timeout decides.
    if (wasConnected && offline.hasExpired(options.connectTimeoutS * qint64(1000))) {
        stats->wrong += std::max<qint64>(1, static_cast<qint64>(unacknowledged.size()));
        unacknowledged.clear();
        sending = false;
        ended = true;
        emit finished();
        return;
    }
    socket.abort();
    reconnectTimer.start(backoffMs);
    backoffMs = std::min(backoffMs * 2, longestBackoffMs);
}

void SimDevice::resendUnacknowledged()
{
    // The new connection starts with an empty buffer at the server.
    leftover = Leftover::None;
    const qint64 now = stats->clock.nsecsElapsed();
    for (const QByteArray& message : unacknowledged) {
        if (leftover == Leftover::LineFeed)
            pending.push_back({options.expectSyntax, now, QByteArray()});
        pending.push_back({options.expectAck, now, message});
        write(options.crlf ? message + "\r\n" : message);
        leftover = options.crlf ? Leftover::LineFeed : Leftover::None;
        ++stats->resent;
    }
    unacknowledged.clear();
}

void SimDevice::hangUp()
{
    hungUpByDevice = true;
    socket.abort();
}

void SimDevice::start(int delayMs)
{
    started = true;
    sending = true;
    QTimer::singleShot(delayMs, this, [this] {
        sendNext();
        if (options.rate > 0 && sending)
            paceTimer.start();
    });
}

void SimDevice::stopSending()
{
    sending = false;
    paceTimer.stop();
    afterJudging();
}

void SimDevice::sendNext()
{
    if (!sending || !online)
        return;
    if (options.duration <= 0 && sequence >= options.messages) {
        stopSending();
        return;
    }
    ++sequence;
    ++stats->sent;
    const qint64 now = stats->clock.nsecsElapsed();
    const bool last = options.duration <= 0 && sequence == options.messages;
    MessageFault fault = MessageFault::None;
    if (happens(options.badChecksum))
        fault = MessageFault::BadChecksum;
    else if (!last && happens(options.badLength))
        fault = MessageFault::Short;

    QByteArray bytes;
    // Noise after a short message would fill it up to a full length, so it comes only after whole ones.
    const bool noise = leftover != Leftover::ShortMessage && happens(options.noise);
    if (noise)
        bytes += "xyz";
    if (noise || leftover == Leftover::LineFeed)
        pending.push_back({options.expectSyntax, now, QByteArray()});

    const QByteArray message = simMessage(options.namePrefix + QString::number(number), number, sequence, fault);
    bytes += message;
    if (options.crlf)
        bytes += "\r\n";
    switch (fault) {
    case MessageFault::None:
        pending.push_back({options.expectAck, now, message});
        break;
    case MessageFault::BadChecksum:
        pending.push_back({options.expectChks, now, QByteArray()});
        break;
    case MessageFault::Short:
        pending.push_back({options.expectSyntax, now, QByteArray()});
        break;
    }
    // A line feed after a short message joins its text, which the next "$" hands over.
    leftover = fault == MessageFault::Short ? Leftover::ShortMessage
        : options.crlf                      ? Leftover::LineFeed
                                            : Leftover::None;
    write(bytes);
    if (fault == MessageFault::Short)
        sendNext();
}

void SimDevice::write(const QByteArray& bytes)
{
    const qsizetype piece = (bytes.size() + options.split - 1) / options.split;
    for (qsizetype at = 0; at < bytes.size(); at += piece) {
        socket.write(bytes.mid(at, piece));
        if (options.split > 1)
            socket.flush();
    }
}

void SimDevice::onReadyRead()
{
    incoming += socket.readAll();
    while (!incoming.isEmpty()) {
        if (pending.empty()) {
            ++stats->wrong; // bytes that answer nothing this device sent
            incoming.clear();
            break;
        }
        const QByteArray& expected = pending.front().reply;
        if (expected.isEmpty()) {
            // Bytes arrived, and they belong to a later message: this one was rightly left unanswered.
            judgeFirst(true);
        } else if (incoming.size() < expected.size()) {
            if (!expected.startsWith(incoming))
                judgeFirst(false);
            break;
        } else {
            judgeFirst(incoming.startsWith(expected));
        }
    }
    afterJudging();
}

void SimDevice::judgeFirst(bool right)
{
    const Expected expected = pending.front();
    pending.pop_front();
    if (!right) {
        ++stats->wrong;
        incoming.clear();
        return;
    }
    ++stats->right;
    if (expected.reply.isEmpty())
        return;
    incoming.remove(0, expected.reply.size());
    stats->latenciesNs.push_back(stats->clock.nsecsElapsed() - expected.sentAtNs);
    if (!expected.acknowledged.isEmpty())
        stats->acknowledged(expected.acknowledged);
}

void SimDevice::expireReplies(qint64 nowNs)
{
    const qint64 timeoutNs = options.replyTimeoutMs * qint64(1000000);
    bool judged = false;
    while (!pending.empty() && nowNs - pending.front().sentAtNs > timeoutNs) {
        // A real device that waits in vain for its acknowledgement hangs up and tries again.
        if (options.reconnect && !pending.front().acknowledged.isEmpty()) {
            hangUp();
            return;
        }
        judgeFirst(pending.front().reply.isEmpty());
        judged = true;
    }
    if (judged)
        afterJudging();
}

void SimDevice::afterJudging()
{
    if (!pending.empty() || !unacknowledged.empty() || ended)
        return;
    if (sending && options.rate <= 0)
        sendNext();
    else if (!sending) {
        ended = true;
        reconnectTimer.stop();
        emit finished();
    }
}

void SimDevice::onDisconnected()
{
    online = false;
    if (ended)
        return;
    if (!hungUpByDevice)
        ++stats->closedByServer;
    hungUpByDevice = false;
    if (options.reconnect) {
        incoming.clear();
        for (const Expected& expected : pending) {
            if (!expected.acknowledged.isEmpty())
                unacknowledged.push_back(expected.acknowledged);
        }
        pending.clear();
        offline.start();
        if (started) // one whose sending is over and acknowledged ends here
            afterJudging();
        if (!ended)
            reconnectLater();
        return;
    }
    stats->wrong += std::max<qint64>(1, static_cast<qint64>(pending.size()));
    pending.clear();
    sending = false;
    paceTimer.stop();
    ended = true;
    emit finished();
}
