#pragma once

#include <QString>
#include <QStringList>

// Reads the command line (argv[0] included); `directory` gets the working directory asked for, or
// stays empty. Returns the sentence that explains a usage error, or an empty text. --help and
// --version print and exit on their own.
QString parseServiceOptions(const QStringList& arguments, QString* directory);
