#include "forward/forwarding.h"

#include "forward/forwardmetrics.h"
#include "forward/sinkrunner.h"
#include "service/httpendpoint.h"
#include "settings/settings.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <httplib.h>
#include <mutex>
#include <systemd/sd-daemon.h>

namespace {

// The runners' lines and the program's own share standard output, each line whole.
void say(const settings_t& settings, const QString& line)
{
    static std::mutex output;
    const QByteArray text = (settings.timeStamp() + line + QLatin1Char('\n')).toUtf8();
    const std::lock_guard lock(output);
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fflush(stdout);
}

std::vector<SinkFigures> figuresOf(const std::vector<std::unique_ptr<SinkRunner>>& runners)
{
    std::vector<SinkFigures> figures;
    for (const auto& runner : runners)
        figures.push_back(runner->figures());
    return figures;
}

} // namespace

int forwardUntilSignalled(
    const ForwardOptions& options, const settings_t& settings, std::vector<std::unique_ptr<Sink>> sinks)
{
    // Before any thread starts, so that only sigwait() below takes them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::vector<std::unique_ptr<SinkRunner>> runners;
    for (auto& sink : sinks)
        runners.push_back(std::make_unique<SinkRunner>(
            std::move(sink), settings, options.since, [&settings](const QString& line) { say(settings, line); }));

    HttpEndpoint endpoint;
    if (!options.metricsHost.isEmpty()) {
        const QString version = QCoreApplication::applicationVersion();
        endpoint.routes().Get("/metrics", [&runners, version](const httplib::Request&, httplib::Response& response) {
            const QByteArray text = forwardMetricsText(figuresOf(runners), version, std::chrono::steady_clock::now());
            response.set_content(
                text.constData(), std::size_t(text.size()), "text/plain; version=0.0.4; charset=utf-8");
        });
        const std::chrono::seconds down(options.readyDownSeconds);
        endpoint.routes().Get("/ready", [&runners, down](const httplib::Request&, httplib::Response& response) {
            const bool ready = forwardReady(figuresOf(runners), down, std::chrono::steady_clock::now());
            response.status = ready ? 200 : 503;
            response.set_content(ready ? "ready\n" : "a downstream system is unreachable\n", "text/plain");
        });
        if (!endpoint.listen(options.metricsHost, options.metricsPort)) {
            std::fprintf(stderr, "stilwater-forward: A --metrics címe hibás, vagy a port már foglalt.\n");
            return 1;
        }
        endpoint.serve();
    }

    QStringList names;
    for (const auto& runner : runners)
        names << runner->figures().sink;
    say(settings,
        QStringLiteral("Továbbító: példány %1, adatmappa %2, cél: %3.")
            .arg(options.instance, settings.file.path.isEmpty() ? QStringLiteral(".") : settings.file.path,
                names.join(QStringLiteral(", "))));
    for (const auto& runner : runners)
        runner->start();
    sd_notify(0, "READY=1");

    int signal = 0;
    sigwait(&stopSignals, &signal);
    sd_notify(0, "STOPPING=1");
    for (const auto& runner : runners)
        runner->stop();
    say(settings, QStringLiteral("Továbbító: leállt."));
    return 0;
}
