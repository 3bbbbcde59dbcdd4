#include "recording/dailyfile.h"

#include "recording/dayfilecache.h"
#include "recording/devicename.h"
#include "settings/clock.h"
#include "settings/settings.h"

#include <QStringEncoder>

#include <cerrno>

namespace {

QByteArray encodedLine(const QString& data)
{
    QStringEncoder encode(QStringConverter::System);
    QByteArray line = encode(data);
    line += "\r\n";
    return line;
}

QStringList targetNames(const QString& data, const settings_t& settings)
{
    const QString name = deviceName(data);
    const QDate today = clockToday();
    QStringList names {dailyFileName(settings.file, name, today)};
    if (settings.make_backup)
        names << dailyFileName(settings.backup, name, today);
    return names;
}

// One whole line in one write, appended at the file's end, so a line is never split by another
// writer or by the program being killed.
stored_message_t appendToEach(
    const QStringList& names, const std::vector<std::shared_ptr<DayFile>>& files, const QString& data)
{
    const QByteArray line = encodedLine(data);
    stored_message_t stored;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const bool written = files[i] && files[i]->append(line);
        stored.saved << saved_line_t {names[static_cast<qsizetype>(i)], written};
        if (files[i])
            stored.opened.push_back(files[i]);
        if (i == 0 && written)
            stored.dataFile = files[i];
    }
    return stored;
}

} // namespace

QString dailyFileName(const filename_t& naming, const QString& name, const QDate& date)
{
    // Every message needs its file's name: the date's text is formatted once a day on each thread.
    thread_local QDate formattedDate;
    thread_local QString dateText;
    if (date != formattedDate) {
        formattedDate = date;
        dateText = date.toString(QStringLiteral("yyyy-MM-dd"));
    }
    return naming.path + naming.prefix + name + QStringLiteral("-log_") + dateText + naming.ext;
}

stored_message_t saveData(const QString& data, const settings_t& settings)
{
    const QStringList names = targetNames(data, settings);
    std::vector<std::shared_ptr<DayFile>> files;
    bool descriptorsRanOut = false;
    for (const QString& name : names) {
        files.push_back(DayFile::open(name, DayFile::Missing::Create));
        descriptorsRanOut = descriptorsRanOut || (!files.back() && (errno == EMFILE || errno == ENFILE));
    }
    stored_message_t stored = appendToEach(names, files, data);
    stored.descriptorsRanOut = descriptorsRanOut;
    return stored;
}

void closeFiles(stored_message_t& stored)
{
    if (stored.dataFile)
        stored.closedDataFolder = stored.dataFile->folderPath();
    stored.dataFile.reset();
    stored.opened.clear();
}

std::optional<stored_message_t> saveDataToExistingFiles(
    const QString& data, const settings_t& settings, DayFileCache& cache)
{
    const QStringList names = targetNames(data, settings);
    std::vector<std::shared_ptr<DayFile>> files;
    for (const QString& name : names) {
        std::shared_ptr<DayFile> file = cache.find(name);
        if (!file) {
            DayFile::Outcome outcome = DayFile::Outcome::Opened;
            file = DayFile::open(name, DayFile::Missing::Fail, &outcome);
            if (!file && errno == EMFILE) {
                // The files kept open give way to a system short of descriptors.
                cache.clear();
                file = DayFile::open(name, DayFile::Missing::Fail, &outcome);
            }
            // Creating it, or waiting for descriptors to come free, is the slower lane's work.
            if (outcome == DayFile::Outcome::Absent || (!file && errno == EMFILE))
                return std::nullopt;
            if (file)
                cache.keep(file);
        }
        files.push_back(std::move(file));
    }
    return appendToEach(names, files, data);
}
