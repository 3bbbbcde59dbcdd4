#include "app/devicemodel.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>

namespace {

QString momentText(qint64 moment)
{
    return moment > 0 ? QDateTime::fromMSecsSinceEpoch(moment).toString(QStringLiteral("yyyy.MM.dd  hh:mm:ss"))
                      : QStringLiteral("-");
}

} // namespace

DeviceModel::DeviceModel(QObject* parent) : QAbstractTableModel(parent) { }

int DeviceModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows.size());
}

int DeviceModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DeviceModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const device_row_t& row = rows[static_cast<std::size_t>(index.row())];
    const bool isSilent = silentRows[static_cast<std::size_t>(index.row())];
    if (role == Qt::BackgroundRole)
        return isSilent ? QVariant(QBrush(QColor(255, 214, 204))) : QVariant();
    if (role != Qt::DisplayRole && role != sortRole)
        return QVariant();
    const bool display = role == Qt::DisplayRole;
    switch (index.column()) {
    case Name:
        return row.name;
    case State:
        return isSilent ? QStringLiteral("néma") : QString();
    case Connected:
        return row.connections > 0 ? QStringLiteral("igen") : QStringLiteral("nem");
    case LastMessage:
        return display ? QVariant(momentText(row.lastMessage)) : QVariant(row.lastMessage);
    case Peer:
        return row.lastPeer;
    case Messages:
        return row.messages;
    case ChecksumErrors:
        return row.checksumErrors;
    case SyntaxErrors:
        return row.syntaxErrors;
    case StoringFailures:
        return row.storingFailures;
    case FirstSeen:
        return display ? QVariant(momentText(row.firstSeen)) : QVariant(row.firstSeen);
    default:
        return QVariant();
    }
}

QVariant DeviceModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const QStringList captions {QStringLiteral("Eszköz"), QStringLiteral("Állapot"),
        QStringLiteral("Kapcsolódva"), QStringLiteral("Utolsó üzenet"), QStringLiteral("Utolsó cím"),
        QStringLiteral("Üzenet ma"), QStringLiteral("Chks hiba ma"), QStringLiteral("Szintaktikai hiba ma"),
        QStringLiteral("Mentési hiba ma"), QStringLiteral("Először látva")};
    return captions.value(section);
}

void DeviceModel::clear()
{
    beginResetModel();
    rows.clear();
    silentRows.clear();
    rowOf.clear();
    queued.clear();
    silent = 0;
    endResetModel();
}

void DeviceModel::enqueue(std::vector<device_row_t> changed)
{
    for (device_row_t& row : changed)
        queued.push_back(std::move(row));
}

bool DeviceModel::takeSlice(std::size_t limit)
{
    std::vector<device_row_t> added;
    for (std::size_t taken = 0; taken < limit && !queued.empty(); ++taken) {
        device_row_t row = std::move(queued.front());
        queued.pop_front();
        const auto known = rowOf.constFind(row.name);
        if (known == rowOf.cend()) {
            added.push_back(std::move(row));
            continue;
        }
        rows[static_cast<std::size_t>(*known)] = std::move(row);
        emit dataChanged(index(*known, 0), index(*known, ColumnCount - 1));
    }
    if (!added.empty()) {
        const int first = static_cast<int>(rows.size());
        beginInsertRows(QModelIndex(), first, first + static_cast<int>(added.size()) - 1);
        for (device_row_t& row : added) {
            rowOf.insert(row.name, static_cast<int>(rows.size()));
            rows.push_back(std::move(row));
            silentRows.push_back(false);
        }
        endInsertRows();
    }
    return !queued.empty();
}

int DeviceModel::markSilent(qint64 now, qint64 silentSeconds)
{
    // One signal for the whole span that changed: a new threshold may change every row at once.
    int first = -1;
    int last = -1;
    silent = 0;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        const bool isSilent = now - rows[row].lastMessage > silentSeconds * 1000;
        silent += isSilent ? 1 : 0;
        if (silentRows[row] == isSilent)
            continue;
        silentRows[row] = isSilent;
        last = static_cast<int>(row);
        first = first < 0 ? last : first;
    }
    if (first >= 0)
        emit dataChanged(index(first, 0), index(last, ColumnCount - 1));
    return silent;
}
