#include "signaldb/dbc_reader.h"

#include "project/project_files.h"
#include "signaldb/dbc_attributes.h"
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

// The keywords of the format whose statements end with ';' and that the
// gateway has no use for. Any other word at the start of a statement is
// refused, so that nothing is skipped by mistake.
constexpr std::array<std::string_view, 22> kSkipped = {
    "BA_DEF_SGTYPE_", "BA_SGTYPE_",  "BA_DEF_REL_",  "BA_REL_",          "BA_DEF_DEF_REL_", "BU_SG_REL_",
    "BU_EV_REL_",     "BU_BO_REL_",  "VAL_TABLE_",   "EV_",              "ENVVAR_DATA_",    "SGTYPE_",
    "SGTYPE_VAL_",    "SIG_GROUP_",  "SIGTYPE_VALTYPE_", "SIG_TYPE_REF_", "CAT_DEF_",       "CAT_",
    "FILTER",         "EV_DATA_",    "NS_DESC_",     "SG_MUL_VAL_",
};
constexpr std::array<std::string_view, 13> kRead = {
    "VERSION", "NS_", "BS_", "BU_", "BO_", "SG_", "BO_TX_BU_", "CM_", "VAL_", "SIG_VALTYPE_", "BA_", "BA_DEF_",
    "BA_DEF_DEF_",
};

bool IsKeyword(std::string_view word) {
    return std::find(kRead.begin(), kRead.end(), word) != kRead.end() ||
           std::find(kSkipped.begin(), kSkipped.end(), word) != kSkipped.end();
}

// What a statement that cannot be read costs: the whole file, its message,
// or only what it adds (skipped with a note).
enum class Cost { WholeFile, Message, Comment, ValueTable, Attribute, Senders, Nothing };

Cost CostOf(std::string_view keyword) {
    if (keyword == "BO_" || keyword == "SG_") return Cost::Message;
    if (keyword == "CM_") return Cost::Comment;
    if (keyword == "VAL_" || keyword == "VAL_TABLE_") return Cost::ValueTable;
    if (keyword == "BA_" || keyword == "BA_DEF_" || keyword == "BA_DEF_DEF_") return Cost::Attribute;
    if (keyword == "BO_TX_BU_") return Cost::Senders;
    if (std::find(kSkipped.begin(), kSkipped.end(), keyword) != kSkipped.end()) return Cost::Nothing;
    return Cost::WholeFile;  // VERSION, NS_, BS_, BU_, SIG_VALTYPE_
}

// A fault of the file as a whole, thrown inside the reader and turned into
// DatabaseError in Read: never skipped.
struct WholeFileFault {
    int line;
    std::string reason;
};

class DbcReader {
public:
    DbcReader(std::string_view text, const std::string& fileName, const ReadOptions& options)
        : s_(text, fileName, &IsKeyword), options_(options) {
        db_.format = DatabaseFormat::Dbc;
        db_.fileName = fileName;
    }

    Database Read();

private:
    void Statement(std::string_view keyword, int line);
    void Recover(std::string_view keyword, int line, const DatabaseError& fault);
    void SkipNamespaceBlock();
    void SkipNodeList();
    void ReadMessage(int line);
    void AddMessage(std::uint32_t rawId, const std::string& name, int length, int line);
    void ReadSignal(int line);
    void ReadMultiplexing(Signal& signal, std::string_view text);
    std::vector<std::string> NodeList();
    void ReadTransmitters();
    void ReadComment();
    void ReadValueTable();
    void ReadValueType();
    void Finish();

    [[noreturn]] void Refuse(int line, std::string reason) const { throw WholeFileFault{line, std::move(reason)}; }

    // The message and, where named, the signal a statement refers to; null
    // for what the file does not define (ignored, as other readers do).
    Message* MessageByRawId(std::uint64_t rawId);
    Signal* SignalOf(Message* message, const std::string& name);

