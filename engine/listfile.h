#pragma once

#include <QByteArray>
#include <QString>

// A small text file that the operator keeps beside the server (the list of known devices). Read on
// the thread that starts the server, so nothing at its path may make the read wait: a FIFO would
// block it until someone writes to it, a device file or a huge file would never end.
struct list_file_t
{
    enum class State { Missing, Read, Unreadable };
    State state = State::Missing;
    QByteArray text; // what it holds, once read
    QString reason; // why it is unreadable: the system's words, or that it is no regular file or too large
};

// The file at `path` when it is a regular file of at most `maxSize` bytes.
list_file_t readListFile(const QString& path, qint64 maxSize);

// Why a file at the path is not taken though the system could open it.
inline QString notARegularFile()
{
    return QStringLiteral("nem szabályos fájl");
}
inline QString tooLarge(qint64 maxSize)
{
    return QStringLiteral("nagyobb %1 MB-nál").arg(maxSize / (1024 * 1024));
}
