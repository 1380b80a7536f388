#include "srec/line_reader.h"

#include "platform/error.h"
#include "platform/file_util.h"


#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cerrno>
#include <cstring>

namespace vestrel::srec {

namespace {

// The first CR, LF or Ctrl-Z in [p, end), or end. Sixteen bytes at a time
// where the processor allows.
const char* FindLineEnd(const char* p, const char* end) {
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i sub = _mm_set1_epi8('\x1A');
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hit =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)), _mm_cmpeq_epi8(v, sub));
        if (const int mask = _mm_movemask_epi8(hit)) return p + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    for (; p < end; ++p)
        if (*p == '\r' || *p == '\n' || *p == '\x1A') return p;
    return end;
}

// What CountLines gathers: the LF bytes, the CR bytes and the CR LF pairs,
// and the characters since the last line end.
struct EndCounts {
    std::int64_t lineFeeds = 0, returns = 0, pairs = 0;
    std::size_t run = 0;
};

// Adds the line ends within [data, data + size) to `counts`. Returns false,
// with counts incomplete, at the first line longer than `longest`.
bool CountEnds(const char* data, std::size_t size, EndCounts& counts, std::size_t longest) {
    std::size_t i = 0;
#if defined(__SSE2__)
    // Byte-wide counters, summed before they can overflow.
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i zero = _mm_setzero_si128();
    while (size - i >= 16) {
        __m128i lfCount = zero, crCount = zero, pairCount = zero;
        const std::size_t blocks = std::min<std::size_t>((size - i - 1) / 16, 255);
        if (blocks == 0) break;
        for (std::size_t b = 0; b < blocks; ++b, i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 1));
            const __m128i isLf = _mm_cmpeq_epi8(v, lf);
            const __m128i isCr = _mm_cmpeq_epi8(v, cr);
            lfCount = _mm_sub_epi8(lfCount, isLf);
            crCount = _mm_sub_epi8(crCount, isCr);
            pairCount = _mm_sub_epi8(pairCount, _mm_and_si128(isCr, _mm_cmpeq_epi8(next, lf)));
            // The longest line: the bytes before the first end of the block
            // continue the run, those after its last end start the next.
            const auto ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(isLf, isCr)));
            if (ends == 0) {
                counts.run += 16;
            } else {
                counts.run += static_cast<std::size_t>(__builtin_ctz(ends));
                if (counts.run > longest) return false;
                counts.run = static_cast<std::size_t>(__builtin_clz(ends) - 16);
            }
            if (counts.run > longest) return false;
        }
        auto sum = [&](__m128i c) {
            const __m128i s = _mm_sad_epu8(c, zero);
            return static_cast<std::int64_t>(_mm_cvtsi128_si32(s) + _mm_extract_epi16(s, 4));
        };
        counts.lineFeeds += sum(lfCount);
        counts.returns += sum(crCount);
        counts.pairs += sum(pairCount);
    }
#endif
    for (; i < size; ++i) {
        if (data[i] == '\n') {
            ++counts.lineFeeds;
            counts.run = 0;
        } else if (data[i] == '\r') {
            ++counts.returns;
            if (i + 1 < size && data[i + 1] == '\n') ++counts.pairs;
            counts.run = 0;
        } else if (++counts.run > longest) {
            return false;
        }
    }
    return true;
}

}  // namespace

LineReader::LineReader(SystemFile& file, std::filesystem::path path)
    : file_(file), path_(std::move(path)), buffer_(new char[kBufferSize]) {}

LineReader::~LineReader() = default;

void LineReader::Rewind() {
    if (!file_.Rewind()) throw Error(ReadFailedMessage(path_, errno));
    pos_ = end_ = 0;
    eof_ = false;
    skipping_ = false;
    lineNumber_ = 0;
}

void LineReader::Fill() {
    if (beforeRefill_) beforeRefill_();
    if (pos_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
    }
    const std::ptrdiff_t n = file_.ReadSome(buffer_.get() + end_, kBufferSize - end_);
    if (n < 0) throw Error(ReadFailedMessage(path_, errno));
    if (n == 0) eof_ = true;
    end_ += static_cast<std::size_t>(n);
}

bool LineReader::Next(Line& line) {
    for (;;) {
        if (pos_ == end_) {
            if (eof_) return false;
            Fill();
            continue;
        }
        const char* data = buffer_.get();
        // A line is looked for no further than one byte past the longest
        // record: a file of no lines is refused at its start, not read whole.
        const std::size_t window = skipping_ ? end_ : std::min(end_, pos_ + kMaxLineLength + 1);
        const std::size_t at = static_cast<std::size_t>(FindLineEnd(data + pos_, data + window) - data);
        if (at == window && !skipping_ && window - pos_ > kMaxLineLength) {
            skipping_ = true;
            ++lineNumber_;
            line = {std::string_view(data + pos_, window - pos_), false, false, true};
            pos_ = window;
            return true;
        }
        if (at == end_ && !eof_) {
            if (skipping_) pos_ = end_;
            Fill();  // read more of this line; there is room, since no line fills the buffer
            continue;
        }
        if (at + 1 == end_ && data[at] == '\r' && !eof_) {  // CR LF or a lone CR: look one byte further
            Fill();
            continue;
        }
        const bool wasSkipping = skipping_;
        skipping_ = false;
        const char terminator = at < end_ ? data[at] : '\0';
        line = {std::string_view(data + pos_, at - pos_), false, at < end_ && terminator != '\x1A', false};
        if (at == end_) {  // the last line, without an end
            pos_ = end_;
        } else if (terminator == '\x1A') {  // Ctrl-Z: nothing after it is read
            eof_ = true;
            end_ = at;
            pos_ = at;
            if (line.text.empty() && !wasSkipping) return false;
        } else {
            pos_ = at + 1;
            if (terminator == '\r' && pos_ < end_ && data[pos_] == '\n') {
                line.crlf = true;
                ++pos_;
            }
        }
        if (wasSkipping) continue;  // the end of a line already reported as too long
        ++lineNumber_;
        return true;
    }
}

std::int64_t LineReader::CountLines() {
    EndCounts counts;
    char last = '\n';  // as if a line had just ended
    for (;;) {
        if (pos_ == end_) {
            if (eof_) break;
            Fill();
            continue;
        }
        const char* data = buffer_.get() + pos_;
        std::size_t size = end_ - pos_;
        if (const void* sub = std::memchr(data, '\x1A', size)) {
            size = static_cast<std::size_t>(static_cast<const char*>(sub) - data);
            eof_ = true;
            end_ = pos_ + size;
            if (size == 0) break;
        }
        if (last == '\r' && data[0] == '\n') ++counts.pairs;
        if (!CountEnds(data, size, counts, kMaxLineLength)) {
            // The pass that follows stops at this line: count it as the last.
            pos_ = end_;
            eof_ = true;
            return counts.lineFeeds + counts.returns - counts.pairs + 1;
        }
        last = data[size - 1];
        pos_ = end_;
    }
    return counts.lineFeeds + counts.returns - counts.pairs + (last != '\r' && last != '\n' ? 1 : 0);
}

}  // namespace vestrel::srec
