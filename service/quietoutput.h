#pragma once

#include <QString>

// Whether an engine line reports one message (the message itself, or the reply to it) rather than
// a connection event, an error or a storing failure.
bool perMessageLine(QStringView line);

// An event's lines without those that report one message; a blank line goes with the line before it.
QString withoutPerMessageLines(const QString& event);

// How many messages of each verdict an interval brought, and how many devices sent any.
struct summary_t
{
    int seconds = 0;
    quint64 accepted = 0;
    quint64 checksumErrors = 0;
    quint64 syntaxErrors = 0;
    quint64 storingFailures = 0;
    std::size_t devices = 0;
};

// The summary's line, without its time stamp.
QString summaryText(const summary_t& summary);
