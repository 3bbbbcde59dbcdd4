#include "bench/drive/devicedriver.h"

#include "messages/messagelayout.h"
#include "settings/settings.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Loopback has one source address per 127.0.0.x: 19,000 connections and the ones still in TIME_WAIT
// from the load before would run one address out of ports.
constexpr int sourceAddresses = 8;
constexpr char acknowledgement[] = "ok";
constexpr int acknowledgementLength = sizeof acknowledgement - 1;
constexpr auto patience = std::chrono::seconds(60); // for the first replies, and for the last

QByteArray deviceMessage(const QString& name)
{
    QString message = QStringLiteral("$08") + name.leftJustified(nameFieldLength, QLatin1Char(' '), true);
    message = message.leftJustified(messageLength - 2, QLatin1Char('0')) + QStringLiteral("00");
    // The program's own checksum code; it hands the computed value back when "00" is wrong.
    int checksum = 0;
    settings_t::calcChks(message, &checksum);
    message.replace(messageLength - 2, 2, QStringLiteral("%1").arg(checksum, 2, 10, QLatin1Char('0')));
    return message.toLatin1();
}

double millisecondsBetween(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double percentile(std::vector<float>& values, double share)
{
    if (values.empty())
        return 0;
    const auto nth = values.begin() + static_cast<std::ptrdiff_t>(share * double(values.size() - 1));
    std::nth_element(values.begin(), nth, values.end());
    return *nth;
}

} // namespace

DeviceDriver::DeviceDriver(const DrivePlan& plan) : plan(plan), devices(size_t(plan.devices + plan.idle))
{
    poller = ::epoll_create1(EPOLL_CLOEXEC);
    for (int i = 0; i < plan.devices; ++i)
        devices[size_t(i)].message = deviceMessage(plan.namePrefix + QString::number(i + 1));
}

DeviceDriver::~DeviceDriver()
{
    for (const Device& device : devices) {
        if (device.fd >= 0)
            ::close(device.fd);
    }
    ::close(poller);
}

