#pragma once

#include "engine/admission.h"

#include <QString>
#include <QStringList>

// What the command line says about exposure to the internet.
struct ServiceGuard
{
    AdmissionRules admission;
    bool listDevices = false; // print the names of the devices with day files, and end
};

// Reads the command line (argv[0] included); `directory` gets the working directory asked for, or
// stays empty, `guard` the rest. Returns the sentence that explains a usage error, or an empty text. --help and
// --version print and exit on their own.
QString parseServiceOptions(const QStringList& arguments, QString* directory, ServiceGuard* guard);
