#pragma once

#include "tools/sim/simoptions.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include <deque>

struct SimStats;

// One simulated device on its own connection. It knows, for every reply still to come, which bytes
// it expects, so that it can judge the byte stream the server sends back.
class SimDevice : public QObject
{
    Q_OBJECT

public:
    SimDevice(int number, const SimOptions& options, SimStats* stats, QObject* parent);

    void connectToServer();
    // Begins sending after `delayMs`; paced devices are spread over their interval this way.
    void start(int delayMs);
    void stopSending();
    // Judges every reply that has waited longer than the reply timeout.
    void expireReplies(qint64 nowNs);

signals:
    void connected();
    void unreachable(const QString& reason);
    void finished();

private:
    struct Expected
    {
        QByteArray reply; // empty: silence is right
        qint64 sentAtNs = 0;
        QByteArray acknowledged; // the message, when its reply is the acknowledgement
    };
    // Text that the server keeps in its buffer until this device's next "$" hands it over.
    enum class Leftover {
        None,
        LineFeed,
        ShortMessage,
    };

    void sendNext();
    void write(const QByteArray& bytes);
    void onConnected();
    void onSocketError();
    void onReadyRead();
    void onDisconnected();
    void reconnectLater();
    void resendUnacknowledged();
    void hangUp();
    void judgeFirst(bool right);
    void afterJudging();

    int number;
    const SimOptions& options;
    SimStats* stats;
    QTcpSocket socket;
    QTimer paceTimer;
    QHostAddress source;
    std::deque<Expected> pending;
    // Messages whose connection was lost before their acknowledgement came, to be sent again.
    std::deque<QByteArray> unacknowledged;
    QTimer reconnectTimer;
    int backoffMs = 0;
    QElapsedTimer offline;
    QByteArray incoming;
    qint64 sequence = 0;
    Leftover leftover = Leftover::None;
    bool wasConnected = false;
    bool online = false;
    bool hungUpByDevice = false;
    bool started = false;
    bool sending = false;
    bool ended = false;
};
