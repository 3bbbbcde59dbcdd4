#pragma once

#include <QString>
#include <QtGlobal>

// What a test puts in the program's way, made as each platform makes it.

// A symbolic link at `link` naming `target`: a reparse point on Windows, which a user may make
// without administrator rights where developer mode is on, as wine allows.
bool makeSymbolicLink(const QString& target, const QString& link);

// Ends the sending half of a connection: the peer reads the end of the stream, and can still answer.
bool halfClose(qintptr socketDescriptor);
