#include "server/framing.h"

#include "messages/messagelayout.h"

FrameStep frameStep(const QString& buffer, QChar character)
{
    if (character == QLatin1Char('\r') || character.isNull())
        return FrameStep::Drop;
    if (character == QLatin1Char('$'))
        return buffer.isEmpty() ? FrameStep::Start : FrameStep::HandOverAndStart;
    return buffer.size() + 1 == messageLength ? FrameStep::AppendCompletes : FrameStep::Append;
}
