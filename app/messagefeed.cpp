#include "app/messagefeed.h"

#include <QPlainTextEdit>

namespace {

// About 28 batches a second at most: smooth to the eye, and a line is never more than this late.
constexpr int batchIntervalMs = 35;

} // namespace

MessageFeed::MessageFeed(QPlainTextEdit* view) : QObject(view), view(view)
{
    showTimer.setSingleShot(true);
    showTimer.setInterval(batchIntervalMs);
    connect(&showTimer, &QTimer::timeout, this, &MessageFeed::showPending);
}

void MessageFeed::append(const QString& text)
{
    pending += text;
    if (!showTimer.isActive())
        showTimer.start();
}

void MessageFeed::clear()
{
    showTimer.stop();
    pending.clear();
    view->clear();
}

void MessageFeed::showPending()
{
    // New text always goes to the end and the view follows it there, also when the operator has
    // scrolled back or selected something meanwhile.
    view->moveCursor(QTextCursor::End);
    view->textCursor().insertText(pending);
    pending.clear();
    view->ensureCursorVisible();
}
