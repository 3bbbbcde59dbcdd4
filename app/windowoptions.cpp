#include "app/windowoptions.h"

#include "engine/nosyncoption.h"

#include <QCommandLineParser>

WindowOptions parseWindowOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Stilwater: a terepi eszközök adatszervere, ablakkal."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption noSync = noSyncOption();
    parser.addOption(noSync);
    parser.process(arguments);
    return {!parser.isSet(noSync)};
}
