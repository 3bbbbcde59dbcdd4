#include "service/serving.h"

#include "engine/engine.h"
#include "service/outputtext.h"
#include "settings/settings.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/signal_set.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <csignal>
#include <cstdio>
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
    explicit Service(const settings_t& settings) : settings(settings) { }

    Engine& server() { return engine; }

    int run()
    {
        const auto interval = std::chrono::duration_cast<std::chrono::milliseconds>(keepAliveInterval());
        if (interval.count() > 0)
            // From the engine's own event loop, so that a hung engine goes silent and is restarted.
            engine.onAlive(interval, [] { sd_notify(0, "WATCHDOG=1"); });
        engine.lines().onFirstLine([this] { asio::post(io, [this] { printSoon(); }); });
        if (!engine.start(settings)) {
            print(QStringLiteral("stilwater-server: A megadott port hibás, vagy már foglalt. (port %1)\n")
                      .arg(settings.port)
                      .toUtf8(),
                stderr);
            return 1;
        }
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
    void stop()
    {
        sd_notify(0, "STOPPING=1");
        engine.stop(Engine::StopLine::Announce, [this] {
            asio::post(io, [this] {
                print(outputText(engine.lines().take()), stdout);
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
            print(outputText(engine.lines().take()), stdout);
        });
    }

    const settings_t& settings;
    // Before the engine, so that it outlives the engine's threads, which post to it.
    asio::io_context io;
    // Caught from before the start on, so that a signal at any moment ends the service as a stop does.
    asio::signal_set stopSignals {io, SIGINT, SIGTERM};
    asio::signal_set reloadSignals {io, SIGHUP};
    asio::steady_timer printTimer {io};
    bool printPending = false;
    Engine engine;
};

} // namespace

int serveUntilSignalled(const settings_t& settings, const AdmissionRules& admission)
{
    Service service(settings);
    service.server().admit(admission);
    return service.run();
}
