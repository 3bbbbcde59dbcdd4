#include "service/serviceoptions.h"

#include "engine/peeraddress.h"

#include <QCommandLineParser>

#include <optional>

namespace {

const char* const description = R"(The Stilwater data server without a window, for systemd and headless machines.

It reads config.cfg from its working directory, as the window does, serves at once and writes the
data files there; it never writes config.cfg. Every line that the window would show goes to standard
output, errors to standard error. SIGTERM or SIGINT closes every connection and ends it with status 0;
a port that cannot be opened ends it with status 1, a usage error with 2. SIGHUP reads the list
of known devices (ismert_eszkozok.txt) again without dropping any connection.)";

// A limit's value: a positive whole number, or nothing when it is not one.
std::optional<int> limitValue(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value > 0 ? std::optional<int>(value) : std::nullopt;
}

} // namespace

QString parseServiceOptions(const QStringList& arguments, QString* directory, ServiceGuard* guard)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(description));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption directoryOption(QStringLiteral("directory"),
        QStringLiteral("Work in DIR: config.cfg and the data files are there (default: the current directory)."),
        QStringLiteral("DIR"));
    parser.addOption(directoryOption);
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
        QStringLiteral("Refuse more than N connections at a time (default and most: half the descriptor limit)."),
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
    *directory = parser.value(directoryOption);
    guard->listDevices = parser.isSet(listDevicesOption);
    for (const QString& balancer : parser.values(balancerOption)) {
        asio::error_code error;
        const asio::ip::address address = asio::ip::make_address(balancer.toStdString(), error);
        if (error)
            return QStringLiteral("Not an IP address: --balancer %1.").arg(balancer);
        guard->admission.balancers.insert(peerAddressText(address));
    }
    for (const auto& [option, limit] : {std::pair(&perAddressOption, &guard->admission.perAddress),
             std::pair(&totalOption, &guard->admission.total)}) {
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
