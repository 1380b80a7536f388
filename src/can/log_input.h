#pragma once

#include "platform/system_file.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>

namespace vestrel::can {

// The longest line a text log may have. CAN log lines are short (a CAN FD
// line of Vector ASC, the longest, has a few hundred bytes); a longer one is
// reported as one broken line and passed over.
inline constexpr std::size_t kMaxLogLineBytes = 64 * 1024;

// The bytes of a log, read front to back in pieces of up to 1 MiB (less for
// a smaller file), so that memory does not grow with the log: a file, or
// standard input for "-". Views it hands out stay valid until the next call
// that reads.
class LogInput {
public:
    // Throws Error("Cannot open file ...").
    explicit LogInput(const std::filesystem::path& path);
    ~LogInput();
    LogInput(const LogInput&) = delete;
    LogInput& operator=(const LogInput&) = delete;

    // Up to `count` bytes (at most kMaxLogLineBytes) from the read position,
    // fewer only at the end of the input. Nothing is consumed.
    std::string_view Peek(std::size_t count);
    // At least one and at most `count` bytes from the read position, consumed;
    // empty at the end of the input.
    std::string_view Take(std::size_t count);
    // Passes over `count` bytes or up to the end; false when the input ended first.
    bool Skip(std::uint64_t count);

    enum class Line { Read, TooLong, End };
    // The next line without its line break (and without a CR before it).
    // A line longer than kMaxLogLineBytes is TooLong, `line` holding its
    // first bytes; the rest of it is passed over at the next call.
    Line NextLine(std::string_view& line);

    // Bytes consumed so far.
    std::uint64_t Offset() const { return consumed_ + begin_; }
    const std::filesystem::path& Path() const { return path_; }

private:
    // Makes at least `wanted` unread bytes available, or all up to the end.
    // Moves the unread bytes to the front of the buffer first: only a line or
    // an object that straddles two reads is copied.
    void Fill(std::size_t wanted);
    bool SkipRestOfLine();

    std::filesystem::path path_;
    SystemFile file_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t begin_ = 0;  // unread bytes are buffer_[begin_, end_)
    std::size_t end_ = 0;
    std::uint64_t consumed_ = 0;  // bytes dropped from the front of the buffer
    bool eof_ = false;
    bool inLongLine_ = false;
};

}  // namespace vestrel::can
