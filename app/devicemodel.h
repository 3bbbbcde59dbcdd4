#pragma once

#include "engine/devicetable.h"

#include <QAbstractTableModel>
#include <QCollator>
#include <QHash>

#include <deque>
#include <vector>

// The device table's rows for a view, taken over a slice at a time so that thousands of changed
// rows never hold up the window's thread for long.
class DeviceModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        Name,
        State,
        SilentFor,
        Connected,
        LastMessage,
        Peer,
        Messages,
        ChecksumErrors,
        SyntaxErrors,
        StoringFailures,
        FirstSeen,
        ColumnCount
    };
    // Sorting by this role orders times and counts as numbers and puts the silent devices first.
    static constexpr int sortRole = Qt::UserRole;

    explicit DeviceModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Forgets every row, for a table that has dropped some.
    void clear();
    // Queues changed rows; they are taken over by takeSlice().
    void enqueue(std::vector<device_row_t> rows);
    // Takes over up to `limit` queued rows; true while more wait.
    bool takeSlice(std::size_t limit);
    // Marks the devices whose last message is older than `silentSeconds` before `now` (milliseconds
    // since the epoch) and shows how long each has been silent; true when a device became silent or
    // came back.
    bool markSilent(qint64 now, qint64 silentSeconds);
    int silentCount() const { return silent; }
    int connectedCount() const { return connected; }
    // Takes the rows of the devices out.
    void remove(const QStringList& names);

    // Names in natural order ("SIM2" before "SIM10"), compared by keys made once per row, so that
    // sorting tens of thousands of rows stays quick.
    bool nameLess(int left, int right) const
    {
        return nameKeys[std::size_t(left)].compare(nameKeys[std::size_t(right)]) < 0;
    }

private:
    std::vector<device_row_t> rows;
    std::vector<bool> silentRows;
    std::vector<QCollatorSortKey> nameKeys;
    QCollator collator;
    QHash<QString, int> rowOf;
    std::deque<device_row_t> queued;
    qint64 now = 0;
    int silent = 0;
    int connected = 0;
};

// A span of time in its two largest units: "45 mp", "3 perc", "2 óra 5 perc", "1 nap 4 óra".
QString elapsedText(qint64 milliseconds);

// `rows` of `model` with the column captions before them, one line each, fields separated by
// `separator`; a field holding the separator, a quote or a line break is quoted.
QString tableText(const QAbstractItemModel& model, const QList<int>& rows, QChar separator);
