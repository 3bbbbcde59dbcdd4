#include "engine/framing.h"

#include "messages/messagelayout.h"

FrameStep frameStep(const QString& buffer, QChar character)
{
    if (character == QLatin1Char('\r') || character.isNull())
        return FrameStep::Drop;
    if (character == QLatin1Char('$'))
        return buffer.isEmpty() ? FrameStep::Start : FrameStep::HandOverAndStart;
    return buffer.size() + 1 == messageLength ? FrameStep::AppendCompletes : FrameStep::Append;
}

void frameChunk(
    QString& buffer, QByteArrayView chunk, const std::function<void()>& handOver, const std::function<void()>& started)
{
    for (const char byte : chunk) {
        const QChar character = QChar::fromLatin1(byte);
        switch (frameStep(buffer, character)) {
        case FrameStep::Drop:
            break;
        case FrameStep::Append:
            buffer += character;
            break;
        case FrameStep::AppendCompletes:
            buffer += character;
            handOver();
            break;
        case FrameStep::HandOverAndStart:
            handOver();
            buffer = character;
            started();
            break;
        case FrameStep::Start:
            buffer = character;
            started();
            break;
        }
    }
}
