#pragma once

#include "forward/forwardoptions.h"
#include "forward/sink.h"

#include <memory>
#include <vector>

class settings_t;

// Forwards to every sink on a thread of its own until SIGTERM or SIGINT, with /metrics and /ready
// when asked; the exit code of the program.
int forwardUntilSignalled(
    const ForwardOptions& options, const settings_t& settings, std::vector<std::unique_ptr<Sink>> sinks);
