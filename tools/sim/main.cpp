// stilwater-sim: simulated field devices; see --help.

#include "engine/openfiles.h"
#include "settings/parsertexts.h"
#include "tools/sim/simattack.h"
#include "tools/sim/simfleet.h"
#include "tools/sim/simoptions.h"

#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("stilwater-sim"));
    HungarianParserTexts hungarian;
    QCoreApplication::installTranslator(&hungarian);

    SimOptions options;
    QString problem = parseSimOptions(QCoreApplication::arguments(), &options);
    if (!problem.isEmpty()) {
        QTextStream(stderr) << "stilwater-sim: " << problem << " Súgó: --help.\n";
        return 2;
    }
    // Thousands of devices need thousands of sockets.
    raiseOpenFileLimit();

    if (options.attack != SimOptions::Attack::None) {
        SimAttack attack(options);
        QObject::connect(&attack, &SimAttack::ended, &application, &QCoreApplication::exit, Qt::QueuedConnection);
        QTimer::singleShot(0, &attack, &SimAttack::start);
        return application.exec();
    }
    SimFleet fleet(options);
    if (!fleet.openAckLog(&problem)) {
        QTextStream(stderr) << "stilwater-sim: " << problem << '\n';
        return 2;
    }
    QObject::connect(&fleet, &SimFleet::ended, &application, &QCoreApplication::exit, Qt::QueuedConnection);
    QTimer::singleShot(0, &fleet, &SimFleet::start);
    return application.exec();
}
