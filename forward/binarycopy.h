#pragma once

#include <QByteArray>
#include <QDate>

// Rows in COPY's binary format: bytea goes as it is, with no escaping that would double its size,
// and no value is parsed from text on the server.
class BinaryCopy
{
public:
    explicit BinaryCopy(qsizetype expectedBytes);

    void startRow(qint16 fields);
    // A bytea, or a text already in the connection's encoding.
    void add(const QByteArray& bytes);
    void add(QDate day);
    void add(qint64 number);
    void add(bool flag);

    // The rows with the format's trailer.
    QByteArray finish();

private:
    QByteArray data;
};
