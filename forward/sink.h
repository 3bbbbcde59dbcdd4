#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>

#include <map>
#include <vector>

// One device's day file, as its name tells; every downstream system keeps how far it has taken each
// one under this key, so that a restart, another machine or a renamed data folder finds its place.
struct DayFileKey
{
    QString device;
    QDate day;

    // Oldest day first: the order in which a backlog goes downstream.
    bool operator<(const DayFileKey& other) const { return day != other.day ? day < other.day : device < other.device; }
    bool operator==(const DayFileKey& other) const { return day == other.day && device == other.device; }
};

// A complete line of a day file, already durable on disk, on its way downstream.
struct ForwardedLine
{
    DayFileKey file;
    qint64 offset = 0; // of its first byte in the day file
    QByteArray bytes; // as the device sent them, without the CR LF
    bool checksumOk = false; // judged with the program's own checksum
};

// Where each file stands for one downstream system: the offset just past the last line it holds or
// that was skipped as no message.
using Cursors = std::map<DayFileKey, qint64>;

// A downstream system. Its calls come from one thread of its own, one at a time, and may block for a
// while (never longer than a few seconds per call); a fault returns false with a sentence for the
// operator's line, never throws, and the caller tries again later.
class Sink
{
public:
    virtual ~Sink() = default;

    // Short and fixed, for metric labels and lines: "postgres", "mqtt".
    virtual QString name() const = 0;
    // Connects, or checks that the connection holds; reconnects after a fault.
    virtual bool open(QString* problem) = 0;
    // How far it has taken every file, as it keeps that itself: nothing known is offset 0.
    virtual bool cursors(Cursors* stored, QString* problem) = 0;
    // Takes `lines` (each file's lines in file order) and moves the cursors to `after`, which covers
    // every file of `lines` and may name files whose lines were all skipped. No cursor ever passes a
    // line that is not downstream, so after a fault of any kind the caller starts again from cursors().
    virtual bool deliver(const std::vector<ForwardedLine>& lines, const Cursors& after, QString* problem) = 0;
};
