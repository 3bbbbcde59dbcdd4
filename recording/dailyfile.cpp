#include "recording/dailyfile.h"

#include "recording/dayfileopen.h"
#include "recording/devicename.h"
#include "settings/clock.h"
#include "settings/settings.h"

#include <QFile>
#include <QStringEncoder>

#include <memory>
#include <vector>

namespace {

struct target_t
{
    QString fileName;
    std::unique_ptr<QFile> file;
    bool opened = false;
};

target_t openDailyFile(const filename_t& naming, const QString& name, MissingFile missing)
{
    target_t target {dailyFileName(naming, name, clockNow().date()), nullptr, false};
    target.file = std::make_unique<QFile>(target.fileName);
    // The whole line goes to the file in one write, appended at its end, so a line is never split by
    // another writer or by the program being killed.
    target.opened = openDayFile(*target.file, missing);
    return target;
}

saved_line_t appendLine(target_t& target, const QByteArray& line)
{
    if (!target.opened)
        return {target.fileName, false};
    const bool complete = target.file->write(line) == line.size();
    // close() reports what the system only notices when the file is closed (a full disk).
    target.file->close();
    return {target.fileName, complete && target.file->error() == QFileDevice::NoError};
}

QByteArray encodedLine(const QString& data)
{
    QStringEncoder encode(QStringConverter::System);
    QByteArray line = encode(data);
    line += "\r\n";
    return line;
}

std::vector<target_t> openTargets(const QString& data, const settings_t& settings, MissingFile missing)
{
    const QString name = deviceName(data);
    std::vector<target_t> targets;
    targets.push_back(openDailyFile(settings.file, name, missing));
    if (settings.make_backup)
        targets.push_back(openDailyFile(settings.backup, name, missing));
    return targets;
}

QList<saved_line_t> appendToEach(std::vector<target_t>& targets, const QString& data)
{
    const QByteArray line = encodedLine(data);
    QList<saved_line_t> saved;
    for (target_t& target : targets)
        saved << appendLine(target, line);
    return saved;
}

} // namespace

QString dailyFileName(const filename_t& naming, const QString& name, const QDate& date)
{
    return naming.path + naming.prefix + name + QStringLiteral("-log_") + date.toString(QStringLiteral("yyyy-MM-dd"))
        + naming.ext;
}

QList<saved_line_t> saveData(const QString& data, const settings_t& settings)
{
    std::vector<target_t> targets = openTargets(data, settings, MissingFile::Create);
    return appendToEach(targets, data);
}

std::optional<QList<saved_line_t>> saveDataToExistingFiles(const QString& data, const settings_t& settings)
{
    std::vector<target_t> targets = openTargets(data, settings, MissingFile::Fail);
    for (const target_t& target : targets) {
        if (!target.opened)
            return std::nullopt;
    }
    return appendToEach(targets, data);
}
