#pragma once

#include <QStringList>

// What the window program's command line asks for. --help and --version print and exit, as does a
// wrong option, with its error.
struct WindowOptions
{
    bool durableAcknowledgements = true;
};

WindowOptions parseWindowOptions(const QStringList& arguments);
