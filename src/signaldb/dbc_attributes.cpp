#include "signaldb/dbc_attributes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <set>

namespace vestrel::signaldb {

namespace {

constexpr std::string_view kCycleTime = "GenMsgCycleTime";
constexpr std::string_view kFrameFormat = "VFrameFormat";
constexpr std::string_view kMessageLongName = "SystemMessageLongSymbol";
constexpr std::string_view kSignalLongName = "SystemSignalLongSymbol";

// The frame formats a VFrameFormat names, and whether each is CAN FD. The
// others of its usual list are "reserved".
struct FrameFormatWord {
    std::string_view word;
    bool fd;
};
constexpr std::array<FrameFormatWord, 5> kFrameFormats = {{
    {"StandardCAN", false},
    {"ExtendedCAN", false},
    {"J1939PG", false},
    {"StandardCAN_FD", true},
    {"ExtendedCAN_FD", true},
}};

}  // namespace

bool DbcAttributes::OnlyAdds() const {
    return name_ && *name_ != kFrameFormat && *name_ != kMessageLongName && *name_ != kSignalLongName;
}

void DbcAttributes::Read(std::string_view keyword, TextScanner& s, int line, const MessageIndex& messageIndex) {
    if (keyword == "BA_DEF_") return ReadDefinition(s);
    if (keyword == "BA_DEF_DEF_") return ReadDefault(s, line);
    ReadValue(s, line, messageIndex);
}

DbcAttributes::Value DbcAttributes::ValueOf(TextScanner& s, int line, const char* what) {
    Value value;
    value.line = line;
    s.SkipBlanks();
    if (s.Peek() == '"')
        value.text = s.Quoted(what);
    else
        value.number = s.Number(what);
    return value;
}

// BA_DEF_ [BU_|BO_|SG_|EV_] "name" TYPE ...; of which only VFrameFormat's
// ENUM values are kept.
void DbcAttributes::ReadDefinition(TextScanner& s) {
    if (s.NextIsWord()) s.Word("BU_, BO_, SG_ or EV_");
    name_ = s.Quoted("attribute name");
    if (*name_ != kFrameFormat) return s.SkipStatement("BA_DEF_");
    if (s.Word("the attribute type") != "ENUM") s.Fail("VFrameFormat is an ENUM attribute");
    std::vector<std::string> values;
    while (s.MoreInStatement("BA_DEF_")) {
        if (s.TryChar(',')) continue;
        values.push_back(s.Quoted("frame format"));
    }
    frameFormats_ = std::move(values);
}

// BA_DEF_DEF_ "name" value;
void DbcAttributes::ReadDefault(TextScanner& s, int line) {
    name_ = s.Quoted("attribute name");
    if (*name_ == kCycleTime) {
        defaultCycleTime_ = s.Number("the default cycle time");
    } else if (*name_ == kFrameFormat) {
        defaultFrameFormat_ = ValueOf(s, line, "the default frame format");
    } else {
        return s.SkipStatement("BA_DEF_DEF_");
    }
    s.EndStatement("BA_DEF_DEF_");
}

// BA_ "name" [BU_ node | BO_ id | SG_ id signal | EV_ name] value;
void DbcAttributes::ReadValue(TextScanner& s, int line, const MessageIndex& messageIndex) {
    name_ = s.Quoted("attribute name");
    const bool used = *name_ == kCycleTime || *name_ == kFrameFormat || *name_ == kMessageLongName ||
                      *name_ == kSignalLongName;
    if (!used || !s.NextIsWord()) return s.SkipStatement("BA_");
    const std::string_view kind = s.Word("BU_, BO_, SG_ or EV_");
    const bool onSignal = *name_ == kSignalLongName;
    if (kind != (onSignal ? "SG_" : "BO_")) return s.SkipStatement("BA_");
    const int index = messageIndex(s.Unsigned("the message id", 0xFFFFFFFFu));
    const std::string signal = onSignal ? std::string(s.Word("the signal name")) : std::string();
    PerMessage scratch;  // for a message the file does not define
    PerMessage& m = index < 0 ? scratch : messages_[static_cast<std::size_t>(index)];
    if (*name_ == kCycleTime) {
        m.cycleTime = s.Number("the cycle time");
    } else if (*name_ == kFrameFormat) {
        m.frameFormat = ValueOf(s, line, "the frame format");
    } else if (onSignal) {
        m.signalNames.emplace_back(signal, LongName{s.Quoted("long name"), line});
    } else {
        m.longName = LongName{s.Quoted("long name"), line};
    }
    s.EndStatement("BA_");
}

void DbcAttributes::ApplyFrameFormat(Message& m, const PerMessage& own) const {
    const std::optional<Value>& value = own.frameFormat ? own.frameFormat : defaultFrameFormat_;
    if (!value) return;
    std::string word = value->text;
    if (!m.problem.empty()) return;  // the message is refused already
    if (value->number) {
        const double n = *value->number;
        const std::string shown = std::to_string(static_cast<long long>(n));
        if (!frameFormats_) {
            m.problem = "VFrameFormat " + shown + " (line " + std::to_string(value->line) +
                        ") without the attribute's definition (BA_DEF_ BO_ \"VFrameFormat\" ENUM ...): its frame "
                        "format is not known";
            return;
        }
        if (n != std::floor(n) || n < 0 || n >= static_cast<double>(frameFormats_->size())) {
            m.problem = "VFrameFormat " + shown + " (line " + std::to_string(value->line) + ") names none of the " +
                        std::to_string(frameFormats_->size()) + " frame formats its definition lists";
            return;
        }
        word = (*frameFormats_)[static_cast<std::size_t>(n)];
    }
    const auto known = std::find_if(kFrameFormats.begin(), kFrameFormats.end(),
                                    [&](const FrameFormatWord& f) { return f.word == word; });
    m.frameFormat = word;
    if (known == kFrameFormats.end()) {
        m.problem = "VFrameFormat \"" + word + "\" (line " + std::to_string(value->line) +
                        ") is no frame format this tool knows (StandardCAN, ExtendedCAN, J1939PG, StandardCAN_FD, "
                        "ExtendedCAN_FD)";
        return;
    }
    m.canFd = known->fd;
}

std::optional<DbcAttributes::Fault> DbcAttributes::Apply(
    Database& db, const std::vector<std::unordered_map<std::string, int>>& signalsByName) const {
    std::set<std::string> taken;
    for (const Message& m : db.messages) taken.insert(m.name);
    for (std::size_t i = 0; i < db.messages.size(); ++i) {
        Message& m = db.messages[i];
        const PerMessage& own = messages_[i];
        const std::optional<double> cycle = own.cycleTime ? own.cycleTime : defaultCycleTime_;
        if (cycle && *cycle >= 1 && *cycle <= 1e9) m.cycleTimeMs = static_cast<int>(std::lround(*cycle));
        ApplyFrameFormat(m, own);
        if (own.longName && own.longName->name != m.name) {
            if (own.longName->name.empty() || !taken.insert(own.longName->name).second)
                return Fault{own.longName->line, "the long name \"" + own.longName->name + "\" of message " + m.name +
                                                     " is empty or the name of another message"};
            taken.erase(m.name);
            m.name = own.longName->name;
        }
        std::set<std::string> names;
        for (const Signal& sig : m.signalList) names.insert(sig.name);
        for (const auto& [shortName, longName] : own.signalNames) {
            const auto it = signalsByName[i].find(shortName);
            if (it == signalsByName[i].end()) continue;
            Signal& sig = m.signalList[static_cast<std::size_t>(it->second)];
            if (longName.name == sig.name) continue;
            if (longName.name.empty() || !names.insert(longName.name).second)
                return Fault{longName.line, "the long name \"" + longName.name + "\" of signal " + shortName +
                                                " in message " + m.name +
                                                " is empty or the name of another of its signals"};
            names.erase(sig.name);
            sig.name = longName.name;
        }
    }
    return std::nullopt;
}

}  // namespace vestrel::signaldb
