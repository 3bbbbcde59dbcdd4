#include "tests/mosquittofixture.h"

#include "forward/mqttsink.h"

#include <csignal>
#include <mosquitto.h>

namespace {

// The tools' progress and prompts stay out of the test's output.
void runQuietly(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    process.waitForFinished();
}

} // namespace

MosquittoBroker::MosquittoBroker(const QByteArray& user, const QByteArray& password) : listenPort(freeLoopbackPort())
{
    // Root keeps its rights, so that the broker reads and writes the test's own directory.
    QByteArray config = "user root\nlog_type error\npersistence true\npersistence_location ./\nlistener "
        + QByteArray::number(listenPort) + " 127.0.0.1\n";
    if (user.isEmpty()) {
        config += "allow_anonymous true\n";
    } else {
        tlsListenPort = freeLoopbackPort();
        config += "allow_anonymous false\npassword_file passwords\nlistener " + QByteArray::number(tlsListenPort)
            + " 127.0.0.1\ncertfile broker.pem\nkeyfile broker.key\n";
        runQuietly(QStringLiteral("mosquitto_passwd"),
            {QStringLiteral("-b"), QStringLiteral("-c"), QStringLiteral("passwords"), QString::fromUtf8(user),
                QString::fromUtf8(password)});
        runQuietly(QStringLiteral("openssl"),
            QStringList {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                QStringLiteral("ec"), QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:P-256"),
                QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-subj"),
                QStringLiteral("/CN=stilwater-test"), QStringLiteral("-addext"),
                QStringLiteral("subjectAltName=IP:127.0.0.1"), QStringLiteral("-keyout"), QStringLiteral("broker.key"),
                QStringLiteral("-out"), QStringLiteral("broker.pem")});
    }
    writeFile(QStringLiteral("mosquitto.conf"), config);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

MosquittoBroker::~MosquittoBroker()
{
    hang(false);
    stop();
}

bool MosquittoBroker::start()
{
    process.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), QStringLiteral("mosquitto.conf")});
    const QDeadlineTimer deadline(10000);
    while (process.waitForStarted() && !deadline.hasExpired()) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, listenPort);
        if (probe.waitForConnected(100))
            return true;
        process.waitForFinished(50);
    }
    return false;
}

void MosquittoBroker::stop()
{
    process.terminate();
    process.waitForFinished();
}

void MosquittoBroker::hang(bool hanging)
{
    if (process.state() == QProcess::Running)
        ::kill(pid_t(process.processId()), hanging ? SIGSTOP : SIGCONT);
}

Subscriber::Subscriber(quint16 port)
{
    useMosquittoLibrary();
    client = mosquitto_new("stilwater-test-subscriber", false, this);
    mosquitto_connect_callback_set(client, [](mosquitto* client, void*, int code) {
        if (code == 0)
            mosquitto_subscribe(client, nullptr, "stilwater/#", 1);
    });
    mosquitto_subscribe_callback_set(client, [](mosquitto*, void* self, int, int, const int*) {
        auto* subscriber = static_cast<Subscriber*>(self);
        const std::lock_guard lock(subscriber->mutex);
        subscriber->subscriptionAcknowledged = true;
    });
    mosquitto_message_callback_set(client, [](mosquitto*, void* self, const mosquitto_message* message) {
        auto* subscriber = static_cast<Subscriber*>(self);
        const std::lock_guard lock(subscriber->mutex);
        subscriber->messages.append(
            {message->topic, QByteArray(static_cast<const char*>(message->payload), message->payloadlen)});
    });
    mosquitto_reconnect_delay_set(client, 1, 1, false);
    mosquitto_connect(client, "127.0.0.1", port, 60);
    mosquitto_loop_start(client);
}

Subscriber::~Subscriber()
{
    mosquitto_disconnect(client);
    mosquitto_loop_stop(client, false);
    mosquitto_destroy(client);
}

bool Subscriber::subscribed() const
{
    const std::lock_guard lock(mutex);
    return subscriptionAcknowledged;
}

QList<QPair<QByteArray, QByteArray>> Subscriber::received() const
{
    const std::lock_guard lock(mutex);
    return messages;
}
