#include "forward/mqttsink.h"

#include "forward/cursorfile.h"
#include "forward/mqttlogin.h"
#include "forward/mqttmessage.h"

#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <mosquitto.h>

namespace {

constexpr int keepAliveSeconds = 60;
// Publications on their way at once: enough to keep a link of some tens of milliseconds busy.
constexpr std::size_t publishWindow = 100;
const char* const systemCertificates = "/etc/ssl/certs";

// The system's reasons that a broker's operator meets most, in the operator's language.
QString systemReason()
{
    switch (errno) {
    case ECONNREFUSED:
        return QStringLiteral("a gép elutasította a kapcsolatot");
    case EPIPE:
    case ECONNRESET:
        return QStringLiteral("megszakadt a kapcsolat");
    case ETIMEDOUT:
        return QStringLiteral("a gép nem válaszolt");
    case EHOSTUNREACH:
    case ENETUNREACH:
        return QStringLiteral("a gép nem érhető el a hálózaton");
    default:
        return QString::fromLocal8Bit(std::strerror(errno));
    }
}

// Read at once after the failed call, while errno still tells its reason.
QString reasonOf(int error)
{
    switch (error) {
    case MOSQ_ERR_ERRNO:
        return systemReason();
    case MOSQ_ERR_CONN_LOST:
        return QStringLiteral("megszakadt a kapcsolat");
    case MOSQ_ERR_NO_CONN:
        return QStringLiteral("nincs kapcsolat");
    case MOSQ_ERR_EAI:
        return QStringLiteral("a gép neve nem oldható fel");
    default:
        return QString::fromLocal8Bit(mosquitto_strerror(error));
    }
}

QString refusalReasonOf(int code)
{
    switch (code) {
    case 4:
        return QStringLiteral("hibás a felhasználónév vagy a jelszó");
    case 5:
        return QStringLiteral("nincs joga bejelentkezni");
    default:
        return QString::fromLatin1(mosquitto_connack_string(code));
    }
}

} // namespace

void useMosquittoLibrary()
{
    static const struct Library
    {
        Library()
        {
            mosquitto_lib_init();
            // A broker that closes a TLS connection would end the process with SIGPIPE on the next
            // write; an error return serves instead.
            std::signal(SIGPIPE, SIG_IGN);
        }
        ~Library() { mosquitto_lib_cleanup(); }
    } library;
}

MqttSink::MqttSink(MqttSinkOptions options) : options(std::move(options)), client(nullptr, mosquitto_destroy)
{
    useMosquittoLibrary();
}

MqttSink::~MqttSink()
{
    drop();
}

bool MqttSink::open(QString* problem)
{
    // Reads what came meanwhile and pings a quiet broker when the keep-alive time has come.
    if (connected && mosquitto_loop(client.get(), 0, 1) == MOSQ_ERR_SUCCESS)
        return true;
    return connectAnew(problem);
}

bool MqttSink::cursors(Cursors* stored, QString* problem)
{
    if (!readCursorFile(options.cursorFile, stored, problem))
        return false;
    kept = *stored;
    return true;
}

bool MqttSink::deliver(const std::vector<ForwardedLine>& lines, const Cursors& after, QString* problem)
{
    // A connection that the broker dropped while there was nothing to send is no fault yet.
    if (!open(problem))
        return false;
    // libmosquitto looks each acknowledgement up among all the messages it holds: handed a window at
    // a time, a long backlog costs no more per line than a short one.
    auto next = lines.begin();
    while (next != lines.end() || !unacknowledged.empty()) {
        for (; next != lines.end() && unacknowledged.size() < publishWindow; ++next) {
            if (!publish(*next, problem))
                return false;
        }
        const bool lastWindow = next == lines.end();
        if (!await(
                [&] { return lastWindow ? unacknowledged.empty() : unacknowledged.size() < publishWindow; }, problem))
            return false;
    }
    return moveCursors(after, problem);
}

bool MqttSink::moveCursors(const Cursors& after, QString* problem)
{
    Cursors moved;
    if (!kept && !cursors(&moved, problem))
        return false;
    moved = *kept;
    for (const auto& [file, offset] : after)
        moved[file] = offset;
    if (!writeCursorFile(options.cursorFile, moved, problem)) {
        kept.reset();
        return false;
    }
    kept = std::move(moved);
    return true;
}

bool MqttSink::publish(const ForwardedLine& line, QString* problem)
{
    const QByteArray topic = mqttTopic(options.topicPrefix, options.instance, line.file.device);
    const QByteArray payload = mqttPayload(line);
    int id = 0;
    const int error
        = mosquitto_publish(client.get(), &id, topic.constData(), int(payload.size()), payload.constData(), 1, false);
    if (error != MOSQ_ERR_SUCCESS)
        return failOn(error, problem);
    // An acknowledgement is read only inside mosquitto_loop, so the id is here before its answer.
    unacknowledged.insert(id);
    return true;
}

