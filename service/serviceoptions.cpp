#include "service/serviceoptions.h"

#include "engine/listening.h"

#include <QCommandLineParser>

namespace {

const char* const description = R"(The Stilwater data server without a window, for systemd and headless machines.

It reads config.cfg from its working directory, as the window does, serves at once and writes the
data files there; it never writes config.cfg. A config.cfg that exists but cannot be read or does not
have 13 lines stops it; without one the defaults serve. It writes the settings in use on a line of
their own, then every line that the window would show to standard output, errors to standard error.
A listening socket passed by systemd (stilwater-server.socket) is served instead of the port of
config.cfg. SIGTERM or SIGINT closes every connection and ends it with status 0; a config.cfg or a
port that cannot serve ends it with status 1, a usage error with 2.)";

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
    return QString();
}
