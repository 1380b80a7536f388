#include "signaldb/eds_reader.h"

#include "platform/text.h"
#include "project/project_files.h"
#include "signaldb/ini_document.h"
#include "signaldb/signal_codec.h"
#include "signaldb/source_text.h"

#include <charconv>
#include <unordered_map>

namespace vestrel::signaldb {

namespace {

constexpr int kTransmitPdoComm = 0x1800;  // the node's transmit PDOs: the gateway receives them
constexpr int kReceivePdoComm = 0x1400;   // the node's receive PDOs: the gateway transmits them
constexpr int kPdoCount = 512;            // per direction, 0x1800-0x19FF and 0x1400-0x15FF
constexpr int kMappingOffset = 0x200;     // mapping object = communication object + 0x200
constexpr int kMaxMappedObjects = 64;
constexpr int kFirstRealObject = 0x0020;  // below it: data types, which mapping entries use as dummies
constexpr std::uint32_t kCobIdInvalid = 0x80000000u;
constexpr std::uint32_t kCobIdExtended = 0x20000000u;

struct DataTypeInfo {
    int code;
    const char* name;
    ValueType type;
    int bits;  // 0: not a number
};

constexpr DataTypeInfo kDataTypes[] = {
    {0x01, "BOOLEAN", ValueType::Unsigned, 1},     {0x02, "INTEGER8", ValueType::Signed, 8},
    {0x03, "INTEGER16", ValueType::Signed, 16},    {0x04, "INTEGER32", ValueType::Signed, 32},
    {0x05, "UNSIGNED8", ValueType::Unsigned, 8},   {0x06, "UNSIGNED16", ValueType::Unsigned, 16},
    {0x07, "UNSIGNED32", ValueType::Unsigned, 32}, {0x08, "REAL32", ValueType::Float32, 32},
    {0x09, "VISIBLE_STRING", ValueType::Unsigned, 0}, {0x0A, "OCTET_STRING", ValueType::Unsigned, 0},
    {0x0B, "UNICODE_STRING", ValueType::Unsigned, 0}, {0x0C, "TIME_OF_DAY", ValueType::Unsigned, 0},
    {0x0D, "TIME_DIFFERENCE", ValueType::Unsigned, 0}, {0x0F, "DOMAIN", ValueType::Unsigned, 0},
    {0x10, "INTEGER24", ValueType::Signed, 24},    {0x11, "REAL64", ValueType::Float64, 64},
    {0x12, "INTEGER40", ValueType::Signed, 40},    {0x13, "INTEGER48", ValueType::Signed, 48},
    {0x14, "INTEGER56", ValueType::Signed, 56},    {0x15, "INTEGER64", ValueType::Signed, 64},
    {0x16, "UNSIGNED24", ValueType::Unsigned, 24}, {0x18, "UNSIGNED40", ValueType::Unsigned, 40},
    {0x19, "UNSIGNED48", ValueType::Unsigned, 48}, {0x1A, "UNSIGNED56", ValueType::Unsigned, 56},
    {0x1B, "UNSIGNED64", ValueType::Unsigned, 64},
};

const DataTypeInfo* FindDataType(std::int64_t code) {
    for (const DataTypeInfo& info : kDataTypes)
        if (info.code == code) return &info;
    return nullptr;
}

std::string Hex4(int value) { return "0x" + UpperHex(static_cast<std::uint64_t>(value), 4); }

// "0x6041:00": how CANopen tools name an object entry.
std::string EntryName(int index, int sub) { return Hex4(index) + ":" + UpperHex(static_cast<std::uint64_t>(sub), 2); }

// A number as CiA 306 writes them: decimal, 0x hexadecimal or octal with a
// leading 0.
std::optional<std::int64_t> ParseNumber(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.size() > 1 && text[0] == '0') {
        base = 8;
        text.remove_prefix(1);
    }
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

// The object an EDS section holds: "1800" (index), "1800sub1" (index and
// subindex, both hexadecimal); nothing for other sections.
struct ObjectKey {
    int index = 0;
    int sub = -1;  // -1: the object itself
};

std::optional<ObjectKey> ParseObjectName(std::string_view name) {
    const std::string upper = UpperAscii(name);
    const std::size_t sub = upper.find("SUB");
    const std::string_view index = std::string_view(upper).substr(0, sub);
    const auto hex = [](std::string_view digits, int maxDigits) -> std::optional<int> {
        int value = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
        if (digits.empty() || digits.size() > static_cast<std::size_t>(maxDigits) || ec != std::errc() ||
            end != digits.data() + digits.size())
            return std::nullopt;
        return value;
    };
    const auto i = hex(index, 4);
    if (!i) return std::nullopt;
    if (sub == std::string::npos) return ObjectKey{*i, -1};
    const auto s = hex(std::string_view(upper).substr(sub + 3), 2);
    if (!s) return std::nullopt;
    return ObjectKey{*i, *s};
}

class EdsReader {
public:
    EdsReader(std::string_view text, const std::string& fileName, const ReadOptions& options)
        : ini_(text, fileName), file_(fileName), nodeId_(options.nodeId), nodeIdCobIds_(options.nodeIdCobIds) {}

