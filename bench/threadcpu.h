#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <map>

// CPU time spent so far by each of this process's threads, from /proc/self/task/<tid>/stat.
struct ThreadCpu
{
    QByteArray name; // the thread's comm: the program's name unless the thread was given one
    double seconds = 0;
};
std::map<qint64, ThreadCpu> threadCpu();

// The main thread's id: the window's thread.
qint64 mainThreadId();
