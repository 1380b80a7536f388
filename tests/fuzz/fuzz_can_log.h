#pragma once

// Shared by the CAN log harnesses: the properties every frame and broken
// line a reader hands out must have, whatever the bytes of the log.

#include "fuzz_support.h"

#include "gateway/asc_lines.h"
#include "gateway/can_log_reader.h"
#include "gateway/candump_line.h"
#include "gateway/log_input.h"
#include "gateway/trc_lines.h"
#include "platform/error.h"

#include <string>
#include <vector>

namespace vestrel::fuzz {

inline void CheckFrame(const gateway::LogFrame& logged) {
    using namespace gateway;
    const CanFrame& f = logged.frame;
    FUZZ_CHECK(f.length <= (f.fd ? kMaxFdDataBytes : kMaxDataBytes), "a data length beyond the frame's kind");
    FUZZ_CHECK(f.id <= (f.extended ? kMaxExtendedId : kMaxStandardId), "an identifier out of range");
    FUZZ_CHECK(!(f.fd && (f.remote || f.error)), "a CAN FD frame marked remote or error");
    FUZZ_CHECK(f.fd || !(f.bitRateSwitch || f.errorStateIndicator), "CAN FD flags on a classic frame");
    for (std::size_t i = f.length; i < f.data.size(); ++i)
        FUZZ_CHECK(f.data[i] == 0 || f.remote, "data bytes beyond the length");
    FUZZ_CHECK(logged.channel.size() <= kMaxLogLineBytes, "a channel name longer than a line");
    if (!f.error) {
        // The compact syntax writes every frame a reader gives, and reads it back.
        const Result<CanFrame> again = ParseCompactFrame(CompactFrameText(f));
        FUZZ_CHECK(again, "a frame the compact syntax cannot write: " + again.Why());
        CanFrame expected = f;
        if (expected.remote) expected.data = {};
        FUZZ_CHECK(*again == expected, "the compact text reads back as another frame: " + CompactFrameText(f));
    }
}

// Reads the whole log twice: the same frames and broken lines both times,
// each with the properties above. Returns the format.
inline gateway::LogFormat ReadWholeLog(const fs::path& path) {
    using namespace gateway;
    std::vector<std::string> first;
    LogFormat format = LogFormat::Unknown;
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<std::string> seen;
        try {
            CanLogReader reader(path);
            LogFrame frame;
            BrokenLine broken;
            std::uint64_t lastLine = 0;
            for (auto step = reader.Next(frame, broken); step != CanLogReader::Step::End;
                 step = reader.Next(frame, broken)) {
                if (step == CanLogReader::Step::Frame) {
                    CheckFrame(frame);
                    seen.push_back(CompactFrameText(frame.frame) + " " + std::string(frame.channel));
                } else {
                    FUZZ_CHECK(!broken.reason.empty(), "a broken line without a reason");
                    FUZZ_CHECK(broken.text.size() <= 120, "a broken line shown longer than 120 bytes");
                    seen.push_back("broken " + std::to_string(broken.line) + " " + broken.reason);
                }
                if (reader.Format() != LogFormat::VectorBlf) {
                    const std::uint64_t line = step == CanLogReader::Step::Frame ? frame.line : broken.line;
                    FUZZ_CHECK(line > lastLine, "lines out of order");
                    lastLine = line;
                }
            }
            format = reader.Format();
        } catch (const Error& e) {
            FUZZ_CHECK(std::string(e.what()).find("is no CAN log: ") != std::string::npos,
                       std::string("an unexpected error: ") + e.what());
            seen.push_back(e.what());
        }
        if (pass == 0)
            first = seen;
        else
            FUZZ_CHECK(seen == first, "a second reading of the same log differs");
    }
    return format;
}

// Feeds each line to a line parser directly, so that the format's own rules
// are explored whatever the reader would take the file for.
template <typename Parse>
void ParseEachLine(std::string_view bytes, Parse parse) {
    gateway::LogFrame frame;
    std::string why;
    while (!bytes.empty()) {
        const std::size_t end = std::min(bytes.find('\n'), bytes.size());
        const gateway::LineKind kind = parse(bytes.substr(0, end), frame, why);
        if (kind == gateway::LineKind::Frame) CheckFrame(frame);
        if (kind == gateway::LineKind::Broken) FUZZ_CHECK(!why.empty(), "a broken line without a reason");
        bytes.remove_prefix(std::min(end + 1, bytes.size()));
    }
}

}  // namespace vestrel::fuzz
