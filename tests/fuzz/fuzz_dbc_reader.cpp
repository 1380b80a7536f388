// DBC files from arbitrary bytes through ReadDbc, read strictly and not. A
// file is either refused whole with a DatabaseError that names the file and
// a line within it (none for a UTF-16 file), or read into a database within
// the size limits, whose signals without a problem fit a CAN frame; the
// register plan of every message, in every CAN mode and word order, feeds
// each data byte into at most one register half and gives every usable
// signal back from its registers. A strict read refuses nothing the other
// read takes without a note, and every note names a line of the file.

#include "signaldb_checks.h"

#include "signaldb/dbc_reader.h"

#include <algorithm>

namespace {

using namespace vestrel;

std::optional<signaldb::Database> Read(std::string_view bytes, bool strict, long lines) {
    try {
        return signaldb::ReadDbc(bytes, "fuzz.dbc", {.strict = strict});
    } catch (const signaldb::DatabaseError& e) {
        FUZZ_CHECK(e.File() == "fuzz.dbc" && !e.Reason().empty(), "a refusal without file or reason");
        FUZZ_CHECK(e.Line() >= 1 ? e.Line() <= lines : e.Reason().starts_with("the file is UTF-16"),
                   "a refusal on a line the file does not have");
        return std::nullopt;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = fuzz::AsText(data, size);
    const long lines = 1 + std::count(bytes.begin(), bytes.end(), '\n') + std::count(bytes.begin(), bytes.end(), '\r');
    const std::optional<signaldb::Database> strict = Read(bytes, true, lines);
    const std::optional<signaldb::Database> db = Read(bytes, false, lines);
    FUZZ_CHECK(!strict || db, "a file read strictly but refused otherwise");
    if (!db) return 0;
    FUZZ_CHECK(strict || !db->notes.empty(), "a file refused strictly but read without a note");
    FUZZ_CHECK(!strict || strict->notes.empty(), "a strict read that skipped something");
    for (const signaldb::DatabaseNote& note : db->notes)
        FUZZ_CHECK(note.line >= 1 && note.line <= lines && !note.text.empty(), "a note on a line the file does not have");
    fuzz::CheckDatabase(*db);
    return 0;
}
