#pragma once

#include "forward/sink.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <map>
#include <optional>

class settings_t;

// A data file as one look at its folder found it.
struct DayFileOnDisk
{
    QString path;
    qint64 size = 0;
    // Which file it is: a file moved away and another made under its name, or the same one truncated,
    // must not be read as the continuation of what went downstream.
    quint64 device = 0;
    quint64 inode = 0;
    bool operator==(const DayFileOnDisk& other) const { return device == other.device && inode == other.inode; }
};

using DayFilesOnDisk = std::map<DayFileKey, DayFileOnDisk>;

// What the names of a folder's files tell, kept from one look to the next: a folder of 19,000 devices'
// files is listed every round, and taking each name apart again would cost more than the listing.
using DayFileNames = QHash<QByteArray, std::optional<DayFileKey>>;

// The data files of the folder that `settings` names, by their key: regular files only, backups and
// everything else left out. A folder that cannot be read gives none, with the reason in `problem`.
// `names` holds the names of the last look and then those of this one.
DayFilesOnDisk dayFilesOnDisk(const settings_t& settings, DayFileNames* names, QString* problem);

// Makes every byte written so far into the data folder durable, with one sync of its file system: what
// a power cut could still take away must not reach a downstream system.
bool syncDataFolder(const settings_t& settings, QString* problem);

// Bytes [from, to) of the file that `seen` describes, while it is still that file.
bool readDayFile(const DayFileOnDisk& seen, qint64 from, qint64 to, QByteArray* bytes, QString* problem);
