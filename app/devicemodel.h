#pragma once

#include "engine/devicetable.h"

#include <QAbstractTableModel>
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
    // Sorting by this role orders times and counts as numbers.
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
    // since the epoch); returns how many there are.
    int markSilent(qint64 now, qint64 silentSeconds);
    int silentCount() const { return silent; }

private:
    std::vector<device_row_t> rows;
    std::vector<bool> silentRows;
    QHash<QString, int> rowOf;
    std::deque<device_row_t> queued;
    int silent = 0;
};
