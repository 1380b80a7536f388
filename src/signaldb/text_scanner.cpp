#include "signaldb/text_scanner.h"

#include "signaldb/signal_database.h"

#include <charconv>
#include <cmath>

namespace vestrel::signaldb {

namespace {

bool IsWordChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; }
bool IsBreak(char c) { return c == '\n' || c == '\r'; }

// What the reader sees, for messages: "'x'", "the end of the line".
std::string Seen(std::string_view rest) {
    if (rest.empty()) return "the end of the file";
    if (IsBreak(rest[0])) return "the end of the line";
    std::size_t n = 0;
    while (n < rest.size() && n < 20 && !IsBreak(rest[n]) && !IsBlank(rest[n])) ++n;
    // Never half a UTF-8 character.
    while (n > 1 && n < rest.size() && (static_cast<unsigned char>(rest[n]) & 0xC0) == 0x80) --n;
    return "'" + std::string(rest.substr(0, n == 0 ? 1 : n)) + "'";
}

}  // namespace

void TextScanner::Advance() {
    const char c = text_[at_++];
    // A line ends at LF, at CR LF and at a lone CR.
    if (c == '\n' || (c == '\r' && Peek() != '\n')) ++line_;
}

void TextScanner::SkipBlanks() {
    while (!AtEnd()) {
        if (IsBlank(Peek())) {
            Advance();
        } else if (multiline_ && IsBreak(Peek())) {
            // A statement never runs on into a line that begins another.
            std::size_t next = at_;
            while (next < text_.size() && (IsBlank(text_[next]) || IsBreak(text_[next]))) ++next;
            if (KeywordAt(next)) return;
            Advance();
        } else {
            return;
        }
    }
}

void TextScanner::SkipWhitespace() {
    while (!AtEnd() && (IsBlank(Peek()) || IsBreak(Peek()))) Advance();
}

bool TextScanner::AtLineEnd() {
    while (!AtEnd() && IsBlank(Peek())) Advance();
    return AtEnd() || IsBreak(Peek());
}

void TextScanner::SkipRestOfLine() {
    while (!AtEnd() && !IsBreak(Peek())) Advance();
    if (Peek() == '\r') Advance();
    if (Peek() == '\n') Advance();
}

std::string_view TextScanner::Word(const char* what) {
    SkipBlanks();
    const std::size_t start = at_;
    while (!AtEnd() && IsWordChar(Peek())) ++at_;
    if (at_ == start) Fail(std::string("expected ") + what + ", found " + Seen(text_.substr(at_)));
    Took();
    return text_.substr(start, at_ - start);
}

bool TextScanner::NextIsWord() {
    SkipBlanks();
    return !AtEnd() && IsWordChar(Peek());
}

bool TextScanner::TryChar(char c) {
    SkipBlanks();
    if (AtEnd() || Peek() != c) return false;
    Advance();
    Took();
    return true;
}

void TextScanner::Expect(char c, const char* where) {
    if (!TryChar(c)) Fail(std::string("expected '") + c + "' " + where + ", found " + Seen(text_.substr(at_)));
}

std::string TextScanner::Quoted(const char* what) {
    SkipBlanks();
    if (Peek() != '"') Fail(std::string("expected ") + what + " in quotes, found " + Seen(text_.substr(at_)));
    const int startLine = line_;
    Advance();
    std::string value;
    for (;;) {
        if (AtEnd()) {
            unclosedQuote_ = true;
            FailAt(startLine, std::string("the quoted ") + what + " has no closing quote");
        }
        const char c = Peek();
        if (c == '"') break;
        if (c == '\\' && at_ + 1 < text_.size() && (text_[at_ + 1] == '"' || text_[at_ + 1] == '\\')) Advance();
        // Line breaks inside the text read as one line feed, whatever the file uses.
        if (c == '\r') {
            Advance();
            if (Peek() != '\n') value += '\n';
            continue;
        }
        value += Peek();
        Advance();
    }
    Advance();
    Took();
    return value;
}

std::string_view TextScanner::NumberToken() {
    SkipBlanks();
    const std::size_t start = at_;
    while (!AtEnd()) {
        const char c = Peek();
        const bool sign = (c == '+' || c == '-') &&
                          (at_ == start || text_[at_ - 1] == 'e' || text_[at_ - 1] == 'E');
        if (!sign && !(c >= '0' && c <= '9') && c != '.' && c != 'e' && c != 'E') break;
        ++at_;
    }
    if (at_ > start) Took();
    return text_.substr(start, at_ - start);
}

