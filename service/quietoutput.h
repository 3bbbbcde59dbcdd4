#pragma once

#include <QString>

// What the quiet journal does with an engine line: keeps it, leaves it out (one message, or the
// reply to it), or counts it into the summary (a connection's start or end).
enum class QuietLine { Kept, PerMessage, Opened, EndedByTimeout, EndedByClient, EndedByServer };
QuietLine quietLine(QStringView line);

// How many messages of each verdict an interval brought, how many devices sent any, and how many
// connections began and ended, by who ended them.
struct summary_t
{
    int seconds = 0;
    quint64 accepted = 0;
    quint64 checksumErrors = 0;
    quint64 syntaxErrors = 0;
    quint64 storingFailures = 0;
    std::size_t devices = 0;
    quint64 opened = 0;
    quint64 endedByTimeout = 0;
    quint64 endedByClient = 0;
    quint64 endedByServer = 0;
};

// An event's lines as the quiet journal keeps them, the connections' starts and ends counted into
// `summary`; a blank line goes with the line before it.
QString quietEvent(const QString& event, summary_t* summary);

// The summary's line, without its time stamp.
QString summaryText(const summary_t& summary);
