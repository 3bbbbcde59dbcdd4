#include "service/serviceoptions.h"

#include <QCommandLineParser>

namespace {

const char* const description = R"(The Stilwater data server without a window, for systemd and headless machines.

It reads config.cfg from its working directory, as the window does, serves at once and writes the
data files there; it never writes config.cfg. Every line that the window would show goes to standard
output, errors to standard error. SIGTERM or SIGINT closes every connection and ends it with status 0;
a port that cannot be opened ends it with status 1, a usage error with 2.)";

} // namespace

QString parseServiceOptions(const QStringList& arguments, QString* directory, monitoring_t* monitoring)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(description));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption directoryOption(QStringLiteral("directory"),
        QStringLiteral("Work in DIR: config.cfg and the data files are there (default: the current directory)."),
        QStringLiteral("DIR"));
    parser.addOption(directoryOption);
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
    return QString();
}
