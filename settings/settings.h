#pragma once

#include <QDateTime>
#include <QString>

// How one family of daily files is named: path + prefix + device name + "-log_" + date + ext.
struct filename_t
{
    filename_t() = default;
    filename_t(const QString& prefix, const QString& ext, const QString& path)
        : prefix(prefix), ext(ext), path(path) { }

    QString prefix;
    QString ext; // with its leading "."
    QString path; // empty for the working directory, otherwise ends in "/"
};

// The message-window time stamp of a moment: `timeStampLength` characters, ending in two spaces.
QString formatTimeStamp(const QDateTime& moment);
constexpr qsizetype timeStampLength = 25;
// The time stamp of a second since the epoch, in local time.
QString timeStampOfSecond(qint64 second);

class settings_t
{
public:
    QString ip = QStringLiteral("-");
    int port = 10001;
    filename_t file {QString(), QStringLiteral(".txt"), QString()};
    filename_t backup {QStringLiteral("bak_"), QStringLiteral(".txt"), QString()};
    bool make_backup = false;
    int socket_timeout = 30;
    int msg_timeout = 5;
    QString ack = QStringLiteral("ok");
    QString error_chks;
    QString error_syntax;
    QString pattern = QStringLiteral("$08") + QString(128, QLatin1Char('X')) + QStringLiteral("##");
    QString timeStamp() const;

    // The verdict on one complete message (accepted, checksum error, no leading "$", wrong length,
    // a control character; see messages/messagelayout.h). Only for a checksum error is the computed
    // checksum stored.
    static int calcChks(const QString& message, int* computed);
};
