#include "bench/threadcpu.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

std::map<qint64, ThreadCpu> threadCpu()
{
    static const double ticksPerSecond = static_cast<double>(::sysconf(_SC_CLK_TCK));
    std::map<qint64, ThreadCpu> threads;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(tid + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly))
            continue; // the thread ended meanwhile
        const QByteArray line = stat.readAll();
        // The name may hold spaces and parentheses; the fields after it are counted from its end.
        const qsizetype open = line.indexOf('(');
        const qsizetype close = line.lastIndexOf(')');
        if (open < 0 || close < open)
            continue;
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        // utime and stime, fields 14 and 15 of the line, are the 12th and 13th after the name.
        if (fields.size() < 13)
            continue;
        threads[tid.toLongLong()]
            = {line.mid(open + 1, close - open - 1), (fields[11].toDouble() + fields[12].toDouble()) / ticksPerSecond};
    }
    return threads;
}

qint64 mainThreadId()
{
    return ::getpid();
}
