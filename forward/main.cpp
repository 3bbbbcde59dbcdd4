// stilwater-forward: takes what the server stored to PostgreSQL and MQTT; see --help.

#include "forward/configuredsinks.h"
#include "forward/forwarding.h"
#include "forward/forwardoptions.h"
#include "settings/configfile.h"
#include "settings/parsertexts.h"
#include "settings/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("stilwater-forward"));
    QCoreApplication::setApplicationVersion(QStringLiteral(STILWATER_VERSION));
    HungarianParserTexts hungarian;
    QCoreApplication::installTranslator(&hungarian);

    ForwardOptions options;
    const QString usage = parseForwardOptions(QCoreApplication::arguments(), &options);
    QTextStream err(stderr);
    if (!usage.isEmpty()) {
        err << "stilwater-forward: " << usage << " Súgó: --help.\n";
        return 2;
    }
    if (!options.directory.isEmpty() && !QDir::setCurrent(options.directory)) {
        err << "stilwater-forward: "
            << QStringLiteral("Nem lehet ebben a mappában dolgozni: %1.\n").arg(options.directory);
        return 2;
    }
    settings_t settings;
    QString problem = loadConfigFileStrictly(settings);
    std::vector<std::unique_ptr<Sink>> sinks;
    if (problem.isEmpty())
        sinks = configuredSinks(options, &problem);
    if (!problem.isEmpty()) {
        err << "stilwater-forward: " << problem << '\n';
        return 1;
    }
    return forwardUntilSignalled(options, settings, std::move(sinks));
}
