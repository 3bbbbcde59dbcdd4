#include "engine/framing.h"

#include "messages/replies.h"
#include "settings/settings.h"

#include <QStringList>
#include <QtEndian>

#include <cstdint>
#include <random>

namespace {

// Everything a device and the operator could tell about one stream: each message handed over with
// its verdict, reply bytes and reply line, each start of a message's time, and what is left over.
// With a `cutter`, the stream arrives in chunks of its choosing, and the server stops after some
// messages (their file is being created) and goes on with the rest of the chunk later.
QStringList frame(QByteArrayView stream, std::minstd_rand* cutter)
{
    const settings_t settings;
    QStringList seen;
    QString buffer;
    const auto handOver = [&] {
        if (buffer.size() > 133)
            qFatal("A buffer over 133 characters");
        int computed = -1;
        const int verdict = settings_t::calcChks(buffer, &computed);
        const reply_t reply = replyFor(verdict, computed, true, settings);
        seen << buffer << QString::number(verdict) << QString::fromLatin1(reply.bytes) << reply.line;
        buffer.clear();
        return !cutter || (*cutter)() % 4 != 0;
    };
    const auto started = [&] { seen << QStringLiteral("<started>"); };
    for (qsizetype at = 0; at < stream.size();) {
        const qsizetype size = std::min<qsizetype>(cutter ? 1 + (*cutter)() % 300 : 1, stream.size() - at);
        const QByteArrayView chunk = stream.sliced(at, size);
        for (qsizetype framed = 0; framed < chunk.size();)
            framed += frameChunk(buffer, chunk.sliced(framed), handOver, started);
        if (buffer.size() > 133)
            qFatal("A buffer over 133 characters");
        at += size;
    }
    return seen << buffer;
}

} // namespace

// The first four bytes choose where the rest, the stream, is cut into chunks.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    std::minstd_rand cutter(qFromLittleEndian<quint32>(data));
    const QByteArrayView stream(data + 4, static_cast<qsizetype>(size - 4));
    if (frame(stream, &cutter) != frame(stream, nullptr))
        qFatal("Chunks framed otherwise than single characters");
    return 0;
}
