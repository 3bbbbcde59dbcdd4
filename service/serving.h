#pragma once

class settings_t;
struct monitoring_t;

// Serves with `settings` until SIGTERM or SIGINT, writing the engine's lines to standard output, and
// keeps systemd informed (ready, alive, stopping) when it runs as a notify service. Returns the
// exit status: 0 after a stop, 1 when the port or the metrics' address cannot be opened.
int serveUntilSignalled(const settings_t& settings, const monitoring_t& monitoring);
