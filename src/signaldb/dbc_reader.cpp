#include "signaldb/dbc_reader.h"

#include "project/project_files.h"
#include "signaldb/signal_codec.h"
#include "signaldb/source_text.h"
#include "signaldb/text_scanner.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>

namespace vestrel::signaldb {

namespace {

constexpr std::uint32_t kExtendedFlag = 0x80000000u;
constexpr std::uint32_t kMax11Bit = 0x7FFu;
// The pseudo-message that holds signals no message carries.
constexpr std::string_view kIndependentSignals = "VECTOR__INDEPENDENT_SIG_MSG";
// A node name that stands for no node.
constexpr std::string_view kNoNode = "Vector__XXX";
constexpr std::string_view kCycleTime = "GenMsgCycleTime";

// The keywords of the format whose statements end with ';' and that the
// gateway has no use for. Any other word at the start of a statement is
// refused, so that nothing is skipped by mistake.
constexpr std::array<std::string_view, 23> kSkipped = {
    "BA_DEF_",      "BA_DEF_SGTYPE_", "BA_SGTYPE_",       "BA_DEF_REL_",   "BA_REL_",    "BA_DEF_DEF_REL_",
    "BU_SG_REL_",   "BU_EV_REL_",     "BU_BO_REL_",       "VAL_TABLE_",    "EV_",
    "ENVVAR_DATA_", "SGTYPE_",        "SGTYPE_VAL_",      "SIG_GROUP_",    "SIGTYPE_VALTYPE_", "SIG_TYPE_REF_",
    "CAT_DEF_",     "CAT_",           "FILTER",           "EV_DATA_",      "NS_DESC_",   "SG_MUL_VAL_",
};

struct MessageState {
    std::unordered_map<std::string, int> signalByName;
    std::optional<double> cycleTime;
};

class DbcReader {
public:
    DbcReader(std::string_view text, const std::string& fileName) : s_(text, fileName) {
        db_.format = DatabaseFormat::Dbc;
        db_.fileName = fileName;
    }

    Database Read();

private:
    void Statement(std::string_view keyword, int line);
    void SkipNamespaceBlock();
    void ReadMessage(int line);
    void ReadSignal(int line);
    void ReadMultiplexing(Signal& signal, std::string_view text);
    std::vector<std::string> NodeList();
    void ReadTransmitters();
    void ReadComment();
    void ReadValueTable(int line);
    void ReadValueType();
    void ReadAttribute(int line);
    void ReadAttributeDefault(int line);
    void EndStatement(const char* keyword);
    void Finish();

    // The message and, where named, the signal a statement refers to; null
    // for what the file does not define (ignored, as other readers do).
    Message* MessageByRawId(std::uint64_t rawId);
    Signal* SignalOf(Message* message, const std::string& name);

