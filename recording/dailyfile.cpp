#include "recording/dailyfile.h"

#include "settings/clock.h"
#include "settings/settings.h"

#include <QFile>
#include <QTextStream>

namespace {

bool appendLine(const QString& fileName, const QString& data)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    QTextStream stream(&file);
    stream.setEncoding(QStringConverter::System);
    stream << data << QLatin1String("\r\n");
    stream.flush();
    const bool streamed = stream.status() == QTextStream::Ok;
    // close() flushes the file's own buffer; a failure there (a full disk) shows in error().
    file.close();
    return streamed && file.error() == QFileDevice::NoError;
}

} // namespace

QString dailyFileName(const filename_t& naming, const QString& name, const QDate& date)
{
    return naming.path + naming.prefix + name + QStringLiteral("-log_") + date.toString(QStringLiteral("yyyy-MM-dd"))
        + naming.ext;
}

saved_line_t appendToDailyFile(const filename_t& naming, const QString& name, const QString& data)
{
    const QString fileName = dailyFileName(naming, name, clockNow().date());
    return {fileName, appendLine(fileName, data)};
}
