#include "service/serviceoptions.h"

#include "engine/listening.h"
#include "engine/peeraddress.h"

#include <QCommandLineParser>

#include <optional>

namespace {

const char* const description = R"(The Stilwater data server without a window, for systemd and headless machines.

It reads config.cfg from its working directory, as the window does, serves at once and writes the
data files there; it never writes config.cfg. A config.cfg that exists but cannot be read or does not
have 13 lines stops it; without one the defaults serve. It writes the settings in use on a line of
their own, then every line that the window would show to standard output, errors to standard error.
A listening socket passed by systemd (stilwater-server.socket) is served instead of the port of
config.cfg. SIGTERM or SIGINT closes every connection and ends it with status 0; a config.cfg or a
port that cannot serve ends it with status 1, a usage error with 2. SIGHUP reads the list of known
devices (ismert_eszkozok.txt) again without dropping any connection.)";

// A limit's value: a positive whole number, or nothing when it is not one.
std::optional<int> limitValue(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value > 0 ? std::optional<int>(value) : std::nullopt;
}

} // namespace

QString parseServiceOptions(const QStringList& arguments, ServiceOptions* options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(description));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption directoryOption(QStringLiteral("directory"),
        QStringLiteral("Work in DIR: config.cfg and the data files are there (default: the current directory)."),
        QStringLiteral("DIR"));
    parser.addOption(directoryOption);
    const QCommandLineOption listenOption(QStringLiteral("listen"),
        QStringLiteral("Listen on ADDRESS only, IPv4 or IPv6 (default: every address, IPv6 and IPv4)."),
        QStringLiteral("ADDRESS"));
    parser.addOption(listenOption);
    const QCommandLineOption healthOption(QStringLiteral("health"),
        QStringLiteral("Answer HTTP GET /ready on PORT of the same address: 200 while the server's event "
                       "loops answer, 503 when they do not (for load balancers' health checks)."),
        QStringLiteral("PORT"));
    parser.addOption(healthOption);
    const QCommandLineOption checkOption(QStringLiteral("check"),
        QStringLiteral("Print the settings that would serve and whether config.cfg loads (status 0) or "
                       "not (status 1), then end without serving."));
    parser.addOption(checkOption);
    const QCommandLineOption noSyncOption(QStringLiteral("no-sync"),
        QStringLiteral("Acknowledge a message once its line is handed to the system, without waiting for the "
                       "disk: faster, but a power cut or a system crash can lose messages that were "
                       "acknowledged. By default a message is acknowledged only once its line is on the disk."));
    parser.addOption(noSyncOption);
    const QCommandLineOption metricsOption(QStringLiteral("metrics"),
        QStringLiteral("Serve Prometheus metrics over HTTP at /metrics on PORT of ADDRESS (default: 127.0.0.1, "
                       "this machine only)."),
        QStringLiteral("[ADDRESS:]PORT"));
    parser.addOption(metricsOption);
    const QCommandLineOption quietOption(QStringLiteral("quiet-messages"),
        QStringLiteral("Leave out the two lines of every message and its reply; connection events, errors and "
                       "storing failures stay, and a summary line comes every --summary-interval."));
    parser.addOption(quietOption);
    const QCommandLineOption summaryOption(QStringLiteral("summary-interval"),
        QStringLiteral("Seconds between the summary lines of --quiet-messages (default 60)."), QStringLiteral("S"));
    parser.addOption(summaryOption);
    const QCommandLineOption listDevicesOption(QStringLiteral("list-devices"),
        QStringLiteral("Print the names of the devices that have day files, one a line, and end: the first list of "
                       "known devices."));
    const QCommandLineOption balancerOption(QStringLiteral("balancer"),
        QStringLiteral("Take the PROXY protocol (version 1 or 2) from the load balancer at ADDRESS, and only from "
                       "it; repeat for more balancers."),
        QStringLiteral("ADDRESS"));
    const QCommandLineOption perAddressOption(QStringLiteral("max-per-address"),
        QStringLiteral("Refuse more than N connections at a time from one address (default: any number)."),
        QStringLiteral("N"));
    const QCommandLineOption totalOption(QStringLiteral("max-connections"),
        QStringLiteral("Refuse more than N connections at a time (default and most: the descriptor limit less a "
                       "thirty-second of it, at least 256)."),
        QStringLiteral("N"));
    parser.addOptions({listDevicesOption, balancerOption, perAddressOption, totalOption});

    // process() would exit with 1 on a usage error; scripts and systemd tell a wrong call by 2.
    if (!parser.parse(arguments))
        return parser.errorText();
    // --help-all comes with --help; this program has no Qt options to add to it.
    if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all")))
        parser.showHelp();
    if (parser.isSet(versionOption))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        return QStringLiteral("Unknown argument: %1.").arg(parser.positionalArguments().first());
    options->directory = parser.value(directoryOption);
    options->listen = parser.value(listenOption);
    if (parser.isSet(listenOption) && !isListenAddress(options->listen.toStdString()))
        return QStringLiteral("Not an IPv4 or IPv6 address: %1.").arg(options->listen);
    if (parser.isSet(healthOption)) {
        bool number = false;
        options->healthPort = parser.value(healthOption).toInt(&number);
        if (!number || options->healthPort < 1 || options->healthPort > 65535)
            return QStringLiteral("Not a port from 1 to 65535: %1.").arg(parser.value(healthOption));
    }
    options->check = parser.isSet(checkOption);
    options->durableAcknowledgements = !parser.isSet(noSyncOption);
    monitoring_t* monitoring = &options->monitoring;
    if (parser.isSet(metricsOption) && !parseMetricsAddress(parser.value(metricsOption), monitoring))
        return QStringLiteral("Not an [ADDRESS:]PORT for --metrics: %1.").arg(parser.value(metricsOption));
    monitoring->quietMessages = parser.isSet(quietOption);
    if (parser.isSet(summaryOption)) {
        bool number = false;
        const int seconds = parser.value(summaryOption).toInt(&number);
        if (!number || seconds < 1)
            return QStringLiteral("Not a number of seconds for --summary-interval: %1.")
                .arg(parser.value(summaryOption));
        monitoring->summaryInterval = std::chrono::seconds(seconds);
    }
    options->listDevices = parser.isSet(listDevicesOption);
    for (const QString& balancer : parser.values(balancerOption)) {
        asio::error_code error;
        const asio::ip::address address = asio::ip::make_address(balancer.toStdString(), error);
        if (error)
            return QStringLiteral("Not an IP address: --balancer %1.").arg(balancer);
        options->admission.balancers.insert(peerAddressText(address));
    }
    for (const auto& [option, limit] : {std::pair(&perAddressOption, &options->admission.perAddress),
             std::pair(&totalOption, &options->admission.total)}) {
        if (!parser.isSet(*option))
            continue;
        const std::optional<int> value = limitValue(parser.value(*option));
        if (!value)
            return QStringLiteral("Not a positive whole number: --%1 %2.")
                .arg(option->names().first(), parser.value(*option));
        *limit = *value;
    }
    return QString();
}
