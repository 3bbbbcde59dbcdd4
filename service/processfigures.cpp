#include "service/processfigures.h"

#include <QFile>
#include <QList>

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// The fields after the program's name: the third of the line is the first of these.
constexpr int startTimeField = 22 - 3;
constexpr int residentPagesField = 24 - 3;

QByteArray contents(const char* path)
{
    // The files of /proc give no size beforehand: read until their end.
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qint64 bootTime()
{
    for (const QByteArray& line : contents("/proc/stat").split('\n')) {
        if (line.startsWith("btime "))
            return line.mid(6).trimmed().toLongLong();
    }
    return 0;
}

quint64 openDescriptors()
{
    DIR* folder = ::opendir("/proc/self/fd");
    if (!folder)
        return 0;
    quint64 count = 0;
    while (const dirent* entry = ::readdir(folder))
        count += entry->d_name[0] == '.' ? 0 : 1;
    ::closedir(folder);
    // Not the folder's own, which is open only while it is counted.
    return count > 0 ? count - 1 : 0;
}

} // namespace

process_figures_t processStatFigures(const QByteArray& stat, qint64 bootTime, long ticksPerSecond, long pageSize)
{
    process_figures_t figures;
    const qsizetype nameEnd = stat.lastIndexOf(')');
    if (nameEnd < 0 || ticksPerSecond <= 0)
        return figures;
    const QList<QByteArray> fields = stat.mid(nameEnd + 1).simplified().split(' ');
    if (fields.size() <= residentPagesField)
        return figures;
    figures.startTime = static_cast<double>(bootTime)
        + static_cast<double>(fields.at(startTimeField).toULongLong()) / static_cast<double>(ticksPerSecond);
    figures.residentBytes = fields.at(residentPagesField).toULongLong() * static_cast<quint64>(pageSize);
    return figures;
}

process_figures_t processFigures()
{
    process_figures_t figures
        = processStatFigures(contents("/proc/self/stat"), bootTime(), ::sysconf(_SC_CLK_TCK), ::sysconf(_SC_PAGESIZE));
    figures.openDescriptors = openDescriptors();
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0)
        figures.descriptorLimit = static_cast<quint64>(limit.rlim_cur);
    return figures;
}
