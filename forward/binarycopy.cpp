#include "forward/binarycopy.h"

#include <QtEndian>

namespace {

// PostgreSQL counts days from its own epoch.
const QDate postgresEpoch(2000, 1, 1);

template<typename T>
void appendBigEndian(QByteArray* data, T value)
{
    char bytes[sizeof(T)];
    qToBigEndian(value, bytes);
    data->append(bytes, sizeof(T));
}

} // namespace

BinaryCopy::BinaryCopy(qsizetype expectedBytes)
{
    data.reserve(expectedBytes + 21);
    data.append("PGCOPY\n\377\r\n\0", 11);
    appendBigEndian<qint32>(&data, 0); // flags: no OIDs
    appendBigEndian<qint32>(&data, 0); // no header extension
}

void BinaryCopy::startRow(qint16 fields)
{
    appendBigEndian(&data, fields);
}

void BinaryCopy::add(const QByteArray& bytes)
{
    appendBigEndian(&data, qint32(bytes.size()));
    data.append(bytes);
}

void BinaryCopy::add(QDate day)
{
    appendBigEndian<qint32>(&data, sizeof(qint32));
    appendBigEndian(&data, qint32(postgresEpoch.daysTo(day)));
}

void BinaryCopy::add(qint64 number)
{
    appendBigEndian<qint32>(&data, sizeof(qint64));
    appendBigEndian(&data, number);
}

void BinaryCopy::add(bool flag)
{
    appendBigEndian<qint32>(&data, 1);
    data.append(char(flag ? 1 : 0));
}

QByteArray BinaryCopy::finish()
{
    appendBigEndian<qint16>(&data, -1);
    return std::move(data);
}
