#pragma once

#include "can/log_formats.h"
#include "can/log_input.h"
#include "platform/error.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vestrel::can {

// A text log read line by line through the line parser of its format,
// `Lines`: `LineKind Parse(std::string_view line, LogFrame& frame,
// std::string& why)`, which keeps whatever state the format's header lines
// set. Lines longer than kMaxLogLineBytes are broken lines; a header line
// the rest cannot be read without ends the read with Error("FILE:LINE: the
// log cannot be read: REASON: "LINE"").
template <typename Lines>
class TextLog final : public LogParser {
public:
    explicit TextLog(LogInput& input) : input_(input) {}

    LogStep Next(LogFrame& frame, BrokenLine& broken) override {
        std::string_view line;
        for (;;) {
            const LogInput::Line got = input_.NextLine(line);
            if (got == LogInput::Line::End) return LogStep::End;
            ++lines_;
            LineKind kind = LineKind::Broken;
            if (got == LogInput::Line::TooLong)
                why_ = "the line is longer than 64 KiB";
            else
                kind = parser_.Parse(line, frame, why_);
            if (kind == LineKind::Frame) {
                frame.line = lines_;
                return LogStep::Frame;
            }
            if (kind == LineKind::Unreadable)
                throw Error(input_.Path().string() + ":" + std::to_string(lines_) + ": the log cannot be read: " +
                            why_ + ": \"" + std::string(line.substr(0, kShownLineBytes)) + "\"");
            if (kind == LineKind::Broken) {
                broken.line = lines_;
                broken.reason = why_;
                broken.text.assign(line.substr(0, kShownLineBytes));
                return LogStep::Broken;
            }
            ++otherLines_;
        }
    }

    std::uint64_t Records() const override { return lines_; }
    std::uint64_t OtherRecords() const override { return otherLines_; }

private:
    static constexpr std::size_t kShownLineBytes = 120;

    LogInput& input_;
    Lines parser_;
    std::uint64_t lines_ = 0;
    std::uint64_t otherLines_ = 0;
    std::string why_;
};

}  // namespace vestrel::can
