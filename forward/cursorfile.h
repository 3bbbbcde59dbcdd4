#pragma once

#include "forward/sink.h"

// The cursors of a sink that keeps them in a file of its own, as JSON:
// {"cursors": [{"device": …, "day": "YYYY-MM-DD", "offset": N}, …]}.

// A missing file holds no cursor. A damaged one is refused with a sentence: starting from zero
// unasked would send every stored line again.
bool readCursorFile(const QString& path, Cursors* cursors, QString* problem);

// Replaces the file whole and durably: after a power cut it holds either these cursors or the
// previous ones.
bool writeCursorFile(const QString& path, const Cursors& cursors, QString* problem);
