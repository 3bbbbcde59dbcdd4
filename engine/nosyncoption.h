#pragma once

#include <QCommandLineOption>

// --no-sync, the same in both front ends: acknowledgements that do not wait for the disk.
QCommandLineOption noSyncOption();
