#include "live/verify_report.h"

#include "gateway/gateway_model.h"
#include "gateway/model_wording.h"
#include "platform/text.h"
#include "project/register_directions.h"

#include <algorithm>

namespace vestrel::live {

namespace {

std::string Padded(std::string text, std::size_t width) {
    if (text.size() < width) text.insert(0, width - text.size(), ' ');
    return text;
}

std::string Left(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

std::string VerdictText(const RegisterCheck& c) {
    std::string text = VerdictName(c.verdict);
    switch (c.verdict) {
        case Verdict::Ok:
        case Verdict::Mismatch:
            if (!c.expected.highKnown) text += ", low byte only: no frame has fed the high byte";
            if (!c.expected.lowKnown) text += ", high byte only: no frame has fed the low byte";
            if (c.readTwice) text += " (read twice)";
            break;
        case Verdict::NotFed: text += ": no frame has fed it, not checked"; break;
        case Verdict::Error: text += ": " + c.error; break;
    }
    return text;
}

std::string Counted(int count, const char* what) { return std::to_string(count) + " " + what; }

bool IsShared(std::span<const std::uint16_t> shared, std::int32_t reg) {
    return reg >= 0 && reg <= 0xFFFF && std::binary_search(shared.begin(), shared.end(), static_cast<std::uint16_t>(reg));
}

}  // namespace

VerifyTally Tally(const std::vector<RegisterCheck>& checks, const std::vector<WriteCheck>& writes,
                  const gateway::RegisterTable* now) {
    VerifyTally t;
    for (const RegisterCheck& c : checks) {
        if (now && !StillCurrent(c, *now)) {
            ++t.outOfDate;
            continue;
        }
        switch (c.verdict) {
            case Verdict::Ok: ++t.ok; break;
            case Verdict::Mismatch: ++t.mismatch; break;
            case Verdict::NotFed: ++t.notFed; break;
            case Verdict::Error: ++t.error; break;
        }
    }
    for (const WriteCheck& w : writes) {
        if (!w.error.empty()) {
            ++t.writeErrors;
            continue;
        }
        if (!w.frames) continue;
        for (const TransmitExpectation& e : w.frames->Expectations()) ++(e.matched ? t.framesOk : t.framesBad);
    }
    return t;
}

bool Passed(const VerifyTally& t, bool strict) {
    if (t.mismatch > 0 || t.error > 0 || t.framesBad > 0 || t.writeErrors > 0) return false;
    if ((strict && t.notFed > 0) || t.outOfDate > 0) return false;
    return t.ok + t.framesOk > 0;
}

std::string SignalsBeside(const gateway::SignalValues& meanings, std::uint16_t index,
                          const gateway::RegisterLookup& expected, const gateway::RegisterLookup& read) {
    const std::string wanted = meanings.RegisterNote(FrameDirection::Receive, index, expected);
    if (wanted.empty() || !read) return wanted;
    const std::string got = meanings.RegisterNote(FrameDirection::Receive, index, read);
    return got == wanted ? wanted : "expected: " + wanted + "; read: " + got;
}

std::vector<std::string> ReceiveLines(const std::vector<RegisterCheck>& checks, Numbering indexNumbering,
                                      ReadFunction function, const gateway::SignalValues* signalValues,
                                      std::span<const std::uint16_t> shared) {
    auto expectedOf = [&](std::int32_t reg) {
        for (const RegisterCheck& c : checks)
            if (c.index == reg) return c.expected;
        return gateway::RegisterValue{};
    };
    auto readOf = [&](std::int32_t reg) {
        for (const RegisterCheck& c : checks)
            if (c.index == reg && c.read) return gateway::RegisterValue{*c.read, true, true};
        return gateway::RegisterValue{};
    };
    std::vector<std::string> lines;
    lines.push_back(std::string("Receive registers, read with function ") +
                    (function == ReadFunction::HoldingRegisters ? "03" : "04") + "; " +
                    IndexNumberingText(indexNumbering) + ":");
    lines.push_back("  register  address  expected  read    result");
    for (const RegisterCheck& c : checks) {
        std::string line = "  " + Padded(std::to_string(c.index), 8) + "  ";
        line += Padded(c.address ? std::to_string(*c.address) : "-", 7) + "  ";
        line += Left(gateway::RegisterValueText(c.expected), 8) + "  ";
        line += Left(c.read ? gateway::RegisterValueText(*c.read) : "-", 6) + "  ";
        line += VerdictText(c);
        if (signalValues) {
            const std::string beside = SignalsBeside(*signalValues, c.index, expectedOf, readOf);
            if (!beside.empty()) line += "  " + beside;
        }
        if (IsShared(shared, c.index)) line += "  (also a transmit register: " + std::string(kSharedAddressBrief) + ")";
        lines.push_back(std::move(line));
    }
    if (checks.empty()) lines.push_back("  (no receive mapping names a register)");
    return lines;
}

std::vector<std::string> WriteLines(const std::vector<WriteCheck>& writes, int frameWaitMs,
                                    std::span<const std::uint16_t> shared) {
    std::vector<std::string> lines;
    for (const WriteCheck& w : writes) {
        std::string line = "Write " + WrittenValuesText(w.values) + " (" + WriteRequestText(w.function, w.block) + "): ";
        if (!w.error.empty()) {
            lines.push_back(line + "ERROR: " + w.error);
            continue;
        }
        lines.push_back(line + "done");
        for (const auto& [reg, value] : w.values)
            if (IsShared(shared, reg))
                lines.push_back("  register " + std::to_string(reg) + " is also a receive register: " +
                                std::string(kSharedAddressBrief));
        if (w.frames) {
            const std::vector<std::string> frames = w.frames->Lines(frameWaitMs);
            lines.insert(lines.end(), frames.begin(), frames.end());
        }
    }
    return lines;
}

std::vector<std::string> SummaryLines(const VerifyTally& t, bool strict) {
    std::vector<std::string> lines;
    std::string summary = "Summary: " + Counted(t.ok, "OK") + ", " + Counted(t.mismatch, "MISMATCH") + ", " +
                          Counted(t.error, "ERROR") + ", " + Counted(t.notFed, "NOT FED") +
                          (strict ? " (counted as failures: --strict)" : " (not checked)");
    if (t.framesOk + t.framesBad + t.writeErrors > 0)
        summary += "; transmit frames: " + Counted(t.framesOk, "OK") + ", " + Counted(t.framesBad, "not as expected") +
                   (t.writeErrors ? ", " + Plural(t.writeErrors, "write failed", "writes failed")
                                  : std::string());
    if (t.outOfDate > 0) summary += "; " + Counted(t.outOfDate, "out of date (not counted)");
    lines.push_back(std::move(summary));
    const bool failed = t.mismatch + t.error + t.framesBad + t.writeErrors > 0 || (strict && t.notFed > 0);
    if (Passed(t, strict))
        lines.push_back("PASS");
    else if (t.outOfDate > 0 && !failed)
        lines.push_back("OUT OF DATE: read and compare again");
    else if (t.ok + t.framesOk == 0 && t.mismatch + t.error + t.framesBad + t.writeErrors == 0 && !(strict && t.notFed))
        lines.push_back("FAIL: nothing was compared; no frame on the bus fed a mapped register");
    else
        lines.push_back("FAIL");
    return lines;
}

}  // namespace vestrel::live
