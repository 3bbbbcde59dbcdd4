#pragma once

#include "recording/dayfile.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class DayFileCache;
class settings_t;
struct filename_t;

// Whether one message line reached one file.
struct saved_line_t
{
    QString fileName;
    bool written = false;
    bool locked = false; // not written because another program holds the file locked
};

// What storing one message did.
struct stored_message_t
{
    QList<saved_line_t> saved; // the data file first, then the backup file when backups are on
    std::shared_ptr<DayFile> dataFile; // when its line was written: what makes it durable is synced
    std::vector<std::shared_ptr<DayFile>> opened; // every file written, to be kept open for the next lines
    bool descriptorsRanOut = false; // a file could not be opened for want of a descriptor
    QByteArray closedDataFolder; // the data file's folder, once its line is written and its file closed
};

// Closes the files that `stored` holds, for a system short of descriptors; what makes the line durable
// then is a sync of the data file's folder's file system.
void closeFiles(stored_message_t& stored);

// folder + prefix + device name + "-log_" + date + extension, joined without separators.
QString dailyFileName(const filename_t& naming, const QString& name, const QDate& date);

// Appends the message and CR LF to today's data file and, when backups are on, to the backup file,
// in the system's encoding, creating what is missing. A line counts as written only when the whole
// of it was.
stored_message_t saveData(const QString& data, const settings_t& settings);

// The same, but only while every file that the message goes to is open in `cache` or exists
// already, and there is a descriptor to open it: otherwise nothing is written and nothing is returned. Creating a file
// can take the disk a while, appending to one hardly ever does, so the caller may do this much at once and leave the
// rest to a slower lane. Files opened here are kept in `cache`.
std::optional<stored_message_t> saveDataToExistingFiles(
    const QString& data, const settings_t& settings, DayFileCache& cache);
