#pragma once

#include <QDate>
#include <QString>

struct filename_t;

// Whether one message line reached one file.
struct saved_line_t
{
    QString fileName;
    bool written = false;
};

// folder + prefix + device name + "-log_" + date + extension, joined without separators.
QString dailyFileName(const filename_t& naming, const QString& name, const QDate& date);

// Appends `data` and CR LF to today's file of the family, in the system's encoding. Written only
// when opening, writing and closing all succeeded.
saved_line_t appendToDailyFile(const filename_t& naming, const QString& name, const QString& data);