void DeviceDriver::connectAll()
{
    for (size_t i = 0; i < devices.size(); ++i) {
        Device& device = devices[i];
        device.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int one = 1;
        ::setsockopt(device.fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &one, sizeof one);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK + i % sourceAddresses);
        ::bind(device.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(plan.port);
        epoll_event event {};
        event.events = EPOLLOUT;
        event.data.u64 = i;
        if (device.fd < 0
            || (::connect(device.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0
                && errno != EINPROGRESS)
            || ::epoll_ctl(poller, EPOLL_CTL_ADD, device.fd, &event) != 0)
            lose(device);
    }
}

void DeviceDriver::send(int index, Clock::time_point now)
{
    Device& device = devices[size_t(index)];
    device.owed = false;
    // The reply to the one before is all in, so the socket's buffer is empty and takes a message whole.
    if (::send(device.fd, device.message.constData(), size_t(device.message.size()), MSG_NOSIGNAL)
        != device.message.size()) {
        lose(device);
        return;
    }
    ++result.sent;
    device.awaiting = true;
    device.sentAt = now;
}

void DeviceDriver::receive(int index, Clock::time_point now)
{
    Device& device = devices[size_t(index)];
    char bytes[256];
    const ssize_t received = ::recv(device.fd, bytes, sizeof bytes, 0);
    if (received <= 0) {
        if (received == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            lose(device);
        return;
    }
    for (ssize_t i = 0; i < received; ++i) {
        if (!device.awaiting) {
            ++result.wrong; // a reply to nothing
            continue;
        }
        device.replyRight = device.replyRight && bytes[i] == acknowledgement[device.replyBytes];
        if (++device.replyBytes < acknowledgementLength)
            continue;
        (device.replyRight ? result.acknowledged : result.wrong) += 1;
        device.awaiting = false;
        device.replyBytes = 0;
        device.replyRight = true;
        if (measuring)
            latenciesMs.push_back(float(millisecondsBetween(device.sentAt, now)));
        if (!device.replied) {
            device.replied = true;
            ++firstReplies;
        }
    }
}

void DeviceDriver::lose(Device& device)
{
    if (device.fd >= 0)
        ::close(device.fd);
    device.fd = -1;
    ++result.closedByServer;
    if (device.awaiting)
        ++result.wrong;
    device.awaiting = false;
    device.connected = false;
    // A lost device waits no longer for its first reply.
    if (&device - devices.data() < plan.devices && !device.replied) {
        device.replied = true;
        ++firstReplies;
    }
}

DriveResult DeviceDriver::run()
{
    const Clock::time_point start = Clock::now();
    connectAll();
    Clock::time_point measureStart;
    Clock::time_point end;
    const bool paced = plan.everySeconds > 0;
    const auto every = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(plan.everySeconds));
    int turn = 0; // the next paced device: their turns are spread evenly over each period
    int period = 0;
    const auto turnAt = [&] { return measureStart + period * every + turn * every / plan.devices; };
    std::vector<epoll_event> events(1024);
    for (;;) {
        Clock::time_point now = Clock::now();
        const bool sending = measuring && now < end;
        if (!measuring && (allReplied() || now - start > patience)) {
            measuring = true;
            measureStart = now;
            end = now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(plan.seconds));
            result.firstRepliesMs = millisecondsBetween(start, now);
            // Lockstep devices start together; after that each sends the moment its reply is in.
            for (int i = 0; !paced && now < end && i < plan.devices; ++i) {
                if (devices[size_t(i)].connected)
                    send(i, now);
            }
            continue;
        }
        if (measuring && !sending) {
            const bool outstanding
                = std::any_of(devices.begin(), devices.end(), [](const Device& device) { return device.awaiting; });
            if (!outstanding || now - end > patience)
                break;
        }
        while (sending && paced && turnAt() <= now) {
            Device& device = devices[size_t(turn)];
            if (device.awaiting)
                device.owed = true;
            else if (device.fd >= 0)
                send(turn, now);
            if (++turn == plan.devices) {
                turn = 0;
                ++period;
            }
        }
        int waitMs = 100;
        if (sending && paced)
            waitMs = int(std::max<Clock::rep>(0, std::chrono::ceil<std::chrono::milliseconds>(turnAt() - now).count()));
        const int ready = ::epoll_wait(poller, events.data(), int(events.size()), waitMs);
        now = Clock::now();
        for (int i = 0; i < ready; ++i) {
            const int index = int(events[size_t(i)].data.u64);
            Device& device = devices[size_t(index)];
            if (device.fd < 0)
                continue;
            if (!device.connected) {
                int error = 0;
                socklen_t length = sizeof error;
                ::getsockopt(device.fd, SOL_SOCKET, SO_ERROR, &error, &length);
                epoll_event event {};
                event.events = EPOLLIN;
                event.data.u64 = size_t(index);
                if (error != 0 || ::epoll_ctl(poller, EPOLL_CTL_MOD, device.fd, &event) != 0) {
                    lose(device);
                    continue;
                }
                device.connected = true;
                if (++connections == int(devices.size()))
                    result.connectMs = millisecondsBetween(start, now);
                if (index < plan.devices)
                    send(index, now);
                continue;
            }
            receive(index, now);
            const bool mayFollow = measuring && now < end && device.fd >= 0 && !device.awaiting;
            if (mayFollow && (!paced || device.owed))
                send(index, now);
        }
    }
    for (const Device& device : devices)
        result.wrong += device.awaiting ? 1 : 0;
    const Clock::time_point stopped = std::min(Clock::now(), end);
    result.seconds = measuring ? std::chrono::duration<double>(stopped - measureStart).count() : 0;
    result.rate = result.seconds > 0 ? double(latenciesMs.size()) / result.seconds : 0;
    result.p50Ms = percentile(latenciesMs, 0.5);
    result.p99Ms = percentile(latenciesMs, 0.99);
    return result;
}