    TextScanner s_;
    Database db_;
    std::vector<MessageState> state_;
    std::unordered_map<std::uint32_t, int> byRawId_;  // the DBC id, format flag included
    std::unordered_map<std::string, int> byName_;
    int current_ = -1;            // the message SG_ lines belong to
    bool skippingMessage_ = false;  // inside the pseudo-message of free signals
    std::size_t signalCount_ = 0;
    std::optional<double> defaultCycleTime_;
};

Database DbcReader::Read() {
    for (;;) {
        s_.SetMultiline(false);
        s_.SkipWhitespace();
        if (s_.AtEnd()) break;
        const int line = s_.Line();
        Statement(s_.Word("a keyword"), line);
    }
    Finish();
    return std::move(db_);
}

void DbcReader::Statement(std::string_view keyword, int line) {
    if (keyword == "VERSION") {
        s_.Quoted("version");
        if (!s_.AtLineEnd()) s_.Fail("unexpected text after VERSION");
    } else if (keyword == "NS_") {
        s_.Expect(':', "after NS_");
        SkipNamespaceBlock();
    } else if (keyword == "BS_" || keyword == "BU_") {
        s_.SkipRestOfLine();
    } else if (keyword == "BO_") {
        ReadMessage(line);
    } else if (keyword == "SG_") {
        ReadSignal(line);
    } else if (keyword == "BO_TX_BU_") {
        ReadTransmitters();
    } else if (keyword == "CM_") {
        ReadComment();
    } else if (keyword == "VAL_") {
        ReadValueTable(line);
    } else if (keyword == "SIG_VALTYPE_") {
        ReadValueType();
    } else if (keyword == "BA_") {
        ReadAttribute(line);
    } else if (keyword == "BA_DEF_DEF_") {
        ReadAttributeDefault(line);
    } else if (std::find(kSkipped.begin(), kSkipped.end(), keyword) != kSkipped.end()) {
        s_.SkipStatement(line);
    } else {
        s_.FailAt(line, "unknown keyword '" + std::string(keyword) + "'");
    }
}

// NS_ : is followed by lines that each name one keyword.
void DbcReader::SkipNamespaceBlock() {
    s_.SkipRestOfLine();
    for (;;) {
        s_.SkipWhitespace();
        if (s_.AtEnd()) return;
        // Look ahead: a line of one word is a namespace entry.
        TextScanner probe = s_;
        probe.Word("a keyword");
        if (!probe.AtLineEnd()) return;
        s_ = probe;
    }
}

void DbcReader::ReadMessage(int line) {
    const auto rawId = static_cast<std::uint32_t>(s_.Unsigned("the message id", 0xFFFFFFFFu));
    const std::string name(s_.Word("the message name"));
    s_.Expect(':', "after the message name");
    const auto length = static_cast<int>(s_.Unsigned("the message length", 1u << 20));
    std::vector<std::string> transmitters = NodeList();
    skippingMessage_ = name == kIndependentSignals;
    if (skippingMessage_) return;

    if (auto [it, fresh] = byRawId_.try_emplace(rawId, static_cast<int>(db_.messages.size())); !fresh) {
        const Message& first = db_.messages[static_cast<std::size_t>(it->second)];
        s_.FailAt(line, "message id " + MessageIdText(first) + " is defined twice: " + first.name + " on line " +
                            std::to_string(first.line) + " and " + name + " here");
    }
    if (auto [it, fresh] = byName_.try_emplace(name, static_cast<int>(db_.messages.size())); !fresh)
        s_.FailAt(line, "message name " + name + " is used twice: on line " +
                            std::to_string(db_.messages[static_cast<std::size_t>(it->second)].line) + " and here");
    if (db_.messages.size() >= kMaxMessages)
        s_.FailAt(line, "more than " + std::to_string(kMaxMessages) + " messages: no CAN database is that large");

    Message m;
    m.name = name;
    m.extended = (rawId & kExtendedFlag) != 0;
    m.id = rawId & ~kExtendedFlag;
    m.length = length;
    m.transmitters = std::move(transmitters);
    m.line = line;
    if (m.extended && m.id > kMaxExtendedId)
        m.problem = "id " + MessageIdText(m) + " is longer than 29 bits";
    else if (!m.extended && m.id > kMax11Bit)
        m.problem = "id " + MessageIdText(m) + " is longer than 11 bits, and the file does not mark it extended";
    else if (length > kMaxFrameBytes)
        m.problem = std::to_string(length) + " data bytes: a CAN frame holds at most " +
                    std::to_string(kMaxFrameBytes);
    current_ = static_cast<int>(db_.messages.size());
    db_.messages.push_back(std::move(m));
    state_.emplace_back();
}

// Node names to the end of the line, separated by commas or blanks;
// Vector__XXX (no node) left out.
std::vector<std::string> DbcReader::NodeList() {
    std::vector<std::string> nodes;
    while (!s_.AtLineEnd()) {
        if (s_.TryChar(',')) continue;
        std::string node(s_.Word("a node name"));
        if (node != kNoNode) nodes.push_back(std::move(node));
    }
    return nodes;
}

void DbcReader::ReadSignal(int line) {
    if (current_ < 0 && !skippingMessage_) s_.FailAt(line, "SG_ before any BO_: the signal belongs to no message");
    Signal sig;
    sig.line = line;
    sig.name = s_.Word("the signal name");
    if (!s_.TryChar(':')) {
        ReadMultiplexing(sig, s_.Word("':' or a multiplexing mark"));
        s_.Expect(':', "after the signal name");
    }
    sig.startBit = static_cast<int>(s_.Unsigned("the start bit", 1u << 20));
    s_.Expect('|', "after the start bit");
    sig.length = static_cast<int>(s_.Unsigned("the signal length", 1u << 20));
    s_.Expect('@', "after the signal length");
    if (s_.TryChar('0'))
        sig.order = ByteOrder::Motorola;
    else if (s_.TryChar('1'))
        sig.order = ByteOrder::Intel;
    else
        s_.Fail("the byte order after '@' is 0 (Motorola) or 1 (Intel)");
    if (s_.TryChar('-'))
        sig.type = ValueType::Signed;
    else if (!s_.TryChar('+'))
        s_.Fail("the byte order is followed by + (unsigned) or - (signed)");
    s_.Expect('(', "before the factor");
    sig.factor = s_.Number("the factor");
    s_.Expect(',', "after the factor");
    sig.offset = s_.Number("the offset");
    s_.Expect(')', "after the offset");
    s_.Expect('[', "before the minimum");
    sig.minimum = s_.Number("the minimum");
    s_.Expect('|', "after the minimum");
    sig.maximum = s_.Number("the maximum");
    s_.Expect(']', "after the maximum");
    sig.unit = s_.Quoted("unit");
    sig.receivers = NodeList();
    if (skippingMessage_) return;

    Message& m = db_.messages[static_cast<std::size_t>(current_)];
    auto& names = state_[static_cast<std::size_t>(current_)].signalByName;
    if (auto [it, fresh] = names.try_emplace(sig.name, static_cast<int>(m.signalList.size())); !fresh)
        s_.FailAt(line, "signal " + sig.name + " appears twice in message " + m.name + ": on line " +
                            std::to_string(m.signalList[static_cast<std::size_t>(it->second)].line) + " and here");
    if (++signalCount_ > kMaxSignals)
        s_.FailAt(line, "more than " + std::to_string(kMaxSignals) + " signals: no CAN database is that large");
    m.signalList.push_back(std::move(sig));
}

// "M" (the multiplexor), "m3" (multiplexed by value 3), "m3M" (both: a
// multiplexor inside a multiplexed group, which the gateway treats as
// multiplexed).
void DbcReader::ReadMultiplexing(Signal& signal, std::string_view text) {
    if (text == "M") {
        signal.mux = Multiplexing::Multiplexor;
        return;
    }
    std::string_view digits = text.substr(text.empty() ? 0 : 1);
    if (!digits.empty() && digits.back() == 'M') digits.remove_suffix(1);
    const bool numeric = !digits.empty() && std::all_of(digits.begin(), digits.end(), [](char c) {
        return c >= '0' && c <= '9';
    });
    if (text.empty() || text[0] != 'm' || !numeric || digits.size() > 18)
        s_.Fail("'" + std::string(text) + "' is not a multiplexing mark (M, or m followed by a number)");
    signal.mux = Multiplexing::Multiplexed;
    signal.muxValue = std::stoll(std::string(digits));
}

Message* DbcReader::MessageByRawId(std::uint64_t rawId) {
    if (rawId > 0xFFFFFFFFu) return nullptr;
    const auto it = byRawId_.find(static_cast<std::uint32_t>(rawId));
    return it == byRawId_.end() ? nullptr : &db_.messages[static_cast<std::size_t>(it->second)];
}

Signal* DbcReader::SignalOf(Message* message, const std::string& name) {
    if (!message) return nullptr;
    const auto index = static_cast<std::size_t>(message - db_.messages.data());
    const auto& names = state_[index].signalByName;
    const auto it = names.find(name);
    return it == names.end() ? nullptr : &message->signalList[static_cast<std::size_t>(it->second)];
}

void DbcReader::EndStatement(const char* keyword) {
    if (!s_.TryChar(';')) s_.Fail(std::string("expected ';' at the end of ") + keyword);
}

// BO_TX_BU_ id : node,node ; more nodes that send the message.
void DbcReader::ReadTransmitters() {
    s_.SetMultiline(true);
    Message* m = MessageByRawId(s_.Unsigned("the message id", 0xFFFFFFFFu));
    s_.Expect(':', "after the message id");
    while (!s_.TryChar(';')) {
        if (s_.TryChar(',')) continue;
        std::string node(s_.Word("a node name"));
        if (m && node != kNoNode && std::find(m->transmitters.begin(), m->transmitters.end(), node) == m->transmitters.end())
            m->transmitters.push_back(std::move(node));
    }
}

// CM_ "text"; CM_ BU_ node "text"; CM_ BO_ id "text"; CM_ SG_ id name "text"; CM_ EV_ name "text";
void DbcReader::ReadComment() {
    s_.SetMultiline(true);
    std::string* target = nullptr;
    if (s_.NextIsWord()) {
        const std::string_view kind = s_.Word("BU_, BO_, SG_ or EV_");
        if (kind == "BO_" || kind == "SG_") {
            Message* m = MessageByRawId(s_.Unsigned("the message id", 0xFFFFFFFFu));
            if (kind == "BO_") {
                target = m ? &m->comment : nullptr;
            } else {
                Signal* sig = SignalOf(m, std::string(s_.Word("the signal name")));
                target = sig ? &sig->comment : nullptr;
            }
        } else if (kind == "BU_" || kind == "EV_") {
            s_.Word("a name");
        } else {
            s_.Fail("CM_ " + std::string(kind) + ": a comment is on BU_, BO_, SG_ or EV_");
        }
    }
    std::string text = s_.Quoted("comment");
    if (target) *target = std::move(text);
    EndStatement("CM_");
}

// VAL_ id signal value "text" ... ; (VAL_ on an environment variable names no id.)
void DbcReader::ReadValueTable(int line) {
    s_.SetMultiline(true);
    s_.SkipBlanks();
    if (s_.Peek() < '0' || s_.Peek() > '9') return s_.SkipStatement(line);
    Message* m = MessageByRawId(s_.Unsigned("the message id", 0xFFFFFFFFu));
    Signal* sig = SignalOf(m, std::string(s_.Word("the signal name")));
    std::vector<ValueName> values;
    while (!s_.TryChar(';')) {
        ValueName entry;
        entry.value = s_.Integer("a value of the value table");
        entry.text = s_.Quoted("value description");
        values.push_back(std::move(entry));
    }
    if (!sig) return;
    // Ascending by value; a value given twice keeps its last text.
    std::stable_sort(values.begin(), values.end(), [](const ValueName& a, const ValueName& b) {
        return a.value < b.value;
    });
    for (std::size_t i = 0; i < values.size(); ++i)
        if (i + 1 == values.size() || values[i + 1].value != values[i].value) sig->values.push_back(values[i]);
}

// SIG_VALTYPE_ id signal : 0 | 1 (IEEE float) | 2 (IEEE double) ;
void DbcReader::ReadValueType() {
    s_.SetMultiline(true);
    Message* m = MessageByRawId(s_.Unsigned("the message id", 0xFFFFFFFFu));
    Signal* sig = SignalOf(m, std::string(s_.Word("the signal name")));
    s_.TryChar(':');
    const auto kind = s_.Unsigned("the value type", 2);
    EndStatement("SIG_VALTYPE_");
    if (!sig) return;
    if (kind == 1)
        sig->type = ValueType::Float32;
    else if (kind == 2)
        sig->type = ValueType::Float64;
}

// BA_ "GenMsgCycleTime" BO_ id value ; every other attribute is skipped.
void DbcReader::ReadAttribute(int line) {
    s_.SetMultiline(true);
    const std::string name = s_.Quoted("attribute name");
    if (name != kCycleTime) return s_.SkipStatement(line);
    if (!s_.NextIsWord() || s_.Word("BO_") != "BO_") return s_.SkipStatement(line);
    Message* m = MessageByRawId(s_.Unsigned("the message id", 0xFFFFFFFFu));
    const double value = s_.Number("the cycle time");
    EndStatement("BA_");
    if (m) state_[static_cast<std::size_t>(m - db_.messages.data())].cycleTime = value;
}

void DbcReader::ReadAttributeDefault(int line) {
    s_.SetMultiline(true);
    const std::string name = s_.Quoted("attribute name");
    if (name != kCycleTime) return s_.SkipStatement(line);
    defaultCycleTime_ = s_.Number("the default cycle time");
    EndStatement("BA_DEF_DEF_");
}

// What makes a signal unusable once every statement about it is read.
std::string SignalProblem(const Signal& sig) {
    if (sig.length < 1 || sig.length > 64)
        return std::to_string(sig.length) + " bits: a signal holds 1 to 64";
    if (!FitsIn(sig, kMaxFrameBytes))
        return "its bits lie past the " + std::to_string(kMaxFrameBytes) + " data bytes of the longest CAN frame";
    if (sig.type == ValueType::Float32 && sig.length != 32)
        return "an IEEE float (SIG_VALTYPE_ 1) has 32 bits, not " + std::to_string(sig.length);
    if (sig.type == ValueType::Float64 && sig.length != 64)
        return "an IEEE double (SIG_VALTYPE_ 2) has 64 bits, not " + std::to_string(sig.length);
    if (sig.factor == 0) return "its factor is 0: no raw value gives a physical one";
    return {};
}

void DbcReader::Finish() {
    for (std::size_t i = 0; i < db_.messages.size(); ++i) {
        Message& m = db_.messages[i];
        const std::optional<double> cycle = state_[i].cycleTime ? state_[i].cycleTime : defaultCycleTime_;
        if (cycle && *cycle >= 1 && *cycle <= 1e9) m.cycleTimeMs = static_cast<int>(std::lround(*cycle));
        for (Signal& sig : m.signalList) sig.problem = SignalProblem(sig);
    }
}

}  // namespace

Database ReadDbc(std::string_view bytes, const std::string& fileName) {
    if (bytes.size() > kMaxDatabaseBytes)
        throw DatabaseError(fileName, 0,
                            "the file is larger than " + std::to_string(kMaxDatabaseBytes >> 20) +
                                " MiB: no CAN database is that large");
    const std::string text = DecodeDatabaseText(bytes, fileName);
    return DbcReader(text, fileName).Read();
}

}  // namespace vestrel::signaldb
