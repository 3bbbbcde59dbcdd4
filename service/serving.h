#pragma once

class settings_t;
struct AdmissionRules;

// Serves with `settings` until SIGTERM or SIGINT, writing the engine's lines to standard output, and
// keeps systemd informed (ready, alive, stopping) when it runs as a notify service. Returns the
// exit status: 0 after a stop, 1 when the port cannot be opened. SIGHUP reads the list of known
// devices again.
int serveUntilSignalled(const settings_t& settings, const AdmissionRules& admission);
