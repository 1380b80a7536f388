// CANopen EDS/DCF files from arbitrary bytes through ReadEds; the first byte
// chooses the node id (0: none given), and an odd one takes the COB-IDs the
// node id gives over a ParameterValue. A file is either refused whole with a
// DatabaseError that names the file and a line within it (or none, for a
// node id out of range or a UTF-16 file), or read into a database that
// satisfies the same checks as a DBC's (signaldb_checks.h); every message is
// a PDO with its direction, at most 64 mapped objects of Intel signals, and a
// COB-ID that says where it comes from.

#include "signaldb_checks.h"

#include "signaldb/eds_reader.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vestrel;
    if (size == 0) return 0;
    const std::optional<int> node = data[0] == 0 ? std::nullopt : std::optional<int>(data[0]);
    const std::string_view bytes = fuzz::AsText(data + 1, size - 1);
    signaldb::Database db;
    try {
        db = signaldb::ReadEds(bytes, "fuzz.eds", {node, data[0] % 2 == 1, false});
    } catch (const signaldb::DatabaseError& e) {
        const auto lines = 1 + std::count(bytes.begin(), bytes.end(), '\n');
        FUZZ_CHECK(e.File() == "fuzz.eds" && !e.Reason().empty(), "a refusal without file or reason");
        const bool noLine = (node && *node > signaldb::kMaxNodeId) || e.Reason().starts_with("the file is UTF-16");
        FUZZ_CHECK(e.Line() >= 1 ? e.Line() <= lines : noLine, "a refusal on a line the file does not have");
        return 0;
    }
    FUZZ_CHECK(node.has_value() || !db.nodeId || db.nodeIdFromFile, "a node id from nowhere");
    for (const signaldb::Message& m : db.messages) {
        FUZZ_CHECK(m.direction.has_value(), "a PDO without a direction");
        FUZZ_CHECK(m.signalList.size() <= 64, "more than 64 mapped objects");
        FUZZ_CHECK(!m.problem.empty() || m.cobIdOrigin.entry != signaldb::CobIdOrigin::Entry::None,
                   "a COB-ID from no entry");
        FUZZ_CHECK(!m.cobIdOrigin.passedOver || data[0] % 2 == 1, "a ParameterValue passed over unasked");
        for (const signaldb::Signal& s : m.signalList) FUZZ_CHECK(s.order == signaldb::ByteOrder::Intel, "a Motorola PDO");
    }
    fuzz::CheckDatabase(db);
    return 0;
}
