#include "recording/dailyfile.h"

#include "recording/dayfilecache.h"
#include "recording/devicename.h"
#include "settings/clock.h"
#include "settings/settings.h"
#include "settings/threadtextcache.h"

#include <QStringEncoder>

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

// A file to write, or why there is none.
struct Target
{
    std::shared_ptr<DayFile> file;
    DayFile::Outcome outcome = DayFile::Outcome::Opened;
};

// One whole line in one write, appended at the file's end, so a line is never split by another
// writer or by the program being killed.
stored_message_t appendToEach(const QStringList& names, const std::vector<Target>& targets, const QString& data)
{
    const QByteArray line = encodedLine(data);
    stored_message_t stored;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const std::shared_ptr<DayFile>& file = targets[i].file;
        bool locked = targets[i].outcome == DayFile::Outcome::Locked;
        const bool written = file && file->append(line, &locked);
        stored.saved << saved_line_t {names[static_cast<qsizetype>(i)], written, !written && locked};
        stored.descriptorsRanOut = stored.descriptorsRanOut || targets[i].outcome == DayFile::Outcome::OutOfHandles;
        if (file)
            stored.opened.push_back(file);
        if (i == 0 && written)
            stored.dataFile = file;
    }
    return stored;
}

} // namespace

QString dailyFileName(const filename_t& naming, const QString& name, const QDate& date)
{
    // Every message needs its file's name: the date's text is formatted once a day on each thread.
    thread_local ThreadTextCache<QDate, 16> dateTexts;
    const QStringView dateText
        = dateTexts.textOf(date, [&date] { return date.toString(QStringLiteral("yyyy-MM-dd")); });
    QString fileName;
    fileName.reserve(naming.path.size() + naming.prefix.size() + name.size() + 5 + dateText.size() + naming.ext.size());
    fileName.append(naming.path)
        .append(naming.prefix)
        .append(name)
        .append(u"-log_")
        .append(dateText)
        .append(naming.ext);
    return fileName;
}

stored_message_t saveData(const QString& data, const settings_t& settings)
{
    const QStringList names = targetNames(data, settings);
    std::vector<Target> targets(static_cast<std::size_t>(names.size()));
    for (std::size_t i = 0; i < targets.size(); ++i)
        targets[i].file = DayFile::open(names[qsizetype(i)], DayFile::Missing::Create, &targets[i].outcome);
    return appendToEach(names, targets, data);
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
    std::vector<Target> targets;
    for (const QString& name : names) {
        Target& target = targets.emplace_back();
        target.file = cache.find(name);
        if (target.file)
            continue;
        target.file = DayFile::open(name, DayFile::Missing::Fail, &target.outcome);
        if (target.outcome == DayFile::Outcome::OutOfHandles) {
            // The files kept open give way to a system short of descriptors.
            cache.clear();
            target.file = DayFile::open(name, DayFile::Missing::Fail, &target.outcome);
        }
        // Creating it, or waiting for descriptors to come free, is the slower lane's work.
        if (target.outcome == DayFile::Outcome::Absent || target.outcome == DayFile::Outcome::OutOfHandles)
            return std::nullopt;
        if (target.file)
            cache.keep(target.file);
    }
    return appendToEach(names, targets, data);
}