    TextScanner s_;
    ReadOptions options_;
    Database db_;
    std::vector<std::unordered_map<std::string, int>> signalsByName_;  // per message
    DbcAttributes attributes_;
    std::unordered_map<std::uint32_t, int> byRawId_;  // the DBC id, format flag included
    std::unordered_map<std::string, int> byName_;
    int current_ = -1;            // the message SG_ lines belong to
    bool skippingMessage_ = false;  // inside the pseudo-message of free signals, or a message that cannot be read
    std::size_t signalCount_ = 0;
    // What the statement being read has given so far, for its recovery.
    std::optional<std::uint32_t> partialId_;
    std::optional<std::string> partialName_;
    int partialLength_ = 0;
};

Database DbcReader::Read() {
    try {
        for (;;) {
            s_.SetMultiline(false);
            s_.SkipWhitespace();
            if (s_.AtEnd()) break;
            const int line = s_.Line();
            const std::string_view keyword = s_.Word("a keyword");
            try {
                Statement(keyword, line);
            } catch (const DatabaseError& fault) {
                Recover(keyword, line, fault);
            }
        }
        Finish();
    } catch (const WholeFileFault& fault) {
        throw DatabaseError(db_.fileName, fault.line, fault.reason);
    }
    return std::move(db_);
}

void DbcReader::Statement(std::string_view keyword, int line) {
    partialId_.reset();
    partialName_.reset();
    partialLength_ = 0;
    attributes_.StartStatement();
    if (keyword == "VERSION") {
        s_.Quoted("version");
        if (!s_.AtLineEnd()) s_.Fail("unexpected text after VERSION");
    } else if (keyword == "NS_") {
        s_.Expect(':', "after NS_");
        SkipNamespaceBlock();
    } else if (keyword == "BS_") {
        s_.SkipRestOfLine();
    } else if (keyword == "BU_") {
        SkipNodeList();
    } else if (keyword == "BO_") {
        ReadMessage(line);
    } else if (keyword == "SG_") {
        ReadSignal(line);
    } else if (keyword == "BO_TX_BU_") {
        ReadTransmitters();
    } else if (keyword == "CM_") {
        ReadComment();
    } else if (keyword == "VAL_") {
        ReadValueTable();
    } else if (keyword == "SIG_VALTYPE_") {
        ReadValueType();
    } else if (keyword == "BA_" || keyword == "BA_DEF_" || keyword == "BA_DEF_DEF_") {
        s_.SetMultiline(true);
        attributes_.Read(keyword, s_, line, [this](std::uint64_t id) {
            const Message* m = MessageByRawId(id);
            return m ? static_cast<int>(m - db_.messages.data()) : -1;
        });
    } else if (std::find(kSkipped.begin(), kSkipped.end(), keyword) != kSkipped.end()) {
        s_.SetMultiline(true);
        s_.SkipStatement(std::string(keyword).c_str());
    } else {
        Refuse(line, "unknown keyword '" + std::string(keyword) + "'");
    }
}

