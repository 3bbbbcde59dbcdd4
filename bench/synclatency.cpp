#include "bench/synclatency.h"

#include <QElapsedTimer>
#include <QTemporaryFile>

#include <algorithm>
#include <unistd.h>
#include <vector>

double diskSyncLatencyMs(const QString& folder)
{
    QTemporaryFile file(folder + QStringLiteral("/sync-XXXXXX"));
    if (!file.open())
        return 0;
    // The file's creation reaches the disk first, so that the samples time the appends alone.
    ::fsync(file.handle());
    const QByteArray line(134, '0');
    std::vector<double> samples;
    for (int i = 0; i < 21; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (::write(file.handle(), line.constData(), size_t(line.size())) != line.size()
            || ::fdatasync(file.handle()) != 0)
            return 0;
        samples.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::nth_element(samples.begin(), samples.begin() + 10, samples.end());
    return samples[10];
}
