#pragma once

#include <QString>

#include <system_error>

// Errors of taking a connection that concern that connection alone (it was given up or refused on
// its way): the next one is taken at once.
bool isTransientAcceptError(const std::error_code& error);

// The line that tells the operator why new connections are refused for a while.
QString refusalText(const std::error_code& error);
