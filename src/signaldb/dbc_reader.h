#pragma once

#include "signaldb/signal_database.h"

#include <string>
#include <string_view>

namespace vestrel::signaldb {

// A DBC file from its bytes as stored (UTF-8 or Windows-1252). Reads the
// messages (BO_), their signals (SG_, with multiplexing), comments (CM_),
// value tables (VAL_), float types (SIG_VALTYPE_) and cycle times
// (BA_ "GenMsgCycleTime", its BA_DEF_DEF_ default); the other sections of
// the format are skipped. Throws DatabaseError, naming `fileName` and the
// line, for what stops the whole file: a syntax error, an encoding error, an
// unknown keyword, a message id or name used twice, a signal name used twice
// in one message, more messages or signals than any database holds. What
// makes one message or signal unusable is left in its `problem`.
Database ReadDbc(std::string_view bytes, const std::string& fileName);

}  // namespace vestrel::signaldb
