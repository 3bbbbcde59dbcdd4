#pragma once

class QFile;

enum class MissingFile { Create, Fail };

// Opens `file` for appending without buffering, so that a line goes to its end in one write. On
// Unix a symbolic link, a FIFO, a device or anything else but a regular file is refused, and opening
// never waits: the data folder may be writable by others than the server.
bool openDayFile(QFile& file, MissingFile missing);
