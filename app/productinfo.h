#pragma once

#include <QIcon>
#include <QString>

// The version of the program, as the build sets it.
QString productVersion();

// Rich text: one hyperlink to the maker's web site, which the build sets.
QString makerLink();

// The program's icon in every size it is drawn in, from the compiled-in resources.
QIcon productIcon();
