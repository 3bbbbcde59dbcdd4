#include "recording/dailyfile.h"
#include "recording/devicename.h"
#include "settings/settings.h"
#include "tests/fuzz/property.h"

#include <QDir>
#include <QFileInfo>

#include <cstdint>

// Whatever a device puts in its name field, its daily file lies directly in the configured folder.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString name
        = deviceName(QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    require(!name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')), "no path separator in a name");
    require(name != QLatin1String(".") && name != QLatin1String(".."), "a name is neither . nor ..");
    const QString folder = QStringLiteral("/srv/data");
    const QString fileName
        = dailyFileName(filename_t(QString(), QString(), folder + QLatin1Char('/')), name, QDate(2026, 12, 5));
    require(QFileInfo(QDir::cleanPath(fileName)).path() == folder, "the file lies directly in the folder");
    return 0;
}
