#pragma once

#include <QString>

#include <system_error>

// Asio reports what the system says in a category of its own, which matches no std::errc condition:
// the errors of taking a connection are told apart by Asio's own values.

// Errors of taking a connection that concern that connection alone (it was given up or refused on
// its way): the next one is taken at once.
bool isTransientAcceptError(const std::error_code& error);

// The process or the system has no descriptor left for a new connection.
bool isDescriptorShortage(const std::error_code& error);

// The line that tells the operator why new connections are refused for a while.
QString refusalText(const std::error_code& error);
