#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <vector>

// What the driven devices do. Every device sends its first message as soon as it is connected; the
// rest follow once all first replies are in, for `seconds`.
struct DrivePlan
{
    quint16 port = 0;
    int devices = 0;
    int idle = 0; // connections beside them that never send
    double seconds = 0; // 0: the first message only
    double everySeconds = 0; // one message per device this often; 0: the next as soon as a reply is in
    QString namePrefix; // with the device's number, its name field: a day file of its own
};

struct DriveResult
{
    qint64 sent = 0;
    qint64 acknowledged = 0; // replies that were the program's acknowledgement
    qint64 wrong = 0; // replies that were anything else, or never came
    qint64 closedByServer = 0;
    double connectMs = 0; // until every connection was made
    double firstRepliesMs = 0; // until every device had its first reply
    double seconds = 0; // of sending after the first replies
    double rate = 0; // replies a second over those seconds
    double p50Ms = 0; // of the replies over those seconds
    double p99Ms = 0;
};

// Plays many lockstep devices from one thread on epoll, so that the client costs far less than the
// server it measures: one fixed message per device, built once, and no allocation per message.
class DeviceDriver
{
public:
    explicit DeviceDriver(const DrivePlan& plan);
    ~DeviceDriver();
    DeviceDriver(const DeviceDriver&) = delete;
    DeviceDriver& operator=(const DeviceDriver&) = delete;

    DriveResult run();

private:
    using Clock = std::chrono::steady_clock;

    struct Device
    {
        int fd = -1;
        bool connected = false;
        bool awaiting = false; // a message is out and its reply not yet all in
        bool owed = false; // its paced turn came while it was still awaiting
        int replyBytes = 0; // of the reply in hand
        bool replyRight = true;
        bool replied = false; // had its first reply
        Clock::time_point sentAt;
        QByteArray message;
    };

    void connectAll();
    void send(int index, Clock::time_point now);
    void receive(int index, Clock::time_point now);
    void lose(Device& device);
    bool allReplied() const { return firstReplies == plan.devices; }

    const DrivePlan plan;
    std::vector<Device> devices; // the sending ones first, then the idle
    int poller = -1;
    int connections = 0;
    int firstReplies = 0;
    bool measuring = false; // the first replies are all in
    std::vector<float> latenciesMs;
    DriveResult result;
};
