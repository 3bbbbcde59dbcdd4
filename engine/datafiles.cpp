#include "engine/datafiles.h"

#include <QSet>

DataFileNames::DataFileNames(const settings_t& settings)
    : data(settings.file)
    , backup(settings.backup)
    , backupsBeside(settings.backup.path == settings.file.path && settings.backup.prefix != settings.file.prefix)
{ }

// Taken apart by hand rather than by a regular expression: this runs on a thread of its own, and
// the regular expressions' per-thread stack crashes every such thread at its exit on MinGW-w64.
std::optional<DataFileNames::data_file_t> DataFileNames::dayFileOf(const filename_t& naming, QStringView fileName)
{
    constexpr QLatin1String marker("-log_");
    constexpr qsizetype dateLength = 10; // yyyy-MM-dd
    if (fileName.size() < naming.prefix.size() + 1 + marker.size() + dateLength + naming.ext.size()
        || !fileName.startsWith(naming.prefix) || !fileName.endsWith(naming.ext))
        return std::nullopt;
    // A name on Linux may hold any character but "/", a line feed among them.
    const QStringView middle = fileName.sliced(naming.prefix.size()).chopped(naming.ext.size());
    const QStringView device = middle.chopped(marker.size() + dateLength);
    const QStringView date = middle.last(dateLength);
    const auto digitsAndDashes = [date] {
        for (qsizetype i = 0; i < date.size(); ++i) {
            if (i == 4 || i == 7 ? date[i] != u'-' : !(date[i] >= u'0' && date[i] <= u'9'))
                return false;
        }
        return true;
    };
    if (!middle.sliced(device.size()).startsWith(marker) || !digitsAndDashes())
        return std::nullopt;
    const QDate day = QDate::fromString(date.toString(), QStringLiteral("yyyy-MM-dd"));
    if (!day.isValid())
        return std::nullopt;
    return data_file_t {device.toString(), day};
}

std::optional<DataFileNames::data_file_t> DataFileNames::match(const QString& fileName) const
{
    if (backupsBeside && dayFileOf(backup, fileName))
        return std::nullopt;
    return dayFileOf(data, fileName);
}

QStringList devicesWithDayFiles(const QStringList& fileNames, const settings_t& settings)
{
    const DataFileNames dataFiles(settings);
    QSet<QString> names;
    for (const QString& fileName : fileNames) {
        if (const std::optional<DataFileNames::data_file_t> file = dataFiles.match(fileName))
            names.insert(file->device);
    }
    QStringList sorted(names.cbegin(), names.cend());
    sorted.sort();
    return sorted;
}
