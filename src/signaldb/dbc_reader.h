#pragma once

#include "signaldb/signal_database.h"

#include <string>
#include <string_view>

namespace vestrel::signaldb {

// A DBC file from its bytes as stored (UTF-8 or Windows-1252). Reads the
// nodes (BU_, over as many lines as it takes), the messages (BO_), their
// signals (SG_, with multiplexing), comments (CM_), value tables (VAL_),
// float types (SIG_VALTYPE_) and the attributes DbcAttributes names (cycle
// time, frame format, long names); the other sections of the format are
// skipped.
//
// A statement that cannot be read (a syntax error, a missing ';', named on
// the line of its last token) is skipped with a note in `notes` where it
// only adds a comment, a value table, an attribute the gateway reads
// nothing from or senders; a message or signal definition that cannot be
// read refuses its message (its `problem`), the rest being read. With
// `options.strict`, any of these stops the whole file, as the rest always
// does: throws DatabaseError, naming `fileName` and the line, for an
// encoding error, an unknown keyword, a quoted text without its closing
// quote, a statement that may change a frame's format or a name
// (VFrameFormat, the long names) or a signal's type (SIG_VALTYPE_), a
// message id or name used twice, a signal name used twice in one message,
// more messages or signals than any database holds. What makes one message
// or signal unusable is left in its `problem`.
Database ReadDbc(std::string_view bytes, const std::string& fileName, const ReadOptions& options = {});

}  // namespace vestrel::signaldb
