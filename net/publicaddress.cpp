#include "net/publicaddress.h"

namespace {

QUrl& overriddenUrl()
{
    static QUrl url;
    return url;
}

} // namespace

QUrl publicAddressServiceUrl()
{
    if (!overriddenUrl().isEmpty())
        return overriddenUrl();
    // Answers the IPv4 address alone, without a line break, also where the machine has IPv6.
    return QUrl(QStringLiteral("https://ipinfo.io/ip"));
}

void setPublicAddressServiceUrl(const QUrl& url)
{
    overriddenUrl() = url;
}

QString publicAddressText(const QByteArray& body)
{
    return QString::fromLatin1(body.constData(), qstrnlen(body.constData(), body.size()));
}
