#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

// What a test puts in the program's way, made as each platform makes it.

// A symbolic link at `link` naming `target`: a reparse point on Windows, which a user may make
// without administrator rights only where developer mode is on. False where none was made (wine
// says it made one, and makes nothing).
bool makeSymbolicLink(const QString& target, const QString& link);

// Wine, not Windows, runs the test: a few of Windows' file semantics it lacks.
bool runsUnderWine();

// Ends the sending half of a connection: the peer reads the end of the stream, and can still answer.
bool halfClose(qintptr socketDescriptor);

#ifdef Q_OS_WIN
// Opens `path`, made if need be, as a program that shares it with nobody does (a spreadsheet
// editing it); calling the result lets it go.
std::function<void()> holdLocked(const QString& path);
#endif