double TextScanner::Number(const char* what) {
    std::string_view token = NumberToken();
    std::string_view digits = token;
    if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (token.empty() || ec != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value))
        Fail(std::string("expected ") + what + " as a number, found " +
             (token.empty() ? Seen(text_.substr(at_)) : "'" + std::string(token) + "'"));
    return value;
}

std::uint64_t TextScanner::Unsigned(const char* what, std::uint64_t max) {
    SkipBlanks();
    const std::size_t start = at_;
    while (!AtEnd() && Peek() >= '0' && Peek() <= '9') ++at_;
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text_.data() + start, text_.data() + at_, value);
    if (at_ == start) Fail(std::string("expected ") + what + ", found " + Seen(text_.substr(at_)));
    Took();
    if (ec != std::errc() || value > max)
        Fail(std::string(what) + " " + std::string(text_.substr(start, at_ - start)) + " is out of range (at most " +
             std::to_string(max) + ")");
    return value;
}

std::int64_t TextScanner::Integer(const char* what) {
    SkipBlanks();
    const std::size_t start = at_;
    if (Peek() == '-' || Peek() == '+') ++at_;
    const bool negative = start < at_ && text_[start] == '-';
    const std::size_t digits = at_;
    while (!AtEnd() && Peek() >= '0' && Peek() <= '9') ++at_;
    if (at_ == digits) {
        at_ = start;
        Fail(std::string("expected ") + what + ", found " + Seen(text_.substr(at_)));
    }
    Took();
    std::uint64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(text_.data() + digits, text_.data() + at_, magnitude);
    constexpr std::uint64_t kMaxMagnitude = std::uint64_t{1} << 63;  // of a negative value
    if (ec != std::errc() || magnitude > kMaxMagnitude - (negative ? 0 : 1))
        Fail(std::string(what) + " " + std::string(text_.substr(start, at_ - start)) +
             " is out of range (-9223372036854775808 to 9223372036854775807)");
    return negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
}

bool TextScanner::KeywordAt(std::size_t at) const {
    std::size_t end = at;
    while (end < text_.size() && IsWordChar(text_[end])) ++end;
    return end > at && isKeyword_(text_.substr(at, end - at));
}

bool TextScanner::AtStatementStart() {
    SkipWhitespace();
    if (AtEnd()) return false;
    std::size_t lineStart = at_;
    while (lineStart > 0 && IsBlank(text_[lineStart - 1])) --lineStart;
    return (lineStart == 0 || IsBreak(text_[lineStart - 1])) && KeywordAt(at_);
}

void TextScanner::MissingEnd(const char* keyword) const {
    FailAt(lastTokenLine_, std::string("the ") + keyword + " statement does not end with ';'");
}

void TextScanner::EndStatement(const char* keyword) {
    if (!MoreInStatement(keyword)) return;
    Fail(std::string("expected ';' at the end of ") + keyword + ", found " + Seen(text_.substr(at_)));
}

bool TextScanner::MoreInStatement(const char* keyword) {
    SkipBlanks();
    if (Peek() == ';') {
        Advance();
        Took();
        return false;
    }
    // SkipBlanks stops at a line break only before a line that begins a statement.
    if (AtEnd() || IsBreak(Peek())) MissingEnd(keyword);
    return true;
}

void TextScanner::SkipStatement(const char* keyword) {
    for (;;) {
        if (AtEnd()) MissingEnd(keyword);
        const char c = Peek();
        if (c == ';') {
            Advance();
            Took();
            return;
        }
        if (c == '"') {
            Quoted("text");
        } else if (IsBreak(c)) {
            SkipWhitespace();
            if (AtStatementStart()) MissingEnd(keyword);
        } else {
            if (!IsBlank(c)) Took();
            Advance();
        }
    }
}

void TextScanner::SkipToStatementEnd() {
    // A statement that lacks its ';' has ended where the next one begins.
    if (AtStatementStart()) return;
    while (!AtEnd()) {
        const char c = Peek();
        if (c == ';') {
            Advance();
            return;
        }
        if (IsBreak(c)) {
            SkipWhitespace();
            if (AtStatementStart()) return;
            continue;
        }
        if (c == '"') {
            // Over a quoted text; one that does not close is left to the end.
            const std::size_t close = text_.find('"', at_ + 1);
            while (!AtEnd() && at_ <= close) Advance();
            continue;
        }
        Advance();
    }
}

void TextScanner::Fail(const std::string& reason) const { FailAt(line_, reason); }

void TextScanner::FailAt(int line, const std::string& reason) const { throw DatabaseError(*file_, line, reason); }

}  // namespace vestrel::signaldb
