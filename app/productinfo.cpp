#include "app/productinfo.h"

#include <QCoreApplication>
#include <QUrl>

QString productVersion()
{
    return QStringLiteral(STILWATER_VERSION);
}

QString makerLink()
{
    const QString configured = QStringLiteral(STILWATER_HOMEPAGE);
    const QUrl site = configured.isEmpty()
        ? QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QStringLiteral("/docs/operator-guide.md"))
        : QUrl(configured);
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
