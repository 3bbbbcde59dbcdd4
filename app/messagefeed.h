#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QPlainTextEdit;

// Carries message-window text into the view in batches. Laying out and painting every line on its
// own costs far more than the traffic it reports: under load the window, not the devices, would set
// the pace of the whole server. The text and its order are untouched; it only waits a moment.
class MessageFeed : public QObject
{
    Q_OBJECT

public:
    // Becomes a child of `view`, so that it goes with it.
    explicit MessageFeed(QPlainTextEdit* view);

    void append(const QString& text);
    // Empties the view, and drops what it has not shown yet.
    void clear();
    // Whether some text still waits for its batch; lets a reader of the view wait for it.
    bool holdsUnshownText() const { return !pending.isEmpty(); }

private:
    void showPending();
    void dropOldestFor(int newLines);

    QPlainTextEdit* view;
    QString pending;
    QTimer showTimer;
};
