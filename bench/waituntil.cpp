#include "bench/waituntil.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

void waitUntil(const std::function<bool()>& done, int limitMs)
{
    QEventLoop loop;
    QTimer check;
    QElapsedTimer waited;
    int inARow = 0;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        inARow = done() ? inARow + 1 : 0;
        if (inARow == 3 || waited.elapsed() > limitMs)
            loop.quit();
    });
    waited.start();
    check.start(50);
    loop.exec();
}
