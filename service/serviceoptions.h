#pragma once

#include "service/monitoring.h"

#include <QString>
#include <QStringList>

// Reads the command line (argv[0] included); `directory` gets the working directory asked for, or
// stays empty, `monitoring` the metrics endpoint and the journal's form. Returns the sentence that
// explains a usage error, or an empty text. --help and --version print and exit on their own.
QString parseServiceOptions(const QStringList& arguments, QString* directory, monitoring_t* monitoring);
