#pragma once

// Shared by the CAN log harnesses: the properties every frame and broken
// line a reader hands out must have, whatever the bytes of the log.

#include "fuzz_support.h"

#include "can/asc_lines.h"
#include "can/can_log_reader.h"
#include "can/candump_line.h"
#include "can/log_input.h"
#include "can/trc_lines.h"
#include "platform/error.h"

#include <string>
#include <vector>

namespace vestrel::fuzz {

inline void CheckFrame(const can::LogFrame& logged) {
    using namespace can;
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
// each with the properties above, and with the records that hold no frame
// as many as the reader read. Returns the format.
inline can::LogFormat ReadWholeLog(const fs::path& path) {
    using namespace can;
    std::vector<std::string> first;
    LogFormat format{};
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<std::string> seen;
        try {
            CanLogReader reader(path);
            format = reader.Format();  // also when a header stops the read
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
                if (reader.FormatInfo().place == LogPlace::Line) {
                    const std::uint64_t line = step == CanLogReader::Step::Frame ? frame.line : broken.line;
                    FUZZ_CHECK(line > lastLine, "lines out of order");
                    lastLine = line;
                }
            }
            FUZZ_CHECK(reader.Records() == seen.size() + reader.OtherRecords(),
                       "the frames, broken and other records do not add up to the records");
        } catch (const Error& e) {
            // No CAN log, or one with a header the rest cannot be read without.
            const std::string what = e.what();
            FUZZ_CHECK(what.find("is no CAN log: ") != std::string::npos ||
                           what.find(": the log cannot be read: ") != std::string::npos,
                       "an unexpected error: " + what);
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
    can::LogFrame frame;
    std::string why;
    while (!bytes.empty()) {
        const std::size_t end = std::min(bytes.find('\n'), bytes.size());
        const can::LineKind kind = parse(bytes.substr(0, end), frame, why);
        if (kind == can::LineKind::Frame) CheckFrame(frame);
        if (kind == can::LineKind::Broken) FUZZ_CHECK(!why.empty(), "a broken line without a reason");
        bytes.remove_prefix(std::min(end + 1, bytes.size()));
    }
}

}  // namespace vestrel::fuzz
