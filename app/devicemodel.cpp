#include "app/devicemodel.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>

#include <algorithm>
#include <functional>

namespace {

QString momentText(qint64 moment)
{
    return moment > 0 ? QDateTime::fromMSecsSinceEpoch(moment).toString(QStringLiteral("yyyy.MM.dd  hh:mm:ss"))
                      : QStringLiteral("-");
}

// Hungarian order where the system has it; the collator falls back to the root order otherwise,
// which orders the same letters, digits and punctuation that device names are made of.
QCollator naturalCollator()
{
    QCollator collator(QLocale(QLocale::Hungarian, QLocale::Hungary));
    collator.setNumericMode(true);
    return collator;
}

QString quotedField(QString field, QChar separator)
{
    if (!field.contains(separator) && !field.contains(u'"') && !field.contains(u'\n') && !field.contains(u'\r'))
        return field;
    field.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + field + u'"';
}

} // namespace

QString elapsedText(qint64 milliseconds)
{
    const qint64 seconds = std::max<qint64>(0, milliseconds / 1000);
    const auto two = [](qint64 major, const char* majorUnit, qint64 minor, const char* minorUnit) {
        const QString text = QStringLiteral("%1 %2").arg(major).arg(QString::fromUtf8(majorUnit));
        return minor > 0 ? text + QStringLiteral(" %1 %2").arg(minor).arg(QString::fromUtf8(minorUnit)) : text;
    };
    if (seconds < 60)
        return QStringLiteral("%1 mp").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1 perc").arg(seconds / 60);
    if (seconds < 86400)
        return two(seconds / 3600, "óra", seconds % 3600 / 60, "perc");
    return two(seconds / 86400, "nap", seconds % 86400 / 3600, "óra");
}

QString tableText(const QAbstractItemModel& model, const QList<int>& rows, QChar separator)
{
    const auto line = [&](const std::function<QString(int column)>& field) {
        QStringList fields;
        for (int column = 0; column < model.columnCount(); ++column)
            fields << quotedField(field(column), separator);
        return fields.join(separator) + u'\n';
    };
    QString text = line([&](int column) { return model.headerData(column, Qt::Horizontal).toString(); });
    for (const int row : rows)
        text += line([&](int column) { return model.index(row, column).data().toString(); });
    return text;
}

DeviceModel::DeviceModel(QObject* parent) : QAbstractTableModel(parent), collator(naturalCollator()) { }

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
        if (!display)
            return isSilent ? 0 : 1;
        return isSilent ? QStringLiteral("néma") : QString();
    case SilentFor:
        return display ? QVariant(elapsedText(now - row.lastMessage)) : QVariant(now - row.lastMessage);
    case Connected:
        if (!display)
            return row.connections > 0 ? 1 : 0;
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
        QStringLiteral("néma ennyi ideje"), QStringLiteral("Kapcsolódva"), QStringLiteral("Utolsó üzenet"),
        QStringLiteral("Utolsó cím"), QStringLiteral("Üzenet ma"), QStringLiteral("Chks hiba ma"),
        QStringLiteral("Szintaktikai hiba ma"), QStringLiteral("Mentési hiba ma"), QStringLiteral("Először látva")};
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
            nameKeys.push_back(collator.sortKey(row.name));
            rows.push_back(std::move(row));
            silentRows.push_back(false);
        }
        endInsertRows();
    }
    return !queued.empty();
}

bool DeviceModel::markSilent(qint64 moment, qint64 silentSeconds)
{
    // One signal for the whole span that changed: a new threshold may change every row at once.
    int first = -1;
    int last = -1;
    now = moment;
    silent = 0;
    connected = 0;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        const bool isSilent = now - rows[row].lastMessage > silentSeconds * 1000;
        silent += isSilent ? 1 : 0;
        connected += rows[row].connections > 0 ? 1 : 0;
        if (silentRows[row] == isSilent)
            continue;
        silentRows[row] = isSilent;
        last = static_cast<int>(row);
        first = first < 0 ? last : first;
    }
    if (first >= 0)
        emit dataChanged(index(first, 0), index(last, ColumnCount - 1));
    if (!rows.empty())
        emit dataChanged(index(0, SilentFor), index(rowCount() - 1, SilentFor), {Qt::DisplayRole});
    return first >= 0;
}

void DeviceModel::remove(const QStringList& names)
{
    std::vector<int> gone;
    for (const QString& name : names) {
        const auto known = rowOf.constFind(name);
        if (known != rowOf.cend())
            gone.push_back(*known);
    }
    // Rows queued before they were dropped from the table would bring them back.
    queued.erase(
        std::remove_if(queued.begin(), queued.end(), [&](const device_row_t& row) { return names.contains(row.name); }),
        queued.end());
    std::sort(gone.begin(), gone.end(), std::greater<>());
    for (const int row : gone) {
        beginRemoveRows(QModelIndex(), row, row);
        const auto at = static_cast<std::ptrdiff_t>(row);
        rows.erase(rows.begin() + at);
        silentRows.erase(silentRows.begin() + at);
        nameKeys.erase(nameKeys.begin() + at);
        endRemoveRows();
    }
    rowOf.clear();
    for (std::size_t row = 0; row < rows.size(); ++row)
        rowOf.insert(rows[row].name, static_cast<int>(row));
}
