// stilwater-server: the data server without a window; see --help.

#include "engine/knowndevices.h"
#include "engine/openfiles.h"
#include "service/serviceoptions.h"
#include "service/serving.h"
#include "settings/configfile.h"
#include "settings/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("stilwater-server"));
    QCoreApplication::setApplicationVersion(QStringLiteral(STILWATER_VERSION));

    QString directory;
    ServiceGuard guard;
    const QString problem = parseServiceOptions(QCoreApplication::arguments(), &directory, &guard);
    if (!problem.isEmpty()) {
        QTextStream(stderr) << "stilwater-server: " << problem << " See --help.\n";
        return 2;
    }
    if (!directory.isEmpty() && !QDir::setCurrent(directory)) {
        QTextStream(stderr) << "stilwater-server: cannot work in the directory " << directory << ".\n";
        return 2;
    }
    // Every connected device holds a descriptor, and every device's day file another.
    raiseOpenFileLimit();

    settings_t settings;
    loadConfigFile(settings);
    if (guard.listDevices) {
        const QDir folder(settings.file.path.isEmpty() ? QStringLiteral(".") : settings.file.path);
        QTextStream out(stdout);
        for (const QString& name : devicesWithDayFiles(folder.entryList(QDir::Files), settings))
            out << name << '\n';
        return 0;
    }
    return serveUntilSignalled(settings, guard.admission);
}
