#include "app/productinfo.h"

#include <QUrl>

QString productVersion()
{
    return QStringLiteral(STILWATER_VERSION);
}

QString makerLink()
{
    const QUrl site(QStringLiteral(STILWATER_HOMEPAGE));
    // A local page, such as the installed guide, has no host to show.
    const QString shown = site.host().isEmpty() ? QStringLiteral("Stilwater") : site.host();
    return QStringLiteral("<a href=\"%1\">%2</a>")
        .arg(QString::fromLatin1(site.toEncoded()).toHtmlEscaped(), shown.toHtmlEscaped());
}

QIcon productIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1/stilwater.png").arg(size), QSize(size, size));
    return icon;
}
