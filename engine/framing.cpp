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

qsizetype frameChunk(
    QString& buffer, QByteArrayView chunk, const std::function<bool()>& handOver, const std::function<void()>& started)
{
    for (qsizetype at = 0; at < chunk.size(); ++at) {
        const QChar character = QChar::fromLatin1(chunk[at]);
        switch (frameStep(buffer, character)) {
        case FrameStep::Drop:
            break;
        case FrameStep::Append:
            buffer += character;
            break;
        case FrameStep::AppendCompletes:
            buffer += character;
            if (!handOver())
                return at + 1;
            break;
        case FrameStep::HandOverAndStart:
            // The "$" is left unframed when the server stops here: on an empty buffer it starts the
            // next message once framing goes on.
            if (!handOver())
                return at;
            buffer = character;
            started();
            break;
        case FrameStep::Start:
            buffer = character;
            started();
            break;
        }
    }
    return chunk.size();
}
