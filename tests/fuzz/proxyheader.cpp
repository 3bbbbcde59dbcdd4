#include "engine/proxyheader.h"

#include <cstdint>

namespace {

bool same(const ProxyHeader& a, const ProxyHeader& b)
{
    return a.state == b.state && a.size == b.size && a.source == b.source;
}

} // namespace

// A header read in pieces is judged as one read whole: every beginning of a complete header is
// incomplete, an invalid beginning stays invalid, and bytes after a header change nothing.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(data, static_cast<qsizetype>(size));
    const ProxyHeader whole = parseProxyHeader(bytes);
    if (whole.state == ProxyHeader::State::Complete
        && (whole.size <= 0 || whole.size > bytes.size() || whole.size > ProxyHeader::maxSize))
        qFatal("A header's size outside what was read");
    if (whole.state == ProxyHeader::State::Incomplete && bytes.size() >= ProxyHeader::maxSize)
        qFatal("More than the longest header still incomplete");
    for (qsizetype cut = 0; cut < bytes.size(); ++cut) {
        const ProxyHeader part = parseProxyHeader(bytes.first(cut));
        if (part.state == ProxyHeader::State::Complete && !same(part, whole))
            qFatal("A header judged otherwise once more bytes followed it");
        if (part.state == ProxyHeader::State::Invalid && whole.state != ProxyHeader::State::Invalid)
            qFatal("An invalid beginning made valid by more bytes");
        if (whole.state == ProxyHeader::State::Complete && cut < whole.size
            && part.state != ProxyHeader::State::Incomplete)
            qFatal("A beginning of a header not incomplete");
    }
    return 0;
}
