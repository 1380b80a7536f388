#pragma once

// Reading a whole CAN log in a test, and the frames as comparable text.
#include "can/can_log_reader.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vestrel::can::test {

inline CanFrame Frame(const std::string& text) {
    const Result<CanFrame> frame = ParseCompactFrame(text);
    EXPECT_TRUE(frame) << text << ": " << frame.Why();
    return frame ? *frame : CanFrame{};
}

struct ReadFrame {
    LogFrame frame;
    std::string channel;  // the reader's view, kept
};

struct Read {
    std::vector<ReadFrame> frames;
    std::vector<BrokenLine> broken;
    LogFormat format = LogFormat::CandumpLog;
    std::uint64_t records = 0;
    std::uint64_t otherRecords = 0;
};

inline Read ReadLog(const std::filesystem::path& path) {
    Read read;
    CanLogReader reader(path);
    LogFrame frame;
    BrokenLine broken;
    for (;;) {
        const auto step = reader.Next(frame, broken);
        if (step == CanLogReader::Step::End) break;
        if (step == CanLogReader::Step::Frame) read.frames.push_back({frame, std::string(frame.channel)});
        if (step == CanLogReader::Step::Broken) read.broken.push_back(broken);
    }
    read.format = reader.Format();
    read.records = reader.Records();
    read.otherRecords = reader.OtherRecords();
    // Every record is a frame, broken, or one that holds no frame.
    EXPECT_EQ(read.records, read.frames.size() + read.broken.size() + read.otherRecords) << path;
    return read;
}

// "1.000001 181#11", the time counted from `timeOrigin`; without a time
// stamp " 181#11".
inline std::string Text(const LogFrame& f, std::int64_t timeOrigin = 0) {
    std::string time;
    if (f.hasTime) AppendTimeText(time, f.time - timeOrigin);
    return time + " " + CompactFrameText(f.frame);
}

inline std::vector<std::string> Texts(const Read& read, bool relative = false) {
    std::vector<std::string> texts;
    const std::int64_t origin = relative && !read.frames.empty() ? read.frames[0].frame.time : 0;
    for (const ReadFrame& f : read.frames) texts.push_back(Text(f.frame, origin));
    return texts;
}

// "can0 1.000001 181#11": with the channel, for logs of several.
inline std::vector<std::string> ChannelTexts(const Read& read, bool relative = false) {
    std::vector<std::string> texts = Texts(read, relative);
    for (std::size_t i = 0; i < texts.size(); ++i) texts[i] = read.frames[i].channel + " " + texts[i];
    return texts;
}

// "3: the data are pairs of hex digits"; "400+56: ..." for an object at
// byte 56 of what the compressed container at byte 400 unpacks to.
inline std::vector<std::string> BrokenTexts(const Read& read) {
    std::vector<std::string> texts;
    for (const BrokenLine& b : read.broken)
        texts.push_back(std::to_string(b.line) + (b.unpacked ? "+" + std::to_string(*b.unpacked) : "") + ": " +
                        b.reason);
    return texts;
}

// Where each frame is: its line, or the byte offset of its object.
inline std::vector<std::uint64_t> FramePlaces(const Read& read) {
    std::vector<std::uint64_t> places;
    for (const ReadFrame& f : read.frames) places.push_back(f.frame.line);
    return places;
}

}  // namespace vestrel::can::test
