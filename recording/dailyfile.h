#pragma once

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

class settings_t;
struct filename_t;

// Whether one message line reached one file.
struct saved_line_t
{
    QString fileName;
    bool written = false;
};

// folder + prefix + device name + "-log_" + date + extension, joined without separators.
QString dailyFileName(const filename_t& naming, const QString& name, const QDate& date);

// Appends the message and CR LF to today's data file and, when backups are on, to the backup file,
// in the system's encoding, creating what is missing. The data file comes first in the result. A
// line counts as written only when opening, writing and closing all succeeded; a name that is not a
// regular file (a link, a FIFO) is not opened.
QList<saved_line_t> saveData(const QString& data, const settings_t& settings);

// The same, but only while every file that the message goes to exists already: otherwise nothing is
// written and nothing is returned. Creating a file can take the disk a while, appending to one
// hardly ever does, so the caller may do this much at once and leave the rest to a slower lane.
std::optional<QList<saved_line_t>> saveDataToExistingFiles(const QString& data, const settings_t& settings);
