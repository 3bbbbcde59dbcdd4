#include "app/windowoptions.h"

#include <QCommandLineParser>

WindowOptions parseWindowOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Stilwater: a terepi eszközök adatszervere, ablakkal."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption noSync(QStringLiteral("no-sync"),
        QStringLiteral("Már akkor nyugtázza az üzenetet, amikor a sorát átadta a rendszernek, a lemezt nem várja meg: "
                       "gyorsabb, de áramszünetkor vagy a rendszer összeomlásakor már nyugtázott üzenetek is "
                       "elveszhetnek. Alapértelmezés szerint csak akkor nyugtáz egy üzenetet, amikor a sora már a "
                       "lemezen van."));
    parser.addOption(noSync);
    parser.process(arguments);
    return {!parser.isSet(noSync)};
}
