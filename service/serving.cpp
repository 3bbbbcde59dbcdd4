#include "service/serving.h"

#include "engine/engine.h"
#include "service/httpendpoint.h"
#include "service/monitoring.h"
#include "service/outputtext.h"
#include "service/readiness.h"
#include "service/serviceoptions.h"
#include "settings/settings.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/signal_set.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <systemd/sd-daemon.h>

namespace {

// Lines are written in batches a little later than the first of them arrives: a busy server costs
// one write for many lines, an idle one no wake-ups at all.
constexpr std::chrono::milliseconds printDelay {35};

void print(const QByteArray& text, std::FILE* stream)
{
    std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stream);
    std::fflush(stream);
}

// How often the readiness check hears from the engine; silent for three times as long, it says so.
constexpr std::chrono::milliseconds readinessInterval {1000};

// How often systemd wants to hear that the service lives: half its watchdog timeout, so that one
// late keep-alive is not yet fatal. Zero when no watchdog is set for this process.
std::chrono::microseconds keepAliveInterval()
{
    uint64_t timeout = 0;
    if (sd_watchdog_enabled(0, &timeout) <= 0)
        return std::chrono::microseconds::zero();
    return std::chrono::microseconds(timeout / 2);
}

class Service
{
public:
    Service(const settings_t& settings, const ListenPlace& place, const monitoring_t& options)
        : settings(settings), place(place), monitoring(io, engine, options)
    { }

    int run(const ServiceOptions& options)
    {
        engine.setDurableAcknowledgements(options.durableAcknowledgements);
        AdmissionRules admission = options.admission;
        // The HTTP endpoints' connections come out of the same descriptor limit as the devices'.
        admission.frontEndDescriptors = httpDescriptors
            * ((options.healthHost.isEmpty() ? 0 : 1) + (options.monitoring.metricsHost.isEmpty() ? 0 : 1));
        engine.admit(admission);
        if (!options.knownDevicesFile.isEmpty())
            engine.readKnownDevicesFrom(options.knownDevicesFile);
        auto interval = std::chrono::duration_cast<std::chrono::milliseconds>(keepAliveInterval());
        const bool watchdog = interval.count() > 0;
        if (!options.healthHost.isEmpty()) {
            interval = watchdog ? std::min(interval, readinessInterval) : readinessInterval;
            readiness.emplace(3 * readinessInterval);
            if (!readiness->listen(options.healthHost, options.healthPort)) {
                printPortProblem(QStringLiteral("--health %1").arg(options.healthPort));
                return 1;
            }
        }
        if (interval.count() > 0)
            // From the engine's own event loop, so that a hung engine goes silent: restarted by the
            // watchdog, taken out of rotation by the balancer.
            engine.onAlive(interval, [this, watchdog] {
                if (watchdog)
                    sd_notify(0, "WATCHDOG=1");
                if (readiness)
                    readiness->alive();
            });
        engine.lines().onFirstLine([this] { asio::post(io, [this] { printSoon(); }); });
        if (!monitoring.start()) {
            print(QByteArrayLiteral("stilwater-server: A metrikák címe hibás, vagy már foglalt.\n"), stderr);
            return 1;
        }
        QString listRefusal;
        if (!engine.start(settings, place, &listRefusal)) {
            if (listRefusal.isEmpty())
                printPortProblem(QStringLiteral("port %1").arg(settings.port));
            else
                print(QStringLiteral("stilwater-server: %1\n").arg(listRefusal).toUtf8(), stderr);
            return 1;
        }
        if (readiness)
            readiness->serve();
        sd_notify(0, "READY=1");
        awaitReload();
        stopSignals.async_wait([this](const asio::error_code& error, int) {
            if (!error)
                stop();
        });
        // Runs until the engine has stopped, also while nothing but the engine's threads has work.
        const auto keepRunning = asio::make_work_guard(io);
        io.run();
        return 0;
    }

private:
    // `which` tells the device port ("port N") from the readiness check's ("--health N").
    static void printPortProblem(const QString& which)
    {
        print(QStringLiteral("stilwater-server: A megadott port hibás, vagy már foglalt. (%1)\n").arg(which).toUtf8(),
            stderr);
    }

    void stop()
    {
        sd_notify(0, "STOPPING=1");
        engine.stop(Engine::StopLine::Announce, [this] {
            asio::post(io, [this] {
                print(outputText(monitoring.pass(engine.lines().take())), stdout);
                monitoring.stop();
                print(outputText(monitoring.pass(engine.lines().take())), stdout);
                io.stop();
            });
        });
    }

    void awaitReload()
    {
        reloadSignals.async_wait([this](const asio::error_code& error, int) {
            if (error)
                return;
            engine.reloadKnownDevices(true);
            awaitReload();
        });
    }

    void printSoon()
    {
        if (printPending)
            return;
        printPending = true;
        printTimer.expires_after(printDelay);
        printTimer.async_wait([this](const asio::error_code&) {
            printPending = false;
            print(outputText(monitoring.pass(engine.lines().take())), stdout);
        });
    }

    const settings_t& settings;
    const ListenPlace& place;
    // Outlives the engine, whose event loop reports to it.
    std::optional<Readiness> readiness;
    // Before the engine, so that it outlives the engine's threads, which post to it.
    asio::io_context io;
    // Caught from before the start on, so that a signal at any moment ends the service as a stop does.
    asio::signal_set stopSignals {io, SIGINT, SIGTERM};
    asio::signal_set reloadSignals {io, SIGHUP};
    asio::steady_timer printTimer {io};
    bool printPending = false;
    Engine engine;
    Monitoring monitoring; // after the engine, so that no scrape outlives it
};

} // namespace

int serveUntilSignalled(const settings_t& settings, const ListenPlace& place, const ServiceOptions& options)
{
    return Service(settings, place, options.monitoring).run(options);
}
