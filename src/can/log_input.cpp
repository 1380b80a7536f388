#include "can/log_input.h"

#include "platform/error.h"
#include "platform/file_util.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vestrel::can {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;

}  // namespace

LogInput::LogInput(const std::filesystem::path& path) : path_(path) {
    capacity_ = kBufferSize;
    if (path == "-") {
        file_ = SystemFile::StandardInput();
    } else {
        file_ = SystemFile(path, SystemFile::Mode::Read);
        if (!file_.IsOpen()) throw Error(CannotReadMessage(path, errno));
        // A small file needs no more than itself, and a whole line's room.
        if (const auto size = file_.RegularFileSize(); size && *size < kBufferSize)
            capacity_ = std::max<std::size_t>(static_cast<std::size_t>(*size) + 1, kMaxLogLineBytes + 1);
    }
    buffer_ = std::make_unique_for_overwrite<char[]>(capacity_);
}

LogInput::~LogInput() = default;

void LogInput::Fill(std::size_t wanted) {
    if (end_ - begin_ >= wanted || eof_) return;
    if (begin_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        consumed_ += begin_;
        begin_ = 0;
    }
    while (end_ < wanted && !eof_) {
        const std::ptrdiff_t got = file_.ReadSome(buffer_.get() + end_, capacity_ - end_);
        if (got < 0) throw Error(ReadFailedMessage(path_, errno));
        if (got == 0) eof_ = true;
        end_ += static_cast<std::size_t>(got);
    }
}

std::string_view LogInput::Peek(std::size_t count) {
    count = std::min(count, kMaxLogLineBytes);
    Fill(count);
    return std::string_view(buffer_.get() + begin_, std::min(count, end_ - begin_));
}

std::string_view LogInput::Take(std::size_t count) {
    if (begin_ == end_) Fill(1);
    const std::size_t n = std::min(count, end_ - begin_);
    const std::string_view taken(buffer_.get() + begin_, n);
    begin_ += n;
    return taken;
}

bool LogInput::Skip(std::uint64_t count) {
    while (count > 0) {
        const std::string_view taken = Take(static_cast<std::size_t>(std::min<std::uint64_t>(count, kBufferSize)));
        if (taken.empty()) return false;
        count -= taken.size();
    }
    return true;
}

bool LogInput::SkipRestOfLine() {
    for (;;) {
        if (const void* newline = std::memchr(buffer_.get() + begin_, '\n', end_ - begin_)) {
            begin_ = static_cast<std::size_t>(static_cast<const char*>(newline) - buffer_.get()) + 1;
            return true;
        }
        begin_ = end_;
        if (eof_) return false;
        Fill(1);
    }
}

LogInput::Line LogInput::NextLine(std::string_view& line) {
    if (inLongLine_) {
        inLongLine_ = false;
        if (!SkipRestOfLine()) return Line::End;
    }
    std::size_t searched = 0;
    for (;;) {
        const char* from = buffer_.get() + begin_;
        const std::size_t available = end_ - begin_;
        if (const void* newline = std::memchr(from + searched, '\n', available - searched)) {
            std::size_t length = static_cast<std::size_t>(static_cast<const char*>(newline) - from);
            begin_ += length + 1;
            if (length > kMaxLogLineBytes) {
                line = std::string_view(from, kMaxLogLineBytes);
                return Line::TooLong;
            }
            if (length > 0 && from[length - 1] == '\r') --length;
            line = std::string_view(from, length);
            return Line::Read;
        }
        if (available > kMaxLogLineBytes) {
            line = std::string_view(from, kMaxLogLineBytes);
            begin_ = end_;  // the rest of the line follows; SkipRestOfLine passes over it
            inLongLine_ = true;
            // Keep the view valid: nothing is read into the buffer before the next call.
            return Line::TooLong;
        }
        if (eof_) {
            if (available == 0) return Line::End;
            std::size_t length = available;  // the last line without a line break
            begin_ = end_;
            if (from[length - 1] == '\r') --length;
            line = std::string_view(from, length);
            return Line::Read;
        }
        searched = available;
        Fill(available + 1);
    }
}

}  // namespace vestrel::can