    Database Read();

private:
    void IndexObjects();
    void TakeNodeId(Database& db);
    const IniSection* Object(int index, int sub) const;
    std::size_t SectionIndex(const IniSection* section) const {
        return static_cast<std::size_t>(section - ini_.Sections().data());
    }
    const IniEntry* Entry(const IniSection* section, std::string_view key) const {
        return section ? ini_.Find(SectionIndex(section), key) : nullptr;
    }
    // A value read from an entry, $NODEID replaced.
    struct Evaluated {
        std::int64_t value = 0;
        const IniEntry* entry = nullptr;
        bool parameterValue = false;  // the entry is the ParameterValue
        bool usesNodeId = false;      // it holds $NODEID
    };
    // The section's value (ParameterValue over DefaultValue, or DefaultValue
    // alone with `defaultOnly`) as a number; nothing when it has none. A
    // value that is no number leaves the reason in `problem`.
    std::optional<Evaluated> Value(const IniSection* section, std::string& problem, bool defaultOnly = false) const;
    std::optional<std::int64_t> Evaluate(const IniEntry& entry, std::string& problem, bool* usesNodeId = nullptr) const;
    bool HasPdo(int comm) const;
    Message Pdo(int comm, bool nodeTransmits) const;
    void TakeCobId(Message& m, int comm) const;
    void MapObjects(Message& m, int mapping) const;
    Signal MappedSignal(int index, int sub, int bits, int position, int line) const;
    void TypeSignal(Signal& s, const IniSection* object) const;

