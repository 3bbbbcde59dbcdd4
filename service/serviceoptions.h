#pragma once

#include "engine/admission.h"
#include "service/monitoring.h"

#include <QString>
#include <QStringList>

// What the command line asks of the service.
struct ServiceOptions
{
    QString directory; // the working directory asked for, or empty
    QString listen; // the one address to listen on, or empty for all
    QString healthHost; // where the readiness check is answered; empty: nowhere
    quint16 healthPort = 0;
    bool check = false; // only tell whether config.cfg loads, and what would serve
    bool durableAcknowledgements = true; // a message is acknowledged once its line is on the disk
    monitoring_t monitoring; // the metrics endpoint and the journal's form
    AdmissionRules admission; // balancers and limits, for a port on the open internet
    bool listDevices = false; // print the names of the devices with day files, and end
    QString knownDevicesFile; // the list of known devices, or empty for the one beside config.cfg
};

// Reads the command line (argv[0] included) into `options`. Returns the sentence that explains a
// usage error, or an empty text. --help and --version print and exit on their own.
QString parseServiceOptions(const QStringList& arguments, ServiceOptions* options);
