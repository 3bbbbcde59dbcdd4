#include "engine/datafiles.h"

#include "settings/settings.h"

#include <QSet>

namespace {

QRegularExpression dayFilePattern(const filename_t& naming)
{
    // A name on Linux may hold a line feed.
    return QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(naming.prefix)
            + QStringLiteral("(.+)-log_(\\d{4}-\\d\\d-\\d\\d)") + QRegularExpression::escape(naming.ext)
            + QLatin1Char('$'),
        QRegularExpression::DotMatchesEverythingOption);
}

} // namespace

DataFileNames::DataFileNames(const settings_t& settings)
    : data(dayFilePattern(settings.file))
    , backup(dayFilePattern(settings.backup))
    , backupsBeside(settings.backup.path == settings.file.path && settings.backup.prefix != settings.file.prefix)
{ }

std::optional<DataFileNames::data_file_t> DataFileNames::match(const QString& fileName) const
{
    const QRegularExpressionMatch found = data.match(fileName);
    if (!found.hasMatch() || (backupsBeside && backup.match(fileName).hasMatch()))
        return std::nullopt;
    const QDate day = QDate::fromString(found.captured(2), QStringLiteral("yyyy-MM-dd"));
    if (!day.isValid())
        return std::nullopt;
    return data_file_t {found.captured(1), day};
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
