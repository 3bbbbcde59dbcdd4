#include "engine/framing.h"

#include "messages/messagelayout.h"

namespace {

bool dropped(char byte)
{
    return byte == '\r' || byte == '\0';
}

} // namespace

qsizetype frameChunk(
    QString& buffer, QByteArrayView chunk, const std::function<bool()>& handOver, const std::function<void()>& started)
{
    qsizetype at = 0;
    while (at < chunk.size()) {
        const char byte = chunk[at];
        if (dropped(byte)) {
            ++at;
        } else if (byte == '$') {
            // The "$" is left unframed when the server stops here: on an empty buffer it starts the
            // next message once framing goes on.
            if (!buffer.isEmpty() && !handOver())
                return at;
            buffer.reserve(messageLength);
            buffer += QLatin1Char('$');
            started();
            ++at;
        } else {
            // Plain characters join the buffer a run at a time, up to a whole message: junk costs
            // one copy per message, not one per byte.
            const qsizetype room = messageLength - buffer.size();
            qsizetype end = at + 1;
            while (end < chunk.size() && end - at < room && !dropped(chunk[end]) && chunk[end] != '$')
                ++end;
            buffer += QLatin1StringView(chunk.data() + at, end - at);
            at = end;
            if (buffer.size() == messageLength && !handOver())
                return at;
        }
    }
    return chunk.size();
}
