#include "recording/dailyfile.h"
#include "recording/devicename.h"
#include "settings/settings.h"

#include <QDir>
#include <QFileInfo>

#include <cstdint>

// Whatever a device puts in its name field, its daily file lies directly in the configured folder,
// and without a prefix its name is neither hidden nor taken for an option.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString name
        = deviceName(QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        qFatal("A path separator in a name");
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        qFatal("A name that is . or ..");
    const QString folder = QStringLiteral("/srv/data");
    const QString fileName
        = dailyFileName(filename_t(QString(), QString(), folder + QLatin1Char('/')), name, QDate(2026, 12, 5));
    const QFileInfo file(QDir::cleanPath(fileName));
    if (file.path() != folder)
        qFatal("A file outside the folder");
    if (file.fileName().startsWith(QLatin1Char('.')) || file.fileName().startsWith(QLatin1Char('-')))
        qFatal("A file name that starts with . or -");
    return 0;
}
