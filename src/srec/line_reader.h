#pragma once

#include "platform/system_file.h"
#include "srec/s_record.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>

namespace vestrel::srec {

// Reads the lines of an S-record image through one fixed buffer, so that
// memory stays the same whatever the file's size. A line ends at CR LF, at LF
// or at a lone CR; a Ctrl-Z (0x1A) ends the file, as in images written on
// DOS. A line longer than any record is reported as too long at its first
// byte past that length, neither gathered nor read to its end first. Read
// errors throw Error naming the file and the system's reason.
class LineReader {
public:
    struct Line {
        std::string_view text;  // without its line end; valid until the next call
        bool crlf = false;      // ended in CR LF, which follow `text` in the buffer
        bool ended = false;     // had a line end at all (the last line may not)
        bool tooLong = false;   // longer than any record: `text` is its beginning
    };

    // Reads from `file`, which stays the caller's; `path` names it in messages.
    LineReader(SystemFile& file, std::filesystem::path path);
    ~LineReader();

    // Called before the buffer is overwritten, so that views into it that the
    // caller still holds can be used up first.
    void BeforeRefill(std::function<void()> hook) { beforeRefill_ = std::move(hook); }

    // The next line; false at the end of the file.
    bool Next(Line& line);

    // The number of lines from here to the end of the file, counted as Next()
    // would return them, without splitting them: fast enough to be a first
    // pass over a large image. Stops at a line that is too long, which Next()
    // then reports, and counts it as the last. Leaves the reader at the end.
    std::int64_t CountLines();

    // Back to the start of the file.
    void Rewind();

    // The 1-based number of the line Next() returned last.
    std::int64_t LineNumber() const { return lineNumber_; }

    static constexpr std::size_t kBufferSize = 1 << 20;
    // The longest line taken: the longest S-record.
    static constexpr std::size_t kMaxLineLength = kMaxRecordLength;

private:
    void Fill();

    SystemFile& file_;
    std::filesystem::path path_;
    std::unique_ptr<char[]> buffer_;
    std::function<void()> beforeRefill_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    bool skipping_ = false;  // inside a line that was too long, looking for its end
    std::int64_t lineNumber_ = 0;
};

}  // namespace vestrel::srec
