#include "app/messagefeed.h"

#include <QPlainTextEdit>
#include <QTextBlock>

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
    dropOldestFor(static_cast<int>(pending.count(QLatin1Char('\n'))));
    // New text always goes to the end and the view follows it there, also when the operator has
    // scrolled back or selected something meanwhile.
    view->moveCursor(QTextCursor::End);
    view->textCursor().insertText(pending);
    pending.clear();
    view->ensureCursorVisible();
}

void MessageFeed::dropOldestFor(int newLines)
{
    // The view's own block cap walks block by block to drop the oldest lines, laying out each on
    // its way; cutting them in one piece first leaves it nothing to do.
    QTextDocument* document = view->document();
    const int excess = document->blockCount() + newLines - view->maximumBlockCount();
    if (view->maximumBlockCount() <= 0 || excess <= 0)
        return;
    QTextCursor oldest(document);
    const QTextBlock firstKept = document->findBlockByNumber(excess);
    if (firstKept.isValid())
        oldest.setPosition(firstKept.position(), QTextCursor::KeepAnchor);
    else
        oldest.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    oldest.removeSelectedText();
}
