#pragma once

#include <QString>

class settings_t;

// The settings that serve, on one line for the journal, with the captions of the window's status
// panel: where it listens and on which port, the socket timeout, the folder of the files, their
// naming and the replies.
QString settingsLine(const settings_t& settings, const QString& address, int port, const QString& folder);
