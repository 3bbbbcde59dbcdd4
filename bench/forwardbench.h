#pragma once

#include <QTextStream>

// stilwater-forward into a real PostgreSQL of its own: lines a second in catch-up (a folder of day
// files already written) against psql's COPY of the same rows into the same table in the same run,
// and the lag from a line's append to its row while 19,000 paced devices' files grow. Returns false
// when a run could not be made.
bool measureForward(QTextStream& out, int seconds);
