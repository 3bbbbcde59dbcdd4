#include "tools/sim/simoptions.h"

#include <QCommandLineParser>
#include <QHostAddress>

namespace {

const char* const description = R"(Simulated field devices for a Stilwater data server.

Each device opens its own TCP connection, sends messages in the devices' format ("$08", a 32-character
name field, 96 digits that carry the device and sequence numbers, two checksum digits) and checks every
reply. Exit status: 0 when every reply was the expected one, 1 when any was not, 2 for a usage error (an
unknown option, a missing or wrong value) or a server that cannot be reached.

Examples:
  stilwater-sim --host 192.0.2.10 --port 10001 --messages 5
      one device, five messages, the default "ok" acknowledgement expected
  stilwater-sim --devices 20 --messages 1000 --bad-checksum 0.1 --expect-chks CE --noise 0.05 --expect-syntax SE
      20 devices, a tenth of the messages with a wrong checksum, one in twenty after noise
  stilwater-sim --devices 10000 --rate 0.1 --duration 60 --json
      10,000 devices, each sending one message every ten seconds for a minute; summary as JSON
  stilwater-sim --devices 16 --duration 10 --reconnect --from 127.0.0.2,127.0.0.3 --ack-log acks
      16 devices from two source addresses that reconnect and send again what was not acknowledged,
      as real devices do when a server behind a load balancer goes away)
  stilwater-sim --attack names --attack-rate 1000 --duration 5
      a hostile client on loopback: a thousand invented device names a second for five seconds)";

bool readProportion(const QString& text, double* value)
{
    bool ok = false;
    *value = text.toDouble(&ok);
    return ok && *value >= 0 && *value <= 1;
}

} // namespace

