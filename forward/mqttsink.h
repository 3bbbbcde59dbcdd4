#pragma once

#include "forward/mqttbroker.h"
#include "forward/sink.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <set>

struct mosquitto;

struct MqttSinkOptions
{
    MqttBroker broker;
    QString caFile; // for TLS; empty: the system's certificate authorities
    QString topicPrefix = QStringLiteral("stilwater");
    QString instance;
    QString loginFile; // empty: no login
    QString cursorFile;
    // How long the broker may keep the forwarder waiting for its answer to a connection, or for the
    // next acknowledgement of a publication.
    std::chrono::milliseconds replyWait {5000};
};

// libmosquitto's process-wide setup, done once however often it is asked for.
void useMosquittoLibrary();

// Publishes every line with QoS 1 to <prefix>/<instance>/<device> and moves the cursors in its own
// file only once the broker has acknowledged each one: after a crash lines go again, never missing.
// The network loop runs on the caller's thread, inside these calls only, so nothing is shared with
// another thread; open(), which deliver() calls too, keeps a quiet connection alive and replaces one
// that the broker dropped.
class MqttSink : public Sink
{
public:
    explicit MqttSink(MqttSinkOptions options);
    ~MqttSink() override;

    QString name() const override { return QStringLiteral("mqtt"); }
    bool open(QString* problem) override;
    bool cursors(Cursors* stored, QString* problem) override;
    bool deliver(const std::vector<ForwardedLine>& lines, const Cursors& after, QString* problem) override;

private:
    bool connectAnew(QString* problem);
    bool publish(const ForwardedLine& line, QString* problem);
    // `after` names only the files that a delivery moved; the file keeps every other one's too.
    bool moveCursors(const Cursors& after, QString* problem);
    // Runs the network loop until `done` holds. False with a sentence when the connection fails or
    // the broker stays silent for replyWait; the client is then dropped, so that the next open()
    // starts afresh and no publication of this one goes later behind the caller's back.
    bool await(const std::function<bool()>& done, QString* problem);
    bool fail(const QString& reason, QString* problem);
    bool failOn(int error, QString* problem);
    QString brokerAddress() const;
    void drop();

    MqttSinkOptions options;
    std::unique_ptr<mosquitto, void (*)(mosquitto*)> client;
    bool connected = false;
    int refusal = 0; // the broker's CONNACK code when it refused the connection
    QString libraryError; // libmosquitto's last error line
    int answers = 0; // acknowledgements and CONNACKs read so far
    std::set<int> unacknowledged; // message ids
    std::optional<Cursors> kept; // as in the file, once read; unknown after a failed write
};