    IniDocument ini_;
    const std::string& file_;
    std::optional<int> nodeId_;
    bool nodeIdCobIds_;
    std::unordered_map<int, const IniSection*> objects_;  // index * 512 + sub + 1 (0 for the object)
};

int ObjectSlot(int index, int sub) { return index * 512 + sub + 1; }

void EdsReader::IndexObjects() {
    for (const IniSection& section : ini_.Sections()) {
        const auto key = ParseObjectName(section.name);
        if (!key) continue;
        const auto [it, fresh] = objects_.try_emplace(ObjectSlot(key->index, key->sub), &section);
        if (!fresh)
            throw DatabaseError(file_, section.line,
                                "section [" + section.name + "] describes the same object as [" + it->second->name +
                                    "] on line " + std::to_string(it->second->line));
    }
}

const IniSection* EdsReader::Object(int index, int sub) const {
    auto it = objects_.find(ObjectSlot(index, sub));
    if (it == objects_.end() && sub == 0) it = objects_.find(ObjectSlot(index, -1));  // a VAR object
    return it == objects_.end() ? nullptr : it->second;
}

void EdsReader::TakeNodeId(Database& db) {
    if (!nodeId_) {
        const IniSection* commissioning = ini_.Find("DeviceComissioning");
        if (commissioning) db.format = DatabaseFormat::Dcf;
        if (const IniEntry* e = Entry(commissioning, "NodeID"); e && !e->value.empty()) {
            const auto id = ParseNumber(e->value);
            if (!id || *id < kMinNodeId || *id > kMaxNodeId)
                throw DatabaseError(file_, e->line,
                                    "NodeID \"" + e->value + "\": a CANopen node id is 1 to 127");
            nodeId_ = static_cast<int>(*id);
            db.nodeIdFromFile = true;
        }
    } else if (*nodeId_ < kMinNodeId || *nodeId_ > kMaxNodeId) {
        throw DatabaseError(file_, 0, "node id " + std::to_string(*nodeId_) + ": a CANopen node id is 1 to 127");
    } else if (ini_.Find("DeviceComissioning")) {
        db.format = DatabaseFormat::Dcf;
    }
    db.nodeId = nodeId_;
}

std::optional<std::int64_t> EdsReader::Evaluate(const IniEntry& entry, std::string& problem, bool* usesNodeId) const {
    // Terms joined by + and -: numbers and $NODEID.
    std::int64_t sum = 0;
    std::string_view rest = entry.value;
    bool negative = false;
    for (bool first = true;; first = false) {
        std::size_t end = 0;
        while (end < rest.size() && rest[end] != '+' && rest[end] != '-') ++end;
        std::string_view term = rest.substr(0, end);
        while (!term.empty() && (term.front() == ' ' || term.front() == '\t')) term.remove_prefix(1);
        while (!term.empty() && (term.back() == ' ' || term.back() == '\t')) term.remove_suffix(1);
        std::optional<std::int64_t> value;
        if (term.empty() && first && end < rest.size() && rest[end] == '-') {
            value = 0;  // a leading minus
        } else if (UpperAscii(term) == "$NODEID") {
            if (!nodeId_)
                throw NodeIdNeeded(file_, entry.line, "the value \"" + entry.value + "\" depends on the node id ($NODEID)");
            value = *nodeId_;
            if (usesNodeId) *usesNodeId = true;
        } else {
            value = ParseNumber(term);
        }
        if (!value || *value > (std::int64_t{1} << 40)) {
            problem = "line " + std::to_string(entry.line) + ": \"" + entry.value + "\" is not a number";
            return std::nullopt;
        }
        sum += negative ? -*value : *value;
        if (sum > (std::int64_t{1} << 40) || sum < -(std::int64_t{1} << 40)) {
            problem = "line " + std::to_string(entry.line) + ": \"" + entry.value + "\" is out of range";
            return std::nullopt;
        }
        if (end == rest.size()) return sum;
        negative = rest[end] == '-';
        rest.remove_prefix(end + 1);
    }
}

std::optional<EdsReader::Evaluated> EdsReader::Value(const IniSection* section, std::string& problem,
                                                     bool defaultOnly) const {
    Evaluated e;
    e.entry = defaultOnly ? nullptr : Entry(section, "ParameterValue");
    e.parameterValue = e.entry && !e.entry->value.empty();
    if (!e.parameterValue) e.entry = Entry(section, "DefaultValue");
    if (!e.entry || e.entry->value.empty()) return std::nullopt;
    const auto value = Evaluate(*e.entry, problem, &e.usesNodeId);
    if (!value) return std::nullopt;
    e.value = *value;
    return e;
}

bool EdsReader::HasPdo(int comm) const {
    for (int sub = -1; sub <= 6; ++sub)
        if (objects_.count(ObjectSlot(comm, sub))) return true;
    return false;
}

// The COB-ID and where it comes from: a ParameterValue (a DCF's, or an EDS
// that another tool configured) keeps its ids whatever the node id, so the
// id the DefaultValue gives with the node id is kept beside it, and taken
// instead with ReadOptions::nodeIdCobIds (the enable bit staying as the
// ParameterValue sets it).
void EdsReader::TakeCobId(Message& m, int comm) const {
    const IniSection* cob = Object(comm, 1);
    auto chosen = Value(cob, m.problem);
    if (!chosen) {
        if (m.problem.empty()) m.problem = "it gives no COB-ID (" + EntryName(comm, 1) + ")";
        return;
    }
    std::string ignored;
    const auto byNode = chosen->parameterValue && nodeId_ ? Value(cob, ignored, true) : std::nullopt;
    const bool nodeDiffers = byNode && byNode->usesNodeId && !chosen->usesNodeId &&
                             (byNode->value & 0x3FFFFFFF) != (chosen->value & 0x3FFFFFFF);
    m.cobIdOrigin.entry = chosen->parameterValue ? CobIdOrigin::Entry::ParameterValue : CobIdOrigin::Entry::DefaultValue;
    m.cobIdOrigin.line = chosen->entry->line;
    m.cobIdOrigin.usesNodeId = chosen->usesNodeId;
    std::int64_t value = chosen->value;
    if (nodeDiffers && nodeIdCobIds_) {
        m.cobIdOrigin.passedOver = static_cast<std::uint32_t>(chosen->value & 0x1FFFFFFF);
        m.cobIdOrigin.entry = CobIdOrigin::Entry::DefaultValue;
        m.cobIdOrigin.line = byNode->entry->line;
        m.cobIdOrigin.usesNodeId = true;
        value = (byNode->value & ~std::int64_t{kCobIdInvalid}) | (chosen->value & kCobIdInvalid);
    } else if (nodeDiffers) {
        m.cobIdOrigin.nodeIdCobId = static_cast<std::uint32_t>(byNode->value & 0x1FFFFFFF);
    }
    if (value < 0 || value > 0xFFFFFFFF) {
        m.problem = "COB-ID " + std::to_string(value) + " is not a 32-bit value";
        return;
    }
    const auto bits = static_cast<std::uint32_t>(value);
    m.disabled = (bits & kCobIdInvalid) != 0;
    m.extended = (bits & kCobIdExtended) != 0;
    m.id = bits & (m.extended ? kMaxExtendedId : kMaxStandardId);
    if (!m.extended && (bits & 0x1FFFF800u) != 0)
        m.problem = "COB-ID 0x" + UpperHex(bits, 8) + " has bits above the 11-bit id of a frame not marked extended";
}

Message EdsReader::Pdo(int comm, bool nodeTransmits) const {
    const int number = comm - (nodeTransmits ? kTransmitPdoComm : kReceivePdoComm) + 1;
    Message m;
    m.name = (nodeTransmits ? "TPDO" : "RPDO") + std::to_string(number);
    m.direction = nodeTransmits ? FrameDirection::Receive : FrameDirection::Transmit;
    for (int sub = -1; sub <= 6 && m.line == 0; ++sub)
        if (const auto it = objects_.find(ObjectSlot(comm, sub)); it != objects_.end()) m.line = it->second->line;
    TakeCobId(m, comm);
    if (nodeTransmits) {
        std::string ignored;
        if (const auto timer = Value(Object(comm, 5), ignored); timer && timer->value > 0 && timer->value <= 65535)
            m.cycleTimeMs = static_cast<int>(timer->value);
    }
    if (m.problem.empty()) MapObjects(m, comm + kMappingOffset);
    return m;
}

void EdsReader::MapObjects(Message& m, int mapping) const {
    const auto count = Value(Object(mapping, 0), m.problem);
    if (!count) {
        if (m.problem.empty()) m.problem = "it gives no number of mapped objects (" + EntryName(mapping, 0) + ")";
        return;
    }
    if (count->value < 0 || count->value > kMaxMappedObjects) {
        m.problem = "it maps " + std::to_string(count->value) + " objects; a PDO maps 0 to 64";
        return;
    }
    int position = 0;
    for (int k = 1; k <= count->value; ++k) {
        const IniSection* section = Object(mapping, k);
        const auto entry = Value(section, m.problem);
        if (!entry) {
            if (m.problem.empty()) m.problem = "mapping entry " + EntryName(mapping, k) + " gives no value";
            m.signalList.clear();
            return;
        }
        if (entry->value < 0 || entry->value > 0xFFFFFFFF) {
            m.problem = "mapping entry " + EntryName(mapping, k) + " is not a 32-bit value";
            m.signalList.clear();
            return;
        }
        const auto value = static_cast<std::uint32_t>(entry->value);
        const int index = static_cast<int>(value >> 16), sub = static_cast<int>(value >> 8 & 0xFF);
        const int bits = static_cast<int>(value & 0xFF);
        if (index >= kFirstRealObject && bits > 0)
            m.signalList.push_back(MappedSignal(index, sub, bits, position, section->line));
        position += bits;
    }
    m.length = (position + 7) / 8;
    if (m.length > kMaxFrameBytes)
        m.problem = "it maps " + std::to_string(position) + " bits, more than the " +
                    std::to_string(kMaxFrameBytes) + " bytes of any CAN frame";
    // Names are unique within a message: a name that comes again gets its object.
    std::unordered_map<std::string, int> seen;
    for (Signal& s : m.signalList)
        if (seen[s.name]++ > 0) s.name += " (" + EntryName(s.objectIndex, s.objectSubIndex) + ")";
}

Signal EdsReader::MappedSignal(int index, int sub, int bits, int position, int line) const {
    Signal s;
    s.startBit = position;
    s.length = bits;
    s.order = ByteOrder::Intel;
    s.objectIndex = static_cast<std::uint16_t>(index);
    s.objectSubIndex = static_cast<std::uint8_t>(sub);
    s.line = line;
    const IniSection* object = Object(index, sub);
    const IniEntry* name = Entry(object, "ParameterName");
    s.name = name && !name->value.empty() ? name->value : EntryName(index, sub);
    if (!object)
        s.problem = "object " + EntryName(index, sub) + " is not in the file";
    else
        TypeSignal(s, object);
    if (s.problem.empty() && !FitsIn(s, kMaxFrameBytes))
        s.problem = "its bits lie past the " + std::to_string(kMaxFrameBytes) + " data bytes of the longest CAN frame";
    return s;
}

void EdsReader::TypeSignal(Signal& s, const IniSection* object) const {
    const IniEntry* typeEntry = Entry(object, "DataType");
    const auto code = typeEntry ? ParseNumber(typeEntry->value) : std::nullopt;
    const DataTypeInfo* info = code ? FindDataType(*code) : nullptr;
    const std::string entry = EntryName(s.objectIndex, s.objectSubIndex);
    if (!info) {
        s.problem = "object " + entry + (typeEntry ? " has DataType \"" + typeEntry->value + "\", not a CANopen basic type"
                                                   : " gives no DataType");
        return;
    }
    s.type = info->type;
    if (info->bits == 0)
        s.problem = "object " + entry + " (" + info->name + ") is not a number";
    else if (s.length != info->bits && !(info->bits == 1 && s.length <= 8))
        s.problem = "the PDO maps " + std::to_string(s.length) + " bits of object " + entry + " (" + info->name + ", " +
                    std::to_string(info->bits) + " bits)";
    std::string ignored;
    const IniEntry* low = Entry(object, "LowLimit");
    const IniEntry* high = Entry(object, "HighLimit");
    const auto lowValue = low && !low->value.empty() ? Evaluate(*low, ignored) : std::nullopt;
    const auto highValue = high && !high->value.empty() ? Evaluate(*high, ignored) : std::nullopt;
    if (lowValue && highValue) {
        s.minimum = static_cast<double>(*lowValue);
        s.maximum = static_cast<double>(*highValue);
    }
}

Database EdsReader::Read() {
    Database db;
    db.format = DatabaseFormat::Eds;
    db.fileName = file_;
    IndexObjects();
    TakeNodeId(db);
    for (const bool nodeTransmits : {true, false}) {
        const int first = nodeTransmits ? kTransmitPdoComm : kReceivePdoComm;
        for (int comm = first; comm < first + kPdoCount; ++comm)
            if (HasPdo(comm)) db.messages.push_back(Pdo(comm, nodeTransmits));
    }
    return db;
}

}  // namespace

Database ReadEds(std::string_view bytes, const std::string& fileName, const ReadOptions& options) {
    if (bytes.size() > kMaxDatabaseBytes)
        throw DatabaseError(fileName, 0,
                            "the file is larger than " + std::to_string(kMaxDatabaseBytes >> 20) +
                                " MiB: no EDS is that large");
    const std::string text = DecodeDatabaseText(bytes, fileName, "an EDS or DCF");
    return EdsReader(text, fileName, options).Read();
}

}  // namespace vestrel::signaldb
