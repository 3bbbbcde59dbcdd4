// stilwater-sim: simulated field devices; see --help.

#include "tools/sim/simfleet.h"
#include "tools/sim/simoptions.h"

#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>

#include <sys/resource.h>

namespace {

// Thousands of devices need thousands of sockets: the soft open-file limit goes up to the hard one.
void raiseOpenFileLimit()
{
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("stilwater-sim"));

    SimOptions options;
    QString problem = parseSimOptions(QCoreApplication::arguments(), &options);
    if (!problem.isEmpty()) {
        QTextStream(stderr) << "stilwater-sim: " << problem << " See --help.\n";
        return 2;
    }
    raiseOpenFileLimit();

    SimFleet fleet(options);
    if (!fleet.openAckLog(&problem)) {
        QTextStream(stderr) << "stilwater-sim: " << problem << '\n';
        return 2;
    }
    QObject::connect(&fleet, &SimFleet::ended, &application, &QCoreApplication::exit, Qt::QueuedConnection);
    QTimer::singleShot(0, &fleet, &SimFleet::start);
    return application.exec();
}
