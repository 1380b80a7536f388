#pragma once

// Shared by the harnesses of the database readers: what every database that
// a reader returns must satisfy, and what the register plan of it must.

#include "fuzz_support.h"

#include "signaldb/register_plan.h"
#include "signaldb/signal_codec.h"
#include "signaldb/signal_listing.h"

#include <set>

namespace vestrel::fuzz {

inline void CheckPlan(const signaldb::Message& m, const signaldb::MessagePlan& plan, signaldb::WordOrder order) {
    using namespace signaldb;
    FUZZ_CHECK(plan.placements.size() == m.signalList.size(), "the plan lost signals");
    FUZZ_CHECK(!m.canFd || plan.refusal != Refusal::None, "a CAN FD message planned into registers");
    int feeds[8] = {};
    for (const PlannedRegister& r : plan.registers) {
        for (int b : {r.HighByte(), r.LowByte()}) {
            FUZZ_CHECK(b < m.length, "a register half fed by a byte past the message");
            if (b >= 0) FUZZ_CHECK(++feeds[b] == 1, "a data byte feeds two register halves");
        }
    }
    std::uint8_t data[8];
    for (int i = 0; i < 8; ++i) data[i] = static_cast<std::uint8_t>(0x5A ^ (i * 37));
    for (std::size_t i = 0; i < m.signalList.size(); ++i) {
        const SignalPlan& p = plan.placements[i];
        if (plan.Refused(i)) {
            FUZZ_CHECK(p.registerCount == 0, "a refused signal with registers");
            continue;
        }
        const Signal& s = m.signalList[i];
        FUZZ_CHECK(p.registerCount >= 1 && p.registerCount <= 4, "a usable signal in 0 or more than 4 registers");
        FUZZ_CHECK(p.firstRegister + p.registerCount <= static_cast<int>(plan.registers.size()),
                   "a signal's registers past the plan's");
        FUZZ_CHECK(FitsIn(s, m.length) && m.length <= 8, "a usable signal that does not fit its message");
        // The signal back from the registers as the PLC joins them (high word first or last).
        std::uint64_t joined = 0;
        for (int k = 0; k < p.registerCount; ++k) {
            const PlannedRegister& r = plan.registers[static_cast<std::size_t>(p.firstRegister + k)];
            const std::uint64_t value = (r.HighByte() < 0 ? 0u : unsigned{data[r.HighByte()]} << 8) |
                                        (r.LowByte() < 0 ? 0u : unsigned{data[r.LowByte()]});
            const int w = order == WordOrder::LowFirst ? k : p.registerCount - 1 - k;
            joined |= value << (16 * w);
        }
        FUZZ_CHECK((joined >> p.shift & p.mask) == ExtractBits(s, std::span<const std::uint8_t>(data, 8)),
                   "the registers do not give the signal back");
        FUZZ_CHECK(p.signBit == SignBitOf(s.type, s.length, p.registerCount, p.masked) &&
                       (!p.signBit || (s.type == ValueType::Signed && *p.signBit == s.length - 1)),
                   "a sign bit the rule does not give");
    }
}

inline void CheckDatabase(const signaldb::Database& db) {
    using namespace signaldb;
    FUZZ_CHECK(db.messages.size() <= kMaxMessages && db.SignalCount() <= kMaxSignals, "more than the limits");
    std::set<std::pair<std::uint32_t, bool>> ids;
    for (const Message& m : db.messages) {
        if (db.format == DatabaseFormat::Dbc) FUZZ_CHECK(ids.emplace(m.id, m.extended).second, "a message id twice");
        for (const Signal& s : m.signalList)
            if (s.problem.empty())
                FUZZ_CHECK(s.length >= 1 && s.length <= 64 && FitsIn(s, kMaxFrameBytes),
                           "a signal without a problem that no frame holds");
    }
    for (auto mode : {std::optional<CanMode>(), std::optional(CanMode::Can20A), std::optional(CanMode::Can20B)}) {
        for (auto order : {WordOrder::HighFirst, WordOrder::LowFirst}) {
            const DatabasePlan plan = PlanDatabase(db, mode, order);
            for (std::size_t i = 0; i < db.messages.size(); ++i) CheckPlan(db.messages[i], plan.messages[i], order);
            if (!mode && order == WordOrder::HighFirst) FUZZ_CHECK(!DatabaseListing(db, plan).empty(), "no listing");
        }
    }
}

}  // namespace vestrel::fuzz
