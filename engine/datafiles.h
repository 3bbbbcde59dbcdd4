#pragma once

#include "settings/settings.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>

// Tells a device's data files among a data folder's files: backup copies kept beside them would
// otherwise pass for devices whose names start with the backup prefix.
class DataFileNames
{
public:
    explicit DataFileNames(const settings_t& settings);

    struct data_file_t
    {
        QString device;
        QDate day;
    };
    // The device and day of a data file's name; nothing for any other file.
    std::optional<data_file_t> match(const QString& fileName) const;

private:
    static std::optional<data_file_t> dayFileOf(const filename_t& naming, QStringView fileName);

    filename_t data;
    filename_t backup;
    bool backupsBeside = false;
};

// The devices that have data files among `fileNames` (a data folder's files), sorted, each once.
QStringList devicesWithDayFiles(const QStringList& fileNames, const settings_t& settings);
