#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <deque>

class QTcpSocket;

// Spreads the reading of many connections over several passes of the event loop. A burst of
// messages that each take long (thousands of devices whose first message of the day creates a file
// on a slow disk) would otherwise hold the whole window still until the last one is stored.
class ReadPacer : public QObject
{
    Q_OBJECT

public:
    explicit ReadPacer(QObject* parent = nullptr);

    // Whether `socket` may be read now. When this pass of the event loop has used its time, or when
    // `socket` is already waiting, it waits (again) and comes back through readLater().
    bool readsNow(QTcpSocket* socket);
    // Whether this pass of the event loop may still take on work.
    bool passHasTime() const;
    // Takes `socket` out of the queue; tells whether it was waiting there.
    bool forget(QTcpSocket* socket);

signals:
    void readLater(QTcpSocket* socket);

private:
    void readWaiting();

    QElapsedTimer pass;
    std::deque<QTcpSocket*> waiting;
    QSet<QTcpSocket*> waitingSet;
    QTimer nextPass;
};
