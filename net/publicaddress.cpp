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
    return QUrl(QStringLiteral("https://ifconfig.co/ip"));
}

void setPublicAddressServiceUrl(const QUrl& url)
{
    overriddenUrl() = url;
}

QString publicAddressText(const QByteArray& body)
{
    return QString::fromLatin1(body.constData(), qstrnlen(body.constData(), body.size()));
}
