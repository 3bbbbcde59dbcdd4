#pragma once

#include <QString>

// The listening socket that systemd hands on when stilwater-server.socket is in use.
struct InheritedSocket
{
    int descriptor = -1; // -1: none was handed on, the service listens itself
    QString address; // its local address, "[…]" around an IPv6 one
    int port = 0;
};

// Takes the socket from the environment that systemd sets (LISTEN_FDS, LISTEN_PID). `problem` gets
// the sentence that says why what was handed on cannot serve.
InheritedSocket takeInheritedSocket(QString* problem);
