#include "app/windowoptions.h"

#include <QCommandLineParser>

WindowOptions parseWindowOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Stilwater: the data server for field devices, with its window."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption noSync(QStringLiteral("no-sync"),
        QStringLiteral("Acknowledge a message once its line is handed to the system, without waiting for the disk: "
                       "faster, but a power cut or a system crash can lose messages that were acknowledged. "
                       "By default a message is acknowledged only once its line is on the disk."));
    parser.addOption(noSync);
    parser.process(arguments);
    return {!parser.isSet(noSync)};
}
