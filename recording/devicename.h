#pragma once

#include <QString>

// The device name that a message's name field gives its daily files: trailing spaces dropped,
// other spaces turned into "_", and anything that could lead out of the folder, that Windows
// refuses in a file name, or a leading "." or "-", turned into "_" as well; an empty name is "_".
QString deviceName(const QString& message);