// A statement that cannot be read: the whole file with --strict, with an
// unclosed quote (nothing after it can be told apart from the text) and
// where it might change what a signal or a frame means; otherwise skipped
// with a note, a broken message or signal definition refusing its message.
void DbcReader::Recover(std::string_view keyword, int line, const DatabaseError& fault) {
    Cost cost = CostOf(keyword);
    if (cost == Cost::Attribute && !attributes_.OnlyAdds()) cost = Cost::WholeFile;
    if (options_.strict || cost == Cost::WholeFile || s_.UnclosedQuote()) throw;
    const std::string word(keyword);
    if (cost != Cost::Message) {
        s_.SkipToStatementEnd();
        const char* lost = cost == Cost::Comment      ? "a comment is lost"
                           : cost == Cost::ValueTable ? "a value table is lost"
                           : cost == Cost::Attribute  ? "the attribute is lost"
                           : cost == Cost::Senders    ? "the senders it lists are lost"
                                                      : "nothing the gateway uses is lost";
        db_.notes.push_back({fault.Line(), word + " skipped, " + lost + ": " + fault.Reason()});
        return;
    }
    s_.SkipRestOfLine();
    if (keyword == "BO_") {
        if (partialId_ && partialName_ && *partialName_ != kIndependentSignals) {
            AddMessage(*partialId_, *partialName_, partialLength_, line);
            Message& m = db_.messages.back();
            m.problem = "its definition on line " + std::to_string(fault.Line()) + " cannot be read: " + fault.Reason();
            db_.notes.push_back({fault.Line(), "message " + m.name + " refused: " + fault.Reason()});
            return;
        }
        skippingMessage_ = true;
        db_.notes.push_back({fault.Line(), "a message definition that cannot be read is skipped with its signals: " +
                                               fault.Reason()});
        return;
    }
    if (skippingMessage_) return;
    Message& m = db_.messages[static_cast<std::size_t>(current_)];
    const std::string signal = partialName_ ? "signal " + *partialName_ : "a signal";
    if (m.problem.empty())
        m.problem = "the definition of " + signal + " on line " + std::to_string(fault.Line()) +
                    " cannot be read: " + fault.Reason();
    db_.notes.push_back({fault.Line(), "message " + m.name + " refused: " + signal + ": " + fault.Reason()});
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

// BU_: the node names, which may go on over the following lines: every line
// of names alone up to the one that begins the next statement.
void DbcReader::SkipNodeList() {
    s_.TryChar(':');
    s_.SkipRestOfLine();
    for (;;) {
        TextScanner probe = s_;
        probe.SkipWhitespace();
        if (probe.AtEnd() || probe.AtStatementStart()) return;
        while (!probe.AtLineEnd())
            if (!probe.TryChar(',')) probe.Word("a node name");
        probe.SkipRestOfLine();
        s_ = probe;
    }
}

void DbcReader::ReadMessage(int line) {
    skippingMessage_ = true;  // until it is read whole
    partialId_ = static_cast<std::uint32_t>(s_.Unsigned("the message id", 0xFFFFFFFFu));
    partialName_ = std::string(s_.Word("the message name"));
    s_.Expect(':', "after the message name");
    partialLength_ = static_cast<int>(s_.Unsigned("the message length", 1u << 20));
    std::vector<std::string> transmitters = NodeList();
    if (*partialName_ == kIndependentSignals) return;
    AddMessage(*partialId_, *partialName_, partialLength_, line);
    db_.messages.back().transmitters = std::move(transmitters);
}

void DbcReader::AddMessage(std::uint32_t rawId, const std::string& name, int length, int line) {
    if (auto [it, fresh] = byRawId_.try_emplace(rawId, static_cast<int>(db_.messages.size())); !fresh) {
        const Message& first = db_.messages[static_cast<std::size_t>(it->second)];
        Refuse(line, "message id " + MessageIdText(first) + " is defined twice: " + first.name + " on line " +
                         std::to_string(first.line) + " and " + name + " here");
    }
    if (auto [it, fresh] = byName_.try_emplace(name, static_cast<int>(db_.messages.size())); !fresh)
        Refuse(line, "message name " + name + " is used twice: on line " +
                         std::to_string(db_.messages[static_cast<std::size_t>(it->second)].line) + " and here");
    if (db_.messages.size() >= kMaxMessages)
        Refuse(line, "more than " + std::to_string(kMaxMessages) + " messages: no CAN database is that large");

    Message m;
    m.name = name;
    m.extended = (rawId & kExtendedFlag) != 0;
    m.id = rawId & ~kExtendedFlag;
    m.length = length;
    m.line = line;
    if (m.extended && m.id > kMaxExtendedId)
        m.problem = "id " + MessageIdText(m) + " is longer than 29 bits";
    else if (!m.extended && m.id > kMax11Bit)
        m.problem = "id " + MessageIdText(m) + " is longer than 11 bits, and the file does not mark it extended";
    else if (length > kMaxFrameBytes)
        m.problem = std::to_string(length) + " data bytes: a CAN frame holds at most " +
                    std::to_string(kMaxFrameBytes);
    current_ = static_cast<int>(db_.messages.size());
    skippingMessage_ = false;
    db_.messages.push_back(std::move(m));
    signalsByName_.emplace_back();
    attributes_.AddMessage();
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
    if (current_ < 0 && !skippingMessage_) Refuse(line, "SG_ before any BO_: the signal belongs to no message");
    Signal sig;
    sig.line = line;
    sig.name = s_.Word("the signal name");
    partialName_ = sig.name;
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
    auto& names = signalsByName_[static_cast<std::size_t>(current_)];
    if (auto [it, fresh] = names.try_emplace(sig.name, static_cast<int>(m.signalList.size())); !fresh)
        Refuse(line, "signal " + sig.name + " appears twice in message " + m.name + ": on line " +
                         std::to_string(m.signalList[static_cast<std::size_t>(it->second)].line) + " and here");
    if (++signalCount_ > kMaxSignals)
        Refuse(line, "more than " + std::to_string(kMaxSignals) + " signals: no CAN database is that large");
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
    const auto& names = signalsByName_[index];
    const auto it = names.find(name);
    return it == names.end() ? nullptr : &message->signalList[static_cast<std::size_t>(it->second)];
}

// BO_TX_BU_ id : node,node ; more nodes that send the message.
void DbcReader::ReadTransmitters() {
    s_.SetMultiline(true);
    Message* m = MessageByRawId(s_.Unsigned("the message id", 0xFFFFFFFFu));
    s_.Expect(':', "after the message id");
    std::vector<std::string> nodes;
    while (s_.MoreInStatement("BO_TX_BU_")) {
        if (s_.TryChar(',')) continue;
        nodes.emplace_back(s_.Word("a node name"));
    }
    if (!m) return;
    for (std::string& node : nodes)
        if (node != kNoNode && std::find(m->transmitters.begin(), m->transmitters.end(), node) == m->transmitters.end())
            m->transmitters.push_back(std::move(node));
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
    s_.EndStatement("CM_");
    if (target) *target = std::move(text);
}

// VAL_ id signal value "text" ... ; (VAL_ on an environment variable names no id.)
void DbcReader::ReadValueTable() {
    s_.SetMultiline(true);
    s_.SkipBlanks();
    if (s_.Peek() < '0' || s_.Peek() > '9') return s_.SkipStatement("VAL_");
    Message* m = MessageByRawId(s_.Unsigned("the message id", 0xFFFFFFFFu));
    Signal* sig = SignalOf(m, std::string(s_.Word("the signal name")));
    std::vector<ValueName> values;
    while (s_.MoreInStatement("VAL_")) {
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
    s_.EndStatement("SIG_VALTYPE_");
    if (!sig) return;
    if (kind == 1)
        sig->type = ValueType::Float32;
    else if (kind == 2)
        sig->type = ValueType::Float64;
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
    return ScalingProblem(sig);
}

void DbcReader::Finish() {
    for (std::size_t i = 0; i < db_.messages.size(); ++i)
        for (Signal& sig : db_.messages[i].signalList) sig.problem = SignalProblem(sig);
    if (const auto fault = attributes_.Apply(db_, signalsByName_)) Refuse(fault->line, fault->reason);
}

}  // namespace

Database ReadDbc(std::string_view bytes, const std::string& fileName, const ReadOptions& options) {
    if (bytes.size() > kMaxDatabaseBytes)
        throw DatabaseError(fileName, 0,
                            "the file is larger than " + std::to_string(kMaxDatabaseBytes >> 20) +
                                " MiB: no CAN database is that large");
    const std::string text = DecodeDatabaseText(bytes, fileName, "a DBC");
    return DbcReader(text, fileName, options).Read();
}

}  // namespace vestrel::signaldb
