// stilwater-server: the data server without a window; see --help.

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
    monitoring_t monitoring;
    const QString problem = parseServiceOptions(QCoreApplication::arguments(), &directory, &monitoring);
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
    return serveUntilSignalled(settings, monitoring);
}