QString parseSimOptions(const QStringList& arguments, SimOptions* options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(description));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const auto add = [&parser](const QString& name, const QString& help, const QString& value = QString()) {
        QCommandLineOption option(name, help, value);
        parser.addOption(option);
        return option;
    };
    const auto host
        = add(QStringLiteral("host"), QStringLiteral("Server address (default 127.0.0.1)."), QStringLiteral("address"));
    const auto port
        = add(QStringLiteral("port"), QStringLiteral("Server port (default 10001)."), QStringLiteral("port"));
    const auto devices = add(QStringLiteral("devices"),
        QStringLiteral("Number of devices, each on its own connection (default 1)."), QStringLiteral("N"));
    const auto messages
        = add(QStringLiteral("messages"), QStringLiteral("Messages per device (default 10)."), QStringLiteral("M"));
    const auto duration = add(QStringLiteral("duration"),
        QStringLiteral("Send for S seconds instead of a number of messages, counted once every device is connected."),
        QStringLiteral("S"));
    const auto rate = add(QStringLiteral("rate"),
        QStringLiteral("Messages per second per device, e.g. 0.1 for one every ten seconds; 0 (default): each "
                       "device sends its next message as soon as the reply to the last one is in."),
        QStringLiteral("R"));
    const auto prefix = add(QStringLiteral("name-prefix"),
        QStringLiteral("Name field of device k: TEXT followed by k (default SIM, so SIM1, SIM2, ...). The "
                       "server's daily files are named after it."),
        QStringLiteral("TEXT"));
    const auto badChecksum = add(QStringLiteral("bad-checksum"),
        QStringLiteral("Proportion P (0 to 1) of messages sent with a wrong checksum; their reply is "
                       "--expect-chks."),
        QStringLiteral("P"));
    const auto badLength = add(QStringLiteral("bad-length"),
        QStringLiteral("Proportion P of messages sent two characters short; their reply is --expect-syntax. The "
                       "server answers a short message only when the next one begins, so the device sends "
                       "that one at once, and a device's last message is never short."),
        QStringLiteral("P"));
    const auto noise = add(QStringLiteral("noise"),
        QStringLiteral("Proportion P of messages preceded by a few characters of noise; the noise gets its own "
                       "--expect-syntax reply before the message's reply."),
        QStringLiteral("P"));
    const auto split = add(
        QStringLiteral("split"), QStringLiteral("Write each message in K pieces (default 1)."), QStringLiteral("K"));
    const auto crlf = add(QStringLiteral("crlf"),
        QStringLiteral("End each message with CR LF. The server answers the line feed as text of its own "
                       "(--expect-syntax) when the next message begins."));
    const auto expectAck = add(QStringLiteral("expect-ack"),
        QStringLiteral("Reply expected to an accepted message (default ok)."), QStringLiteral("TEXT"));
    const auto expectChks = add(QStringLiteral("expect-chks"),
        QStringLiteral("Reply expected to a checksum error (default empty)."), QStringLiteral("TEXT"));
    const auto expectSyntax = add(QStringLiteral("expect-syntax"),
        QStringLiteral("Reply expected to a syntax error (default empty). An empty expectation means no reply: "
                       "the device waits --reply-timeout and counts silence as right."),
        QStringLiteral("TEXT"));
    const auto replyTimeout = add(QStringLiteral("reply-timeout"),
        QStringLiteral("Milliseconds to wait for a reply (default 1000); a reply that does not come in time is "
                       "wrong."),
        QStringLiteral("MS"));
    const auto idle = add(QStringLiteral("idle"),
        QStringLiteral("Also open N connections that never send, held until the end (for load tests)."),
        QStringLiteral("N"));
    const auto connectTimeout = add(QStringLiteral("connect-timeout"),
        QStringLiteral("Give up when not every connection is made within S seconds (default 60)."),
        QStringLiteral("S"));
    const auto reconnect = add(QStringLiteral("reconnect"),
        QStringLiteral("A device that loses its connection (closed by the server, reset, refused) or whose "
                       "acknowledgement does not come within --reply-timeout connects again, after 50 to 100 ms "
                       "growing to 1 s between attempts, and sends again every message not yet acknowledged; "
                       "the summary counts them as resent. A refused first connection is tried again the same way "
                       "until --connect-timeout; a device that cannot connect again for --connect-timeout seconds "
                       "gives up, its unacknowledged messages counted wrong."));
    const auto from = add(QStringLiteral("from"),
        QStringLiteral("Connect from these local addresses, separated by commas: device k from the k-th, "
                       "round the list (e.g. 127.0.0.2,127.0.0.3 on loopback, where a load balancer that "
                       "balances by source address tells them apart)."),
        QStringLiteral("ADDRESSES"));
    const auto ackLog = add(QStringLiteral("ack-log"),
        QStringLiteral("Write every acknowledged message to FILE, one per line, so that the server's data "
                       "files can be checked against it."),
        QStringLiteral("FILE"));
    const auto json = add(QStringLiteral("json"),
        QStringLiteral("Print the summary as one JSON object: sent, right, wrong, seconds, rate, p50_ms, p95_ms, "
                       "p99_ms, max_ms, connect_ms, closed_by_server, resent, refused."));

    const auto attack = add(QStringLiteral("attack"),
        QStringLiteral("Instead of devices, attack the server on loopback for --duration seconds (at most 300): "
                       "names (well-formed messages, each with a new invented name), silent (connections that "
                       "never send), endless (bytes that never hold a \"$\"), junk (\"$\" and 999 characters, "
                       "again and again). Prints what it did."),
        QStringLiteral("MODE"));
    const auto attackConnections = add(QStringLiteral("attack-connections"),
        QStringLiteral("Connections the attack keeps open, 1 to 10000 (default 1); a closed one is opened again."),
        QStringLiteral("N"));
    const auto attackRate = add(QStringLiteral("attack-rate"),
        QStringLiteral("Names a second (names), or bytes a second over all connections (endless, junk); 0 "
                       "(default): as fast as this machine goes."),
        QStringLiteral("R"));

    // process() would exit with 1 on a usage error; scripts tell a wrong call by 2.
    if (!parser.parse(arguments))
        return parser.errorText();
    // --help-all comes with --help; this program has no Qt options to add to it.
    if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all")))
        parser.showHelp();
    if (!parser.positionalArguments().isEmpty())
        return QStringLiteral("Unknown argument: %1.").arg(parser.positionalArguments().first());

    const auto integer = [&parser](const QCommandLineOption& option, int minimum, int* value) {
        if (!parser.isSet(option))
            return true;
        bool ok = false;
        *value = parser.value(option).toInt(&ok);
        return ok && *value >= minimum;
    };
    const auto real = [&parser](const QCommandLineOption& option, double* value) {
        if (!parser.isSet(option))
            return true;
        bool ok = false;
        *value = parser.value(option).toDouble(&ok);
        return ok && *value >= 0;
    };
    const auto proportion = [&parser](const QCommandLineOption& option, double* value) {
        return !parser.isSet(option) || readProportion(parser.value(option), value);
    };

    int portNumber = options->port;
    if (!integer(port, 1, &portNumber) || portNumber > 65535)
        return QStringLiteral("--port needs a number from 1 to 65535.");
    options->port = static_cast<quint16>(portNumber);
    if (!integer(devices, 1, &options->devices) || !integer(messages, 1, &options->messages)
        || !integer(split, 1, &options->split) || !integer(replyTimeout, 1, &options->replyTimeoutMs)
        || !integer(idle, 0, &options->idle) || !integer(connectTimeout, 1, &options->connectTimeoutS))
        return QStringLiteral("--devices, --messages, --split, --reply-timeout and --connect-timeout need a "
                              "positive whole number, --idle zero or more.");
    if (!real(duration, &options->duration) || !real(rate, &options->rate))
        return QStringLiteral("--duration and --rate need a number of zero or more.");
    if (!proportion(badChecksum, &options->badChecksum) || !proportion(badLength, &options->badLength)
        || !proportion(noise, &options->noise))
        return QStringLiteral("--bad-checksum, --bad-length and --noise need a proportion from 0 to 1.");
    if (parser.isSet(from)) {
        options->sourceAddresses = parser.value(from).split(QLatin1Char(','));
        for (const QString& address : std::as_const(options->sourceAddresses)) {
            if (QHostAddress(address).isNull())
                return QStringLiteral("--from needs addresses separated by commas, e.g. 127.0.0.2,127.0.0.3.");
        }
    }
    if (parser.isSet(host))
        options->host = parser.value(host);
    if (parser.isSet(attack)) {
        const QStringList modes {
            QStringLiteral("names"), QStringLiteral("silent"), QStringLiteral("endless"), QStringLiteral("junk")};
        const qsizetype mode = modes.indexOf(parser.value(attack));
        if (mode < 0)
            return QStringLiteral("--attack needs names, silent, endless or junk.");
        options->attack = SimOptions::Attack(mode + 1);
        if (!QHostAddress(options->host).isLoopback())
            return QStringLiteral("--attack only against a loopback address.");
        if (!integer(attackConnections, 1, &options->attackConnections) || options->attackConnections > 10000
            || !real(attackRate, &options->attackRate) || options->duration <= 0)
            return QStringLiteral("--attack needs --duration, --attack-connections from 1 to 10000, --attack-rate "
                                  "of zero or more.");
    }
    if (parser.isSet(prefix))
        options->namePrefix = parser.value(prefix);
    if (parser.isSet(expectAck))
        options->expectAck = parser.value(expectAck).toLatin1();
    if (parser.isSet(expectChks))
        options->expectChks = parser.value(expectChks).toLatin1();
    if (parser.isSet(expectSyntax))
        options->expectSyntax = parser.value(expectSyntax).toLatin1();
    options->crlf = parser.isSet(crlf);
    options->reconnect = parser.isSet(reconnect);
    options->ackLog = parser.value(ackLog);
    options->json = parser.isSet(json);
    return QString();
}
