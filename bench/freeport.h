#pragma once

#include <QtGlobal>

// A port that no program listens on, for a server under test: below the system's range of ephemeral
// ports, from which the loads' own thousands of connections take theirs. A free port from that range
// could be taken by one of them before the server binds it.
quint16 freeServerPort();
