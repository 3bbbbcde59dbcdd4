#include "bench/windowedge.h"

#include "app/mainwindow.h"
#include "bench/threadcpu.h"
#include "bench/waituntil.h"

#include <QAction>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QRegularExpression>

#include <atomic>
#include <thread>

namespace {

// What the engine reports for one acknowledged message: the message, then the reply.
QStringList messageLines()
{
    const QString stamp = settings_t().timeStamp() + QStringLiteral("[127.0.0.1] ");
    const QString message = QStringLiteral("$08SIM1") + QString(124, QLatin1Char('0')) + QStringLiteral("00");
    return {stamp + QStringLiteral("Bejövő adat: ") + message + QLatin1Char('\n'),
        stamp + QStringLiteral("Válasz: ok\n\n")};
}

qint64 skippedIn(const QString& shown)
{
    static const QRegularExpression skipLine(QStringLiteral("… (\\d+) sor kihagyva …"));
    qint64 skipped = 0;
    for (auto match = skipLine.globalMatch(shown); match.hasNext();)
        skipped += match.next().captured(1).toLongLong();
    return skipped;
}

} // namespace

QList<EdgeStep> measureWindowEdge(const QList<int>& linesPerSecond, int stepMs)
{
    MainWindow window;
    window.show();
    LineQueue& queue = window.server().lines();
    auto* view = window.findChild<QPlainTextEdit*>(QStringLiteral("textflow"));
    auto* clear = window.findChild<QAction*>(QStringLiteral("actionClear"));
    const QStringList lines = messageLines();
    QList<EdgeStep> steps;
    for (const int rate : linesPerSecond) {
        clear->trigger();
        EdgeStep step;
        step.linesPerSecond = rate;
        const double cpuBefore = threadCpu().at(mainThreadId()).seconds;
        QElapsedTimer clock;
        clock.start();
        std::atomic<bool> fed {false};
        // The lines come from another thread, as the engine's do, evenly over the step.
        std::thread feeder([&] {
            while (clock.elapsed() < stepMs) {
                const qint64 due = clock.elapsed() * rate / 1000;
                for (; step.pushed < due; ++step.pushed)
                    queue.push(lines[step.pushed % lines.size()]);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            fed = true;
        });
        waitUntil([&] { return fed && queue.isEmpty(); }, stepMs + 10000);
        feeder.join();
        step.windowCpu
            = (threadCpu().at(mainThreadId()).seconds - cpuBefore) / (static_cast<double>(clock.elapsed()) / 1000);
        step.skipped = skippedIn(view->toPlainText());
        steps << step;
    }
    return steps;
}
