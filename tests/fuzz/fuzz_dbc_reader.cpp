// DBC files from arbitrary bytes through ReadDbc. A file is either refused
// whole with a DatabaseError that names the file and a line within it, or
// read into a database within the size limits, whose signals without a
// problem fit a CAN frame; the register plan of every message, in every
// CAN mode and word order, feeds each data byte into at most one register
// half and gives every usable signal back from its registers.

#include "signaldb_checks.h"

#include "signaldb/dbc_reader.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vestrel;
    const std::string_view bytes = fuzz::AsText(data, size);
    signaldb::Database db;
    try {
        db = signaldb::ReadDbc(bytes, "fuzz.dbc");
    } catch (const signaldb::DatabaseError& e) {
        const auto lines = 1 + std::count(bytes.begin(), bytes.end(), '\n') + std::count(bytes.begin(), bytes.end(), '\r');
        FUZZ_CHECK(e.File() == "fuzz.dbc" && !e.Reason().empty(), "a refusal without file or reason");
        FUZZ_CHECK(e.Line() >= 1 && e.Line() <= lines, "a refusal on a line the file does not have");
        return 0;
    }
    fuzz::CheckDatabase(db);
    return 0;
}
