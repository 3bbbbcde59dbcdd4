#pragma once

class settings_t;
struct ListenPlace;
struct ServiceOptions;

// Serves with `settings` at `place` until SIGTERM or SIGINT, writing the engine's lines to standard
// output, and keeps systemd informed (ready, alive, stopping) when it runs as a notify service.
// With a health port in `options`, answers a load balancer's health check there; with a metrics
// address, serves the metrics. Returns the exit status: 0 after a stop, 1 when a port or the
// metrics' address cannot be opened. SIGHUP reads the list of known devices again.
int serveUntilSignalled(const settings_t& settings, const ListenPlace& place, const ServiceOptions& options);