bool MqttSink::connectAnew(QString* problem)
{
    drop();
    if (const QString topicProblem = mqttTopicProblem(options.topicPrefix, options.instance); !topicProblem.isEmpty()) {
        *problem = topicProblem;
        return false;
    }
    std::optional<MqttLogin> login;
    if (!options.loginFile.isEmpty()) {
        login = readMqttLogin(options.loginFile, problem);
        if (!login)
            return false;
    }

    // A publisher keeps no subscription, so a clean session under an id of the broker's choosing
    // serves; what was not acknowledged goes again from the cursors.
    client.reset(mosquitto_new(nullptr, true, this));
    if (!client)
        return failOn(MOSQ_ERR_NOMEM, problem);
    mosquitto_max_inflight_messages_set(client.get(), publishWindow);
    mosquitto_connect_callback_set(client.get(), [](mosquitto*, void* sink, int code) {
        auto* self = static_cast<MqttSink*>(sink);
        ++self->answers;
        self->connected = code == 0;
        self->refusal = code;
    });
    // OpenSSL's reason of a failed handshake reaches only the log.
    mosquitto_log_callback_set(client.get(), [](mosquitto*, void* sink, int level, const char* text) {
        if (level == MOSQ_LOG_ERR)
            static_cast<MqttSink*>(sink)->libraryError = QString::fromUtf8(text);
    });
    mosquitto_publish_callback_set(client.get(), [](mosquitto*, void* sink, int id) {
        auto* self = static_cast<MqttSink*>(sink);
        ++self->answers;
        self->unacknowledged.erase(id);
    });

    if (login) {
        const int error = mosquitto_username_pw_set(client.get(), login->user.constData(), login->password.constData());
        if (error != MOSQ_ERR_SUCCESS) {
            drop();
            *problem = QStringLiteral("Hibás az MQTT bejelentkezési fájlja: %1 (%2).")
                           .arg(options.loginFile, reasonOf(error));
            return false;
        }
    }
    if (options.broker.tls) {
        const QByteArray caFile = QFile::encodeName(options.caFile);
        const int error = caFile.isEmpty()
            ? mosquitto_tls_set(client.get(), nullptr, systemCertificates, nullptr, nullptr, nullptr)
            : mosquitto_tls_set(client.get(), caFile.constData(), nullptr, nullptr, nullptr, nullptr);
        if (error != MOSQ_ERR_SUCCESS) {
            drop();
            *problem = QStringLiteral("Nem olvasható az MQTT-bróker tanúsítványát hitelesítő fájl: %1.")
                           .arg(caFile.isEmpty() ? QString::fromLatin1(systemCertificates) : options.caFile);
            return false;
        }
    }

    // Connects without blocking, so that the wait for an unanswering host has the same bound.
    const int error = mosquitto_connect_async(
        client.get(), options.broker.host.toUtf8().constData(), options.broker.port, keepAliveSeconds);
    if (error != MOSQ_ERR_SUCCESS)
        return failOn(error, problem);
    return await([this] { return connected || refusal != 0; }, problem)
        && (connected || failOn(MOSQ_ERR_CONN_REFUSED, problem));
}

bool MqttSink::await(const std::function<bool()>& done, QString* problem)
{
    QDeadlineTimer silence(options.replyWait);
    int answersSeen = answers;
    while (!done()) {
        if (silence.hasExpired()) {
            const double seconds = std::chrono::duration<double>(options.replyWait).count();
            return fail(QStringLiteral("%1 másodpercig nem válaszolt").arg(seconds), problem);
        }
        const int error = mosquitto_loop(client.get(), int(silence.remainingTime()), 1);
        if (error != MOSQ_ERR_SUCCESS)
            return failOn(error, problem);
        if (answers != answersSeen) {
            answersSeen = answers;
            silence.setRemainingTime(options.replyWait);
        }
    }
    return true;
}

bool MqttSink::failOn(int error, QString* problem)
{
    if (refusal != 0) {
        *problem = QStringLiteral("Az MQTT-bróker elutasította a bejelentkezést: %1 (%2).")
                       .arg(brokerAddress(), refusalReasonOf(refusal));
        drop();
        return false;
    }
    const bool tls = error == MOSQ_ERR_TLS || error == MOSQ_ERR_TLS_HANDSHAKE;
    return fail(
        tls && !libraryError.isEmpty() ? QStringLiteral("TLS-hiba: %1").arg(libraryError) : reasonOf(error), problem);
}

bool MqttSink::fail(const QString& reason, QString* problem)
{
    *problem = QStringLiteral("Nem érhető el az MQTT-bróker: %1 (%2).").arg(brokerAddress(), reason);
    drop();
    return false;
}

QString MqttSink::brokerAddress() const
{
    const QString& host = options.broker.host;
    const QString shownHost = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return shownHost + QLatin1Char(':') + QString::number(options.broker.port);
}

void MqttSink::drop()
{
    if (connected)
        mosquitto_disconnect(client.get());
    client.reset();
    connected = false;
    refusal = 0;
    libraryError.clear();
    unacknowledged.clear();
}
