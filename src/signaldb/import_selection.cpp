#include "signaldb/import_selection.h"

#include "project/frame_mapping.h"
#include "project/integer_text.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

namespace vestrel::signaldb {

namespace {


std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

class Resolver {
public:
    Resolver(const Database& db, FrameDirection direction, std::vector<std::string>& refusals)
        : db_(db), refusals_(refusals) {
        picks_.direction = direction;
        for (std::size_t i = 0; i < db.messages.size(); ++i) byName_.try_emplace(db.messages[i].name, i);
    }

    void Item(std::string_view item) {
        item_ = std::string(item);
        std::string_view names = item;
        std::optional<std::int32_t> reg;
        if (const auto eq = item.rfind('='); eq != std::string_view::npos) {
            names = item.substr(0, eq);
            const std::string text(item.substr(eq + 1));
            reg = ParseIntegerText(text);
            if (!reg || *reg < 0 || *reg > kHighestRegister) return Refuse("the register " + Quoted(text) + " is no number from 0 to 65535");
        }
        if (const auto whole = byName_.find(std::string(names)); whole != byName_.end()) {
            if (reg) return Refuse("a register goes to a signal (MESSAGE.SIGNAL=REGISTER), not to a whole message");
            if (!Allowed(whole->second)) return;
            Pick(whole->second).whole = true;
            return;
        }
        for (std::size_t dot = names.find('.'); dot != std::string_view::npos; dot = names.find('.', dot + 1)) {
            const auto message = byName_.find(std::string(names.substr(0, dot)));
            if (message == byName_.end()) continue;
            return Signal(message->second, names.substr(dot + 1), reg);
        }
        Refuse("no message " + Quoted(names.substr(0, names.find('.'))) + " in " + db_.fileName);
    }

    DirectionPicks Take() { return std::move(picks_); }

private:
    void Refuse(const std::string& why) { refusals_.push_back("--" + std::string(DirectionWord()) + " " + Quoted(item_) + ": " + why); }

    const char* DirectionWord() const { return picks_.direction == FrameDirection::Receive ? "receive" : "transmit"; }

    // A CANopen PDO goes the way its node sends it.
    bool Allowed(std::size_t message) {
        const Message& m = db_.messages[message];
        if (!m.direction || *m.direction == picks_.direction) return true;
        Refuse(m.name + " is a frame the gateway " +
               (*m.direction == FrameDirection::Receive ? "receives: list it under --receive"
                                                        : "transmits: list it under --transmit"));
        return false;
    }

    MessagePick& Pick(std::size_t message) {
        for (MessagePick& p : picks_.messages)
            if (p.message == message) return p;
        picks_.messages.push_back(MessagePick{message, false, {}, {}});
        return picks_.messages.back();
    }

    void Signal(std::size_t message, std::string_view name, std::optional<std::int32_t> reg) {
        const auto& list = db_.messages[message].signalList;
        std::vector<std::size_t> found;
        for (std::size_t i = 0; i < list.size(); ++i)
            if (list[i].name == name) found.push_back(i);
        if (found.empty()) return Refuse("no signal " + Quoted(name) + " in " + db_.messages[message].name);
        if (found.size() > 1) return Refuse(db_.messages[message].name + " has " + std::to_string(found.size()) +
                                            " signals named " + Quoted(name));
        if (!Allowed(message)) return;
        MessagePick& pick = Pick(message);
        const std::size_t s = found.front();
        if (std::find(pick.signalList.begin(), pick.signalList.end(), s) == pick.signalList.end())
            pick.signalList.push_back(s);
        if (!reg) return;
        const auto [it, inserted] = pick.registers.try_emplace(s, *reg);
        if (!inserted && it->second != *reg)
            Refuse("the signal is given registers " + std::to_string(it->second) + " and " + std::to_string(*reg));
    }

    const Database& db_;
    std::vector<std::string>& refusals_;
    std::unordered_map<std::string, std::size_t> byName_;
    DirectionPicks picks_;
    std::string item_;
};

}  // namespace

DirectionPicks ResolveList(const Database& database, FrameDirection direction, std::string_view list,
                           std::vector<std::string>& refusals) {
    Resolver resolver(database, direction, refusals);
    std::size_t at = 0;
    while (at <= list.size()) {
        std::size_t end = list.find(',', at);
        if (end == std::string_view::npos) end = list.size();
        const std::string_view item = list.substr(at, end - at);
        if (!item.empty()) resolver.Item(item);
        at = end + 1;
    }
    return resolver.Take();
}

}  // namespace vestrel::signaldb
