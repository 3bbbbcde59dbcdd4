#pragma once

#include "forward/forwardoptions.h"
#include "forward/sink.h"

#include <memory>
#include <vector>

// "forward-mqtt.cursors": how far the broker has acknowledged each day file, in the working folder.
QString mqttCursorFileName();

// The downstream systems the command line names, PostgreSQL first; none, with the sentence in
// `problem`, when one of them is named wrongly.
std::vector<std::unique_ptr<Sink>> configuredSinks(const ForwardOptions& options, QString* problem);
