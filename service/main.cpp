// stilwater-server: the data server without a window; see --help.

#include "engine/datafiles.h"
#include "engine/engine.h"
#include "engine/knowndevices.h"
#include "engine/openfiles.h"
#include "service/inheritedsocket.h"
#include "service/serviceoptions.h"
#include "service/serving.h"
#include "service/settingsline.h"
#include "settings/configfile.h"
#include "settings/parsertexts.h"
#include "settings/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace {

// Where the service will listen, with its words for the settings line; a sentence in `problem` when
// systemd's socket and config.cfg do not agree.
ListenPlace chooseListenPlace(
    const ServiceOptions& options, const settings_t& settings, QString* address, int* port, QString* problem)
{
    ListenPlace place {options.listen, -1};
    *address = options.listen.isEmpty() ? QStringLiteral("minden cím") : options.listen;
    *port = settings.port;
    if (options.check)
        return place;
    const InheritedSocket inherited = takeInheritedSocket(problem);
    if (inherited.descriptor < 0 || !problem->isEmpty())
        return place;
    if (!options.listen.isEmpty())
        *problem = QStringLiteral("A --listen nem adható meg, amikor a systemd adja a socketet: a címet a "
                                  "stilwater-server.socket ListenStream= sora adja.");
    else if (inherited.port != settings.port)
        *problem = QStringLiteral("A config.cfg portja %1, a systemd socketje (stilwater-server.socket, ListenStream=) "
                                  "a %2-es porton figyel: a kettőnek egyeznie kell.")
                       .arg(settings.port)
                       .arg(inherited.port);
    place.inheritedSocket = inherited.descriptor;
    *address = inherited.address + QStringLiteral(" (systemd socket)");
    *port = inherited.port;
    return place;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("stilwater-server"));
    QCoreApplication::setApplicationVersion(QStringLiteral(STILWATER_VERSION));
    HungarianParserTexts hungarian;
    QCoreApplication::installTranslator(&hungarian);

    ServiceOptions options;
    const QString usage = parseServiceOptions(QCoreApplication::arguments(), &options);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (!usage.isEmpty()) {
        err << "stilwater-server: " << usage << " Súgó: --help.\n";
        return 2;
    }
    if (!options.directory.isEmpty() && !QDir::setCurrent(options.directory)) {
        err << "stilwater-server: "
            << QStringLiteral("Nem lehet ebben a mappában dolgozni: %1.\n").arg(options.directory);
        return 2;
    }

    settings_t settings;
    QString problem = loadConfigFileStrictly(settings);
    if (problem.isEmpty() && options.listDevices) {
        const QDir folder(settings.file.path.isEmpty() ? QStringLiteral(".") : settings.file.path);
        for (const QString& name : devicesWithDayFiles(folder.entryList(QDir::Files), settings))
            out << name << '\n';
        return 0;
    }
    QString address;
    int port = 0;
    const ListenPlace place
        = problem.isEmpty() ? chooseListenPlace(options, settings, &address, &port, &problem) : ListenPlace();
    if (!problem.isEmpty()) {
        err << "stilwater-server: " << problem << '\n';
        return 1;
    }
    const QString line = settingsLine(settings, address, port, QDir::currentPath());
    if (options.check) {
        const QString file = QFileInfo(configFileName()).absoluteFilePath();
        out << line << '\n'
            << (QFileInfo::exists(file) ? QStringLiteral("%1: rendben, betölthető.\n")
                                        : QStringLiteral("%1: nincs ilyen fájl, az alapértékek szolgálnak.\n"))
                   .arg(file);
        return 0;
    }
    out << settings.timeStamp() << line << '\n';
    out.flush();
    // Every connected device holds a descriptor, and every device's day file another.
    raiseOpenFileLimit();
    return serveUntilSignalled(settings, place, options);
}
